// Root-window screenshots and a dependency-free image writer (uncompressed PNG or PPM).
#include "screen_capture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace
{

// Scales the bits of `pixel` under `mask` to 0..255.
std::uint8_t Channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = std::countr_zero(mask);
    unsigned long max = mask >> shift;
    unsigned long value = (pixel & mask) >> shift;
    return static_cast<std::uint8_t>((value * 255 + max / 2) / max);
}

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t *data, size_t size)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; n++) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; k++)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; i++)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBE32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> s));
}

void PutChunk(std::vector<std::uint8_t> &out, const char *type, const std::vector<std::uint8_t> &data)
{
    PutBE32(out, static_cast<std::uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBE32(out, Crc32(0, out.data() + start, out.size() - start));
}

// PNG with stored (uncompressed) deflate blocks: big, but needs no zlib.
std::vector<std::uint8_t> EncodePng(const RGB_PICTURE &p)
{
    std::vector<std::uint8_t> raw;
    size_t row = static_cast<size_t>(p.width) * 3;
    raw.reserve((row + 1) * p.height);
    for (int y = 0; y < p.height; y++) {
        raw.push_back(0); // filter: none
        raw.insert(raw.end(), p.rgb.begin() + y * row, p.rgb.begin() + (y + 1) * row);
    }

    std::vector<std::uint8_t> z = {0x78, 0x01};
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        z.push_back(pos + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBE32(z, (b << 16) | a);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    PutBE32(ihdr, static_cast<std::uint32_t>(p.width));
    PutBE32(ihdr, static_cast<std::uint32_t>(p.height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", z);
    PutChunk(png, "IEND", {});
    return png;
}

} // namespace

bool CaptureRootWindow(Display *dpy, RGB_PICTURE *picture)
{
    if (dpy == nullptr)
        return false;
    int screen = DefaultScreen(dpy);
    int width = DisplayWidth(dpy, screen);
    int height = DisplayHeight(dpy, screen);
    XImage *image = XGetImage(dpy, RootWindow(dpy, screen), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr)
        return false;
    auto destroy = [](XImage *i) { XDestroyImage(i); }; // a macro, so wrapped
    std::unique_ptr<XImage, decltype(destroy)> owner(image, destroy);
    picture->width = width;
    picture->height = height;
    picture->rgb.resize(static_cast<size_t>(width) * height * 3);
    std::uint8_t *out = picture->rgb.data();
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            unsigned long pixel = XGetPixel(image, x, y);
            *out++ = Channel(pixel, image->red_mask);
            *out++ = Channel(pixel, image->green_mask);
            *out++ = Channel(pixel, image->blue_mask);
        }
    }
    return true;
}

bool WritePicture(const char *path, const RGB_PICTURE &picture)
{
    if (picture.width < 1 || picture.height < 1 ||
        picture.rgb.size() != static_cast<size_t>(picture.width) * picture.height * 3)
        return false;
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path, "wb"), std::fclose);
    if (!file)
        return false;
    std::string_view name(path);
    bool ok;
    if (name.size() >= 4 && name.substr(name.size() - 4) == ".png") {
        std::vector<std::uint8_t> png = EncodePng(picture);
        ok = std::fwrite(png.data(), 1, png.size(), file.get()) == png.size();
    } else {
        ok = std::fprintf(file.get(), "P6\n%d %d\n255\n", picture.width, picture.height) > 0 &&
             std::fwrite(picture.rgb.data(), 1, picture.rgb.size(), file.get()) == picture.rgb.size();
    }
    return std::fclose(file.release()) == 0 && ok;
}
