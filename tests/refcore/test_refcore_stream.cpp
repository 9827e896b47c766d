// Decoding and encoding for real through the component API: streams cut every way against FFmpeg's pictures, a VP8 test
// vector against its MD5 file, a real VC-1 stream, the encoders.
#include "refcore_client.h"

#include <functional>
#include <sstream>
#include <utility>

using namespace refcore_test;

namespace
{

using Unit = std::vector<uint8_t>;

bool have_ffmpeg()
{
    return omxt::shell("ffmpeg -version >/dev/null && ffprobe -version >/dev/null && echo yes") == "yes\n";
}

// The numbers ffprobe gives for each packet (`entries` "packet=size,pos") or picture ("frame=pkt_pos").
std::vector<std::vector<size_t>> probe(const std::string &file, const std::string &entries)
{
    std::vector<std::vector<size_t>> rows;
    for (const std::string &line :
         omxt::lines(omxt::shell("ffprobe -v error -show_entries " + entries + " -of csv=p=0 '" + file + "'"))) {
        std::istringstream fields(line);
        std::vector<size_t> row;
        for (std::string field; std::getline(fields, field, ',');)
            row.push_back(std::stoull(field));
        if (!row.empty())
            rows.push_back(row);
    }
    return rows;
}

// FFmpeg's decode of `file` in `pix_fmt`, cut into pictures of `bytes`.
std::vector<Unit> ffmpeg_pictures(const std::string &file, const std::string &pix_fmt, size_t bytes)
{
    std::string raw = omxt::shell("ffmpeg -nostdin -v error -i '" + file + "' -f rawvideo -pix_fmt " + pix_fmt + " -");
    std::vector<Unit> pictures;
    for (size_t at = 0; at + bytes <= raw.size(); at += bytes)
        pictures.emplace_back(raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + bytes));
    return pictures;
}

// The units of an IVF file (frames after a header whose length is in bytes 6..7, each after a 12-byte header) or of an
// RCV file as the parser hands them (the sequence header, 32 + extension length bytes, then frames that keep their
// 8-byte headers), at most `count`.
std::vector<Unit> file_units(const std::string &name, bool rcv, size_t count = SIZE_MAX)
{
    const std::string f = omxt::read_file(name);
    auto le24 = [&](size_t at) { return size_t(uint8_t(f[at]) | uint8_t(f[at + 1]) << 8 | uint8_t(f[at + 2]) << 16); };
    const size_t head = rcv ? 8 : 12;
    size_t pos = rcv ? 32 + le24(4) : le24(6) & 0xFFFF;
    std::vector<Unit> units;
    if (rcv)
        units.emplace_back(f.begin(), f.begin() + static_cast<long>(pos));
    for (size_t n; pos + head <= f.size() && (n = le24(pos)) <= f.size() - pos - head && units.size() < count;
         pos += head + n)
        units.emplace_back(f.begin() + static_cast<long>(pos + (rcv ? 0 : head)),
                           f.begin() + static_cast<long>(pos + head + n));
    return units;
}

// A moving picture in the encoding test's layout: luma, then interleaved Cb/Cr pairs.
Unit nv12_picture(uint32_t w, uint32_t h, uint32_t t)
{
    Unit p(size_t(w) * h * 3 / 2, static_cast<uint8_t>(96 + t));
    for (size_t i = 0; i < size_t(w) * h; ++i)
        p[i] = static_cast<uint8_t>(i % w + i / w + 4 * t);
    return p;
}

