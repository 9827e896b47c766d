// Codec dispatch and the elementary-stream splitters (H.264, MPEG-2,
// MPEG-4/H.263, VC-1 RCV and advanced profile, VP8 in IVF).
//
// The splitters never read outside [src_mem, src_mem + buffer_size): a start
// code is taken only when all of its bytes, including the code byte after
// 00 00 01, lie in the window, and the H.264 bit reader reads zeros past it.
#include "vsparser.h"

#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the word scan takes the lowest byte first");

namespace
{

// Sixteen byte lanes; GCC and Clang map the operations to SSE2 or NEON.
typedef uint8_t V16 __attribute__((vector_size(16)));

inline V16 Load16(const u8 *p)
{
    V16 v;
    std::memcpy(&v, p, 16);
    return v;
}

// Lowest lane set in a comparison mask, or -1.
inline int FirstLane(V16 m)
{
    uint64_t w[2];
    std::memcpy(w, &m, 16);
    if (w[0] != 0) {
        return static_cast<int>(static_cast<unsigned>(__builtin_ctzll(w[0])) >> 3);
    }
    if (w[1] != 0) {
        return 8 + static_cast<int>(static_cast<unsigned>(__builtin_ctzll(w[1])) >> 3);
    }
    return -1;
}

// First position j >= from with 00 00 01 at j..j+2, all inside the window.
// Sixteen positions are tested at once, so the scan stays near memory speed.
inline bool FindStartCode(const u8 *s, uint64_t from, u32 size, u32 *pos)
{
    uint64_t j = from;
    for (; j + 18 <= size; j += 16) {
        V16 m = (Load16(s + j) == 0) & (Load16(s + j + 1) == 0) & (Load16(s + j + 2) == 1);
        int lane = FirstLane(reinterpret_cast<V16>(m));
        if (lane >= 0) {
            *pos = static_cast<u32>(j + static_cast<unsigned>(lane));
            return true;
        }
    }
    for (; j + 2 < size; ++j) {
        if (s[j] == 0 && s[j + 1] == 0 && s[j + 2] == 1) {
            *pos = static_cast<u32>(j);
            return true;
        }
    }
    return false;
}

// First position j >= from with 00 00 at j, j+1 and a third byte at j+2.
inline bool FindZeroPair(const u8 *s, uint64_t from, u32 size, u32 *pos)
{
    uint64_t j = from;
    for (; j + 18 <= size; j += 16) {
        V16 m = (Load16(s + j) == 0) & (Load16(s + j + 1) == 0);
        int lane = FirstLane(reinterpret_cast<V16>(m));
        if (lane >= 0) {
            *pos = static_cast<u32>(j + static_cast<unsigned>(lane));
            return true;
        }
    }
    for (; j + 2 < size; ++j) {
        if (s[j] == 0 && s[j + 1] == 0) {
            *pos = static_cast<u32>(j);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- H.264 ---

typedef struct SLICE_HEADER {
    int IdrPicture;
    int FirstMbAddr;
    int SliceType;
    int PicParaId;
    int FrameNum;
    int IdrPicId;
    int PicOrderCntLsb;
    int DeltaPicOrderCnt;
} SLICE_HEADER;

// Widths above 31 bits cannot be read; such a set is kept but unusable.
constexpr int kWidthUnusable = 32;

SPS_HEADER SpsHeader[32];
SPS_HEADER SpsCur;
PPS_HEADER PpsHeader[256];
PPS_HEADER PpsCur;
SLICE_HEADER Header;
int BaselineProfile;

// Bit reader over one window.
u8 *psrc_mem;
unsigned int idx;
unsigned int g_buffer_size;
int BsEof;
unsigned int WBuf;
int BPtr;
int EpbBuf24;
int ReadPastEnd; // a byte past the window has been fetched (read as 0)

void _GetBitInit()
{
    ReadPastEnd = 0;
    BPtr = 0;
    WBuf = 0;
    EpbBuf24 = 0xFFFFFF;
}

// Bytes past the window read as 0 and leave idx at the window end.
inline int _FetchByte()
{
    if (idx < g_buffer_size) {
        int b = psrc_mem[idx++];
        if (idx >= g_buffer_size) {
            BsEof = 1;
        }
        return b;
    }
    BsEof = 1;
    ReadPastEnd = 1;
    return 0;
}

int _GetRbspOneByte()
{
    int b = _FetchByte();
    EpbBuf24 = ((EpbBuf24 & 0xFFFF) << 8) | b;
    if (EpbBuf24 == 3) {
        // 00 00 03: emulation prevention; the byte after it is the data.
        EpbBuf24 = 0xFFFFFF;
        b = _FetchByte();
    }
    return b;
}

unsigned int _GetBits(int numBit)
{
    if (numBit <= 0) {
        return 0;
    }
    if (numBit > 31) {
        numBit = 31;
    }
    if (BPtr >= numBit) {
        BPtr -= numBit;
        return (WBuf >> BPtr) & ((1u << numBit) - 1u);
    }
    unsigned int old = BPtr > 0 ? (WBuf & ((1u << BPtr) - 1u)) : 0u;
    int need = numBit - BPtr;
    unsigned int b0 = static_cast<unsigned>(_GetRbspOneByte());
    unsigned int b1 = static_cast<unsigned>(_GetRbspOneByte());
    unsigned int b2 = static_cast<unsigned>(_GetRbspOneByte());
    unsigned int b3 = static_cast<unsigned>(_GetRbspOneByte());
    WBuf = (b0 << 24) | (b1 << 16) | (b2 << 8) | b3;
    BPtr = 32 - need;
    return (old << need) | (WBuf >> BPtr);
}

// Unsigned Exp-Golomb code number; at most 31 leading zeros are counted.
// maxVal names the element's largest legal value and is not enforced here.
u32 _GetUe(int maxVal)
{
    (void)maxVal;
    int zeros = 0;
    while (zeros < 31 && _GetBits(1) == 0) {
        ++zeros;
    }
    u32 prefix = (zeros == 0) ? 0u : ((1u << zeros) - 1u);
    return prefix + _GetBits(zeros);
}

// True once the reader has run past the window: loops whose count comes from
// the stream stop there instead of running on zeros.
inline bool _ReaderExhausted()
{
    return ReadPastEnd != 0;
}

inline int WidthFrom(u32 minus4)
{
    return minus4 > 27u ? kWidthUnusable : static_cast<int>(minus4) + 4;
}

int _ParseSps(SPS_HEADER *sps)
{
    unsigned int profile_idc = _GetBits(8);
    _GetBits(4); // constraint_set0..3
    _GetBits(4); // reserved_zero_4bits
    _GetBits(8); // level_idc
    sps->SpsId = static_cast<int>(_GetUe(31));
    if (profile_idc == 66) {
        BaselineProfile = 1;
        sps->MaxFrameBit = WidthFrom(_GetUe(12));
        sps->PicOrderCntType = static_cast<int>(_GetUe(2));
        if (sps->PicOrderCntType == 0) {
            sps->PicOrderCntBit = WidthFrom(_GetUe(12));
        } else if (sps->PicOrderCntType == 1) {
            sps->PicOrderZeroFlag = static_cast<int>(_GetBits(1));
        }
    } else {
        BaselineProfile = 0;
    }
    return 1;
}

int _ParsePps(PPS_HEADER *pps)
{
    pps->PpsId = static_cast<int>(_GetUe(255));
    pps->SpsId = static_cast<int>(_GetUe(31));
    _GetBits(1); // entropy_coding_mode_flag
    pps->PicOrderPrsFlag = static_cast<int>(_GetBits(1));
    u32 num_slice_groups_minus1 = _GetUe(7);
    if (num_slice_groups_minus1 > 0) {
        u32 map_type = _GetUe(6);
        if (map_type == 0) {
            pps->interleaved = 1;
            for (uint64_t g = 0; g <= num_slice_groups_minus1 && !_ReaderExhausted(); ++g) {
                _GetUe(-1); // run_length_minus1
            }
        } else if (map_type == 2) {
            for (uint64_t g = 0; g < num_slice_groups_minus1 && !_ReaderExhausted(); ++g) {
                _GetUe(-1); // top_left
                _GetUe(-1); // bottom_right
            }
        } else if (map_type >= 3 && map_type <= 5) {
            _GetBits(1); // slice_group_change_direction_flag
            _GetUe(-1);  // slice_group_change_rate_minus1
        } else if (map_type == 6) {
            u32 pic_size_in_map_units_minus1 = _GetUe(-1);
            int bits = num_slice_groups_minus1 == 1 ? 1 : (num_slice_groups_minus1 <= 3 ? 2 : 3);
            for (uint64_t u = 0; u <= pic_size_in_map_units_minus1 && !_ReaderExhausted(); ++u) {
                _GetBits(bits); // slice_group_id
            }
        }
    }
    _GetUe(31);  // num_ref_idx_l0_active_minus1
    _GetUe(31);  // num_ref_idx_l1_active_minus1
    _GetBits(1); // weighted_pred_flag
    _GetBits(2); // weighted_bipred_idc
    _GetUe(-1);  // pic_init_qp_minus26
    _GetUe(-1);  // pic_init_qs_minus26
    _GetUe(-1);  // chroma_qp_index_offset
    _GetBits(1); // deblocking_filter_control_present_flag
    _GetBits(1); // constrained_intra_pred_flag
    pps->RedundantPicCntPrsFlag = static_cast<int>(_GetBits(1));
    return 1;
}

// The stored sets a slice with this pps id uses, or false when either is
// missing (id out of range) or unusable (field widths above 31 bits).
bool SetsFor(int pic_parameter_set_id, const PPS_HEADER **pps, const SPS_HEADER **sps)
{
    if (pic_parameter_set_id < 0 || pic_parameter_set_id > 255) {
        return false;
    }
    const PPS_HEADER *p = &PpsHeader[pic_parameter_set_id];
    if (p->SpsId < 0 || p->SpsId > 31) {
        return false;
    }
    const SPS_HEADER *s = &SpsHeader[p->SpsId];
    if (s->MaxFrameBit < 0 || s->MaxFrameBit >= kWidthUnusable || s->PicOrderCntBit < 0 ||
        s->PicOrderCntBit >= kWidthUnusable) {
        return false;
    }
    *pps = p;
    *sps = s;
    return true;
}

int _ParseFirstSlice(SLICE_HEADER *h)
{
    h->FirstMbAddr = static_cast<int>(_GetUe(-1));
    if (BaselineProfile == 0) {
        return 1;
    }
    h->SliceType = static_cast<int>(_GetUe(9));
    h->PicParaId = static_cast<int>(_GetUe(255));
    const PPS_HEADER *pps;
    const SPS_HEADER *sps;
    if (!SetsFor(h->PicParaId, &pps, &sps)) {
        return 1;
    }
    h->FrameNum = static_cast<int>(_GetBits(sps->MaxFrameBit));
    if (h->IdrPicture == 1) {
        h->IdrPicId = static_cast<int>(_GetUe(65535));
    }
    if (sps->PicOrderCntType == 0) {
        h->PicOrderCntLsb = static_cast<int>(_GetBits(sps->PicOrderCntBit));
    }
    if (sps->PicOrderCntType == 1 && sps->PicOrderZeroFlag == 0) {
        h->DeltaPicOrderCnt = static_cast<int>(_GetUe(-1));
    }
    return 1;
}

// 1 when the slice at the reader begins a new picture.
int _CheckFirstSlice(SLICE_HEADER *h)
{
    u32 first_mb_in_slice = _GetUe(-1);
    if (BaselineProfile == 0) {
        return first_mb_in_slice == 0 ? 1 : 0;
    }
    int result = 0;
    _GetUe(9); // slice_type
    int pic_parameter_set_id = static_cast<int>(_GetUe(255));
    if (pic_parameter_set_id != h->PicParaId) {
        result = 1;
    }
    const PPS_HEADER *pps;
    const SPS_HEADER *sps;
    if (!SetsFor(h->PicParaId, &pps, &sps)) {
        // Without usable sets only the first macroblock address can tell.
        return (result == 1 || first_mb_in_slice == 0) ? 1 : 0;
    }
    if (static_cast<int>(_GetBits(sps->MaxFrameBit)) != h->FrameNum) {
        result = 1;
    }
    if (h->IdrPicture == 1 && static_cast<int>(_GetUe(65535)) != h->IdrPicId) {
        result = 1;
    }
    if (sps->PicOrderCntType == 0 && static_cast<int>(_GetBits(sps->PicOrderCntBit)) != h->PicOrderCntLsb) {
        result = 1;
    }
    if (sps->PicOrderCntType == 1 && sps->PicOrderZeroFlag == 0 &&
        static_cast<int>(_GetUe(-1)) != h->DeltaPicOrderCnt) {
        result = 1;
    }
    if (pps->RedundantPicCntPrsFlag == 1 && _GetUe(127) != 0) {
        result = 0; // a redundant slice never begins a picture
    }
    return result;
}

} // namespace

const SPS_HEADER *H264StoredSps(int id)
{
    return (id >= 0 && id < 32) ? &SpsHeader[id] : nullptr;
}

const PPS_HEADER *H264StoredPps(int id)
{
    return (id >= 0 && id < 256) ? &PpsHeader[id] : nullptr;
}

u32 h264_parse(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size,
               u8 is_first_seq_header, u8 bSliceIfDec)
{
    (void)is_first_seq_header;
    idx = 0;
    BsEof = 0;
    g_buffer_size = buffer_size;
    psrc_mem = src_mem;
    *frame_start_addr = buffer_start_addr;

    int first_slice = 1;
    uint64_t scan_from = 0; // first position examined since the last NAL header
    u32 zero_count = 0;     // zero run in front of the last start code
    u32 j;
    while (FindStartCode(src_mem, scan_from, buffer_size, &j)) {
        if (static_cast<uint64_t>(j) + 3 >= buffer_size) {
            break; // no NAL header byte in the window
        }
        // Zero run ending at j over the examined positions; when it reaches
        // back to the last skipped NAL header, the earlier run continues it.
        u32 run = 0;
        while (j - run >= scan_from && src_mem[j - run] == 0) {
            ++run;
            if (run > j) {
                break;
            }
        }
        zero_count = (run == j - scan_from + 1) ? zero_count + run : run;
        u32 boundary = j + 1 - zero_count;
        int type = src_mem[j + 3] & 0x1F;

        if (type >= 6 && type <= 9) {
            if (first_slice == 0) {
                *frame_size = boundary;
                return 0;
            }
            if (type == 7 || type == 8) {
                // A parameter set is read within its own NAL unit: loops whose
                // counts come from corrupt data then cost no more than the
                // unit's bytes, however many such units the window holds.
                u32 nal_end;
                if (!FindStartCode(src_mem, static_cast<uint64_t>(j) + 4, buffer_size, &nal_end)) {
                    nal_end = buffer_size;
                }
                g_buffer_size = nal_end;
                idx = j + 4;
                _GetBitInit();
                if (type == 7) {
                    _ParseSps(&SpsCur);
                    if (SpsCur.SpsId >= 0 && SpsCur.SpsId < 32) {
                        SpsHeader[SpsCur.SpsId] = SpsCur;
                    }
                } else {
                    _ParsePps(&PpsCur);
                    if (PpsCur.PpsId >= 0 && PpsCur.PpsId < 256) {
                        PpsHeader[PpsCur.PpsId] = PpsCur;
                    }
                }
                g_buffer_size = buffer_size;
                BsEof = 0;
            }
        } else if (type == 1 || type == 5) {
            _GetBitInit();
            idx = j + 4;
            int idr = (type == 5) ? 1 : 0;
            if (first_slice == 1) {
                Header.IdrPicture = idr;
                _ParseFirstSlice(&Header);
                first_slice = 0;
            } else if (_CheckFirstSlice(&Header) == 1 || Header.IdrPicture != idr || bSliceIfDec == 1) {
                if (BsEof) {
                    return 1; // the slice header ran into the window end
                }
                *frame_size = boundary;
                return 0;
            }
        }
        scan_from = static_cast<uint64_t>(j) + 4;
    }
    return 2;
}

// --------------------------------------------------------------- MPEG-2 ---

u32 mpeg2_parse(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size,
                u8 is_first_seq_header, u8 bSliceIfDec)
{
    // A unit whose start is not met (a picture first in the stream) starts
    // at the window start.
    *frame_start_addr = buffer_start_addr;
    u32 pictures = 0, headers = 0, slices = 0;
    u32 j;
    uint64_t i = 0;
    while (FindStartCode(src_mem, i, buffer_size, &j)) {
        if (static_cast<uint64_t>(j) + 3 >= buffer_size) {
            break;
        }
        u8 code = src_mem[j + 3];
        if (code == 0xB3 || code == 0xB8) {
            ++headers;
            if (pictures == 0 && headers == 1) {
                *frame_start_addr = buffer_start_addr + j;
            }
            if (pictures == 1) {
                pictures = 2;
            }
            if (slices == 1) {
                pictures = 2;
            }
        } else if (code == 0x00) {
            if (is_first_seq_header == 1) {
                *frame_size = static_cast<u32>(buffer_start_addr + j - *frame_start_addr);
                return 0;
            }
            ++pictures;
            if (pictures == 1 && slices == 0 && headers == 0) {
                *frame_start_addr = buffer_start_addr + j;
            }
            if (slices == 1) {
                ++pictures;
            }
        } else if (code >= 0x01 && code <= 0xAF && bSliceIfDec == 1) {
            ++slices;
            if (slices == 1 && pictures == 0 && headers == 0) {
                *frame_start_addr = buffer_start_addr + j;
            }
            if (slices == 2) {
                pictures = 2;
            }
        }
        if (pictures >= 2) {
            *frame_size = static_cast<u32>(buffer_start_addr + j - *frame_start_addr);
            return 0;
        }
        i = static_cast<uint64_t>(j) + 1;
    }
    return pictures == 1 ? 1 : 2;
}

// ---------------------------------------------------------- MPEG-4/H.263 ---

u32 mpeg4_parse(KOLVEX_XCD_CODEC_TYPE standard, uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem,
                uintptr_t *frame_start_addr, u32 *frame_size, u8 is_first_seq_header, u8 bSliceIfDec)
{
    (void)standard; // the data decide between start codes and short headers
    *frame_start_addr = buffer_start_addr;
    // Mode from the first zero pair: 00 00 01 means start codes, anything
    // else a short video header. With slice splitting a window may begin at
    // a resync marker that ended the previous unit; that window stays in
    // start-code mode, or its VOP start codes would go unseen.
    u32 first_pair;
    bool short_header = FindZeroPair(src_mem, 0, buffer_size, &first_pair) && src_mem[first_pair + 2] != 0x01 &&
                        !(bSliceIfDec == 1 && first_pair == 0 && (src_mem[2] & 0x80) != 0);
    u32 pictures = 0, headers = 0;
    u32 j;
    uint64_t i = 0;
    auto end_at = [&](u32 pos) {
        *frame_size = static_cast<u32>(buffer_start_addr + pos - *frame_start_addr);
        return 0u;
    };
    // A short-header picture or a video packet begins at pos: true when it
    // is the second one, which ends the unit.
    auto packet_begins = [&](u32 pos) {
        ++pictures;
        if (pictures == 1) {
            *frame_start_addr = buffer_start_addr + pos;
        }
        return pictures == 2;
    };

    if (short_header) {
        while (FindZeroPair(src_mem, i, buffer_size, &j)) {
            if ((src_mem[j + 2] >> 2) == 0x20 && packet_begins(j)) {
                return end_at(j);
            }
            i = static_cast<uint64_t>(j) + 1;
        }
        return pictures == 1 ? 1 : 2;
    }

    while (FindZeroPair(src_mem, i, buffer_size, &j)) {
        u8 third = src_mem[j + 2];
        if (third == 0x01) {
            if (static_cast<uint64_t>(j) + 3 < buffer_size) {
                u8 code = src_mem[j + 3];
                if (code == 0xB0 || code == 0xB5 || code == 0xB2 || code == 0xB3 || code <= 0x2F) {
                    ++headers;
                    if (pictures == 0 && headers == 1) {
                        *frame_start_addr = buffer_start_addr + j;
                    }
                    if (pictures == 1) {
                        pictures = 2;
                    }
                } else if (code == 0xB6) {
                    if (is_first_seq_header == 1) {
                        return end_at(j);
                    }
                    ++pictures;
                    if (pictures == 1 && headers == 0) {
                        *frame_start_addr = buffer_start_addr + j;
                    }
                }
                if (pictures >= 2) {
                    return end_at(j);
                }
            }
        } else if (bSliceIfDec == 1 && (third & 0x80) != 0 && packet_begins(j)) {
            return end_at(j); // resync marker: the next video packet
        }
        i = static_cast<uint64_t>(j) + 1;
    }
    return pictures == 1 ? 1 : 2;
}

// ---------------------------------------------------------------- VC-1 ---

u32 rcv_parse(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size)
{
    *frame_start_addr = buffer_start_addr;
    uint64_t size;
    if (buffer_size < 8) {
        // Not even a length field: a truncated unit.
        *frame_size = buffer_size;
        return 1;
    }
    if (src_mem[3] == 0xC5) {
        // Sequence header: 32 fixed bytes around the extension data, whose
        // length (bytes 4 to 7) is usually 4 but not always.
        uint64_t ext = static_cast<uint64_t>(src_mem[4]) | (static_cast<uint64_t>(src_mem[5]) << 8) |
                       (static_cast<uint64_t>(src_mem[6]) << 16) | (static_cast<uint64_t>(src_mem[7]) << 24);
        size = 32 + ext;
    } else {
        size = 8 + (static_cast<uint64_t>(src_mem[0]) | (static_cast<uint64_t>(src_mem[1]) << 8) |
                    (static_cast<uint64_t>(src_mem[2]) << 16));
    }
    if (size >= buffer_size) {
        *frame_size = buffer_size;
        return 1;
    }
    *frame_size = static_cast<u32>(size);
    return 0;
}

u32 vp8_parser(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size,
               u8 is_first_seq_header)
{
    (void)is_first_seq_header;
    u32 h = (buffer_size >= 4 && std::memcmp(src_mem, "DKIF", 4) == 0) ? 32u : 0u;
    *frame_start_addr = buffer_start_addr + h + 12;
    if (static_cast<uint64_t>(h) + 3 > buffer_size) {
        *frame_size = 0;
        return 1;
    }
    u32 n = static_cast<u32>(src_mem[h]) | (static_cast<u32>(src_mem[h + 1]) << 8) |
            (static_cast<u32>(src_mem[h + 2]) << 16);
    *frame_size = n;
    return (static_cast<uint64_t>(h) + 12 + n >= buffer_size) ? 1u : 0u;
}

u32 vc1_parse_advancedProfile_Frame(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem,
                                    uintptr_t *frame_start_addr, u32 *frame_size, u8 is_first_seq_header)
{
    // The unit runs from its first frame, field or header start code to the
    // start code that ends it; bytes in front of it are not counted, so start
    // and size always describe the same bytes.
    *frame_start_addr = buffer_start_addr;
    int seq = 0, entry = 0, frame = 0;
    u8 prev = 0;
    u32 p;
    uint64_t from = 0;
    auto end_at = [&](u32 pos, u8 code) {
        *frame_size = static_cast<u32>(buffer_start_addr + pos - *frame_start_addr);
        return code == 0x0A ? 2u : 0u;
    };
    while (FindStartCode(src_mem, from, buffer_size, &p)) {
        if (static_cast<uint64_t>(p) + 3 >= buffer_size) {
            break;
        }
        u8 code = src_mem[p + 3];
        if (is_first_seq_header == 1) {
            if (entry) {
                return end_at(p, code);
            }
            if (code == 0x0F) {
                *frame_start_addr = buffer_start_addr + p;
                seq = 1;
            } else if (code == 0x0E && seq) {
                entry = 1;
            }
        } else if (code == 0x0F || code == 0x0E || code == 0x0A) {
            if (prev == 0x0B || prev == 0x0C || prev == 0x0D) {
                return end_at(p, code);
            }
            if (code == 0x0F) {
                seq = 1;
            }
            if (prev != 0x0F) {
                *frame_start_addr = buffer_start_addr + p;
            }
            prev = seq ? 0x0F : code;
        } else if (code == 0x0C || code == 0x0D) {
            if (prev != 0x0F && prev != 0x0E) {
                if (frame) {
                    return end_at(p, code);
                }
                *frame_start_addr = buffer_start_addr + p;
            }
            frame = 1;
            prev = code;
        }
        from = static_cast<uint64_t>(p) + 1;
    }
    return 1;
}

u32 vc1_parse(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size,
              u8 rcvFlag, u8 is_first_seq_header)
{
    if (rcvFlag) {
        return rcv_parse(buffer_start_addr, buffer_size, src_mem, frame_start_addr, frame_size);
    }
    return vc1_parse_advancedProfile_Frame(buffer_start_addr, buffer_size, src_mem, frame_start_addr, frame_size,
                                           is_first_seq_header);
}

u8 SkippedPictureCheck(u8 *src_mem, u32 index)
{
    return (src_mem[index] & 0xF0) == 0xF0 ? 1 : 0;
}

// ------------------------------------------------------------- dispatch ---

u32 VsParser(KOLVEX_XCD_CODEC_TYPE standard, uintptr_t buffer_start_addr, u32 buffer_size, uintptr_t *frame_start_addr,
             u32 *frame_size, u8 bIsRcvFlag, u8 is_first_seq_header, u8 bSliceIfDec)
{
    (void)bIsRcvFlag;
    u8 *src_mem = reinterpret_cast<u8 *>(buffer_start_addr);
    u32 ret;
    switch (standard) {
    case H264_DEC:
        ret = h264_parse(buffer_start_addr, buffer_size, src_mem, frame_start_addr, frame_size, is_first_seq_header,
                         bSliceIfDec);
        break;
    case VC1AP_DEC:
        ret = vc1_parse_advancedProfile_Frame(buffer_start_addr, buffer_size, src_mem, frame_start_addr, frame_size,
                                              is_first_seq_header);
        break;
    case MPEG4_DEC:
    case XVID_DEC:
    case H263_DEC:
    case PRVX1_DEC:
    case PRVX2_DEC:
    case PRVX3_DEC:
    case PRVX4_DEC:
        ret = mpeg4_parse(standard, buffer_start_addr, buffer_size, src_mem, frame_start_addr, frame_size,
                          is_first_seq_header, bSliceIfDec);
        break;
    case MPEG2_DEC:
        ret = mpeg2_parse(buffer_start_addr, buffer_size, src_mem, frame_start_addr, frame_size, is_first_seq_header,
                          bSliceIfDec);
        break;
    case VC1RCV_DEC: ret = rcv_parse(buffer_start_addr, buffer_size, src_mem, frame_start_addr, frame_size); break;
    case VP8_DEC:
        ret = vp8_parser(buffer_start_addr, buffer_size, src_mem, frame_start_addr, frame_size, is_first_seq_header);
        break;
    default: return 3;
    }
    if (ret == 1 || ret == 2) {
        *frame_size = buffer_size;
    }
    return ret;
}
