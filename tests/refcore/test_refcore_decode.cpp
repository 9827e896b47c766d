// Decoding and encoding for real, through the component API: the VP8 test vectors against
// their MD5 files, the real VC-1 stream, damaged units, and encoder output decoded back.
#include "refcore_stream.h"

#include <cmath>
#include <random>

using namespace refcore_test;

namespace
{

const std::string kMedia = OMX_SHARED_MEDIA_DIR;

std::vector<std::string> md5_file(const std::string &path)
{
    std::vector<std::string> out;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line))
        if (line.size() >= 32)
            out.push_back(line.substr(0, 32));
    return out;
}

// A moving picture in the encoding test's layout: luma, then interleaved Cb/Cr pairs.
Unit nv12_picture(uint32_t w, uint32_t h, uint32_t t)
{
    Unit p(size_t(w) * h * 3 / 2);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            p[size_t(y) * w + x] = static_cast<uint8_t>((x + y + 4 * t) & 0xFF);
    for (size_t i = size_t(w) * h; i < p.size(); i += 2) {
        p[i] = static_cast<uint8_t>(96 + t);
        p[i + 1] = static_cast<uint8_t>(160 - t);
    }
    return p;
}

class DecodeTest : public StreamTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(DecodeTest, Vp8VectorMatchesItsMd5FileFrameByFrame)
{
    std::string ivf = kMedia + "/vp8/" + GetParam();
    auto units = ivf_units(read_file(ivf));
    ASSERT_EQ(29u, units.size());
    auto expected = md5_file(ivf + ".md5");
    ASSERT_EQ(29u, expected.size());
    start("OMX.ZYN.VP8.Decoder");
    configure(176, 144, 65536, 176 * 144 * 4);
    PassResult r = run(units);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(expected, r.md5);
    EXPECT_EQ(29u, r.input_returns);
    EXPECT_EQ(29u, r.outputs.size());
    for (const auto &o : r.outputs)
        EXPECT_EQ(176u * 144u * 4u, o.size());
    EXPECT_EQ("stats OMX.ZYN.VP8.Decoder inputs=29 pictures=29 errors=0 egl=0", r.stats);
}

INSTANTIATE_TEST_SUITE_P(Vectors, DecodeTest,
                         ::testing::Values("vp80-00-comprehensive-001.ivf", "vp80-00-comprehensive-004.ivf",
                                           "vp80-00-comprehensive-011.ivf", "vp80-00-comprehensive-016.ivf",
                                           "vp80-00-comprehensive-017.ivf"));

class StreamPassTest : public StreamTest
{
};

TEST_F(StreamPassTest, RealVc1MainProfileFromRcvDecodesEveryPicture)
{
    auto units = rcv_units(read_file(kMedia + "/vc1/SMM0005.rcv"));
    ASSERT_EQ(25u, units.size()); // the 37-byte sequence header and 24 frames
    ASSERT_EQ(37u, units[0].size());
    start("OMX.ZYN.WMV.Decoder");
    configure(720, 480, 262144, 720 * 480 * 4);
    PassResult r = run(units);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(24u, r.md5.size());
    EXPECT_EQ(24, stat_of(r.stats, "pictures"));
    EXPECT_EQ(0, stat_of(r.stats, "errors"));
    EXPECT_EQ(25, stat_of(r.stats, "inputs"));
    EXPECT_EQ(24u, r.outputs.size());
}

TEST_F(StreamPassTest, PicturesAreScaledToTheOutputPortSize)
{
    auto units = ivf_units(read_file(kMedia + "/vp8/vp80-00-comprehensive-001.ivf"));
    units.resize(3);
    start("OMX.ZYN.VP8.Decoder");
    configure(352, 288, 65536, 352 * 288 * 4);
    PassResult r = run(units);
    ASSERT_EQ(3u, r.outputs.size());
    EXPECT_EQ(352u * 288u * 4u, r.outputs[0].size());
    // The MD5 lines stay at the coded size.
    EXPECT_EQ(md5_file(kMedia + "/vp8/vp80-00-comprehensive-001.ivf.md5")[0], r.md5.at(0));
}

