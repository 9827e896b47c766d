// The component base shared by every component of the reference core: function table, a
// command queue served by the component's own worker thread, the OpenMAX IL state machine,
// the two ports with their buffer bookkeeping, and the fault hooks.
#pragma once

#include "omx_faults.h"
#include "omx_registry.h"

#include <OMX_Component.h>

#include <memory>
#include <string>

namespace zyn
{

// Creates a component behind `handle` (whose nSize/nVersion the core has set). On failure the
// handle is left untouched.
OMX_ERRORTYPE component_create(OMX_COMPONENTTYPE *handle, const std::string &name, const ComponentDesc &desc,
                               std::shared_ptr<const FaultConfig> faults, OMX_PTR app_data,
                               const OMX_CALLBACKTYPE *callbacks);

// Stops the worker, returns nothing to the client, frees every header and buffer the
// component made, writes the statistics line.
void component_destroy(OMX_COMPONENTTYPE *handle);

// Name the component was created with (for the core's fault scopes).
const std::string &component_name(OMX_COMPONENTTYPE *handle);

} // namespace zyn
