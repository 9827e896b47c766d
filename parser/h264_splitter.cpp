// H.264 access-unit splitter: a unit is one picture's NAL units with the
// parameter sets and other non-slice units in front of its first slice, or
// one slice when slices are split. The end of a unit is found by looking at
// the first slice header that cannot belong to it. The bit reader reads zeros
// past its window.
#include "vsparser.h"

namespace
{

// Widths above 31 bits cannot be read; such a set is kept but unusable.
constexpr int kWidthUnusable = 32;

// Bit reader over part of one window, with emulation prevention removed.
struct BitReader {
    const u8 *src;
    u32 idx; // next byte to fetch
    u32 end; // bytes at and past end read as 0
    int eof = 0;
    unsigned int wbuf = 0;
    int bptr = 0;
    int epb24 = 0xFFFFFF;
    int read_past_end = 0; // a byte past the window has been fetched

    BitReader(const u8 *s, u32 from, u32 until) : src(s), idx(from), end(until) {}

    int FetchByte()
    {
        if (idx < end) {
            int b = src[idx++];
            if (idx >= end) {
                eof = 1;
            }
            return b;
        }
        eof = 1;
        read_past_end = 1;
        return 0;
    }

    int RbspByte()
    {
        int b = FetchByte();
        epb24 = ((epb24 & 0xFFFF) << 8) | b;
        if (epb24 == 3) {
            // 00 00 03: emulation prevention; the byte after it is the data.
            epb24 = 0xFFFFFF;
            b = FetchByte();
        }
        return b;
    }

    unsigned int Bits(int numBit)
    {
        if (numBit <= 0) {
            return 0;
        }
        if (numBit > 31) {
            numBit = 31;
        }
        if (bptr >= numBit) {
            bptr -= numBit;
            return (wbuf >> bptr) & ((1u << numBit) - 1u);
        }
        unsigned int old = bptr > 0 ? (wbuf & ((1u << bptr) - 1u)) : 0u;
        int need = numBit - bptr;
        unsigned int b0 = static_cast<unsigned>(RbspByte());
        unsigned int b1 = static_cast<unsigned>(RbspByte());
        unsigned int b2 = static_cast<unsigned>(RbspByte());
        unsigned int b3 = static_cast<unsigned>(RbspByte());
        wbuf = (b0 << 24) | (b1 << 16) | (b2 << 8) | b3;
        bptr = 32 - need;
        return (old << need) | (wbuf >> bptr);
    }

    // Unsigned Exp-Golomb code number; at most 31 leading zeros are counted.
    u32 Ue()
    {
        int zeros = 0;
        while (zeros < 31 && Bits(1) == 0) {
            ++zeros;
        }
        u32 prefix = (zeros == 0) ? 0u : ((1u << zeros) - 1u);
        return prefix + Bits(zeros);
    }

