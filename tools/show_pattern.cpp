// Shows a known test pattern through the video output the way the decoding pass does: blank
// backdrop, EGL window with a ring of images, a writer on a thread of its own that is handed
// only the images (as a decoder is), then every slot drawn in turn with ShowFrame.
//
//   show_pattern [--width W] [--height H] [--slots N] [--yuv] [--screenshot FILE.png|FILE.ppm]
//
// Texel (x, y) of slot s is RGBA (37x + 85s, 53y + 19s, 29(x + 2y) + 40s, 255), each modulo 256:
// every texel differs from its neighbours both ways, so a screenshot tells nearest from blended
// sampling and shows which way up and which slot it is. --yuv draws with the YUV shader instead
// of the pass-through one. The screenshot (uncompressed PNG, or binary PPM) is taken after the
// last slot is shown. Exit status 0 on success, 1 on any failure.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "egl_image_writer.h"
#include "video_output.h"

namespace
{

struct Options {
    int width = 176;
    int height = 160;
    int slots = kVideoRingSlots;
    bool yuv = false;
    const char *screenshot = nullptr;
};

bool parse_int(const char *text, int low, int high, int *value)
{
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    *value = static_cast<int>(v);
    return true;
}

bool parse_options(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; i++) {
        std::string_view arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--yuv") {
            o->yuv = true;
        } else if (arg == "--width" && has_value) {
            if (!parse_int(argv[++i], 1, 4096, &o->width))
                return false;
        } else if (arg == "--height" && has_value) {
            if (!parse_int(argv[++i], 1, 4096, &o->height))
                return false;
        } else if (arg == "--slots" && has_value) {
            if (!parse_int(argv[++i], 1, kVideoRingSlots, &o->slots))
                return false;
        } else if (arg == "--screenshot" && has_value) {
            o->screenshot = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

// Slot `slot`'s pattern: width x height RGBA texels, rows top to bottom.
std::vector<std::uint8_t> make_pattern(int slot, int width, int height)
{
    std::vector<std::uint8_t> rgba;
    rgba.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            rgba.insert(rgba.end(),
                        {static_cast<std::uint8_t>(x * 37 + slot * 85), static_cast<std::uint8_t>(y * 53 + slot * 19),
                         static_cast<std::uint8_t>((x + 2 * y) * 29 + slot * 40), 255});
    return rgba;
}

// On a new thread, as a decoder does: writes slot i's pattern into images[i]. "" or what failed.
std::string write_patterns_from_thread(EGLDisplay display, const EGLImageKHR *images, const Options &o)
{
    std::string failure;
    std::thread([&] {
        EglImageWriter writer;
        for (int i = 0; i < o.slots && failure.empty(); i++)
            if (!writer.open(display) ||
                !writer.write(images[i], o.width, o.height, make_pattern(i, o.width, o.height)))
                failure = "slot " + std::to_string(i) + ": " + writer.error();
        writer.close();
    }).join();
    return failure;
}

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // rows top to bottom, 3 bytes per pixel
};

// Scales the bits of `pixel` under `mask` to 0..255.
std::uint8_t channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = std::countr_zero(mask);
    unsigned long max = mask >> shift;
    return static_cast<std::uint8_t>((((pixel & mask) >> shift) * 255 + max / 2) / max);
}

// The whole root window of the default screen. The EGL swap goes over the same connection, so
// it is done before the read.
bool capture_root_window(Display *dpy, RgbPicture *picture)
{
    int screen = DefaultScreen(dpy);
    picture->width = DisplayWidth(dpy, screen);
    picture->height = DisplayHeight(dpy, screen);
    XImage *image = XGetImage(dpy, RootWindow(dpy, screen), 0, 0, static_cast<unsigned>(picture->width),
                              static_cast<unsigned>(picture->height), AllPlanes, ZPixmap);
    if (image == nullptr)
        return false;
    picture->rgb.clear();
    for (int y = 0; y < picture->height; y++)
        for (int x = 0; x < picture->width; x++) {
            unsigned long pixel = XGetPixel(image, x, y);
            picture->rgb.insert(picture->rgb.end(), {channel(pixel, image->red_mask), channel(pixel, image->green_mask),
                                                     channel(pixel, image->blue_mask)});
        }
    XDestroyImage(image);
    return true;
}

