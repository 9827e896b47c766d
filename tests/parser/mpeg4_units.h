// MPEG-4 Visual start-code units built by name, so that a test reads like its stream.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "stream_builders.h"

namespace mpeg4_units
{

using sb::Bytes;

inline Bytes cat(const std::vector<Bytes> &parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class BitWriter
{
public:
    void put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (used_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= static_cast<unsigned char>(0x80 >> (used_ % 8));
            ++used_;
        }
    }
    // Stuffing as in the published syntax: a 0 then 1s up to the byte boundary.
    Bytes aligned()
    {
        put(0, 1);
        while (used_ % 8)
            put(1, 1);
        return bytes_;
    }

private:
    Bytes bytes_;
    int used_ = 0;
};

inline Bytes start_code(unsigned char value, const Bytes &payload = {})
{
    Bytes b{0x00, 0x00, 0x01, value};
    b.insert(b.end(), payload.begin(), payload.end());
    // A payload must not carry a prefix of its own, or the test would describe another stream.
    for (size_t i = 4; i + 1 < b.size(); ++i)
        if (b[i] == 0 && b[i + 1] == 0)
            ADD_FAILURE() << "00 00 inside a unit payload";
    return b;
}

// Header units whose content the extraction does not read.
inline Bytes visual_object_sequence()
{
    return sb::Mpeg4Vos();
}
inline Bytes visual_object()
{
    return sb::Mpeg4Vo();
}
inline Bytes video_object()
{
    return sb::Mpeg4VideoObject();
}
inline Bytes user_data()
{
    return sb::StartCode(0xB2, 4);
}
inline Bytes group_of_vop()
{
    return sb::Mpeg4Gov();
}

// A picture of the given coding type; tag makes pictures tell apart (size and content).
inline Bytes vop(unsigned coding_type, unsigned char tag)
{
    Bytes payload{static_cast<unsigned char>(coding_type << 6 | 0x15)};
    for (int i = 0; i < tag + 2; ++i)
        payload.push_back(static_cast<unsigned char>(tag | 0x40));
    return start_code(0xB6, payload);
}

struct Vol {
    bool identifier = false;
    unsigned aspect = 1;
    bool control = false;
    bool vbv = false;
    unsigned shape = 0;
    unsigned resolution = 25;
    bool fixed = false;
    unsigned increment = 1;
    unsigned width = 352;
    unsigned height = 288;
    unsigned char value = 0x20;
};

inline int increment_bits(unsigned resolution)
{
    int n = 0;
    for (unsigned v = resolution > 1 ? resolution - 1 : 1; v; v >>= 1)
        ++n;
    return n;
}

// A video object layer header with the fields in the order of the published syntax.
inline Bytes vol(const Vol &v)
{
    BitWriter w;
    w.put(0, 1); // random_accessible_vol
    w.put(1, 8); // video_object_type_indication: simple
    w.put(v.identifier, 1);
    if (v.identifier) {
        w.put(2, 4); // verid
        w.put(1, 3); // priority
    }
    w.put(v.aspect, 4);
    if (v.aspect == 15) {
        w.put(12, 8); // par_width
        w.put(11, 8); // par_height
    }
    w.put(v.control, 1);
    if (v.control) {
        w.put(1, 2); // chroma_format 4:2:0
        w.put(1, 1); // low_delay
        w.put(v.vbv, 1);
        if (v.vbv) {
            // Bit rate and buffer fields, 79 bits with their markers, all ones.
            w.put(0x7FFF, 15);
            w.put(0xFFFFFF, 24);
            w.put(0xFFFFFF, 24);
            w.put(0xFFFF, 16);
        }
    }
    w.put(v.shape, 2);
    w.put(1, 1);
    w.put(v.resolution, 16);
    w.put(1, 1);
    w.put(v.fixed, 1);
    if (v.fixed)
        w.put(v.increment, increment_bits(v.resolution));
    if (v.shape == 0) {
        w.put(1, 1);
        w.put(v.width, 13);
        w.put(1, 1);
        w.put(v.height, 13);
        w.put(1, 1);
    }
    w.put(0, 1); // interlaced
    w.put(1, 1); // obmc_disable
    w.put(0, 1); // sprite_enable
    return start_code(v.value, w.aligned());
}

} // namespace mpeg4_units
