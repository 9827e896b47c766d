// Shows a known test pattern through the video output the way the decoding pass does: blank
// backdrop, EGL window with a ring of images, a writer on a thread of its own that is handed
// only the images (as a decoder is), then every slot drawn in turn with ShowFrame.
//
//   show_pattern [--width W] [--height H] [--slots N] [--yuv] [--screenshot FILE.png|FILE.ppm]
//
// --yuv draws with the YUV shader instead of the pass-through one. The screenshot is taken after
// the last slot is shown (slot N-1). Exit status 0 on success, 1 on any failure.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "screen_capture.h"
#include "test_pattern.h"
#include "video_output.h"

namespace
{

struct OPTIONS {
    int width = 176;
    int height = 160;
    int slots = kVideoRingSlots;
    bool yuv = false;
    const char *screenshot = nullptr;
};

bool ParseInt(const char *text, int low, int high, int *value)
{
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    *value = static_cast<int>(v);
    return true;
}

bool ParseOptions(int argc, char **argv, OPTIONS *o)
{
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--yuv") {
            o->yuv = true;
        } else if (arg == "--width" && has_value) {
            if (!ParseInt(argv[++i], 1, 4096, &o->width))
                return false;
        } else if (arg == "--height" && has_value) {
            if (!ParseInt(argv[++i], 1, 4096, &o->height))
                return false;
        } else if (arg == "--slots" && has_value) {
            if (!ParseInt(argv[++i], 1, kVideoRingSlots, &o->slots))
                return false;
        } else if (arg == "--screenshot" && has_value) {
            o->screenshot = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    OPTIONS o;
    if (!ParseOptions(argc, argv, &o)) {
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
    std::string failure = WriteTestPatternsFromThread(eglGetCurrentDisplay(), khrImages, o.slots, o.width, o.height);
    if (!failure.empty()) {
        std::fprintf(stderr, "show_pattern: %s\n", failure.c_str());
        return 1;
    }

    for (int i = 0; i < o.slots; i++)
        ShowFrame(egl_display, egl_surface, static_cast<int>(program), textures[i], pos_location);

    if (o.screenshot != nullptr) {
        RGB_PICTURE picture;
        if (!CaptureRootWindow(x_display, &picture) || !WritePicture(o.screenshot, picture)) {
            std::fprintf(stderr, "show_pattern: cannot save the screenshot to %s\n", o.screenshot);
            return 1;
        }
        std::printf("screenshot of slot %d: %s\n", o.slots - 1, o.screenshot);
    }
    return 0;
}
