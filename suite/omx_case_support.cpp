// Port counts, header slots, owned data buffers and state checks of the buffer-using tests.
#include "omx_case_support.h"

#include <cstdlib>
#include <cstring>

#include "omx_record.h"
#include "omx_report.h"

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

int omx_check_slot_counts(const char *test, OMX_U32 min_inbuffer, OMX_U32 min_outbuffer,
                          const ZYN_OMX_COMPONENT_INFO *component_info)
{
    if (min_inbuffer <= IN_BUFFER_SLOTS && min_outbuffer <= OUT_BUFFER_SLOTS)
        return 0;
    omx_report_fail("%s: buffer count FAIL: input %u (at most %d), output %u (at most %d), %d\n", test,
                    static_cast<unsigned>(min_inbuffer), IN_BUFFER_SLOTS, static_cast<unsigned>(min_outbuffer),
                    OUT_BUFFER_SLOTS, static_cast<int>(component_info->component_type));
    return -1;
}

void omx_clear_header_slots(void)
{
    for (auto &slot : in_buffer_header)
        slot = nullptr;
    for (auto &slot : out_buffer_header)
        slot = nullptr;
}

omx_data_buffers::~omx_data_buffers()
{
    for (unsigned char *buffer : data)
        free(buffer);
}

int omx_data_buffers::allocate(OMX_U32 count, size_t size, const char *fail_line)
{
    data.reserve(count);
    for (OMX_U32 i = 0; i < count; i++) {
        auto *buffer = static_cast<unsigned char *>(calloc(1, size));
        if (buffer == nullptr) {
            omx_report_fail(fail_line, static_cast<int>(i));
            return -1;
        }
        data.push_back(buffer);
    }
    return 0;
}

void omx_report_error(const char *fail_line, OMX_ERRORTYPE err, const ZYN_OMX_COMPONENT_INFO *component_info)
{
    omx_report_fail(fail_line, static_cast<unsigned>(err), static_cast<int>(component_info->component_type));
}

void omx_use_buffers(OMX_COMPONENTTYPE *handle, const ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                     OMX_BUFFERHEADERTYPE **slots, const omx_data_buffers &buffers, OMX_U32 count, OMX_U32 size,
                     const char *fail_line)
{
    for (OMX_U32 i = 0; i < count && i < buffers.data.size(); i++) {
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
