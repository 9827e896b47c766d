// VC-1 (RCV and advanced profile) and VP8-in-IVF splitters.
#include <gtest/gtest.h>

#include "split_helpers.h"

using namespace sb;

TEST(RcvSplitter, SequenceHeaderThenFramesWithTheirHeaders)
{
    Bytes w = Cat({RcvSequenceHeader(), RcvFrame(100), RcvFrame(200)});
    Unit u = SplitAt(VC1RCV_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.size, 36u);
    u = SplitAt(VC1RCV_DEC, w, 36, false);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.start, 36u);
    EXPECT_EQ(u.size, 108u);
    // The last frame fills the window exactly: result 1.
    u = SplitAt(VC1RCV_DEC, w, 144, false);
    EXPECT_EQ(u.ret, 1u);
    EXPECT_EQ(u.size, 208u);
}

TEST(RcvSplitter, HeaderSizeFollowsTheExtensionDataLength)
{
    Bytes w = Cat({RcvSequenceHeader(5), RcvFrame(10)});
    EXPECT_EQ(SplitAt(VC1RCV_DEC, w, 0, true).size, 37u);
    Bytes w0 = Cat({RcvSequenceHeader(0), RcvFrame(10)});
    EXPECT_EQ(SplitAt(VC1RCV_DEC, w0, 0, true).size, 32u);
}

TEST(RcvSplitter, ExtensionLengthBeyondTheWindowIsATruncatedUnit)
{
    Bytes w = RcvSequenceHeader();
    w[4] = 0xFF;
    w[5] = 0xFF;
    w[6] = 0xFF;
    w[7] = 0xFF; // 4 GiB of extension data
    Unit u = SplitAt(VC1RCV_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 1u);
    EXPECT_EQ(u.size, w.size());
}

TEST(RcvSplitter, KeyFrameFlagIsAFrame)
{
    Bytes w = Cat({RcvFrame(20, 0x80), RcvFrame(5)});
    Unit u = SplitAt(VC1RCV_DEC, w, 0, false);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.size, 28u);
}

TEST(RcvSplitter, WindowShorterThanAFrameHeaderIsTruncated)
{
    Bytes w{0x05, 0x00, 0x00};
    EXPECT_EQ(SplitAt(VC1RCV_DEC, w, 0, false).ret, 1u);
}

TEST(Vp8Splitter, FirstFrameDataAtOffset44ThenAt12)
{
    Bytes w = Cat({IvfHeader(), IvfFrame(100), IvfFrame(50), IvfFrame(7)});
    Unit u = SplitAt(VP8_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.start, 44u);
    EXPECT_EQ(u.size, 100u);
    u = SplitAt(VP8_DEC, w, 144, false);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.start, 156u);
    EXPECT_EQ(u.size, 50u);
    u = SplitAt(VP8_DEC, w, 206, false);
    EXPECT_EQ(u.ret, 1u); // fills the window
}

TEST(Vp8Splitter, FourthByteOfTheFrameSizeIsIgnored)
{
    Bytes w = Cat({IvfFrame(10, 0x01), IvfFrame(10)});
    Unit u = SplitAt(VP8_DEC, w, 0, false);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.size, 10u);
}

TEST(Vp8Splitter, TruncatedFrameHeaderIsAnUnfinishedUnit)
{
    Bytes w{0x10, 0x00};
    EXPECT_EQ(SplitAt(VP8_DEC, w, 0, false).ret, 1u);
    Bytes h = IvfHeader();
    EXPECT_EQ(SplitAt(VP8_DEC, h, 0, true).ret, 1u);
}

TEST(Vc1AdvancedSplitter, HeadersFirstThenOneUnitPerFrame)
{
    Bytes headers = Cat({Vc1SequenceHeader(), Vc1EntryPoint()});
    Bytes f1 = Vc1Frame();
    Bytes f2 = Vc1Frame(60);
    Bytes f3 = Vc1Frame(10);
    EXPECT_EQ(UnitSizes(VC1AP_DEC, Cat({headers, f1, f2, f3})),
              (std::vector<u32>{static_cast<u32>(headers.size()), static_cast<u32>(f1.size()),
                                static_cast<u32>(f2.size()), static_cast<u32>(f3.size())}));
}

TEST(Vc1AdvancedSplitter, EntryPointBetweenFramesEndsOneAndBeginsTheNext)
{
    Bytes headers = Cat({Vc1SequenceHeader(), Vc1EntryPoint()});
    Bytes f1 = Cat({Vc1Frame(), Vc1Slice()});
    Bytes f2 = Cat({Vc1EntryPoint(), Vc1Frame()});
    Bytes f3 = Cat({Vc1SequenceHeader(), Vc1EntryPoint(), Vc1Frame()});
    Bytes f4 = Vc1Frame();
    EXPECT_EQ(
        UnitSizes(VC1AP_DEC, Cat({headers, f1, f2, f3, f4})),
        (std::vector<u32>{static_cast<u32>(headers.size()), static_cast<u32>(f1.size()), static_cast<u32>(f2.size()),
                          static_cast<u32>(f3.size()), static_cast<u32>(f4.size())}));
}

TEST(Vc1AdvancedSplitter, FieldsOfAnInterlacedFrameAreTwoUnits)
{
    Bytes w = Cat({Vc1Frame(), Vc1Field(), Vc1Frame()});
    Unit u = SplitAt(VC1AP_DEC, w, 0, false);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.size, Vc1Frame().size());
    u = SplitAt(VC1AP_DEC, w, Vc1Frame().size(), false);
    EXPECT_EQ(u.size, Vc1Field().size());
}

TEST(Vc1AdvancedSplitter, FrameFollowedByEndOfSequenceGivesTwo)
{
    Bytes w = Cat({Vc1Frame(), Vc1EndOfSequence(), Filler(4, 0x77)});
    Unit u = SplitAt(VC1AP_DEC, w, 0, false);
    EXPECT_EQ(u.ret, 2u);
    EXPECT_EQ(u.size, w.size()); // VsParser reports the whole window
}

TEST(Vc1AdvancedSplitter, LeadingUserDataStaysInStepWithTheUnit)
{
    // Bytes in front of the first frame start code: the unit's start and
    // size describe the same bytes, so the build's cursor lands on the next frame.
    Bytes lead = Vc1UserData();
    Bytes f1 = Vc1Frame();
    Bytes w = Cat({lead, f1, Vc1Frame()});
    Unit u = SplitAt(VC1AP_DEC, w, 0, false);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.start, lead.size());
    EXPECT_EQ(u.start + u.size, lead.size() + f1.size());
}

TEST(Vc1AdvancedSplitter, StartCodeAtTheLastBytesIsNotReadPastTheWindow)
{
    Bytes w = Cat({Vc1Frame(), Bytes{0, 0, 1}});
    EXPECT_EQ(SplitAt(VC1AP_DEC, w, 0, false).ret, 1u);
}

TEST(Vc1SkippedPicture, TopFourBitsAllOneMeanSkipped)
{
    u8 bytes[] = {0xF3, 0xE0, 0xF0, 0x0F};
    EXPECT_EQ(SkippedPictureCheck(bytes, 0), 1);
    EXPECT_EQ(SkippedPictureCheck(bytes, 1), 0);
    EXPECT_EQ(SkippedPictureCheck(bytes, 2), 1);
    EXPECT_EQ(SkippedPictureCheck(bytes, 3), 0);
}
