// Output windows, the EGL window surface and context, and the ring of EGL images that the decoder
// writes into. One backdrop, and one output window with its surface and context, serve every pass
// of the process; each pass makes its own ring and releases it when it ends (ReleaseImages).
#include "video_output.h"

#include <X11/Xlib.h>

#include "egl_extensions.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

// The module-level display objects the decoding pass shares with OpenWindow, init_render and
// ShowFrame (they are its interface: passed by address, read back while drawing).
Display *x_display;                       // the one X connection of every OpenWindow call
static int temp_count;                    // non-zero once x_display is open: it is opened only once
EGLDisplay egl_display;                   // OpenWindow's first out-parameter in the decoding pass
EGLSurface egl_surface;                   // OpenWindow's second out-parameter, drawn into by ShowFrame
GLuint textures[kVideoRingSlots];         // the ring's textures, one per slot, drawn by ShowFrame
Pixmap pixmaps[kVideoRingSlots];          // the ring's pixmaps, one per slot
EGLImageKHR khrImages[kVideoRingSlots];   // the ring's images: the decoder's output buffers
unsigned char *vAddrEGL[kVideoRingSlots]; // named for the images' CPU addresses, which stay null

namespace
{

// Key press, button press and expose (0x8005).
constexpr long kWindowEventMask = KeyPressMask | ButtonPressMask | ExposureMask;

// Window and pixmap sides travel as 16-bit fields in the X protocol.
constexpr int kMaxSide = 32767;

const EGLint attr[] = {EGL_BUFFER_SIZE, 16, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_NONE};
const EGLint ctxattr[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
const EGLint image_attrs[] = {EGL_IMAGE_PRESERVED_KHR, EGL_TRUE, EGL_NONE};

// OpenWindowBlank's connection, kept open: closing it would remove the backdrop.
Display *backdrop;

// The output window with its EGL surface and context. Nothing in them depends on the entry, so
// every later OpenWindow call of the same place and size reuses them rather than making its own:
// a list of any length then holds one window and one context, and the last picture drawn stays
// on screen until the process ends. Filled step by step, so what a failed set-up made is
// released by the next call.
struct OutputWindow {
    Window win = 0;
    int x = 0, y = 0, width = 0, height = 0;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
} output;

// What OpenWindow made for its ring (kept here, not in the caller's arrays, so that it can be
// released whatever the caller did with those). The images depend on the entry's size and on
// the component given them, so each pass gets a ring of its own.
struct ImageRing {
    GLuint tex[kVideoRingSlots] = {};
    GLuint source[kVideoRingSlots] = {}; // the storage of images made over GL textures
    Pixmap pix[kVideoRingSlots] = {};
    EGLImageKHR img[kVideoRingSlots] = {};
} ring;

// Asks the window manager to show `win` full-screen. Not flushed: the request leaves with the
// connection's next flush.
void request_full_screen(Display *dpy, Window win)
{
    Atom wm_state = XInternAtom(dpy, "_NET_WM_STATE", False);
    Atom fullscreen = XInternAtom(dpy, "_NET_WM_STATE_FULLSCREEN", False);

    XEvent xev;
    std::memset(&xev, 0, sizeof(xev));
    xev.type = ClientMessage;
    xev.xclient.window = win;
    xev.xclient.message_type = wm_state;
    xev.xclient.format = 32;
    xev.xclient.data.l[0] = 1; // add the state
    xev.xclient.data.l[1] = static_cast<long>(fullscreen);
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureNotifyMask, &xev);
}

// Black, borderless, titled "Chat", mapped and asking for full-screen state.
Window make_chat_window(Display *dpy, int x, int y, unsigned width, unsigned height)
{
    int screen = DefaultScreen(dpy);
    Window root_window = RootWindow(dpy, screen);
    unsigned long black = BlackPixel(dpy, screen);
    Window win = XCreateSimpleWindow(dpy, root_window, x, y, width, height, 0, black, black);
    XStoreName(dpy, win, "Chat");
    XSelectInput(dpy, win, kWindowEventMask);
    XMapWindow(dpy, win);
    request_full_screen(dpy, win);
    return win;
}

void set_ring_texture_parameters()
{
    // Sizes are rarely powers of two: nearest sampling and clamping keep such textures complete.
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLfloat>(GL_NEAREST));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(GL_NEAREST));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
}

struct SlotImageRequest {
    EGLDisplay display;
    EGLContext context; // the context OpenWindow made, current on this thread
    PFNEGLCREATEIMAGEKHRPROC create_image;
    GLuint slot_texture; // bound to GL_TEXTURE_2D on entry and on return
    Pixmap pixmap;
    int width;
    int height;
    GLuint *source; // receives the texture that holds the image's storage, if one is made
};

using SlotImageMaker = EGLImageKHR (*)(const SlotImageRequest &);

