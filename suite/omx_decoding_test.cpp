// Decoding pass: one list entry through one decoder component, from the stream file to the
// screen. The component writes its pictures straight into the EGL images of the output window;
// the input ring and the output ring share one position, which carries on from run to run.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "KolvexXcdParser.h"
#include "omx_component_steps.h"
#include "omx_file.h"
#include "omx_record.h"
#include "omx_report.h"
#include "omx_results.h"
#include "omx_streaming_pass.h"
#include "omx_test_cases.h"
#include "video_output.h"
#include "window_snapshot.h"

namespace
{

// The input ring and the EGL image ring have three slots.
constexpr OMX_U32 kRingSlots = 3;

// Module-level by design: a run starts the rings where the previous run left them.
int nc;

constexpr std::size_t kOutNameSize = 128;

// The stream format follows from the file name's extension; the parser does not look at the
// codec type, so the pass hands it the neutral first value.
constexpr KOLVEX_XCD_CODEC_TYPE kParserCodecType = H264_DEC;
constexpr int kParserSize = 0x200000;

struct ColorFormatRow {
    const char *extension;
    OMX_COLOR_FORMATTYPE color_type;
};

// Indexed by TEST_SUPPORT_COLOR_FORMAT_TYPE.
const ColorFormatRow kColorFormats[] = {
    {".420p.yuv", OMX_COLOR_FormatYUV420Planar},
    {".420s.yuv", OMX_COLOR_FormatYUV420SemiPlanar},
    {".nv12t", OMX_ZYN_COLOR_FormatNV12Tiled},
    {".rgb", OMX_COLOR_Format32bitARGB8888},
};

// The images and the program a pass drew with are released when it ends: by then the component
// has freed every output buffer (back to Loaded) or was never given one. The window stays for
// the next pass, still showing the last picture.
struct PassDisplay {
    PassDisplay() = default;
    PassDisplay(const PassDisplay &) = delete;
    PassDisplay &operator=(const PassDisplay &) = delete;
    ~PassDisplay()
    {
        ReleaseRender(&program);
        ReleaseImages();
    }
};

struct ParserClose {
    void operator()(void *parser) const { KolvexParserDeInit(parser); }
};

class DecodingPass
{
public:
    DecodingPass(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *info)
        : handle_(handle), info_(info), kind_(info->component_type), width_(info->width), height_(info->height),
          pass_(handle, info, "omx_decoding_test", "", true)
    {
    }

    int run(TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat)
    {
        const PassDisplay display;
        name_output(colorformat);
        open_parser();
        if (!omx_picture_size_fits(width_, height_)) {
            omx_report_fail("omx_decoding_test: picture size %dx%d outside 1x1 to %dx%d: FAIL, %d\n", width_, height_,
                            kMaxPictureSide, kMaxPictureSide, kind_);
            return 0;
        }
        in_buffer_size_ = omx_stream_buffer_size(width_, height_);
        configure_ports();
        if (!counts_fit_the_rings() || !open_display())
            return 0;
        if (!in_buffer_.allocate(min_inbuffer_, static_cast<size_t>(in_buffer_size_),
                                 "malloc(in_buffer[%i]) return Error\n"))
            return -1;
        if (!create_output_file())
            return 0;
        const bool started = pass_.give_buffers_and_start([this] { give_buffers(); });
        if (started)
            feed_and_drain();
        pass_.back_to_loaded(min_inbuffer_, min_outbuffer_);
        return 0;
    }

private:
    // The output name is the entry's name plus the colour format's extension; without a row it
    // stays empty, and creating the file fails.
    void name_output(TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat)
    {
        entry_out_.assign(info_->out_file_name, strnlen(info_->out_file_name, kOutNameSize));
        if (colorformat >= SUPPORT_COLOR_FORMAT_YUV420Planar && colorformat < SUPPORT_COLOR_FORMAT_MAX) {
            const ColorFormatRow &row = kColorFormats[colorformat];
            out_name_ = entry_out_ + row.extension;
            info_->color_type = row.color_type;
        }
        printf("\noutput: %s\n", out_name_.c_str());
    }

