// AVI reader on file images built chunk by chunk, and the AVI frame table.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "avireader.h"
#include "split_helpers.h"

using namespace sb;

namespace
{

class AviReader : public ::testing::Test
{
protected:
    int Open(Bytes image)
    {
        image_ = std::move(image);
        return AVI_OpenAVIFile(reinterpret_cast<char *>(image_.data()), static_cast<u32>(image_.size()), &info_);
    }
    // Offsets in the image of the video payloads handed out, until null.
    std::vector<std::pair<size_t, int>> Video(std::vector<int> *audio = nullptr)
    {
        std::vector<std::pair<size_t, int>> out;
        for (;;) {
            int size = -1, na = -1;
            unsigned char *p = AVI_GetVideoData(&size, &info_, &na);
            if (audio) {
                audio->push_back(na);
            }
            if (p == nullptr) {
                EXPECT_EQ(size, 0);
                break;
            }
            out.push_back({static_cast<size_t>(p - image_.data()), size});
        }
        return out;
    }
    Bytes image_;
    AVI_INFO info_;
};

Bytes Av(std::initializer_list<Bytes> chunks)
{
    return Riff({Hdrl(2, {VideoStream(1234), AudioStream()}), Movi(chunks)});
}

} // namespace

TEST_F(AviReader, SignatureTest)
{
    Bytes ok = Riff({});
    EXPECT_EQ(AVI_IsAVIFile(reinterpret_cast<char *>(ok.data())), 1);
    Bytes bad = ok;
    bad[8] = 'W';
    EXPECT_EQ(AVI_IsAVIFile(reinterpret_cast<char *>(bad.data())), 0);
    EXPECT_EQ(Open(bad), 0);
    EXPECT_EQ(info_.buffer, reinterpret_cast<char *>(image_.data()));
    EXPECT_EQ(info_.movi, nullptr);
}

TEST_F(AviReader, OddChunkIsPaddedAndDbChunksAreVideo)
{
    Bytes image = Av({Chunk("00dc", Payload(5, 1)), Chunk("00db", Payload(6, 2)), Chunk("00dc", Payload(0, 0))});
    ASSERT_EQ(Open(image), 1);
    auto v = Video();
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].second, 5);
    EXPECT_EQ(v[1].first, v[0].first + 5 + 1 + 8); // pad byte, then the next header
    EXPECT_EQ(v[1].second, 6);
    EXPECT_EQ(v[2].second, 0); // empty chunk: non-null pointer, size 0
    EXPECT_EQ(image_[v[0].first], 1);
}

TEST_F(AviReader, AudioChunksPassedOverAreCounted)
{
    Bytes image = Av({Chunk("01wb", Payload(4, 9)), Chunk("00dc", Payload(8, 1)), Chunk("01wb", Payload(4, 9)),
                      Chunk("01wb", Payload(4, 9)), Chunk("00dc", Payload(8, 2)), Chunk("01wb", Payload(4, 9))});
    ASSERT_EQ(Open(image), 1);
    std::vector<int> audio;
    auto v = Video(&audio);
    EXPECT_EQ(v.size(), 2u);
    EXPECT_EQ(audio, (std::vector<int>{1, 2, 1}));
    // The audio cursor is independent of the video one.
    int size = 0;
    int n = 0;
    while (AVI_GetAudioData(&size, &info_) != nullptr) {
        EXPECT_EQ(size, 4);
        ++n;
    }
    EXPECT_EQ(n, 4);
}

TEST_F(AviReader, OtherItemsAndNestedListsArePassedOver)
{
    Bytes image = Av({Chunk("JUNK", Payload(9, 0)), List("LIST", "rec ", Chunk("00dc", Payload(3, 3))),
                      Chunk("ix00", Payload(16, 0)), Chunk("00dc", Payload(7, 7))});
    ASSERT_EQ(Open(image), 1);
    auto v = Video();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].second, 7);
}

