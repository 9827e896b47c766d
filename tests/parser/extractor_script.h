// Runs the delimiter frame extractor and the MPEG-4 Visual extraction by a script, on a stdio
// file or on memory holding the same bytes, and writes down what every step gave. Shared by
// the tests and the fuzz target.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "MPEG4Frames.h"

// Hex pairs; a run of four or more equal bytes as "xx*N ".
inline std::string Show(const unsigned char *b, int n)
{
    std::string s;
    char t[16];
    for (int i = 0, run; i < n; i += run) {
        for (run = 1; i + run < n && b[i + run] == b[i];)
            ++run;
        run = run >= 4 ? run : 1;
        std::snprintf(t, sizeof t, run > 1 ? "%02x*%d " : "%02x", b[i], run);
        s += t;
    }
    return s;
}
// Steps: "F" first, "N<size>" next (buffer and count carry over a full buffer), "S<size>" next
// without buffer, "P<size>" peek, "C<size>" configuration (odd sizes without a record for the
// picture size), "M<size>" picture, "@" position.
inline std::string RunScript(FRAMEX_IN_TYPE type, const std::vector<unsigned char> &delim, int insert,
                             std::vector<unsigned char> data, const char *script)
{
    FILE *f = data.empty() ? std::tmpfile() : fmemopen(data.data(), data.size(), "rb");
    data.reserve(1);
    auto *last = reinterpret_cast<unsigned char *>(reinterpret_cast<uintptr_t>(data.data()) + data.size() - 1);
    FRAMEX_STRM_PTR mem{data.data(), last, data.data()};
    void *in = type == FRAMEX_IN_TYPE_FILE ? static_cast<void *>(f) : &mem;
    FRAMEX_CTX *ctx = FrameExtractorInit(type, delim.data(), static_cast<int>(delim.size()), insert);
    std::vector<unsigned char> buf(256);
    int n = 0, r = 0, m = 0;
    std::string out;
    for (const char *s = script; *s != '\0'; out += " ") {
        char op = *s++, *end;
        int size = static_cast<int>(std::strtol(s, &end, 10));
        s = *end == ' ' ? end + 1 : end;
        std::vector<unsigned char> step(static_cast<size_t>(size) + 1);
        MPEG4_CONFIG_DATA conf{-1, -1};
        unsigned coding = 9;
        if (op == 'F') {
            out += std::to_string(r = FrameExtractorFirst(ctx, in));
        } else if (op == 'N' || op == 'S') {
            n = r == FRAMEX_ERR_BUF_FULL ? n : 0;
            buf.resize(std::max(buf.size(), static_cast<size_t>(size)));
            r = FrameExtractorNext(ctx, in, op == 'N' ? buf.data() : nullptr, size, &n);
            out += std::to_string(r) + (op == 'N' ? ":" + Show(buf.data(), std::min(n, size)) : "");
        } else if (op == 'P') {
            int pr = FrameExtractorPeek(ctx, in, step.data(), size, &m);
            out += std::to_string(pr) + ":" + Show(step.data(), std::min(size, m + ctx->delim_leng)) + "/" +
                   std::to_string(m);
        } else if (op == 'C' || op == 'M') {
            ctx->cont_offset = r = 0; // these calls start no continuation of their own
            m = op == 'C' ? ExtractConfigStreamMpeg4(ctx, in, step.data(), size, size % 2 ? nullptr : &conf)
                          : NextFrameMpeg4(ctx, in, step.data(), size, &coding);
            out += std::to_string(m) + "/" +
                   std::to_string(op == 'C' ? conf.width * 10000L + conf.height : static_cast<long>(coding));
        } else {
            out += "@" + std::to_string(type == FRAMEX_IN_TYPE_FILE ? std::ftell(f) : mem.p_cur - mem.p_start);
        }
    }
    FrameExtractorFinal(ctx);
    std::fclose(f);
    return out;
}
