// The client callbacks registered with every component handle. They run on the components' own
// threads: one post of the run's semaphore per completed command, per error event and per
// returned input buffer; returned output buffers post nothing.
//
// They keep the books of what the component under test owes: the handle under test, the
// commands sent and not yet completed, the buffer headers it holds. An event from another
// handle, a completion nobody asked for (or a second one), a buffer returned that it does not
// hold: each is one "unexpected ..." FAIL line and no post, so it cannot satisfy a wait meant for
// something else. A completion that comes after its wait expired is taken silently.
#pragma once

#include <OMX_Component.h>
#include <OMX_Core.h>

#include "omx_component_info.h"

OMX_ERRORTYPE OMX_EventHandlerDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_EVENTTYPE eEvent, OMX_U32 nData1,
                                   OMX_U32 nData2, OMX_PTR pEventData);
OMX_ERRORTYPE OMX_EmptyThisBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_BUFFERHEADERTYPE *pBuffer);
OMX_ERRORTYPE OMX_FillThisBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_BUFFERHEADERTYPE *pBuffer);

// The three callbacks as the table OMX_GetHandle takes.
inline constexpr OMX_CALLBACKTYPE kOmxClientCallbacks = {OMX_EventHandlerDone, OMX_EmptyThisBufferDone,
                                                         OMX_FillThisBufferDone};

// The books (the callbacks run on the component's threads, these on the main thread).
// OMX_GetHandle is about to be called with this record as application data.
void omx_track_getting_handle(ZYN_OMX_COMPONENT_INFO *info);
// `handle` is the one under test from now on (set by OMX_GetHandle and by every component call).
void omx_track_handle(OMX_HANDLETYPE handle);
OMX_HANDLETYPE omx_tracked_handle(void);
// OMX_FreeHandle returned: nothing is owed any more; later callbacks from it are unexpected.
void omx_track_freed(OMX_HANDLETYPE handle);
// A command is about to be sent: earlier ones are overdue (their completions are taken
// silently), and posts left in the semaphore are dropped.
void omx_track_command(OMX_COMMANDTYPE command, OMX_U32 param);
// The command just tracked was refused: no completion is owed.
void omx_track_command_refused(void);
// The header is handed to the component; false (nothing recorded) when it still holds it.
bool omx_track_give(OMX_BUFFERHEADERTYPE *header);
// The component refused the header, or the buffer was freed.
void omx_track_take_back(OMX_BUFFERHEADERTYPE *header);
// The program freed the buffer; if the component still held it, one late return is let pass.
void omx_track_buffer_freed(OMX_BUFFERHEADERTYPE *header);
// The record of the handle under test (NULL when unknown): its kind is printed in lines.
ZYN_OMX_COMPONENT_INFO *omx_tracked_info(void);
