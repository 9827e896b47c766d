// Codec back ends on FFmpeg's libavcodec: the five decoders (H.264, MPEG-4 Visual / H.263,
// VC-1 from RCV or advanced profile, VP8) and the three encoders (H.264 Baseline through
// libx264, MPEG-4, H.263).
#include "egl_image_writer.h"
#include "omx_codec_factory.h"
#include "omx_stats.h"
#include "omx_writer_thread.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/md5.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <OMX_ZYN_Platform.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

namespace zyn
{
namespace
{

// FFmpeg reports broken units through its log; the core prints nothing of its own, so the log
// is only counted, per worker thread, to tell a damaged unit from a good one. Per thread, not
// per back end: FFmpeg's log callback is process-wide and carries no back end to count in.
thread_local unsigned t_log_errors = 0;

void count_log(void *, int level, const char *, va_list)
{
    if (level <= AV_LOG_ERROR)
        ++t_log_errors;
}

void quiet_ffmpeg()
{
    static std::once_flag once; // the callback is process-wide: set it once, whichever handle comes first
    std::call_once(once, [] { av_log_set_callback(count_log); });
}

uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct FrameDeleter {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
struct PacketDeleter {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
struct ContextDeleter {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
using ContextPtr = std::unique_ptr<AVCodecContext, ContextDeleter>;
struct ParserDeleter {
    void operator()(AVCodecParserContext *p) const { av_parser_close(p); }
};
// More than any picture of the largest port: a client that never ends a picture is cut off.
constexpr size_t kMaxPictureBytes = size_t(8192) * 8192 * 3 / 2;
struct SwsDeleter {
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};

// What libswscale's SIMD code needs of every destination plane and stride: its ARM NEON
// converters store with 128-bit alignment hints (a bus error on anything less), x86 up to 64.
constexpr uintptr_t kSimdAlign = 64;

bool simd_aligned(uint8_t *const dst[4], const int stride[4])
{
    for (int i = 0; i < 4; ++i)
        if (dst[i] && ((reinterpret_cast<uintptr_t>(dst[i]) | static_cast<uintptr_t>(stride[i])) % kSimdAlign))
            return false;
    return true;
}

// Converts pictures to RGBA or I420 with one cached scaler per direction.
class Converter
{
public:
    Converter() = default;
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    ~Converter() { av_freep(&staging_[0]); }

    // dst planes/strides as sws_scale wants them. A destination the scaler may not write
    // directly (a client's buffer, a vector, a row length that breaks the alignment) gets the
    // picture through an aligned staging image and a row copy.
    bool convert(const AVFrame *f, int w, int h, AVPixelFormat fmt, uint8_t *const dst[4], const int stride[4])
    {
        int flags = (w == f->width && h == f->height) ? SWS_POINT : SWS_BILINEAR;
        SwsContext *s = sws_getCachedContext(ctx_.release(), f->width, f->height, static_cast<AVPixelFormat>(f->format),
                                             w, h, fmt, flags, nullptr, nullptr, nullptr);
        ctx_.reset(s);
        if (!s)
            return false;
        if (simd_aligned(dst, stride))
            return scaled(sws_scale(s, f->data, f->linesize, 0, f->height, dst, stride));
        if (!stage(w, h, fmt))
            return false;
        if (!scaled(sws_scale(s, f->data, f->linesize, 0, f->height, staging_, staging_stride_)))
            return false;
        uint8_t *out[4] = {dst[0], dst[1], dst[2], dst[3]};
        int out_stride[4] = {stride[0], stride[1], stride[2], stride[3]};
        const uint8_t *in[4] = {staging_[0], staging_[1], staging_[2], staging_[3]};
        av_image_copy(out, out_stride, in, staging_stride_, fmt, w, h);
        return true;
    }

private:
    // libswscale fails with a negative error code. Its success value is not the row count
    // everywhere: the ARM NEON unscaled converters (YUV to RGBA among them) return 0 rows.
    static bool scaled(int rows) { return rows >= 0; }

    // The staging image, kept while the size and format stay the same.
    bool stage(int w, int h, AVPixelFormat fmt)
    {
        if (staging_[0] && w == staging_w_ && h == staging_h_ && fmt == staging_fmt_)
            return true;
        av_freep(&staging_[0]);
        if (av_image_alloc(staging_, staging_stride_, w, h, fmt, static_cast<int>(kSimdAlign)) < 0) {
            staging_[0] = nullptr;
            return false;
        }
        staging_w_ = w;
        staging_h_ = h;
        staging_fmt_ = fmt;
        return true;
    }

    std::unique_ptr<SwsContext, SwsDeleter> ctx_;
    uint8_t *staging_[4] = {};
    int staging_stride_[4] = {};
    int staging_w_ = 0, staging_h_ = 0;
    AVPixelFormat staging_fmt_ = AV_PIX_FMT_NONE;
};

enum class Stream {
    Unknown,
    H264,
    Mpeg4,
    H263,
    Wmv3,
    Vc1,
    Vp8
};

AVCodecID codec_id(Stream s)
{
    switch (s) {
    case Stream::H264: return AV_CODEC_ID_H264;
    case Stream::Mpeg4: return AV_CODEC_ID_MPEG4;
    case Stream::H263: return AV_CODEC_ID_H263;
    case Stream::Wmv3: return AV_CODEC_ID_WMV3;
    case Stream::Vc1: return AV_CODEC_ID_VC1;
    case Stream::Vp8: return AV_CODEC_ID_VP8;
    default: return AV_CODEC_ID_NONE;
    }
}

bool starts_with_start_code(const uint8_t *d, size_t n)
{
    return n >= 3 && d[0] == 0 && d[1] == 0 && d[2] == 1;
}
bool starts_with_h263_psc(const uint8_t *d, size_t n)
{
    return n >= 3 && d[0] == 0 && d[1] == 0 && (d[2] & 0xFC) == 0x80;
}
// Where a picture or its headers can begin: a start code (00 00 01, 00 00 00 01) or an H.263
// picture start code. A piece cut out of a picture's middle almost never does.
bool starts_unit(const uint8_t *d, size_t n)
{
    return starts_with_start_code(d, n) || (n >= 4 && d[0] == 0 && starts_with_start_code(d + 1, n - 1)) ||
           starts_with_h263_psc(d, n);
}
// A unit of MPEG-4 headers only: it opens with a visual object sequence, visual object or video
// object layer start code (00 00 01 B0, 00..2F) and holds no VOP start code (00 00 01 B6).
bool is_mpeg4_header_unit(const uint8_t *d, size_t n)
{
    if (n < 4 || !starts_with_start_code(d, n) || !(d[3] == 0xB0 || d[3] <= 0x2F))
        return false;
    for (size_t i = 0; i + 3 < n; ++i)
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0xB6)
            return false;
    return true;
}

// The RCV sequence-header unit: 0xC5 in byte 3, the extension length in bytes 4..7 (4, or 5 in
// some files), the extension (STRUCT_C), height and width, 0x0000000C and 12 bytes of STRUCT_B.
struct RcvHeader {
    std::vector<uint8_t> extradata;
    int width = 0, height = 0;
};

bool parse_rcv_header(const uint8_t *d, size_t n, RcvHeader &out)
{
    if (n < 8 || d[3] != 0xC5)
        return false;
    uint32_t ext = le32(d + 4);
    if (ext < 4 || ext > 5 || n != 32 + ext)
        return false;
    out.extradata.assign(d + 8, d + 8 + ext);
    out.height = static_cast<int>(le32(d + 8 + ext));
    out.width = static_cast<int>(le32(d + 12 + ext));
    return out.width > 0 && out.height > 0 && out.width <= 8192 && out.height <= 8192;
}

// What decoders and encoders share: their coding, name and port formats, the codec context, the
// outputs waiting for a buffer, in order, and the end-of-stream mark that goes out with the last.
template <typename Item> class QueuedBackend : public CodecBackend
{
public:
    QueuedBackend(OMX_VIDEO_CODINGTYPE coding, std::string name)
        : coding_(coding), name_(std::move(name)), md5_(stats_md5_enabled())
    {
        quiet_ffmpeg();
    }

    bool has_output() const override { return !ready_.empty() || eos_pending; }
    void drop_output() override
    {
        ready_.clear();
        eos_pending = false;
    }

protected:
    // Every open starts from the new port formats with nothing queued and no codec context.
    void begin_open(const PortFormat &in, const PortFormat &out)
    {
        in_ = in;
        out_ = out;
        drop_output();
        ctx_.reset();
    }

    // The next output (null for a bare end-of-stream mark); `r` carries the mark with the last.
    Item next_output(OutputResult &r)
    {
        Item item{};
        if (!ready_.empty()) {
            item = std::move(ready_.front());
            ready_.pop_front();
        }
        if (ready_.empty())
            take_eos(r);
        return item;
    }

    std::deque<Item> ready_;
    OMX_VIDEO_CODINGTYPE coding_;
    std::string name_;
    bool md5_;
    PortFormat in_, out_;
    ContextPtr ctx_;
};

// One statistics line: the MD5 of a picture's I420 planes at w x h, rows without padding.
std::string i420_md5_line(const std::string &name, unsigned long long index, const uint8_t *const planes[3],
                          const int strides[3], int w, int h)
{
    int cw = (w + 1) / 2, ch = (h + 1) / 2;
    AVMD5 *md5 = av_md5_alloc();
    if (!md5)
        return {};
    av_md5_init(md5);
    for (int i = 0; i < 3; ++i) {
        int pw = i ? cw : w, ph = i ? ch : h;
        for (int y = 0; y < ph; ++y)
            av_md5_update(md5, planes[i] + size_t(y) * strides[i], pw);
    }
    uint8_t digest[16];
    av_md5_final(md5, digest);
    av_free(md5);
    char line[256];
    int n = std::snprintf(line, sizeof line, "md5 %s %llu ", name.c_str(), index);
    for (uint8_t b : digest)
        n += std::snprintf(line + n, sizeof line - n, "%02x", b);
    std::snprintf(line + n, sizeof line - n, " %dx%d\n", w, h);
    return line;
}

class Decoder final : public QueuedBackend<FramePtr>
{
public:
    using QueuedBackend::QueuedBackend;

    bool open(const PortFormat &in, const PortFormat &out) override
    {
        begin_open(in, out);
        stream_ = Stream::Unknown;
        parser_.reset();
        flagged_frames_ = false;
        pieces_ = false;
        pending_.clear();
        pending_timestamp_ = AV_NOPTS_VALUE;
        return true;
    }

    // Streams with start codes go through libavcodec's parser, which finds the pictures in
    // whatever pieces the client cuts the stream into. Where a picture ends: at a buffer flagged
    // ENDOFFRAME; without the flag, at the end of every buffer as long as the client neither flags
    // ENDOFFRAME nor sends a buffer that continues a picture (then the parser waits for the next
    // picture's start) and the buffer is not full, so a client that gives whole pictures gets
    // each one back at once.
    // MPEG-4 headers alone are kept for the picture after them. The other streams (RCV, IVF)
    // are one picture per buffer, or, once the client flags ENDOFFRAME at all, everything up to
    // the flagged buffer.
    bool push(const uint8_t *data, size_t size, size_t available, uint32_t flags, int64_t timestamp) override
    {
        t_log_errors = 0;
        if (stream_ == Stream::Unknown || stream_ == Stream::Wmv3) {
            RcvHeader rcv;
            if (wmv() && parse_rcv_header(data, size, rcv))
                return open_codec(Stream::Wmv3, rcv.extradata, rcv.width, rcv.height);
        }
        if (stream_ == Stream::Unknown && !detect(data, size))
            return false;
        if (!ctx_)
            return false;
        const bool end_of_frame = (flags & OMX_BUFFERFLAG_ENDOFFRAME) != 0;
        flagged_frames_ = flagged_frames_ || end_of_frame;
        bool ok = true;
        if (parser_) {
            pieces_ = pieces_ || !starts_unit(data, size);
            ok = parse(data, size, timestamp);
            bool headers_only = stream_ == Stream::Mpeg4 && is_mpeg4_header_unit(data, size);
            // A buffer filled to its end is a piece of a picture larger than the buffer.
            const bool filled_up = size >= available;
            if (!headers_only && (end_of_frame || (!flagged_frames_ && !pieces_ && !filled_up)))
                ok = flush_parser() && ok;
        } else {
            pending_.insert(pending_.end(), data, data + size);
            if (flagged_frames_ && !end_of_frame) {
                if (pending_timestamp_ == AV_NOPTS_VALUE)
                    pending_timestamp_ = timestamp;
                return pending_.size() <= kMaxPictureBytes || (pending_.clear(), false);
            }
            ok = decode_unit(pending_timestamp_ != AV_NOPTS_VALUE ? pending_timestamp_ : timestamp, flags);
            pending_.clear();
            pending_timestamp_ = AV_NOPTS_VALUE;
        }
        return ok && t_log_errors == 0;
    }

    void drain() override
    {
        if (!ctx_)
            return;
        t_log_errors = 0;
        if (parser_ && (!flush_parser() || t_log_errors))
            ++errors; // the last picture the parser held
        if (avcodec_send_packet(ctx_.get(), nullptr) >= 0)
            receive();
        avcodec_flush_buffers(ctx_.get());
        reset_parser();
    }

    void set_output(const PortFormat &out) override { out_ = out; }

    OutputResult write_output(const OutputTarget &t) override
    {
        begin_output(t);
        return end_output().value_or(OutputResult{});
    }

    // The picture is taken here, on the worker; its colour conversion and upload run on the
    // writer thread while the worker decodes on.
    bool begin_output(const OutputTarget &t) override
    {
        if (job_open_)
            end_output();
        job_.r = OutputResult{};
        job_.frame = next_output(job_.r);
        job_.target = t;
        job_.out = out_;
        job_open_ = true;
        writer_.start([this] { write_picture(job_); }, on_output_written);
        return true;
    }

    std::optional<OutputResult> end_output() override
    {
        if (!job_open_)
            return std::nullopt;
        writer_.wait();
        job_open_ = false;
        job_.frame.reset();
        return job_.r;
    }

    void reset() override
    {
        drop_output();
        if (ctx_)
            avcodec_flush_buffers(ctx_.get());
        reset_parser();
    }

    void forget_images() override
    {
        writer_.run([this] { egl_.forget_images(); });
    }

    uint32_t coded_width() const override { return ctx_ ? static_cast<uint32_t>(ctx_->width) : 0; }
    uint32_t coded_height() const override { return ctx_ ? static_cast<uint32_t>(ctx_->height) : 0; }

    void release_thread_resources() override
    {
        if (job_open_)
            end_output();
        writer_.run([this] { egl_.close(); });
        writer_.stop();
    }

private:
    bool wmv() const { return coding() == OMX_VIDEO_CodingWMV; }
    OMX_VIDEO_CODINGTYPE coding() const { return in_.coding ? static_cast<OMX_VIDEO_CODINGTYPE>(in_.coding) : coding_; }

    // The port's coding names the family; the first unit tells which stream of it this is.
    bool detect(const uint8_t *d, size_t n)
    {
        switch (static_cast<uint32_t>(coding())) {
        case OMX_VIDEO_CodingAVC: return open_codec(Stream::H264, {}, 0, 0);
        case OMX_VIDEO_CodingVPX: return open_codec(Stream::Vp8, {}, 0, 0);
        case OMX_VIDEO_CodingMPEG4:
        case OMX_VIDEO_CodingH263:
            if (starts_with_h263_psc(d, n))
                return open_codec(Stream::H263, {}, 0, 0);
            if (starts_with_start_code(d, n))
                return open_codec(Stream::Mpeg4, {}, 0, 0);
            return open_codec(coding() == OMX_VIDEO_CodingH263 ? Stream::H263 : Stream::Mpeg4, {}, 0, 0);
        case OMX_VIDEO_CodingWMV: {
            // Advanced profile: the sequence header and entry point before the first frame or
            // field start code are the decoder's set-up data.
            if (!starts_with_start_code(d, n))
                return false;
            size_t end = n;
            for (size_t i = 0; i + 3 < n; ++i)
                if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && (d[i + 3] == 0x0D || d[i + 3] == 0x0C)) {
                    end = i;
                    break;
                }
            return open_codec(Stream::Vc1, std::vector<uint8_t>(d, d + end), 0, 0);
        }
        default: return false;
        }
    }

    bool open_codec(Stream s, const std::vector<uint8_t> &extradata, int width, int height)
    {
        ctx_.reset();
        stream_ = s;
        const AVCodec *codec = avcodec_find_decoder(codec_id(s));
        if (!codec)
            return false;
        ContextPtr ctx(avcodec_alloc_context3(codec));
        if (!ctx)
            return false;
        ctx->thread_count = 1; // no frame threads: no delay beyond the stream's own reordering
        if (width) {
            ctx->width = ctx->coded_width = width;
            ctx->height = ctx->coded_height = height;
        }
        if (!extradata.empty()) {
            ctx->extradata = static_cast<uint8_t *>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!ctx->extradata)
                return false;
            std::memcpy(ctx->extradata, extradata.data(), extradata.size());
            ctx->extradata_size = static_cast<int>(extradata.size());
        }
        if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
            return false;
        parser_.reset(s == Stream::Wmv3 || s == Stream::Vp8 ? nullptr : av_parser_init(codec_id(s)));
        if (!pkt_)
            pkt_.reset(av_packet_alloc());
        if (!frame_)
            frame_.reset(av_frame_alloc());
        if (!pkt_ || !frame_)
            return false;
        ctx_ = std::move(ctx);
        return true;
    }

    // Feeds the parser; decodes every whole picture it finds.
    bool parse(const uint8_t *data, size_t size, int64_t timestamp)
    {
        bool ok = true;
        while (size > 0) {
            uint8_t *out = nullptr;
            int out_size = 0;
            const unsigned logged = t_log_errors; // the parser's complaints are not the decoder's
            int used =
                av_parser_parse2(parser_.get(), ctx_.get(), &out, &out_size, data,
                                 static_cast<int>(std::min<size_t>(size, INT32_MAX)), timestamp, AV_NOPTS_VALUE, 0);
            t_log_errors = logged;
            if (used < 0)
                return false;
            data += used;
            size -= static_cast<size_t>(used);
            if (out_size > 0)
                ok = decode_packet(out, static_cast<size_t>(out_size), parser_->pts, parser_->key_frame == 1) && ok;
            else if (used == 0)
                break;
        }
        return ok;
    }

    // The picture the parser still holds goes out now.
    bool flush_parser()
    {
        bool ok = true;
        for (int i = 0; i < 2; ++i) { // the parser may hold the last picture and a piece after it
            uint8_t *out = nullptr;
            int out_size = 0;
            const unsigned logged = t_log_errors;
            av_parser_parse2(parser_.get(), ctx_.get(), &out, &out_size, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            t_log_errors = logged;
            if (out_size <= 0)
                break;
            ok = decode_packet(out, static_cast<size_t>(out_size), parser_->pts, parser_->key_frame == 1) && ok;
        }
        reset_parser();
        return ok;
    }

    void reset_parser()
    {
        if (parser_)
            parser_.reset(av_parser_init(codec_id(stream_)));
    }

    // One picture of a stream without a parser.
    bool decode_unit(int64_t timestamp, uint32_t flags)
    {
        const uint8_t *data = pending_.data();
        size_t size = pending_.size();
        if (stream_ == Stream::Wmv3 && size >= 8 && (le32(data) & 0x00FFFFFF) == size - 8) {
            data += 8; // the RCV frame header: size and key flag, then the time stamp
            size -= 8;
        }
        return size == 0 || decode_packet(data, size, timestamp, (flags & OMX_BUFFERFLAG_SYNCFRAME) != 0);
    }

    bool decode_packet(const uint8_t *data, size_t size, int64_t pts, bool key)
    {
        packet_.assign(data, data + size);
        packet_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        pkt_->data = packet_.data();
        pkt_->size = static_cast<int>(size);
        pkt_->pts = pts;
        pkt_->flags = key ? AV_PKT_FLAG_KEY : 0;
        int r = avcodec_send_packet(ctx_.get(), pkt_.get());
        return receive() && r >= 0;
    }

    bool receive()
    {
        bool ok = true;
        for (;;) {
            int r = avcodec_receive_frame(ctx_.get(), frame_.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                break;
            if (r < 0) {
                ok = false;
                break;
            }
            if (frame_->decode_error_flags || (frame_->flags & AV_FRAME_FLAG_CORRUPT))
                ok = false;
            ++pictures;
            if (md5_)
                add_md5(frame_.get());
            FramePtr f(av_frame_alloc());
            if (f) {
                av_frame_move_ref(f.get(), frame_.get());
                ready_.push_back(std::move(f));
            }
            av_frame_unref(frame_.get());
        }
        return ok;
    }

    // MD5 of the picture's I420 planes at its coded size, rows without padding.
    void add_md5(const AVFrame *f)
    {
        int w = f->width, h = f->height, cw = (w + 1) / 2, ch = (h + 1) / 2;
        const uint8_t *planes[3];
        int strides[3];
        std::vector<uint8_t> i420;
        if (f->format == AV_PIX_FMT_YUV420P || f->format == AV_PIX_FMT_YUVJ420P) {
            for (int i = 0; i < 3; ++i) {
                planes[i] = f->data[i];
                strides[i] = f->linesize[i];
            }
        } else {
            i420.resize(size_t(w) * h + 2 * size_t(cw) * ch);
            uint8_t *dst[4] = {i420.data(), i420.data() + size_t(w) * h, i420.data() + size_t(w) * h + size_t(cw) * ch,
                               nullptr};
            int stride[4] = {w, cw, cw, 0};
            if (!i420_.convert(f, w, h, AV_PIX_FMT_YUV420P, dst, stride))
                return;
            for (int i = 0; i < 3; ++i) {
                planes[i] = dst[i];
                strides[i] = stride[i];
            }
        }
        md5_lines += i420_md5_line(name_, static_cast<unsigned long long>(pictures), planes, strides, w, h);
    }

    // An output being written: what the worker took for it and what the writer thread made of it.
    struct Job {
        FramePtr frame;
        OutputTarget target;
        PortFormat out;
        OutputResult r;
    };

    // On the writer thread: the picture into an EGL image (RGBA) or into the buffer in the port's
    // colour format.
    void write_picture(Job &job)
    {
        const AVFrame *f = job.frame.get();
        if (!f)
            return;
        const OutputTarget &t = job.target;
        const PortFormat &out = job.out;
        OutputResult &r = job.r;
        int w = out.width ? static_cast<int>(out.width) : f->width;
        int h = out.height ? static_cast<int>(out.height) : f->height;
        r.sync = f->key_frame != 0;
        r.timestamp = f->pts != AV_NOPTS_VALUE ? f->pts : 0;
        if (t.egl_image) {
            // EGL images take RGBA, whatever the port's colour format.
            size_t bytes = size_t(w) * size_t(h) * 4;
            if (!hold_rgba(bytes))
                return;
            uint8_t *dst[4] = {rgba_.get(), nullptr, nullptr, nullptr};
            int stride[4] = {w * 4, 0, 0, 0};
            if (rgb_.convert(f, w, h, AV_PIX_FMT_RGBA, dst, stride) &&
                egl_.open(static_cast<EGLDisplay>(t.egl_display)) &&
                egl_.write(static_cast<EGLImageKHR>(t.egl_image), w, h, std::span(rgba_.get(), bytes))) {
                ++egl_writes;
                r.egl_written = true;
                r.filled = bytes;
            }
            return;
        }
        // A plain buffer gets the port's colour format in its own layout, at the port's stride
        // and slice height when they leave room for the picture.
        PictureLayout l = picture_layout(out.color, static_cast<uint32_t>(w), static_cast<uint32_t>(h));
        const bool rgb = out.color == OMX_COLOR_Format32bitARGB8888;
        l.stride = std::max(l.stride, rgb ? out.stride : (out.stride + 1) & ~1u);
        l.slice = std::max(l.slice, rgb ? out.slice : (out.slice + 1) & ~1u);
        l.bytes = l.bytes ? uint64_t(l.stride) * l.slice * (rgb ? 2 : 3) / 2 : 0;
        if (!t.data || l.bytes == 0 || t.capacity < l.bytes || l.stride > INT32_MAX / 2)
            return;
        uint8_t *y = t.data, *c = t.data + size_t(l.stride) * l.slice;
        const int s = static_cast<int>(l.stride);
        AVPixelFormat fmt = AV_PIX_FMT_BGRA; // OMX_COLOR_Format32bitARGB8888: B, G, R, A in memory
        uint8_t *dst[4] = {y, nullptr, nullptr, nullptr};
        int stride[4] = {s, 0, 0, 0};
        if (out.color == OMX_COLOR_FormatYUV420Planar) {
            fmt = AV_PIX_FMT_YUV420P;
            dst[1] = c;
            dst[2] = c + size_t(l.stride / 2) * (l.slice / 2);
            stride[1] = stride[2] = s / 2;
        } else if (out.color == OMX_COLOR_FormatYUV420SemiPlanar) {
            fmt = AV_PIX_FMT_NV12;
            dst[1] = c;
            stride[1] = s;
        }
        if (rgb_.convert(f, w, h, fmt, dst, stride))
            r.filled = static_cast<size_t>(l.bytes);
        return;
    }

    Stream stream_ = Stream::Unknown;
    PacketPtr pkt_;
    FramePtr frame_;
    std::vector<uint8_t> packet_;
    std::unique_ptr<AVCodecParserContext, ParserDeleter> parser_;
    bool flagged_frames_ = false;  // the client marks the ends of pictures
    bool pieces_ = false;          // the client cuts pictures into pieces without marking them
    std::vector<uint8_t> pending_; // a picture in pieces, without a parser
    int64_t pending_timestamp_ = AV_NOPTS_VALUE;
    // The RGBA picture for EGL images, aligned for the scaler's SIMD stores so that it converts
    // straight into it (a staging copy cost a tenth of the decoding time at 720p).
    struct AlignedFree {
        void operator()(uint8_t *p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t[], AlignedFree> rgba_;
    size_t rgba_capacity_ = 0;

    bool hold_rgba(size_t bytes)
    {
        if (bytes <= rgba_capacity_)
            return true;
        const size_t rounded = (bytes + kSimdAlign - 1) / kSimdAlign * kSimdAlign;
        rgba_.reset(static_cast<uint8_t *>(std::aligned_alloc(kSimdAlign, rounded)));
        rgba_capacity_ = rgba_ ? rounded : 0;
        return rgba_ != nullptr;
    }
    Converter rgb_, i420_;
    EglImageWriter egl_;
    Job job_;
    bool job_open_ = false; // begun, not yet ended
    WriterThread writer_;   // last: its thread ends before what its jobs use goes
};

// The stream's parameter sets at the head of an encoder's first unit: H.264 SPS and PPS units,
// or MPEG-4 headers up to the first VOP. None for H.263.
std::vector<uint8_t> parameter_sets(OMX_VIDEO_CODINGTYPE coding, const uint8_t *d, size_t n)
{
    if (coding == OMX_VIDEO_CodingH263)
        return {};
    std::vector<size_t> starts; // of the units, their leading zero byte included
    for (size_t i = 0; i + 3 < n; ++i)
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            starts.push_back(i > 0 && d[i - 1] == 0 ? i - 1 : i);
            i += 2;
        }
    size_t end = 0;
    for (size_t k = 0; k < starts.size(); ++k) {
        uint8_t code = d[starts[k] + (d[starts[k] + 2] == 1 ? 3 : 4)];
        bool header = coding == OMX_VIDEO_CodingAVC ? ((code & 0x1F) == 7 || (code & 0x1F) == 8) : code != 0xB6;
        if (!header)
            break;
        end = k + 1 < starts.size() ? starts[k + 1] : n;
    }
    return std::vector<uint8_t>(d, d + end);
}

int avc_level_idc(uint32_t level)
{
    static constexpr int kIdc[] = {10, 9, 11, 12, 13, 20, 21, 22, 30, 31, 32, 40, 41, 42, 50, 51};
    for (int i = 0; i < 16; ++i)
        if (level == (1u << i))
            return kIdc[i];
    return FF_LEVEL_UNKNOWN;
}

struct EncodedUnit {
    PacketPtr packet;
    bool codec_config = false;
    int64_t timestamp = 0;
};

// Encoders read one semi-planar (NV12) picture of the input port's size per input buffer, or a
// planar (I420) one when the input port says YUV420Planar. The stream's parameter sets go out
// first, in a buffer of their own.
class Encoder final : public QueuedBackend<EncodedUnit>
{
public:
    using QueuedBackend::QueuedBackend;

    bool open(const PortFormat &in, const PortFormat &out) override
    {
        begin_open(in, out);
        config_sent_ = false;
        return true;
    }

    bool push(const uint8_t *data, size_t size, size_t available, uint32_t, int64_t timestamp) override
    {
        t_log_errors = 0;
        const size_t w = in_.width, h = in_.height, luma = w * h, chroma = 2 * ((w + 1) / 2) * ((h + 1) / 2);
        // The picture is read whole whenever the buffer holds it: a client may count only the
        // luma plane in nFilledLen.
        if (size < luma || available < luma + chroma)
            return false;
        if (!ctx_ && !open_codec())
            return false;
        if (av_frame_make_writable(frame_.get()) < 0)
            return false;
        for (size_t y = 0; y < h; ++y)
            std::memcpy(frame_->data[0] + y * frame_->linesize[0], data + y * w, w);
        const uint8_t *c = data + luma;
        size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
        bool planar = in_.color == OMX_COLOR_FormatYUV420Planar;
        for (size_t y = 0; y < ch; ++y) {
            uint8_t *u = frame_->data[1] + y * frame_->linesize[1];
            uint8_t *v = frame_->data[2] + y * frame_->linesize[2];
            if (planar) {
                std::memcpy(u, c + y * cw, cw);
                std::memcpy(v, c + cw * ch + y * cw, cw);
            } else {
                const uint8_t *row = c + y * 2 * cw;
                for (size_t x = 0; x < cw; ++x) {
                    u[x] = row[2 * x];
                    v[x] = row[2 * x + 1];
                }
            }
        }
        // The picture as received, planar again: lets a test check the client's chroma interleave.
        if (md5_)
            md5_lines += i420_md5_line(name_, static_cast<unsigned long long>(next_pts_), frame_->data,
                                       frame_->linesize, static_cast<int>(w), static_cast<int>(h));
        timestamps_.push_back(timestamp); // no B pictures: units come out in the pictures' order
        frame_->pts = next_pts_++;
        int r = avcodec_send_frame(ctx_.get(), frame_.get());
        bool ok = receive() && r >= 0;
        return ok && t_log_errors == 0;
    }

    void drain() override
    {
        if (!ctx_)
            return;
        if (avcodec_send_frame(ctx_.get(), nullptr) >= 0)
            receive();
        ctx_.reset(); // an encoder that has drained starts over on the next picture
    }

    OutputResult write_output(const OutputTarget &t) override
    {
        OutputResult r;
        EncodedUnit u = next_output(r);
        if (!u.packet)
            return r;
        const AVPacket *p = u.packet.get();
        r.sync = (p->flags & AV_PKT_FLAG_KEY) != 0;
        r.codec_config = u.codec_config;
        r.timestamp = u.timestamp;
        if (t.data && t.capacity >= static_cast<size_t>(p->size)) {
            std::memcpy(t.data, p->data, static_cast<size_t>(p->size));
            r.filled = static_cast<size_t>(p->size);
        } else {
            ++errors; // the unit does not fit the client's buffer
        }
        return r;
    }

    void reset() override
    {
        drop_output();
        ctx_.reset();
    }

private:
    bool open_codec()
    {
        const AVCodec *codec = nullptr;
        switch (coding_) {
        case OMX_VIDEO_CodingAVC: codec = avcodec_find_encoder_by_name("libx264"); break;
        case OMX_VIDEO_CodingMPEG4: codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4); break;
        case OMX_VIDEO_CodingH263: codec = avcodec_find_encoder(AV_CODEC_ID_H263); break;
        default: break;
        }
        if (!codec || in_.width == 0 || in_.height == 0)
            return false;
        ContextPtr ctx(avcodec_alloc_context3(codec));
        if (!ctx)
            return false;
        ctx->width = static_cast<int>(in_.width);
        ctx->height = static_cast<int>(in_.height);
        ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        // The pictures' rate is the input port's; the stream port's is the fallback.
        uint32_t rate = in_.framerate_q16 >> 16 ? in_.framerate_q16 >> 16 : out_.framerate_q16 >> 16;
        int fps = rate ? static_cast<int>(std::min<uint32_t>(rate, 1000)) : 30;
        ctx->time_base = {1, fps};
        ctx->framerate = {fps, 1};
        ctx->bit_rate = out_.bitrate ? out_.bitrate : 512000;
        // libavcodec's own encoders follow the rate closely only with a tight tolerance.
        ctx->bit_rate_tolerance = static_cast<int>(
            std::min<int64_t>(std::max<int64_t>(ctx->bit_rate / 8, ctx->bit_rate / fps + 1), INT32_MAX));
        if (out_.constant_rate) {
            ctx->rc_max_rate = ctx->bit_rate;
            ctx->rc_buffer_size = static_cast<int>(std::min<int64_t>(ctx->bit_rate, INT32_MAX));
        }
        ctx->gop_size = out_.p_frames ? static_cast<int>(std::min<uint32_t>(out_.p_frames, 1000)) + 1 : 30;
        ctx->max_b_frames = 0; // one unit out per picture in, nothing held back
        ctx->thread_count = 1;
        if (out_.ref_frames)
            ctx->refs = static_cast<int>(std::min<uint32_t>(out_.ref_frames, 16));
        if (coding_ == OMX_VIDEO_CodingAVC) {
            const char *profile = out_.profile == OMX_VIDEO_AVCProfileHigh   ? "high"
                                  : out_.profile == OMX_VIDEO_AVCProfileMain ? "main"
                                                                             : "baseline";
            ctx->level = avc_level_idc(out_.level);
            av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
            av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
            av_opt_set(ctx->priv_data, "profile", profile, 0);
            // ultrafast leaves out what Main and High add: the profile asked for gets its tools back
            // (CABAC, and 8x8 transforms for High), so the stream is of that profile.
            if (std::strcmp(profile, "baseline") != 0)
                av_opt_set(ctx->priv_data, "x264-params",
                           std::strcmp(profile, "high") == 0 ? "cabac=1:8x8dct=1" : "cabac=1", 0);
        } else if (coding_ == OMX_VIDEO_CodingMPEG4) {
            // Simple (0x01) or Advanced Simple (0x8000); levels 0x01..0x80 are 0, 0b, 1 .. 5.
            ctx->profile = out_.profile == 0x8000 ? FF_PROFILE_MPEG4_ADVANCED_SIMPLE : FF_PROFILE_MPEG4_SIMPLE;
            static constexpr int kLevels[] = {0, 0, 1, 2, 3, 4, 4, 5};
            for (int i = 0; i < 8; ++i)
                if (out_.level == (1u << i))
                    ctx->level = kLevels[i];
        }
        if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
            return false;
        if (!frame_)
            frame_.reset(av_frame_alloc());
        if (!frame_)
            return false;
        av_frame_unref(frame_.get());
        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = ctx->width;
        frame_->height = ctx->height;
        if (av_frame_get_buffer(frame_.get(), 0) < 0)
            return false;
        ctx_ = std::move(ctx);
        next_pts_ = 0;
        timestamps_.clear();
        return true;
    }

    bool receive()
    {
        bool ok = true;
        for (;;) {
            PacketPtr p(av_packet_alloc());
            if (!p)
                return false;
            int r = avcodec_receive_packet(ctx_.get(), p.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                break;
            if (r < 0) {
                ok = false;
                break;
            }
            ++pictures;
            int64_t timestamp = 0;
            if (!timestamps_.empty()) {
                timestamp = timestamps_.front();
                timestamps_.pop_front();
            }
            if (!config_sent_) {
                config_sent_ = true;
                auto sets = parameter_sets(coding_, p->data, static_cast<size_t>(p->size));
                PacketPtr config(av_packet_alloc());
                if (!sets.empty() && config && av_new_packet(config.get(), static_cast<int>(sets.size())) == 0) {
                    std::memcpy(config->data, sets.data(), sets.size());
                    ready_.push_back({std::move(config), true, timestamp});
                }
            }
            ready_.push_back({std::move(p), false, timestamp});
        }
        return ok;
    }

    FramePtr frame_;
    int64_t next_pts_ = 0;
    std::deque<int64_t> timestamps_; // of the pictures sent and not yet out
    bool config_sent_ = false;
};

} // namespace

std::unique_ptr<CodecBackend> codec_create(const ComponentDesc &desc, const std::string &name)
{
    if (!desc.name)
        return nullptr; // the generic component decodes nothing
    if (desc.kind == ComponentKind::Encoder)
        return std::make_unique<Encoder>(desc.coding, name);
    return std::make_unique<Decoder>(desc.coding, name);
}

void *egl_current_display()
{
    EGLDisplay display = eglGetCurrentDisplay();
    return display == EGL_NO_DISPLAY ? nullptr : display;
}

} // namespace zyn
