// Windows, EGL set-up and the image ring.
#include "display_test_support.h"

#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

namespace
{

struct OPENED {
    int result;
    std::string out;
    std::string err;
};

OPENED OpenCaptured(RING &ring, int size, int w = 176, int h = 160)
{
    CaptureStdout();
    CaptureStderr();
    int result = ring.Open(size, w, h);
    std::string out = GetCapturedStdout();
    return {result, out, GetCapturedStderr()};
}

constexpr char kTexturePathLine[] = "video output: EGL images over GL textures (no EGL_KHR_image_pixmap)\n";
constexpr char kPixmapPathLine[] = "video output: EGL images over X pixmaps\n";

} // namespace

TEST(OpenWindowNoDisplay, ReportsAndTriesAgainOnTheNextCall)
{
    std::vector<std::string> env = {"DISPLAY=:4177"}; // nothing listens there
    const char *live = std::getenv("DISPLAY");
    bool have_live = live != nullptr && DisplayReachable();
    if (have_live)
        env.push_back(std::string("OMX_LIVE_DISPLAY=") + live);

    CHILD_RESULT child = RunScenarioChild("dead-display", env);

    ASSERT_EQ(child.status, 0) << child.err;
    std::string dead = "Error - cannot open display\nError - cannot open display\nError - cannot open display\n";
    EXPECT_NE(child.err.find("results 0 1 1 untouched\n"), std::string::npos) << child.err;
    if (have_live) {
        // temp_count stayed 0, so the third call opened the display that is now reachable.
        EXPECT_EQ(child.out, dead + "Created EGL Images\n");
        EXPECT_NE(child.err.find("live 0\n"), std::string::npos) << child.err;
    } else {
        EXPECT_EQ(child.out, dead);
    }
}

TEST(OpenWindow, EmptyRingSucceedsAndWritesTheOutParameters)
{
    REQUIRE_X_DISPLAY();
    RING r;
    OPENED o = OpenCaptured(r, 0);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.out, "Created EGL Images\n");
    EXPECT_EQ(o.err, ""); // no image, so no image path to choose
    EXPECT_NE(r.display, SentinelDisplay());
    EXPECT_NE(r.display, EGL_NO_DISPLAY);
    EXPECT_NE(r.surface, SentinelSurface());
    EXPECT_EQ(r.tex[0], 0u);
    EXPECT_EQ(r.pix[0], 0u);
    EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), r.surface);
}

TEST(OpenWindow, SecondCallReusesTheConnectionAndMakesANewRing)
{
    REQUIRE_X_DISPLAY();
    RING first, second;
    ASSERT_EQ(OpenCaptured(first, 3).result, 0);
    Display *connection = x_display;
    ASSERT_NE(connection, nullptr);
    EGLContext first_context = eglGetCurrentContext();

    OPENED o = OpenCaptured(second, 3);
    ASSERT_EQ(o.result, 0) << o.out;
    EXPECT_EQ(x_display, connection);
    EXPECT_EQ(second.display, first.display); // same native display, same EGL display
    EXPECT_NE(second.surface, first.surface);
    EXPECT_NE(eglGetCurrentContext(), first_context); // the newest context is current
    EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), second.surface);
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(glIsTexture(second.tex[i])); // texture names belong to the new context
        for (int j = 0; j < 3; j++) {
            EXPECT_NE(second.img[i], first.img[j]);
            EXPECT_NE(second.pix[i], first.pix[j]);
        }
        EXPECT_EQ(second.va[i], nullptr); // CPU addresses are never filled
    }
}

TEST(OpenWindow, WithoutPixmapImagesMakesImagesOverTexturesOfTheSlotSize)
{
    REQUIRE_X_DISPLAY();
    egl_seam.extensions = "EGL_KHR_image_base EGL_KHR_gl_texture_2D_image";
    RING r;
    OPENED o = OpenCaptured(r, 3, 176, 160);
    ASSERT_EQ(o.result, 0) << o.out;
    EXPECT_EQ(o.out, "Created EGL Images\n");
    EXPECT_EQ(o.err, kTexturePathLine); // one line per call, not per slot
    ASSERT_EQ(egl_seam.image_calls.size(), 3u);
    EGLContext current = eglGetCurrentContext();
    for (int i = 0; i < 3; i++) {
        const auto &call = egl_seam.image_calls[i];
        EXPECT_EQ(call.target, static_cast<EGLenum>(EGL_GL_TEXTURE_2D_KHR));
        EXPECT_EQ(call.context, current); // Mesa crashes on EGL_NO_CONTEXT here
        EXPECT_EQ(call.attrs,
                  (std::vector<EGLint>{EGL_GL_TEXTURE_LEVEL_KHR, 0, EGL_IMAGE_PRESERVED_KHR, EGL_TRUE, EGL_NONE}));
        EXPECT_EQ(call.result, r.img[i]);
        EXPECT_NE(r.img[i], EGL_NO_IMAGE_KHR);
        EXPECT_NE(r.pix[i], 0u); // pixmaps are made all the same
        // The source texture is neither a slot texture nor shared between slots.
        auto source = static_cast<GLuint>(reinterpret_cast<uintptr_t>(call.buffer));
        for (GLuint t : r.tex)
            EXPECT_NE(source, t);
        // Its storage has the slot's size: a 176 x 160 write fits, one more row does not.
        glBindTexture(GL_TEXTURE_2D, source);
        std::vector<std::uint8_t> rows(176 * 161 * 4);
        while (glGetError() != GL_NO_ERROR) {
        }
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 176, 160, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 176, 161, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE));
    }
}

