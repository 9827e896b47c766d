// A second GLES2 context that writes into EGL images made by another context. The two contexts
// share nothing but the images, and the GL does not order their accesses, so every write is
// finished before it is reported done.
#include "egl_image_writer.h"

#include "egl_extensions.h"

namespace
{

const EGLint kWriterContextAttrs[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};

bool Fail(EGL_IMAGE_WRITER *writer, const char *why)
{
    writer->error = why;
    return false;
}

// Context and surface for the writer when the EGL cannot make a context without a config or
// without a surface.
bool MakePbufferContext(EGL_IMAGE_WRITER *writer)
{
    const EGLint config_attrs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT,
                                   EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(writer->display, config_attrs, &config, 1, &count) || count < 1)
        return Fail(writer, "no EGL config with pbuffers and OpenGL ES 2");
    const EGLint pbuffer_attrs[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    writer->surface = eglCreatePbufferSurface(writer->display, config, pbuffer_attrs);
    if (writer->surface == EGL_NO_SURFACE)
        return Fail(writer, "eglCreatePbufferSurface failed");
    writer->context = eglCreateContext(writer->display, config, EGL_NO_CONTEXT, kWriterContextAttrs);
    if (writer->context == EGL_NO_CONTEXT)
        return Fail(writer, "eglCreateContext failed");
    return true;
}

bool MakeSurfacelessContext(EGL_IMAGE_WRITER *writer)
{
    writer->context = eglCreateContext(writer->display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, kWriterContextAttrs);
    if (writer->context == EGL_NO_CONTEXT)
        return Fail(writer, "eglCreateContext failed");
    return true;
}

void DropContext(EGL_IMAGE_WRITER *writer)
{
    if (writer->display == EGL_NO_DISPLAY)
        return;
    eglMakeCurrent(writer->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (writer->context != EGL_NO_CONTEXT)
        eglDestroyContext(writer->display, writer->context);
    if (writer->surface != EGL_NO_SURFACE)
        eglDestroySurface(writer->display, writer->surface);
    eglReleaseThread();
    writer->context = EGL_NO_CONTEXT;
    writer->surface = EGL_NO_SURFACE;
    writer->target_texture = nullptr;
}

} // namespace

bool EglImageWriterOpen(EGL_IMAGE_WRITER *writer, EGLDisplay display, EGL_WRITER_SURFACE mode)
{
    *writer = EGL_IMAGE_WRITER{};
    if (display == EGL_NO_DISPLAY)
        return Fail(writer, "no EGL display");
    writer->display = display;
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        writer->display = EGL_NO_DISPLAY;
        return Fail(writer, "eglBindAPI(EGL_OPENGL_ES_API) failed");
    }

    const char *extensions = eglQueryString(display, EGL_EXTENSIONS);
    bool surfaceless = mode == EGL_WRITER_SURFACE::kAuto && EglHasExtension(extensions, "EGL_KHR_no_config_context") &&
                       EglHasExtension(extensions, "EGL_KHR_surfaceless_context");
    bool made = surfaceless ? MakeSurfacelessContext(writer) : MakePbufferContext(writer);
    if (made && !eglMakeCurrent(display, writer->surface, writer->surface, writer->context))
        made = Fail(writer, "eglMakeCurrent failed");
    if (made) {
        writer->target_texture =
            reinterpret_cast<PFNGLEGLIMAGETARGETTEXTURE2DOESPROC>(eglGetProcAddress("glEGLImageTargetTexture2DOES"));
        if (writer->target_texture == nullptr)
            made = Fail(writer, "glEGLImageTargetTexture2DOES not found");
    }
    if (!made) {
        const char *why = writer->error;
        DropContext(writer);
        *writer = EGL_IMAGE_WRITER{};
        writer->error = why;
    }
    return made;
}

GLuint EglImageWriterBind(EGL_IMAGE_WRITER *writer, EGLImageKHR image)
{
    if (writer->context == EGL_NO_CONTEXT) {
        Fail(writer, "writer not open");
        return 0;
    }
    if (image == EGL_NO_IMAGE_KHR) {
        Fail(writer, "no EGL image");
        return 0;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    // Filters belong to the texture, not the image: set them on every texture bound to one.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    writer->target_texture(GL_TEXTURE_2D, static_cast<GLeglImageOES>(image));
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &texture);
        Fail(writer, "glEGLImageTargetTexture2DOES refused the image");
        return 0;
    }
    return texture;
}

bool EglImageWriterUpload(EGL_IMAGE_WRITER *writer, GLuint texture, int width, int height,
                          std::span<const std::uint8_t> rgba)
{
    if (writer->context == EGL_NO_CONTEXT)
        return Fail(writer, "writer not open");
    if (texture == 0 || width < 1 || height < 1)
        return Fail(writer, "nothing to upload");
    if (rgba.size() / 4 / static_cast<std::uint64_t>(width) < static_cast<std::uint64_t>(height))
        return Fail(writer, "picture data shorter than width x height x 4");
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    bool ok = glGetError() == GL_NO_ERROR;
    // The reader's context is not ordered against this one: the write must be complete now.
    glFinish();
    return ok || Fail(writer, "glTexSubImage2D refused the picture (larger than the image?)");
}

void EglImageWriterRelease(EGL_IMAGE_WRITER *writer, GLuint texture)
{
    if (writer->context != EGL_NO_CONTEXT && texture != 0)
        glDeleteTextures(1, &texture);
}

void EglImageWriterClose(EGL_IMAGE_WRITER *writer)
{
    DropContext(writer);
    *writer = EGL_IMAGE_WRITER{};
}
