// MPEG-2 and MPEG-4 Visual / H.263 splitters: a unit is one picture with the
// headers in front of it, or one slice / video packet when slices are split.
#include "vsparser.h"

SplitResult mpeg2_parse(SplitterState & /*state*/, const CodecEntry & /*codec*/, std::span<const u8> window,
                        SplitUnit *unit, bool stream_start, bool slices_split)
{
    const u8 *src_mem = window.data();
    const u32 buffer_size = static_cast<u32>(window.size());
    // A unit whose start is not met (a picture first in the stream) starts
    // at the window start.
    unit->start = 0;
    u32 pictures = 0, headers = 0, slices = 0;
    u32 j;
    uint64_t i = 0;
    while (FindStartCode(src_mem, i, buffer_size, &j)) {
        if (static_cast<uint64_t>(j) + 3 >= buffer_size) {
            break;
        }
        u8 code = src_mem[j + 3];
        if (code == 0xB3 || code == 0xB8) {
            ++headers;
            if (pictures == 0 && headers == 1) {
                unit->start = j;
            }
            if (pictures == 1) {
                pictures = 2;
            }
            if (slices == 1) {
                pictures = 2;
            }
        } else if (code == 0x00) {
            if (stream_start) {
                unit->size = j - unit->start;
                return SplitResult::Unit;
            }
            ++pictures;
            if (pictures == 1 && slices == 0 && headers == 0) {
                unit->start = j;
            }
            if (slices == 1) {
                ++pictures;
            }
        } else if (code >= 0x01 && code <= 0xAF && slices_split) {
            ++slices;
            if (slices == 1 && pictures == 0 && headers == 0) {
                unit->start = j;
            }
            if (slices == 2) {
                pictures = 2;
            }
        }
        if (pictures >= 2) {
            unit->size = j - unit->start;
            return SplitResult::Unit;
        }
        i = static_cast<uint64_t>(j) + 1;
    }
    return pictures == 1 ? SplitResult::UnitOpen : SplitResult::NoUnitEnd;
}

// MPEG-4 Visual and H.263: the data decide between start codes and short
// video headers, whatever the extension says.
SplitResult mpeg4_parse(SplitterState &state, const CodecEntry & /*codec*/, std::span<const u8> window, SplitUnit *unit,
                        bool stream_start, bool slices_split)
{
    const u8 *src_mem = window.data();
    const u32 buffer_size = static_cast<u32>(window.size());
    unit->start = 0;
    // The mode comes from the stream's first zero pair: 00 00 01 means start codes, anything
    // else short video headers; later windows keep it. A window split off a stream of unknown
    // mode decides alone, and with slice splitting one that begins at a resync marker (which
    // ended the previous unit) stays in start-code mode, or its VOP start codes would go unseen.
    u32 first_pair;
    bool short_header = state.short_header == 1;
    if (stream_start || state.short_header < 0) {
        short_header = FindZeroPair(src_mem, 0, buffer_size, &first_pair) && src_mem[first_pair + 2] != 0x01 &&
                       !(slices_split && !stream_start && first_pair == 0 && (src_mem[2] & 0x80) != 0);
        if (stream_start)
            state.short_header = short_header ? 1 : 0;
    }
    u32 pictures = 0, headers = 0;
    u32 j;
    uint64_t i = 0;
    auto end_at = [&](u32 pos) {
        unit->size = pos - unit->start;
        return SplitResult::Unit;
    };
    // A short-header picture or a video packet begins at pos: true when it
    // is the second one, which ends the unit.
    auto packet_begins = [&](u32 pos) {
        ++pictures;
        if (pictures == 1) {
            unit->start = pos;
        }
        return pictures == 2;
    };

    if (short_header) {
        while (FindZeroPair(src_mem, i, buffer_size, &j)) {
            if ((src_mem[j + 2] >> 2) == 0x20 && packet_begins(j)) {
                return end_at(j);
            }
            i = static_cast<uint64_t>(j) + 1;
        }
        return pictures == 1 ? SplitResult::UnitOpen : SplitResult::NoUnitEnd;
    }

    while (FindZeroPair(src_mem, i, buffer_size, &j)) {
        u8 third = src_mem[j + 2];
        if (third == 0x01) {
            if (static_cast<uint64_t>(j) + 3 < buffer_size) {
                u8 code = src_mem[j + 3];
                if (code == 0xB0 || code == 0xB5 || code == 0xB2 || code == 0xB3 || code <= 0x2F) {
                    ++headers;
                    if (pictures == 0 && headers == 1) {
                        unit->start = j;
                    }
                    if (pictures == 1) {
                        pictures = 2;
                    }
                } else if (code == 0xB6) {
                    if (stream_start) {
                        return end_at(j);
                    }
                    ++pictures;
                    if (pictures == 1 && headers == 0) {
                        unit->start = j;
                    }
                }
                if (pictures >= 2) {
                    return end_at(j);
                }
            }
        } else if (slices_split && (third & 0x80) != 0 && packet_begins(j)) {
            return end_at(j); // resync marker: the next video packet
        }
        i = static_cast<uint64_t>(j) + 1;
    }
    return pictures == 1 ? SplitResult::UnitOpen : SplitResult::NoUnitEnd;
}
