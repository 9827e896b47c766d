#include "omx_egl_writer.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstring>

namespace zyn
{
namespace
{

bool has_extension(const char *list, const char *name)
{
    if (!list)
        return false;
    size_t n = std::strlen(name);
    for (const char *p = std::strstr(list, name); p; p = std::strstr(p + 1, name))
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    return false;
}

} // namespace

void *egl_display_of_thread()
{
    EGLDisplay d = eglGetCurrentDisplay();
    return d == EGL_NO_DISPLAY ? nullptr : d;
}

EglImageWriter::~EglImageWriter() = default;

bool EglImageWriter::open(void *display)
{
    if (context_ && display == display_)
        return true;
    if (context_)
        close();
    if (failed_ && display == display_)
        return false;
    display_ = display;
    failed_ = true;
    EGLDisplay dpy = static_cast<EGLDisplay>(display);
    const char *ext = eglQueryString(dpy, EGL_EXTENSIONS);
    if (!has_extension(ext, "EGL_KHR_surfaceless_context") || !has_extension(ext, "EGL_KHR_no_config_context"))
        return false;
    if (!eglBindAPI(EGL_OPENGL_ES_API))
        return false;
    const EGLint attrs[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    // Unshared: the only thing this context has in common with the client's is the images.
    EGLContext ctx = eglCreateContext(dpy, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attrs);
    if (ctx == EGL_NO_CONTEXT)
        return false;
    if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx)) {
        eglDestroyContext(dpy, ctx);
        return false;
    }
    // Extension entry points exist only through eglGetProcAddress.
    target_texture_ = reinterpret_cast<void *>(eglGetProcAddress("glEGLImageTargetTexture2DOES"));
    if (!target_texture_) {
        eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(dpy, ctx);
        return false;
    }
    context_ = ctx;
    failed_ = false;
    return true;
}

bool EglImageWriter::write(void *display, void *image, int width, int height, const uint8_t *rgba)
{
    if (!display || !image || width < 1 || height < 1 || !open(display))
        return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint tex = 0;
    if (auto it = textures_.find(image); it != textures_.end()) {
        tex = it->second;
        glBindTexture(GL_TEXTURE_2D, tex);
    } else {
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        reinterpret_cast<PFNGLEGLIMAGETARGETTEXTURE2DOESPROC>(target_texture_)(GL_TEXTURE_2D,
                                                                               static_cast<GLeglImageOES>(image));
        if (glGetError() != GL_NO_ERROR) {
            glDeleteTextures(1, &tex);
            return false;
        }
        textures_[image] = tex;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    bool ok = glGetError() == GL_NO_ERROR;
    // The client's context is not ordered against ours: the picture must be complete now.
    glFinish();
    return ok;
}

void EglImageWriter::forget_images()
{
    if (context_) {
        for (auto &[image, tex] : textures_)
            glDeleteTextures(1, &tex);
    }
    textures_.clear();
}

void EglImageWriter::close()
{
    if (!context_)
        return;
    forget_images();
    EGLDisplay dpy = static_cast<EGLDisplay>(display_);
    eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(dpy, static_cast<EGLContext>(context_));
    eglReleaseThread();
    context_ = nullptr;
}

} // namespace zyn
