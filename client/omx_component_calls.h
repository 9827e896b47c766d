// Every component call of the program goes through here: the standard's OMX_GetParameter-style
// macros are redirected to these functions once this header is included (omx_component_info.h
// does), so no call site can bypass them. Each one
//   - skips a NULL entry of the function table with the line
//       "<call>: NULL in the component's function table: FAIL, skipped, <component>"
//     and returns OMX_ErrorNotImplemented;
//   - runs under the watchdog (omx_guard.h);
//   - passes records and names as copies with guard bytes after them and reports a core that
//     wrote past them;
//   - keeps the books of the callbacks: the handle under test, commands sent, buffers held. A
//     buffer the component still holds is not handed to it again (the call is skipped and
//     returns OMX_ErrorNone); a buffer header that is not one the program can use is refused
//     with "<call>: unexpected buffer header: FAIL, <component>" and OMX_ErrorUndefined.
// OMX_SendCommand outside a timed span of a case is timed here against the 20 ms budget:
//   "OMX_SendCommand(<command> <param>): timeout FAIL: <kind>, <time>".
#pragma once

#include <OMX_Component.h>
#include <OMX_Core.h>

OMX_ERRORTYPE omx_call_get_parameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record);
OMX_ERRORTYPE omx_call_set_parameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record);
OMX_ERRORTYPE omx_call_get_config(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record);
OMX_ERRORTYPE omx_call_set_config(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record);
OMX_ERRORTYPE omx_call_get_extension_index(OMX_HANDLETYPE h, OMX_STRING name, OMX_INDEXTYPE *index);
OMX_ERRORTYPE omx_call_get_state(OMX_HANDLETYPE h, OMX_STATETYPE *state);
OMX_ERRORTYPE omx_call_send_command(OMX_HANDLETYPE h, OMX_COMMANDTYPE command, OMX_U32 param, OMX_PTR data);
OMX_ERRORTYPE omx_call_use_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **header, OMX_U32 port, OMX_PTR app,
                                  OMX_U32 size, OMX_U8 *buffer);
OMX_ERRORTYPE omx_call_allocate_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **header, OMX_U32 port, OMX_PTR app,
                                       OMX_U32 size);
OMX_ERRORTYPE omx_call_use_egl_image(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **header, OMX_U32 port, OMX_PTR app,
                                     void *image);
OMX_ERRORTYPE omx_call_free_buffer(OMX_HANDLETYPE h, OMX_U32 port, OMX_BUFFERHEADERTYPE *header);
OMX_ERRORTYPE omx_call_empty_this_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *header);
OMX_ERRORTYPE omx_call_fill_this_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *header);

// Marks the calls made while it lives as timed by a case (no second timeout line of ours).
class OmxTimedSpan
{
public:
    OmxTimedSpan();
    ~OmxTimedSpan();
    OmxTimedSpan(const OmxTimedSpan &) = delete;
    OmxTimedSpan &operator=(const OmxTimedSpan &) = delete;
};

#undef OMX_GetParameter
#undef OMX_SetParameter
#undef OMX_GetConfig
#undef OMX_SetConfig
#undef OMX_GetExtensionIndex
#undef OMX_GetState
#undef OMX_SendCommand
#undef OMX_UseBuffer
#undef OMX_AllocateBuffer
#undef OMX_UseEGLImage
#undef OMX_FreeBuffer
#undef OMX_EmptyThisBuffer
#undef OMX_FillThisBuffer
#define OMX_GetParameter omx_call_get_parameter
#define OMX_SetParameter omx_call_set_parameter
#define OMX_GetConfig omx_call_get_config
#define OMX_SetConfig omx_call_set_config
#define OMX_GetExtensionIndex omx_call_get_extension_index
#define OMX_GetState omx_call_get_state
#define OMX_SendCommand omx_call_send_command
#define OMX_UseBuffer omx_call_use_buffer
#define OMX_AllocateBuffer omx_call_allocate_buffer
#define OMX_UseEGLImage omx_call_use_egl_image
#define OMX_FreeBuffer omx_call_free_buffer
#define OMX_EmptyThisBuffer omx_call_empty_this_buffer
#define OMX_FillThisBuffer omx_call_fill_this_buffer
