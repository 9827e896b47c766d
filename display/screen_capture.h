// Screenshots of the X screen, for checking what the video output shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

typedef struct _XDisplay Display; // as Xlib declares it, without its macros

struct RGB_PICTURE {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // rows top to bottom, 3 bytes per pixel

    const std::uint8_t *At(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// Reads the whole root window of the default screen. Requests sent earlier on `dpy` (such as
// the EGL swap, which goes over the same connection) are done before the read.
bool CaptureRootWindow(Display *dpy, RGB_PICTURE *picture);

// Writes `picture` as PNG when `path` ends in ".png", as binary PPM otherwise.
bool WritePicture(const char *path, const RGB_PICTURE &picture);
