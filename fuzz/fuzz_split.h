// Shared driver of the splitter fuzz targets: cuts the input into units the
// way the frame-table build does and traps on a unit outside its window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "vsparser.h"

inline void FuzzSplit(KOLVEX_XCD_CODEC_TYPE codec, const uint8_t *data, size_t size)
{
    if (size < 1) {
        return;
    }
    // The first byte chooses slice splitting; the rest is the stream, copied
    // to a buffer of its exact size so that any overread is caught.
    const uint8_t slices = data[0] & 1;
    size_t n = size - 1;
    std::unique_ptr<uint8_t[]> buf(new uint8_t[n ? n : 1]);
    if (n) {
        std::memcpy(buf.get(), data + 1, n);
    }
    const uintptr_t base = reinterpret_cast<uintptr_t>(buf.get());
    size_t cursor = 0;
    bool first = true;
    SplitterState state;
    while (cursor <= n) {
        uintptr_t start = 0;
        u32 unit = 0;
        u32 window = static_cast<u32>(n - cursor);
        SplitResult ret = VsParser(state, codec, base + cursor, window, &start, &unit, first ? 1 : 0, slices);
        first = false;
        if (ret != SplitResult::Unit) {
            if (unit != window) {
                __builtin_trap();
            }
            break;
        }
        if (start < base + cursor || start - (base + cursor) > window || unit > window - (start - (base + cursor))) {
            __builtin_trap();
        }
        size_t end = (start - base) + unit;
        if (end <= cursor) {
            break;
        }
        cursor = end;
    }
}
