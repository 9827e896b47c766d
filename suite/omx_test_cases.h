// The conformance cases UTC 002 to UTC 009 and the two streaming passes, each an operation on
// one component handle with the run's record. A case returns 0 when it ran to its end, whatever
// it reported, and -1 when it could not allocate its own buffers.
#pragma once

#include "omx_component_info.h"

int omx_get_parameter_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_set_parameter_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_get_config_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_set_config_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_get_extension_index_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_component_state_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_buffer_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);
int omx_port_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info);

// One decoding pass for the record's list entry: stream file to screen.
int omx_decoding_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                      TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat);
// One encoding pass for the record's list entry: raw pictures through an encoder.
int omx_encoding_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                      TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat);
