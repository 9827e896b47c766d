// UTC 002: client and component buffers on both ports, one buffer each way while Idle.
#include <cstdio>

#include "omx_component_steps.h"
#include "omx_report.h"
#include "omx_test_cases.h"
#include "omx_timed_call.h"
#include "omx_wait.h"

int omx_buffer_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info)
{
    OMX_U32 min_inbuffer = 0;
    OMX_U32 min_outbuffer = 0;
    OmxDataBuffers in_buffer;
    OMX_U32 in_size = 0, out_size = 0;
    const int type = static_cast<int>(component_info->component_type);

    puts("OMX UTC 002: omx_buffer_test");
    if (!omx_case_buffers_setup(handle, component_info, "OMX UTC 002", nullptr, &min_inbuffer, &min_outbuffer,
                                &in_buffer, &in_size, &out_size))
        return -1;

    OMX_STATETYPE state = OMX_StateInvalid;
    OMX_ERRORTYPE err = OMX_GetState(handle, &state);
    if (err != OMX_ErrorNone)
        omx_report_fail("OMX UTC 002: OMX_GetState: err=%x, state=%d\n", static_cast<unsigned>(err),
                        static_cast<int>(state));
    const OMX_ERRORTYPE idle_err = OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateIdle, nullptr);
    if (idle_err != OMX_ErrorNone)
        omx_report_fail("OMX UTC 002: OMX_SendCommand: OMX_StateIdle err=%x\n", static_cast<unsigned>(idle_err));

    puts("OMX UTC 002-01: OMX_UseBuffer test");
    for (OMX_U32 i = 0; i < min_inbuffer; i++) {
        // A refused buffer leaves its slot empty: it is never emptied or freed later.
        err = omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_NO_WAIT,
                             i == 0 ? "OMX UTC 002-01: OMX_UseBuffer: FAIL: %x, %d\n"
                                    : "OMX UTC 002-06: OMX multiple buffer: FAIL: %x, %d\n",
                             "OMX UTC 002-01: OMX_UseBuffer: timeout FAIL: %d, %d\n", [&] {
                                 return OMX_UseBuffer(handle, &in_buffer_header[i], 0, nullptr, in_size, in_buffer[i]);
                             });
        if (err != OMX_ErrorNone)
            in_buffer_header[i] = nullptr;
    }

    puts("OMX UTC 002-02: OMX_AllocateBuffer test");
    for (OMX_U32 i = 0; i < min_outbuffer; i++) {
        err = omx_timed_call(component_info, kOmxShortCallBudgetUs, OMX_TIMED_NO_WAIT,
                             i == 0 ? "OMX UTC 002-02: OMX_AllocateBuffer: FAIL: %x, %d\n"
                                    : "OMX UTC 002-06: OMX multiple buffer: FAIL: %x, %d\n",
                             "OMX UTC 002-02: OMX_AllocateBuffer: timeout FAIL: %d, %d\n",
                             [&] { return OMX_AllocateBuffer(handle, &out_buffer_header[i], 1, nullptr, out_size); });
        if (err != OMX_ErrorNone)
            out_buffer_header[i] = nullptr;
    }

    if (idle_err == OMX_ErrorNone)
        omx_wait_sema(component_info, "OMX UTC 002: OMX_StateIdle");

    // Slot 0 of each table carries the one buffer passed each way; a port
    // without a buffer there (minimum 0, or the buffer refused) skips its call.
    puts("OMX UTC 002-04: OMX_EmptyThisBuffer test");
    fflush(stdout);
    if (in_buffer_header[0] != nullptr) {
        in_buffer_header[0]->nFilledLen = 10;
        omx_timed_call(component_info, kOmxShortCallBudgetUs, OMX_TIMED_NO_WAIT,
                       "OMX UTC 002-04: OMX_EmptyThisBuffer: FAIL : %x\n",
                       "OMX UTC 002-04: OMX_EmptyThisBuffer: timeout FAIL: %d, %d\n",
                       [&] { return OMX_EmptyThisBuffer(handle, in_buffer_header[0]); });
    } else {
        omx_report_skip("OMX UTC 002-04: OMX_EmptyThisBuffer: no input buffer, skipped: %d\n", type);
    }

    puts("OMX UTC 002-05: OMX_FillThisBuffer test");
    if (out_buffer_header[0] != nullptr) {
        omx_timed_call(component_info, kOmxShortCallBudgetUs, OMX_TIMED_NO_WAIT,
                       "OMX UTC 002-05: OMX_FillThisBuffer: FAIL : %x\n",
                       "OMX UTC 002-05: OMX_FillThisBuffer: timeout FAIL: %d, %d\n",
                       [&] { return OMX_FillThisBuffer(handle, out_buffer_header[0]); });
    } else {
        omx_report_skip("OMX UTC 002-05: OMX_FillThisBuffer: no output buffer, skipped: %d\n", type);
    }

    const OMX_ERRORTYPE loaded_err = OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateLoaded, nullptr);
    if (loaded_err != OMX_ErrorNone)
        omx_report_fail("OMX UTC 002: OMX_SendCommand: OMX_StateLoaded err=%x\n", static_cast<unsigned>(loaded_err));

    puts("OMX UTC 002-03: OMX_FreeBuffer test");
    for (OMX_U32 i = 0; i < min_inbuffer; i++) {
        if (in_buffer_header[i] == nullptr)
            continue;
        omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_NO_WAIT,
                       "OMX UTC 002-03: OMX_FreeBuffer(usebuffer): FAIL: %x, %d\n",
                       "OMX UTC 002-03: OMX_FreeBuffer(usebuffer): timeout FAIL: %d, %d\n",
                       [&] { return OMX_FreeBuffer(handle, 0, in_buffer_header[i]); });
        in_buffer_header[i] = nullptr;
    }
    for (OMX_U32 i = 0; i < min_outbuffer; i++) {
        if (out_buffer_header[i] == nullptr)
            continue;
        omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_NO_WAIT,
                       "OMX UTC 002-03: OMX_FreeBuffer(allocatebuffer): FAIL: %x, %d\n",
                       "OMX UTC 002-03: OMX_FreeBuffer(allocatebuffer): timeout FAIL: %d, %d\n",
                       [&] { return OMX_FreeBuffer(handle, 1, out_buffer_header[i]); });
        out_buffer_header[i] = nullptr;
    }

    // The Loaded completion is waited for once; the emptied input buffer coming
    // back may take that post first, as both are counted on one semaphore. A
    // refused Loaded command posts nothing, and a component need not return a
    // buffer it holds while Idle, so then nothing is waited for.
    if (loaded_err == OMX_ErrorNone)
        omx_wait_sema(component_info, "OMX UTC 002: OMX_StateLoaded");
    return 0;
}
