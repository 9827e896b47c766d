// Shared by the video output tests: a seam in front of a few EGL calls, child processes with
// captured output, and the check for a reachable X display.
#ifndef TESTS_DISPLAY_TEST_SUPPORT_H
#define TESTS_DISPLAY_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "video_output.h"

// Faults and observations of the EGL seam; zero means "pass through".
struct EGL_SEAM {
    const char *extensions = nullptr;   // replaces eglQueryString(EGL_EXTENSIONS)
    const char *hidden_proc = nullptr;  // eglGetProcAddress answers null for this name
    int fail_image_from = -1;           // eglCreateImageKHR fails from this call on (0-based)
    bool no_config = false;             // eglChooseConfig finds nothing
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
#define REQUIRE_X_DISPLAY()                                                                          \
    do {                                                                                             \
        if (!DisplayReachable())                                                                     \
            GTEST_SKIP() << "no X display reachable (DISPLAY unset or dead); source scripts/xvfb.sh"; \
    } while (0)

struct CHILD_RESULT {
    int status = -1;  // exit status, or 128 + signal
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs this test program again as `scenario` (see RunScenario) with extra environment entries
// ("NAME=value"); the child is killed after 60 s.
CHILD_RESULT RunScenarioChild(const std::string &scenario, const std::vector<std::string> &env = {});

// The scenarios a child runs instead of the tests; returns the exit status.
int RunScenario(const std::string &name);

// Sentinels for out-parameters that must stay untouched.
inline EGLDisplay SentinelDisplay() { return reinterpret_cast<EGLDisplay>(0x5151); }
inline EGLSurface SentinelSurface() { return reinterpret_cast<EGLSurface>(0x5252); }

#endif
