// The guarded component calls: function-table check, watchdog, guard bytes, books.
#include "omx_component_calls.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "omx_callbacks.h"
#include "omx_guard.h"
#include "omx_report.h"
#include "omx_timing.h"

namespace
{

// Module-level by design: whether a case is timing the call in progress (main thread only).
int timed_spans = 0;

OMX_COMPONENTTYPE *component_of(OMX_HANDLETYPE h)
{
    omx_track_handle(h);
    return static_cast<OMX_COMPONENTTYPE *>(h);
}

// The table entry, or NULL after its line when the component left it empty.
template <typename Slot> Slot slot_of(OMX_HANDLETYPE h, Slot OMX_COMPONENTTYPE::*slot, const char *call)
{
    OMX_COMPONENTTYPE *component = component_of(h);
    if (component != nullptr && component->*slot != nullptr)
        return component->*slot;
    omx_report_fail("%s: NULL in the component's function table: FAIL, skipped, %s\n", call, omx_guard_component());
    return nullptr;
}

// A record goes to the component as a copy of its nSize bytes with guard bytes after it. Only
// the standard indexes are known to begin with nSize: a vendor's or an extension's data (the
// thumbnail switch is a bare int) goes as it is.
template <typename Fn>
OMX_ERRORTYPE record_call(OMX_HANDLETYPE h, Fn OMX_COMPONENTTYPE::*slot, const char *call, OMX_INDEXTYPE index,
                          OMX_PTR record)
{
    Fn fn = slot_of(h, slot, call);
    if (fn == nullptr)
        return OMX_ErrorNotImplemented;
    const bool standard = static_cast<uint32_t>(index) < static_cast<uint32_t>(OMX_IndexKhronosExtensions);
    OMX_U32 size = 0;
    if (record != nullptr && standard)
        memcpy(&size, record, sizeof size);
    if (size < sizeof size || size > 65536) {
        OmxCallScope scope(call);
        return fn(h, index, record);
    }
    std::vector<unsigned char> copy(size + kOmxGuardBytes, kOmxGuardByte);
    memcpy(copy.data(), record, size);
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope(call);
        err = fn(h, index, copy.data());
    }
    omx_guard_report_overrun(call, "record", size, omx_guard_overrun(copy.data(), size));
    memcpy(record, copy.data(), size);
    return err;
}

// A header the program can use: readable, and for OMX_UseBuffer carrying the program's buffer.
bool usable_header(const OMX_BUFFERHEADERTYPE *header, const OMX_U8 *expected_buffer)
{
    if (header == nullptr || reinterpret_cast<uintptr_t>(header) % alignof(OMX_BUFFERHEADERTYPE) != 0)
        return false;
    OMX_BUFFERHEADERTYPE copy;
    struct iovec local = {&copy, sizeof copy};
    struct iovec remote = {const_cast<OMX_BUFFERHEADERTYPE *>(header), sizeof copy};
    if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) != static_cast<ssize_t>(sizeof copy))
        return false;
    return expected_buffer == nullptr || copy.pBuffer == expected_buffer;
}

template <typename Call>
OMX_ERRORTYPE header_call(OMX_BUFFERHEADERTYPE **header, const char *call, const OMX_U8 *expected_buffer, Call &&fn)
{
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope(call);
        err = fn();
    }
    if (err != OMX_ErrorNone || header == nullptr || usable_header(*header, expected_buffer))
        return err;
    omx_report_fail("%s: unexpected buffer header: FAIL, %s\n", call, omx_guard_component());
    *header = nullptr;
    return OMX_ErrorUndefined;
}

template <typename Fn>
OMX_ERRORTYPE give_buffer(OMX_HANDLETYPE h, Fn OMX_COMPONENTTYPE::*slot, const char *call, OMX_BUFFERHEADERTYPE *header)
{
    Fn fn = slot_of(h, slot, call);
    if (fn == nullptr)
        return OMX_ErrorNotImplemented;
    // The component still has it: it is not given twice.
    if (header != nullptr && !omx_track_give(header))
        return OMX_ErrorNone;
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope(call);
        err = fn(h, header);
    }
    if (err != OMX_ErrorNone)
        omx_track_take_back(header);
    return err;
}

} // namespace

OmxTimedSpan::OmxTimedSpan()
{
    timed_spans++;
}

OmxTimedSpan::~OmxTimedSpan()
{
    timed_spans--;
}

OMX_ERRORTYPE omx_call_get_parameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record)
{
    return record_call(h, &OMX_COMPONENTTYPE::GetParameter, "OMX_GetParameter", index, record);
}

OMX_ERRORTYPE omx_call_set_parameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record)
{
    return record_call(h, &OMX_COMPONENTTYPE::SetParameter, "OMX_SetParameter", index, record);
}

OMX_ERRORTYPE omx_call_get_config(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record)
{
    return record_call(h, &OMX_COMPONENTTYPE::GetConfig, "OMX_GetConfig", index, record);
}

