// UTC 003: port flush while Executing, port disable and enable while Loaded.
#include <cstdio>

#include "omx_component_steps.h"
#include "omx_report.h"
#include "omx_test_cases.h"
#include "omx_timed_call.h"
#include "omx_wait.h"

namespace
{

// One timed port command with its completion; an error counts towards the 003-04 summary.
void port_command(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, OMX_COMMANDTYPE command,
                  OMX_U32 port, const char *fail_line, const char *timeout_line, int *error_count)
{
    const OMX_ERRORTYPE err =
        omx_timed_call(component_info, kOmxShortCallBudgetUs, OMX_TIMED_WAIT, fail_line, timeout_line,
                       [&] { return OMX_SendCommand(handle, command, port, nullptr); });
    if (err != OMX_ErrorNone)
        (*error_count)++;
}

} // namespace

int omx_port_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info)
{
    OMX_U32 min_inbuffer = 0;
    OMX_U32 min_outbuffer = 0;
    OmxDataBuffers in_buffer;
    OMX_U32 in_size = 0, out_size = 0;
    int error_count = 0;

    puts("OMX UTC 003: omx_port_test");
    if (!omx_case_buffers_setup(handle, component_info, "OMX UTC 003", nullptr, &min_inbuffer, &min_outbuffer,
                                &in_buffer, &in_size, &out_size))
        return -1;

    OMX_STATETYPE state = OMX_StateInvalid;
    OMX_ERRORTYPE err = OMX_GetState(handle, &state);
    if (err != OMX_ErrorNone)
        omx_report_fail("OMX UTC 003: OMX_GetState: err=%x, state=%d\n", static_cast<unsigned>(err),
                        static_cast<int>(state));
    err = OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateIdle, nullptr);
    if (err != OMX_ErrorNone)
        omx_report_fail("OMX UTC 003: OMX_SendCommand: OMX_StateIdle err=%x\n", static_cast<unsigned>(err));
    omx_use_buffers(handle, component_info, 0, in_buffer_header, in_buffer, min_inbuffer, in_size,
                    "OMX UTC 003: OMX_UseBuffer: FAIL: %x, %d\n");
    omx_allocate_buffers(handle, component_info, 1, out_buffer_header, min_outbuffer, out_size,
                         "OMX UTC 003: OMX_AllocateBuffer: FAIL: %x, %d\n");
    if (err == OMX_ErrorNone)
        omx_wait_sema(component_info, "OMX UTC 003: OMX_StateIdle");
    (void)omx_command_and_wait(handle, component_info, OMX_CommandStateSet, OMX_StateExecuting,
                               "OMX UTC 003: OMX_StateExecuting");

    puts("OMX UTC 003-03: OMX port flush test");
    port_command(handle, component_info, OMX_CommandFlush, 0, "OMX UTC 003-03: OMX port flush(in): FAIL: %x, %d\n",
                 "OMX UTC 003-03: OMX port flush(in): timeout FAIL: %d, %d\n", &error_count);
    port_command(handle, component_info, OMX_CommandFlush, 1, "OMX UTC 003-03: OMX port flush(out): FAIL: %x, %d\n",
                 "OMX UTC 003-03: OMX port flush(out): timeout FAIL: %d, %d\n", &error_count);

    (void)omx_command_and_wait(handle, component_info, OMX_CommandStateSet, OMX_StateIdle,
                               "OMX UTC 003: OMX_StateIdle");
    err = OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateLoaded, nullptr);
    if (err != OMX_ErrorNone)
        omx_report_fail("OMX UTC 003: OMX_SendCommand: OMX_StateLoaded err=%x\n", static_cast<unsigned>(err));
    omx_free_buffers(handle, component_info, 0, in_buffer_header, min_inbuffer,
                     "OMX UTC 003: OMX_FreeBuffer(usebuffer): FAIL: %x, %d\n");
    omx_free_buffers(handle, component_info, 1, out_buffer_header, min_outbuffer,
                     "OMX UTC 003: OMX_FreeBuffer(allocatebuffer): FAIL: %x, %d\n");
    if (err == OMX_ErrorNone)
        omx_wait_sema(component_info, "OMX UTC 003: OMX_StateLoaded");

    puts("OMX UTC 003-01: OMX port disable test");
    port_command(handle, component_info, OMX_CommandPortDisable, 0,
                 "OMX UTC 003-01: OMX port disable(in): FAIL: %x, %d\n",
                 "OMX UTC 003-01: OMX port disable(in): timeout FAIL: %d, %d\n", &error_count);
    port_command(handle, component_info, OMX_CommandPortDisable, 1,
                 "OMX UTC 003-01: OMX port disable(out): FAIL: %x, %d\n",
                 "OMX UTC 003-01: OMX port disable(out): timeout FAIL: %d, %d\n", &error_count);

    puts("OMX UTC 003-02: OMX port enable test");
    port_command(handle, component_info, OMX_CommandPortEnable, 0,
                 "OMX UTC 003-02: OMX port enable(in): FAIL: %x, %d\n",
                 "OMX UTC 003-02: OMX port enable(in): timeout FAIL: %d, %d\n", &error_count);
    port_command(handle, component_info, OMX_CommandPortEnable, 1,
                 "OMX UTC 003-02: OMX port enable(out): FAIL: %x, %d\n",
                 "OMX UTC 003-02: OMX port enable(out): timeout FAIL: %d, %d\n", &error_count);

    if (error_count != 0)
        omx_report_fail("OMX UTC 003-04: OMX input port, output port: FAIL: %d\n",
                        static_cast<int>(component_info->component_type));
    return 0;
}
