/* Stream parser front end: opens a compressed video file, builds its frame
 * table once and serves frames by index.
 *
 * The header is for C++ callers. Its boolean type and values live in the
 * namespace `kolvex` so that they cannot clash with X11's or EGL's BOOL,
 * TRUE and FALSE; the header also survives being included after headers
 * that define those names as macros (such code can use kolvex::kTrue and
 * kolvex::kFalse). */
#pragma once

#pragma push_macro("BOOL")
#pragma push_macro("TRUE")
#pragma push_macro("FALSE")
#undef BOOL
#undef TRUE
#undef FALSE

/* Codec types shared by the streaming tests and the parser (int-sized, so the
 * AVI summary's "none found" value 0xFF is a valid value). Inside the
 * parser value 1 is the VC-1 advanced profile, VC1AP_DEC. */
#ifndef KOLVEX_XCD_CODEC_TYPE_DEFINED
#define KOLVEX_XCD_CODEC_TYPE_DEFINED
typedef enum KOLVEX_XCD_CODEC_TYPE : int {
    H264_DEC = 0,
    VC1_DEC = 1,
    VC1AP_DEC = 1,
    MPEG4_DEC = 2,
    XVID_DEC = 3,
    MPEG1_DEC = 4,
    MPEG2_DEC = 5,
    H263_DEC = 6,
    VC1RCV_DEC = 7,
    PRVX1_DEC = 8,
    PRVX2_DEC = 9,
    PRVX3_DEC = 10,
    PRVX4_DEC = 11,
    VP8_DEC = 12,
    H264_ENC = 13,
    MPEG4_ENC = 14,
    H263_ENC = 15,
    UNKNOWN_TYPE = 16
} KOLVEX_XCD_CODEC_TYPE;
#endif

typedef enum KOLVEX_XCD_PARSER_CONF {
    XCD_PARSER_SETCONF_SLICE_ENABLE = 0,
    XCD_PARSER_SETCONF_PARSING_ONLY = 1,
    XCD_PARSER_SETCONF_DEC_NUMBER = 2
} KOLVEX_XCD_PARSER_CONF;

namespace kolvex
{
enum BOOL : int {
    FALSE = 0,
    TRUE = 1
};
/* The same values for code that has TRUE/FALSE macros in scope. */
inline constexpr BOOL kFalse = FALSE;
inline constexpr BOOL kTrue = TRUE;
} // namespace kolvex

/* Opens the parser on inputFileName (codec chosen by its extension; codec_type
 * and size are accepted and not consulted). Returns the handle, or null. */
void *KolvexParserInit(KOLVEX_XCD_CODEC_TYPE codec_type, char *inputFileName, int size);

/* Copies frame `index` into buf (which must hold it: see KolvexParserFrameSize)
 * and returns its size; 0 when there is no such frame. *isLastFrame is 1 for
 * the entry the table marks as last. */
int KolvexParserFrameGet(void *handle, unsigned int index, void *buf, int *isLastFrame);

/* Size in bytes of frame `index` without reading it; 0 when there is none. */
int KolvexParserFrameSize(void *handle, unsigned int index);

/* Closes the parser; always kolvex::TRUE. */
kolvex::BOOL KolvexParserDeInit(void *handle);

/* Sets one of the three module-wide options (value points at an int) for the
 * next KolvexParserInit; kolvex::FALSE when refused. */
kolvex::BOOL KolvexParserSetConfig(KOLVEX_XCD_PARSER_CONF config, void *value);

#pragma pop_macro("FALSE")
#pragma pop_macro("TRUE")
#pragma pop_macro("BOOL")
