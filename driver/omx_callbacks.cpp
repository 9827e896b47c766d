// Client callbacks registered with every component handle, the time difference
// behind every time budget, and the version stamp of the OpenMAX records.
//
// The callbacks run on the components' own threads: they touch nothing but the
// run's semaphore (and standard output for the error line).
#include <climits>
#include <cstdint>

#include "omx_component.h"
#include "omx_driver_internal.h"

namespace
{

sem_t *run_semaphore(OMX_PTR pAppData)
{
    auto *component_info = static_cast<ZYN_OMX_COMPONENT_INFO *>(pAppData);
    return component_info ? component_info->sema : nullptr;
}

void post(OMX_PTR pAppData)
{
    if (sem_t *sema = run_semaphore(pAppData))
        sem_post(sema);
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

OMX_ERRORTYPE OMX_FillThisBufferDone(OMX_HANDLETYPE, OMX_PTR, OMX_BUFFERHEADERTYPE *)
{
    return OMX_ErrorNone;
}

// Elapsed microseconds from start to stop; negative when the clock stepped back.
// Worked out in 64 bits and saturated, so a span beyond the int range (about
// 2147 s) reads as the largest value instead of wrapping to a short or negative one.
int measureTimeUS(struct timeval *start, struct timeval *stop)
{
    int64_t sec;
    if (__builtin_sub_overflow(static_cast<int64_t>(stop->tv_sec), static_cast<int64_t>(start->tv_sec), &sec))
        return stop->tv_sec > start->tv_sec ? INT_MAX : INT_MIN;
    int64_t usec;
    if (stop->tv_usec < start->tv_usec) {
        usec = static_cast<int64_t>(stop->tv_usec) + 1000000 - static_cast<int64_t>(start->tv_usec);
        sec = sec == INT64_MIN ? sec : sec - 1;
    } else {
        usec = static_cast<int64_t>(stop->tv_usec) - static_cast<int64_t>(start->tv_usec);
    }
    // Any span of more than INT_MAX us saturates; checking the seconds first keeps
    // the product below from overflowing.
    constexpr int64_t max_sec = INT_MAX / 1000000 + 2;
    if (sec > max_sec)
        return INT_MAX;
    if (sec < -max_sec)
        return INT_MIN;
    const int64_t time = sec * 1000000 + usec;
    if (time > INT_MAX)
        return INT_MAX;
    if (time < INT_MIN)
        return INT_MIN;
    return static_cast<int>(time);
}

void omx_set_version(OMX_VERSIONTYPE *nVersion)
{
    nVersion->s.nVersionMajor = 1;
    nVersion->s.nVersionMinor = 0;
    nVersion->s.nRevision = 0;
    nVersion->s.nStep = 0;
}

bool omx_time_over_budget(int time_us, int budget_us)
{
    return time_us > budget_us;
}
