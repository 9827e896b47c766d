// Port counts, header slots, buffer calls and state checks of the buffer-using tests.
#include "omx_component_steps.h"

#include <cstdlib>
#include <cstring>

#include "omx_record.h"
#include "omx_report.h"
#include "omx_wait.h"

OMX_ERRORTYPE omx_query_min_buffers(OMX_COMPONENTTYPE *handle, OMX_U32 port, OMX_PARAM_PORTDEFINITIONTYPE *portdef,
                                    OMX_U32 *min_count)
{
    // A cleared record per port: a failed query must not pass the other
    // port's count off as this one's.
    omx_prepare_record(portdef);
    portdef->nPortIndex = port;
    const OMX_ERRORTYPE err = OMX_GetParameter(handle, OMX_IndexParamPortDefinition, portdef);
    *min_count = err == OMX_ErrorNone ? portdef->nBufferCountMin : 0;
    return err;
}

bool omx_counts_fit_slots(const char *test, OMX_U32 min_inbuffer, OMX_U32 min_outbuffer,
                          const ZYN_OMX_COMPONENT_INFO *component_info)
{
    if (min_inbuffer <= IN_BUFFER_SLOTS && min_outbuffer <= OUT_BUFFER_SLOTS)
        return true;
    omx_report_fail("%s: buffer count FAIL: input %u (at most %d), output %u (at most %d), %d\n", test,
                    static_cast<unsigned>(min_inbuffer), IN_BUFFER_SLOTS, static_cast<unsigned>(min_outbuffer),
                    OUT_BUFFER_SLOTS, static_cast<int>(component_info->component_type));
    return false;
}

void omx_report_error(const char *fail_line, OMX_ERRORTYPE err, const ZYN_OMX_COMPONENT_INFO *component_info)
{
    omx_report_fail(fail_line, static_cast<unsigned>(err), static_cast<int>(component_info->component_type));
}

void omx_use_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                     OMX_BUFFERHEADERTYPE **slots, const OmxDataBuffers &buffers, OMX_U32 count, OMX_U32 size,
                     const char *fail_line)
{
    for (OMX_U32 i = 0; i < count && i < buffers.size(); i++) {
        slots[i] = nullptr;
        const OMX_ERRORTYPE err = OMX_UseBuffer(handle, &slots[i], port, nullptr, size, buffers[i]);
        if (err != OMX_ErrorNone) {
            slots[i] = nullptr;
            omx_report_error(fail_line, err, component_info);
        }
    }
}

void omx_allocate_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                          OMX_BUFFERHEADERTYPE **slots, OMX_U32 count, OMX_U32 size, const char *fail_line)
{
    for (OMX_U32 i = 0; i < count; i++) {
        slots[i] = nullptr;
        const OMX_ERRORTYPE err = OMX_AllocateBuffer(handle, &slots[i], port, nullptr, size);
        if (err != OMX_ErrorNone) {
            slots[i] = nullptr;
            omx_report_error(fail_line, err, component_info);
        }
    }
}

void omx_free_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                      OMX_BUFFERHEADERTYPE **slots, OMX_U32 count, const char *fail_line)
{
    for (OMX_U32 i = 0; i < count; i++) {
        if (slots[i] == nullptr)
            continue;
        const OMX_ERRORTYPE err = OMX_FreeBuffer(handle, port, slots[i]);
        if (err != OMX_ErrorNone)
            omx_report_error(fail_line, err, component_info);
        slots[i] = nullptr;
    }
}

OMX_STATETYPE omx_check_state(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info,
                              OMX_STATETYPE expected, const char *fail_line)
{
    OMX_STATETYPE state = OMX_StateInvalid;
    if (OMX_GetState(handle, &state) != OMX_ErrorNone)
        state = OMX_StateInvalid;
    if (state != expected)
        omx_report_fail(fail_line, static_cast<int>(state), static_cast<int>(component_info->component_type));
    return state;
}

bool omx_case_buffers_setup(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, const char *test,
                            const char *port0_fail_line, OMX_U32 *min_inbuffer, OMX_U32 *min_outbuffer,
                            OmxDataBuffers *in_buffer, OMX_U32 *in_size, OMX_U32 *out_size)
{
    // A port refusing buffers below its own size would otherwise fail the case's own buffers.
    auto size_of = [](OMX_ERRORTYPE err, const OMX_PARAM_PORTDEFINITIONTYPE &portdef) {
        return err == OMX_ErrorNone && portdef.nBufferSize > OMX_CASE_BUFFER_SIZE && portdef.nBufferSize <= (64u << 20)
                   ? static_cast<OMX_U32>(portdef.nBufferSize)
                   : static_cast<OMX_U32>(OMX_CASE_BUFFER_SIZE);
    };
    OMX_PARAM_PORTDEFINITIONTYPE portdef;
    const OMX_ERRORTYPE err = omx_query_min_buffers(handle, 0, &portdef, min_inbuffer);
    if (err != OMX_ErrorNone && port0_fail_line != nullptr)
        omx_report_error(port0_fail_line, err, component_info);
    *in_size = size_of(err, portdef);
    *out_size = size_of(omx_query_min_buffers(handle, 1, &portdef, min_outbuffer), portdef);
    if (!omx_counts_fit_slots(test, *min_inbuffer, *min_outbuffer, component_info))
        return false;
    if (!in_buffer->allocate(*min_inbuffer, *in_size, "malloc(in_buffer[%i]) return Error\n"))
        return false;
    omx_clear_header_slots();
    return true;
}

OMX_ERRORTYPE omx_command_and_wait(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                                   OMX_COMMANDTYPE command, OMX_U32 param, const char *what, bool *waited_out)
{
    const OMX_ERRORTYPE err = OMX_SendCommand(handle, command, param, nullptr);
    const bool expired = err == OMX_ErrorNone && omx_wait_sema(component_info, what) != 0;
    if (waited_out != nullptr)
        *waited_out = expired;
    return err;
}
