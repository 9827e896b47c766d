// Fuzz target: the AVI reader on a file image of the input's exact size.
#include <cstring>
#include <memory>

#include "avireader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::unique_ptr<char[]> image(new char[size ? size : 1]);
    if (size) {
        std::memcpy(image.get(), data, size);
    }
    if (size >= 12) {
        (void)AVI_IsAVIFile(image.get());
    }
    AVI_INFO info;
    int opened = AVI_OpenAVIFile(image.get(), static_cast<u32>(size), &info);
    (void)opened;
    volatile unsigned sink = 0;
    for (int i = 0; i < 100000; ++i) {
        int chunk = 0, audio = 0;
        unsigned char *p = AVI_GetVideoData(&chunk, &info, &audio);
        if (p == nullptr) {
            break;
        }
        // The payload must lie in the image.
        if (p < reinterpret_cast<unsigned char *>(image.get()) ||
            p + chunk > reinterpret_cast<unsigned char *>(image.get()) + size) {
            __builtin_trap();
        }
        if (chunk > 0) {
            sink = sink + p[0] + p[chunk - 1];
        }
    }
    for (int i = 0; i < 100000; ++i) {
        int chunk = 0;
        unsigned char *p = AVI_GetAudioData(&chunk, &info);
        if (p == nullptr) {
            break;
        }
        if (chunk > 0) {
            sink = sink + p[0] + p[chunk - 1];
        }
    }
    AVI_ResetVideoDataOffset(&info);
    AVI_ResetAudioDataOffset(&info);
    sink = sink + AVI_GetVideoCodec(&info) + AVI_GetAudioCodec(&info);
    if (AVI_WAVEFORMATEX *w = AVI_GetAudioParameter(&info)) {
        sink = sink + w->cbSize;
    }
    sink = sink + AVI_GetSuggestedVideoBuffer(&info) + AVI_GetSuggestedAudioBuffer(&info);
    u32 h = 0, v = 0;
    AVI_GetStreamResolution(&h, &v);
    volatile float f = AVI_GetFPSinAVI(&info) + AVI_GetAudioChunkPerSec(&info);
    (void)f;
    AVI_CloseAVIFile(&info);
    return 0;
}