    // No parser simply means no frames.
    void open_parser()
    {
        char in_name[kOutNameSize + 1] = {};
        std::memcpy(in_name, info_->in_file_name, strnlen(info_->in_file_name, kOutNameSize));
        parser_.reset(KolvexParserInit(kParserCodecType, in_name, kParserSize));
    }

    // Configure the ports: the input port for the stream, the output port, read into the same
    // record, for the pictures.
    void configure_ports()
    {
        const int out_buffer_size = omx_picture_buffer_size(width_, height_);
        OMX_PARAM_PORTDEFINITIONTYPE portdef;
        omx_prepare_record(&portdef);

        pass_.report_read_failure(0, pass_.read_port(0, &portdef));
        min_inbuffer_ = portdef.nBufferCountMin;
        portdef.format.video.nFrameWidth = width_;
        portdef.format.video.nFrameHeight = height_;
        portdef.format.video.eColorFormat = info_->color_type;
        portdef.format.video.eCompressionFormat = info_->coding_type;
        portdef.nBufferSize = in_buffer_size_;
        printf(" I/P port buf count = %d I/P port buf size = %d \n", (int)min_inbuffer_, in_buffer_size_);
        fflush(stdout);
        pass_.write_port(&portdef);

        pass_.report_read_failure(1, pass_.read_port(1, &portdef));
        min_outbuffer_ = portdef.nBufferCountMin;
        portdef.format.video.nFrameWidth = width_;
        portdef.format.video.nFrameHeight = height_;
        portdef.format.video.eColorFormat = info_->color_type;
        portdef.nBufferSize = out_buffer_size;
        printf(" O/P port buf count = %d O/P port buf size = %d\n", (int)min_outbuffer_, out_buffer_size);
        fflush(stdout);
        pass_.write_port(&portdef);
    }

    // The frame loop walks slots 0..2 of both rings; the header tables and the image ring have
    // no room beyond 5 input and 3 output buffers.
    bool counts_fit_the_rings()
    {
        if (min_inbuffer_ >= kRingSlots && min_inbuffer_ <= IN_BUFFER_SLOTS && min_outbuffer_ == OUT_BUFFER_SLOTS)
            return true;
        omx_report_fail("omx_decoding_test: buffer count I/P %u O/P %u unsupported (I/P 3 to 5, O/P 3): FAIL, %d\n",
                        (unsigned)min_inbuffer_, (unsigned)min_outbuffer_, kind_);
        return false;
    }

    // The EGL images of the output window are the decoder's output buffers.
    bool open_display()
    {
        const int height32 = (height_ + 31) / 32 * 32;
        OpenWindowBlank();
        const int window = OpenWindow(&egl_display, &egl_surface, 0, 0, 1280, 800, textures, pixmaps, khrImages,
                                      vAddrEGL, (int)min_outbuffer_, width_, height32);
        if (window != 0) {
            omx_report_fail("omx_decoding_test: no EGL window or images (OpenWindow %d): FAIL, %d\n", window, kind_);
            return false;
        }
        puts("EGL Window Created !!! \n");
        fflush(nullptr);
        return true;
    }

    bool create_output_file()
    {
        if (out_name_.size() >= kOutNameSize) {
            omx_report_fail("omx_decoding_test: output name longer than 127 characters: %s\n", out_name_.c_str());
            return false;
        }
        out_file_.reset(fopen(out_name_.c_str(), "wb"));
        if (!out_file_) {
            omx_report_fail("fopen(%s) Error\n", entry_out_.c_str());
            return false;
        }
        return true;
    }

    void give_buffers()
    {
        omx_use_buffers(handle_, info_, 0, in_buffer_header, in_buffer_, min_inbuffer_, in_buffer_size_,
                        "omx_decoding_test: OMX_UseBuffer: FAIL: %x, %d\n");
        for (OMX_U32 i = 0; i < min_outbuffer_; i++) {
            const OMX_ERRORTYPE err = OMX_UseEGLImage(handle_, &out_buffer_header[i], 1, nullptr, khrImages[i]);
            puts("omx_decoding_test: Decoder Component Output EGL Buffer is Assigned");
            if (err != OMX_ErrorNone) {
                out_buffer_header[i] = nullptr;
                pass_.report("omx_decoding_test: OMX_UseEGLImage: FAIL: %x, %d\n", err);
            }
        }
    }

