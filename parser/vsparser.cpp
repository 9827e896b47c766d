// Codec dispatch, the codec table and the start-code scanner the splitters
// share (h264_splitter.cpp, mpeg_splitter.cpp, vc1_vp8_splitter.cpp).
//
// The splitters never read outside their window: a start code is taken only
// when all of its bytes, including the code byte after 00 00 01, lie in it.
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

} // namespace

// Sixteen positions are tested at once, so the scan stays near memory speed.
bool FindStartCode(const u8 *s, uint64_t from, u32 size, u32 *pos)
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

bool FindZeroPair(const u8 *s, uint64_t from, u32 size, u32 *pos)
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

namespace
{

// Every extension the front end accepts. "msv" passes the filter without a
// codec; "avi" is indexed by the AVI reader. An IVF file has a 32-byte file
// header and a 12-byte header in front of every frame, which the table's
// entries leave out; an RCV file's 8-byte frame headers stay in its entries.
const CodecEntry kCodecs[] = {
    {"m4v", MPEG4_DEC, mpeg4_parse, false, 0, 0, true},
    {"mp4", MPEG4_DEC, mpeg4_parse, false, 0, 0, true},
    {"msv", UNKNOWN_TYPE, nullptr, false, 0, 0, true},
    {"264", H264_DEC, h264_parse, false, 0, 0, true},
    {"26l", H264_DEC, h264_parse, false, 0, 0, true},
    {"prx1", PRVX1_DEC, mpeg4_parse, false, 0, 0, true},
    {"prx2", PRVX2_DEC, mpeg4_parse, false, 0, 0, true},
    {"prx3", PRVX3_DEC, mpeg4_parse, false, 0, 0, true},
    {"prx4", PRVX4_DEC, mpeg4_parse, false, 0, 0, true},
    {"xvd", XVID_DEC, mpeg4_parse, false, 0, 0, true},
    {"263", H263_DEC, mpeg4_parse, false, 0, 0, true},
    {"m2v", MPEG2_DEC, mpeg2_parse, false, 0, 0, true},
    {"mpg", MPEG2_DEC, mpeg2_parse, false, 0, 0, true},
    {"mpeg", MPEG2_DEC, mpeg2_parse, false, 0, 0, true},
    {"rcv", VC1RCV_DEC, rcv_parse, false, 32, 8, true},
    {"vc1", VC1AP_DEC, vc1_parse_advancedProfile_Frame, false, 0, 0, true},
    {"ivf", VP8_DEC, vp8_parser, false, 32, 12, false},
    {"vp8", VP8_DEC, vp8_parser, false, 32, 12, false},
    {"avi", UNKNOWN_TYPE, nullptr, true, 0, 0, true},
};

} // namespace

bool LowerExtension(const char *fileExt, char out[10])
{
    for (int i = 0; i < 10; ++i) {
        char c = fileExt[i];
        out[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        if (c == '\0') {
            return true;
        }
    }
    return false; // more than 9 characters
}

const CodecEntry *CodecByExtension(const char *fileExt)
{
    char lower[10];
    if (fileExt == nullptr || !LowerExtension(fileExt, lower)) {
        return nullptr;
    }
    for (const CodecEntry &c : kCodecs) {
        if (std::strcmp(lower, c.ext) == 0) {
            return &c;
        }
    }
    return nullptr;
}

const CodecEntry *CodecByType(KOLVEX_XCD_CODEC_TYPE codec)
{
    for (const CodecEntry &c : kCodecs) {
        if (c.codec == codec && c.split != nullptr) {
            return &c;
        }
    }
    return nullptr;
}

SplitResult VsParser(SplitterState &state, KOLVEX_XCD_CODEC_TYPE standard, uintptr_t buffer_start_addr, u32 buffer_size,
                     uintptr_t *frame_start_addr, u32 *frame_size, u8 is_first_seq_header, u8 bSliceIfDec)
{
    const CodecEntry *codec = CodecByType(standard);
    if (codec == nullptr) {
        return SplitResult::NoSplitter;
    }
    std::span<const u8> window(reinterpret_cast<const u8 *>(buffer_start_addr), buffer_size);
    SplitUnit unit;
    SplitResult ret = codec->split(state, *codec, window, &unit, is_first_seq_header == 1, bSliceIfDec == 1);
    *frame_start_addr = buffer_start_addr + unit.start;
    *frame_size = ret == SplitResult::Unit ? unit.size : buffer_size;
    return ret;
}
