/* OpenMAX IL 1.1 other domain: the port definition that the port record's union holds. */
#pragma once

#include "OMX_Core.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum OMX_OTHER_FORMATTYPE {
    OMX_OTHER_FormatTime = 0,
    OMX_OTHER_FormatPower,
    OMX_OTHER_FormatStats,
    OMX_OTHER_FormatBinary,
    OMX_OTHER_FormatVendorReserved = 1000,
    OMX_OTHER_FormatKhronosExtensions = 0x6F000000,
    OMX_OTHER_FormatVendorStartUnused = 0x7F000000,
    OMX_OTHER_FormatMax = 0x7FFFFFFF
} OMX_OTHER_FORMATTYPE;

typedef struct OMX_OTHER_PORTDEFINITIONTYPE {
    OMX_OTHER_FORMATTYPE eFormat;
} OMX_OTHER_PORTDEFINITIONTYPE;

#ifdef __cplusplus
}
#endif
