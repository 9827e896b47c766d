// Decoding and encoding for real through the component API: a VP8 test vector against its MD5
// file, a real VC-1 stream fed as the decoding test feeds it, and the encoders.
#include "refcore_client.h"

#include "test_common.h"

using namespace refcore_test;

namespace
{

const std::string kVp8 = omxt::media_dir() + "/vp8/vp80-00-comprehensive-001.ivf";

// RCV: the sequence-header unit (32 + extension length bytes), then frames that keep their
// 8-byte headers, as the parser hands them.
std::vector<Unit> rcv_units(const std::string &f)
{
    size_t pos = 32 + le32(f, 4);
    std::vector<Unit> units{Unit(f.begin(), f.begin() + pos)};
    for (size_t n; pos + 8 <= f.size() && (n = 8 + (le32(f, pos) & 0xFFFFFF)) <= f.size() - pos; pos += n)
        units.emplace_back(f.begin() + pos, f.begin() + pos + n);
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

std::string shell(const std::string &command)
{
    return omxt::run_child("/bin/sh", {"-c", command}, {}, 300).out;
}

bool have_ffmpeg()
{
    return shell("ffmpeg -version >/dev/null && ffprobe -version >/dev/null && echo yes") == "yes\n";
}

// The stream's units as FFmpeg finds them, in decode order: position and size in the file.
std::vector<std::pair<size_t, size_t>> packets(const std::string &file)
{
    std::vector<std::pair<size_t, size_t>> list;
    for (const std::string &line :
         omxt::lines(shell("ffprobe -v error -show_entries packet=pos,size -of csv=p=0 '" + file + "'"))) {
        size_t pos = 0, size = 0;
        if (std::sscanf(line.c_str(), "%zu,%zu", &size, &pos) == 2)
            list.emplace_back(pos, size);
    }
    return list;
}

// FFmpeg's decode of `file` in `pix_fmt`, cut into pictures of `bytes`.
std::vector<Unit> ffmpeg_pictures(const std::string &file, const std::string &pix_fmt, size_t bytes)
{
    std::string raw = shell("ffmpeg -nostdin -v error -i '" + file + "' -f rawvideo -pix_fmt " + pix_fmt + " -");
    std::vector<Unit> pictures;
    for (size_t at = 0; at + bytes <= raw.size(); at += bytes)
        pictures.emplace_back(raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + bytes));
    return pictures;
}

// For each picture in presentation order, the decode-order index of the unit that held it.
std::vector<size_t> picture_units(const std::string &file, const std::vector<std::pair<size_t, size_t>> &units)
{
    std::vector<size_t> order;
    for (const std::string &line :
         omxt::lines(shell("ffprobe -v error -show_entries frame=pkt_pos -of csv=p=0 '" + file + "'")))
        for (size_t k = 0; !line.empty() && k < units.size(); ++k)
            if (units[k].first == std::strtoull(line.c_str(), nullptr, 10))
                order.push_back(k);
    return order;
}

void set_colour(OMX_COMPONENTTYPE *c, OMX_HANDLETYPE h, OMX_COLOR_FORMATTYPE colour)
{
    auto f = record<OMX_VIDEO_PARAM_PORTFORMATTYPE>(1);
    f.eColorFormat = colour;
    f.eCompressionFormat = OMX_VIDEO_CodingUnused;
    ASSERT_EQ(OMX_ErrorNone, c->SetParameter(h, OMX_IndexParamVideoPortFormat, &f));
}

} // namespace

