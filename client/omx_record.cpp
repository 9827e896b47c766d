// The version stamp of every OpenMAX record the program fills.
#include "omx_record.h"

#include <cstdio>
#include <cstdlib>

namespace
{

// OMX_TEST_IL_VERSION "a.b.c.d" (missing parts 0, each 0 to 255); 1.0.0.0 without it or when it
// does not read.
OMX_VERSIONTYPE stamp_from_environment()
{
    OMX_VERSIONTYPE version{};
    version.s.nVersionMajor = 1;
    const char *text = getenv("OMX_TEST_IL_VERSION");
    unsigned parts[4] = {0, 0, 0, 0};
    char extra = 0;
    if (text == nullptr)
        return version;
    const int n = sscanf(text, "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2], &parts[3], &extra);
    if (n < 1 || n > 4 || parts[0] > 255 || parts[1] > 255 || parts[2] > 255 || parts[3] > 255)
        return version;
    version.s.nVersionMajor = static_cast<OMX_U8>(parts[0]);
    version.s.nVersionMinor = static_cast<OMX_U8>(parts[1]);
    version.s.nRevision = static_cast<OMX_U8>(parts[2]);
    version.s.nStep = static_cast<OMX_U8>(parts[3]);
    return version;
}

} // namespace

void omx_set_version(OMX_VERSIONTYPE *nVersion)
{
    static const OMX_VERSIONTYPE stamp = stamp_from_environment();
    nVersion->s = stamp.s;
}