TEST_F(StreamPassTest, EndOfStreamFlagReachesTheLastPicture)
{
    auto units = ivf_units(read_file(kMedia + "/vp8/vp80-00-comprehensive-016.ivf"));
    units.resize(5);
    eos_last = true;
    start("OMX.ZYN.VP8.Decoder");
    configure(176, 144, 65536, 176 * 144 * 4);
    PassResult r = run(units);
    // Five pictures, then the buffers still queued come back empty on the way to Idle.
    ASSERT_EQ(7u, r.output_flags.size());
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(i == 4, (r.output_flags[i] & OMX_BUFFERFLAG_EOS) != 0) << i;
    EXPECT_EQ(1u, client.count(Record::Event, OMX_EventBufferFlag, 1, OMX_BUFFERFLAG_EOS));
}

TEST_F(StreamPassTest, EmptyEndOfStreamBufferGivesAnEmptyFlaggedOutput)
{
    std::vector<Unit> pictures{nv12_picture(176, 144, 0), Unit{}};
    eos_last = true;
    start("OMX.ZYN.MPEG4.Encoder");
    configure(176, 144, 65536, 65536);
    PassResult r = run(pictures);
    ASSERT_TRUE(r.completed);
    ASSERT_EQ(4u, r.output_flags.size());
    EXPECT_EQ(1u, r.outputs.size()); // the picture; the flagged buffer is empty
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(i == 1, (r.output_flags[i] & OMX_BUFFERFLAG_EOS) != 0) << i;
    EXPECT_EQ(0, stat_of(r.stats, "errors"));
}

TEST_F(StreamPassTest, OutputBufferTooSmallForThePictureComesBackEmpty)
{
    auto units = ivf_units(read_file(kMedia + "/vp8/vp80-00-comprehensive-004.ivf"));
    units.resize(4);
    start("OMX.ZYN.VP8.Decoder");
    configure(176, 144, 65536, 1000);
    PassResult r = run(units);
    ASSERT_TRUE(r.completed);
    EXPECT_TRUE(r.outputs.empty());
    EXPECT_EQ(4, stat_of(r.stats, "pictures"));
}

TEST_F(StreamPassTest, DamagedUnitsAreCountedAndEveryBufferComesBack)
{
    std::mt19937 rng(7);
    std::vector<Unit> units;
    auto good = ivf_units(read_file(kMedia + "/vp8/vp80-00-comprehensive-011.ivf"));
    units.push_back(good[0]);
    for (int i = 0; i < 6; ++i) {
        Unit u(good[1 + i].begin(), good[1 + i].begin() + good[1 + i].size() / 3); // cut short
        units.push_back(u);
    }
    Unit noise(3000);
    for (auto &b : noise)
        b = static_cast<uint8_t>(rng());
    units.push_back(noise);
    units.push_back(Unit{0x9d});
    start("OMX.ZYN.VP8.Decoder");
    configure(176, 144, 65536, 176 * 144 * 4);
    PassResult r = run(units);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(units.size(), r.input_returns);
    EXPECT_GE(stat_of(r.stats, "errors"), 3);
    EXPECT_EQ(static_cast<long long>(units.size()), stat_of(r.stats, "inputs"));
}