// However the client cuts the stream (whole units flagged ENDOFFRAME, units in two pieces, two
// units in one buffer, pieces that never say where a picture ends), the pictures are FFmpeg's,
// in the output port's colour format and its byte layout, each with the time stamp of the unit
// that held it, in presentation order.
TEST_F(StreamTest, AnyChunkingGivesFfmpegsPicturesInTheNegotiatedColourWithTheirTimestamps)
{
    OMX_SKIP_UNLESS(have_ffmpeg(), "ffmpeg and ffprobe");
    enum Mode {
        Whole,
        Halves,
        Pairs,
        Pieces
    };
    struct Case {
        const char *decoder, *file, *pix_fmt;
        OMX_COLOR_FORMATTYPE colour;
        size_t bytes; // of a 176 x 144 picture
        Mode mode;
    } cases[] = {
        {"OMX.ZYN.AVC.Decoder", "h264_main_bframes.264", "yuv420p", OMX_COLOR_FormatYUV420Planar, 38016, Halves},
        {"OMX.ZYN.AVC.Decoder", "h264_high_bframes.264", "nv12", OMX_COLOR_FormatYUV420SemiPlanar, 38016, Pairs},
        {"OMX.ZYN.H263.Decoder", "h263_qcif.263", "bgra", OMX_COLOR_Format32bitARGB8888, 101376, Pieces},
        {"OMX.ZYN.MPEG4.Decoder", "mpeg4_plain.m4v", "yuv420p", OMX_COLOR_FormatYUV420Planar, 38016, Whole},
    };
    int row = 0;
    for (const Case &t : cases) {
        SCOPED_TRACE(t.file);
        const std::string file = omxt::sample(t.file), data = omxt::read_file(file);
        const auto found = packets(file);
        ASSERT_FALSE(found.empty());
        std::vector<Unit> units;
        unit_meta.clear();
        auto add = [&](size_t from, size_t to, OMX_U32 flags, OMX_TICKS time) {
            units.emplace_back(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(to));
            unit_meta.emplace_back(flags, time);
        };
        for (size_t k = 0; k < found.size(); ++k) {
            const auto [pos, size] = found[k];
            const OMX_TICKS time = OMX_TICKS(k + 1) * 1000;
            if (t.mode == Whole)
                add(pos, pos + size, OMX_BUFFERFLAG_ENDOFFRAME, time);
            if (t.mode == Halves && k == 0) // the client shows it marks the ends of pictures
                add(pos, pos + size, OMX_BUFFERFLAG_ENDOFFRAME, time);
            if (t.mode == Halves && k > 0) {
                add(pos, pos + size / 2, 0, time);
                add(pos + size / 2, pos + size, OMX_BUFFERFLAG_ENDOFFRAME, time);
            }
            if (t.mode == Pairs && k % 2 == 0) {
                size_t end = k + 1 < found.size() ? found[k + 1].first + found[k + 1].second : pos + size;
                add(pos, end, OMX_BUFFERFLAG_ENDOFFRAME, time);
            }
        }
        // Pieces that fill the 32 KiB buffers: no picture ends where a buffer does.
        for (size_t at = 0; t.mode == Pieces && at < data.size(); at += kBufferBytes)
            add(at, std::min<size_t>(data.size(), at + kBufferBytes), 0, 0);
        eos_last = true; // a client that never marks the end of a picture ends the stream
        start(t.decoder, "", row++);
        configure(176, 144, t.mode == Pieces ? kBufferBytes : 65536, 1);
        set_colour(c(), h(), t.colour);
        PassResult r = run(units);
        const auto expected = ffmpeg_pictures(file, t.pix_fmt, t.bytes);
        ASSERT_EQ(r.outputs.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_TRUE(r.outputs[i] == expected[i]) << "picture " << i;
        if (t.mode == Whole || t.mode == Halves) {
            std::vector<OMX_TICKS> times;
            for (size_t k : picture_units(file, found))
                times.push_back(OMX_TICKS(k + 1) * 1000);
            EXPECT_EQ(r.output_times, times);
        }
        EXPECT_EQ(r.stats.find("errors=0") != std::string::npos, true) << r.stats;
    }
    unit_meta.clear();
}

// A client that waits for the format (output port disabled) gets it from the stream's first
// picture header: the port definition for the stream's size and the chosen colour, then the
// pictures once it enabled the port with buffers that large (smaller ones are refused). A client
// that ignores the event keeps getting pictures of the size it set.
TEST_F(StreamTest, DecoderAnnouncesTheStreamsFormatAndGoesOnOnceThePortIsEnabledAgain)
{
    OMX_SKIP_UNLESS(have_ffmpeg(), "ffmpeg and ffprobe");
    const std::string file = omxt::sample("h264_qcif.264"), data = omxt::read_file(file);
    std::vector<Unit> units;
    for (const auto &[pos, size] : packets(file))
        units.emplace_back(data.begin() + static_cast<long>(pos), data.begin() + static_cast<long>(pos + size));
    ASSERT_GT(units.size(), 2u);
    const auto settings = [&] {
        return client.count(Record::Event, OMX_EventPortSettingsChanged, 1, OMX_IndexParamPortDefinition);
    };

    start("OMX.ZYN.AVC.Decoder");
    configure(64, 48, 65536, 1);
    PassResult ignored = run(units);
    EXPECT_EQ(settings(), 1u);
    ASSERT_EQ(ignored.outputs.size(), units.size());
    EXPECT_EQ(ignored.outputs[0].size(), 64u * 48 * 4);

    start("OMX.ZYN.AVC.Decoder", "", 1);
    ASSERT_EQ(OMX_ErrorNone, command(OMX_CommandPortDisable, 1));
    ASSERT_TRUE(client.wait_complete(OMX_CommandPortDisable, 1));
    to_state(OMX_StateIdle);
    to_state(OMX_StateExecuting);
    std::copy(units[0].begin(), units[0].end(), in[0]->pBuffer);
    ASSERT_EQ(OMX_ErrorNone, empty(in[0], static_cast<OMX_U32>(units[0].size())));
    ASSERT_TRUE(client.wait(1, Record::Event, OMX_EventPortSettingsChanged));
    auto d = port_def(1);
    EXPECT_EQ(d.format.video.nFrameWidth * 1000 + d.format.video.nFrameHeight, 176144u);
    EXPECT_EQ(d.nBufferSize, 176u * 144 * 4);
    EXPECT_EQ(d.format.video.nStride, 176 * 4);
    set_colour(c(), h(), OMX_COLOR_FormatYUV420Planar);
    d = port_def(1);
    EXPECT_EQ(d.nBufferSize, 38016u);
    EXPECT_EQ(d.format.video.nStride, 176);
    ASSERT_EQ(OMX_ErrorNone, command(OMX_CommandPortEnable, 1));
    OMX_BUFFERHEADERTYPE *small = nullptr;
    in_mem.emplace_back(38015);
    EXPECT_EQ(OMX_ErrorBadParameter, c()->UseBuffer(h(), &small, 1, nullptr, 38015, in_mem.back().data()));
    allocate_outputs(d.nBufferCountActual, d.nBufferSize);
    ASSERT_TRUE(client.wait_complete(OMX_CommandPortEnable, 1));
    // The picture of the first unit waited for the port; every output buffer back goes out again.
    std::vector<Unit> pictures;
    size_t seen = 0;
    auto refill = [&] {
        for (auto rs = client.records(); seen < rs.size(); ++seen)
            if (OMX_BUFFERHEADERTYPE *o = rs[seen].hdr; rs[seen].kind == Record::FillDone) {
                if (o->nFilledLen)
                    pictures.emplace_back(o->pBuffer, o->pBuffer + o->nFilledLen);
                EXPECT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), o));
            }
    };
    for (auto *o : out)
        EXPECT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), o));
    for (size_t k = 1; k < units.size(); ++k) {
        ASSERT_TRUE(client.wait(k, Record::EmptyDone));
        refill();
        OMX_BUFFERHEADERTYPE *b = in[k % in.size()];
        std::copy(units[k].begin(), units[k].end(), b->pBuffer);
        b->nFlags = k + 1 == units.size() ? OMX_BUFFERFLAG_EOS : 0;
        ASSERT_EQ(OMX_ErrorNone, empty(b, static_cast<OMX_U32>(units[k].size())));
    }
    ASSERT_TRUE(client.wait(1, Record::Event, OMX_EventBufferFlag, 1, OMX_BUFFERFLAG_EOS));
    refill();
    const auto expected = ffmpeg_pictures(file, "yuv420p", 38016);
    EXPECT_EQ(pictures.size(), expected.size());
    EXPECT_TRUE(pictures == expected);
}

