// The splitters through the dispatch: one window each, the expected first unit or result.
#include "parser_test_util.h"

using namespace pt;

namespace
{

// A slice of a picture set with redundant_pic_cnt_present_flag, and such sets after slice-group
// maps of types 1, 2 and 6, and one naming a sequence set out of range.
const auto R1 = [](int fn, int count) { return Nal(0x41, "ue:0 ue:5 ue:0 4:%d 4:%d ue:%d", fn, fn * 2, count); };
const auto Groups = [](const char *map) {
    return Cat({Sps(), Nal(0x68, "ue:0 ue:0 1:0 1:0 %s ue:0 ue:0 1:0 2:0 ue:0 ue:0 ue:0 1:0 1:0 1:1", map)});
};

struct Row {
    const char *what;
    KOLVEX_XCD_CODEC_TYPE codec;
    Bytes head; // the expected unit (from `start` on), or the window when no unit is expected
    Bytes tail; // the rest of the window
    SplitResult result;
    u32 start = 0;
    bool first = false;
    bool slices = false;
    Bytes beyond = {}; // bytes in memory past the window's end, which must not be read
};
using R = SplitResult;
const Row kRows[] = {
    {"h264 picture ends at next frame_num", H264_DEC, Cat({Sets(), Idr(0, 0)}), P(0, 1, 2), R::Unit, 0, true},
    {"h264 delimiter begins the next unit", H264_DEC, Cat({Sets(), Idr(0, 0)}), Cat({Nal(9, "3:0"), P(0, 1, 2)}),
     R::Unit},
    {"h264 4-byte start code goes to the next unit", H264_DEC, Cat({Sets(), Idr(0, 0)}), Cat({{0}, P(0, 1, 2)}),
     R::Unit},
    {"h264 other idr_pic_id", H264_DEC, Cat({Sets(), Idr(0, 0)}), Idr(0, 1), R::Unit},
    {"h264 other pic_order_cnt_lsb", H264_DEC, Cat({Sets(), P(0, 1, 2)}), P(0, 1, 4), R::Unit},
    {"h264 other picture set", H264_DEC, Cat({Sets(), Pps(0, 1), P(0, 1, 2)}), P(0, 1, 2, 1), R::Unit},
    {"h264 second slice stays", H264_DEC, Cat({Sets(), P(0, 1, 2), P(10, 1, 2)}), P(0, 2, 4), R::Unit},
    {"h264 slices split", H264_DEC, Cat({Sets(), P(0, 1, 2)}), P(10, 1, 2), R::Unit, 0, false, true},
    {"h264 main profile cuts at mb 0", H264_DEC, Cat({Sets(77), P(0, 1, 2), P(10, 2, 4)}), P(0, 1, 2), R::Unit},
    {"h264 main profile idr change", H264_DEC, Cat({Sets(77), Idr(0, 0)}), P(5, 1, 2), R::Unit},
    {"h264 redundant slice never begins", H264_DEC, Cat({Sets(66, 1), R1(1, 0), R1(2, 1)}), R1(3, 0), R::Unit},
    {"h264 slice groups of type 2", H264_DEC, Cat({Groups("ue:1 ue:2 ue:3 ue:4"), R1(1, 0), R1(2, 1)}), R1(3, 0),
     R::Unit},
    {"h264 slice groups of type 1", H264_DEC, Cat({Groups("ue:1 ue:1"), R1(1, 0), R1(2, 1)}), R1(3, 0), R::Unit},
    {"h264 slice groups of type 6, one unit", H264_DEC, Cat({Groups("ue:1 ue:6 ue:0 1:1"), R1(1, 0), R1(2, 1)}),
     R1(3, 0), R::Unit},
    {"h264 slice groups of type 6", H264_DEC, Cat({Groups("ue:3 ue:6 ue:3 2:1 2:2 2:3 2:0"), R1(1, 0), R1(2, 1)}),
     R1(3, 0), R::Unit},
    {"h264 sequence set out of range: mb 0 decides", H264_DEC,
     Cat({Sps(), Nal(0x68, "ue:0 ue:40 1:0 1:0 ue:0"), P(0, 1, 2), P(9, 2, 4)}), P(0, 1, 2), R::Unit},
    {"h264 unusable widths: mb 0 decides", H264_DEC, Cat({Sps(66, 28), Pps(), P(0, 1, 2), P(30, 2, 4)}), P(0, 1, 2),
     R::Unit},
    {"h264 missing picture set: mb 0 decides", H264_DEC, Cat({Sets(), P(0, 1, 2, 300), P(9, 2, 4, 300)}),
     P(0, 1, 2, 300), R::Unit},
    {"h264 window ends in slice header", H264_DEC, Cat({Sets(), P(0, 1, 2), Hex("00 00 01 41 80")}), {}, R::UnitOpen},
    {"h264 empty unit before a 4-byte start code", H264_DEC, Cat({Sets(), P(0, 1, 2), Hex("00 00 01 0c")}),
     Cat({{0}, P(0, 2, 4)}), R::Unit},
    {"h264 no second picture", H264_DEC, Cat({Sets(), P(0, 1, 2)}), {}, R::NoUnitEnd},
    {"h264 start code without header",
     H264_DEC,
     Cat({Sets(), P(0, 1, 2), Hex("00 00 01")}),
     {},
     R::NoUnitEnd,
     0,
     false,
     false,
     Hex("09")},
    {"h264 no start code", H264_DEC, Hex("12 34 56 78"), {}, R::NoUnitEnd},
    {"mpeg2 headers unit", MPEG2_DEC, Cat({seq, gop}), Cat({pic, slice, pic}), R::Unit, 0, true},
    {"mpeg2 picture unit", MPEG2_DEC, Cat({pic, slice}), Cat({pic, slice}), R::Unit},
    {"mpeg2 sequence header ends the picture", MPEG2_DEC, Cat({pic, slice}), Cat({seq, gop, pic}), R::Unit},
    {"mpeg2 slices split", MPEG2_DEC, Cat({pic, slice}), Cat({slice2, pic}), R::Unit, 0, false, true},
    {"mpeg2 slice unit", MPEG2_DEC, slice, Cat({Hex("00 00 01 af 77"), slice}), R::Unit, 0, false, true},
    {"mpeg2 picture first in stream", MPEG2_DEC, {}, Cat({pic, slice, pic}), R::Unit, 0, true},
    {"mpeg2 sequence end stays", MPEG2_DEC, Cat({pic, slice, seq_end}), {}, R::UnitOpen},
    {"mpeg2 headers only", MPEG2_DEC, Cat({seq, gop}), {}, R::NoUnitEnd},
    {"mpeg4 headers unit", MPEG4_DEC, Cat({vos, vo, vol}), Cat({vop, vop}), R::Unit, 0, true},
    {"mpeg4 vop unit", MPEG4_DEC, vop, vop, R::Unit},
    {"mpeg4 group of vop ends the vop", MPEG4_DEC, vop, Cat({gov, vop}), R::Unit},
    {"mpeg4 headers end the vop", MPEG4_DEC, Cat({Hex("01 02"), vop}), Cat({vol, vop}), R::Unit, 2},
    {"mpeg4 resync ignored", MPEG4_DEC, Cat({vop, resync}), vop, R::Unit},
    {"mpeg4 resync splits", MPEG4_DEC, vop, Cat({resync, vop}), R::Unit, 0, false, true},
    {"mpeg4 window at resync", MPEG4_DEC, resync, vop, R::Unit, 0, false, true},
    {"mpeg4 one vop", MPEG4_DEC, vop, {}, R::UnitOpen},
    {"mpeg4 headers only", MPEG4_DEC, vol, {}, R::NoUnitEnd},
    {"h263 picture unit", H263_DEC, psc, psc2, R::Unit},
    {"h263 gob stays, slices or not", H263_DEC, Cat({psc, gob}), psc2, R::Unit, 0, true, true},
    {"h263 bytes before the picture", H263_DEC, Cat({Hex("12 34"), psc}), psc2, R::Unit, 2},
    {"h263 data decide the mode", MPEG4_DEC, psc, psc2, R::Unit, 0, true},
    {"h263 one picture", H263_DEC, Cat({psc, gob}), {}, R::UnitOpen},
    {"rcv sequence header", VC1RCV_DEC, RcvHeader(4), RcvFrame(3), R::Unit, 0, true},
    {"rcv longer extension data", VC1RCV_DEC, RcvHeader(5), RcvFrame(3), R::Unit, 0, true},
    {"rcv extension past the window", VC1RCV_DEC, Cat({Hex("02 00 00 c5 ff 00 00 00"), Bytes(40, 1)}), {}, R::UnitOpen},
    {"rcv key frame", VC1RCV_DEC, RcvFrame(20, 0x80), RcvFrame(5), R::Unit},
    {"rcv frame fills the window", VC1RCV_DEC, RcvFrame(20), {}, R::UnitOpen},
    {"rcv shorter than a frame header", VC1RCV_DEC, Hex("05 00 00 00 00 00 00"), {}, R::UnitOpen},
    {"ivf first frame", VP8_DEC, Cat({ivf, IvfFrame(5)}), IvfFrame(3), R::Unit, 44, true},
    {"ivf frame", VP8_DEC, IvfFrame(5, 0xff), IvfFrame(3), R::Unit, 12},
    {"ivf frame fills the window", VP8_DEC, IvfFrame(5), {}, R::UnitOpen},
    {"ivf frame header cut", VP8_DEC, Hex("05 00"), {}, R::UnitOpen},
    {"vc1 headers unit", VC1AP_DEC, Cat({vc_user, vc_seq, vc_entry}), Cat({vc_frame, vc_frame}), R::Unit, 5, true},
    {"vc1 frame unit", VC1AP_DEC, vc_frame, vc_frame, R::Unit},
    {"vc1 entry point ends the frame", VC1AP_DEC, vc_frame, Cat({vc_entry, vc_frame}), R::Unit},
    {"vc1 field", VC1AP_DEC, vc_frame, vc_field, R::Unit},
    {"vc1 headers stay with their frame", VC1AP_DEC, Cat({vc_seq, vc_entry, vc_frame}), vc_frame, R::Unit},
    {"vc1 user data before the frame", VC1AP_DEC, Cat({vc_user, vc_frame}), vc_frame, R::Unit, 5},
    {"vc1 end of sequence", VC1AP_DEC, Cat({vc_frame, vc_eos}), {}, R::NoUnitEnd},
    {"vc1 start code at the end",
     VC1AP_DEC,
     Cat({vc_frame, Hex("00 00 01")}),
     {},
     R::UnitOpen,
     0,
     false,
     false,
     Hex("0d")},
    {"no splitter", MPEG1_DEC, pic, pic, R::NoSplitter},
    {"unknown codec", UNKNOWN_TYPE, pic, pic, R::NoSplitter},
};

} // namespace

