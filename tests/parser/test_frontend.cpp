// Parser front end: extension filter, options and their messages, open/read/close.
#include <gtest/gtest.h>

#include <string>

#include "KolvexXcdParser.h"
#include "split_helpers.h"

using namespace sb;

namespace
{

class FrontEnd : public ::testing::Test
{
protected:
    void SetUp() override { ResetOptions(); }
    void TearDown() override { ResetOptions(); }
};

kolvex::BOOL Set(KOLVEX_XCD_PARSER_CONF c, int v, std::string *out)
{
    testing::internal::CaptureStdout();
    kolvex::BOOL r = KolvexParserSetConfig(c, &v);
    *out = testing::internal::GetCapturedStdout();
    return r;
}

Bytes SmallRcv()
{
    return Cat({RcvSequenceHeader(), RcvFrame(10), RcvFrame(20)});
}

} // namespace

TEST_F(FrontEnd, SliceEnableAcceptsZeroAndOne)
{
    std::string out;
    EXPECT_EQ(Set(XCD_PARSER_SETCONF_SLICE_ENABLE, 1, &out), kolvex::TRUE);
    EXPECT_EQ(out, "SLICE_ENABLE =1\n");
    EXPECT_EQ(slice_enable, 1);
    EXPECT_EQ(Set(XCD_PARSER_SETCONF_SLICE_ENABLE, 2, &out), kolvex::FALSE);
    EXPECT_EQ(out, "KolvexParserSetConfig: Slice Enable only 1 or 0 2 \n");
    EXPECT_EQ(slice_enable, 1);
}

TEST_F(FrontEnd, ParsingOnlyAcceptsZeroAndOne)
{
    std::string out;
    EXPECT_EQ(Set(XCD_PARSER_SETCONF_PARSING_ONLY, 1, &out), kolvex::TRUE);
    EXPECT_EQ(out, "PARSING_ONLY =1\n");
    EXPECT_EQ(Set(XCD_PARSER_SETCONF_PARSING_ONLY, -1, &out), kolvex::FALSE);
    EXPECT_EQ(out, "KolvexParserSetConfig: Parsing only must be 1 or 0 -1 \n");
    EXPECT_EQ(parsing_only, 1);
}

TEST_F(FrontEnd, DecodingNumberMustBePositive)
{
    std::string out;
    EXPECT_EQ(Set(XCD_PARSER_SETCONF_DEC_NUMBER, 0, &out), kolvex::FALSE);
    EXPECT_EQ(out, "KolvexParserSetConfig: Decoding number must be greater than 0 : 0 \n");
    EXPECT_EQ(decoding_number, -1);
    EXPECT_EQ(Set(XCD_PARSER_SETCONF_DEC_NUMBER, 5, &out), kolvex::TRUE);
    EXPECT_EQ(out, "DECODING_NUMBER =5\n");
    EXPECT_EQ(decoding_number, 5);
}

TEST_F(FrontEnd, UnknownConfigIsRefused)
{
    std::string out;
    EXPECT_EQ(Set(static_cast<KOLVEX_XCD_PARSER_CONF>(3), 1, &out), kolvex::FALSE);
    EXPECT_EQ(out, "KolvexParserSetConfig: Invalid config type =3\n");
}

TEST_F(FrontEnd, DeInitResetsOnlySliceEnable)
{
    slice_enable = 1;
    parsing_only = 1;
    decoding_number = 4;
    EXPECT_EQ(KolvexParserDeInit(nullptr), kolvex::TRUE);
    EXPECT_EQ(slice_enable, 0);
    EXPECT_EQ(parsing_only, 1);
    EXPECT_EQ(decoding_number, 4);
}

TEST_F(FrontEnd, ExtensionFilterIsCaseInsensitive)
{
    for (const char *ext : {"rcv", "RCV", "Rcv"}) {
        TempFile f(SmallRcv(), ext);
        testing::internal::CaptureStdout();
        void *h = KolvexParserInit(H264_DEC, f.path(), 2 << 20);
        testing::internal::GetCapturedStdout();
        EXPECT_NE(h, nullptr) << ext;
        EXPECT_EQ(KolvexParserFrameSize(h, 1), 18) << ext;
        KolvexParserDeInit(h);
    }
}

TEST_F(FrontEnd, UnsupportedNamesAreRefusedSilently)
{
    for (const char *ext : {"h264", "txt", "m4vextralong", ""}) {
        TempFile f(SmallRcv(), ext);
        testing::internal::CaptureStdout();
        EXPECT_EQ(KolvexParserInit(H264_DEC, f.path(), 0), nullptr) << ext;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << ext;
        KolvexParserDeInit(nullptr);
    }
    char no_dot[] = "/tmp/streamwithoutdot";
    EXPECT_EQ(KolvexParserInit(H264_DEC, no_dot, 0), nullptr);
    KolvexParserDeInit(nullptr);
}

TEST_F(FrontEnd, FailedExtractionIsReported)
{
    char missing[] = "/nonexistent/clip.m4v";
    testing::internal::CaptureStdout();
    EXPECT_EQ(KolvexParserInit(H264_DEC, missing, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "InitRawFrameExtract fail\n");
    // No table: reads give nothing and touch nothing.
    unsigned char buf[4] = {9, 9, 9, 9};
    int last = 42;
    EXPECT_EQ(KolvexParserFrameGet(nullptr, 0, buf, &last), 0);
    EXPECT_EQ(last, 42);
    EXPECT_EQ(buf[0], 9);
    KolvexParserDeInit(nullptr);
}

TEST_F(FrontEnd, FramesAreServedUntilZero)
{
    Bytes data = SmallRcv();
    TempFile f(data, "rcv");
    testing::internal::CaptureStdout();
    void *h = KolvexParserInit(UNKNOWN_TYPE, f.path(), 0);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(h, nullptr);
    unsigned char buf[64];
    int last = -1;
    EXPECT_EQ(KolvexParserFrameGet(h, 0, buf, &last), 36);
    EXPECT_EQ(KolvexParserFrameGet(h, 1, buf, &last), 18);
    EXPECT_EQ(Bytes(buf, buf + 18), Bytes(data.begin() + 36, data.begin() + 54));
    EXPECT_EQ(KolvexParserFrameGet(h, 2, buf, &last), 28);
    EXPECT_EQ(KolvexParserFrameGet(h, 3, buf, &last), 0);
    EXPECT_EQ(KolvexParserFrameSize(h, 3), 0);
    EXPECT_EQ(KolvexParserFrameGet(h, 0xFFFFFFFFu, buf, &last), 0);
    EXPECT_EQ(KolvexParserDeInit(h), kolvex::TRUE);
    // Closed: no table any more.
    EXPECT_EQ(KolvexParserFrameSize(h, 0), 0);
}

TEST_F(FrontEnd, UpperCaseAviTakesTheAviPath)
{
    Bytes avi = Riff({Hdrl(1, {VideoStream()}), Movi({Chunk("00dc", Payload(10, 1)), Chunk("00dc", Payload(12, 2))})});
    TempFile f(avi, "AVI");
    void *h = KolvexParserInit(UNKNOWN_TYPE, f.path(), 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(KolvexParserFrameSize(h, 0), 10);
    EXPECT_EQ(KolvexParserFrameSize(h, 1), 10);
    EXPECT_EQ(KolvexParserFrameSize(h, 2), 12);
    KolvexParserDeInit(h);
}
