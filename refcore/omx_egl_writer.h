// Writes RGBA pictures into the EGL images a client gave through UseEGLImage, from the
// component's worker thread, through a GLES2 context of the component's own (unshared,
// surfaceless) on the client's display. Every write is finished before it returns, so the
// client's context sees the whole picture once the buffer is handed back.
#pragma once

#include <cstdint>
#include <map>

namespace zyn
{

class EglImageWriter
{
public:
    EglImageWriter() = default;
    EglImageWriter(const EglImageWriter &) = delete;
    EglImageWriter &operator=(const EglImageWriter &) = delete;
    ~EglImageWriter(); // only forgets; close() on the worker thread releases

    // Writes width x height RGBA texels (rows top to bottom, no padding) into the top-left of
    // `image`. Opens the context on first use. false when the display has no usable context,
    // the image is refused or the picture does not fit.
    bool write(void *display, void *image, int width, int height, const uint8_t *rgba);

    // Drops the textures bound to images (the images stay the client's).
    void forget_images();

    // Releases the context and the thread's EGL state; call on the thread that wrote.
    void close();

private:
    bool open(void *display);

    void *display_ = nullptr;
    void *context_ = nullptr;
    bool failed_ = false; // the display offers no context for us: do not try per picture
    void *target_texture_ = nullptr;
    std::map<void *, unsigned> textures_;
};

// eglGetCurrentDisplay() of the calling thread, or null.
void *egl_display_of_thread();

} // namespace zyn
