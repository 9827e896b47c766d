// Makes the codec back end of a component, and gives the EGL display current on the calling
// thread; both live apart from the component base so the base needs neither FFmpeg nor EGL.
#pragma once

#include "omx_codec.h"
#include "omx_registry.h"

#include <memory>
#include <string>

namespace zyn
{

// Null when the component has no back end (it then hands buffers back unread).
std::unique_ptr<CodecBackend> codec_create(const ComponentDesc &desc, const std::string &name);

// eglGetCurrentDisplay() of the calling thread, or null.
void *egl_current_display();

} // namespace zyn
