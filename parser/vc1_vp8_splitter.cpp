// VC-1 splitters (RCV files of the simple and main profiles, advanced-profile
// elementary streams) and the VP8 splitter for IVF files. The container
// header sizes come from the codec table.
#include "vsparser.h"

#include <cstring>

namespace
{

u32 Le32(const u8 *p)
{
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
           (static_cast<u32>(p[3]) << 24);
}

u32 Le24(const u8 *p)
{
    return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16);
}

} // namespace

SplitResult rcv_parse(SplitterState & /*state*/, const CodecEntry &codec, std::span<const u8> window, SplitUnit *unit,
                      bool /*stream_start*/, bool /*slices*/)
{
    const u8 *src_mem = window.data();
    const u32 buffer_size = static_cast<u32>(window.size());
    unit->start = 0;
    if (buffer_size < 8) {
        return SplitResult::UnitOpen; // not even a length field: a truncated unit
    }
    uint64_t size;
    if (src_mem[3] == 0xC5) {
        // Sequence header: fixed bytes around the extension data, whose
        // length (bytes 4 to 7) is usually 4 but not always.
        size = codec.file_header + static_cast<uint64_t>(Le32(src_mem + 4));
    } else {
        size = codec.frame_header + static_cast<uint64_t>(Le24(src_mem));
    }
    if (size >= buffer_size) {
        return SplitResult::UnitOpen;
    }
    unit->size = static_cast<u32>(size);
    return SplitResult::Unit;
}

SplitResult vp8_parser(SplitterState & /*state*/, const CodecEntry &codec, std::span<const u8> window, SplitUnit *unit,
                       bool /*stream_start*/, bool /*slices*/)
{
    const u8 *src_mem = window.data();
    const u32 buffer_size = static_cast<u32>(window.size());
    u32 h = (buffer_size >= 4 && std::memcmp(src_mem, "DKIF", 4) == 0) ? codec.file_header : 0u;
    unit->start = h + codec.frame_header;
    if (static_cast<uint64_t>(h) + 3 > buffer_size) {
        return SplitResult::UnitOpen;
    }
    unit->size = Le24(src_mem + h);
    return (static_cast<uint64_t>(unit->start) + unit->size >= buffer_size) ? SplitResult::UnitOpen : SplitResult::Unit;
}

SplitResult vc1_parse_advancedProfile_Frame(SplitterState & /*state*/, const CodecEntry & /*codec*/,
                                            std::span<const u8> window, SplitUnit *unit, bool stream_start,
                                            bool /*slices*/)
{
    // The unit runs from its first frame, field or header start code to the
    // start code that ends it; bytes in front of it are not counted, so start
    // and size always describe the same bytes.
    const u8 *src_mem = window.data();
    const u32 buffer_size = static_cast<u32>(window.size());
    unit->start = 0;
    int seq = 0, entry = 0, frame = 0;
    u8 prev = 0;
    u32 p;
    uint64_t from = 0;
    auto end_at = [&](u32 pos, u8 code) {
        unit->size = pos - unit->start;
        return code == 0x0A ? SplitResult::NoUnitEnd : SplitResult::Unit;
    };
    while (FindStartCode(src_mem, from, buffer_size, &p)) {
        if (static_cast<uint64_t>(p) + 3 >= buffer_size) {
            break;
        }
        u8 code = src_mem[p + 3];
        if (stream_start) {
            if (entry) {
                return end_at(p, code);
            }
            if (code == 0x0F) {
                unit->start = p;
                seq = 1;
            } else if (code == 0x0E && seq) {
                entry = 1;
            }
        } else if (code == 0x0F || code == 0x0E || code == 0x0A) {
            if (prev == 0x0B || prev == 0x0C || prev == 0x0D) {
                return end_at(p, code);
            }
            if (code == 0x0F) {
                seq = 1;
            }
            if (prev != 0x0F) {
                unit->start = p;
            }
            prev = seq ? 0x0F : code;
        } else if (code == 0x0C || code == 0x0D) {
            if (prev != 0x0F && prev != 0x0E) {
                if (frame) {
                    return end_at(p, code);
                }
                unit->start = p;
            }
            frame = 1;
            prev = code;
        }
        from = static_cast<uint64_t>(p) + 1;
    }
    return SplitResult::UnitOpen;
}

u8 SkippedPictureCheck(const u8 *src_mem, u32 index)
{
    return (src_mem[index] & 0xF0) == 0xF0 ? 1 : 0;
}