TEST_F(StreamPassTest, GarbageForEveryDecoderNeverStopsTheBuffers)
{
    std::mt19937 rng(11);
    for (const char *name : {"OMX.ZYN.AVC.Decoder", "OMX.ZYN.MPEG4.Decoder", "OMX.ZYN.H263.Decoder",
                             "OMX.ZYN.WMV.Decoder", "OMX.ZYN.VP8.Decoder"}) {
        SCOPED_TRACE(name);
        std::vector<Unit> units;
        for (int i = 0; i < 8; ++i) {
            Unit u(1 + rng() % 4000);
            for (auto &b : u)
                b = static_cast<uint8_t>(rng());
            // Start codes of every family, so each decoder gets past its detection.
            if (i % 2 == 0 && u.size() > 4)
                u[0] = 0, u[1] = 0, u[2] = 1, u[3] = static_cast<uint8_t>(i == 2 ? 0x0F : 0x67);
            units.push_back(u);
        }
        units.push_back(Unit(36, 0)); // a sequence-header-sized unit that is none
        start(name);
        configure(176, 144, 65536, 176 * 144 * 4);
        PassResult r = run(units);
        ASSERT_TRUE(r.completed);
        EXPECT_EQ(units.size(), r.input_returns);
        EXPECT_GE(stat_of(r.stats, "errors"), 1);
        core_api().Deinit();
    }
}

TEST_F(StreamPassTest, Vc1AdvancedProfileStartCodeGoesThroughWithoutCrash)
{
    // A sequence header start code followed by nonsense, then frame start codes.
    std::vector<Unit> units{
        {0, 0, 1, 0x0F, 0xC8, 0x88, 0x80, 0x00, 0x00, 0, 0, 1, 0x0E, 0x48, 0, 0, 1, 0x0D, 0x12, 0x34},
        {0, 0, 1, 0x0D, 0x55, 0xAA, 0x55},
        {0, 0, 1, 0x0D}};
    start("OMX.ZYN.WMV.Decoder");
    configure(176, 144, 65536, 176 * 144 * 4);
    PassResult r = run(units);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(3u, r.input_returns);
}

// Encoders: NV12 pictures in, units out; the units decode back through the decoder component
// of the same coding (and, for H.263, through the MPEG-4 decoder, which tells the two apart).
struct EncodeCase {
    const char *encoder;
    const char *decoder;
    OMX_VIDEO_CODINGTYPE decoder_coding;
};

class EncodeTest : public StreamTest, public ::testing::WithParamInterface<EncodeCase>
{
};

TEST_P(EncodeTest, EncodedUnitsDecodeBackPictureForPicture)
{
    const EncodeCase &ec = GetParam();
    const uint32_t w = 176, h = 144, frames = 8;
    std::vector<Unit> pictures;
    for (uint32_t t = 0; t < frames; ++t)
        pictures.push_back(nv12_picture(w, h, t));
    start(ec.encoder);
    configure(w, h, 65536, 65536);
    // The encoding test's filled length counts the luma plane only.
    PassResult enc = run(pictures, size_t(w) * h);
    ASSERT_TRUE(enc.completed);
    EXPECT_EQ(frames, enc.outputs.size());
    EXPECT_EQ(static_cast<long long>(frames), stat_of(enc.stats, "pictures"));
    EXPECT_EQ(0, stat_of(enc.stats, "errors"));
    core_api().Deinit();

    std::remove(stats_path_.c_str());
    start(ec.decoder);
    configure(w, h, 65536, w * h * 4, ec.decoder_coding);
    PassResult dec = run(enc.outputs);
    ASSERT_TRUE(dec.completed);
    EXPECT_EQ(static_cast<long long>(frames), stat_of(dec.stats, "pictures"));
    EXPECT_EQ(0, stat_of(dec.stats, "errors"));
    ASSERT_EQ(frames, dec.outputs.size());
    // The first picture's left column comes back near its gradient value (RGBA, grey-ish).
    const Unit &rgba = dec.outputs[0];
    int diff = std::abs(int(rgba[size_t(100) * w * 4 + 50 * 4 + 1]) - int(nv12_picture(w, h, 0)[100 * w + 50]));
    EXPECT_LT(diff, 60);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, EncodeTest,
    ::testing::Values(EncodeCase{"OMX.ZYN.AVC.Encoder", "OMX.ZYN.AVC.Decoder", OMX_VIDEO_CodingAVC},
                      EncodeCase{"OMX.ZYN.MPEG4.Encoder", "OMX.ZYN.MPEG4.Decoder", OMX_VIDEO_CodingMPEG4},
                      EncodeCase{"OMX.ZYN.MPEG4.Encoder", "OMX.ZYN.H263.Decoder", OMX_VIDEO_CodingMPEG4},
                      EncodeCase{"OMX.ZYN.H263.Encoder", "OMX.ZYN.H263.Decoder", OMX_VIDEO_CodingH263},
                      EncodeCase{"OMX.ZYN.H263.Encoder", "OMX.ZYN.MPEG4.Decoder", OMX_VIDEO_CodingH263}),
    [](const auto &info) {
        std::string n = std::string(info.param.encoder).substr(8) + "_to_" + std::string(info.param.decoder).substr(8);
        for (auto &ch : n)
            if (ch == '.')
                ch = '_';
        return n;
    });

