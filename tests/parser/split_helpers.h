// Runs the splitters over a byte buffer the way the frame-table build does.
#pragma once

#include <vector>

#include "stream_builders.h"
#include "vsparser.h"

namespace sb
{

struct Unit {
    u32 ret;
    size_t start; // window offset of the unit
    u32 size;
};

// The splitting state the tests share, as one stream's parser would.
inline SplitterState &TestSplitState()
{
    static SplitterState state;
    return state;
}
inline const SPS_HEADER *H264StoredSps(int id)
{
    return (id >= 0 && id < 32) ? &TestSplitState().h264.sps[id] : nullptr;
}
inline const PPS_HEADER *H264StoredPps(int id)
{
    return (id >= 0 && id < 256) ? &TestSplitState().h264.pps[id] : nullptr;
}

// One VsParser call on the window w[from, end).
inline Unit SplitAt(KOLVEX_XCD_CODEC_TYPE codec, Bytes &w, size_t from, bool first, bool slices = false,
                    size_t end = static_cast<size_t>(-1))
{
    if (end > w.size()) {
        end = w.size();
    }
    uintptr_t base = reinterpret_cast<uintptr_t>(w.data());
    uintptr_t start = 0;
    u32 size = 0;
    u32 ret = static_cast<u32>(VsParser(TestSplitState(), codec, base + from, static_cast<u32>(end - from), &start,
                                        &size, first ? 1 : 0, slices ? 1 : 0));
    return {ret, static_cast<size_t>(start - base), size};
}

// Sizes of the units of the whole buffer, cut as the build cuts them: the
// first call is told it sees the stream start, every unit is taken from the
// cursor, and the remainder at the end is the last unit.
inline std::vector<u32> UnitSizes(KOLVEX_XCD_CODEC_TYPE codec, Bytes w, bool slices = false)
{
    std::vector<u32> sizes;
    size_t cursor = 0;
    bool first = true;
    while (cursor < w.size()) {
        Unit u = SplitAt(codec, w, cursor, first, slices);
        first = false;
        if (u.ret != 0) {
            sizes.push_back(static_cast<u32>(w.size() - cursor));
            break;
        }
        size_t end = u.start + u.size;
        if (end <= cursor) {
            sizes.push_back(static_cast<u32>(w.size() - cursor));
            break;
        }
        sizes.push_back(static_cast<u32>(end - cursor));
        cursor = end;
    }
    return sizes;
}

} // namespace sb
