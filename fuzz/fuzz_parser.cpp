// One fuzz target for the whole parser. The first input byte picks the entry point, the rest
// is its input: 0-5 a splitter (H.264, MPEG-2, MPEG-4 Visual/H.263, RCV, VC-1, VP8) cutting
// the stream the way the frame-table build does, 6 the frame-table build on a file (with the
// AVI reader for .avi), 7 the delimiter frame extractor and the MPEG-4 extraction on file and
// memory input, which must agree. Every buffer is an exact-size heap copy, so that
// AddressSanitizer sees any read past it.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "extractor_script.h"
#include "vsparser_main.h"

#define CHECK(ok) ((ok) ? void() : __builtin_trap()) // the fuzzer reports the stack

namespace
{

using Bytes = std::vector<unsigned char>;
std::string g_dir;

void Split(KOLVEX_XCD_CODEC_TYPE codec, const Bytes &in)
{
    if (in.empty())
        return;
    const Bytes buf(in.begin() + 1, in.end());
    const uintptr_t base = reinterpret_cast<uintptr_t>(buf.data());
    SplitterState state;
    for (size_t cursor = 0; cursor <= buf.size();) {
        uintptr_t start = 0;
        u32 unit = 0, window = static_cast<u32>(buf.size() - cursor);
        SplitResult r = VsParser(state, codec, base + cursor, window, &start, &unit, cursor == 0, in[0] & 1);
        if (r != SplitResult::Unit) {
            CHECK(unit == window);
            break;
        }
        CHECK(start >= base + cursor && start - (base + cursor) <= window && unit <= window - (start - base - cursor));
        if (start - base + unit <= cursor)
            break;
        cursor = start - base + unit;
    }
}
void Extract(const Bytes &in)
{
    static const char *const kExt[] = {"264", "m2v", "m4v", "263", "rcv", "vc1", "ivf", "avi", "msv"};
    if (in.empty() || g_dir.empty())
        return;
    std::string path = g_dir + "/in." + kExt[in[0] % 9];
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(in.data() + 1, 1, in.size() - 1, f) + std::fclose(f) != in.size() - 1)
        return;
    slice_enable = in[0] >> 7;
    if (void *h = InitRawFrameExtract(path.data())) {
        for (int i = 0, last = 0; i < GetRawFrameCount(h); ++i) {
            Bytes buf(static_cast<size_t>(GetRawFrameSize(h, i)) + 1);
            CHECK(GetRawFrameExtract(h, i, buf.data(), &last) < static_cast<int>(buf.size()));
        }
        DeInitRawFrameExtract(h);
    }
    std::remove(path.c_str());
}
// A script of the extractor's steps from the first bytes, run on file and on memory input.
void Extractor(const Bytes &in)
{
    size_t steps = in.size() > 2 ? in[1] % 16 : 0, head = std::min(in.size(), 2 + steps);
    std::string script;
    for (size_t i = 2; i < head; ++i)
        script += std::string(1, "FNSPCM@N"[in[i] & 7]) + std::to_string(in[i] >> 3) + " ";
    const Bytes delim{0, 0, 1, 0xb6, 0, 0, 0, 0, 0, 0, 0, 0}, stream(in.begin() + static_cast<long>(head), in.end());
    Bytes d(delim.begin(), delim.begin() + (in.empty() ? 3 : in[0] % 12 + 1));
    int insert = in.empty() ? 1 : in[0] >> 7;
    CHECK(RunScript(FRAMEX_IN_TYPE_FILE, d, insert, stream, script.c_str()) ==
          RunScript(FRAMEX_IN_TYPE_MEM, d, insert, stream, script.c_str()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The build prints progress lines; keep the fuzzer's output readable.
    if (std::freopen("/dev/null", "w", stdout) != nullptr) {
        char tmpl[] = "/tmp/fuzz_parser_XXXXXX";
        g_dir = mkdtemp(tmpl) != nullptr ? tmpl : "";
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const KOLVEX_XCD_CODEC_TYPE kSplit[] = {H264_DEC, MPEG2_DEC, MPEG4_DEC, VC1RCV_DEC, VC1AP_DEC, VP8_DEC};
    if (size == 0)
        return 0;
    const Bytes in(data + 1, data + size);
    switch (data[0] % 8) {
    case 6: Extract(in); break;
    case 7: Extractor(in); break;
    default: Split(kSplit[data[0] % 8], in);
    }
    return 0;
}