// Whole passes through a component.
class StreamTest : public ComponentTest
{
protected:
    // Sizes both ports; the picture port gets RGBA buffers of width x height.
    void configure(uint32_t width, uint32_t height, OMX_U32 in_bytes, OMX_U32 out_bytes)
    {
        for (OMX_U32 p : {0u, 1u}) {
            auto d = port_def(p);
            d.format.video.nFrameWidth = width;
            d.format.video.nFrameHeight = height;
            d.nBufferSize = p == 0 ? in_bytes : out_bytes;
            ASSERT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
        }
    }
    void set_colour(OMX_COLOR_FORMATTYPE colour)
    {
        auto f = record<OMX_VIDEO_PARAM_PORTFORMATTYPE>(1);
        f.eColorFormat = colour;
        ASSERT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamVideoPortFormat, &f));
    }

    // Feeds every unit, one in flight, keeping the output buffers queued (those back go out again, and with the end of
    // the stream until the last one comes), then frees the handle and reads its statistics. `filled_len` overrides
    // nFilledLen (an encoder counts the luma plane only).
    void run(const std::vector<Unit> &units, size_t filled_len = 0)
    {
        res = {};
        clear();
        to_state(OMX_StateIdle);
        to_state(OMX_StateExecuting);
        std::vector<OMX_BUFFERHEADERTYPE *> back = out; // output buffers to give (again)
        size_t seen = 0;
        auto collect = [&] {
            for (auto rs = records(); seen < rs.size(); ++seen) {
                OMX_BUFFERHEADERTYPE *o = rs[seen].hdr;
                res.input_returns += rs[seen].kind == 'e';
                if (rs[seen].kind != 'f')
                    continue;
                back.push_back(o);
                if (o->nFilledLen) {
                    res.outputs.emplace_back(o->pBuffer, o->pBuffer + o->nFilledLen);
                    res.times.push_back(o->nTimeStamp);
                }
                const OMX_U32 f = o->nFlags;
                res.flags += f & OMX_BUFFERFLAG_EOS                                          ? 'E'
                             : f == (OMX_BUFFERFLAG_CODECCONFIG | OMX_BUFFERFLAG_ENDOFFRAME) ? 'C'
                             : (f & ~OMX_BUFFERFLAG_SYNCFRAME) == OMX_BUFFERFLAG_ENDOFFRAME  ? 'u'
                                                                                             : '-';
            }
        };
        for (size_t k = 0; k < units.size(); ++k) {
            OMX_BUFFERHEADERTYPE *b = in[k % in.size()];
            std::copy_n(units[k].begin(), std::min<size_t>(units[k].size(), b->nAllocLen), b->pBuffer);
            const bool last = eos_last && k + 1 == units.size();
            b->nFlags = (last ? OMX_BUFFERFLAG_EOS : 0) | (k < unit_meta.size() ? unit_meta[k].first : 0);
            b->nTimeStamp = k < unit_meta.size() ? unit_meta[k].second : 0;
            EXPECT_EQ(OMX_ErrorNone, empty(b, static_cast<OMX_U32>(filled_len ? filled_len : units[k].size())));
            const auto step = std::chrono::milliseconds(100);
            for (int tries = 0;; ++tries) {
                if (on_settings && out.empty() && wait(1, 'E', OMX_EventPortSettingsChanged, 1, ~0u, step))
                    on_settings(), back = out;
                for (auto *o : std::exchange(back, {})) {
                    EXPECT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), o));
                    ++res.fills;
                }
                if (wait(k + 1, 'e', ~0u, ~0u, ~0u, step) &&
                    (!last || out.empty() || wait(1, 'E', OMX_EventBufferFlag, 1, OMX_BUFFERFLAG_EOS, step)))
                    break;
                if (tries == 200)
                    return;
                collect();
            }
            collect();
        }
        to_state(OMX_StateIdle);
        collect();
        to_state(OMX_StateLoaded);
        EXPECT_EQ(OMX_ErrorNone, close());
        for (const std::string &line : omxt::lines(stats()))
            if (line.starts_with("md5 ")) // md5 NAME N HEX WxH
                res.md5.push_back(line.substr(line.find(' ', line.find(' ', 4) + 1) + 1, 32));
            else
                res.stats = line;
    }

    struct {
        size_t fills = 0;
        std::vector<std::string> md5; // hex digests in picture order
        std::string stats;            // the "stats ..." line
        std::vector<Unit> outputs;    // filled output buffers, in return order
        std::vector<OMX_TICKS> times; // of the filled output buffers, in order
        std::string flags; // of every output buffer back: E end of stream, C parameter sets, u a unit ending a picture
        size_t input_returns = 0;
    } res;                                                // of the last run
    bool eos_last = false;                                // the last unit carries OMX_BUFFERFLAG_EOS
    std::vector<std::pair<OMX_U32, OMX_TICKS>> unit_meta; // flags and time stamp of each unit
    std::function<void()> on_settings;                    // a disabled output port told the stream's format: enables it
};

} // namespace

