/* OpenMAX IL 1.1 audio domain: the port definition that the port record's union holds. */
#pragma once

#include "OMX_Core.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum OMX_AUDIO_CODINGTYPE {
    OMX_AUDIO_CodingUnused = 0,
    OMX_AUDIO_CodingAutoDetect,
    OMX_AUDIO_CodingPCM,
    OMX_AUDIO_CodingKhronosExtensions = 0x6F000000,
    OMX_AUDIO_CodingVendorStartUnused = 0x7F000000,
    OMX_AUDIO_CodingMax = 0x7FFFFFFF
} OMX_AUDIO_CODINGTYPE;

typedef struct OMX_AUDIO_PORTDEFINITIONTYPE {
    OMX_STRING cMIMEType;
    OMX_NATIVE_DEVICETYPE pNativeRender;
    OMX_BOOL bFlagErrorConcealment;
    OMX_AUDIO_CODINGTYPE eEncoding;
} OMX_AUDIO_PORTDEFINITIONTYPE;

#ifdef __cplusplus
}
#endif
