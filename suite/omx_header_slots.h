// The buffer-header tables of the test module, filled by OMX_UseBuffer, OMX_AllocateBuffer and
// OMX_UseEGLImage and shared by the buffer, port and state cases and the streaming passes.
#pragma once

#include <OMX_Core.h>

// Header slots: five input, three output; the buffer counts a test uses must fit them.
#define IN_BUFFER_SLOTS 5
#define OUT_BUFFER_SLOTS 3

// Module-level by design: every buffer-using test fills and empties the same two tables.
extern OMX_BUFFERHEADERTYPE *in_buffer_header[IN_BUFFER_SLOTS];
extern OMX_BUFFERHEADERTYPE *out_buffer_header[OUT_BUFFER_SLOTS];

// Clears the slots a test is about to fill, so that a slot the component did not fill is never
// handed on.
void omx_clear_header_slots(void);