// However the client cuts the stream (whole units flagged ENDOFFRAME, units in two pieces, two units in one buffer,
// pieces that never say where a picture ends), the pictures are FFmpeg's, in the output port's colour format and its
// byte layout, each with the time stamp of the unit that held it (here: where the unit starts in the file), in
// presentation order.
TEST_F(StreamTest, AnyChunkingGivesFfmpegsPicturesInTheNegotiatedColourWithTheirTimestamps)
{
    OMX_SKIP_UNLESS(have_ffmpeg(), "ffmpeg and ffprobe");
    struct Case {
        const char *decoder, *file, *pix_fmt;
        OMX_COLOR_FORMATTYPE colour;
        size_t bytes; // of a 176 x 144 picture
        char cut;     // W whole units, H halves (but the first unit), P pairs, B as large as the buffers
    } cases[] = {
        {"OMX.ZYN.AVC.Decoder", "h264_main_bframes.264", "yuv420p", OMX_COLOR_FormatYUV420Planar, 38016, 'H'},
        {"OMX.ZYN.AVC.Decoder", "h264_high_bframes.264", "nv12", OMX_COLOR_FormatYUV420SemiPlanar, 38016, 'P'},
        {"OMX.ZYN.H263.Decoder", "h263_qcif.263", "bgra", OMX_COLOR_Format32bitARGB8888, 101376, 'B'},
        {"OMX.ZYN.MPEG4.Decoder", "mpeg4_plain.m4v", "yuv420p", OMX_COLOR_FormatYUV420Planar, 38016, 'W'},
    };
    int row = 0;
    for (const Case &t : cases) {
        SCOPED_TRACE(t.file);
        const std::string file = omxt::sample(t.file), data = omxt::read_file(file);
        const auto found = probe(file, "packet=size,pos"); // in decode order
        ASSERT_FALSE(found.empty());
        std::vector<Unit> units;
        unit_meta.clear();
        auto add = [&](size_t from, size_t to, OMX_U32 flags, OMX_TICKS time) {
            units.emplace_back(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(to));
            unit_meta.emplace_back(flags, time);
        };
        for (size_t k = 0; k < found.size() && t.cut != 'B'; k += t.cut == 'P' ? 2 : 1) {
            const size_t size = found[k][0], pos = found[k][1];
            const size_t half = t.cut == 'H' && k > 0 ? size / 2 : 0; // the first whole: ends are marked
            const size_t end = t.cut == 'P' && k + 1 < found.size() ? found[k + 1][1] + found[k + 1][0] : pos + size;
            if (half)
                add(pos, pos + half, 0, OMX_TICKS(pos));
            add(pos + half, end, OMX_BUFFERFLAG_ENDOFFRAME, OMX_TICKS(pos));
        }
        for (size_t at = 0; t.cut == 'B' && at < data.size(); at += kBufferBytes)
            add(at, std::min<size_t>(data.size(), at + kBufferBytes), 0, 0);
        eos_last = true; // a client that never marks the end of a picture ends the stream
        start(t.decoder, "", row++);
        configure(176, 144, t.cut == 'B' ? kBufferBytes : 65536, 1);
        set_colour(t.colour);
        run(units);
        const auto &r = res;
        const auto expected = ffmpeg_pictures(file, t.pix_fmt, t.bytes);
        // MPEG-4 Visual and H.263 decoding is exact only to the IDCT: a 32-bit ARM build's
        // libavcodec (emulated here) uses its own, and its pictures may differ from x86 FFmpeg's
        // in the last bit. H.264 is exact everywhere.
        const bool exact = sizeof(void *) == 8 || std::string(t.decoder) == "OMX.ZYN.AVC.Decoder";
        if (exact) {
            EXPECT_TRUE(r.outputs == expected) << r.outputs.size() << " pictures, FFmpeg's " << expected.size();
        }
        EXPECT_EQ(r.outputs.size(), expected.size());
        std::vector<OMX_TICKS> times;
        for (const auto &picture : probe(file, "frame=pkt_pos"))
            times.push_back(OMX_TICKS(picture.at(0)));
        if (t.cut == 'W' || t.cut == 'H') {
            EXPECT_EQ(r.times, times);
        }
        EXPECT_NE(r.stats.find("errors=0"), std::string::npos) << r.stats;
    }
}

