// In-memory AVI header summary and chunk walker.
#include "vsparser_avi.h"

#include <array>
#include <cstring>

namespace
{

// How a (sub)walk of the header ended.
enum class Walk {
    NotFound, // its items are used up without a strf chunk
    Found,    // a strf chunk with a known compression code
    Stop,     // the image ended, or the first strf chunk carried an unknown code: all walks end
};

// Real AVI files nest lists three or four deep (RIFF, hdrl, strl, odml); a deeper nesting is
// taken as damaged data, and bounds the recursion on hostile input.
constexpr int kMaxListDepth = 16;

struct CodecCode {
    const char *fourcc;
    KOLVEX_XCD_CODEC_TYPE standard;
};

constexpr std::array<CodecCode, 17> kCodecCodes{{
    {"MP4v", MPEG4_DEC},
    {"mp4v", MPEG4_DEC},
    {"M4S2", MPEG4_DEC},
    {"DIV4", MPEG4_DEC},
    {"div4", MPEG4_DEC},
    {"DIVX", MPEG4_DEC},
    {"divx", MPEG4_DEC},
    {"MP42", MPEG4_DEC},
    {"FMP4", MPEG4_DEC},
    {"DIV3", PRVX1_DEC},
    {"div3", PRVX1_DEC},
    {"MP2V", MPEG2_DEC},
    {"mp2v", MPEG2_DEC},
    {"H263", H263_DEC},
    {"h263", H263_DEC},
    {"H264", H264_DEC},
    {"h264", H264_DEC},
}};

unsigned long bytes_left(const RFILE *fp)
{
    return fp->offset < fp->filesize ? fp->filesize - fp->offset : 0;
}

const unsigned char *at_cursor(const RFILE *fp)
{
    return reinterpret_cast<const unsigned char *>(fp->filestart + fp->offset);
}

// Moves the cursor on by n bytes; false (cursor at the end) when the image is shorter.
bool skip_bytes(RFILE *fp, uint64_t n)
{
    if (n > bytes_left(fp)) {
        fp->offset = fp->filesize;
        return false;
    }
    fp->offset += static_cast<unsigned long>(n);
    return true;
}

bool is_list(const unsigned char *fcc)
{
    return compare_fourcc(fcc, "RIFF") || compare_fourcc(fcc, "LIST");
}

Walk walk(RFILE *fp, u32 start_position, u32 total_size, AVI_INFOs *info, int depth)
{
    uint64_t position = 0; // 64 bits: sizes from the data must not wrap the count
    while (position < total_size) {
        unsigned char fcc[4];
        if (!get_fourcc(fp, fcc))
            return Walk::Stop;
        position += 4;

        if (is_list(fcc)) {
            if (bytes_left(fp) < 8 || depth >= kMaxListDepth) {
                fp->offset = fp->filesize;
                return Walk::Stop;
            }
            const u32 declared = read_word_little(fp);
            const u32 size = declared >= 4 ? declared - 4 : 0; // the form type is part of the size
            unsigned char form[4];
            get_fourcc(fp, form);
            position += 8;
            const Walk inner = walk(fp, static_cast<u32>(start_position + position), size, info, depth + 1);
            if (inner != Walk::NotFound)
                return inner; // found, or the whole walk ends
            position += size;
        } else if (compare_fourcc(fcc, "avih")) {
            if (bytes_left(fp) < 60) {
                fp->offset = fp->filesize;
                return Walk::Stop;
            }
            // The chunk size, then the 14 words of the main header; the header is taken to be
            // 56 bytes whatever the size says.
            std::array<u32, 15> words{};
            for (u32 &w : words)
                w = read_word_little(fp);
            info->total_frames = words[5];
            info->width = words[9];
            info->height = words[10];
            position += 60;
        } else if (compare_fourcc(fcc, "strf")) {
            // size, biSize, biWidth, biHeight, biPlanes + biBitCount, biCompression
            if (bytes_left(fp) < 24) {
                fp->offset = fp->filesize;
                return Walk::Stop;
            }
            skip_bytes(fp, 20);
            get_fourcc(fp, info->fccHandler);
            info->fccHandler[4] = 0;
            for (const CodecCode &c : kCodecCodes) {
                if (compare_fourcc(info->fccHandler, c.fourcc)) {
                    info->standard = c.standard;
                    return Walk::Found;
                }
            }
            // Only the first format chunk decides; the cursor now stands inside it, so the
            // enclosing lists would walk misaligned data: stop them all.
            return Walk::Stop;
        } else {
            if (bytes_left(fp) < 4) {
                fp->offset = fp->filesize;
                return Walk::Stop;
            }
            uint64_t size = read_word_little(fp);
            position += 4;
            if (fcc[2] == 'd' || fcc[2] == 'w')
                size += size & 1; // data chunks are padded to even
            if (!skip_bytes(fp, size))
                return Walk::Stop;
            position += size;
        }
    }
    return Walk::NotFound;
}

// avi_parse, also telling whether the result belongs to a video chunk.
u32 split_window(uintptr_t buffer_start_addr, u32 buffer_size, const u8 *src_mem, uintptr_t *frame_start_addr,
                 u32 *frame_size, u32 *consumed_frame_size, bool *video_chunk)
{
    *video_chunk = false;
    uint64_t position = 0;
    while (position + 8 <= buffer_size) {
        unsigned char fcc[4];
        get_fourcc1(src_mem + position, fcc);
        position += 4;
        if (is_list(fcc)) {
            position += 8; // size and form type: every list is entered
        } else if (fcc[2] == 'd') {
            const u32 size = _read_word_little(src_mem + position);
            position += 4;
            if (size == 0)
                continue;
            const uint64_t rounded = uint64_t{size} + (size & 1);
            *frame_start_addr = buffer_start_addr + static_cast<uintptr_t>(position);
            *frame_size = size;
            // A chunk of 2^32 - 1 bytes cannot report its padded size; it never fits a window.
            *consumed_frame_size = rounded > UINT32_MAX ? UINT32_MAX : static_cast<u32>(rounded);
            position += rounded;
            *video_chunk = true;
            return position > buffer_size ? AVI_PARSE_WINDOW_END : AVI_PARSE_FOUND;
        } else {
            const u32 size = _read_word_little(src_mem + position);
            position += 4 + uint64_t{size} + (size & 1);
        }
        if (position >= buffer_size)
            return AVI_PARSE_WINDOW_END;
    }
    return AVI_PARSE_NO_ROOM;
}

} // namespace