TEST(ParserSplitters, FirstUnitOfEveryWindow)
{
    for (const Row &r : kRows) {
        Bytes w = Cat({r.head, r.tail}), memory = Cat({w, r.beyond});
        SplitterState state;
        uintptr_t base = reinterpret_cast<uintptr_t>(memory.data()), start = 0;
        u32 size = 0xdead;
        SplitResult got = VsParser(state, r.codec, base, static_cast<u32>(w.size()), &start, &size, r.first, r.slices);
        EXPECT_EQ(got, r.result) << r.what;
        if (got == SplitResult::Unit) {
            EXPECT_EQ(start - base, r.start) << r.what;
            EXPECT_EQ(size, r.head.size() - r.start) << r.what;
        } else if (got != SplitResult::NoSplitter) {
            EXPECT_EQ(size, w.size()) << r.what;
        }
    }
}
// The sets of one window serve the next; sets with ids out of range are not kept.
TEST(ParserSplitters, H264SetsCarryFromWindowToWindow)
{
    SplitterState state, fresh;
    auto split = [](SplitterState &s, Bytes w) {
        uintptr_t start;
        u32 size;
        return VsParser(s, H264_DEC, reinterpret_cast<uintptr_t>(w.data()), static_cast<u32>(w.size()), &start, &size,
                        0, 0);
    };
    EXPECT_EQ(split(state, Cat({Sps(66, 0, 32), Pps(0, 256), P(0, 1, 2)})), SplitResult::NoUnitEnd);
    EXPECT_EQ(std::memcmp(state.h264.sps, fresh.h264.sps, sizeof fresh.h264.sps), 0);
    EXPECT_EQ(std::memcmp(state.h264.pps, fresh.h264.pps, sizeof fresh.h264.pps), 0);
    split(state, Cat({Sets(), P(0, 1, 2)}));
    EXPECT_EQ(split(state, Cat({P(0, 1, 2), P(10, 2, 4)})), SplitResult::Unit);
    EXPECT_EQ(split(fresh, Cat({P(0, 1, 2), P(10, 2, 4)})), SplitResult::NoUnitEnd);
}