// A client like omx_test: one unit in flight, output buffers queued in a ring, and the picture of the previous unit
// shown as soon as its next input buffer is back. The input buffer comes back while its unit decodes, but never
// before that picture is whole.
TEST_F(StreamTest, AnInputBufferComesBackOnlyOnceThePictureBeforeItIsWhole)
{
    OMX_SKIP_UNLESS(have_ffmpeg(), "ffmpeg and ffprobe");
    const std::string file = omxt::sample("h263_qcif.263"), data = omxt::read_file(file);
    const size_t bytes = 176 * 144 * 3 / 2;
    start("OMX.ZYN.H263.Decoder");
    configure(176, 144, 65536, 1);
    set_colour(OMX_COLOR_FormatYUV420Planar);
    to_state(OMX_StateIdle);
    to_state(OMX_StateExecuting);
    ASSERT_EQ(out.size(), 3u);
    std::vector<Unit> shown;
    on_input_back = [&] {
        if (const size_t k = count('e'); k > 0) // the picture of unit k - 1, in the buffer queued with it
            shown.emplace_back(out[(k - 1) % 3]->pBuffer, out[(k - 1) % 3]->pBuffer + bytes);
    };
    const auto packets = probe(file, "packet=size,pos");
    for (size_t k = 0; k < packets.size(); ++k) {
        OMX_BUFFERHEADERTYPE *b = in[k % in.size()];
        std::memcpy(b->pBuffer, data.data() + packets[k][1], packets[k][0]);
        b->nFlags = OMX_BUFFERFLAG_ENDOFFRAME;
        ASSERT_EQ(OMX_ErrorNone, empty(b, static_cast<OMX_U32>(packets[k][0])));
        ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), out[k % 3])) << "queued again before it came back";
        ASSERT_TRUE(wait(k + 1, 'e'));
    }
    on_input_back = nullptr;
    to_state(OMX_StateIdle);
    to_state(OMX_StateLoaded);
    const auto pictures = ffmpeg_pictures(file, "yuv420p", bytes);
    ASSERT_EQ(shown.size(), pictures.size() - 1);
    if (sizeof(void *) == 8) { // the emulated 32-bit ARM build has an IDCT of its own (see the chunking test)
        for (size_t k = 0; k < shown.size(); ++k)
            EXPECT_TRUE(shown[k] == pictures[k]) << "picture " << k;
    }
}

// A client that ignores the format the decoder announces from the stream's first picture header keeps getting pictures
// of the size it set. One that waits for it (output port disabled) gets the port definition for the stream's size and
// the chosen colour, then the pictures once it enabled the port with buffers that large (smaller ones are refused).
TEST_F(StreamTest, DecoderAnnouncesTheStreamsFormatAndGoesOnOnceThePortIsEnabledAgain)
{
    OMX_SKIP_UNLESS(have_ffmpeg(), "ffmpeg and ffprobe");
    const std::string file = omxt::sample("h264_qcif.264"), data = omxt::read_file(file);
    std::vector<Unit> units;
    for (const auto &packet : probe(file, "packet=size,pos"))
        units.emplace_back(data.begin() + static_cast<long>(packet.at(1)),
                           data.begin() + static_cast<long>(packet[1] + packet[0]));
    ASSERT_GT(units.size(), 2u);
    start("OMX.ZYN.AVC.Decoder");
    configure(64, 48, 65536, 1);
    run(units);
    const auto ignored = res;
    EXPECT_EQ(count('E', OMX_EventPortSettingsChanged, 1, OMX_IndexParamPortDefinition), 1u);
    ASSERT_EQ(ignored.outputs.size(), units.size());
    EXPECT_EQ(ignored.outputs[0].size(), 64u * 48 * 4);

    start("OMX.ZYN.AVC.Decoder", "", 1);
    ASSERT_EQ(OMX_ErrorNone, command(OMX_CommandPortDisable, 1));
    ASSERT_TRUE(wait(1, 'E', OMX_EventCmdComplete, OMX_CommandPortDisable, 1));
    on_settings = [&] {
        auto d = port_def(1);
        EXPECT_EQ(d.format.video.nFrameWidth * 1000 + d.format.video.nFrameHeight, 176144u);
        EXPECT_EQ(d.nBufferSize * 1000 + d.format.video.nStride, 176u * 144 * 4 * 1000 + 176 * 4);
        set_colour(OMX_COLOR_FormatYUV420Planar);
        d = port_def(1);
        EXPECT_EQ(d.nBufferSize * 1000 + d.format.video.nStride, 38016u * 1000 + 176);
        ASSERT_EQ(OMX_ErrorNone, command(OMX_CommandPortEnable, 1));
        EXPECT_EQ(OMX_ErrorBadParameter, give("use", 1, 38015));
        for (OMX_U32 i = 0; i < d.nBufferCountActual; ++i)
            ASSERT_EQ(OMX_ErrorNone, give("alloc", 1, d.nBufferSize));
        ASSERT_TRUE(wait(1, 'E', OMX_EventCmdComplete, OMX_CommandPortEnable, 1));
    };
    eos_last = true;
    run(units);
    EXPECT_TRUE(res.outputs == ffmpeg_pictures(file, "yuv420p", 38016));
}

