// frame_table FILE [--slices] [--limit N]
// Prints the parser's frame table of FILE (codec line and one line per
// entry), reads every frame back through the parser and ends with a summary.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "KolvexXcdParser.h"

namespace
{

int Usage()
{
    std::fprintf(stderr, "usage: frame_table FILE [--slices] [--limit N]\n"
                         "  --slices   cut at every slice / video packet\n"
                         "  --limit N  stop the table after the first frame and N more (N >= 1)\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    char *file = nullptr;
    int slices = 0;
    int limit = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--slices") == 0) {
            slices = 1;
        } else if (std::strcmp(argv[i], "--limit") == 0) {
            if (i + 1 >= argc) {
                return Usage();
            }
            char *end = nullptr;
            errno = 0;
            long n = std::strtol(argv[++i], &end, 10);
            if (errno != 0 || end == argv[i] || *end != '\0' || n < 1 || n > 0x7FFFFFFF) {
                return Usage();
            }
            limit = static_cast<int>(n);
        } else if (argv[i][0] == '-' || file != nullptr) {
            return Usage();
        } else {
            file = argv[i];
        }
    }
    if (file == nullptr) {
        return Usage();
    }

    int one = 1;
    KolvexParserSetConfig(XCD_PARSER_SETCONF_PARSING_ONLY, &one);
    KolvexParserSetConfig(XCD_PARSER_SETCONF_SLICE_ENABLE, &slices);
    if (limit > 0) {
        KolvexParserSetConfig(XCD_PARSER_SETCONF_DEC_NUMBER, &limit);
    }
    void *handle = KolvexParserInit(UNKNOWN_TYPE, file, 0);
    if (handle == nullptr) {
        std::fprintf(stderr, "frame_table: cannot open %s\n", file);
        KolvexParserDeInit(handle);
        return 1;
    }

    std::vector<unsigned char> buf;
    unsigned long long frames = 0, bytes = 0;
    long long last = -1;
    for (unsigned int index = 0;; ++index) {
        int size = KolvexParserFrameSize(handle, index);
        if (size <= 0) {
            break;
        }
        if (buf.size() < static_cast<size_t>(size)) {
            buf.resize(static_cast<size_t>(size));
        }
        int isLast = 0;
        int got = KolvexParserFrameGet(handle, index, buf.data(), &isLast);
        if (got <= 0) {
            break;
        }
        ++frames;
        bytes += static_cast<unsigned>(got);
        if (isLast) {
            last = index;
        }
    }
    std::printf("frames read = %llu, bytes read = %llu, last frame index = %lld\n", frames, bytes, last);
    KolvexParserDeInit(handle);
    return 0;
}