    // True once the reader has run past the window: loops whose count comes
    // from the stream stop there instead of running on zeros.
    bool Exhausted() const { return read_past_end != 0; }
};

inline int WidthFrom(u32 minus4)
{
    return minus4 > 27u ? kWidthUnusable : static_cast<int>(minus4) + 4;
}

void ParseSps(BitReader &r, H264State &st, SPS_HEADER *sps)
{
    unsigned int profile_idc = r.Bits(8);
    r.Bits(4); // constraint_set0..3
    r.Bits(4); // reserved_zero_4bits
    r.Bits(8); // level_idc
    sps->SpsId = static_cast<int>(r.Ue());
    if (profile_idc == 66) {
        st.baseline = 1;
        sps->MaxFrameBit = WidthFrom(r.Ue());
        sps->PicOrderCntType = static_cast<int>(r.Ue());
        if (sps->PicOrderCntType == 0) {
            sps->PicOrderCntBit = WidthFrom(r.Ue());
        } else if (sps->PicOrderCntType == 1) {
            sps->PicOrderZeroFlag = static_cast<int>(r.Bits(1));
        }
    } else {
        st.baseline = 0;
    }
}

void ParsePps(BitReader &r, PPS_HEADER *pps)
{
    pps->PpsId = static_cast<int>(r.Ue());
    pps->SpsId = static_cast<int>(r.Ue());
    r.Bits(1); // entropy_coding_mode_flag
    pps->PicOrderPrsFlag = static_cast<int>(r.Bits(1));
    u32 num_slice_groups_minus1 = r.Ue();
    if (num_slice_groups_minus1 > 0) {
        u32 map_type = r.Ue();
        if (map_type == 0) {
            pps->interleaved = 1;
            for (uint64_t g = 0; g <= num_slice_groups_minus1 && !r.Exhausted(); ++g) {
                r.Ue(); // run_length_minus1
            }
        } else if (map_type == 2) {
            for (uint64_t g = 0; g < num_slice_groups_minus1 && !r.Exhausted(); ++g) {
                r.Ue(); // top_left
                r.Ue(); // bottom_right
            }
        } else if (map_type >= 3 && map_type <= 5) {
            r.Bits(1); // slice_group_change_direction_flag
            r.Ue();    // slice_group_change_rate_minus1
        } else if (map_type == 6) {
            u32 pic_size_in_map_units_minus1 = r.Ue();
            int bits = num_slice_groups_minus1 == 1 ? 1 : (num_slice_groups_minus1 <= 3 ? 2 : 3);
            for (uint64_t u = 0; u <= pic_size_in_map_units_minus1 && !r.Exhausted(); ++u) {
                r.Bits(bits); // slice_group_id
            }
        }
    }
    r.Ue();    // num_ref_idx_l0_active_minus1
    r.Ue();    // num_ref_idx_l1_active_minus1
    r.Bits(1); // weighted_pred_flag
    r.Bits(2); // weighted_bipred_idc
    r.Ue();    // pic_init_qp_minus26
    r.Ue();    // pic_init_qs_minus26
    r.Ue();    // chroma_qp_index_offset
    r.Bits(1); // deblocking_filter_control_present_flag
    r.Bits(1); // constrained_intra_pred_flag
    pps->RedundantPicCntPrsFlag = static_cast<int>(r.Bits(1));
}

// The stored sets a slice with this pps id uses, or false when either is
// missing (id out of range) or unusable (field widths above 31 bits).
bool SetsFor(const H264State &st, int pic_parameter_set_id, const PPS_HEADER **pps, const SPS_HEADER **sps)
{
    if (pic_parameter_set_id < 0 || pic_parameter_set_id > 255) {
        return false;
    }
    const PPS_HEADER *p = &st.pps[pic_parameter_set_id];
    if (p->SpsId < 0 || p->SpsId > 31) {
        return false;
    }
    const SPS_HEADER *s = &st.sps[p->SpsId];
    if (s->MaxFrameBit < 0 || s->MaxFrameBit >= kWidthUnusable || s->PicOrderCntBit < 0 ||
        s->PicOrderCntBit >= kWidthUnusable) {
        return false;
    }
    *pps = p;
    *sps = s;
    return true;
}

void ParseFirstSlice(BitReader &r, const H264State &st, SLICE_HEADER *h)
{
    h->FirstMbAddr = static_cast<int>(r.Ue());
    if (st.baseline == 0) {
        return;
    }
    h->SliceType = static_cast<int>(r.Ue());
    h->PicParaId = static_cast<int>(r.Ue());
    const PPS_HEADER *pps;
    const SPS_HEADER *sps;
    if (!SetsFor(st, h->PicParaId, &pps, &sps)) {
        return;
    }
    h->FrameNum = static_cast<int>(r.Bits(sps->MaxFrameBit));
    if (h->IdrPicture == 1) {
        h->IdrPicId = static_cast<int>(r.Ue());
    }
    if (sps->PicOrderCntType == 0) {
        h->PicOrderCntLsb = static_cast<int>(r.Bits(sps->PicOrderCntBit));
    }
    if (sps->PicOrderCntType == 1 && sps->PicOrderZeroFlag == 0) {
        h->DeltaPicOrderCnt = static_cast<int>(r.Ue());
    }
}

// True when the slice at the reader begins a new picture.
bool BeginsPicture(BitReader &r, const H264State &st, const SLICE_HEADER *h)
{
    u32 first_mb_in_slice = r.Ue();
    if (st.baseline == 0) {
        return first_mb_in_slice == 0;
    }
    bool result = false;
    r.Ue(); // slice_type
    int pic_parameter_set_id = static_cast<int>(r.Ue());
    if (pic_parameter_set_id != h->PicParaId) {
        result = true;
    }
    const PPS_HEADER *pps;
    const SPS_HEADER *sps;
    if (!SetsFor(st, h->PicParaId, &pps, &sps)) {
        // Without usable sets only the first macroblock address can tell.
        return result || first_mb_in_slice == 0;
    }
    if (static_cast<int>(r.Bits(sps->MaxFrameBit)) != h->FrameNum) {
        result = true;
    }
    if (h->IdrPicture == 1 && static_cast<int>(r.Ue()) != h->IdrPicId) {
        result = true;
    }
    if (sps->PicOrderCntType == 0 && static_cast<int>(r.Bits(sps->PicOrderCntBit)) != h->PicOrderCntLsb) {
        result = true;
    }
    if (sps->PicOrderCntType == 1 && sps->PicOrderZeroFlag == 0 && static_cast<int>(r.Ue()) != h->DeltaPicOrderCnt) {
        result = true;
    }
    if (pps->RedundantPicCntPrsFlag == 1 && r.Ue() != 0) {
        result = false; // a redundant slice never begins a picture
    }
    return result;
}

} // namespace

