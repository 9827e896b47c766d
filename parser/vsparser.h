/* Codec dispatch and the elementary-stream splitters.
 *
 * Every splitter looks at a window of stream bytes and reports its first unit
 * (what a decoder gets as one input buffer) by offset and size in the window.
 * VsParser, the dispatch, reports it by address. Addresses are address-sized
 * integers, so the code is the same on 32-bit ARM and on x86-64.
 *
 * The codec table is the one place that knows a codec: its extensions, its
 * splitter and the container headers around its units. */
#pragma once

#include <cstdint>
#include <span>

#include "KolvexXcdParser.h"

typedef uint32_t u32;
typedef uint8_t u8;

/* What a splitter found in its window. The values are part of the dispatch's
 * contract with the frame-table builder. */
enum class SplitResult : u32 {
    Unit = 0,       /* a whole unit lies in the window */
    UnitOpen = 1,   /* a unit begins but the window ends before it does */
    NoUnitEnd = 2,  /* the window ends before any unit is seen to end */
    NoSplitter = 3, /* the codec has no splitter */
};

/* Summaries of the H.264 parameter sets, kept from window to window. */
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

/* What the H.264 splitter carries from one window of a stream to the next. */
struct H264State {
    SPS_HEADER sps[32];
    PPS_HEADER pps[256];
    SPS_HEADER sps_cur; /* the set being read: fields a profile leaves out keep the last values */
    PPS_HEADER pps_cur;
    SLICE_HEADER first_slice; /* first slice of the unit being split */
    int baseline;             /* the last sequence set was Baseline profile */
};

/* The state of one stream's splitting, owned by the stream's parser. */
struct SplitterState {
    H264State h264{};
    int short_header = -1; /* MPEG-4 Visual/H.263: 1 short video headers, 0 start codes, -1 not known */
};

/* The first unit of a window: offset from the window start, and size. */
struct SplitUnit {
    u32 start = 0;
    u32 size = 0;
};

struct CodecEntry;
typedef SplitResult (*Splitter)(SplitterState &state, const CodecEntry &codec, std::span<const u8> window,
                                SplitUnit *unit, bool stream_start, bool slices);

/* One row of the codec table. */
struct CodecEntry {
    const char *ext;             /* lower-case file extension */
    KOLVEX_XCD_CODEC_TYPE codec; /* UNKNOWN_TYPE when the extension names none */
    Splitter split;              /* null: no elementary-stream splitter */
    bool avi;                    /* AVI container: indexed by the AVI reader */
    u32 file_header;             /* container header in front of the first unit */
    u32 frame_header;            /* container header in front of every unit */
    bool headers_in_entry;       /* table entries keep the container headers */
};

/* The row of an extension (compared after lower-casing, as LowerExtension),
 * or null. */
const CodecEntry *CodecByExtension(const char *fileExt);
/* The first row of a codec, or null. */
const CodecEntry *CodecByType(KOLVEX_XCD_CODEC_TYPE codec);

/* Lower-cases an extension into out (10 bytes); false when it does not fit. */
bool LowerExtension(const char *fileExt, char out[10]);

/* The first unit of the window [buffer_start_addr, + buffer_size): on
 * UnitOpen and NoUnitEnd *frame_size is the whole window. */
SplitResult VsParser(SplitterState &state, KOLVEX_XCD_CODEC_TYPE standard, uintptr_t buffer_start_addr, u32 buffer_size,
                     uintptr_t *frame_start_addr, u32 *frame_size, u8 is_first_seq_header, u8 bSliceIfDec);

/* The start-code scanner every splitter shares. First position j >= from
 * with 00 00 01 at j..j+2, all inside the window. */
bool FindStartCode(const u8 *s, uint64_t from, u32 size, u32 *pos);
/* First position j >= from with 00 00 at j, j+1 and a third byte at j+2. */
bool FindZeroPair(const u8 *s, uint64_t from, u32 size, u32 *pos);

/* The splitters, one per codec family. */
SplitResult h264_parse(SplitterState &state, const CodecEntry &codec, std::span<const u8> window, SplitUnit *unit,
                       bool stream_start, bool slices);
SplitResult mpeg2_parse(SplitterState &state, const CodecEntry &codec, std::span<const u8> window, SplitUnit *unit,
                        bool stream_start, bool slices);
SplitResult mpeg4_parse(SplitterState &state, const CodecEntry &codec, std::span<const u8> window, SplitUnit *unit,
                        bool stream_start, bool slices);
SplitResult rcv_parse(SplitterState &state, const CodecEntry &codec, std::span<const u8> window, SplitUnit *unit,
                      bool stream_start, bool slices);
SplitResult vp8_parser(SplitterState &state, const CodecEntry &codec, std::span<const u8> window, SplitUnit *unit,
                       bool stream_start, bool slices);
SplitResult vc1_parse_advancedProfile_Frame(SplitterState &state, const CodecEntry &codec, std::span<const u8> window,
                                            SplitUnit *unit, bool stream_start, bool slices);

/* 1 when the progressive VC-1 frame whose first header byte is
 * src_mem[index] is a skipped picture; the caller guarantees the byte. */
u8 SkippedPictureCheck(const u8 *src_mem, u32 index);