// The image over the slot's pixmap: what a board whose EGL offers pixmap images uses.
EGLImageKHR make_pixmap_image(const SlotImageRequest &r)
{
    return r.create_image(r.display, EGL_NO_CONTEXT, EGL_NATIVE_PIXMAP_KHR,
                          reinterpret_cast<EGLClientBuffer>(static_cast<uintptr_t>(r.pixmap)), image_attrs);
}

// The image over a GL texture of the slot's size with RGBA storage, for EGLs without pixmap
// images (Mesa on a GPU-less X server). The source texture is never drawn; it only owns the
// storage, which the image keeps alive until both are gone.
EGLImageKHR make_texture_image(const SlotImageRequest &r)
{
    GLuint &source = *r.source;
    glGenTextures(1, &source);
    glBindTexture(GL_TEXTURE_2D, source);
    set_ring_texture_parameters();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, r.width, r.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    const EGLint attrs[] = {EGL_GL_TEXTURE_LEVEL_KHR, 0, EGL_IMAGE_PRESERVED_KHR, EGL_TRUE, EGL_NONE};
    // The owning context must be named: Mesa crashes on EGL_NO_CONTEXT here.
    EGLImageKHR image = r.create_image(r.display, r.context, EGL_GL_TEXTURE_2D_KHR,
                                       reinterpret_cast<EGLClientBuffer>(static_cast<uintptr_t>(source)), attrs);
    glBindTexture(GL_TEXTURE_2D, r.slot_texture);
    return image;
}

// The one place that decides what the ring's images are made over. Says which on standard error.
SlotImageMaker choose_slot_image_maker(EGLDisplay dpy)
{
    const char *extensions = eglQueryString(dpy, EGL_EXTENSIONS);
    if (!egl_has_extension(extensions, "EGL_KHR_image_pixmap") &&
        egl_has_extension(extensions, "EGL_KHR_gl_texture_2D_image")) {
        std::fputs("video output: EGL images over GL textures (no EGL_KHR_image_pixmap)\n", stderr);
        return make_texture_image;
    }
    std::fputs("video output: EGL images over X pixmaps\n", stderr);
    return make_pixmap_image;
}

// Textures first, then the images they show (while the context that made them is current), then
// the pixmaps under the images.
void release_ring()
{
    if (output.context != EGL_NO_CONTEXT) {
        eglMakeCurrent(output.display, output.surface, output.surface, output.context);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(kVideoRingSlots, ring.tex); // names 0 are passed over
        glDeleteTextures(kVideoRingSlots, ring.source);
        auto destroy_image = reinterpret_cast<PFNEGLDESTROYIMAGEKHRPROC>(eglGetProcAddress("eglDestroyImageKHR"));
        for (EGLImageKHR image : ring.img)
            if (image != EGL_NO_IMAGE_KHR && destroy_image != nullptr)
                destroy_image(output.display, image);
    }
    for (Pixmap pixmap : ring.pix)
        if (pixmap != None)
            XFreePixmap(x_display, pixmap);
    ring = ImageRing{};
}

// The ring, then the context and surface (no longer current), then the window. The EGL display
// stays initialised: a decoder's writer context may still live on it.
void release_output_window()
{
    release_ring();
    if (output.display != EGL_NO_DISPLAY) {
        eglMakeCurrent(output.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (output.context != EGL_NO_CONTEXT)
            eglDestroyContext(output.display, output.context);
        if (output.surface != EGL_NO_SURFACE)
            eglDestroySurface(output.display, output.surface);
    }
    if (output.win != 0)
        XDestroyWindow(x_display, output.win);
    output = OutputWindow{};
}

// The window, the EGL display, surface and context of OpenWindow, left current. 0, or 1 after
// the failure's line.
int make_output_window(int pos1, int pos2, int w_width, int w_height)
{
    output.win =
        make_chat_window(x_display, pos1, pos2, static_cast<unsigned>(w_width), static_cast<unsigned>(w_height));

    EGLDisplay dpy = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(x_display));
    if (dpy == EGL_NO_DISPLAY) {
        std::puts("Got no EGL display.");
        std::fflush(stdout);
        return 1;
    }
    if (!eglInitialize(dpy, nullptr, nullptr)) {
        std::puts("Unable to initialize EGL");
        std::fflush(stdout);
        return 1;
    }
    output.display = dpy;

    EGLConfig ecfg;
    EGLint num_config = 0;
    if (!eglChooseConfig(dpy, attr, &ecfg, 1, &num_config)) {
        std::printf("Failed to choose config (eglError %d :)\n", eglGetError());
        std::fflush(stdout);
        return 1;
    }
    if (num_config != 1) {
        std::printf("Didn't get exactly one config, but %d \n", num_config);
        std::fflush(stdout);
        return 1;
    }

    output.surface = eglCreateWindowSurface(dpy, ecfg, static_cast<EGLNativeWindowType>(output.win), nullptr);
    if (output.surface == EGL_NO_SURFACE) {
        std::printf("Unable to create EGL surface (eglError %d :)\n", eglGetError());
        std::fflush(stdout);
        return 1;
    }
    output.context = eglCreateContext(dpy, ecfg, EGL_NO_CONTEXT, ctxattr);
    if (output.context == EGL_NO_CONTEXT) {
        std::printf("Unable to create EGL context (eglError %d :)\n", eglGetError());
        std::fflush(stdout);
        return 1;
    }
    output.x = pos1, output.y = pos2, output.width = w_width, output.height = w_height;
    return 0;
}

} // namespace