SplitResult h264_parse(SplitterState &state, const CodecEntry & /*codec*/, std::span<const u8> window, SplitUnit *unit,
                       bool /*stream_start*/, bool slices)
{
    H264State &st = state.h264;
    const u8 *src_mem = window.data();
    const u32 buffer_size = static_cast<u32>(window.size());
    unit->start = 0;

    bool first_slice = true;
    uint64_t scan_from = 0;         // first position examined since the last NAL header
    bool slice_read_to_end = false; // a slice header of this unit reached the window end
    u32 j;
    while (FindStartCode(src_mem, scan_from, buffer_size, &j)) {
        if (static_cast<uint64_t>(j) + 3 >= buffer_size) {
            break; // no NAL header byte in the window
        }
        // Zero run ending at j over the examined positions: those zeros go with
        // the start code. The header byte in front of them ends any earlier run.
        u32 run = 0;
        while (j - run >= scan_from && src_mem[j - run] == 0) {
            ++run;
            if (run > j) {
                break;
            }
        }
        u32 boundary = j + 1 - run;
        int type = src_mem[j + 3] & 0x1F;

        if (type >= 6 && type <= 9) {
            if (!first_slice) {
                unit->size = boundary;
                return SplitResult::Unit;
            }
            if (type == 7 || type == 8) {
                // A parameter set is read within its own NAL unit: loops whose
                // counts come from corrupt data then cost no more than the
                // unit's bytes, however many such units the window holds.
                u32 nal_end;
                if (!FindStartCode(src_mem, static_cast<uint64_t>(j) + 4, buffer_size, &nal_end)) {
                    nal_end = buffer_size;
                }
                BitReader r(src_mem, j + 4, nal_end);
                if (type == 7) {
                    ParseSps(r, st, &st.sps_cur);
                    if (st.sps_cur.SpsId >= 0 && st.sps_cur.SpsId < 32) {
                        st.sps[st.sps_cur.SpsId] = st.sps_cur;
                    }
                } else {
                    ParsePps(r, &st.pps_cur);
                    if (st.pps_cur.PpsId >= 0 && st.pps_cur.PpsId < 256) {
                        st.pps[st.pps_cur.PpsId] = st.pps_cur;
                    }
                }
            }
        } else if (type == 1 || type == 5) {
            BitReader r(src_mem, j + 4, buffer_size);
            int idr = (type == 5) ? 1 : 0;
            if (first_slice) {
                st.first_slice.IdrPicture = idr;
                ParseFirstSlice(r, st, &st.first_slice);
                first_slice = false;
                slice_read_to_end = r.eof != 0;
            } else if (BeginsPicture(r, st, &st.first_slice) || st.first_slice.IdrPicture != idr || slices) {
                if (slice_read_to_end || r.eof) {
                    return SplitResult::UnitOpen; // the slice header ran into the window end
                }
                unit->size = boundary;
                return SplitResult::Unit;
            } else {
                slice_read_to_end = slice_read_to_end || r.eof;
            }
        }
        scan_from = static_cast<uint64_t>(j) + 4;
    }
    return SplitResult::NoUnitEnd;
}
