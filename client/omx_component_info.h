// The run's record, given to every test case and to every component as application data, and
// the enumerations of component kinds, AVC profiles and output colour formats.
#pragma once

#include <semaphore.h>

#include <OMX_Component.h>
#include <OMX_Core.h>
#include <OMX_ZYN_Platform.h>

// Every component call of the program is a guarded one.
#include "omx_component_calls.h"

typedef enum TEST_COMPONENT_TYPE {
    OMX_COMPONENT_AVCDEC = 0,
    OMX_COMPONENT_AVCENC = 1,
    OMX_COMPONENT_MPEG4DEC = 2,
    OMX_COMPONENT_MPEG4ENC = 3,
    OMX_COMPONENT_H263DEC = 4,
    OMX_COMPONENT_H263ENC = 5,
    OMX_COMPONENT_WMVDEC = 6,
    OMX_COMPONENT_VP8DEC = 7,
} TEST_COMPONENT_TYPE;

typedef enum TEST_AVC_PROFILE_TYPE {
    TEST_AVC_PROFILE_BASE = 0,
    TEST_AVC_PROFILE_MAIN = 1,
    TEST_AVC_PROFILE_HIGH = 2,
} TEST_AVC_PROFILE_TYPE;

typedef enum TEST_SUPPORT_COLOR_FORMAT_TYPE {
    SUPPORT_COLOR_FORMAT_YUV420Planar = 0,
    SUPPORT_COLOR_FORMAT_YUV420SemiPlanar = 1,
    SUPPORT_COLOR_FORMAT_NV12Tiled = 2,
    SUPPORT_COLOR_FORMAT_ARGB8888 = 3,
    SUPPORT_COLOR_FORMAT_MAX = 4,
} TEST_SUPPORT_COLOR_FORMAT_TYPE;

typedef struct OMX_AVCENC_INFO {
    TEST_AVC_PROFILE_TYPE profile;
    int bitrate;
    int framerate;
} OMX_AVCENC_INFO;

typedef struct OMX_MPEG4ENC_INFO {
    int bitrate;
    int profile;
} OMX_MPEG4ENC_INFO;

typedef struct OMX_H263ENC_INFO {
    int bitrate;
    int profile;
} OMX_H263ENC_INFO;

#define OMX_TEST_NAME_LEN 128

typedef struct ZYN_OMX_COMPONENT_INFO {
    TEST_COMPONENT_TYPE component_type;
    char in_file_name[OMX_TEST_NAME_LEN];
    char out_file_name[OMX_TEST_NAME_LEN];
    int width;
    int height;
    OMX_VIDEO_CODINGTYPE coding_type;
    OMX_COLOR_FORMATTYPE color_type;
    union {
        OMX_AVCENC_INFO avcenc;
        OMX_MPEG4ENC_INFO mpeg4enc;
        OMX_H263ENC_INFO h263enc;
    } format;
    sem_t *sema;
} ZYN_OMX_COMPONENT_INFO;

// The kinds read as plain ints: a record may hold any value, not only the eight kinds.
bool omx_is_encoder(int component_type);
bool omx_is_decoder(int component_type);