TEST_F(StreamTest, Vp8VectorMatchesItsMd5FileAndTheLastPictureCarriesTheEndOfStream)
{
    eos_last = true;
    start("OMX.ZYN.VP8.Decoder");
    configure(176, 144, 65536, 176 * 144 * 4);
    PassResult r = run(ivf_units(omxt::read_file(kVp8)));
    std::vector<std::string> md5;
    for (const std::string &line : omxt::lines(omxt::read_file(kVp8 + ".md5")))
        md5.push_back(line.substr(0, 32));
    EXPECT_EQ(r.md5, md5);
    EXPECT_EQ(r.stats, "stats OMX.ZYN.VP8.Decoder inputs=29 pictures=29 errors=0 egl=0");
    EXPECT_EQ(r.input_returns, 29u);
    ASSERT_EQ(r.outputs.size(), 29u);
    EXPECT_EQ(r.outputs[28].size(), 176u * 144 * 4);
    // The two buffers still queued come back empty on the way to Idle.
    std::string eos;
    for (OMX_U32 flags : r.output_flags)
        eos += flags & OMX_BUFFERFLAG_EOS ? 'E' : '-';
    EXPECT_EQ(eos, std::string(28, '-') + "E--");
    EXPECT_EQ(1u, client.count(Record::Event, OMX_EventBufferFlag, 1, OMX_BUFFERFLAG_EOS));
}