int OpenWindowBlank(void)
{
    // One backdrop for the process: a connection per call would leave one X client per pass, and
    // the server takes only so many.
    if (backdrop != nullptr)
        return 1;
    backdrop = XOpenDisplay(nullptr);
    if (backdrop == nullptr) {
        std::puts("Error - cannot open display");
        std::fflush(stdout);
        return 0;
    }
    make_chat_window(backdrop, 0, 0, 1280, 800);
    // Nothing else is ever sent on this connection, so nothing else would send the requests.
    XFlush(backdrop);
    return 1;
}

void ReleaseImages(void)
{
    release_ring();
    if (x_display != nullptr)
        XFlush(x_display); // the server frees the pixmaps now, not at the next pass
}

int OpenWindow(EGLDisplay *pegl_display, EGLSurface *pegl_surface, int pos1, int pos2, int w_width, int w_height,
               GLuint *texs, Pixmap *pixs, EGLImageKHR *khrs, unsigned char ** /*vAddrs*/, int size, int w, int h)
{
    // Out-of-range sides would end the process through Xlib's default error handler, and a
    // longer ring would overrun the callers' three-slot arrays.
    if (w_width < 1 || w_width > kMaxSide || w_height < 1 || w_height > kMaxSide) {
        std::printf("OpenWindow: window size %d x %d not usable\n", w_width, w_height);
        std::fflush(stdout);
        return 1;
    }
    if (size < 0 || size > kVideoRingSlots || (size > 0 && (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide))) {
        std::printf("OpenWindow: ring of %d images of %d x %d not usable\n", size, w, h);
        std::fflush(stdout);
        return -1;
    }

    if (temp_count == 0) {
        x_display = XOpenDisplay(nullptr);
        if (x_display == nullptr) {
            std::puts("Error - cannot open display");
            std::fflush(stdout);
            return 1;
        }
        temp_count++;
    }

    // A ring the caller did not release goes before anything else is made.
    release_ring();
    if (output.context == EGL_NO_CONTEXT || output.x != pos1 || output.y != pos2 || output.width != w_width ||
        output.height != w_height) {
        release_output_window();
        if (const int made = make_output_window(pos1, pos2, w_width, w_height); made != 0)
            return made;
    }
    EGLDisplay dpy = output.display;
    EGLContext egl_context = output.context;
    eglMakeCurrent(dpy, output.surface, output.surface, egl_context);

    auto create_image = reinterpret_cast<PFNEGLCREATEIMAGEKHRPROC>(eglGetProcAddress("eglCreateImageKHR"));
    auto target_texture =
        reinterpret_cast<PFNGLEGLIMAGETARGETTEXTURE2DOESPROC>(eglGetProcAddress("glEGLImageTargetTexture2DOES"));

    glGenTextures(size, texs);
    std::copy(texs, texs + size, ring.tex);

    if (size > 0) {
        // Only the image ring needs the extensions; without them no slot can be made.
        for (auto [entry, name] :
             {std::pair{reinterpret_cast<void *>(create_image), "eglCreateImageKHR"},
              std::pair{reinterpret_cast<void *>(target_texture), "glEGLImageTargetTexture2DOES"}}) {
            if (entry == nullptr) {
                std::printf("Couldn't find %s\n", name);
                std::fflush(stdout);
                return -1;
            }
        }
    }
    SlotImageMaker make_image = size > 0 ? choose_slot_image_maker(dpy) : nullptr;

    for (int i = 0; i < size; i++) {
        glBindTexture(GL_TEXTURE_2D, texs[i]);
        set_ring_texture_parameters();

        pixs[i] = ring.pix[i] =
            XCreatePixmap(x_display, RootWindow(x_display, 0), static_cast<unsigned>(w), static_cast<unsigned>(h), 32);
        if (pixs[i] == None) {
            std::puts("Couldn't create pixmap");
            return -1;
        }
        khrs[i] = ring.img[i] = make_image({dpy, egl_context, create_image, texs[i], pixs[i], w, h, &ring.source[i]});
        if (khrs[i] == EGL_NO_IMAGE_KHR) {
            std::puts("Couldn't create khrImages");
            return -1;
        }
        target_texture(GL_TEXTURE_2D, static_cast<GLeglImageOES>(khrs[i]));
    }

    *pegl_display = dpy;
    *pegl_surface = output.surface;
    std::puts("Created EGL Images");
    std::fflush(nullptr);
    return 0;
}
