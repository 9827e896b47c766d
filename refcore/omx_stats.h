// Per-handle statistics for tests: appended to the file named by ZYN_OMX_STATS when a handle
// is freed.
#pragma once

#include <cstdint>
#include <string>

namespace zyn
{

struct ComponentStats {
    std::string name;
    uint64_t inputs = 0;     // input buffers received (EmptyThisBuffer accepted)
    uint64_t pictures = 0;   // pictures decoded or encoded
    uint64_t errors = 0;     // units that failed to decode or encode
    uint64_t egl_writes = 0; // pictures written into EGL images
    std::string md5_lines;   // "md5 ..." lines, already terminated
};

// "md5 ..." lines first (when any), then
// "stats NAME inputs=N pictures=N errors=N egl=N".
std::string stats_format(const ComponentStats &s);

// Appends stats_format(s) to $ZYN_OMX_STATS; nothing when the variable is unset or empty.
void stats_append(const ComponentStats &s);

// Whether ZYN_OMX_STATS_MD5=1 asks for one MD5 line per decoded picture.
bool stats_md5_enabled();

} // namespace zyn
