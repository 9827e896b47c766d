// Shared by the video output tests: a seam in front of a few EGL calls, child processes with
// captured output, and the check for a reachable X display.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "video_output.h"

// Faults and observations of the EGL seam; zero means "pass through".
struct EGL_SEAM {
    const char *extensions = nullptr;  // replaces eglQueryString(EGL_EXTENSIONS)
    const char *hidden_proc = nullptr; // eglGetProcAddress answers null for this name
    int fail_image_from = -1;          // eglCreateImageKHR fails from this call on (0-based)
    bool no_config = false;            // eglChooseConfig finds nothing
    // Every eglCreateImageKHR call, in order.
    struct IMAGE_CALL {
        EGLContext context;
        EGLenum target;
        EGLClientBuffer buffer;
        std::vector<EGLint> attrs;
        EGLImageKHR result;
    };
    std::vector<IMAGE_CALL> image_calls;
};
extern EGL_SEAM egl_seam;

bool DisplayReachable();
#define REQUIRE_X_DISPLAY()                                                                                            \
    do {                                                                                                               \
        if (!DisplayReachable())                                                                                       \
            GTEST_SKIP() << "no X display reachable (DISPLAY unset or dead); source scripts/xvfb.sh";                  \
    } while (0)

struct CHILD_RESULT {
    int status = -1; // exit status, or 128 + signal
    std::string out; // standard output
    std::string err; // standard error
};

// Runs this test program again as `scenario` (see RunScenario) with extra environment entries
// ("NAME=value"); the child is killed after 60 s.
CHILD_RESULT RunScenarioChild(const std::string &scenario, const std::vector<std::string> &env = {});

// The scenarios a child runs instead of the tests; returns the exit status.
int RunScenario(const std::string &name);

// Sentinels for out-parameters that must stay untouched.
inline EGLDisplay SentinelDisplay()
{
    return reinterpret_cast<EGLDisplay>(0x5151);
}
inline EGLSurface SentinelSurface()
{
    return reinterpret_cast<EGLSurface>(0x5252);
}

// The arrays and out-parameters of one OpenWindow call, the out-parameters preset to sentinels.
struct RING {
    EGLDisplay display = SentinelDisplay();
    EGLSurface surface = SentinelSurface();
    GLuint tex[kVideoRingSlots] = {};
    Pixmap pix[kVideoRingSlots] = {};
    EGLImageKHR img[kVideoRingSlots] = {};
    unsigned char *va[kVideoRingSlots] = {};

    // A 1280 x 800 window at 0, 0 with `size` images of w x h.
    int Open(int size, int w = 176, int h = 160)
    {
        return OpenWindow(&display, &surface, 0, 0, 1280, 800, tex, pix, img, va, size, w, h);
    }
    bool SentinelsKept() const { return display == SentinelDisplay() && surface == SentinelSurface(); }
};
