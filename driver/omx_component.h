/* Types and operations shared by the test driver, the conformance cases and
 * the streaming tests. */
#pragma once

#include <semaphore.h>
#include <stdio.h>
#include <sys/time.h>

#include <OMX_Component.h>
#include <OMX_Core.h>
#include <OMX_ZYN_Platform.h>

/* The six core entry points, in the order they are resolved. */
typedef OMX_ERRORTYPE (*InitFunc)(void);
typedef OMX_ERRORTYPE (*DeinitFunc)(void);
typedef OMX_ERRORTYPE (*ComponentNameEnumFunc)(OMX_STRING, OMX_U32, OMX_U32);
typedef OMX_ERRORTYPE (*GetHandleFunc)(OMX_HANDLETYPE *, OMX_STRING, OMX_PTR, OMX_CALLBACKTYPE *);
typedef OMX_ERRORTYPE (*FreeHandleFunc)(OMX_HANDLETYPE);
typedef OMX_ERRORTYPE (*GetRolesOfComponentFunc)(OMX_STRING, OMX_U32 *, OMX_U8 **);

typedef struct OMX_CORE_INTERFACE {
    InitFunc init;
    DeinitFunc deinit;
    ComponentNameEnumFunc componentname_enum;
    GetHandleFunc get_handle;
    FreeHandleFunc free_handle;
    GetRolesOfComponentFunc get_roles_of_component;
} OMX_CORE_INTERFACE;

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

/* Header slots shared by every buffer-using test: five input, three output. */
#define IN_BUFFER_SLOTS 5
#define OUT_BUFFER_SLOTS 3

/* Driver: core interface test and component test loop. */
int omx_core_interface_test(OMX_CORE_INTERFACE *core_interface);

/* Driver: client callbacks, timing and version stamp. */
OMX_ERRORTYPE OMX_EventHandlerDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_EVENTTYPE eEvent, OMX_U32 nData1,
                                   OMX_U32 nData2, OMX_PTR pEventData);
OMX_ERRORTYPE OMX_EmptyThisBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_BUFFERHEADERTYPE *pBuffer);
OMX_ERRORTYPE OMX_FillThisBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_BUFFERHEADERTYPE *pBuffer);
int measureTimeUS(struct timeval *start, struct timeval *stop);
void omx_set_version(OMX_VERSIONTYPE *nVersion);

/* Conformance cases and streaming tests (suite). */
int omx_get_parameter_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_set_parameter_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_get_config_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_set_config_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_get_extension_index_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_component_state_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_buffer_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_port_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_decoding_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                      TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat);
int omx_encoding_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                      TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat);

/* Module-level state of the test module, shared by the buffer-using tests. */
extern OMX_BUFFERHEADERTYPE *in_buffer_header[IN_BUFFER_SLOTS];
extern OMX_BUFFERHEADERTYPE *out_buffer_header[OUT_BUFFER_SLOTS];
extern FILE *out_file;
extern FILE *in_file;
extern unsigned char *temp_buffer;
extern void *parser_handle;
extern unsigned int frame_num;
extern int frame_flag;
extern int nc;
