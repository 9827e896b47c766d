// UTC 005 and UTC 006: parameter queries and write-backs on one component.
#include <cstdio>

#include "omx_record.h"
#include "omx_test_cases.h"
#include "omx_timed_call.h"

namespace
{

OMX_ERRORTYPE timed_get(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, OMX_INDEXTYPE index,
                        void *record, const char *fail_line, const char *timeout_line)
{
    return omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_NO_WAIT, fail_line, timeout_line,
                          [&] { return OMX_GetParameter(handle, index, record); });
}

// The untimed read before each write-back is not reported: only the set is under test.
OMX_ERRORTYPE get_then_timed_set(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, OMX_INDEXTYPE index,
                                 void *record, const char *fail_line, const char *timeout_line)
{
    (void)OMX_GetParameter(handle, index, record);
    return omx_timed_call(component_info, kOmxCallBudgetUs, OMX_TIMED_NO_WAIT, fail_line, timeout_line,
                          [&] { return OMX_SetParameter(handle, index, record); });
}

} // namespace

int omx_get_parameter_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info)
{
    puts("OMX UTC 005: omx_get_parameter_test");
    puts("OMX UTC 005-02: OMX_GetParameter port definition test");
    OMX_PARAM_PORTDEFINITIONTYPE portdef;
    omx_prepare_record(&portdef);
    // The second query reuses the record as the first one left it; only the port changes.
    for (OMX_U32 port = 0; port < 2; port++) {
        portdef.nPortIndex = port;
        timed_get(handle, component_info, OMX_IndexParamPortDefinition, &portdef,
                  "OMX UTC 005-01: OMX_GetParameter port definition: FAIL: %x, %d\n",
                  "OMX UTC 005-01: OMX_GetParameter port definition: timeout FAIL: %d, %d\n");
    }

    puts("OMX UTC 005-03: OMX_GetParameter component role test");
    OMX_PARAM_COMPONENTROLETYPE role;
    omx_prepare_record(&role);
    timed_get(handle, component_info, OMX_IndexParamStandardComponentRole, &role,
              "OMX UTC 005-02: OMX_GetParameter component role: FAIL: %x, %d\n",
              "OMX UTC 005-02: OMX_GetParameter component role: timeout FAIL: %d, %d\n");

    puts("OMX UTC 005-04: OMX_GetParameter port data format test");
    OMX_VIDEO_PARAM_PORTFORMATTYPE port_format;
    omx_prepare_record(&port_format);
    port_format.nPortIndex = 0;
    port_format.nIndex = 0;
    timed_get(handle, component_info, OMX_IndexParamVideoPortFormat, &port_format,
              "OMX UTC 005-04: OMX_GetParameter port data format: FAIL: %x, %d\n",
              "OMX UTC 005-04: OMX_GetParameter port data format: timeout FAIL: %d, %d\n");

    puts("OMX UTC 005-05: OMX_GetParameter profile level test");
    OMX_VIDEO_PARAM_PROFILELEVELTYPE profile_level;
    omx_prepare_record(&profile_level);
    profile_level.nPortIndex = 0;
    timed_get(handle, component_info, OMX_IndexParamVideoProfileLevelQuerySupported, &profile_level,
              "OMX UTC 005-05: OMX_GetParameter profile level: FAIL: %x, %d\n",
              "OMX UTC 005-05: OMX_GetParameter profile level: timeout FAIL: %d, %d\n");

    puts("OMX UTC 005-06: OMX_GetParameter error correction test");
    OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE error_correction;
    omx_prepare_record(&error_correction);
    error_correction.nPortIndex = 0;
    timed_get(handle, component_info, OMX_IndexParamVideoErrorCorrection, &error_correction,
              "OMX UTC 005-06: OMX_GetParameter error correction: FAIL: %x, %d\n",
              "OMX UTC 005-06: OMX_GetParameter error correction: timeout FAIL: %d, %d\n");
    return 0;
}

int omx_set_parameter_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info)
{
    puts("OMX UTC 006: omx_set_parameter_test");
    puts("OMX UTC 006-02: OMX_SetParameter port definition test");
    OMX_PARAM_PORTDEFINITIONTYPE portdef;
    omx_prepare_record(&portdef);
    portdef.nPortIndex = 0;
    get_then_timed_set(handle, component_info, OMX_IndexParamPortDefinition, &portdef,
                       "OMX UTC 006-01: OMX_SetParameter port definition: FAIL: %x, %d\n",
                       "OMX UTC 006-01: OMX_SetParameter port definition: timeout FAIL: %d, %d\n");

    puts("OMX UTC 006-03: OMX_SetParameter component role test");
    OMX_PARAM_COMPONENTROLETYPE role;
    omx_prepare_record(&role);
    get_then_timed_set(handle, component_info, OMX_IndexParamStandardComponentRole, &role,
                       "OMX UTC 006-02: OMX_SetParameter component role: FAIL: %x, %d\n",
                       "OMX UTC 006-02: OMX_SetParameter component role: timeout FAIL: %d, %d\n");

    puts("OMX UTC 006-04: OMX_SetParameter port data format test");
    OMX_VIDEO_PARAM_PORTFORMATTYPE port_format;
    omx_prepare_record(&port_format);
    port_format.nPortIndex = 0;
    get_then_timed_set(handle, component_info, OMX_IndexParamVideoPortFormat, &port_format,
                       "OMX UTC 006-04: OMX_SetParameter port data format: FAIL: %x, %d\n",
                       "OMX UTC 006-04: OMX_SetParameter port data format: timeout FAIL: %d, %d\n");

    puts("OMX UTC 006-05: OMX_SetParameter error correction test");
    OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE error_correction;
    omx_prepare_record(&error_correction);
    error_correction.nPortIndex = 0;
    get_then_timed_set(handle, component_info, OMX_IndexParamVideoErrorCorrection, &error_correction,
                       "OMX UTC 006-05: OMX_SetParameter error correction: FAIL: %x, %d\n",
                       "OMX UTC 006-05: OMX_SetParameter error correction: timeout FAIL: %d, %d\n");
    return 0;
}
