// H.264 access-unit splitter: where units end, with the parameter sets in force.
#include <gtest/gtest.h>

#include "split_helpers.h"

using namespace sb;

namespace
{

Bytes Headers(const SpsParams &sps = {}, const PpsParams &pps = {})
{
    return Cat({Sps(sps), Pps(pps)});
}

} // namespace

TEST(H264Splitter, FirstUnitEndsAtFirstZeroByteOfNextPicturesStartCode)
{
    Bytes idr = Cat({Headers(), IdrSlice(0), IdrSlice(50)});
    Bytes w = Cat({idr, PSlice(0, 1), PSlice(50, 1)});
    Unit u = SplitAt(H264_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.start, 0u);
    EXPECT_EQ(u.size, idr.size()); // the P slice's 00 00 01 starts the next unit
}

TEST(H264Splitter, AccessUnitDelimiterBeginsTheNextUnit)
{
    Bytes first = Cat({Aud(), Headers(), IdrSlice(0), IdrSlice(40)});
    Bytes second = Cat({Aud(), PSlice(0, 1), PSlice(40, 1)});
    Bytes third = Cat({Aud(), PSlice(0, 2)});
    EXPECT_EQ(UnitSizes(H264_DEC, Cat({first, second, third})),
              (std::vector<u32>{static_cast<u32>(first.size()), static_cast<u32>(second.size()),
                                static_cast<u32>(third.size())}));
}

TEST(H264Splitter, FourByteStartCodeGoesWholeToTheNextUnit)
{
    SliceParams p;
    p.frame_num = 1;
    p.four_byte_start = true;
    Bytes first = Cat({Headers(), IdrSlice(0)});
    Bytes w = Cat({first, Slice(p)});
    ASSERT_EQ(w[first.size()], 0);
    ASSERT_EQ(w[first.size() + 3], 1);
    Unit u = SplitAt(H264_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 0u);
    EXPECT_EQ(u.size, first.size());
}

TEST(H264Splitter, TwoIdrPicturesWithSameFrameNumAndOtherIdrPicIdAreTwoUnits)
{
    Bytes first = Cat({Headers(), IdrSlice(0, 0)});
    Bytes second = IdrSlice(0, 1);
    Bytes third = IdrSlice(0, 1); // same id, frame_num, first_mb 0: still the same picture
    EXPECT_EQ(UnitSizes(H264_DEC, Cat({first, second, third, PSlice(0, 1)})),
              (std::vector<u32>{static_cast<u32>(first.size()), static_cast<u32>(second.size() + third.size()),
                                static_cast<u32>(PSlice(0, 1).size())}));
}

TEST(H264Splitter, BaselinePictureBoundariesByFrameNumAndPicOrderCnt)
{
    Bytes first = Cat({Headers(), IdrSlice(0), IdrSlice(30)});
    Bytes p1 = Cat({PSlice(0, 1, 2), PSlice(30, 1, 2)});
    Bytes p1b = PSlice(0, 1, 4); // same frame_num, other pic_order_cnt_lsb
    EXPECT_EQ(
        UnitSizes(H264_DEC, Cat({first, p1, p1b})),
        (std::vector<u32>{static_cast<u32>(first.size()), static_cast<u32>(p1.size()), static_cast<u32>(p1b.size())}));
}

TEST(H264Splitter, MainProfileCutsAtFirstMbZeroAndAtIdrChange)
{
    SpsParams main;
    main.profile_idc = 77;
    Bytes first = Cat({Headers(main), IdrSlice(0), IdrSlice(20)});
    Bytes nonidr = PSlice(20, 5);                    // first_mb != 0, but IDR -> non-IDR
    Bytes next = Cat({PSlice(0, 5), PSlice(20, 7)}); // first_mb 0; frame_num not compared
    EXPECT_EQ(UnitSizes(H264_DEC, Cat({first, nonidr, next})),
              (std::vector<u32>{static_cast<u32>(first.size()), static_cast<u32>(nonidr.size()),
                                static_cast<u32>(next.size())}));
}

TEST(H264Splitter, HighProfileCutsAtFirstMbZero)
{
    SpsParams high;
    high.profile_idc = 100;
    Bytes first = Cat({Headers(high), IdrSlice(0)});
    Bytes second = Cat({PSlice(0, 1), PSlice(10, 1)});
    EXPECT_EQ(UnitSizes(H264_DEC, Cat({first, second})),
              (std::vector<u32>{static_cast<u32>(first.size()), static_cast<u32>(second.size())}));
}

TEST(H264Splitter, SliceSplittingGivesOneUnitPerSlice)
{
    Bytes a = Cat({Headers(), IdrSlice(0)});
    Bytes b = IdrSlice(33);
    Bytes c = IdrSlice(66);
    EXPECT_EQ(UnitSizes(H264_DEC, Cat({a, b, c}), true),
              (std::vector<u32>{static_cast<u32>(a.size()), static_cast<u32>(b.size()), static_cast<u32>(c.size())}));
}

TEST(H264Splitter, RedundantSliceNeverStartsAUnit)
{
    PpsParams pps;
    pps.redundant_pic_cnt_present = 1;
    SliceParams primary;
    primary.idr = true;
    primary.redundant_pic_cnt = 0;
    SliceParams redundant = primary;
    redundant.redundant_pic_cnt = 1;
    redundant.poc_lsb = 9; // would begin a picture if it were primary
    SliceParams next;
    next.frame_num = 1;
    next.redundant_pic_cnt = 0;
    Bytes first = Cat({Headers({}, pps), Slice(primary), Slice(redundant)});
    EXPECT_EQ(UnitSizes(H264_DEC, Cat({first, Slice(next)})),
              (std::vector<u32>{static_cast<u32>(first.size()), static_cast<u32>(Slice(next).size())}));
}

