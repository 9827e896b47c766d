// Untrusted files: truncated or corrupted streams must give a table whose
// entries lie inside the file, and reads that stay inside the caller's buffer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "avireader.h"
#include "split_helpers.h"

using namespace sb;

namespace
{

Bytes ReadFile(const std::string &path)
{
    Bytes b;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return b;
    }
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        b.insert(b.end(), chunk, chunk + n);
    }
    std::fclose(f);
    return b;
}

// Builds the table of `data` as a file with extension `ext`, reads every
// frame into a buffer of exactly its size, and checks the entries.
void CheckFile(const Bytes &data, const std::string &ext, const std::string &what)
{
    TempFile f(data, ext);
    testing::internal::CaptureStdout();
    void *h = InitRawFrameExtract(f.path());
    testing::internal::GetCapturedStdout();
    if (h == nullptr) {
        return; // refusing a broken file is fine
    }
    int n = GetRawFrameCount(h);
    for (int i = 0; i < n; ++i) {
        uint64_t off;
        u32 size;
        ASSERT_EQ(GetRawFrameEntry(h, i, &off, &size), 1);
        ASSERT_LE(off + size, data.size()) << what << " entry " << i;
        Bytes buf(size ? size : 1);
        int last = 0;
        int got = GetRawFrameExtract(h, i, buf.data(), &last);
        ASSERT_LE(static_cast<u32>(got), size) << what;
    }
    DeInitRawFrameExtract(h);
}

std::string SampleDir()
{
    return PARSER_SAMPLES_DIR;
}

bool Samples()
{
    std::string cmd = std::string(OMX_SOURCE_DIR) + "/scripts/make_samples.sh '" + SampleDir() + "' >/dev/null 2>&1";
    static const bool ok = std::system("command -v ffmpeg >/dev/null 2>&1") == 0 && std::system(cmd.c_str()) == 0;
    return ok;
}

const char *const kSamples[] = {"h264_baseline_slices.264", "h264_high_bframes.264", "mpeg2_gop.m2v",
                                "mpeg4_resync.m4v",         "h263_qcif.263",         "vp8.ivf",
                                "mpeg4_audio.avi"};

class BadInput : public ::testing::Test
{
protected:
    void SetUp() override { ResetOptions(); }
    void TearDown() override { ResetOptions(); }
};

} // namespace

TEST_F(BadInput, TruncatedSamplesAtManyLengths)
{
    if (!Samples()) {
        GTEST_SKIP() << "no ffmpeg";
    }
    for (const char *name : kSamples) {
        Bytes full = ReadFile(SampleDir() + "/" + name);
        ASSERT_FALSE(full.empty()) << name;
        std::string ext = std::string(name).substr(std::string(name).rfind('.') + 1);
        for (size_t len : {size_t{0}, size_t{1}, size_t{3}, size_t{11}, size_t{12}, size_t{40}, size_t{45}}) {
            CheckFile(Bytes(full.begin(), full.begin() + std::min(len, full.size())), ext, name);
        }
        for (size_t len = 100; len < full.size(); len += full.size() / 23 + 1) {
            CheckFile(Bytes(full.begin(), full.begin() + len), ext, name);
        }
    }
}

TEST_F(BadInput, CorruptedSamplesWithSliceSplittingOnAndOff)
{
    if (!Samples()) {
        GTEST_SKIP() << "no ffmpeg";
    }
    std::mt19937 rng(12345);
    for (const char *name : kSamples) {
        Bytes full = ReadFile(SampleDir() + "/" + name);
        std::string ext = std::string(name).substr(std::string(name).rfind('.') + 1);
        for (int round = 0; round < 12; ++round) {
            Bytes bad = full;
            std::uniform_int_distribution<size_t> pos(0, bad.size() - 1);
            int flips = 1 + round * 4;
            for (int k = 0; k < flips; ++k) {
                // Early bytes hold the headers and sizes: hit them more often.
                size_t at = (k % 2) ? pos(rng) % 512 : pos(rng);
                bad[at % bad.size()] = static_cast<uint8_t>(rng());
            }
            slice_enable = round % 2;
            CheckFile(bad, ext, name);
        }
    }
}

TEST_F(BadInput, PictureParameterSetWithHugeSliceGroupCountEnds)
{
    // Found by fuzzing: a slice-group loop whose count came from the stream
    // ran on zeros past the window for billions of rounds.
    Bytes w{0x27, 0x00, 0x00, 0x01, 0xE8, 0x28, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0x04, 0xFB, 0x1F};
    Unit u = SplitAt(H264_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 2u);
    Bytes pps = Nal(8, Bytes{0x80, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}); // type 6 map, huge size
    u = SplitAt(H264_DEC, pps, 0, true);
    EXPECT_EQ(u.ret, 2u);
}

