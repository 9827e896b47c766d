// In-memory AVI header summary and chunk walker.
//
// parse_avi_header walks the RIFF structure of an AVI image held in memory up to the first
// stream format chunk and reports the codec, width and height; VsParserForAvi / avi_parse
// report the first video data chunk of a window of AVI data by address and size.
// Nothing here reads outside the image or window, whatever the sizes in the data claim.
#pragma once

#include <cstdint>

#include "KolvexXcdParser.h"

typedef uint32_t u32;
typedef uint8_t u8;

// A read cursor over a file image in memory.
typedef struct _RAMFILE {
    uintptr_t filestart;    // address of the image's first byte
    unsigned long offset;   // offset of the next byte to read
    unsigned long filesize; // size of the image in bytes
} RFILE;

// Header summary; standard is AVI_STANDARD_NONE (0xFF) while no known compression code was seen.
typedef struct __AVI_INFOs {
    KOLVEX_XCD_CODEC_TYPE standard;
    unsigned char fccHandler[5];
    u32 total_frames;
    u32 width;
    u32 height;
} AVI_INFOs;

// Not an enumerator: the walk never reads it back from a record, callers should test the
// result instead.
inline const KOLVEX_XCD_CODEC_TYPE AVI_STANDARD_NONE = static_cast<KOLVEX_XCD_CODEC_TYPE>(0xFF);

// Result codes of avi_parse / VsParserForAvi.
enum : u32 {
    AVI_PARSE_FOUND = 0,      // a video chunk starts inside the window
    AVI_PARSE_WINDOW_END = 1, // the window ended inside an item
    AVI_PARSE_NO_ROOM = 2,    // fewer than 8 bytes left
};

// Walks the image from the cursor over total_size bytes; 1 when a known compression code
// was found (standard, width, height set), else 0 with standard 0xFF and 0 x 0.
// The cursor is set back to offset 0 afterwards.
u8 parse_avi_header(RFILE *fp, int position, u32 total_size, KOLVEX_XCD_CODEC_TYPE *standard, u32 *width, u32 *height);
// The walk under parse_avi_header: 1 when the first strf chunk carries a known code.
u8 _parse_avi_header(RFILE *fp, u32 start_position, u32 total_size, AVI_INFOs *info);

// Reports the first video data chunk ("##d?") of the window: see avi_parse. On result 1
// after a video chunk, *frame_size is the part of the chunk inside the window.
u32 VsParserForAvi(KOLVEX_XCD_CODEC_TYPE standard, uintptr_t buffer_start_addr, u32 buffer_size,
                   uintptr_t *frame_start_addr, u32 *frame_size, u32 *consumed_frame_size);
u32 avi_parse(uintptr_t buffer_start_addr, u32 buffer_size, const u8 *src_mem, uintptr_t *frame_start_addr,
              u32 *frame_size, u32 *consumed_frame_size);

// Little-endian word at the cursor; the cursor advances by 4. Fewer than 4 bytes left:
// 0, and the cursor moves to the end of the image.
unsigned int read_word_little(RFILE *fp);
// 1 and the four bytes at the cursor copied (cursor + 4); 0 and nothing read when fewer
// than four bytes remain.
u8 get_fourcc(RFILE *fp, unsigned char *FourCC);
u8 get_fourcc1(const unsigned char *buf, unsigned char *FourCC);
u32 _read_word_little(const unsigned char *buffer);
u8 compare_fourcc(const unsigned char *FourCC, const char *candidate);
void Copy8(uintptr_t sa, uintptr_t da, u32 bytes);
