// The video output on the display fixture's X server: windows, the EGL set-up and image ring,
// the shaders, and the writer that fills the images from another thread. A seam in front of a
// few EGL calls (this program's definitions win over libEGL's) brings the EGLs this host lacks.
#include "test_common.h"

#include "egl_image_writer.h"
#include "video_output.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <thread>

using namespace ::testing::internal;

namespace
{

struct EglSeam {
    const char *extensions = nullptr;  // replaces eglQueryString(EGL_EXTENSIONS)
    const char *hidden_proc = nullptr; // eglGetProcAddress answers null for this name
    size_t fail_image_from = ~0u;      // eglCreateImageKHR fails from this call on (0-based)
    struct ImageCall {
        EGLContext context;
        EGLenum target;
        uintptr_t buffer;
        std::vector<EGLint> attrs;
        EGLImageKHR result;
    };
    std::vector<ImageCall> image_calls; // every eglCreateImageKHR call, in order
} seam;

template <typename F> F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

PFNEGLCREATEIMAGEKHRPROC real_create_image;

EGLImageKHR EGLAPIENTRY seam_create_image(EGLDisplay dpy, EGLContext ctx, EGLenum target, EGLClientBuffer buffer,
                                          const EGLint *attrs)
{
    EglSeam::ImageCall call{ctx, target, reinterpret_cast<uintptr_t>(buffer), {EGL_NONE}, EGL_NO_IMAGE_KHR};
    for (const EGLint *a = attrs; *a != EGL_NONE; a += 2)
        call.attrs.insert(call.attrs.end() - 1, {a[0], a[1]});
    if (seam.image_calls.size() < seam.fail_image_from)
        call.result = real_create_image(dpy, ctx, target, buffer, attrs);
    seam.image_calls.push_back(call);
    return call.result;
}

} // namespace

extern "C" EGLAPI const char *EGLAPIENTRY eglQueryString(EGLDisplay dpy, EGLint name)
{
    static auto pass = real<const char *(EGLAPIENTRY *)(EGLDisplay, EGLint)>("eglQueryString");
    return name == EGL_EXTENSIONS && seam.extensions ? seam.extensions : pass(dpy, name);
}

extern "C" EGLAPI __eglMustCastToProperFunctionPointerType EGLAPIENTRY eglGetProcAddress(const char *name)
{
    static auto pass = real<__eglMustCastToProperFunctionPointerType(EGLAPIENTRY *)(const char *)>("eglGetProcAddress");
    if (seam.hidden_proc != nullptr && std::strcmp(name, seam.hidden_proc) == 0)
        return nullptr;
    if (std::strcmp(name, "eglCreateImageKHR") != 0)
        return pass(name);
    real_create_image = reinterpret_cast<PFNEGLCREATEIMAGEKHRPROC>(pass(name));
    return reinterpret_cast<__eglMustCastToProperFunctionPointerType>(seam_create_image);
}

namespace
{

const EGLDisplay kSentinelDisplay = reinterpret_cast<EGLDisplay>(0x5151);

// One OpenWindow call: its arguments, the display out-parameter preset to a sentinel, and what
// it answered and wrote.
struct Ring {
    EGLDisplay display = kSentinelDisplay;
    EGLSurface surface = EGL_NO_SURFACE;
    GLuint tex[kVideoRingSlots] = {};
    Pixmap pix[kVideoRingSlots] = {};
    EGLImageKHR img[kVideoRingSlots] = {};
    unsigned char *va[kVideoRingSlots] = {};
    int result = 0;
    std::string out, err;

