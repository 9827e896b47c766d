#include "test_pattern.h"

#include <thread>

std::vector<std::uint8_t> MakeTestPattern(int slot, int width, int height)
{
    std::vector<std::uint8_t> rgba;
    if (width < 1 || height < 1)
        return rgba;
    rgba.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            auto t = TestPatternTexel(slot, x, y);
            rgba.insert(rgba.end(), t.begin(), t.end());
        }
    return rgba;
}

std::string WriteTestPatternsFromThread(EGLDisplay display, const EGLImageKHR *images, int slots, int width, int height,
                                        EGL_WRITER_SURFACE mode)
{
    std::string failure;
    std::thread writer_thread([&] {
        EGL_IMAGE_WRITER writer;
        if (!EglImageWriterOpen(&writer, display, mode)) {
            failure = std::string("writer: ") + writer.error;
            return;
        }
        for (int i = 0; i < slots && failure.empty(); i++) {
            GLuint tex = EglImageWriterBind(&writer, images[i]);
            if (tex == 0 || !EglImageWriterUpload(&writer, tex, width, height, MakeTestPattern(i, width, height)))
                failure = "slot " + std::to_string(i) + ": " + writer.error;
        }
        EglImageWriterClose(&writer);
    });
    writer_thread.join();
    return failure;
}
