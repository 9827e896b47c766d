// Byte-sequence builders for the parser tests: each helper is named after the
// stream element it makes, so a test reads like the stream it describes.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "vsparser_main.h"

namespace sb
{

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline Bytes Filler(size_t n, uint8_t value = 0xAA)
{
    return Bytes(n, value);
}

inline void PutLE(Bytes &b, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i) {
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

inline Bytes Fourcc(const char *s)
{
    return Bytes(s, s + 4);
}

// ------------------------------------------------------------------ H.264

// Writes RBSP bits MSB first; Nal() adds emulation prevention.
class Bits
{
public:
    Bits &U(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            Bit((value >> i) & 1);
        }
        return *this;
    }
    Bits &Ue(uint32_t value)
    {
        uint64_t v = static_cast<uint64_t>(value) + 1;
        int len = 0;
        while ((v >> len) > 1) {
            ++len;
        }
        for (int i = 0; i < len; ++i) {
            Bit(0);
        }
        for (int i = len; i >= 0; --i) {
            Bit(static_cast<int>((v >> i) & 1));
        }
        return *this;
    }
    Bytes Rbsp()
    {
        Bits copy = *this;
        copy.Bit(1); // rbsp_stop_one_bit
        while (copy.nbits_ % 8) {
            copy.Bit(0);
        }
        // Some payload so that a slice is not all header.
        copy.bytes_.insert(copy.bytes_.end(), {0x55, 0x66, 0x77});
        return copy.bytes_;
    }

private:
    void Bit(int b)
    {
        if (nbits_ % 8 == 0) {
            bytes_.push_back(0);
        }
        if (b) {
            bytes_.back() |= static_cast<uint8_t>(0x80 >> (nbits_ % 8));
        }
        ++nbits_;
    }
    Bytes bytes_;
    int nbits_ = 0;
};

inline Bytes Nal(int nal_type, const Bytes &rbsp, bool four_byte_start = false, int ref_idc = 3)
{
    Bytes out = four_byte_start ? Bytes{0, 0, 0, 1} : Bytes{0, 0, 1};
    out.push_back(static_cast<uint8_t>((ref_idc << 5) | nal_type));
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = (b == 0) ? zeros + 1 : 0;
    }
    return out;
}

struct SpsParams {
    int profile_idc = 66;
    uint32_t id = 0;
    uint32_t log2_max_frame_num_minus4 = 0;
    uint32_t poc_type = 0;
    uint32_t log2_max_poc_lsb_minus4 = 2;
    int delta_pic_order_always_zero = 0;
};

inline Bytes Sps(const SpsParams &p = {})
{
    Bits b;
    b.U(static_cast<uint32_t>(p.profile_idc), 8).U(0, 8).U(30, 8).Ue(p.id);
    if (p.profile_idc == 66) {
        b.Ue(p.log2_max_frame_num_minus4).Ue(p.poc_type);
        if (p.poc_type == 0) {
            b.Ue(p.log2_max_poc_lsb_minus4);
        } else if (p.poc_type == 1) {
            b.U(static_cast<uint32_t>(p.delta_pic_order_always_zero), 1);
        }
    }
    b.Ue(1).U(0, 1).Ue(10).Ue(8).U(1, 1).U(0, 1).U(1, 1).U(0, 1).U(0, 1);
    return Nal(7, b.Rbsp(), true);
}

struct PpsParams {
    uint32_t id = 0;
    uint32_t sps_id = 0;
    int redundant_pic_cnt_present = 0;
};

inline Bytes Pps(const PpsParams &p = {})
{
    Bits b;
    b.Ue(p.id).Ue(p.sps_id).U(0, 1).U(0, 1).Ue(0).Ue(0).Ue(0).U(0, 1).U(0, 2).Ue(0).Ue(0).Ue(0);
    b.U(1, 1).U(0, 1).U(static_cast<uint32_t>(p.redundant_pic_cnt_present), 1);
    return Nal(8, b.Rbsp(), true);
}

