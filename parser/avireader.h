/* AVI reader over a file image held in memory: header pointers and data-chunk
 * payloads point into the caller's image; nothing is copied or allocated.
 * Every walk is bounded by the image length given to AVI_OpenAVIFile. */
#pragma once

#include <cstdint>

#include "vsparser.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "AVI records are read in place as little-endian");

typedef struct __attribute__((packed)) AVI_CHUNK {
    u32 dwFourCC;
    u32 dwSize;
} AVI_CHUNK; /* payload follows the 8-byte header */

typedef struct __attribute__((packed)) AVI_LIST {
    u32 dwList;
    u32 dwSize;
    u32 dwFourCC;
} AVI_LIST; /* contents follow the 12-byte header */

typedef struct __attribute__((packed)) MainAVIHeader {
    u32 dwMicroSecPerFrame;
    u32 dwMaxBytesPerSec;
    u32 dwPaddingGranularity;
    u32 dwFlags;
    u32 dwTotalFrames;
    u32 dwInitialFrames;
    u32 dwStreams;
    u32 dwSuggestedBufferSize;
    u32 dwWidth;
    u32 dwHeight;
    u32 dwReserved[4];
} MainAVIHeader;

typedef struct __attribute__((packed)) AVI_RECT {
    uint16_t x, y, width, height;
} AVI_RECT;

typedef struct __attribute__((packed)) AVIStreamHeader {
    u32 fccType;
    u32 fccHandler;
    u32 dwFlags;
    uint16_t wPriority;
    uint16_t wLanguage;
    u32 dwInitialFrames;
    u32 dwScale;
    u32 dwRate;
    u32 dwStart;
    u32 dwLength;
    u32 dwSuggestedBufferSize;
    u32 dwQuality;
    u32 dwSampleSize;
    AVI_RECT rcFrame;
} AVIStreamHeader;

typedef struct __attribute__((packed)) AVI_BITMAPINFOHEADER {
    u32 biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    u32 biCompression;
    u32 biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    u32 biClrUsed;
    u32 biClrImportant;
} AVI_BITMAPINFOHEADER;

typedef struct __attribute__((packed)) AVI_WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    u32 nSamplesPerSec;
    u32 nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
} AVI_WAVEFORMATEX;

static_assert(sizeof(MainAVIHeader) == 56 && sizeof(AVIStreamHeader) == 56 && sizeof(AVI_BITMAPINFOHEADER) == 40 &&
                  sizeof(AVI_WAVEFORMATEX) == 18,
              "AVI records are packed");

typedef struct AVI_ELEMENT {
    AVI_CHUNK *chunk;
    AVI_LIST *list;
    int offset; /* offset, in the parent's contents, of the next item */
} AVI_ELEMENT;

typedef struct AVIStreamInfor {
    AVIStreamHeader *StreamHeader;
    AVI_CHUNK *strf;
    AVI_CHUNK *indx;
    AVI_CHUNK *strn;
} AVIStreamInfor;

typedef struct AVI_INFO {
    MainAVIHeader *mainAVIHeader;
    AVIStreamInfor VideoInfor;
    AVIStreamInfor AudioInfor;
    AVIStreamInfor TextInfor;
    int VideoStreamIndex;
    int AudioStreamIndex;
    int TextStreamIndex;
    AVI_LIST *movi;
    AVI_LIST *current_REC;
    AVI_CHUNK *current_CHUNK;
    char *buffer;
    u32 bufferSize; /* bytes of the image actually held */
    int offset_movi;
    int offset_audio_movi;
} AVI_INFO;

/* 1 when the first 12 bytes are "RIFF" .... "AVI "; buffer holds 12 bytes. */
int AVI_IsAVIFile(char *buffer);
/* Opens the image of bufferSize bytes into info: 1 opened, 0 failed. */
int AVI_OpenAVIFile(char *buffer, u32 bufferSize, AVI_INFO *info);
void AVI_CloseAVIFile(AVI_INFO *aviInfo);
/* The next video (and audio) chunk's data, null after the last. A chunk whose data run past
 * the image is the last one handed out. */
unsigned char *AVI_GetVideoData(int *chunkSize, AVI_INFO *aviInfo, int *numOfAudioChunk);
unsigned char *AVI_GetAudioData(int *chunkSize, AVI_INFO *aviInfo);
void AVI_ResetVideoDataOffset(AVI_INFO *aviInfo);
void AVI_ResetAudioDataOffset(AVI_INFO *aviInfo);
unsigned int AVI_GetVideoCodec(AVI_INFO *aviInfo);
unsigned int AVI_GetAudioCodec(AVI_INFO *aviInfo);
AVI_WAVEFORMATEX *AVI_GetAudioParameter(AVI_INFO *aviInfo);
int AVI_GetSuggestedVideoBuffer(AVI_INFO *aviInfo);
int AVI_GetSuggestedAudioBuffer(AVI_INFO *aviInfo);
void AVI_GetStreamResolution(u32 *pHsize, u32 *pVsize);
float AVI_GetFPSinAVI(AVI_INFO *aviInfo);
float AVI_GetAudioChunkPerSec(AVI_INFO *aviInfo);
