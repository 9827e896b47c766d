// Raw frame extraction: the frame table built from a file and the frames
// read back from it.
#include <gtest/gtest.h>

#include <string>

#include "split_helpers.h"

using namespace sb;

namespace
{

class Extraction : public ::testing::Test
{
protected:
    void SetUp() override { ResetOptions(); }
    void TearDown() override
    {
        if (handle_ != nullptr) {
            DeInitRawFrameExtract(handle_);
        }
        ResetOptions();
    }
    void *Open(TempFile &f)
    {
        handle_ = InitRawFrameExtract(f.path());
        return handle_;
    }
    Bytes Read(int index, int *last = nullptr)
    {
        int dummy = -5;
        Bytes b(static_cast<size_t>(GetRawFrameSize(handle_, index)) + 1);
        int n = GetRawFrameExtract(handle_, index, b.data(), last ? last : &dummy);
        b.resize(static_cast<size_t>(n));
        return b;
    }
    void *handle_ = nullptr;
};

Bytes TenAccessUnits()
{
    Bytes s = Cat({Sps(), Pps(), IdrSlice(0), IdrSlice(20)});
    for (uint32_t f = 1; f < 10; ++f) {
        s = Cat({s, PSlice(0, f), PSlice(20, f)});
    }
    return s;
}

} // namespace

TEST_F(Extraction, RcvEntriesAreTheHeaderAndFramesWithTheirHeaders)
{
    Bytes data = Cat({RcvSequenceHeader(), RcvFrame(100), RcvFrame(200)});
    TempFile f(data, "rcv");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(Table(handle_), (std::vector<Entry>{{0, 36}, {36, 108}, {144, 208}}));
    EXPECT_EQ(Read(1), Bytes(data.begin() + 36, data.begin() + 144));
}

TEST_F(Extraction, RcvWithFiveByteExtensionDataFromTheConformanceSet)
{
    std::string path = std::string(OMX_SHARED_MEDIA_DIR) + "/vc1/SMM0005.rcv";
    std::FILE *probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr) {
        GTEST_SKIP() << "no " << path;
    }
    std::fseek(probe, 0, SEEK_END);
    uint64_t file_size = static_cast<uint64_t>(std::ftell(probe));
    std::fclose(probe);
    handle_ = InitRawFrameExtract(path.data());
    ASSERT_NE(handle_, nullptr);
    std::vector<Entry> t = Table(handle_);
    ASSERT_EQ(t.size(), 25u);
    EXPECT_EQ(t[0], (Entry{0, 37}));
    uint64_t next = 37;
    for (size_t i = 1; i < t.size(); ++i) {
        EXPECT_EQ(t[i].offset, next) << i;
        Bytes frame = Read(static_cast<int>(i));
        ASSERT_GE(frame.size(), 8u);
        uint32_t n = frame[0] | (frame[1] << 8) | (frame[2] << 16);
        EXPECT_EQ(t[i].size, n + 8) << i; // data plus its 8-byte header
        next = t[i].offset + t[i].size;
    }
    EXPECT_EQ(next, file_size);
}

TEST_F(Extraction, IvfEntriesSkipEveryIvfHeader)
{
    Bytes data = Cat({IvfHeader(), IvfFrame(100), IvfFrame(50), IvfFrame(7)});
    TempFile f(data, "ivf");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(Table(handle_), (std::vector<Entry>{{44, 100}, {156, 50}, {218, 7}}));
    EXPECT_EQ(Read(2), Bytes(data.begin() + 218, data.end()));
}

TEST_F(Extraction, IvfShorterThanItsHeadersGivesAnEmptyTable)
{
    Bytes data = IvfHeader();
    TempFile f(data, "ivf");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_TRUE(Table(handle_).empty());
}

TEST_F(Extraction, DecodingNumberLimitsTheTableToFirstFrameAndThatManyMore)
{
    decoding_number = 3;
    TempFile f(TenAccessUnits(), "264");
    testing::internal::CaptureStdout();
    ASSERT_NE(Open(f), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Table(handle_).size(), 4u);
    EXPECT_NE(out.find(">> VsParser loop count : 3 <<\n"), std::string::npos) << out;
    EXPECT_EQ(GetRawLastFrameIndex(handle_), -1);
}

TEST_F(Extraction, WholeH264FileIsCoveredWithoutGaps)
{
    Bytes data = TenAccessUnits();
    TempFile f(data, "264");
    testing::internal::CaptureStdout();
    ASSERT_NE(Open(f), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    std::vector<Entry> t = Table(handle_);
    ASSERT_EQ(t.size(), 10u);
    uint64_t next = 0;
    Bytes joined;
    for (size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].offset, next);
        next += t[i].size;
        Bytes fr = Read(static_cast<int>(i));
        joined.insert(joined.end(), fr.begin(), fr.end());
    }
    EXPECT_EQ(joined, data);
    EXPECT_NE(out.find("\nStart Parsing.........\n"), std::string::npos);
    EXPECT_NE(out.find(">> VsParser loop count : 8 <<\n"), std::string::npos) << out;
}

