// Encoding pass: raw planar YUV 4:2:0 pictures, converted to semi-planar, through one encoder.
#include <algorithm>
#include <cstdio>

#include "omx_component_steps.h"
#include "omx_file.h"
#include "omx_record.h"
#include "omx_report.h"
#include "omx_streaming_pass.h"
#include "omx_test_cases.h"

namespace
{

/* Reads one planar picture into `buffer` as luma followed by interleaved chroma pairs (Cb
 * first). Returns the bytes of picture now in the buffer, or 0, with a report line, when the
 * file ended before a whole picture. */
size_t read_picture(FILE *file, unsigned char *buffer, unsigned char *chroma, int square, unsigned index,
                    const char *name)
{
    const size_t luma_size = static_cast<size_t>(square);
    const size_t chroma_size = static_cast<size_t>(square >> 1);
    const size_t luma_read = fread(buffer, 1, luma_size, file);
    const size_t chroma_read = luma_read == luma_size ? fread(chroma, 1, chroma_size, file) : 0;
    if (luma_read + chroma_read < luma_size + chroma_size) {
        omx_report_fail("omx_encoding_test: %s: picture %u: short read, %zu of %zu bytes, not submitted: Error\n", name,
                        index, luma_read + chroma_read, luma_size + chroma_size);
        return 0;
    }
    const int offset = square >> 2;
    unsigned j = 0;
    for (; j < static_cast<unsigned>(square >> 1); j += 2) {
        buffer[square + j] = chroma[j >> 1];
        buffer[square + j + 1] = chroma[(j >> 1) + offset];
    }
    return static_cast<size_t>(square) + j;
}

class EncodingPass
{
public:
    EncodingPass(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *info)
        : handle_(handle), info_(info), width_(info->width), height_(info->height),
          pass_(handle, info, "omx_encoding_test", "omx_encoding_test: ", false)
    {
    }

    void run()
    {
        printf("\noutput: %s\n", info_->out_file_name);
        // The chroma planes are half the picture in each direction: the sides must be even.
        if (width_ < 2 || height_ < 2 || !omx_picture_size_fits(width_, height_) || width_ % 2 != 0 ||
            height_ % 2 != 0) {
            omx_report_fail("omx_encoding_test: picture size %dx%d: Error\n", width_, height_);
            return;
        }
        buffer_size_ = omx_stream_buffer_size(width_, height_);
        configure_ports();
        printf("Enc I/P buffer count %d \n", static_cast<int>(min_inbuffer_));
        fflush(stdout);
        printf("Enc O/P buffer count %d \n", static_cast<int>(min_outbuffer_));
        fflush(stdout);
        if (!omx_counts_fit_slots("omx_encoding_test", min_inbuffer_, min_outbuffer_, info_))
            return;
        if (!in_buffer_.allocate(min_inbuffer_, in_size_, "malloc(in_buffer[%i]) return Error\n") ||
            !out_buffer_.allocate(min_outbuffer_, out_size_, "malloc(out_buffer[%i]) return Error\n") ||
            !temp_buffer_.allocate(1, static_cast<size_t>(buffer_size_), "malloc(temp_buffer) return Error : %x\n"))
            return;
        if (!open_files())
            return;
        pass_.give_buffers_and_start([this] { give_buffers(); });
        feed_and_drain();
        pass_.back_to_loaded(min_inbuffer_, min_outbuffer_);
    }

private:
    // Configure the ports: raw pictures in, the stream out, each from a record of its own so a
    // failed query never hands one port's settings to the other.
    void configure_ports()
    {
        configure_port(0, "I/P", static_cast<int>(info_->color_type), min_inbuffer_, in_size_);
        configure_port(1, "O/P", static_cast<int>(info_->coding_type), min_outbuffer_, out_size_);
    }

    // One port: its count and buffer size read, the picture size and the format (colour on the
    // input, coding on the output) written.
    void configure_port(OMX_U32 port, const char *side, int format, OMX_U32 &min_buffers, size_t &size)
    {
        OMX_PARAM_PORTDEFINITIONTYPE portdef;
        omx_prepare_record(&portdef);
        const OMX_ERRORTYPE err = pass_.read_port(port, &portdef);
        printf("%s port format %d \n", side, format);
        fflush(stdout);
        pass_.report_read_failure(port, err);
        min_buffers = err == OMX_ErrorNone ? portdef.nBufferCountMin : 0;
        size = port_buffer_size(err, portdef);
        portdef.format.video.nFrameWidth = static_cast<OMX_U32>(width_);
        portdef.format.video.nFrameHeight = static_cast<OMX_U32>(height_);
        if (port == 0)
            portdef.format.video.eColorFormat = info_->color_type;
        else
            portdef.format.video.eCompressionFormat = info_->coding_type;
        portdef.nBufferSize = static_cast<OMX_U32>(buffer_size_);
        pass_.write_port(&portdef);
    }

