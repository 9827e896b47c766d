// Transitional: the display test helpers tests/suite/test_decoding_pass.cpp still uses under
// their old names (a root-window capture, and the image writer's old calls over EglImageWriter).
// Reached through display/screen_capture.h; both go when that test moves to EglImageWriter.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>
#include <cstdint>
#include <span>
#include <vector>

#include "egl_image_writer.h"

struct RGB_PICTURE {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // rows top to bottom, 3 bytes per pixel
    const std::uint8_t *At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

inline bool CaptureRootWindow(Display *dpy, RGB_PICTURE *picture)
{
    int screen = DefaultScreen(dpy);
    picture->width = DisplayWidth(dpy, screen);
    picture->height = DisplayHeight(dpy, screen);
    XImage *image = XGetImage(dpy, RootWindow(dpy, screen), 0, 0, static_cast<unsigned>(picture->width),
                              static_cast<unsigned>(picture->height), AllPlanes, ZPixmap);
    if (image == nullptr)
        return false;
    auto channel = [](unsigned long pixel, unsigned long mask) {
        unsigned long max = mask >> std::countr_zero(mask);
        return static_cast<std::uint8_t>(((pixel & mask) >> std::countr_zero(mask)) * 255 / max);
    };
    picture->rgb.clear();
    for (int y = 0; y < picture->height; y++)
        for (int x = 0; x < picture->width; x++) {
            unsigned long p = XGetPixel(image, x, y);
            picture->rgb.insert(picture->rgb.end(), {channel(p, image->red_mask), channel(p, image->green_mask),
                                                     channel(p, image->blue_mask)});
        }
    XDestroyImage(image);
    return true;
}

struct EGL_IMAGE_WRITER {
    EglImageWriter writer;
    std::vector<EGLImageKHR> images; // texture name n + 1 is images[n]
};
inline bool EglImageWriterOpen(EGL_IMAGE_WRITER *w, EGLDisplay display)
{
    return w->writer.open(display);
}
inline GLuint EglImageWriterBind(EGL_IMAGE_WRITER *w, EGLImageKHR image)
{
    w->images.push_back(image);
    return static_cast<GLuint>(w->images.size());
}
inline bool EglImageWriterUpload(EGL_IMAGE_WRITER *w, GLuint tex, int width, int height,
                                 std::span<const std::uint8_t> rgba)
{
    return tex >= 1 && tex <= w->images.size() && w->writer.write(w->images[tex - 1], width, height, rgba);
}
inline void EglImageWriterClose(EGL_IMAGE_WRITER *w)
{
    w->writer.close();
}
