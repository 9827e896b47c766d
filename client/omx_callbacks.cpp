// Client callbacks: completions, error events and returned input buffers post the run's semaphore.
#include "omx_callbacks.h"

#include <cstdio>

#include "omx_component_info.h"
#include "omx_results.h"

namespace
{

void post(OMX_PTR pAppData)
{
    auto *component_info = static_cast<ZYN_OMX_COMPONENT_INFO *>(pAppData);
    if (component_info != nullptr && component_info->sema != nullptr)
        sem_post(component_info->sema);
}

} // namespace

OMX_ERRORTYPE OMX_EventHandlerDone(OMX_HANDLETYPE, OMX_PTR pAppData, OMX_EVENTTYPE eEvent, OMX_U32 nData1,
                                   OMX_U32 nData2, OMX_PTR)
{
    switch (eEvent) {
    case OMX_EventCmdComplete: post(pAppData); break;
    case OMX_EventError:
        printf("OMX_EventHandlerDone: OMX_EventError: %x %x\n", static_cast<unsigned>(nData1),
               static_cast<unsigned>(nData2));
        post(pAppData);
        break;
    default: break;
    }
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_EmptyThisBufferDone(OMX_HANDLETYPE, OMX_PTR pAppData, OMX_BUFFERHEADERTYPE *)
{
    post(pAppData);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_FillThisBufferDone(OMX_HANDLETYPE, OMX_PTR, OMX_BUFFERHEADERTYPE *pBuffer)
{
    if (pBuffer != nullptr && pBuffer->nFilledLen > 0)
        omx_results_picture_back();
    return OMX_ErrorNone;
}
