// The component test loop: the decoding pass once for every entry of every component's list
// file, each on a handle of its own.
#pragma once

#include <cstdio>

#include "omx_component_info.h"
#include "omx_core_loader.h"

// Module-level by design: the list file of the component being processed.
extern FILE *list_file;

void omx_component_test_loop(OMX_CORE_INTERFACE *core_interface, char *const *component_name, unsigned component_num,
                             ZYN_OMX_COMPONENT_INFO *component_info, OMX_CALLBACKTYPE *callbacks);
