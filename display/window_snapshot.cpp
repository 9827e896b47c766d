// Window snapshots: glReadPixels of the surface shown last, flipped to top-first rows.
#include "window_snapshot.h"

#include <GLES2/gl2.h>

#include <cstdio>
#include <memory>
#include <vector>

bool SaveWindowSnapshot(EGLDisplay display, EGLSurface surface, const char *path)
{
    EGLint width = 0, height = 0;
    if (!eglQuerySurface(display, surface, EGL_WIDTH, &width) ||
        !eglQuerySurface(display, surface, EGL_HEIGHT, &height) || width <= 0 || height <= 0 || width > 16384 ||
        height > 16384)
        return false;
    const auto w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    std::vector<unsigned char> rgba(w * h * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    if (glGetError() != GL_NO_ERROR)
        return false;
    std::unique_ptr<FILE, int (*)(FILE *)> out(fopen(path, "wb"), fclose);
    if (!out)
        return false;
    fprintf(out.get(), "P6\n%d %d\n255\n", width, height);
    std::vector<unsigned char> row(w * 3);
    // GL's first row is the bottom of the window.
    for (std::size_t y = h; y-- > 0;) {
        const unsigned char *src = &rgba[y * w * 4];
        for (std::size_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = src[x * 4 + c];
        if (fwrite(row.data(), 1, row.size(), out.get()) != row.size())
            return false;
    }
    return fclose(out.release()) == 0;
}