TEST(OpenWindow, WithPixmapImagesMakesThemOverThePixmaps)
{
    REQUIRE_X_DISPLAY();
    // What this host's EGL really offers decides whether the images can be made.
    bool host_has_pixmap_images = false;
    {
        RING probe;
        ASSERT_EQ(OpenCaptured(probe, 0).result, 0);
        const char *list = eglQueryString(probe.display, EGL_EXTENSIONS);
        host_has_pixmap_images =
            list != nullptr && (std::string(" ") + list + " ").find(" EGL_KHR_image_pixmap ") != std::string::npos;
    }
    egl_seam.extensions = "EGL_KHR_image_base EGL_KHR_image_pixmap EGL_KHR_gl_texture_2D_image";
    RING r;
    OPENED o = OpenCaptured(r, 3);
    EXPECT_EQ(o.err, kPixmapPathLine);
    ASSERT_FALSE(egl_seam.image_calls.empty());
    const auto &call = egl_seam.image_calls[0];
    EXPECT_EQ(call.target, static_cast<EGLenum>(EGL_NATIVE_PIXMAP_KHR));
    EXPECT_EQ(call.context, EGL_NO_CONTEXT);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(call.buffer), static_cast<uintptr_t>(r.pix[0]));
    EXPECT_EQ(call.attrs, (std::vector<EGLint>{EGL_IMAGE_PRESERVED_KHR, EGL_TRUE, EGL_NONE}));
    if (host_has_pixmap_images) {
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.out, "Created EGL Images\n");
    } else {
        EXPECT_EQ(o.result, -1);
        EXPECT_EQ(o.out, "Couldn't create khrImages\n");
        EXPECT_TRUE(r.SentinelsKept());
    }
}

TEST(OpenWindow, WithNeitherImageKindKeepsThePixmapPath)
{
    REQUIRE_X_DISPLAY();
    egl_seam.extensions = "EGL_KHR_image_base";
    egl_seam.fail_image_from = 0; // as an EGL without pixmap images answers
    RING r;
    OPENED o = OpenCaptured(r, 2);
    EXPECT_EQ(o.err, kPixmapPathLine);
    ASSERT_EQ(egl_seam.image_calls.size(), 1u);
    EXPECT_EQ(egl_seam.image_calls[0].target, static_cast<EGLenum>(EGL_NATIVE_PIXMAP_KHR));
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.out, "Couldn't create khrImages\n");
}

TEST(OpenWindow, FailureOnALaterSlotKeepsEarlierSlotsAndTheOutParameters)
{
    REQUIRE_X_DISPLAY();
    egl_seam.fail_image_from = 1;
    RING r;
    OPENED o = OpenCaptured(r, 3);
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.out, "Couldn't create khrImages\n");
    EXPECT_TRUE(r.SentinelsKept());
    EXPECT_NE(r.img[0], EGL_NO_IMAGE_KHR);
    EXPECT_NE(r.pix[0], 0u);
    EXPECT_NE(r.pix[1], 0u); // the pixmap of the failing slot was made first
    EXPECT_EQ(r.img[1], EGL_NO_IMAGE_KHR);
    EXPECT_EQ(r.pix[2], 0u);
    EXPECT_EQ(egl_seam.image_calls.size(), 2u);
    EXPECT_NE(r.tex[2], 0u); // all textures are generated before the slots are filled
}

TEST(OpenWindow, MissingExtensionEntryPointIsAnImageFailureNotACrash)
{
    REQUIRE_X_DISPLAY();
    for (const char *name : {"eglCreateImageKHR", "glEGLImageTargetTexture2DOES"}) {
        egl_seam.hidden_proc = name;
        RING r;
        OPENED o = OpenCaptured(r, 3);
        EXPECT_EQ(o.result, -1) << name;
        EXPECT_EQ(o.out, std::string("Couldn't find ") + name + "\n");
        EXPECT_TRUE(r.SentinelsKept());
        EXPECT_EQ(r.img[0], EGL_NO_IMAGE_KHR);
    }
    // An empty ring needs neither.
    RING r;
    EXPECT_EQ(OpenCaptured(r, 0).result, 0);
}

TEST(OpenWindow, NoMatchingConfigReportsZero)
{
    REQUIRE_X_DISPLAY();
    egl_seam.no_config = true;
    RING r;
    OPENED o = OpenCaptured(r, 3);
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.out, "Didn't get exactly one config, but 0 \n");
    EXPECT_TRUE(r.SentinelsKept());
}

