// Codec types shared by the streaming tests and the parser library.
// The underlying type is fixed so that the "none found" marker 0xFF used by the AVI
// header walk is a valid value of the enumeration.
#pragma once

typedef enum : int {
  H264_DEC = 0,
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
} KOLVEX_XCD_CODEC_TYPE;