    // A window of w_width x w_height at 16, 8 with `size` images of w x h.
    int call(int size, int w = 176, int h = 160, int w_width = 1280, int w_height = 800)
    {
        return OpenWindow(&display, &surface, 16, 8, w_width, w_height, tex, pix, img, va, size, w, h);
    }
    Ring &open(int size, int w = 176, int h = 160, int w_width = 1280, int w_height = 800)
    {
        CaptureStdout(), CaptureStderr();
        result = call(size, w, h, w_width, w_height);
        out = GetCapturedStdout();
        err = GetCapturedStderr();
        return *this;
    }
};

struct VideoOutput : ::testing::Test {
    void SetUp() override { seam = EglSeam{}; }
};

constexpr char kTextureImages[] = "video output: EGL images over GL textures (no EGL_KHR_image_pixmap)\n";
constexpr char kPixmapImages[] = "video output: EGL images over X pixmaps\n";

} // namespace

// What the ring's images are made over follows the EGL's extensions; a slot that fails keeps the
// slots before it; set-ups that fail keep the out-parameters; an empty ring needs no extension.
// Every call that gets that far reuses one surface and context on the one connection, and the
// pixmaps of the call before are gone from the server.
TEST_F(VideoOutput, RingImagesFollowTheExtensionsTheEglOffers)
{
    const char *texture_only = "EGL_KHR_image_base EGL_KHR_gl_texture_2D_image", *made = "Created EGL Images\n";
    const char *pixmaps = "EGL_KHR_image_base EGL_KHR_image_pixmap EGL_KHR_gl_texture_2D_image";
    struct Case {
        const char *extensions, *hidden_proc;
        size_t fail_image_from, calls; // the seam refuses from image call fail_image_from on
        EGLenum target;                // of the image calls; 0 when the set-up fails before the slots
        int size, w, h, w_width, result;
        const char *out, *err;
    } cases[] = {
        {texture_only, nullptr, 9, 3, EGL_GL_TEXTURE_2D_KHR, 3, 176, 160, 1280, 0, made, kTextureImages},
        {texture_only, nullptr, 1, 2, EGL_GL_TEXTURE_2D_KHR, 3, 176, 160, 1280, -1, "Couldn't create khrImages\n",
         kTextureImages},
        // EGLs with pixmap images, or with neither kind (this host has none: the seam refuses).
        {pixmaps, nullptr, 0, 1, EGL_NATIVE_PIXMAP_KHR, 3, 176, 160, 1280, -1, "Couldn't create khrImages\n",
         kPixmapImages},
        {"EGL_KHR_image_base", nullptr, 0, 1, EGL_NATIVE_PIXMAP_KHR, 3, 176, 160, 1280, -1,
         "Couldn't create khrImages\n", kPixmapImages},
        {nullptr, "eglCreateImageKHR", 9, 0, 0, 3, 176, 160, 1280, -1, "Couldn't find eglCreateImageKHR\n", ""},
        {nullptr, "glEGLImageTargetTexture2DOES", 9, 0, 0, 3, 176, 160, 1280, -1,
         "Couldn't find glEGLImageTargetTexture2DOES\n", ""},
        {nullptr, "eglCreateImageKHR", 9, 0, 0, 0, 176, 160, 1280, 0, made, ""},
        {nullptr, nullptr, 9, 0, 0, 4, 176, 160, 1280, -1, "OpenWindow: ring of 4 images of 176 x 160 not usable\n",
         ""},
        {nullptr, nullptr, 9, 0, 0, 1, 0, 160, 1280, -1, "OpenWindow: ring of 1 images of 0 x 160 not usable\n", ""},
        {nullptr, nullptr, 9, 0, 0, 1, 176, 32768, 1280, -1, "OpenWindow: ring of 1 images of 176 x 32768 not usable\n",
         ""},
        {nullptr, nullptr, 9, 0, 0, 1, 176, 160, 0, 1, "OpenWindow: window size 0 x 800 not usable\n", ""},
    };
    Pixmap last_pix[kVideoRingSlots] = {};
    auto known = [](Pixmap p) {
        auto handler = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
        Window root;
        int x, y;
        unsigned w, h, border, depth;
        const bool found = XGetGeometry(x_display, p, &root, &x, &y, &w, &h, &border, &depth) != 0;
        XSetErrorHandler(handler);
        return found;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.out);
        seam = EglSeam{c.extensions, c.hidden_proc, c.fail_image_from, {}};
        Ring r;
        r.open(c.size, c.w, c.h, c.w_width);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err); // one line per call, not per slot
        EXPECT_EQ(r.display == kSentinelDisplay, r.result != 0);
        ASSERT_EQ(seam.image_calls.size(), c.calls);
        if (c.target == 0)
            continue;
        static const EGLSurface surface = eglGetCurrentSurface(EGL_DRAW);
        EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), surface);
        for (Pixmap p : last_pix)
            EXPECT_FALSE(p != 0 && known(p));
        std::copy(r.pix, r.pix + kVideoRingSlots, last_pix);
        static Display *const connection = x_display;
        EXPECT_EQ(x_display, connection);
        for (size_t i = 0; i < 3; i++) {
            EXPECT_EQ(r.pix[i] != 0, i < c.calls); // the slot's pixmap comes first
            EXPECT_NE(r.tex[i], 0u);               // every texture is made before the slots
            EXPECT_EQ(r.va[i], nullptr);           // CPU addresses are never filled
            if (i >= c.calls)
                continue;
            const auto &call = seam.image_calls[i];
            EXPECT_EQ(call.target, c.target);
            EXPECT_EQ(call.result, r.img[i]);
            if (c.target == EGL_NATIVE_PIXMAP_KHR) {
                EXPECT_EQ(call.context, EGL_NO_CONTEXT);
                EXPECT_EQ(call.buffer, r.pix[i]);
                EXPECT_EQ(call.attrs, (std::vector<EGLint>{EGL_IMAGE_PRESERVED_KHR, EGL_TRUE, EGL_NONE}));
            } else {
                EXPECT_EQ(call.context, eglGetCurrentContext()); // Mesa crashes on EGL_NO_CONTEXT here
                EXPECT_EQ(call.attrs, (std::vector<EGLint>{EGL_GL_TEXTURE_LEVEL_KHR, 0, EGL_IMAGE_PRESERVED_KHR,
                                                           EGL_TRUE, EGL_NONE}));
                EXPECT_TRUE(std::find(r.tex, r.tex + 3, call.buffer) == r.tex + 3); // a source texture of its own
            }
        }
    }
}