TEST(H264Splitter, WindowEndingInsideNextSliceHeaderGivesOne)
{
    Bytes first = Cat({Headers(), IdrSlice(0)});
    Bytes w = Cat({first, PSlice(0, 1)});
    // Only the start code and NAL header of the P slice are in the window.
    Unit u = SplitAt(H264_DEC, w, 0, false, false, first.size() + 5);
    EXPECT_EQ(u.ret, 1u);
    EXPECT_EQ(u.size, first.size() + 5); // VsParser reports the whole window
}

TEST(H264Splitter, WindowEndingBeforeAnyNewPictureGivesTwo)
{
    Bytes w = Cat({Headers(), IdrSlice(0), IdrSlice(20)});
    Unit u = SplitAt(H264_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 2u);
    EXPECT_EQ(u.size, w.size());
}

TEST(H264Splitter, StartCodeWithoutNalHeaderAtWindowEndIsNotRead)
{
    Bytes w = Cat({Headers(), IdrSlice(0), Bytes{0, 0, 1}});
    Unit u = SplitAt(H264_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 2u);
}

TEST(H264Splitter, OversizedFieldWidthsMakeTheSetUnusableButSplittingGoesOn)
{
    SpsParams bad;
    bad.log2_max_frame_num_minus4 = 28; // 32-bit frame_num: cannot be read
    Bytes first = Cat({Headers(bad), IdrSlice(0), IdrSlice(30)});
    Bytes second = PSlice(0, 1);
    // Without usable sets only first_mb_in_slice 0 begins a picture.
    EXPECT_EQ(UnitSizes(H264_DEC, Cat({first, second})),
              (std::vector<u32>{static_cast<u32>(first.size()), static_cast<u32>(second.size())}));
    EXPECT_GE(H264StoredSps(0)->MaxFrameBit, 32);
}

TEST(H264Splitter, OutOfRangeParameterSetIdsAreNotStored)
{
    Bytes good = Headers();
    Bytes w0 = Cat({good, IdrSlice(0), PSlice(0, 1)});
    SplitAt(H264_DEC, w0, 0, true);
    SPS_HEADER sps_before = *H264StoredSps(31);
    PPS_HEADER pps_before = *H264StoredPps(255);

    SpsParams sps;
    sps.id = 32;
    sps.log2_max_frame_num_minus4 = 5;
    PpsParams pps;
    pps.id = 256;
    pps.sps_id = 40;
    Bytes w = Cat({Sps(sps), Pps(pps), IdrSlice(0), PSlice(0, 1)});
    SplitAt(H264_DEC, w, 0, true);
    EXPECT_EQ(std::memcmp(&sps_before, H264StoredSps(31), sizeof(SPS_HEADER)), 0);
    EXPECT_EQ(std::memcmp(&pps_before, H264StoredPps(255), sizeof(PPS_HEADER)), 0);
    EXPECT_EQ(H264StoredSps(32), nullptr);
    EXPECT_EQ(H264StoredPps(256), nullptr);
}

TEST(H264Splitter, SliceNamingAMissingPictureParameterSetFallsBackToFirstMb)
{
    SliceParams p;
    p.pps_id = 300; // no such set
    p.idr = true;
    Bytes first = Cat({Headers(), Slice(p)});
    SliceParams q = p;
    q.first_mb = 12;
    Bytes same = Slice(q);
    SliceParams r = p;
    Bytes next = Slice(r);
    EXPECT_EQ(UnitSizes(H264_DEC, Cat({first, same, next})),
              (std::vector<u32>{static_cast<u32>(first.size() + same.size()), static_cast<u32>(next.size())}));
}

TEST(H264Splitter, EmulationPreventionBytesAreSkippedInSliceHeaders)
{
    // A 16-bit frame_num of 0 and a 16-bit POC of 1 put 00 00 00 into the
    // header; the writer inserts 03, and the reader must drop it to read the
    // same POC from slices whose headers are aligned differently.
    SpsParams sps;
    sps.log2_max_frame_num_minus4 = 12;
    sps.log2_max_poc_lsb_minus4 = 12;
    SliceParams a;
    a.frame_num_bits = 16;
    a.poc_lsb_bits = 16;
    a.poc_lsb = 1;
    SliceParams b = a;
    b.first_mb = 7;
    Bytes slice_a = Slice(a);
    bool has_epb = false;
    for (size_t i = 4; i + 2 < slice_a.size(); ++i) {
        has_epb |= slice_a[i] == 0 && slice_a[i + 1] == 0 && slice_a[i + 2] == 3;
    }
    ASSERT_TRUE(has_epb);
    Bytes second = Cat({slice_a, Slice(b)});
    SliceParams c = a;
    c.poc_lsb = 2;
    // The delimiter at the end keeps the last header away from the window end.
    EXPECT_EQ(UnitSizes(H264_DEC, Cat({Headers(sps), slice_a, Slice(b), Slice(c), Aud()})),
              (std::vector<u32>{static_cast<u32>(Headers(sps).size() + second.size()),
                                static_cast<u32>(Slice(c).size()), static_cast<u32>(Aud().size())}));
}

TEST(H264Splitter, GarbageWithoutStartCodesIsOneUnfinishedUnit)
{
    Bytes w = Filler(1000, 0x5A);
    Unit u = SplitAt(H264_DEC, w, 0, true);
    EXPECT_EQ(u.ret, 2u);
    EXPECT_EQ(u.size, 1000u);
}
