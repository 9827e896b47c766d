// MPEG-2 and MPEG-4/H.263 splitters: units between picture start codes,
// with the stream headers in front of a picture going with it.
#include <gtest/gtest.h>

#include "split_helpers.h"

using namespace sb;

namespace
{

std::vector<u32> Sizes(std::initializer_list<Bytes> units)
{
    std::vector<u32> s;
    for (const Bytes &u : units) {
        s.push_back(static_cast<u32>(u.size()));
    }
    return s;
}

} // namespace

TEST(Mpeg2Splitter, HeadersThenOneUnitPerPicture)
{
    Bytes headers = Cat({Mpeg2Sequence(), Mpeg2Extension(), Mpeg2Gop()});
    Bytes i = Cat({Mpeg2Picture(), Mpeg2Slice(1), Mpeg2Slice(2)});
    Bytes p = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    Bytes b = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    Bytes w = Cat({headers, i, p, b});
    Unit first = SplitAt(MPEG2_DEC, w, 0, true);
    EXPECT_EQ(first.ret, 0u);
    EXPECT_EQ(first.size, headers.size());
    EXPECT_EQ(UnitSizes(MPEG2_DEC, w), Sizes({headers, i, p, b}));
    // The last picture runs into the window end: one picture begun, result 1.
    EXPECT_EQ(SplitAt(MPEG2_DEC, w, w.size() - b.size(), false).ret, 1u);
}

TEST(Mpeg2Splitter, SequenceAndGopHeadersBeginTheNextPicture)
{
    Bytes headers = Cat({Mpeg2Sequence(), Mpeg2Gop()});
    Bytes i = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    Bytes p = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    Bytes i2 = Cat({Mpeg2Sequence(), Mpeg2Gop(), Mpeg2Picture(), Mpeg2Slice(1)});
    EXPECT_EQ(UnitSizes(MPEG2_DEC, Cat({headers, i, p, i2})), Sizes({headers, i, p, i2}));
}

TEST(Mpeg2Splitter, SliceSplittingGivesPictureHeaderWithFirstSliceThenOneUnitPerSlice)
{
    Bytes headers = Cat({Mpeg2Sequence(), Mpeg2Gop()});
    Bytes s1 = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    Bytes s2 = Mpeg2Slice(2);
    Bytes s3 = Mpeg2Slice(3);
    Bytes next = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    EXPECT_EQ(UnitSizes(MPEG2_DEC, Cat({headers, s1, s2, s3, next}), true), Sizes({headers, s1, s2, s3, next}));
}

TEST(Mpeg2Splitter, SequenceEndStaysInTheLastUnit)
{
    Bytes headers = Cat({Mpeg2Sequence(), Mpeg2Gop()});
    Bytes i = Cat({Mpeg2Picture(), Mpeg2Slice(1)});
    Bytes last = Cat({Mpeg2Picture(), Mpeg2Slice(1), Mpeg2SequenceEnd()});
    EXPECT_EQ(UnitSizes(MPEG2_DEC, Cat({headers, i, last})), Sizes({headers, i, last}));
}

TEST(Mpeg2Splitter, PictureFirstInStreamGivesAnEmptyHeaderUnitAtTheWindowStart)
{
    Bytes w = Cat({Mpeg2Picture(), Mpeg2Slice(1), Mpeg2Picture(), Mpeg2Slice(1)});
    Unit u = SplitAt(MPEG2_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.start, 0u);
    EXPECT_EQ(u.size, 0u);
}

TEST(Mpeg2Splitter, HeadersOnlyGiveTwo)
{
    Bytes w = Cat({Mpeg2Sequence(), Mpeg2Gop()});
    EXPECT_EQ(SplitAt(MPEG2_DEC, w, 0, false).ret, 2u);
}

TEST(Mpeg4Splitter, ConfigurationHeadersThenOneUnitPerVop)
{
    Bytes config = Cat({Mpeg4Vos(), Mpeg4Vo(), Mpeg4VideoObject(), Mpeg4Vol()});
    Bytes v1 = Mpeg4Vop();
    Bytes v2 = Mpeg4Vop(50);
    EXPECT_EQ(UnitSizes(MPEG4_DEC, Cat({config, v1, v2})), Sizes({config, v1, v2}));
}

TEST(Mpeg4Splitter, GroupOfVopEndsOneVopAndBeginsTheNext)
{
    Bytes config = Cat({Mpeg4Vos(), Mpeg4Vo(), Mpeg4VideoObject(), Mpeg4Vol()});
    Bytes v1 = Mpeg4Vop();
    Bytes v2 = Cat({Mpeg4Gov(), Mpeg4Vop()});
    Bytes v3 = Mpeg4Vop();
    EXPECT_EQ(UnitSizes(MPEG4_DEC, Cat({config, v1, v2, v3})), Sizes({config, v1, v2, v3}));
}