    // A port that asks for more than the pass's picture size gets its own size: a strict port
    // refuses smaller buffers.
    size_t port_buffer_size(OMX_ERRORTYPE err, const OMX_PARAM_PORTDEFINITIONTYPE &portdef) const
    {
        const size_t asked = err == OMX_ErrorNone ? static_cast<size_t>(portdef.nBufferSize) : 0;
        return std::max(static_cast<size_t>(buffer_size_), std::min(asked, static_cast<size_t>(64) << 20));
    }

    bool open_files()
    {
        in_file_ = omx_open_regular_file(info_->in_file_name);
        if (!in_file_) {
            omx_report_fail("fopen(%s) Error\n", info_->in_file_name);
            return false;
        }
        out_file_.reset(fopen(info_->out_file_name, "wb"));
        if (!out_file_) {
            omx_report_fail("fopen(%s) Error\n", info_->out_file_name);
            return false;
        }
        return true;
    }

    void give_buffers()
    {
        omx_use_buffers(handle_, info_, 0, in_buffer_header, in_buffer_, min_inbuffer_, static_cast<OMX_U32>(in_size_),
                        "omx_encoding_test: OMX_UseBuffer: FAIL: %x, %d\n");
        omx_use_buffers(handle_, info_, 1, out_buffer_header, out_buffer_, min_outbuffer_,
                        static_cast<OMX_U32>(out_size_), "omx_encoding_test: OMX_AllocateBuffer: FAIL: %x, %d\n");
    }

    // One picture per input buffer, all submitted before any is waited for. The data goes into
    // the buffer this run owns (its size is known), the one the component was given.
    void feed_and_drain()
    {
        const int square = width_ * height_;
        unsigned pictures = 0;
        unsigned submitted = 0;
        for (OMX_U32 i = 0; i < min_inbuffer_; i++) {
            if (in_buffer_header[i] == nullptr)
                continue;
            const size_t filled =
                read_picture(in_file_.get(), in_buffer_[i], temp_buffer_[0], square, pictures, info_->in_file_name);
            if (filled == 0)
                break;
            pictures++;
            in_buffer_header[i]->nFilledLen = static_cast<OMX_U32>(filled);
            const OMX_ERRORTYPE err = OMX_EmptyThisBuffer(handle_, in_buffer_header[i]);
            if (err != OMX_ErrorNone)
                omx_report_fail("OMX_EmptyThisBuffer() return Error : %x\n", static_cast<unsigned>(err));
            else
                submitted++;
        }
        printf("Enc pictures read %u, submitted %u \n", pictures, submitted);
        for (OMX_U32 i = 0; i < min_outbuffer_; i++) {
            if (out_buffer_header[i] == nullptr)
                continue;
            const OMX_ERRORTYPE err = OMX_FillThisBuffer(handle_, out_buffer_header[i]);
            if (err != OMX_ErrorNone)
                omx_report_fail("OMX_FillThisBuffer() return Error : %x\n", static_cast<unsigned>(err));
        }
        // One return per submitted buffer: every buffer that does not come back costs its own
        // line, and no post is left for the next wait.
        for (unsigned k = 0; k < submitted; k++)
            pass_.wait("EmptyBufferDone");
    }

    OMX_COMPONENTTYPE *handle_;
    ZYN_OMX_COMPONENT_INFO *info_;
    const int width_;
    const int height_;
    StreamingPass pass_;
    int buffer_size_ = 0;
    size_t in_size_ = 0;
    size_t out_size_ = 0;
    OMX_U32 min_inbuffer_ = 0;
    OMX_U32 min_outbuffer_ = 0;
    OmxDataBuffers in_buffer_;
    OmxDataBuffers out_buffer_;
    OmxDataBuffers temp_buffer_;
    OmxFile in_file_;
    OmxFile out_file_;
};

} // namespace

int omx_encoding_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, TEST_SUPPORT_COLOR_FORMAT_TYPE)
{
    // The input colour format comes from the record, not from the argument.
    EncodingPass(handle, component_info).run();
    return 0;
}