TEST_F(AviReader, StreamNumbersAboveNine)
{
    std::vector<Bytes> strls;
    Bytes hdrl_contents = Avih(13);
    for (int i = 0; i < 12; ++i) {
        Bytes s = List("LIST", "strl", Cat({Strh("mids", 1, 1), VideoStrf()}));
        hdrl_contents.insert(hdrl_contents.end(), s.begin(), s.end());
    }
    Bytes vs = VideoStream();
    hdrl_contents.insert(hdrl_contents.end(), vs.begin(), vs.end());
    Bytes image =
        Riff({List("LIST", "hdrl", hdrl_contents), Movi({Chunk("00dc", Payload(3, 0)), Chunk("12dc", Payload(4, 0))})});
    ASSERT_EQ(Open(image), 1);
    EXPECT_EQ(info_.VideoStreamIndex, 12);
    auto v = Video();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].second, 4);
}

TEST_F(AviReader, LaterVideoStreamWins)
{
    Bytes image = Riff(
        {Hdrl(2, {VideoStream(), VideoStream()}), Movi({Chunk("00dc", Payload(3, 0)), Chunk("01dc", Payload(5, 0))})});
    ASSERT_EQ(Open(image), 1);
    auto v = Video();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].second, 5);
}

TEST_F(AviReader, MoreStreamListsThanDeclaredFailTheOpen)
{
    Bytes image = Riff({Hdrl(0, {VideoStream()}), Movi({Chunk("00dc", Payload(3, 0))})});
    EXPECT_EQ(Open(image), 0);
    EXPECT_EQ(info_.movi, nullptr);
    auto v = Video();
    EXPECT_TRUE(v.empty());
}

TEST_F(AviReader, StreamListBeforeTheMainHeaderFailsTheOpen)
{
    Bytes image = Riff({List("LIST", "hdrl", VideoStream()), Movi({Chunk("00dc", Payload(3, 0))})});
    EXPECT_EQ(Open(image), 0);
}

TEST_F(AviReader, MissingListsAndRecLists)
{
    EXPECT_EQ(Open(Riff({Movi({Chunk("00dc", Payload(3, 0))})})), 1); // no hdrl
    EXPECT_EQ(info_.VideoInfor.StreamHeader, nullptr);
    EXPECT_EQ(info_.VideoStreamIndex, 0);
    EXPECT_EQ(Video().size(), 1u);

    EXPECT_EQ(Open(Riff({Hdrl(1, {VideoStream()})})), 1); // no movi
    EXPECT_EQ(info_.movi, nullptr);
    EXPECT_TRUE(Video().empty());

    EXPECT_EQ(Open(Riff({Hdrl(1, {VideoStream()}), Movi({List("LIST", "rec ", Chunk("00dc", Payload(3, 0)))})})), 1);
    EXPECT_NE(info_.current_REC, nullptr);
    EXPECT_TRUE(Video().empty());
    int size = 5;
    EXPECT_EQ(AVI_GetAudioData(&size, &info_), nullptr);
    EXPECT_EQ(size, 0);
}

TEST_F(AviReader, AfterTheLastChunkNullUntilReset)
{
    ASSERT_EQ(Open(Av({Chunk("00dc", Payload(3, 0)), Chunk("00dc", Payload(4, 0))})), 1);
    EXPECT_EQ(Video().size(), 2u);
    EXPECT_TRUE(Video().empty());
    AVI_ResetVideoDataOffset(&info_);
    EXPECT_EQ(Video().size(), 2u);
}