TEST_F(Extraction, ParsingOnlyPrintsCodecAndEveryEntry)
{
    parsing_only = 1;
    Bytes data = Cat({RcvSequenceHeader(), RcvFrame(100), RcvFrame(200)});
    TempFile f(data, "rcv");
    testing::internal::CaptureStdout();
    ASSERT_NE(Open(f), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Codec Type : 7, Ext : rcv\n"
                   "Frame[0] : offset = 0(0x0), size = 36(0x24)\n"
                   "\nStart Parsing.........\n"
                   "Frame[1] : offset = 36(0x24), size = 108(0x6c)\n"
                   "Frame[2] : offset = 144(0x90), size = 208(0xd0)\n"
                   ">> VsParser loop count : 1 <<\n");
}

TEST_F(Extraction, SingleAccessUnitH264IsAHeaderParsingError)
{
    TempFile f(Cat({Sps(), Pps(), IdrSlice(0), IdrSlice(20)}), "264");
    testing::internal::CaptureStdout();
    EXPECT_EQ(Open(f), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[HeaderParsing Err]\n");
}

TEST_F(Extraction, MissingFileGivesNullSilently)
{
    char name[] = "/nonexistent/dir/stream.264";
    testing::internal::CaptureStdout();
    EXPECT_EQ(InitRawFrameExtract(name), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(Extraction, BytesBeforeTheFirstStartCodeBelongToEntryZero)
{
    Bytes junk = Filler(7, 0x42);
    Bytes headers = Cat({Mpeg2Sequence(), Mpeg2Gop()});
    Bytes i = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    Bytes p = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    TempFile f(Cat({junk, headers, i, p}), "m2v");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(Table(handle_),
              (std::vector<Entry>{{0, static_cast<u32>(junk.size() + headers.size())},
                                  {junk.size() + headers.size(), static_cast<u32>(i.size())},
                                  {junk.size() + headers.size() + i.size(), static_cast<u32>(p.size())}}));
}

TEST_F(Extraction, Mpeg2StreamOpeningWithAPictureHasNoEmptyEntry)
{
    Bytes i = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    Bytes p = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    TempFile f(Cat({i, p}), "m2v");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(Table(handle_),
              (std::vector<Entry>{{0, static_cast<u32>(i.size())}, {i.size(), static_cast<u32>(p.size())}}));
}

TEST_F(Extraction, Mpeg4ClosingEntryIsLastWhenItHoldsAVop)
{
    Bytes config = Cat({Mpeg4Vos(), Mpeg4Vol()});
    TempFile f(Cat({config, Mpeg4Vop(), Mpeg4Vop()}), "m4v");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(Table(handle_).size(), 3u);
    EXPECT_EQ(GetRawLastFrameIndex(handle_), 2);
    int last = 0;
    EXPECT_GT(Read(2, &last).size(), 0u);
    EXPECT_EQ(last, 1);
    EXPECT_EQ(Read(1, &last).size(), Mpeg4Vop().size());
    EXPECT_EQ(last, 0);
}

TEST_F(Extraction, Mpeg4TrailingHeadersMakeTheEntryBeforeThemLast)
{
    Bytes config = Cat({Mpeg4Vos(), Mpeg4Vol()});
    TempFile f(Cat({config, Mpeg4Vop(), Mpeg4Vop(), Mpeg4Vos()}), "m4v");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(Table(handle_).size(), 4u);
    EXPECT_EQ(GetRawLastFrameIndex(handle_), 2);
}

TEST_F(Extraction, IndexPastTheTableGivesZeroAndNotLast)
{
    TempFile f(Cat({RcvSequenceHeader(), RcvFrame(10)}), "rcv");
    ASSERT_NE(Open(f), nullptr);
    unsigned char buf[64];
    int last = 7;
    EXPECT_EQ(GetRawFrameExtract(handle_, 2, buf, &last), 0);
    EXPECT_EQ(last, 0);
    last = 7;
    EXPECT_EQ(GetRawFrameExtract(handle_, 70000, buf, &last), 0);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(GetRawFrameExtract(handle_, -1, buf, &last), 0);
}

TEST_F(Extraction, NullHandleIsReported)
{
    unsigned char buf[4];
    int last = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetRawFrameExtract(nullptr, 0, buf, &last), 0);
    DeInitRawFrameExtract(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Handle is NULL\nHandle is NULL\n");
}

TEST_F(Extraction, TableGrowsBeyondSixtyFourThousandEntries)
{
    // 70000 RCV frames of one byte: more entries than the classic table held.
    Bytes data = RcvSequenceHeader();
    data.reserve(data.size() + 70000 * 9);
    Bytes frame = RcvFrame(1);
    for (int i = 0; i < 70000; ++i) {
        data.insert(data.end(), frame.begin(), frame.end());
    }
    TempFile f(data, "rcv");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(GetRawFrameCount(handle_), 70001);
    EXPECT_EQ(Read(70000), frame);
    uint64_t off;
    u32 size;
    ASSERT_EQ(GetRawFrameEntry(handle_, 70000, &off, &size), 1);
    EXPECT_EQ(off + size, data.size());
}

TEST_F(Extraction, UnitLongerThanTheWindowEndsTheTableWithAWholeWindowEntry)
{
    // An RCV frame claiming 4 MiB: once it starts the window, the refill
    // brings nothing new and the window becomes the last entry.
    Bytes data = Cat({RcvSequenceHeader(), RcvFrame(10)});
    Bytes big = RcvFrame(0);
    big[0] = 0x00;
    big[1] = 0x00;
    big[2] = 0x40; // 4 MiB
    data.insert(data.end(), big.begin(), big.end());
    data.resize(data.size() + (4u << 20), 0x33);
    TempFile f(data, "rcv");
    ASSERT_NE(Open(f), nullptr);
    std::vector<Entry> t = Table(handle_);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[2], (Entry{54, kParseWindowSize}));
}

TEST_F(Extraction, UnitsSpanningWindowRefillsAreFoundWhole)
{
    // Frames of about 1 MiB: the window is refilled from the unit's start.
    Bytes data = RcvSequenceHeader();
    std::vector<Entry> expect{{0, 36}};
    for (int i = 0; i < 7; ++i) {
        Bytes fr = RcvFrame(1000000 + static_cast<uint32_t>(i));
        expect.push_back({data.size(), static_cast<u32>(fr.size())});
        data.insert(data.end(), fr.begin(), fr.end());
    }
    TempFile f(data, "rcv");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(Table(handle_), expect);
}

TEST_F(Extraction, ReadIsIndependentOfOrder)
{
    Bytes data = Cat({RcvSequenceHeader(), RcvFrame(10), RcvFrame(20), RcvFrame(30)});
    TempFile f(data, "rcv");
    ASSERT_NE(Open(f), nullptr);
    Bytes third = Read(3);
    Bytes first = Read(1);
    EXPECT_EQ(third, Bytes(data.begin() + 36 + 18 + 28, data.end()));
    EXPECT_EQ(first, Bytes(data.begin() + 36, data.begin() + 54));
}

TEST_F(Extraction, UnknownExtensionHasNoCodec)
{
    // "msv" passes the front end's filter but has no splitter.
    TempFile f(Cat({Mpeg4Vos(), Mpeg4Vop(), Mpeg4Vop()}), "msv");
    parsing_only = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Open(f), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Codec Type : 16, Ext : msv\n[HeaderParsing Err]\n");
}

TEST(CodecFromExtension, TableAndCase)
{
    struct {
        const char *ext;
        int mode;
    } cases[] = {{"m4v", 2}, {"MP4", 2}, {"264", 0},  {"26L", 0}, {"prx1", 8}, {"prx4", 11}, {"xvd", 3}, {"263", 6},
                 {"m2v", 5}, {"MPG", 5}, {"mpeg", 5}, {"rcv", 7}, {"vc1", 1},  {"ivf", 12},  {"vp8", 12}};
    for (const auto &c : cases) {
        KOLVEX_XCD_CODEC_TYPE m = UNKNOWN_TYPE;
        EXPECT_EQ(GetCodecType(const_cast<char *>(c.ext), &m), 1) << c.ext;
        EXPECT_EQ(static_cast<int>(m), c.mode) << c.ext;
    }
    for (const char *bad : {"avi", "msv", "h264", "", "m4vxxxxxxxx"}) {
        KOLVEX_XCD_CODEC_TYPE m = MPEG1_DEC;
        EXPECT_EQ(GetCodecType(const_cast<char *>(bad), &m), 0) << bad;
        EXPECT_EQ(m, MPEG1_DEC) << bad;
    }
}

TEST_F(Extraction, Mpeg4StreamOpeningWithAVopHasNoEmptyEntry)
{
    Bytes v1 = Mpeg4Vop(20);
    Bytes v2 = Mpeg4Vop(30);
    TempFile f(Cat({v1, v2}), "m4v");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(Table(handle_),
              (std::vector<Entry>{{0, static_cast<u32>(v1.size())}, {v1.size(), static_cast<u32>(v2.size())}}));
}

TEST_F(Extraction, OnlyMpeg4MarksALastEntry)
{
    // The same bytes as H.263 (codec 6) leave the table without a last mark.
    TempFile f(Cat({H263Picture(), H263Picture(), H263Picture()}), "263");
    ASSERT_NE(Open(f), nullptr);
    EXPECT_EQ(Table(handle_).size(), 3u);
    EXPECT_EQ(GetRawLastFrameIndex(handle_), -1);
}
