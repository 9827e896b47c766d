// Writes pictures into EGL images from a thread of its own, as a decoder component does with the
// images it receives through OMX_UseEGLImage. Needs only the EGLDisplay (eglGetCurrentDisplay() on
// the thread that made the images) and the images; no X11.
//
// Use, all on the writer's thread:
//   EGL_IMAGE_WRITER writer;
//   EglImageWriterOpen(&writer, display);           // own context, current on this thread
//   GLuint tex = EglImageWriterBind(&writer, image);  // once per image
//   EglImageWriterUpload(&writer, tex, w, h, rgba);   // per picture; finished on return
//   EglImageWriterClose(&writer);
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstdint>
#include <span>

struct EGL_IMAGE_WRITER {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE; // 1x1 pbuffer where the EGL has no surfaceless contexts
    PFNGLEGLIMAGETARGETTEXTURE2DOESPROC target_texture = nullptr;
    const char *error = nullptr; // why the last call failed
};

enum class EGL_WRITER_SURFACE {
    kAuto,    // surfaceless and config-less when the EGL offers both, else a 1x1 pbuffer
    kPbuffer, // always a 1x1 pbuffer
};

// Makes a GLES2 context of the writer's own on `display`, not shared with any other, and makes it
// current on the calling thread. false (with writer->error) when that cannot be done; nothing is
// left behind then.
bool EglImageWriterOpen(EGL_IMAGE_WRITER *writer, EGLDisplay display,
                        EGL_WRITER_SURFACE mode = EGL_WRITER_SURFACE::kAuto);

// A texture of the writer's context that shows `image` (nearest sampling, clamped). 0 on failure.
GLuint EglImageWriterBind(EGL_IMAGE_WRITER *writer, EGLImageKHR image);

// Replaces the top-left width x height texels of the image behind `texture` with `rgba` (rows top
// to bottom, 4 bytes per texel, no padding) and waits until the write is done, so a reader in
// another context sees it. false when `rgba` is too short or GL refuses the write.
bool EglImageWriterUpload(EGL_IMAGE_WRITER *writer, GLuint texture, int width, int height,
                          std::span<const std::uint8_t> rgba);

// Drops one texture made by EglImageWriterBind; the image itself stays.
void EglImageWriterRelease(EGL_IMAGE_WRITER *writer, GLuint texture);

// Releases the context (and its textures) and the thread's EGL state. The images stay.
void EglImageWriterClose(EGL_IMAGE_WRITER *writer);
