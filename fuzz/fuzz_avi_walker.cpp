// Fuzz target: the in-memory AVI header walk and chunk splitter on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz_check.h"
#include "vsparser_avi.h"

namespace
{

void summarise(const std::vector<unsigned char> &image, u32 total_size)
{
    RFILE f{reinterpret_cast<uintptr_t>(image.data()), 0, static_cast<unsigned long>(image.size())};
    KOLVEX_XCD_CODEC_TYPE standard;
    u32 width = 1, height = 1;
    const u8 found = parse_avi_header(&f, 0, total_size, &standard, &width, &height);
    FUZZ_CHECK(f.offset == 0);
    if (found) {
        FUZZ_CHECK(standard >= H264_DEC && standard <= H263_ENC);
    } else {
        FUZZ_CHECK(width == 0 && height == 0);
    }
}

// Walks the window unit by unit as a caller would, checking every unit lies inside it.
void split(const std::vector<unsigned char> &image)
{
    const auto base = reinterpret_cast<uintptr_t>(image.data());
    const size_t size = image.size();
    size_t pos = 0;
    for (int guard = 0; guard < 100000 && pos < size; ++guard) {
        uintptr_t start = 0;
        u32 frame_size = 0, consumed = 0;
        const u32 r =
            VsParserForAvi(MPEG4_DEC, base + pos, static_cast<u32>(size - pos), &start, &frame_size, &consumed);
        if (r == AVI_PARSE_NO_ROOM)
            break;
        if (r == AVI_PARSE_FOUND) {
            FUZZ_CHECK(start > base + pos && start + frame_size <= base + size);
            FUZZ_CHECK(frame_size > 0 && consumed >= frame_size && consumed - frame_size <= 1);
            // Touch the unit's bytes so that the sanitizer sees any error in its bounds.
            volatile unsigned char sink = 0;
            for (u32 i = 0; i < frame_size; i += 64)
                sink = sink + image[start - base + i];
            pos = start - base + consumed;
            continue;
        }
        FUZZ_CHECK(r == AVI_PARSE_WINDOW_END);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact-size heap copy, so that AddressSanitizer sees any read past the image.
    const std::vector<unsigned char> image(data, data + size);
    summarise(image, static_cast<u32>(size));
    summarise(image, 0xFFFFFFFFu);
    if (size > 0)
        summarise(image, data[0] * 16u);

    AVI_INFOs info{};
    info.standard = AVI_STANDARD_NONE;
    RFILE f{reinterpret_cast<uintptr_t>(image.data()), size > 0 ? data[0] % (size + 1) : 0,
            static_cast<unsigned long>(size)};
    if (_parse_avi_header(&f, 0, static_cast<u32>(size), &info))
        FUZZ_CHECK(info.fccHandler[4] == 0);
    FUZZ_CHECK(f.offset <= size);

    split(image);
    return 0;
}
