// MPEG-4 Visual configuration data and pictures through the delimiter frame extractor.
#include "MPEG4Frames.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace
{

constexpr unsigned char kVopStartCode = 0xB6;
constexpr int kMaxConfigUnits = 30;  // units gathered before the first picture at most
constexpr int kMaxPictureUnits = 20; // units gathered for one picture at most
constexpr int kStartCodeBits = 32;   // 00 00 01 and the value byte

// The longest layer header walked: start code plus 188 bits of fields, and one byte that
// read_bits may touch past the last field.
constexpr int kVolHeaderBytes = 32;

bool is_layer_header(unsigned char value)
{
    return (value & 0xF0) == 0x20;
}

// Reads the picture size out of a video object layer header unit (start code included).
// A unit too short for the fields read leaves conf_data as it was.
void walk_layer_header(const unsigned char *unit, int unit_size, MPEG4_CONFIG_DATA *conf_data)
{
    std::array<unsigned char, kVolHeaderBytes> hdr{}; // bits past the unit read as 0
    std::memcpy(hdr.data(), unit, static_cast<size_t>(std::min(unit_size, kVolHeaderBytes)));
    int offset = kStartCodeBits;
    auto bits = [&](int n) { return read_bits(hdr.data(), n, &offset); };

    bits(1);       // random_accessible_vol
    bits(8);       // video_object_type_indication
    if (bits(1)) { // is_object_layer_identifier
        bits(4);   // verid
        bits(3);   // priority
    }
    if (bits(4) == 15) { // aspect_ratio_info: extended PAR
        bits(8);         // par_width
        bits(8);         // par_height
    }
    if (bits(1)) {     // vol_control_parameters
        bits(3);       // chroma_format, low_delay
        if (bits(1)) { // vbv_parameters: 79 bits of bit rate and buffer fields
            bits(24);
            bits(24);
            bits(24);
            bits(7);
        }
    }
    const unsigned shape = bits(2);
    bits(1); // marker
    const unsigned resolution = bits(16);
    bits(1);       // marker
    if (bits(1)) { // fixed_vop_rate: the increment counts 0 .. resolution - 1
        bits(resolution > 1 ? num_bits(resolution - 1) : 1);
    }
    if (shape != 0)
        return; // only rectangular layers carry a size
    bits(1);
    const unsigned width = bits(13);
    bits(1);
    const unsigned height = bits(13);
    bits(1);
    bits(1); // interlaced
    if (offset > static_cast<long long>(unit_size) * 8)
        return;
    conf_data->width = static_cast<int>(width);
    conf_data->height = static_cast<int>(height);
}

// Start-code value of a unit, or 0 when the unit is too short to hold one.
unsigned char unit_value(const unsigned char *unit, int unit_size)
{
    return unit_size >= 4 ? unit[3] : 0;
}

// Takes the next unit at buf + used. The extractor's continuation is not used here: a unit
// that does not fit is dropped, and the context must not keep pointing into our buffer.
int take_unit(FRAMEX_CTX *ctx, void *fp, unsigned char *buf, int buf_size, int used, int *unit_size)
{
    const int result = FrameExtractorNext(ctx, fp, buf + used, buf_size - used, unit_size);
    if (result == FRAMEX_ERR_BUF_FULL)
        ctx->cont_offset = 0;
    return result;
}

} // namespace

int ExtractConfigStreamMpeg4(FRAMEX_CTX *pFrameExCtx, void *fp, unsigned char *buf, int buf_size,
                             MPEG4_CONFIG_DATA *conf_data)
{
    if (buf == nullptr)
        return 0;
    int used = 0;
    for (int i = 0; i < kMaxConfigUnits; ++i) {
        std::array<unsigned char, 4> peek{};
        int peek_fill = 0;
        FrameExtractorPeek(pFrameExCtx, fp, peek.data(), static_cast<int>(peek.size()), &peek_fill);
        if (peek[3] == kVopStartCode)
            break;
        int unit_size = 0;
        if (take_unit(pFrameExCtx, fp, buf, buf_size, used, &unit_size) != FRAMEX_OK)
            break;
        const unsigned char *unit = buf + used;
        if (conf_data != nullptr && is_layer_header(unit_value(unit, unit_size)))
            walk_layer_header(unit, unit_size, conf_data);
        used += unit_size;
    }
    used += NextFrameMpeg4(pFrameExCtx, fp, buf + used, buf_size - used, nullptr);
    return used;
}

int NextFrameMpeg4(FRAMEX_CTX *pFrameExCtx, void *fp, unsigned char *buf, int buf_size, unsigned int *coding_type)
{
    if (buf == nullptr)
        return 0;
    int used = 0;
    for (int i = 0; i < kMaxPictureUnits; ++i) {
        int unit_size = 0;
        if (take_unit(pFrameExCtx, fp, buf, buf_size, used, &unit_size) != FRAMEX_OK)
            return 0;
        const unsigned char *unit = buf + used;
        used += unit_size;
        if (unit_value(unit, unit_size) == kVopStartCode) {
            if (coding_type != nullptr) {
                int offset = kStartCodeBits;
                // A 4-byte picture unit is followed in buf by the next prefix, whose 00 reads as intra.
                *coding_type = unit_size > 4 ? read_bits(unit, 2, &offset) : 0;
            }
            break;
        }
    }
    return used;
}

unsigned int read_bits(const unsigned char *bytes, int num_read, int *bit_offset)
{
    if (num_read > 24)
        return 0xFFFFFFFF;
    if (num_read <= 0)
        return 0;
    const int first = *bit_offset / 8;
    const int skip = *bit_offset % 8;
    const int nbytes = (skip + num_read) / 8 + 1; // at most 4 for 24 bits
    unsigned int value = 0;
    for (int i = 0; i < nbytes; ++i)
        value = value << 8 | bytes[first + i];
    value >>= nbytes * 8 - (skip + num_read);
    value &= (1u << num_read) - 1;
    *bit_offset += num_read;
    return value;
}

int find_one(unsigned int bits8)
{
    static constexpr std::array<int, 8> kBits{0, 1, 2, 2, 3, 3, 3, 3};
    return bits8 >= 8 ? 4 : kBits[bits8];
}

int num_bits(unsigned int bits)
{
    int n = 0;
    while (bits >= 16) {
        bits >>= 4;
        n += 4;
    }
    return n + find_one(bits);
}
