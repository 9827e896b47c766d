// Delimiter frame extractor: cuts a byte stream (stdio file or memory range) into frames at
// every occurrence of a fixed byte pattern of 1 to 12 bytes. Each search copies the bytes it
// reads into the caller's buffer and stops right after the next delimiter, so the input is
// left at the start of the following frame. All state lives in the context.
#pragma once

#include <cstddef>

typedef enum {
    FRAMEX_IN_TYPE_FILE = 0, // the input is a FILE * opened for reading
    FRAMEX_IN_TYPE_MEM = 1,  // the input is a FRAMEX_STRM_PTR *; so is every other value
} FRAMEX_IN_TYPE;

typedef void *FRAMEX_IN;

typedef struct {
    FRAMEX_IN_TYPE in_type;
    unsigned char *delim_ptr; // own copy of the delimiter
    int delim_leng;           // 1 .. FRAMEX_MAX_DELIM_LENG
    int delim_insert;         // nonzero: every delivered frame begins with the delimiter
    int cont_offset;          // 0, or the bytes the output buffer held when it ran full
} FRAMEX_CTX;

// Memory input, owned by the caller. A byte is available while p_cur <= p_end.
typedef struct {
    unsigned char *p_start;
    unsigned char *p_end; // address of the last byte
    unsigned char *p_cur; // next byte to read
} FRAMEX_STRM_PTR;

inline constexpr int FRAMEX_MAX_DELIM_LENG = 12;

// Result codes.
enum {
    FRAMEX_OK = 0,            // delimiter found (peek: buffer filled)
    FRAMEX_ERR_BUF_FULL = -1, // output full before the delimiter; continuation saved
    FRAMEX_ERR_ON_HELD = -2,  // the search ended on bytes already held, without reading
    FRAMEX_ERR_END_OF_INPUT = -3,
    FRAMEX_ERR_NO_ROOM = -4, // the delimiter does not fit in the buffer
    FRAMEX_ERR_NULL_CTX = -10001,
};

// Null when delimiter is null, delim_leng is outside 1..12 or memory runs out.
FRAMEX_CTX *FrameExtractorInit(FRAMEX_IN_TYPE type, const unsigned char *delimiter, int delim_leng, int delim_insert);
// Skips the input up to and including the first delimiter.
int FrameExtractorFirst(FRAMEX_CTX *pCTX, FRAMEX_IN in);
// Delivers the next frame into outbuf; *n_fill is its length. After -1, call again with a
// larger buffer that keeps the first cont_offset bytes and with the same counter.
// Without outbuf the frame is skipped and *n_fill is not touched.
int FrameExtractorNext(FRAMEX_CTX *pCTX, FRAMEX_IN in, unsigned char *outbuf, int outbuf_size, int *n_fill);
// Copies the beginning of the next frame into peekbuf and leaves the input where it was.
// Independent of a pending continuation, which it neither uses nor clears.
int FrameExtractorPeek(FRAMEX_CTX *pCTX, FRAMEX_IN in, unsigned char *peekbuf, int peek_size, int *n_fill);
int FrameExtractorFinal(FRAMEX_CTX *pCTX);