struct SliceParams {
    bool idr = false;
    uint32_t first_mb = 0;
    uint32_t slice_type = 0;
    uint32_t pps_id = 0;
    uint32_t frame_num = 0;
    int frame_num_bits = 4; // must match the SPS
    uint32_t idr_pic_id = 0;
    uint32_t poc_lsb = 0;
    int poc_lsb_bits = 6;       // must match the SPS (type 0)
    int redundant_pic_cnt = -1; // written when >= 0
    bool four_byte_start = false;
};

inline Bytes Slice(const SliceParams &p = {})
{
    Bits b;
    b.Ue(p.first_mb).Ue(p.slice_type).Ue(p.pps_id).U(p.frame_num, p.frame_num_bits);
    if (p.idr) {
        b.Ue(p.idr_pic_id);
    }
    b.U(p.poc_lsb, p.poc_lsb_bits);
    if (p.redundant_pic_cnt >= 0) {
        b.Ue(static_cast<uint32_t>(p.redundant_pic_cnt));
    }
    b.Ue(0); // slice_qp_delta and friends: just more bits
    return Nal(p.idr ? 5 : 1, b.Rbsp(), p.four_byte_start);
}

inline Bytes IdrSlice(uint32_t first_mb, uint32_t idr_pic_id = 0, uint32_t frame_num = 0)
{
    SliceParams p;
    p.idr = true;
    p.first_mb = first_mb;
    p.idr_pic_id = idr_pic_id;
    p.frame_num = frame_num;
    p.slice_type = 7;
    return Slice(p);
}

inline Bytes PSlice(uint32_t first_mb, uint32_t frame_num, uint32_t poc_lsb = 0)
{
    SliceParams p;
    p.first_mb = first_mb;
    p.frame_num = frame_num;
    p.poc_lsb = poc_lsb;
    return Slice(p);
}

inline Bytes Aud()
{
    return Nal(9, Bytes{0xF0}, true);
}

// ----------------------------------------------------------- MPEG-2 / MPEG-4

// Start code 00 00 01 code, then `body` bytes free of zero pairs.
inline Bytes StartCode(uint8_t code, size_t body = 6)
{
    Bytes b{0, 0, 1, code};
    for (size_t i = 0; i < body; ++i) {
        b.push_back(static_cast<uint8_t>(0x11 + (i % 0x60)));
    }
    return b;
}

inline Bytes Mpeg2Sequence()
{
    return StartCode(0xB3, 8);
}
inline Bytes Mpeg2Extension()
{
    return StartCode(0xB5, 6);
}
inline Bytes Mpeg2Gop()
{
    return StartCode(0xB8, 4);
}
inline Bytes Mpeg2Picture()
{
    return StartCode(0x00, 5);
}
inline Bytes Mpeg2Slice(uint8_t row = 1, size_t body = 20)
{
    return StartCode(row, body);
}
inline Bytes Mpeg2SequenceEnd()
{
    return Bytes{0, 0, 1, 0xB7};
}

inline Bytes Mpeg4Vos()
{
    return StartCode(0xB0, 1);
}
inline Bytes Mpeg4Vo()
{
    return StartCode(0xB5, 1);
}
inline Bytes Mpeg4VideoObject()
{
    return StartCode(0x00, 0);
}
inline Bytes Mpeg4Vol()
{
    return StartCode(0x20, 10);
}
inline Bytes Mpeg4Gov()
{
    return StartCode(0xB3, 3);
}
inline Bytes Mpeg4Vop(size_t body = 30)
{
    return StartCode(0xB6, body);
}
// Resync marker beginning a video packet: 16 zero bits, then a 1 in the top bit.
inline Bytes Mpeg4Resync(size_t body = 12)
{
    Bytes b{0, 0, 0x80};
    for (size_t i = 0; i < body; ++i) {
        b.push_back(static_cast<uint8_t>(0x21 + i % 0x50));
    }
    return b;
}
// H.263 picture: 22-bit picture start code 0000 0000 0000 0000 1000 00.
inline Bytes H263Picture(size_t body = 40)
{
    Bytes b{0, 0, 0x82};
    for (size_t i = 0; i < body; ++i) {
        b.push_back(static_cast<uint8_t>(0x31 + i % 0x40));
    }
    return b;
}