OMX_ERRORTYPE omx_call_set_config(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record)
{
    return record_call(h, &OMX_COMPONENTTYPE::SetConfig, "OMX_SetConfig", index, record);
}

OMX_ERRORTYPE omx_call_get_extension_index(OMX_HANDLETYPE h, OMX_STRING name, OMX_INDEXTYPE *index)
{
    auto fn = slot_of(h, &OMX_COMPONENTTYPE::GetExtensionIndex, "OMX_GetExtensionIndex");
    if (fn == nullptr)
        return OMX_ErrorNotImplemented;
    const size_t size = name != nullptr ? strlen(name) + 1 : 0;
    std::vector<unsigned char> copy(size + kOmxGuardBytes, kOmxGuardByte);
    if (name != nullptr)
        memcpy(copy.data(), name, size);
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope("OMX_GetExtensionIndex");
        err = fn(h, name != nullptr ? reinterpret_cast<OMX_STRING>(copy.data()) : nullptr, index);
    }
    omx_guard_report_overrun("OMX_GetExtensionIndex", "name", size, omx_guard_overrun(copy.data(), size));
    return err;
}

OMX_ERRORTYPE omx_call_get_state(OMX_HANDLETYPE h, OMX_STATETYPE *state)
{
    auto fn = slot_of(h, &OMX_COMPONENTTYPE::GetState, "OMX_GetState");
    if (fn == nullptr)
        return OMX_ErrorNotImplemented;
    OmxCallScope scope("OMX_GetState");
    return fn(h, state);
}

OMX_ERRORTYPE omx_call_send_command(OMX_HANDLETYPE h, OMX_COMMANDTYPE command, OMX_U32 param, OMX_PTR data)
{
    auto fn = slot_of(h, &OMX_COMPONENTTYPE::SendCommand, "OMX_SendCommand");
    if (fn == nullptr)
        return OMX_ErrorNotImplemented;
    omx_track_command(command, param);
    OmxStopwatch stopwatch;
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope("OMX_SendCommand");
        err = fn(h, command, param, data);
    }
    const int time = stopwatch.elapsed_us();
    if (err != OMX_ErrorNone)
        omx_track_command_refused();
    if (timed_spans == 0 && omx_over_budget(time, kOmxCallBudgetUs)) {
        const ZYN_OMX_COMPONENT_INFO *info = omx_tracked_info();
        omx_report_timeout("OMX_SendCommand(%u %u): timeout FAIL: %d, %d\n", static_cast<unsigned>(command),
                           static_cast<unsigned>(param), info != nullptr ? static_cast<int>(info->component_type) : -1,
                           time);
    }
    return err;
}

OMX_ERRORTYPE omx_call_use_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **header, OMX_U32 port, OMX_PTR app,
                                  OMX_U32 size, OMX_U8 *buffer)
{
    auto fn = slot_of(h, &OMX_COMPONENTTYPE::UseBuffer, "OMX_UseBuffer");
    if (fn == nullptr)
        return OMX_ErrorNotImplemented;
    return header_call(header, "OMX_UseBuffer", buffer, [&] { return fn(h, header, port, app, size, buffer); });
}

OMX_ERRORTYPE omx_call_allocate_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **header, OMX_U32 port, OMX_PTR app,
                                       OMX_U32 size)
{
    auto fn = slot_of(h, &OMX_COMPONENTTYPE::AllocateBuffer, "OMX_AllocateBuffer");
    if (fn == nullptr)
        return OMX_ErrorNotImplemented;
    return header_call(header, "OMX_AllocateBuffer", nullptr, [&] { return fn(h, header, port, app, size); });
}

OMX_ERRORTYPE omx_call_use_egl_image(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **header, OMX_U32 port, OMX_PTR app,
                                     void *image)
{
    auto fn = slot_of(h, &OMX_COMPONENTTYPE::UseEGLImage, "OMX_UseEGLImage");
    if (fn == nullptr)
        return OMX_ErrorNotImplemented;
    return header_call(header, "OMX_UseEGLImage", nullptr, [&] { return fn(h, header, port, app, image); });
}

OMX_ERRORTYPE omx_call_free_buffer(OMX_HANDLETYPE h, OMX_U32 port, OMX_BUFFERHEADERTYPE *header)
{
    auto fn = slot_of(h, &OMX_COMPONENTTYPE::FreeBuffer, "OMX_FreeBuffer");
    if (fn == nullptr)
        return OMX_ErrorNotImplemented;
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope("OMX_FreeBuffer");
        err = fn(h, port, header);
    }
    if (err == OMX_ErrorNone)
        omx_track_buffer_freed(header);
    return err;
}

OMX_ERRORTYPE omx_call_empty_this_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *header)
{
    return give_buffer(h, &OMX_COMPONENTTYPE::EmptyThisBuffer, "OMX_EmptyThisBuffer", header);
}

OMX_ERRORTYPE omx_call_fill_this_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *header)
{
    return give_buffer(h, &OMX_COMPONENTTYPE::FillThisBuffer, "OMX_FillThisBuffer", header);
}