TEST(OpenWindow, RefusesSizesItCannotMake)
{
    // Checked before anything is opened, so no display is needed.
    RING r;
    OPENED o = OpenCaptured(r, 4);
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.out, "OpenWindow: ring of 4 images of 176 x 160 not usable\n");
    EXPECT_EQ(OpenCaptured(r, -1).result, -1);
    EXPECT_EQ(OpenCaptured(r, 1, 0, 160).result, -1);
    EXPECT_EQ(OpenCaptured(r, 1, 176, 40000).result, -1);
    CaptureStdout();
    EXPECT_EQ(OpenWindow(&r.display, &r.surface, 0, 0, 0, 800, r.tex, r.pix, r.img, r.va, 1, 176, 160), 1);
    EXPECT_EQ(GetCapturedStdout(), "OpenWindow: window size 0 x 800 not usable\n");
    EXPECT_TRUE(r.SentinelsKept());
    EXPECT_EQ(r.tex[0], 0u);
}

// Watches the root window as a window manager would and returns the full-screen requests that
// arrive within a bounded time.
class FULL_SCREEN_WATCH
{
public:
    FULL_SCREEN_WATCH() : dpy_(XOpenDisplay(nullptr))
    {
        if (dpy_ != nullptr) {
            XSelectInput(dpy_, DefaultRootWindow(dpy_), SubstructureNotifyMask);
            XSync(dpy_, False);
        }
    }
    ~FULL_SCREEN_WATCH()
    {
        if (dpy_ != nullptr)
            XCloseDisplay(dpy_);
    }
    Display *dpy() const { return dpy_; }

    // The first _NET_WM_STATE client message, or a zeroed event when none comes in ~5 s.
    XClientMessageEvent Next()
    {
        Atom wm_state = XInternAtom(dpy_, "_NET_WM_STATE", False);
        for (int attempt = 0; attempt < 100; attempt++) {
            while (XPending(dpy_) > 0) {
                XEvent e;
                XNextEvent(dpy_, &e);
                if (e.type == ClientMessage && e.xclient.message_type == wm_state)
                    return e.xclient;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return XClientMessageEvent{};
    }

    // The window's name, size and the events some client selected on it.
    std::string Describe(Window w)
    {
        char *name = nullptr;
        std::string text = XFetchName(dpy_, w, &name) && name != nullptr ? name : "(no name)";
        if (name != nullptr)
            XFree(name);
        XWindowAttributes a;
        if (XGetWindowAttributes(dpy_, w, &a))
            text += " " + std::to_string(a.x) + "," + std::to_string(a.y) + " " + std::to_string(a.width) + "x" +
                    std::to_string(a.height) + " border " + std::to_string(a.border_width) + " events " +
                    std::to_string(a.all_event_masks) + (a.map_state == IsViewable ? " viewable" : " unmapped");
        return text;
    }

private:
    Display *dpy_;
};

void ExpectFullScreenRequest(FULL_SCREEN_WATCH &watch, const XClientMessageEvent &m, const std::string &window)
{
    ASSERT_NE(m.window, 0u) << "no full-screen request arrived";
    EXPECT_EQ(m.format, 32);
    EXPECT_EQ(m.data.l[0], 1); // add
    EXPECT_EQ(static_cast<Atom>(m.data.l[1]), XInternAtom(watch.dpy(), "_NET_WM_STATE_FULLSCREEN", False));
    EXPECT_EQ(m.data.l[2], 0);
    EXPECT_EQ(m.data.l[3], 0);
    EXPECT_EQ(m.data.l[4], 0);
    EXPECT_EQ(watch.Describe(m.window), window);
}

// The backdrop's connection is never used again, so its requests (the full-screen request last)
// must have been sent before it returns.
TEST(OpenWindowBlank, MapsABlackFullScreenChatWindow)
{
    REQUIRE_X_DISPLAY();
    FULL_SCREEN_WATCH watch;
    ASSERT_NE(watch.dpy(), nullptr);
    ASSERT_EQ(OpenWindowBlank(), 1);
    ExpectFullScreenRequest(watch, watch.Next(), "Chat 0,0 1280x800 border 0 events 32773 viewable");
}

TEST(OpenWindow, MapsAChatWindowAtTheGivenPlaceAndAsksForFullScreen)
{
    REQUIRE_X_DISPLAY();
    FULL_SCREEN_WATCH watch;
    ASSERT_NE(watch.dpy(), nullptr);
    RING r;
    CaptureStdout();
    CaptureStderr();
    int result = OpenWindow(&r.display, &r.surface, 16, 8, 640, 480, r.tex, r.pix, r.img, r.va, 1, 32, 32);
    GetCapturedStdout();
    GetCapturedStderr();
    ASSERT_EQ(result, 0);
    ExpectFullScreenRequest(watch, watch.Next(), "Chat 16,8 640x480 border 0 events 32773 viewable");
}