std::uint32_t crc32(const std::uint8_t *data, size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; i++) {
        crc ^= data[i];
        for (int k = 0; k < 8; k++)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

void put_be32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> s));
}

void put_chunk(std::vector<std::uint8_t> &out, const char *type, const std::vector<std::uint8_t> &data)
{
    put_be32(out, static_cast<std::uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_be32(out, crc32(out.data() + start, out.size() - start));
}

// PNG with stored (uncompressed) deflate blocks: big, but needs no zlib.
std::vector<std::uint8_t> encode_png(const RgbPicture &p)
{
    std::vector<std::uint8_t> raw;
    size_t row = static_cast<size_t>(p.width) * 3;
    for (int y = 0; y < p.height; y++) {
        raw.push_back(0); // filter: none
        raw.insert(raw.end(), p.rgb.begin() + y * row, p.rgb.begin() + (y + 1) * row);
    }
    std::vector<std::uint8_t> z = {0x78, 0x01};
    for (size_t pos = 0; pos < raw.size();) {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        z.insert(z.end(), {static_cast<std::uint8_t>(pos + n == raw.size()), static_cast<std::uint8_t>(n),
                           static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(~n),
                           static_cast<std::uint8_t>(~n >> 8)});
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    }
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put_be32(z, (b << 16) | a);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    put_be32(ihdr, static_cast<std::uint32_t>(p.width));
    put_be32(ihdr, static_cast<std::uint32_t>(p.height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    put_chunk(png, "IHDR", ihdr);
    put_chunk(png, "IDAT", z);
    put_chunk(png, "IEND", {});
    return png;
}

// PNG when `path` ends in ".png", binary PPM otherwise.
bool write_picture(const char *path, const RgbPicture &picture)
{
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path, "wb"), std::fclose);
    if (!file)
        return false;
    std::vector<std::uint8_t> bytes;
    if (std::string_view(path).ends_with(".png")) {
        bytes = encode_png(picture);
    } else {
        std::string header = "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
        bytes.assign(header.begin(), header.end());
        bytes.insert(bytes.end(), picture.rgb.begin(), picture.rgb.end());
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fclose(file.release()) == 0 && written;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!parse_options(argc, argv, &o)) {
        std::fprintf(stderr, "usage: show_pattern [--width W] [--height H] [--slots 1..3] [--yuv] "
                             "[--screenshot FILE.png|FILE.ppm]\n");
        return 1;
    }

    OpenWindowBlank();
    if (OpenWindow(&egl_display, &egl_surface, 0, 0, 1280, 800, textures, pixmaps, khrImages, vAddrEGL, o.slots,
                   o.width, o.height) != 0)
        return 1;
    if (o.yuv)
        init_render(&program, &pos_location, kFragmentShader, sizeof(kFragmentShader));
    else
        init_render(&program, &pos_location, kFragmentShaderRGB, sizeof(kFragmentShaderRGB));

    // The handover carries only the images; the display comes from the thread that made them.
    std::string failure = write_patterns_from_thread(eglGetCurrentDisplay(), khrImages, o);
    if (!failure.empty()) {
        std::fprintf(stderr, "show_pattern: %s\n", failure.c_str());
        return 1;
    }

    for (int i = 0; i < o.slots; i++)
        ShowFrame(egl_display, egl_surface, static_cast<int>(program), textures[i], pos_location);

    if (o.screenshot != nullptr) {
        RgbPicture picture;
        if (!capture_root_window(x_display, &picture) || !write_picture(o.screenshot, picture)) {
            std::fprintf(stderr, "show_pattern: cannot save the screenshot to %s\n", o.screenshot);
            return 1;
        }
        std::printf("screenshot of slot %d: %s\n", o.slots - 1, o.screenshot);
    }
    return 0;
}