TEST(Mpeg4Splitter, OneVopGivesOneAndHeadersOnlyGiveTwo)
{
    Bytes vop = Mpeg4Vop();
    EXPECT_EQ(SplitAt(MPEG4_DEC, vop, 0, false).ret, 1u);
    Bytes headers = Cat({Mpeg4Vos(), Mpeg4Vol()});
    EXPECT_EQ(SplitAt(MPEG4_DEC, headers, 0, false).ret, 2u);
}

TEST(Mpeg4Splitter, ResyncMarkersCutVideoPacketsOnlyWithSliceSplitting)
{
    Bytes config = Cat({Mpeg4Vos(), Mpeg4Vol()});
    Bytes packet1 = Mpeg4Vop(20);
    Bytes packet2 = Mpeg4Resync();
    Bytes packet3 = Mpeg4Resync();
    Bytes next = Mpeg4Vop(20);
    Bytes w = Cat({config, packet1, packet2, packet3, next});
    EXPECT_EQ(UnitSizes(MPEG4_DEC, w), Sizes({config, Cat({packet1, packet2, packet3}), next}));
    // With slice splitting the first call still returns the headers; the VOP
    // ends at the first resync marker.
    std::vector<u32> sliced = UnitSizes(MPEG4_DEC, w, true);
    ASSERT_GE(sliced.size(), 2u);
    EXPECT_EQ(sliced[0], config.size());
    EXPECT_EQ(sliced[1], packet1.size());
}

TEST(Mpeg4Splitter, WindowStartingWithResyncMarkerStaysInStartCodeModeWhenSlicing)
{
    // After a cut at a resync marker the next window begins with 00 00 8x;
    // read as an H.263 picture start, the VOP start code after the packet
    // would be missed and the packet would swallow the next VOP.
    Bytes w = Cat({Mpeg4Resync(), Mpeg4Vop(), Mpeg4Vop()});
    Unit u = SplitAt(MPEG4_DEC, w, 0, false, true);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.size, Mpeg4Resync().size());
    // Without slice splitting the same window is read in short-header mode.
    EXPECT_EQ(SplitAt(MPEG4_DEC, w, 0, false, false).ret, 1u);
}

TEST(H263Splitter, SliceSplittingStillCutsAtEveryPicture)
{
    Bytes p1 = H263Picture(40);
    Bytes p2 = H263Picture(60);
    Bytes p3 = H263Picture(10);
    EXPECT_EQ(UnitSizes(H263_DEC, Cat({p1, p2, p3}), true), Sizes({p1, p2, p3}));
}

TEST(H263Splitter, UnitsRunFromPictureStartCodeToPictureStartCode)
{
    Bytes p1 = H263Picture(40);
    Bytes p2 = H263Picture(60);
    Bytes p3 = H263Picture(10);
    EXPECT_EQ(UnitSizes(H263_DEC, Cat({p1, p2, p3})), Sizes({p1, p2, p3}));
}

TEST(H263Splitter, DataDecideTheModeWhateverTheCodecTypeSays)
{
    Bytes w = Cat({H263Picture(), H263Picture()});
    for (KOLVEX_XCD_CODEC_TYPE c : {MPEG4_DEC, XVID_DEC, H263_DEC, PRVX1_DEC, PRVX4_DEC}) {
        Unit u = SplitAt(c, w, 0, true);
        EXPECT_EQ(u.ret, 0u) << c;
        EXPECT_EQ(u.size, H263Picture().size()) << c;
    }
}

TEST(H263Splitter, PictureStartCodeOnlyWithTopBitsOfThirdByte)
{
    // 00 00 84 is not a picture start code (0x84 >> 2 is 0x21).
    Bytes w = Cat({H263Picture(), Bytes{0, 0, 0x84, 0x55}, H263Picture()});
    Unit u = SplitAt(H263_DEC, w, 0, false);
    EXPECT_EQ(u.size, H263Picture().size() + 4);
}

TEST(CodecDispatch, CodecsWithoutSplitterGiveThree)
{
    Bytes w = Mpeg2Picture();
    for (KOLVEX_XCD_CODEC_TYPE c : {MPEG1_DEC, H264_ENC, MPEG4_ENC, H263_ENC, UNKNOWN_TYPE}) {
        EXPECT_EQ(SplitAt(c, w, 0, true).ret, 3u) << c;
    }
}