// ---------------------------------------------------------------- VC-1 / VP8

inline Bytes RcvSequenceHeader(uint32_t ext_len = 4, uint32_t frames = 2)
{
    Bytes b;
    PutLE(b, frames, 3);
    b.push_back(0xC5);
    PutLE(b, ext_len, 4);
    for (uint32_t i = 0; i < ext_len; ++i) {
        b.push_back(static_cast<uint8_t>(0x40 + i));
    }
    PutLE(b, 144, 4);
    PutLE(b, 176, 4);
    PutLE(b, 12, 4);
    b.insert(b.end(), 12, 0x01);
    return b;
}

inline Bytes RcvFrame(uint32_t n, uint8_t flags = 0x00, uint32_t timestamp = 0)
{
    Bytes b;
    PutLE(b, n, 3);
    b.push_back(flags);
    PutLE(b, timestamp, 4);
    for (uint32_t i = 0; i < n; ++i) {
        b.push_back(static_cast<uint8_t>(i * 7 + 1));
    }
    return b;
}

inline Bytes IvfHeader(uint32_t frames = 3)
{
    Bytes b = Fourcc("DKIF");
    PutLE(b, 0, 2);
    PutLE(b, 32, 2);
    Bytes v = Fourcc("VP80");
    b.insert(b.end(), v.begin(), v.end());
    PutLE(b, 176, 2);
    PutLE(b, 144, 2);
    PutLE(b, 30, 4);
    PutLE(b, 1, 4);
    PutLE(b, frames, 4);
    PutLE(b, 0, 4);
    return b;
}

inline Bytes IvfFrame(uint32_t n, uint8_t fourth_size_byte = 0, uint64_t pts = 0)
{
    Bytes b;
    PutLE(b, n, 3);
    b.push_back(fourth_size_byte);
    PutLE(b, pts, 8);
    for (uint32_t i = 0; i < n; ++i) {
        b.push_back(static_cast<uint8_t>(0x90 + i % 16));
    }
    return b;
}

inline Bytes Vc1SequenceHeader()
{
    return StartCode(0x0F, 10);
}
inline Bytes Vc1EntryPoint()
{
    return StartCode(0x0E, 6);
}
inline Bytes Vc1Frame(size_t body = 40)
{
    return StartCode(0x0D, body);
}
inline Bytes Vc1Field(size_t body = 30)
{
    return StartCode(0x0C, body);
}
inline Bytes Vc1Slice(size_t body = 20)
{
    return StartCode(0x0B, body);
}
inline Bytes Vc1UserData(size_t body = 8)
{
    return StartCode(0x1F, body);
}
inline Bytes Vc1EndOfSequence()
{
    return Bytes{0, 0, 1, 0x0A};
}

// ----------------------------------------------------------------------- AVI

inline Bytes Chunk(const char *id, const Bytes &payload)
{
    Bytes b = Fourcc(id);
    PutLE(b, payload.size(), 4);
    b.insert(b.end(), payload.begin(), payload.end());
    if (payload.size() & 1) {
        b.push_back(0);
    }
    return b;
}

inline Bytes List(const char *kind, const char *form, const Bytes &contents)
{
    Bytes b = Fourcc(kind);
    PutLE(b, contents.size() + 4, 4);
    Bytes f = Fourcc(form);
    b.insert(b.end(), f.begin(), f.end());
    b.insert(b.end(), contents.begin(), contents.end());
    return b;
}

inline Bytes Avih(uint32_t streams, uint32_t width = 176, uint32_t height = 144, uint32_t flags = 0x10)
{
    Bytes b;
    PutLE(b, 40000, 4);
    PutLE(b, 100000, 4);
    PutLE(b, 0, 4);
    PutLE(b, flags, 4);
    PutLE(b, 25, 4);
    PutLE(b, 0, 4);
    PutLE(b, streams, 4);
    PutLE(b, 65536, 4);
    PutLE(b, width, 4);
    PutLE(b, height, 4);
    b.insert(b.end(), 16, 0);
    return Chunk("avih", b);
}