u8 parse_avi_header(RFILE *fp, int position, u32 total_size, KOLVEX_XCD_CODEC_TYPE *standard, u32 *width, u32 *height)
{
    AVI_INFOs info{};
    info.standard = AVI_STANDARD_NONE;
    const u8 found = _parse_avi_header(fp, static_cast<u32>(position), total_size, &info);
    fp->offset = 0;
    if (found) {
        *width = info.width;
        *height = info.height;
        *standard = info.standard;
        return 1;
    }
    *standard = AVI_STANDARD_NONE;
    *width = 0;
    *height = 0;
    return 0;
}

u8 _parse_avi_header(RFILE *fp, u32 start_position, u32 total_size, AVI_INFOs *info)
{
    return walk(fp, start_position, total_size, info, 0) == Walk::Found ? 1 : 0;
}

u32 avi_parse(uintptr_t buffer_start_addr, u32 buffer_size, const u8 *src_mem, uintptr_t *frame_start_addr,
              u32 *frame_size, u32 *consumed_frame_size)
{
    bool video_chunk = false;
    return split_window(buffer_start_addr, buffer_size, src_mem, frame_start_addr, frame_size, consumed_frame_size,
                        &video_chunk);
}

u32 VsParserForAvi(KOLVEX_XCD_CODEC_TYPE /*standard*/, uintptr_t buffer_start_addr, u32 buffer_size,
                   uintptr_t *frame_start_addr, u32 *frame_size, u32 *consumed_frame_size)
{
    bool video_chunk = false;
    const u32 result = split_window(buffer_start_addr, buffer_size, reinterpret_cast<const u8 *>(buffer_start_addr),
                                    frame_start_addr, frame_size, consumed_frame_size, &video_chunk);
    if (result == AVI_PARSE_WINDOW_END && video_chunk) {
        *frame_size = static_cast<u32>(buffer_start_addr + buffer_size - *frame_start_addr);
    }
    return result;
}

unsigned int read_word_little(RFILE *fp)
{
    if (bytes_left(fp) < 4) {
        fp->offset = fp->filesize;
        return 0;
    }
    const u32 w = _read_word_little(at_cursor(fp));
    fp->offset += 4;
    return w;
}

u8 get_fourcc(RFILE *fp, unsigned char *FourCC)
{
    if (bytes_left(fp) < 4)
        return 0;
    std::memcpy(FourCC, at_cursor(fp), 4);
    fp->offset += 4;
    return 1;
}

u8 get_fourcc1(const unsigned char *buf, unsigned char *FourCC)
{
    std::memcpy(FourCC, buf, 4);
    return 1;
}

u32 _read_word_little(const unsigned char *buffer)
{
    return u32{buffer[0]} | u32{buffer[1]} << 8 | u32{buffer[2]} << 16 | u32{buffer[3]} << 24;
}

u8 compare_fourcc(const unsigned char *FourCC, const char *candidate)
{
    return std::memcmp(FourCC, candidate, 4) == 0 ? 1 : 0;
}

void Copy8(uintptr_t sa, uintptr_t da, u32 bytes)
{
    const auto *src = reinterpret_cast<const unsigned char *>(sa);
    auto *dst = reinterpret_cast<unsigned char *>(da);
    for (u32 i = 0; i < bytes; ++i)
        dst[i] = src[i];
}