// Real streams picture by picture (the VP8 vector as its MD5 file says), into output buffers of the port's size (MD5
// lines stay at the coded size) that the component allocates at least that large whatever the client asks for; the last
// picture carries the end of the stream; with no output buffer at all the pictures are dropped and the inputs still
// come back.
TEST_F(StreamTest, RealStreamsDecodeToTheirMd5sInPicturesOfThePortsSize)
{
    const std::string vp8 = omxt::media_dir() + "/vp8/vp80-00-comprehensive-001.ivf";
    std::vector<std::string> md5;
    for (const std::string &line : omxt::lines(omxt::read_file(vp8 + ".md5")))
        md5.push_back(line.substr(0, 32));
    struct Case {
        const char *decoder, *faults;
        std::vector<Unit> units;
        uint32_t w, h, in_bytes, out_bytes;
        size_t pictures;
        // Of the output buffers back (a unit without a picture gives one back empty), up to the last filled one: how
        // many come back empty after it depends on how many the client queued again in time.
        std::string flags;
    } cases[] = {
        {"OMX.ZYN.VP8.Decoder", "", file_units(vp8, false), 176, 144, 65536, 176 * 144 * 4, 29,
         std::string(28, 'u') + "E"},
        {"OMX.ZYN.VP8.Decoder", "", file_units(vp8, false, 3), 352, 288, 65536, 1000, 3, "uuE"},
        {"OMX.ZYN.VP8.Decoder", "* min_buffers 1 0", file_units(vp8, false, 3), 176, 144, 65536, 1000, 3, ""},
        {"OMX.ZYN.WMV.Decoder", "", file_units(omxt::media_dir() + "/vc1/SMM0005.rcv", true), 720, 480, 262144,
         720 * 480 * 4, 24, "--" + std::string(23, 'u') + "E"},
    };
    int row = 0;
    for (const Case &t : cases) {
        SCOPED_TRACE(row);
        eos_last = true;
        start(t.decoder, t.faults, row++);
        configure(t.w, t.h, t.in_bytes, t.out_bytes);
        run(t.units);
        auto &r = res;
        EXPECT_EQ(r.stats, std::string("stats ") + t.decoder + " inputs=" + std::to_string(t.units.size()) +
                               " pictures=" + std::to_string(t.pictures) + " errors=0 egl=0");
        EXPECT_EQ(r.input_returns, t.units.size());
        EXPECT_EQ(r.flags.substr(0, r.flags.find_last_not_of('-') + 1), t.flags);
        EXPECT_EQ(r.flags.size(), r.fills) << "every output buffer given comes back";
        for (const Unit &o : r.outputs)
            EXPECT_EQ(o.size(), t.w * t.h * 4);
        if (t.decoder == std::string("OMX.ZYN.VP8.Decoder")) {
            EXPECT_EQ(r.md5, std::vector(md5.begin(), md5.begin() + std::min(t.pictures, md5.size())));
        }
        EXPECT_EQ(count('E', OMX_EventBufferFlag, 1, OMX_BUFFERFLAG_EOS), t.flags.empty() ? 0u : 1u);
    }
}

