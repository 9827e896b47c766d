/* Codec dispatch and the elementary-stream splitters.
 *
 * Every splitter looks at a window of stream bytes and reports its first unit
 * (what a decoder gets as one input buffer) by address and size. Results:
 * 0 unit found; 1 or 2 the window ends before the unit does (VsParser then
 * sets *frame_size to the whole window); 3 from VsParser for a codec without
 * splitter. Addresses are address-sized integers, so the code is the same on
 * 32-bit ARM and on x86-64. */
#pragma once

#include <cstdint>

#include "KolvexXcdParser.h"

typedef uint32_t u32;
typedef uint8_t u8;

u32 VsParser(KOLVEX_XCD_CODEC_TYPE standard, uintptr_t buffer_start_addr, u32 buffer_size, uintptr_t *frame_start_addr,
             u32 *frame_size, u8 bIsRcvFlag, u8 is_first_seq_header, u8 bSliceIfDec);

u32 h264_parse(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size,
               u8 is_first_seq_header, u8 bSliceIfDec);
u32 mpeg2_parse(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size,
                u8 is_first_seq_header, u8 bSliceIfDec);
u32 mpeg4_parse(KOLVEX_XCD_CODEC_TYPE standard, uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem,
                uintptr_t *frame_start_addr, u32 *frame_size, u8 is_first_seq_header, u8 bSliceIfDec);
u32 rcv_parse(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size);
u32 vp8_parser(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size,
               u8 is_first_seq_header);
u32 vc1_parse_advancedProfile_Frame(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem,
                                    uintptr_t *frame_start_addr, u32 *frame_size, u8 is_first_seq_header);
u32 vc1_parse(uintptr_t buffer_start_addr, u32 buffer_size, u8 *src_mem, uintptr_t *frame_start_addr, u32 *frame_size,
              u8 rcvFlag, u8 is_first_seq_header);

/* 1 when the progressive VC-1 frame whose first header byte is
 * src_mem[index] is a skipped picture; the caller guarantees the byte. */
u8 SkippedPictureCheck(u8 *src_mem, u32 index);

/* H.264 parameter-set summaries kept between calls (read-only views for tests). */
typedef struct SPS_HEADER {
    int SpsId;
    int MaxFrameBit;
    int PicOrderCntType;
    int PicOrderCntBit;
    int PicOrderZeroFlag;
} SPS_HEADER;

typedef struct PPS_HEADER {
    int PpsId;
    int SpsId;
    int interleaved;
    int PicOrderPrsFlag;
    int RedundantPicCntPrsFlag;
} PPS_HEADER;

const SPS_HEADER *H264StoredSps(int id); /* null outside 0..31 */
const PPS_HEADER *H264StoredPps(int id); /* null outside 0..255 */