// Pictures are converted to the output port's size (MD5 lines stay at the coded size), into
// buffers the component allocates at least that large whatever the client asks for; with no
// output buffer at all they are dropped.
TEST_F(StreamTest, PicturesTakeTheOutputPortSize)
{
    start("OMX.ZYN.VP8.Decoder");
    configure(352, 288, 65536, 1000);
    PassResult r = run(ivf_units(omxt::read_file(kVp8), 3));
    EXPECT_EQ(r.outputs.size(), 3u);
    for (const Unit &o : r.outputs)
        EXPECT_EQ(o.size(), 352u * 288 * 4);
    EXPECT_EQ(r.md5.at(0), omxt::read_file(kVp8 + ".md5").substr(0, 32));
    EXPECT_EQ(r.stats, "stats OMX.ZYN.VP8.Decoder inputs=3 pictures=3 errors=0 egl=0");
    start("OMX.ZYN.VP8.Decoder", "* min_buffers 1 0"); // no output buffer ever: the inputs still come back
    r = run(ivf_units(omxt::read_file(kVp8), 3));
    EXPECT_EQ(r.stats, "stats OMX.ZYN.VP8.Decoder inputs=3 pictures=3 errors=0 egl=0");
}

// As the decoding test feeds it, one output buffer in with each unit: a unit without a picture
// (the sequence header) still gives its output buffer back before its input.
TEST_F(StreamTest, RealVc1StreamFromRcvGivesEveryPictureAndAnOutputPerUnit)
{
    auto units = rcv_units(omxt::read_file(omxt::media_dir() + "/vc1/SMM0005.rcv"));
    ASSERT_EQ(units.size(), 25u); // the 37-byte sequence header and 24 frames
    one_output_per_input = true;
    start("OMX.ZYN.WMV.Decoder");
    configure(720, 480, 262144, 720 * 480 * 4);
    PassResult r = run(units);
    EXPECT_EQ(r.md5.size(), 24u);
    EXPECT_EQ(r.outputs.size(), 23u); // the last picture comes out on the way to Idle, with no buffer left
    EXPECT_EQ(r.stats, "stats OMX.ZYN.WMV.Decoder inputs=25 pictures=24 errors=0 egl=0");
}

