// A picture whose every texel differs from its neighbours in both directions, so a screenshot
// tells nearest from blended sampling and shows which way up and which slot it is; and a writer
// that puts it into EGL images the way a decoder does, from a thread and context of its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "egl_image_writer.h"

inline std::array<std::uint8_t, 4> TestPatternTexel(int slot, int x, int y)
{
    return {static_cast<std::uint8_t>(x * 37 + slot * 85), static_cast<std::uint8_t>(y * 53 + slot * 19),
            static_cast<std::uint8_t>((x + 2 * y) * 29 + slot * 40), 255};
}

// width x height RGBA texels, rows top to bottom.
std::vector<std::uint8_t> MakeTestPattern(int slot, int width, int height);

// On a new thread: opens an image writer on `display`, writes slot i's pattern into images[i]
// for every slot, closes the writer. Returns "" on success, else what failed.
std::string WriteTestPatternsFromThread(EGLDisplay display, const EGLImageKHR *images, int slots, int width, int height,
                                        EGL_WRITER_SURFACE mode = EGL_WRITER_SURFACE::kAuto);
