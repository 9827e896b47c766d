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

} // namespace

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

// Pictures are converted to the output port's size (MD5 lines stay at the coded size); an output
// buffer too small for the picture comes back empty; with none at all they are dropped.
TEST_F(StreamTest, PicturesTakeTheOutputPortSize)
{
    for (OMX_U32 bytes : {352u * 288 * 4, 352u * 288 * 4 - 1}) {
        start("OMX.ZYN.VP8.Decoder", "", static_cast<int>(bytes));
        configure(352, 288, 65536, bytes);
        PassResult r = run(ivf_units(omxt::read_file(kVp8), 3));
        EXPECT_EQ(r.outputs.size(), bytes % 2 ? 0u : 3u);
        for (const Unit &o : r.outputs)
            EXPECT_EQ(o.size(), bytes);
        EXPECT_EQ(r.md5.at(0), omxt::read_file(kVp8 + ".md5").substr(0, 32));
        EXPECT_EQ(r.stats, "stats OMX.ZYN.VP8.Decoder inputs=3 pictures=3 errors=0 egl=0");
    }
    start("OMX.ZYN.VP8.Decoder", "* min_buffers 1 0"); // no output buffer ever: the inputs still come back
    PassResult r = run(ivf_units(omxt::read_file(kVp8), 3));
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
    const std::string eight(10, '-'); // eight units, then the two buffers still queued come back empty
    // Pictures of a size H.263 does not have, one too short, and one before an empty end of stream.
    const std::vector<Unit> odd_size = {nv12_picture(160, 120, 0), nv12_picture(160, 120, 1)};
    const std::vector<Unit> short_one = {Unit(100, 0)}, then_end = {pictures[0], Unit{}};
    struct Case {
        const char *encoder;
        uint32_t w, h;
        std::vector<Unit> pictures;
        size_t filled, outputs;
        const char *stats;
        std::string flags; // of every output buffer back: E with the end-of-stream flag
    } cases[] = {
        {"OMX.ZYN.AVC.Encoder", 176, 144, pictures, 176 * 144, 8,
         "stats OMX.ZYN.AVC.Encoder inputs=8 pictures=8 errors=0 egl=0", eight},
        {"OMX.ZYN.MPEG4.Encoder", 176, 144, pictures, 176 * 144, 8,
         "stats OMX.ZYN.MPEG4.Encoder inputs=8 pictures=8 errors=0 egl=0", eight},
        {"OMX.ZYN.H263.Encoder", 176, 144, pictures, 176 * 144, 8,
         "stats OMX.ZYN.H263.Encoder inputs=8 pictures=8 errors=0 egl=0", eight},
        {"OMX.ZYN.H263.Encoder", 160, 120, odd_size, 0, 0,
         "stats OMX.ZYN.H263.Encoder inputs=2 pictures=0 errors=2 egl=0", "----"},
        {"OMX.ZYN.MPEG4.Encoder", 176, 144, short_one, 0, 0,
         "stats OMX.ZYN.MPEG4.Encoder inputs=1 pictures=0 errors=1 egl=0", "---"},
        {"OMX.ZYN.MPEG4.Encoder", 176, 144, then_end, 0, 1,
         "stats OMX.ZYN.MPEG4.Encoder inputs=2 pictures=1 errors=0 egl=0", "-E--"},
    };
    int row = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stats);
        eos_last = c.flags[1] == 'E';
        start(c.encoder, "", row++);
        configure(c.w, c.h, 65536, 65536);
        PassResult r = run(c.pictures, c.filled);
        std::string flags;
        for (OMX_U32 f : r.output_flags)
            flags += f & OMX_BUFFERFLAG_EOS ? 'E' : '-';
        EXPECT_EQ(r.input_returns, c.pictures.size());
        EXPECT_EQ(r.stats, c.stats);
        EXPECT_EQ(r.md5.size(), c.outputs); // one MD5 line per picture taken
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(r.outputs.size(), c.outputs);
    }
}