// NV12 pictures in (read whole though the filled length counts only the luma plane), one unit
// out per picture; a picture the encoder cannot take is an error and its buffers still come
// back; an empty end-of-stream buffer gives an empty flagged output.
TEST_F(StreamTest, EncodersMakeAUnitOfEveryPictureTheyCanTake)
{
    std::vector<Unit> pictures;
    for (uint32_t t = 0; t < 8; ++t)
        pictures.push_back(nv12_picture(176, 144, t));
    // The parameter sets first (none in H.263), eight units, then the buffers still queued come back empty.
    const std::string eight = "Cuuuuuuuu", eight_h263 = "uuuuuuuu";
    // Pictures of a size H.263 does not have, one too short, and one before an empty end of stream.
    const std::vector<Unit> odd_size = {nv12_picture(160, 120, 0), nv12_picture(160, 120, 1)};
    const std::vector<Unit> short_one = {Unit(100, 0)}, then_end = {pictures[0], Unit{}};
    struct Case {
        const char *encoder;
        uint32_t w, h;
        std::vector<Unit> pictures;
        size_t filled, outputs;
        const char *stats;
        std::string flags; // of the output buffers back: E end of stream, C parameter sets, u a unit (the
                           // buffers that come back empty on the way to Idle left out)
    } cases[] = {
        {"OMX.ZYN.AVC.Encoder", 176, 144, pictures, 176 * 144, 8,
         "stats OMX.ZYN.AVC.Encoder inputs=8 pictures=8 errors=0 egl=0", eight},
        {"OMX.ZYN.MPEG4.Encoder", 176, 144, pictures, 176 * 144, 8,
         "stats OMX.ZYN.MPEG4.Encoder inputs=8 pictures=8 errors=0 egl=0", eight},
        {"OMX.ZYN.H263.Encoder", 176, 144, pictures, 176 * 144, 8,
         "stats OMX.ZYN.H263.Encoder inputs=8 pictures=8 errors=0 egl=0", eight_h263},
        {"OMX.ZYN.H263.Encoder", 160, 120, odd_size, 0, 0,
         "stats OMX.ZYN.H263.Encoder inputs=2 pictures=0 errors=2 egl=0", ""},
        {"OMX.ZYN.MPEG4.Encoder", 176, 144, short_one, 0, 0,
         "stats OMX.ZYN.MPEG4.Encoder inputs=1 pictures=0 errors=1 egl=0", ""},
        {"OMX.ZYN.MPEG4.Encoder", 176, 144, then_end, 0, 1,
         "stats OMX.ZYN.MPEG4.Encoder inputs=2 pictures=1 errors=0 egl=0", "CuE"},
    };
    int row = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stats);
        eos_last = c.flags.find('E') != std::string::npos;
        start(c.encoder, "", row++);
        configure(c.w, c.h, 65536, 65536);
        PassResult r = run(c.pictures, c.filled);
        std::string flags;
        for (OMX_U32 f : r.output_flags) // every unit ends a picture
            flags += f & OMX_BUFFERFLAG_EOS                                          ? 'E'
                     : f == (OMX_BUFFERFLAG_CODECCONFIG | OMX_BUFFERFLAG_ENDOFFRAME) ? 'C'
                     : (f & ~OMX_BUFFERFLAG_SYNCFRAME) == OMX_BUFFERFLAG_ENDOFFRAME  ? 'u'
                                                                                     : '-';
        EXPECT_EQ(r.input_returns, c.pictures.size());
        EXPECT_EQ(r.stats, c.stats);
        EXPECT_EQ(r.md5.size(), c.outputs); // one MD5 line per picture taken
        flags.erase(flags.find_last_not_of('-') + 1);
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(r.outputs.size(), c.outputs + std::count(flags.begin(), flags.end(), 'C'));
    }
}

// The AVC parameters and the profile choose the stream (High: profile_idc 100 in the parameter
// sets); what the encoder cannot do (B pictures) is refused; the rate goes back as it was set.
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
    PassResult r = run({nv12_picture(176, 144, 0), nv12_picture(176, 144, 1)});
    ASSERT_FALSE(r.outputs.empty());
    const Unit &sets = r.outputs[0]; // 00 00 00 01, the SPS header byte, profile_idc, flags, level_idc
    ASSERT_GT(sets.size(), 8u);
    EXPECT_EQ(sets[4] & 0x1F, 7);
    EXPECT_EQ(sets[5], 100);
    EXPECT_EQ(sets[7], 30);
}