// The backdrop's connection is never used again, so its requests must be sent before it returns.
TEST_F(VideoOutput, WindowsAreChatWindowsAskingForFullScreen)
{
    Display *wm = XOpenDisplay(nullptr); // watches the root window as a window manager would
    XSelectInput(wm, DefaultRootWindow(wm), SubstructureNotifyMask);
    XSync(wm, False);
    // The window of the next full-screen request within ~5 s: name, place, size, border, events
    // selected on it, whether it is mapped.
    auto next_request = [wm] {
        XEvent e{};
        const long add = 1, state = static_cast<long>(XInternAtom(wm, "_NET_WM_STATE_FULLSCREEN", False));
        for (int i = 0; i < 100 && !(e.type == ClientMessage && e.xclient.format == 32 && e.xclient.data.l[0] == add &&
                                     e.xclient.data.l[1] == state && e.xclient.data.l[2] == 0);)
            XPending(wm) ? (void)XNextEvent(wm, &e) : (void)(i++, usleep(50000));
        char *name = nullptr, text[200] = "none";
        XWindowAttributes a;
        if (e.type == ClientMessage && XFetchName(wm, e.xclient.window, &name) &&
            XGetWindowAttributes(wm, e.xclient.window, &a))
            std::snprintf(text, sizeof text, "%s %d,%d %dx%d border %d events %lx %s", name, a.x, a.y, a.width,
                          a.height, a.border_width, a.all_event_masks, a.map_state == IsViewable ? "mapped" : "not");
        XFree(name);
        return std::string(text);
    };
    ASSERT_EQ(OpenWindowBlank(), 1);
    EXPECT_EQ(next_request(), "Chat 0,0 1280x800 border 0 events 8005 mapped");
    ASSERT_EQ(Ring().open(1, 32, 32, 640, 480).result, 0);
    EXPECT_EQ(next_request(), "Chat 16,8 640x480 border 0 events 8005 mapped");
    XCloseDisplay(wm);
}