TEST_F(StreamPassTest, H263EncoderRefusesANonStandardSizeAndKeepsReturningBuffers)
{
    std::vector<Unit> pictures{nv12_picture(160, 120, 0), nv12_picture(160, 120, 1)};
    start("OMX.ZYN.H263.Encoder");
    configure(160, 120, 65536, 65536);
    PassResult r = run(pictures);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(2u, r.input_returns);
    EXPECT_EQ(2, stat_of(r.stats, "errors"));
    EXPECT_TRUE(r.outputs.empty());
}

TEST_F(StreamPassTest, EncoderRefusesAShortPicture)
{
    std::vector<Unit> pictures{Unit(100, 0)};
    start("OMX.ZYN.MPEG4.Encoder");
    configure(176, 144, 65536, 65536);
    PassResult r = run(pictures);
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(1, stat_of(r.stats, "errors"));
}

} // namespace

// The decoding test keeps one output buffer in flight per input: slot k of both rings goes in
// together and comes back before the next round reuses it. A unit without a picture (the RCV
// sequence header here) must still give its output buffer back, or the next round's
// FillThisBuffer on that slot would find it held.
TEST_F(StreamPassTest, OneOutputPerInputNeverLeavesTheNextSlotHeld)
{
    auto units = rcv_units(read_file(kMedia + "/vc1/SMM0005.rcv"));
    units.resize(8);
    start("OMX.ZYN.WMV.Decoder");
    configure(720, 480, 262144, 720 * 480 * 4);
    client.clear();
    to_idle();
    to_state(OMX_StateExecuting);
    for (size_t k = 0; k < units.size(); ++k) {
        OMX_BUFFERHEADERTYPE *b = in[k % in.size()];
        std::memcpy(b->pBuffer, units[k].data(), units[k].size());
        b->nFilledLen = static_cast<OMX_U32>(units[k].size());
        b->nOffset = 0;
        b->nFlags = 0;
        ASSERT_EQ(OMX_ErrorNone, c()->EmptyThisBuffer(h(), b)) << k;
        ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), out[k % out.size()])) << k;
        ASSERT_TRUE(client.wait_count(Record::EmptyDone, k + 1, 20000)) << k;
        EXPECT_EQ(k + 1, client.count(Record::FillDone)) << "output of unit " << k;
    }
    to_state(OMX_StateIdle);
    to_loaded();
}

// The decoders convert straight into buffers the component allocates; libswscale's SIMD stores
// (128-bit aligned on ARM NEON) fault on anything less aligned than its own allocations.
TEST_F(StreamPassTest, AllocatedOutputBuffersSuitTheScalersSimdStores)
{
    start("OMX.ZYN.WMV.Decoder");
    configure(720, 480, 262144, 720 * 480 * 4);
    client.clear();
    to_idle();
    ASSERT_FALSE(out.empty());
    for (OMX_BUFFERHEADERTYPE *b : out)
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(b->pBuffer) % 64);
    to_loaded();
}