inline Bytes Strh(const char *type, uint32_t scale, uint32_t rate, uint32_t suggested = 0)
{
    Bytes b = Fourcc(type);
    Bytes h = Fourcc("XVID");
    b.insert(b.end(), h.begin(), h.end());
    PutLE(b, 0, 4);
    PutLE(b, 0, 2);
    PutLE(b, 0, 2);
    PutLE(b, 0, 4);
    PutLE(b, scale, 4);
    PutLE(b, rate, 4);
    PutLE(b, 0, 4);
    PutLE(b, 25, 4);
    PutLE(b, suggested, 4);
    PutLE(b, 0, 4);
    PutLE(b, 0, 4);
    b.insert(b.end(), 8, 0);
    return Chunk("strh", b);
}

inline Bytes VideoStrf(const char *compression = "XVID")
{
    Bytes b;
    PutLE(b, 40, 4);
    PutLE(b, 176, 4);
    PutLE(b, 144, 4);
    PutLE(b, 1, 2);
    PutLE(b, 24, 2);
    Bytes c = Fourcc(compression);
    b.insert(b.end(), c.begin(), c.end());
    b.insert(b.end(), 20, 0);
    return Chunk("strf", b);
}

inline Bytes AudioStrf(uint16_t tag = 1)
{
    Bytes b;
    PutLE(b, tag, 2);
    PutLE(b, 1, 2);
    PutLE(b, 8000, 4);
    PutLE(b, 16000, 4);
    PutLE(b, 2, 2);
    PutLE(b, 16, 2);
    PutLE(b, 0, 2);
    return Chunk("strf", b);
}

inline Bytes VideoStream(uint32_t suggested = 0)
{
    return List("LIST", "strl", Cat({Strh("vids", 1, 25, suggested), VideoStrf()}));
}

inline Bytes AudioStream()
{
    return List("LIST", "strl", Cat({Strh("auds", 1, 8000, 4096), AudioStrf()}));
}

inline Bytes Hdrl(uint32_t streams, std::initializer_list<Bytes> strls)
{
    Bytes contents = Avih(streams);
    for (const Bytes &s : strls) {
        contents.insert(contents.end(), s.begin(), s.end());
    }
    return List("LIST", "hdrl", contents);
}

inline Bytes Movi(std::initializer_list<Bytes> chunks)
{
    return List("LIST", "movi", Cat(chunks));
}

inline Bytes Riff(std::initializer_list<Bytes> items)
{
    return List("RIFF", "AVI ", Cat(items));
}

inline Bytes Payload(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = static_cast<uint8_t>(seed + i);
    }
    return b;
}

// ------------------------------------------------------------ files, tables

// A temporary file with the given extension, removed at scope end.
class TempFile
{
public:
    TempFile(const Bytes &data, const std::string &ext)
    {
        char tmpl[] = "/tmp/parser_test_XXXXXX";
        int fd = mkstemp(tmpl);
        base_ = tmpl;
        path_ = base_ + "." + ext;
        if (fd >= 0) {
            close(fd);
        }
        std::FILE *f = std::fopen(path_.c_str(), "wb");
        if (f != nullptr) {
            if (!data.empty()) {
                std::fwrite(data.data(), 1, data.size(), f);
            }
            std::fclose(f);
        }
    }
    ~TempFile()
    {
        std::remove(path_.c_str());
        std::remove(base_.c_str());
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    char *path() { return path_.data(); }

private:
    std::string base_;
    std::string path_;
};

struct Entry {
    uint64_t offset;
    uint32_t size;
    bool operator==(const Entry &o) const { return offset == o.offset && size == o.size; }
};

inline std::vector<Entry> Table(void *handle)
{
    std::vector<Entry> t;
    uint64_t off;
    u32 size;
    for (int i = 0; GetRawFrameEntry(handle, i, &off, &size); ++i) {
        t.push_back({off, size});
    }
    return t;
}

// Resets the module-wide options to their start values.
inline void ResetOptions()
{
    slice_enable = 0;
    parsing_only = 0;
    decoding_number = -1;
}

inline std::ostream &operator<<(std::ostream &os, const Entry &e)
{
    return os << "(" << e.offset << ", " << e.size << ")";
}

} // namespace sb
