// UTC 007, 008 and 009: config read, vendor config write and extension lookup.
#include <cstdio>

#include "omx_record.h"
#include "omx_test_cases.h"
#include "omx_timed_call.h"

int omx_get_config_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info)
{
    puts("OMX UTC 007: omx_get_config_test");
    puts("OMX UTC 007-02: OMX_GetConfig scale factor test");
    OMX_CONFIG_SCALEFACTORTYPE scale;
    omx_prepare_record(&scale);
    scale.nPortIndex = 0;
    omx_timed_call(component_info, kOmxShortCallBudgetUs, OMX_TIMED_NO_WAIT,
                   "OMX UTC 007-02: OMX_GetConfig scale factor: FAIL: %x, %d\n",
                   "OMX UTC 007-02: OMX_GetConfig scale factor: timeout FAIL: %d, %d\n",
                   [&] { return OMX_GetConfig(handle, OMX_IndexConfigCommonScale, &scale); });
    return 0;
}

int omx_set_config_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info)
{
    int thumbnail = 0;
    puts("OMX UTC 008: omx_set_config_test");
    puts("OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode test");
    // The fixed vendor index, not the one UTC 009 looks up: the cases are independent.
    omx_timed_call(component_info, kOmxShortCallBudgetUs, OMX_TIMED_NO_WAIT,
                   "OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode: FAIL: %x, %d\n",
                   "OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode: timeout FAIL: %d, %d\n",
                   [&] { return OMX_SetConfig(handle, OMX_IndexVendorThumbnailMode, &thumbnail); });
    return 0;
}

int omx_get_extension_index_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info)
{
    char extension_name[] = "OMX.ZYN.index.ThumbnailMode";
    OMX_INDEXTYPE index_type = OMX_IndexComponentStartUnused;
    puts("OMX UTC 009: omx_get_extension_index_test");
    puts("OMX UTC 009-01: OMX_GetExtensionIndex test");
    omx_timed_call(component_info, kOmxShortCallBudgetUs, OMX_TIMED_NO_WAIT,
                   "OMX UTC 009-01: OMX_GetExtensionIndex test: OMX.ZYN.index.ThumbnailMode: FAIL: %x, %d\n",
                   "OMX UTC 009-01: OMX_GetExtensionIndex test: OMX.ZYN.index.ThumbnailMode: timeout FAIL: %d, %d\n",
                   [&] { return OMX_GetExtensionIndex(handle, extension_name, &index_type); });
    return 0;
}