TEST_F(AviReader, Getters)
{
    ASSERT_EQ(Open(Av({Chunk("00dc", Payload(3, 0))})), 1);
    EXPECT_EQ(AVI_GetVideoCodec(&info_), 0x44495658u); // "XVID"
    EXPECT_EQ(AVI_GetAudioCodec(&info_), 1u);
    ASSERT_NE(AVI_GetAudioParameter(&info_), nullptr);
    EXPECT_EQ(AVI_GetAudioParameter(&info_)->nSamplesPerSec, 8000u);
    EXPECT_EQ(AVI_GetSuggestedVideoBuffer(&info_), 1234);
    EXPECT_EQ(AVI_GetSuggestedAudioBuffer(&info_), 4096);
    EXPECT_FLOAT_EQ(AVI_GetFPSinAVI(&info_), 25.0f);
    EXPECT_FLOAT_EQ(AVI_GetAudioChunkPerSec(&info_), 8000.0f);
    u32 w = 0, h = 0;
    AVI_GetStreamResolution(&w, &h);
    EXPECT_EQ(w, 176u);
    EXPECT_EQ(h, 144u);
    AVI_CloseAVIFile(&info_);
    AVI_GetStreamResolution(&w, &h); // the closed record is not read any more
    EXPECT_EQ(w, 0u);
}

TEST_F(AviReader, GettersWithoutTheirHeadersGiveZeroOrNull)
{
    ASSERT_EQ(Open(Riff({Movi({})})), 1);
    EXPECT_EQ(AVI_GetVideoCodec(&info_), 0u);
    EXPECT_EQ(AVI_GetAudioCodec(&info_), 0u);
    EXPECT_EQ(AVI_GetAudioParameter(&info_), nullptr);
    EXPECT_EQ(AVI_GetSuggestedVideoBuffer(&info_), 0);
    EXPECT_EQ(AVI_GetSuggestedAudioBuffer(&info_), 0);
    EXPECT_EQ(AVI_GetFPSinAVI(&info_), 0.0f);
    EXPECT_EQ(AVI_GetAudioChunkPerSec(&info_), 0.0f);
    u32 w = 1, h = 1;
    AVI_GetStreamResolution(&w, &h);
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(h, 0u);
}

TEST_F(AviReader, ZeroScaleGivesInfiniteRate)
{
    Bytes strl = List("LIST", "strl", Cat({Strh("vids", 0, 25), VideoStrf()}));
    ASSERT_EQ(Open(Riff({Hdrl(1, {strl}), Movi({})})), 1);
    EXPECT_TRUE(std::isinf(AVI_GetFPSinAVI(&info_)));
}

TEST_F(AviReader, ChunkRunningPastTheImageEndsTheWalk)
{
    Bytes image = Av({Chunk("00dc", Payload(3, 0)), Chunk("00dc", Payload(100, 0))});
    image.resize(image.size() - 50); // the file was cut inside the second chunk
    ASSERT_EQ(Open(image), 1);
    auto v = Video();
    EXPECT_EQ(v.size(), 1u);
}

TEST_F(AviReader, ListSizesClaimingMoreThanTheImageAreBounded)
{
    Bytes image = Av({Chunk("00dc", Payload(3, 0))});
    image[4] = 0xFF;
    image[5] = 0xFF;
    image[6] = 0xFF;
    image[7] = 0x7F; // RIFF claims 2 GiB
    ASSERT_EQ(Open(image), 1);
    EXPECT_EQ(Video().size(), 1u);
}

TEST_F(AviReader, ListShorterThanItsFormTypeHoldsNothing)
{
    Bytes image = Av({Chunk("00dc", Payload(3, 0))});
    image[4] = 2; // RIFF size below 4
    image[5] = 0;
    image[6] = 0;
    image[7] = 0;
    EXPECT_EQ(Open(image), 1);
    EXPECT_EQ(info_.movi, nullptr);
}

namespace
{
std::string g_trace;
void Collect(const char *fmt, va_list args)
{
    char line[256];
    vsnprintf(line, sizeof line, fmt, args);
    g_trace += line;
}
} // namespace