// NV12 pictures in (read whole though the filled length counts only the luma plane), one unit out per picture, each
// ending a picture, the parameter sets first (none in H.263); a picture the encoder cannot take is an error and its
// buffers still come back; an empty end-of-stream buffer gives an empty flagged output.
TEST_F(StreamTest, EncodersMakeAUnitOfEveryPictureTheyCanTake)
{
    std::vector<Unit> pictures;
    for (uint32_t t = 0; t < 8; ++t)
        pictures.push_back(nv12_picture(176, 144, t));
    // Pictures of a size H.263 does not have, one too short, and one before an empty end of stream.
    const std::vector<Unit> odd_size = {nv12_picture(160, 120, 0), nv12_picture(160, 120, 1)};
    const std::vector<Unit> short_one = {Unit(100, 0)}, then_end = {pictures[0], Unit{}};
    struct Case {
        const char *encoder;
        uint32_t w, h;
        std::vector<Unit> pictures;
        size_t filled;
        std::string stats, flags;
    } cases[] = {
        {"AVC", 176, 144, pictures, 176 * 144, "inputs=8 pictures=8 errors=0", "Cuuuuuuuu"},
        {"MPEG4", 176, 144, pictures, 176 * 144, "inputs=8 pictures=8 errors=0", "Cuuuuuuuu"},
        {"H263", 176, 144, pictures, 176 * 144, "inputs=8 pictures=8 errors=0", "uuuuuuuu"},
        {"H263", 160, 120, odd_size, 0, "inputs=2 pictures=0 errors=2", ""},
        {"MPEG4", 176, 144, short_one, 0, "inputs=1 pictures=0 errors=1", ""},
        {"MPEG4", 176, 144, then_end, 0, "inputs=2 pictures=1 errors=0", "CuE"},
    };
    int row = 0;
    for (const Case &c : cases) {
        const std::string name = std::string("OMX.ZYN.") + c.encoder + ".Encoder";
        SCOPED_TRACE(name + " " + c.stats);
        eos_last = c.flags.ends_with('E');
        start(name.c_str(), "", row++);
        configure(c.w, c.h, 65536, 65536);
        run(c.pictures, c.filled);
        auto &r = res;
        EXPECT_EQ(r.input_returns, c.pictures.size());
        EXPECT_EQ(r.stats, "stats " + name + " " + c.stats + " egl=0");
        EXPECT_EQ(r.flags.erase(r.flags.find_last_not_of('-') + 1), c.flags);     // the buffers still queued left out
        EXPECT_EQ(r.md5.size(), std::count(c.flags.begin(), c.flags.end(), 'u')); // one MD5 line per picture taken
    }
}

// The AVC parameters and the profile choose the stream (High: profile_idc 100 in the parameter sets); what the encoder
// cannot do (B pictures) is refused; the rate goes back as it was set.
TEST_F(StreamTest, AvcEncoderTakesItsParametersProfileAndBitrate)
{
    start("OMX.ZYN.AVC.Encoder");
    configure(176, 144, 65536, 65536);
    auto avc = record<OMX_VIDEO_PARAM_AVCTYPE>(1);
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoAvc, &avc));
    avc.nBFrames = 1;
    EXPECT_EQ(OMX_ErrorUnsupportedSetting, c()->SetParameter(h(), OMX_IndexParamVideoAvc, &avc));
    avc.nBFrames = 0;
    avc.eProfile = OMX_VIDEO_AVCProfileHigh;
    avc.eLevel = OMX_VIDEO_AVCLevel3;
    ASSERT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamVideoAvc, &avc));
    auto rate = record<OMX_VIDEO_PARAM_BITRATETYPE>(1);
    rate.eControlRate = OMX_Video_ControlRateConstant;
    rate.nTargetBitrate = 96000;
    ASSERT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamVideoBitrate, &rate));
    auto back = record<OMX_VIDEO_PARAM_BITRATETYPE>(1);
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoBitrate, &back));
    EXPECT_EQ(back.nTargetBitrate * 10 + back.eControlRate, 960002u);
    run({nv12_picture(176, 144, 0), nv12_picture(176, 144, 1)});
    ASSERT_FALSE(res.outputs.empty());
    const Unit &sets = res.outputs[0]; // 00 00 00 01, the SPS header byte, profile_idc, flags, level_idc
    ASSERT_GT(sets.size(), 8u);
    EXPECT_EQ(sets[4] & 0x1F, 7);
    EXPECT_EQ(sets[5], 100);
    EXPECT_EQ(sets[7], 30);
}
