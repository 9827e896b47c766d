// The small interface between the component base and a codec back end: decode a unit into
// pictures, or encode a picture into units. The component base owns buffers, states and
// callbacks; a back end only turns bytes into outputs and writes an output into a buffer.
#pragma once

#include <OMX_Component.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zyn
{

struct PortFormat {
    uint32_t width = 0;  // nFrameWidth
    uint32_t height = 0; // nFrameHeight
    uint32_t color = 0;  // eColorFormat
    uint32_t coding = 0; // eCompressionFormat
    uint32_t bitrate = 0;
    uint32_t framerate_q16 = 0;
    uint32_t stride = 0; // nStride: bytes per row of the first plane
    uint32_t slice = 0;  // nSliceHeight: rows of the first plane
    // Encoders: the current profile and level (the standard's values for the coding), the AVC
    // parameters, the rate control.
    uint32_t profile = 0, level = 0;
    uint32_t p_frames = 0;   // between two I pictures; 0: the encoder's choice
    uint32_t ref_frames = 0; // 0: the encoder's choice
    bool cabac = false;
    bool constant_rate = false;
};

// How a picture of w x h lies in a plain buffer of colour format `color`: 32-bit RGB rows of w * 4
// bytes; the 4:2:0 formats with even stride and slice height, chroma after slice rows of luma.
// Zero bytes for a format nothing is written in.
struct PictureLayout {
    uint32_t stride = 0, slice = 0;
    uint64_t bytes = 0;
};

inline PictureLayout picture_layout(uint32_t color, uint32_t w, uint32_t h)
{
    switch (color) {
    case OMX_COLOR_Format32bitARGB8888: return {w * 4, h, uint64_t(w) * 4 * h};
    case OMX_COLOR_FormatYUV420Planar:
    case OMX_COLOR_FormatYUV420SemiPlanar: {
        uint32_t s = (w + 1) & ~1u, sh = (h + 1) & ~1u;
        return {s, sh, uint64_t(s) * sh * 3 / 2};
    }
    default: return {w, h, 0};
    }
}

// A compressed picture of w x h: half of its 4:2:0 size, and never less than 32 KiB.
inline uint64_t compressed_picture_bytes(uint32_t w, uint32_t h)
{
    uint64_t half = uint64_t(w) * h * 3 / 4;
    return half > 32768 ? half : 32768;
}

// Where an output goes: an EGL image (written through the component's own context) or the
// buffer's memory.
struct OutputTarget {
    void *egl_image = nullptr;
    void *egl_display = nullptr;
    uint8_t *data = nullptr;
    size_t capacity = 0;
};

struct OutputResult {
    size_t filled = 0; // bytes written into data (EGL: size of the picture written)
    bool egl_written = false;
    bool eos = false;
    bool sync = false;
    bool codec_config = false; // the stream's parameter sets, ahead of every picture
    int64_t timestamp = 0;     // nTimeStamp of the input that held the picture
};

class CodecBackend
{
public:
    virtual ~CodecBackend() = default;
    // Opened on the move to Idle with the ports' settings.
    virtual bool open(const PortFormat &in, const PortFormat &out) = 0;
    // One input buffer of `size` bytes (nFilledLen); `available` bytes may be read from `data`
    // (nAllocLen - nOffset). Outputs it produces wait inside until written. Returns false when
    // the data could not be decoded/encoded (counted as an error; the component goes on).
    virtual bool push(const uint8_t *data, size_t size, size_t available, uint32_t flags, int64_t timestamp) = 0;
    // The output port's format after the client enabled it again with new buffers.
    virtual void set_output(const PortFormat &) {}
    // Moves every delayed output out (end of stream, or leaving Executing).
    virtual void drain() = 0;
    virtual bool has_output() const = 0;
    virtual OutputResult write_output(const OutputTarget &target) = 0;
    // Starts writing the next output off the caller's thread; false when the back end writes only
    // in place (then write_output). One output at a time: end_output comes before the next begin.
    virtual bool begin_output(const OutputTarget &) { return false; }
    // The output begun last, once written (waits for it); nothing when none was begun.
    // on_output_written tells when it is.
    virtual std::optional<OutputResult> end_output() { return std::nullopt; }
    // Forgets every output not yet written (pictures counted as made, then dropped).
    virtual void drop_output() = 0;
    // Flush: forget stream state, keep the configuration.
    virtual void reset() = 0;
    // Picture size the decoder found (0 while unknown), for the output crop.
    virtual uint32_t coded_width() const { return 0; }
    virtual uint32_t coded_height() const { return 0; }
    // Drops what the back end keeps per EGL image (all buffers are gone).
    virtual void forget_images() {}
    // Releases the threads' resources (the EGL context, the writer thread) before the worker ends.
    virtual void release_thread_resources() {}

    // Called from the writing thread when an output begun is written.
    std::function<void()> on_output_written;

    // An input unit carried the end-of-stream flag: the last output (an empty one when the
    // stream ends without any) goes out with the flag too.
    bool eos_pending = false;

    // Statistics.
    uint64_t pictures = 0;
    uint64_t errors = 0;
    uint64_t egl_writes = 0;
    std::string md5_lines; // one "md5 ..." line per decoded picture when asked for

protected:
    // Marks `r` as the stream's last output when the end was announced.
    OutputResult &take_eos(OutputResult &r)
    {
        r.eos = eos_pending;
        eos_pending = false;
        return r;
    }
};

} // namespace zyn
