/* Raw frame extraction: builds the frame table (offset, size) of a stream file
 * once, then serves frames by index with one seek and one read each. */
#pragma once

#include "vsparser.h"

/* Options, set through KolvexParserSetConfig and read by the next build:
 * module-wide because the front end's interface sets them before any parser
 * exists. */
extern int slice_enable;    /* 1: cut at slices / video packets */
extern int parsing_only;    /* 1: print the codec type and every table entry */
extern int decoding_number; /* -1: whole file; n >= 1: first entry and n more */

/* Size of the parse window (and of the unit it can hold). */
constexpr unsigned kParseWindowSize = 3145728;
/* Part of an AVI file that is indexed. */
constexpr unsigned kAviImageMax = 67108864;

int GetCodecType(char *fileExt, KOLVEX_XCD_CODEC_TYPE *eCodecMode);
void *InitRawFrameExtract(char *pFilename);
int GetRawFrameExtract(void *handle, int index, void *buf, int *isLastFrame);
void DeInitRawFrameExtract(void *handle);

/* Size of entry `index` without reading it (0 when none), the number of
 * entries in the table and the index marked as last (-1 when none). */
int GetRawFrameSize(void *handle, int index);
int GetRawFrameCount(void *handle);
int GetRawLastFrameIndex(void *handle);
/* Entry `index` of the table: 1 and its offset and size, or 0 when none. */
int GetRawFrameEntry(void *handle, int index, uint64_t *offset, u32 *size);
