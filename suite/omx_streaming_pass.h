// What the decoding and the encoding pass share: the buffer sizes and the picture-size limit,
// and the stages around each pass's own feeding: configure the ports (read and write a port
// definition), give buffers and go to Idle (then Executing, both ports flushed), back to Loaded.
// Every line goes through the report counter.
#pragma once

#include <functional>
#include <string>

#include "omx_component_info.h"

// The largest picture side a list entry may ask for: every buffer size below stays inside an
// int (worked out in 64 bits) and every pixmap inside X11's limit.
inline constexpr int kMaxPictureSide = 16384;

// True when both sides are from 1 to kMaxPictureSide.
bool omx_picture_size_fits(int width, int height);

// One picture in the two-plane tiled layout: luma over width padded to 128 and height padded to
// 32, then the half-height chroma plane padded the same way, each plane padded to 8 KiB. The
// decoder's input buffers and both of the encoder's ports get this size.
int omx_stream_buffer_size(int width, int height);

// Four bytes per pixel over the same padded area: the decoder's output pictures.
int omx_picture_buffer_size(int width, int height);

class StreamingPass
{
public:
    // `name` starts the pass's failure lines ("omx_decoding_test"), `wait_prefix` the names of
    // its waits. With `stop_on_missed_completion` a state or flush completion that never comes
    // stops the pass: no further command is stacked on the stuck one, and the way back to Loaded
    // goes through Idle only while the component still runs.
    StreamingPass(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, const char *name,
                  const char *wait_prefix, bool stop_on_missed_completion);

    // Configure the ports: OMX_GetParameter of the port's definition into `portdef` as it is
    // (nSize, nVersion and the rest set by the caller); the read failure's line, which differs by
    // port; OMX_SetParameter with its failure line.
    OMX_ERRORTYPE read_port(OMX_U32 port, OMX_PARAM_PORTDEFINITIONTYPE *portdef);
    void report_read_failure(OMX_U32 port, OMX_ERRORTYPE err);
    void write_port(OMX_PARAM_PORTDEFINITIONTYPE *portdef);

    // Give buffers and go to Idle: the Idle command, `give_buffers` (the pass's own buffer calls),
    // the Idle completion and state; then Executing and the flush of the input and output port.
    // False when the pass stopped on a missed completion.
    bool give_buffers_and_start(const std::function<void()> &give_buffers);

    // One bounded wait on the run's semaphore, named by the pass's prefix and `what`. False when
    // it expired (its line printed); never stops the pass.
    bool wait(const char *what);

    // Back to Loaded: the Idle command and state, then Loaded with the first `in_count` input and
    // `out_count` output header slots freed, its completion and state.
    void back_to_loaded(OMX_U32 in_count, OMX_U32 out_count);

    // A failure line of this pass taking the error (%x) and the component kind (%d).
    void report(const std::string &fail_line, OMX_ERRORTYPE err);

private:
    std::string line(const char *rest) const { return name_ + rest; }
    // A command followed by its completion; a refused command is reported and not waited for.
    // A missed completion stops the pass when the policy says so.
    void command(OMX_COMMANDTYPE command, OMX_U32 param, const char *wait_what, const std::string &fail_line);
    void check_state(OMX_STATETYPE expected, const std::string &fail_line);

    OMX_COMPONENTTYPE *handle_;
    ZYN_OMX_COMPONENT_INFO *info_;
    std::string name_;
    std::string wait_prefix_;
    bool stop_on_missed_completion_;
    bool stopped_ = false;
};