TEST_F(BadInput, AllZeroAndAllStartCodeStreamsEnd)
{
    for (const char *ext : {"264", "m2v", "m4v", "263", "vc1", "rcv", "ivf"}) {
        CheckFile(Bytes(5000, 0), ext, ext);
        Bytes codes;
        for (int i = 0; i < 1000; ++i) {
            codes.insert(codes.end(), {0, 0, 1, static_cast<uint8_t>(i)});
        }
        CheckFile(codes, ext, ext);
        slice_enable = 1;
        CheckFile(codes, ext, ext);
        slice_enable = 0;
    }
}

TEST_F(BadInput, RcvLengthFieldsClaimingMoreThanTheFile)
{
    Bytes data = Cat({RcvSequenceHeader(), RcvFrame(10)});
    Bytes liar = RcvFrame(4);
    liar[0] = 0xFF;
    liar[1] = 0xFF;
    liar[2] = 0xFF;
    data.insert(data.end(), liar.begin(), liar.end());
    TempFile f(data, "rcv");
    void *h = InitRawFrameExtract(f.path());
    ASSERT_NE(h, nullptr);
    std::vector<Entry> t = Table(h);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[2], (Entry{54, static_cast<u32>(liar.size())})); // what is there, not what it claims
    DeInitRawFrameExtract(h);
}

TEST_F(BadInput, IvfFrameSizesClaimingMoreThanTheFile)
{
    Bytes data = Cat({IvfHeader(), IvfFrame(20)});
    Bytes liar = IvfFrame(3);
    liar[2] = 0xFF;
    data.insert(data.end(), liar.begin(), liar.end());
    TempFile f(data, "ivf");
    void *h = InitRawFrameExtract(f.path());
    ASSERT_NE(h, nullptr);
    std::vector<Entry> t = Table(h);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1], (Entry{64 + 12, 3}));
    DeInitRawFrameExtract(h);
}

TEST_F(BadInput, AviWithChunkSizesClaimingMoreThanTheFile)
{
    Bytes image =
        Riff({Hdrl(1, {VideoStream()}), Movi({Chunk("00dc", Payload(10, 1)), Chunk("00dc", Payload(20, 2))})});
    // The second chunk claims 1 MiB.
    size_t second = image.size() - 20 - 8;
    image[second + 4] = 0x00;
    image[second + 5] = 0x00;
    image[second + 6] = 0x10;
    TempFile f(image, "avi");
    void *h = InitRawFrameExtract(f.path());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Table(h).size(), 2u); // the first chunk, twice
    DeInitRawFrameExtract(h);
}

TEST_F(BadInput, AviHeaderRecordsCutShortAreNotUsed)
{
    // A strh of 8 bytes and a strf of 2: no stream header, no codec.
    Bytes strl = List("LIST", "strl", Cat({Chunk("strh", Fourcc("vids")), Chunk("strf", Bytes{1, 2})}));
    Bytes image = Riff({Hdrl(1, {strl})});
    image.resize(image.size() - 2); // and the image ends inside strf
    AVI_INFO info;
    EXPECT_EQ(AVI_OpenAVIFile(reinterpret_cast<char *>(image.data()), static_cast<u32>(image.size()), &info), 1);
    EXPECT_EQ(info.VideoInfor.StreamHeader, nullptr);
    EXPECT_EQ(AVI_GetVideoCodec(&info), 0u);
    EXPECT_EQ(AVI_GetFPSinAVI(&info), 0.0f);
}

TEST_F(BadInput, ManyCorruptParameterSetsAreEachReadOnlyToTheirOwnEnd)
{
    // Picture parameter sets claiming billions of slice-group map units: read
    // through the whole window, each would cost the window's length, and a
    // window full of them would never finish.
    Bits b;
    b.Ue(0).Ue(0).U(0, 1).U(0, 1).Ue(7).Ue(6).Ue(0xFFFFFFF0u);
    Bytes pps = Nal(8, b.Rbsp());
    Bytes w;
    while (w.size() < (1u << 20)) {
        w.insert(w.end(), pps.begin(), pps.end());
    }
    w = Cat({w, IdrSlice(0), PSlice(0, 1)});
    Unit u = SplitAt(H264_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.size, w.size() - PSlice(0, 1).size());
}
