/* OpenMAX IL 1.1 image domain: the port definition that the port record's union holds. */
#pragma once

#include "OMX_IVCommon.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum OMX_IMAGE_CODINGTYPE {
    OMX_IMAGE_CodingUnused,
    OMX_IMAGE_CodingAutoDetect,
    OMX_IMAGE_CodingJPEG,
    OMX_IMAGE_CodingKhronosExtensions = 0x6F000000,
    OMX_IMAGE_CodingVendorStartUnused = 0x7F000000,
    OMX_IMAGE_CodingMax = 0x7FFFFFFF
} OMX_IMAGE_CODINGTYPE;

typedef struct OMX_IMAGE_PORTDEFINITIONTYPE {
    OMX_STRING cMIMEType;
    OMX_NATIVE_DEVICETYPE pNativeRender;
    OMX_U32 nFrameWidth;
    OMX_U32 nFrameHeight;
    OMX_S32 nStride;
    OMX_U32 nSliceHeight;
    OMX_BOOL bFlagErrorConcealment;
    OMX_IMAGE_CODINGTYPE eCompressionFormat;
    OMX_COLOR_FORMATTYPE eColorFormat;
    OMX_NATIVE_WINDOWTYPE pNativeWindow;
} OMX_IMAGE_PORTDEFINITIONTYPE;

#ifdef __cplusplus
}
#endif
