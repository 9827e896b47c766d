// MPEG-4 Visual elementary streams cut into decoder input with the delimiter frame extractor.
//
// The context must have the delimiter 00 00 01 with insertion, and its input must stand just
// after a start-code prefix (FrameExtractorFirst at the start of a stream). Then:
// ExtractConfigStreamMpeg4 once (configuration units plus the first picture, with the picture
// size read from the video object layer header), NextFrameMpeg4 once per picture until 0.
#pragma once

#include "FrameExtractor.h"

typedef struct {
    int width;
    int height;
} MPEG4_CONFIG_DATA;

// Bytes written at the start of buf: the configuration units and the first picture.
// conf_data (may be null) is written only when a rectangular layer header is read whole.
int ExtractConfigStreamMpeg4(FRAMEX_CTX *pFrameExCtx, void *fp, unsigned char *buf, int buf_size,
                             MPEG4_CONFIG_DATA *conf_data);
// Bytes of the next picture (with the header units in front of it) written at the start of
// buf, 0 on failure (end of stream, buffer too small); *coding_type (may be null) gets the
// picture's coding type: 0 intra, 1 predicted, 2 bidirectional, 3 sprite.
int NextFrameMpeg4(FRAMEX_CTX *pFrameExCtx, void *fp, unsigned char *buf, int buf_size, unsigned int *coding_type);

// Bit helpers of the header walk, exposed for the tests.
// Reads num_read (<= 24) bits from bit *bit_offset on, most significant bit of bytes[0]
// first; may touch the byte after the field. More than 24 bits: 0xFFFFFFFF, offset unmoved.
unsigned int read_bits(const unsigned char *bytes, int num_read, int *bit_offset);
// Number of significant bits of a value (0 for 0).
int num_bits(unsigned int bits);
// The same for a value below 16 (values from 8 up give 4).
int find_one(unsigned int bits8);