TEST_F(AviReader, DiagnosticsGoToTheTraceHookOnly)
{
    g_trace.clear();
    AVI_SetTraceHook(Collect);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int ok = Open(Av({Chunk("00dc", Payload(3, 0))}));
    std::string out = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    AVI_SetTraceHook(nullptr);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(g_trace.rfind("RIFF AVI List!\n", 0), 0u) << g_trace;
    EXPECT_NE(g_trace.find("Flags=0x10\n[HASINDEX] \nTotalFrames=25\n"), std::string::npos) << g_trace;
    EXPECT_NE(g_trace.find("STRH:fccType=vids\n"), std::string::npos);
    EXPECT_NE(g_trace.find("Width=176 Heigth=144\n"), std::string::npos);
    EXPECT_NE(g_trace.find("FormatTag:1(0x1)\n"), std::string::npos);
    EXPECT_NE(g_trace.find("parsing avi end----------------\n"), std::string::npos);
    g_trace.clear();
    AVI_SetTraceHook(Collect);
    Open(Riff({Hdrl(0, {VideoStream()})}));
    AVI_SetTraceHook(nullptr);
    EXPECT_NE(g_trace.find("Number of LIST strl exceeds dwStreams !!!!!\n"), std::string::npos);
}

// ------------------------------------------------------- AVI frame table

TEST(AviTable, FirstChunkIsEnteredTwice)
{
    Bytes image = Av({Chunk("00dc", Payload(10, 1)), Chunk("01wb", Payload(4, 0)), Chunk("00dc", Payload(11, 2)),
                      Chunk("00dc", Payload(12, 3))});
    TempFile f(image, "avi");
    ResetOptions();
    void *h = InitRawFrameExtract(f.path());
    ASSERT_NE(h, nullptr);
    std::vector<Entry> t = Table(h);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], t[1]);
    EXPECT_EQ(t[0].size, 10u);
    EXPECT_EQ(t[2].size, 11u);
    EXPECT_EQ(t[3].size, 12u);
    EXPECT_EQ(image[t[2].offset], 2);
    EXPECT_EQ(GetRawLastFrameIndex(h), 3);
    unsigned char buf[16];
    int last = 0;
    EXPECT_EQ(GetRawFrameExtract(h, 3, buf, &last), 12);
    EXPECT_EQ(last, 1);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(GetRawFrameExtract(h, 4, buf, &last), 0);
    EXPECT_EQ(last, 0);
    DeInitRawFrameExtract(h);
}

TEST(AviTable, DroppedFramesLeaveNoEmptyEntry)
{
    // A zero-size chunk would read as "no more frames" and end decoding early.
    Bytes image = Av({Chunk("00dc", Payload(10, 1)), Chunk("00dc", Payload(0, 0)), Chunk("00dc", Payload(11, 2))});
    TempFile f(image, "avi");
    void *h = InitRawFrameExtract(f.path());
    ASSERT_NE(h, nullptr);
    std::vector<Entry> t = Table(h);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[2].size, 11u);
    DeInitRawFrameExtract(h);
}

TEST(AviTable, LargeChunkIsReadStraightIntoTheCallersBuffer)
{
    Bytes big = Payload(4u << 20, 5); // larger than the 3 MiB window
    Bytes image = Av({Chunk("00dc", Payload(10, 1)), Chunk("00dc", big)});
    TempFile f(image, "avi");
    void *h = InitRawFrameExtract(f.path());
    ASSERT_NE(h, nullptr);
    Bytes buf(big.size());
    int last = 0;
    EXPECT_EQ(GetRawFrameExtract(h, 2, buf.data(), &last), static_cast<int>(big.size()));
    EXPECT_EQ(buf, big);
    DeInitRawFrameExtract(h);
}

TEST(AviTable, MissingSignatureFailsAndFailedOpenGivesEmptyTable)
{
    Bytes wav = Av({Chunk("00dc", Payload(10, 1))});
    wav[8] = 'W';
    TempFile f(wav, "avi");
    EXPECT_EQ(InitRawFrameExtract(f.path()), nullptr);
    TempFile tiny(Bytes{'R', 'I', 'F', 'F'}, "avi");
    EXPECT_EQ(InitRawFrameExtract(tiny.path()), nullptr);

    TempFile failed(Riff({Hdrl(0, {VideoStream()}), Movi({Chunk("00dc", Payload(3, 0))})}), "avi");
    void *h = InitRawFrameExtract(failed.path());
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(Table(h).empty());
    EXPECT_EQ(GetRawLastFrameIndex(h), -1);
    DeInitRawFrameExtract(h);
}
