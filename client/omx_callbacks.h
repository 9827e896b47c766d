// The client callbacks registered with every component handle. They run on the components' own
// threads and touch nothing but the run's semaphore (the record given as application data) and
// standard output for the error-event line: one post per completed command, per error event and
// per returned input buffer; returned output buffers post nothing.
#pragma once

#include <OMX_Component.h>
#include <OMX_Core.h>

OMX_ERRORTYPE OMX_EventHandlerDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_EVENTTYPE eEvent, OMX_U32 nData1,
                                   OMX_U32 nData2, OMX_PTR pEventData);
OMX_ERRORTYPE OMX_EmptyThisBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_BUFFERHEADERTYPE *pBuffer);
OMX_ERRORTYPE OMX_FillThisBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_BUFFERHEADERTYPE *pBuffer);

// The three callbacks as the table OMX_GetHandle takes.
inline constexpr OMX_CALLBACKTYPE kOmxClientCallbacks = {OMX_EventHandlerDone, OMX_EmptyThisBufferDone,
                                                         OMX_FillThisBufferDone};
