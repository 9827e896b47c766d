// The stages the decoding and the encoding pass share.
#include "omx_streaming_pass.h"

#include <cstdint>

#include "omx_component_steps.h"
#include "omx_header_slots.h"
#include "omx_report.h"
#include "omx_wait.h"

namespace
{

constexpr int64_t align(int64_t x, int64_t n)
{
    return (x + n - 1) / n * n;
}

} // namespace

bool omx_picture_size_fits(int width, int height)
{
    return width >= 1 && height >= 1 && width <= kMaxPictureSide && height <= kMaxPictureSide;
}

int omx_stream_buffer_size(int width, int height)
{
    const int64_t w128 = align(width, 128);
    return static_cast<int>(align(w128 * align(height, 32), 8192) + align(w128 * align(height / 2, 32), 8192));
}

int omx_picture_buffer_size(int width, int height)
{
    return static_cast<int>(align(align(width, 128) * align(height, 32) * 4, 8192));
}

StreamingPass::StreamingPass(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, const char *name,
                             const char *wait_prefix, bool stop_on_missed_completion)
    : handle_(handle), info_(component_info), name_(name), wait_prefix_(wait_prefix),
      stop_on_missed_completion_(stop_on_missed_completion)
{
}

void StreamingPass::report(const std::string &fail_line, OMX_ERRORTYPE err)
{
    omx_report_error(fail_line.c_str(), err, info_);
}

OMX_ERRORTYPE StreamingPass::read_port(OMX_U32 port, OMX_PARAM_PORTDEFINITIONTYPE *portdef)
{
    portdef->nPortIndex = port;
    return OMX_GetParameter(handle_, OMX_IndexParamPortDefinition, portdef);
}

void StreamingPass::report_read_failure(OMX_U32 port, OMX_ERRORTYPE err)
{
    if (err != OMX_ErrorNone)
        report(line(port == 0 ? ": OMX_GetParameter: OMX_IndexParamPortDefinition: FAIL: %x, %d\n"
                              : ": OMX_GetParameter: FAIL: %x, %d\n"),
               err);
}

void StreamingPass::write_port(OMX_PARAM_PORTDEFINITIONTYPE *portdef)
{
    const OMX_ERRORTYPE err = OMX_SetParameter(handle_, OMX_IndexParamPortDefinition, portdef);
    if (err != OMX_ErrorNone)
        report(line(": OMX_SetParameter: OMX_IndexParamPortDefinition: FAIL: %x, %d\n"), err);
}

bool StreamingPass::wait(const char *what)
{
    return omx_wait_sema(info_, (wait_prefix_ + what).c_str()) == 0;
}

void StreamingPass::command(OMX_COMMANDTYPE command, OMX_U32 param, const char *wait_what, const std::string &fail_line)
{
    bool missed = false;
    const OMX_ERRORTYPE err =
        omx_command_and_wait(handle_, info_, command, param, (wait_prefix_ + wait_what).c_str(), &missed);
    if (err != OMX_ErrorNone)
        report(fail_line, err);
    if (missed && stop_on_missed_completion_)
        stopped_ = true;
}

void StreamingPass::check_state(OMX_STATETYPE expected, const std::string &fail_line)
{
    omx_check_state(handle_, info_, expected, fail_line.c_str());
}

bool StreamingPass::give_buffers_and_start(const std::function<void()> &give_buffers)
{
    omx_clear_header_slots();
    // Idle completes only once every buffer is given, so its wait comes after them.
    const OMX_ERRORTYPE err = OMX_SendCommand(handle_, OMX_CommandStateSet, OMX_StateIdle, nullptr);
    if (err != OMX_ErrorNone)
        report(line(": OMX_SendCommand: FAIL: %x, %d\n"), err);
    give_buffers();
    if (err == OMX_ErrorNone && !wait("OMX_StateIdle") && stop_on_missed_completion_)
        stopped_ = true;
    check_state(OMX_StateIdle, line(": OMX_GetState: OMX_StateIdle: FAIL: %d, %d\n"));
    if (stopped_)
        return false;

    command(OMX_CommandStateSet, OMX_StateExecuting, "OMX_StateExecuting",
            line(": OMX_SendCommand: OMX_StateExecuting: FAIL: %x, %d\n"));
    check_state(OMX_StateExecuting, line(": OMX_GetState: OMX_StateExecuting: FAIL: %d, %d\n"));
    if (stopped_)
        return false;
    command(OMX_CommandFlush, 0, "OMX_CommandFlush inport",
            line(": OMX_SetParameter(OMX_CommandFlush,inport) return Error : %x\n"));
    if (stopped_)
        return false;
    command(OMX_CommandFlush, 1, "OMX_CommandFlush outport",
            line(": OMX_SetParameter(OMX_CommandFlush,outport) return Error : %x\n"));
    return !stopped_;
}

void StreamingPass::back_to_loaded(OMX_U32 in_count, OMX_U32 out_count)
{
    bool to_idle = true;
    if (stopped_) {
        OMX_STATETYPE state = OMX_StateInvalid;
        OMX_GetState(handle_, &state);
        to_idle = state == OMX_StateExecuting || state == OMX_StatePause;
    }
    if (to_idle) {
        command(OMX_CommandStateSet, OMX_StateIdle, "OMX_StateIdle",
                line(": OMX_SendCommand: OMX_StateIdle: FAIL: %x, %d\n"));
        check_state(OMX_StateIdle, line(":  OMX_GetState: OMX_StateIdle: FAIL: %d, %d\n"));
    }

    // Loaded completes only once every buffer is handed back, so its wait comes after them.
    const OMX_ERRORTYPE err = OMX_SendCommand(handle_, OMX_CommandStateSet, OMX_StateLoaded, nullptr);
    if (err != OMX_ErrorNone)
        report(line(": OMX_SendCommand: OMX_StateLoaded: FAIL: %x, %d\n"), err);
    omx_free_buffers(handle_, info_, 0, in_buffer_header, in_count,
                     line(": OMX_FreeBuffer(usebuffer): FAIL: %x, %d\n").c_str());
    omx_free_buffers(handle_, info_, 1, out_buffer_header, out_count,
                     line(": OMX_FreeBuffer(allocatebuffer): FAIL: %x, %d\n").c_str());
    if (err == OMX_ErrorNone)
        wait("OMX_StateLoaded");
    check_state(OMX_StateLoaded, line(": OMX_GetState: OMX_StateLoaded: FAIL: %d, %d\n"));
}
