#include "omx_stats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace zyn
{

std::string stats_format(const ComponentStats &s)
{
    char line[512];
    std::snprintf(line, sizeof line, "stats %s inputs=%llu pictures=%llu errors=%llu egl=%llu\n", s.name.c_str(),
                  static_cast<unsigned long long>(s.inputs), static_cast<unsigned long long>(s.pictures),
                  static_cast<unsigned long long>(s.errors), static_cast<unsigned long long>(s.egl_writes));
    return s.md5_lines + line;
}

void stats_append(const ComponentStats &s)
{
    const char *path = std::getenv("ZYN_OMX_STATS");
    if (!path || !*path)
        return;
    static std::mutex mu; // handles of any number of components append to the one file
    std::lock_guard lock(mu);
    FILE *f = std::fopen(path, "a");
    if (!f) {
        std::fprintf(stderr, "ZYN_OMX_STATS: cannot append to %s\n", path);
        return;
    }
    std::string text = stats_format(s);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

bool stats_md5_enabled()
{
    const char *v = std::getenv("ZYN_OMX_STATS_MD5");
    return v && std::strcmp(v, "1") == 0;
}

} // namespace zyn
