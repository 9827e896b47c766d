// Byte strings for the parser tests and the frame table of a file.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "test_common.h"
#include "vsparser_main.h"

namespace pt
{

using Bytes = std::vector<uint8_t>;

// Hex digit pairs, spaces between them optional; "ab*5" is ab five times.
inline Bytes Hex(const char *s)
{
    Bytes b;
    for (int n = 0; *s != '\0'; s += n) {
        unsigned v = 0;
        if (std::sscanf(s, " %2x%n", &v, &n) == 1)
            b.push_back(static_cast<uint8_t>(v));
        else if (std::sscanf(s, " *%u%n", &v, &n) == 1)
            b.insert(b.end(), v - 1, b.back());
        else
            break;
    }
    return b;
}
inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const Bytes &p : parts)
        b.insert(b.end(), p.begin(), p.end());
    return b;
}
inline Bytes Le(uint64_t v, int n)
{
    Bytes b;
    for (int i = 0; i < n; ++i)
        b.push_back(i < 8 ? static_cast<uint8_t>(v >> (8 * i)) : 0); // wider fields are zero-filled
    return b;
}
// A unit after a 00 00 01 start code: the value byte, then the fields of the printf-style
// `fmt` ("8:66" an 8-bit value, "ue:3" an Exp-Golomb number), a stop bit and four bytes 0x55.
inline Bytes Nal(uint8_t header, const char *fmt, ...)
{
    char bits[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(bits, sizeof bits, fmt, args);
    va_end(args);
    Bytes b{0, 0, 1, header};
    uint64_t acc = 0;
    int n = 0;
    auto put = [&](uint64_t v, int width) {
        for (int i = width - 1; i >= 0; --i) {
            acc = (acc << 1) | ((v >> i) & 1);
            if (++n == 8) {
                b.push_back(static_cast<uint8_t>(acc));
                acc = n = 0;
            }
        }
    };
    for (const char *s = bits; *s != '\0';) {
        char *end;
        if (s[0] == 'u') {
            uint64_t v = std::strtoull(s + 3, &end, 10) + 1;
            put(0, 63 - __builtin_clzll(v));
            put(v, 64 - __builtin_clzll(v));
        } else {
            int w = static_cast<int>(std::strtol(s, &end, 10));
            put(std::strtoull(end + 1, &end, 10), w);
        }
        s = *end ? end + 1 : end;
    }
    put(1, 1);
    put(0, (8 - n) % 8);
    return Cat({b, Bytes(4, 0x55)});
}
// H.264 sets (frame_num and pic_order_cnt_lsb of 4 bits) and slices; MPEG-2, MPEG-4 Visual,
// H.263 and VC-1 units; RCV and IVF headers and frames.
inline const auto Sps = [](int profile = 66, int bits = 0, int id = 0) {
    return Nal(0x67, "8:%d 8:0 8:30 ue:%d ue:%d ue:0 ue:0", profile, id, bits);
};
inline const auto Pps = [](int redundant = 0, int id = 0) {
    return Nal(0x68, "ue:%d ue:0 1:0 1:0 ue:0 ue:0 ue:0 1:0 2:0 ue:0 ue:0 ue:0 1:0 1:0 1:%d", id, redundant);
};
inline const auto Idr = [](int mb, int id) { return Nal(0x65, "ue:%d ue:7 ue:0 4:0 ue:%d 4:0", mb, id); };
inline const auto P = [](int mb, int fn, int poc, int pps = 0) {
    return Nal(0x41, "ue:%d ue:5 ue:%d 4:%d 4:%d", mb, pps, fn, poc);
};
inline const auto Sets = [](int profile = 66, int redundant = 0) { return Cat({Sps(profile), Pps(redundant)}); };
inline const Bytes seq = Hex("00 00 01 b3 11 22"), gop = Hex("00 00 01 b8 33"), pic = Hex("00 00 01 00 44 45"),
                   slice = Hex("00 00 01 01 55"), slice2 = Hex("00 00 01 02 66"), seq_end = Hex("00 00 01 b7");
inline const Bytes vos = Hex("00 00 01 b0 01"), vo = Hex("00 00 01 01"), vol = Hex("00 00 01 20 08"),
                   vop = Hex("00 00 01 b6 10 20 30"), gov = Hex("00 00 01 b3 01"), resync = Hex("00 00 81 aa bb");
inline const Bytes psc = Hex("00 00 80 02 1c aa"), psc2 = Hex("00 00 83 aa bb"), gob = Hex("00 00 84 aa");
inline const Bytes vc_seq = Hex("00 00 01 0f aa"), vc_entry = Hex("00 00 01 0e bb"), vc_frame = Hex("00 00 01 0d cc"),
                   vc_field = Hex("00 00 01 0c dd"), vc_eos = Hex("00 00 01 0a"), vc_user = Hex("00 00 01 1f ee");
inline const Bytes ivf = Hex("44 4b 49 46 00 00 20 00 56 50 38 30 b0 00 90 00 00*16");
inline const auto RcvHeader = [](uint32_t ext) {
    return Cat({Le(2, 3), Hex("c5"), Le(ext, 4), Bytes(ext, 0x40), Hex("90 00 00 00 b0 00 00 00 0c 00 00 00 01*12")});
};
inline const auto RcvFrame = [](uint32_t n, uint8_t flags = 0) {
    return Cat({Le(n, 3), {flags}, Le(0, 4), Bytes(n, 0x21)});
};
inline const auto IvfFrame = [](uint32_t n, uint8_t fourth = 0) {
    return Cat({Le(n, 3), {fourth}, Le(0, 8), Bytes(n, 0x90)});
};
struct Entry {
    uint64_t offset;
    uint32_t size;
    bool operator==(const Entry &) const = default;
};
// Entries that follow each other from offset 0.
inline std::vector<Entry> Seq(std::initializer_list<size_t> sizes)
{
    std::vector<Entry> v;
    uint64_t at = 0;
    for (size_t n : sizes) {
        v.push_back({at, static_cast<uint32_t>(n)});
        at += n;
    }
    return v;
}
struct Table {
    bool opened = false;
    std::vector<Entry> entries;
    int last = -1;
    std::string out; // what the build printed
};
// The frame table of a file, built with the given options; they are reset afterwards.
inline Table Build(const std::string &path, int slices = 0, int limit = -1, int print = 0)
{
    slice_enable = slices;
    decoding_number = limit;
    parsing_only = print;
    Table t;
    testing::internal::CaptureStdout();
    void *h = InitRawFrameExtract(const_cast<char *>(path.c_str()));
    t.out = testing::internal::GetCapturedStdout();
    slice_enable = parsing_only = 0;
    decoding_number = -1;
    if (h != nullptr) {
        t.opened = true;
        Entry e;
        for (int i = 0; GetRawFrameEntry(h, i, &e.offset, &e.size) == 1; ++i)
            t.entries.push_back(e);
        t.last = GetRawLastFrameIndex(h);
        DeInitRawFrameExtract(h);
    }
    return t;
}
inline Table BuildBytes(const Bytes &data, const std::string &ext, int slices = 0, int limit = -1, int print = 0)
{
    omxt::TempDir dir;
    return Build(dir.write("s." + ext, std::string(data.begin(), data.end())), slices, limit, print);
}

} // namespace pt
