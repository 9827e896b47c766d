// UTC 001 against the core, then the component test loop; owns the run's record, semaphore and
// name and role buffers for the whole run.
#pragma once

#include "omx_core_loader.h"

// Capacity of the name and role tables and of each buffer in them.
#define OMX_MAX_COMPONENTS 10
#define OMX_MAX_ROLES 10
#define OMX_NAME_BUFFER_LEN 128

// Always returns 0: what the run found is in the report.
int omx_core_interface_test(OMX_CORE_INTERFACE *core_interface);