    // One frame in flight; the picture shown is the slot filled on the previous iteration.
    void feed_and_drain()
    {
        // The source's size with its terminating zero.
        init_render(&program, &pos_location, kFragmentShaderRGB, (int)sizeof kFragmentShaderRGB);
        unsigned int frame_num = 0;
        while (parser_) {
            const int frame_size = KolvexParserFrameSize(parser_.get(), frame_num);
            if (frame_size <= 0)
                break;
            if (frame_size > in_buffer_size_) {
                omx_report_fail("omx_decoding_test: frame %u of %d bytes does not fit the input buffer of %d bytes: "
                                "FAIL, %d\n",
                                frame_num, frame_size, in_buffer_size_, kind_);
                break;
            }
            OMX_BUFFERHEADERTYPE *in_header = in_buffer_header[nc];
            OMX_BUFFERHEADERTYPE *out_header = out_buffer_header[nc];
            if (!in_header || !out_header) {
                omx_report_fail("omx_decoding_test: no buffer header in slot %d: FAIL, %d\n", nc, kind_);
                break;
            }
            int frame_flag = 0;
            const int frame_length = KolvexParserFrameGet(parser_.get(), frame_num, in_buffer_[nc], &frame_flag);
            if (frame_length == 0)
                break;
            frame_num++;
            in_header->nFilledLen = frame_length;

            const double given = omx_results_clock();
            OMX_ERRORTYPE err = OMX_EmptyThisBuffer(handle_, in_header);
            const bool emptied = err == OMX_ErrorNone;
            if (emptied)
                omx_results_input_given(given);
            else
                omx_report_fail("OMX_EmptyThisBuffer() return Error : %x\n", err);
            err = OMX_FillThisBuffer(handle_, out_header);
            if (err != OMX_ErrorNone)
                omx_report_fail("OMX_FillThisBuffer() return Error : %x\n", err);

            // The input buffer must be back before it is refilled; one the component keeps ends
            // the feeding.
            if (emptied && !pass_.wait("OMX_EmptyThisBuffer"))
                break;

            const int prevdecframe = nc == 0 ? 2 : nc - 1;
            ShowFrame(egl_display, egl_surface, program, textures[prevdecframe], pos_location);
            nc = nc + 1 == (int)kRingSlots ? 0 : nc + 1;
        }

        const std::string snapshot = omx_results_snapshot_path();
        if (!snapshot.empty() && SaveWindowSnapshot(egl_display, egl_surface, snapshot.c_str()))
            omx_results_pass_snapshot(snapshot.c_str());

        if (kind_ == OMX_COMPONENT_AVCDEC) {
            OMX_CONFIG_RECTTYPE rectType;
            omx_prepare_record(&rectType);
            rectType.nPortIndex = 1;
            OMX_GetConfig(handle_, OMX_IndexConfigCommonOutputCrop, &rectType);
        }
    }

    OMX_COMPONENTTYPE *handle_;
    ZYN_OMX_COMPONENT_INFO *info_;
    const int kind_;
    const int width_;
    const int height_;
    StreamingPass pass_;
    std::string entry_out_;
    std::string out_name_;
    std::unique_ptr<void, ParserClose> parser_;
    OmxFile out_file_;
    OmxDataBuffers in_buffer_;
    int in_buffer_size_ = 0;
    OMX_U32 min_inbuffer_ = 0;
    OMX_U32 min_outbuffer_ = 0;
};

} // namespace

int omx_decoding_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                      TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat)
{
    if (!component_info->sema) {
        omx_report_fail("omx_decoding_test: no semaphore Error\n");
        return -1;
    }
    // Completions left over from the driver's earlier calls or an earlier run must not satisfy
    // a wait of this one.
    while (sem_trywait(component_info->sema) == 0) {
    }
    const int result = DecodingPass(handle, component_info).run(colorformat);
    fflush(stdout);
    return result;
}
