// UTC 004: the state cycle Loaded, Idle, Executing, Idle, Loaded with the buffers Idle needs.
#include <cstdio>

#include "omx_component_steps.h"
#include "omx_report.h"
#include "omx_test_cases.h"
#include "omx_timed_call.h"
#include "omx_wait.h"

int omx_component_state_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info)
{
    OMX_U32 min_inbuffer = 0;
    OMX_U32 min_outbuffer = 0;
    OmxDataBuffers in_buffer;
    OMX_U32 in_size = 0, out_size = 0;

    puts("OMX UTC 004: omx_component_state_test");
    if (!omx_case_buffers_setup(handle, component_info, "OMX UTC 004",
                                "OMX UTC 004: omx_component_state_test: OMX_GetParameter: FAIL: %x, %d\n",
                                &min_inbuffer, &min_outbuffer, &in_buffer, &in_size, &out_size))
        return -1;

    puts("OMX UTC 004-01: OMX_GetState test");
    OMX_STATETYPE state = OMX_StateInvalid;
    omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_NO_WAIT, "OMX UTC 004-01: OMX_GetState: FAIL: %x, %d\n",
                   "OMX UTC 004-01: OMX_GetState: timeout FAIL: %d, %d\n",
                   [&] { return OMX_GetState(handle, &state); });

    puts("OMX UTC 004-02: OMX Component state transaction test");
    // The Idle transition needs the buffers, so its completion is waited for after them.
    OMX_ERRORTYPE err =
        omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_NO_WAIT,
                       "OMX UTC 004-02: OMX Component state transaction: OMX_StateIdle: FAIL: %x, %d\n",
                       "OMX UTC 004-02: OMX Component state transaction: OMX_StateIdle: timeout FAIL: %d, %d\n",
                       [&] { return OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateIdle, nullptr); });
    omx_use_buffers(handle, component_info, 0, in_buffer_header, in_buffer, min_inbuffer, in_size,
                    "OMX UTC 004: OMX_UseBuffer: FAIL: %x, %d\n");
    omx_allocate_buffers(handle, component_info, 1, out_buffer_header, min_outbuffer, out_size,
                         "OMX UTC 004: OMX_AllocateBuffer: FAIL: %x, %d\n");
    if (err == OMX_ErrorNone)
        omx_wait_sema(component_info, "OMX UTC 004: OMX_StateIdle");
    omx_check_state(handle, component_info, OMX_StateIdle,
                    "OMX UTC 004-02: OMX Component state transaction OMX_StateIdle: FAIL: %d, %d\n");

    omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_WAIT,
                   "OMX UTC 004-02: OMX Component state transaction: FAIL: %x, %d\n",
                   "OMX UTC 004-02: OMX Component state transaction: timeout FAIL: %d, %d\n",
                   [&] { return OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateExecuting, nullptr); });
    omx_check_state(handle, component_info, OMX_StateExecuting,
                    "OMX UTC 004-02: OMX Component state transaction OMX_StateExecuting: FAIL: %d, %d\n");

    omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_WAIT,
                   "OMX UTC 004-02: OMX Component state transaction: FAIL: %x, %d\n",
                   "OMX UTC 004-02: OMX Component state transaction: timeout FAIL: %d, %d\n",
                   [&] { return OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateIdle, nullptr); });
    omx_check_state(handle, component_info, OMX_StateIdle,
                    "OMX UTC 004-02: OMX Component state transaction OMX_StateIdle: FAIL: %d, %d\n");

    // Loaded completes only once the buffers are freed, so the wait comes after them.
    err = omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_NO_WAIT,
                         "OMX UTC 004-02: OMX Component state transaction: FAIL: %x, %d\n",
                         "OMX UTC 004-02: OMX Component state transaction: timeout FAIL: %d, %d\n",
                         [&] { return OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateLoaded, nullptr); });
    omx_free_buffers(handle, component_info, 0, in_buffer_header, min_inbuffer,
                     "OMX UTC 004: OMX_FreeBuffer(usebuffer): FAIL: %x, %d\n");
    omx_free_buffers(handle, component_info, 1, out_buffer_header, min_outbuffer,
                     "OMX UTC 004: OMX_FreeBuffer(allocatebuffer): FAIL: %x, %d\n");
    if (err == OMX_ErrorNone)
        omx_wait_sema(component_info, "OMX UTC 004: OMX_StateLoaded");
    omx_check_state(handle, component_info, OMX_StateLoaded,
                    "OMX UTC 004-02: OMX Component state transaction OMX_StateLoaded: FAIL: %d, %d\n");
    return 0;
}
