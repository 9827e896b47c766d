// The shared buffer-header tables (zero at program start).
#include "omx_header_slots.h"

// Module-level by design: every buffer-using test fills and empties the same two tables.
OMX_BUFFERHEADERTYPE *in_buffer_header[IN_BUFFER_SLOTS];
OMX_BUFFERHEADERTYPE *out_buffer_header[OUT_BUFFER_SLOTS];

void omx_clear_header_slots(void)
{
    for (auto &slot : in_buffer_header)
        slot = nullptr;
    for (auto &slot : out_buffer_header)
        slot = nullptr;
}
