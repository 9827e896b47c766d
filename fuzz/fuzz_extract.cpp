// Fuzz target: InitRawFrameExtract on a file, then every frame read back.
// The first input byte picks the extension, the rest is the file.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vsparser_main.h"

namespace
{
const char *const kExtensions[] = {"264", "m2v", "m4v", "263", "rcv", "vc1", "ivf", "avi", "msv"};
std::string g_dir;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The build prints progress lines; keep the fuzzer's output readable.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        return 0;
    }
    char tmpl[] = "/tmp/fuzz_extract_XXXXXX";
    if (mkdtemp(tmpl) != nullptr) {
        g_dir = tmpl;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || g_dir.empty()) {
        return 0;
    }
    const char *ext = kExtensions[data[0] % (sizeof(kExtensions) / sizeof(kExtensions[0]))];
    std::string path = g_dir + "/in." + ext;
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    if (size > 1) {
        std::fwrite(data + 1, 1, size - 1, f);
    }
    std::fclose(f);
    slice_enable = data[0] >> 7;
    void *h = InitRawFrameExtract(path.data());
    if (h != nullptr) {
        std::vector<unsigned char> buf;
        for (int i = 0; i < GetRawFrameCount(h); ++i) {
            int n = GetRawFrameSize(h, i);
            buf.resize(n > 0 ? static_cast<size_t>(n) : 1);
            int last = 0;
            int got = GetRawFrameExtract(h, i, buf.data(), &last);
            if (got > n) {
                __builtin_trap();
            }
        }
        DeInitRawFrameExtract(h);
    }
    std::remove(path.c_str());
    return 0;
}