// A fragment shader with a syntax error, and one that reads a varying the vertex shader does not
// write (a link error in GLSL ES 1.00): each ends the process with status 1 after its line.
TEST_F(VideoOutput, ShaderThatDoesNotCompileOrLinkEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto build = [](const char *fragment) {
        dup2(2, 1); // the lines go to standard output: let the death test see them
        Ring().call(0);
        init_render(&program, &pos_location, fragment, static_cast<int>(std::strlen(fragment) + 1));
    };
    EXPECT_EXIT(build("precision mediump float;\nvoid main() { gl_FragColor = vec4(1) }\n"),
                ::testing::ExitedWithCode(1),
                "Created EGL Images\nSuccess to compile GLSL shader\nError: Failed to compile GLSL shader\n");
    EXPECT_EXIT(build("precision mediump float;\nvarying vec2 not_written;\nuniform sampler2D tex;\n"
                      "void main() { gl_FragColor = texture2D(tex, not_written); }\n"),
                ::testing::ExitedWithCode(1),
                "Created EGL Images\nSuccess to compile GLSL shader\nSuccess to compile GLSL shader\n"
                "Error: Failed to Link GLSL shader\n");
}

// The writer on a thread of its own, as a decoder: where the EGL cannot make a context without a
// config and a surface it writes through a pbuffer context; it refuses what does not fit the
// image, whose storage has the slot's size.
TEST_F(VideoOutput, ImageWriterFillsTheImagesFromAnotherThreadAndRefusesWhatDoesNotFit)
{
    constexpr int kW = 32, kH = 16;
    seam.extensions = "EGL_KHR_image_base EGL_KHR_gl_texture_2D_image";
    Ring r;
    ASSERT_EQ(r.open(1, kW, kH).result, 0) << r.out;
    std::vector<std::uint8_t> picture((kW + 1) * (kH + 1) * 4);
    for (size_t i = 0; i < picture.size(); i++)
        picture[i] = static_cast<std::uint8_t>(i * 7 + i / 128);
    std::string results;
    std::thread([&] {
        EglImageWriter writer;
        auto write = [&](EGLImageKHR image, int w, int h, size_t bytes) {
            bool written = writer.write(image, w, h, std::span(picture).first(bytes));
            results += std::string(written ? "written" : writer.error()) + "\n";
        };
        write(r.img[0], kW, kH, kW * kH * 4);
        results += std::string(writer.open(EGL_NO_DISPLAY) ? "opened" : writer.error()) + "\n";
        ASSERT_TRUE(writer.open(r.display)) << writer.error();
        EGLContext context = eglGetCurrentContext();
        EXPECT_NE(eglGetCurrentSurface(EGL_DRAW), EGL_NO_SURFACE); // the pbuffer
        EXPECT_TRUE(writer.open(r.display));
        EXPECT_EQ(eglGetCurrentContext(), context); // open again on the same display: the same context
        write(r.img[0], kW, kH, kW * kH * 4 - 1);
        write(r.img[0], 0x40000000, 0x40000000, picture.size());
        write(r.img[0], kW + 1, kH, picture.size());
        write(r.img[0], kW, kH + 1, picture.size());
        write(r.img[0], kW, kH, kW * kH * 4);
        writer.close();
        write(r.img[0], kW, kH, kW * kH * 4);
    }).join();
    const std::string short_data = "picture data shorter than width x height x 4\n";
    const std::string too_big = "glTexSubImage2D refused the picture (larger than the image?)\n";
    EXPECT_EQ(results, "writer not open\nno EGL display\n" + short_data + short_data + too_big + too_big +
                           "written\nwriter not open\n");
    // Read back through this thread's context: the slot's texture shows what the writer wrote.
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, r.tex[0], 0);
    std::vector<std::uint8_t> shown(kW * kH * 4);
    glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, shown.data());
    picture.resize(kW * kH * 4);
    EXPECT_EQ(shown, picture);
}
