// Writes pictures into EGL images from a thread and a GLES2 context of its own, as a decoder
// component does with the images a client hands it through OMX_UseEGLImage. It needs only the
// EGLDisplay (eglGetCurrentDisplay() on the thread that made the images) and the images; no X11.
// Every call runs on the writing thread, where open() leaves the writer's context current.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstdint>
#include <map>
#include <span>

class EglImageWriter
{
public:
    EglImageWriter() = default;
    EglImageWriter(const EglImageWriter &) = delete;
    EglImageWriter &operator=(const EglImageWriter &) = delete;
    ~EglImageWriter() = default; // forgets only: close() on the writing thread releases

    // Makes a context of the writer's own on `display`, shared with no other, current on this
    // thread: surfaceless and config-less where the EGL offers both, else on a 1x1 pbuffer. True
    // at once when already open on `display`; false at once when opening on it failed before, so
    // a display the writer cannot use costs nothing per picture.
    bool open(EGLDisplay display);

    // Replaces the top-left width x height texels of `image` with `rgba` (rows top to bottom,
    // 4 bytes per texel, no padding) and returns once the write is done, so a reader in another
    // context sees it. false when not open, or the image, the picture or its size is refused.
    bool write(EGLImageKHR image, int width, int height, std::span<const std::uint8_t> rgba);

    // Drops the textures that show the images written so far; the images stay their owner's.
    void forget_images();

    // Releases the context and the thread's EGL state.
    void close();

    const char *error() const { return error_; } // why the last call failed

private:
    bool fail(const char *why);
    bool make_surfaceless_context();
    bool make_pbuffer_context();
    GLuint texture_of(EGLImageKHR image);

    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    EGLSurface surface_ = EGL_NO_SURFACE; // the 1x1 pbuffer, when the context needs a surface
    PFNGLEGLIMAGETARGETTEXTURE2DOESPROC target_texture_ = nullptr;
    bool failed_ = false; // opening on display_ failed
    std::map<EGLImageKHR, GLuint> textures_;
    const char *error_ = nullptr;
};
