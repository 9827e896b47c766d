// A second GLES2 context that writes into EGL images made by another context. The two contexts
// share nothing but the images, and the GL does not order their accesses, so every write is
// finished before it is reported done.
#include "egl_image_writer.h"

#include "egl_extensions.h"

namespace
{

const EGLint kContextAttrs[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};

void clear_gl_errors()
{
    while (glGetError() != GL_NO_ERROR) {
    }
}

} // namespace

bool EglImageWriter::fail(const char *why)
{
    error_ = why;
    return false;
}

bool EglImageWriter::make_surfaceless_context()
{
    context_ = eglCreateContext(display_, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, kContextAttrs);
    return context_ != EGL_NO_CONTEXT || fail("eglCreateContext failed");
}

// For an EGL that cannot make a context without a config or use one without a surface.
bool EglImageWriter::make_pbuffer_context()
{
    const EGLint config_attrs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT,
                                   EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(display_, config_attrs, &config, 1, &count) || count < 1)
        return fail("no EGL config with pbuffers and OpenGL ES 2");
    const EGLint pbuffer_attrs[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display_, config, pbuffer_attrs);
    if (surface_ == EGL_NO_SURFACE)
        return fail("eglCreatePbufferSurface failed");
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, kContextAttrs);
    return context_ != EGL_NO_CONTEXT || fail("eglCreateContext failed");
}

bool EglImageWriter::open(EGLDisplay display)
{
    if (display == display_ && (context_ != EGL_NO_CONTEXT || failed_))
        return !failed_;
    close();
    display_ = display;
    failed_ = true;
    if (display == EGL_NO_DISPLAY)
        return fail("no EGL display");
    if (!eglBindAPI(EGL_OPENGL_ES_API))
        return fail("eglBindAPI(EGL_OPENGL_ES_API) failed");
    const char *extensions = eglQueryString(display, EGL_EXTENSIONS);
    bool surfaceless = egl_has_extension(extensions, "EGL_KHR_no_config_context") &&
                       egl_has_extension(extensions, "EGL_KHR_surfaceless_context");
    bool made = surfaceless ? make_surfaceless_context() : make_pbuffer_context();
    if (made && !eglMakeCurrent(display, surface_, surface_, context_))
        made = fail("eglMakeCurrent failed");
    if (made) {
        // Extension entry points exist only through eglGetProcAddress.
        target_texture_ =
            reinterpret_cast<PFNGLEGLIMAGETARGETTEXTURE2DOESPROC>(eglGetProcAddress("glEGLImageTargetTexture2DOES"));
        if (target_texture_ == nullptr)
            made = fail("glEGLImageTargetTexture2DOES not found");
    }
    if (!made) {
        close();
        return false;
    }
    failed_ = false;
    return true;
}

GLuint EglImageWriter::texture_of(EGLImageKHR image)
{
    if (auto it = textures_.find(image); it != textures_.end())
        return it->second;
    clear_gl_errors();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    target_texture_(GL_TEXTURE_2D, static_cast<GLeglImageOES>(image));
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &texture);
        fail("glEGLImageTargetTexture2DOES refused the image");
        return 0;
    }
    textures_[image] = texture;
    return texture;
}

bool EglImageWriter::write(EGLImageKHR image, int width, int height, std::span<const std::uint8_t> rgba)
{
    if (context_ == EGL_NO_CONTEXT)
        return fail("writer not open");
    if (image == EGL_NO_IMAGE_KHR)
        return fail("no EGL image");
    if (width < 1 || height < 1 ||
        rgba.size() / 4 / static_cast<std::uint64_t>(width) < static_cast<std::uint64_t>(height))
        return fail("picture data shorter than width x height x 4");
    GLuint texture = texture_of(image);
    if (texture == 0)
        return false;
    clear_gl_errors();
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    bool written = glGetError() == GL_NO_ERROR;
    // The reader's context is not ordered against this one: the write must be complete now.
    glFinish();
    return written || fail("glTexSubImage2D refused the picture (larger than the image?)");
}

void EglImageWriter::forget_images()
{
    if (context_ != EGL_NO_CONTEXT)
        for (auto &[image, texture] : textures_)
            glDeleteTextures(1, &texture);
    textures_.clear();
}

void EglImageWriter::close()
{
    forget_images();
    if (context_ == EGL_NO_CONTEXT && surface_ == EGL_NO_SURFACE)
        return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT)
        eglDestroyContext(display_, context_);
    if (surface_ != EGL_NO_SURFACE)
        eglDestroySurface(display_, surface_);
    eglReleaseThread();
    context_ = EGL_NO_CONTEXT;
    surface_ = EGL_NO_SURFACE;
}
