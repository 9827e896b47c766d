// Module-level state of the test module, shared by the conformance cases and
// the streaming tests (zero at program start).
#include "omx_component.h"

OMX_BUFFERHEADERTYPE *in_buffer_header[IN_BUFFER_SLOTS];
OMX_BUFFERHEADERTYPE *out_buffer_header[OUT_BUFFER_SLOTS];
FILE *out_file;
FILE *in_file;
unsigned char *temp_buffer;
void *parser_handle;
unsigned int frame_num;
int frame_flag;
int nc;
