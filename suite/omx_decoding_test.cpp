// Decoding pass: one list entry through one decoder component, from the stream
// file to the screen. The component writes its pictures straight into the EGL
// images of the output window; the input ring and the output ring share the
// module-level position `nc`, which carries on from one run to the next.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KolvexXcdParser.h"
#include "omx_case_support.h"
#include "omx_component.h"
#include "omx_wait.h"
#include "video_output.h"

namespace
{

// The input ring and the EGL image ring have three slots; the header tables
// hold five input and three output entries.
constexpr OMX_U32 kRingSlots = 3;
constexpr OMX_U32 kMaxInputBuffers = IN_BUFFER_SLOTS;
constexpr OMX_U32 kOutputBuffers = OUT_BUFFER_SLOTS;

// The largest picture side accepted from a list entry: keeps every buffer
// size formula inside 32 bits and every pixmap inside X11's limit.
constexpr int kMaxPictureSide = 16384;

constexpr std::size_t kOutNameSize = 128;

// The stream format follows from the file name's extension; the parser does
// not look at the codec type, so the pass hands it the neutral first value.
constexpr KOLVEX_XCD_CODEC_TYPE kParserCodecType = H264_DEC;
constexpr int kParserSize = 0x200000;

struct ColorFormatRow {
    const char *extension;
    OMX_COLOR_FORMATTYPE color_type;
};

// Indexed by TEST_SUPPORT_COLOR_FORMAT_TYPE.
const ColorFormatRow kColorFormats[] = {
    {".420p.yuv", OMX_COLOR_FormatYUV420Planar},
    {".420s.yuv", OMX_COLOR_FormatYUV420SemiPlanar},
    {".nv12t", OMX_ZYN_COLOR_FormatNV12Tiled},
    {".rgb", OMX_COLOR_Format32bitARGB8888},
};

constexpr std::int64_t align(std::int64_t x, std::int64_t n)
{
    return (x + n - 1) / n * n;
}

struct BufferSizes {
    int in_buffer_size;
    int out_buffer_size;
    int height32;
};

BufferSizes buffer_sizes(int width, int height)
{
    const std::int64_t w128 = align(width, 128);
    const std::int64_t luma = align(w128 * align(height, 32), 8192);
    const std::int64_t chroma = align(w128 * align(height / 2, 32), 8192);
    const std::int64_t out = align(w128 * align(height, 32) * 4, 8192);
    return {static_cast<int>(luma + chroma), static_cast<int>(out), (height + 31) / 32 * 32};
}

struct FreeDeleter {
    void operator()(unsigned char *p) const { std::free(p); }
};
using DataBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

bool is_running_state(OMX_STATETYPE state)
{
    return state == OMX_StateExecuting || state == OMX_StatePause;
}

} // namespace

int omx_decoding_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                      TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat)
{
    const int kind = component_info->component_type;
    int result = 0;
    OMX_ERRORTYPE err = OMX_ErrorNone;
    OMX_STATETYPE state = OMX_StateInvalid;
    std::vector<DataBuffer> in_buffer;
    OMX_U32 min_inbuffer = 0;
    OMX_U32 min_outbuffer = 0;
    OMX_U32 in_given = 0;
    OMX_U32 out_given = 0;
    bool aborted = false;
    bool loaded_sent = false;

    // 1. Drop any completions left over from the driver's earlier steps or an earlier run.
    char out_file_name[kOutNameSize] = {};
    if (!component_info->sema) {
        puts("omx_decoding_test: no semaphore Error");
        return -1;
    }
    while (sem_trywait(component_info->sema) == 0) {
    }

    // 2. Output name: the entry's name plus the colour format's extension.
    const std::size_t entry_len = strnlen(component_info->out_file_name, kOutNameSize);
    std::string entry_out(component_info->out_file_name, entry_len);
    // Without a row the name stays empty and creating the file fails at step 15.
    std::string full_out;
    bool name_fits = true;
    if (colorformat >= SUPPORT_COLOR_FORMAT_YUV420Planar && colorformat < SUPPORT_COLOR_FORMAT_MAX) {
        const ColorFormatRow &row = kColorFormats[colorformat];
        full_out = entry_out + row.extension;
        component_info->color_type = row.color_type;
        name_fits = full_out.size() < kOutNameSize;
        if (name_fits)
            std::memcpy(out_file_name, full_out.c_str(), full_out.size() + 1);
    }
    printf("\noutput: %s\n", full_out.c_str());

    // 3. Parser on the entry's input file; no parser simply means no frames.
    frame_num = 0;
    {
        char in_name[kOutNameSize + 1] = {};
        std::memcpy(in_name, component_info->in_file_name, strnlen(component_info->in_file_name, kOutNameSize));
        parser_handle = KolvexParserInit(kParserCodecType, in_name, kParserSize);
    }

    const int width = component_info->width;
    const int height = component_info->height;
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) {
        printf("omx_decoding_test: picture size %dx%d outside 1x1 to %dx%d: FAIL, %d\n", width, height, kMaxPictureSide,
               kMaxPictureSide, kind);
        fflush(stdout);
        goto cleanup;
    }
    {
        const BufferSizes sizes = buffer_sizes(width, height);
        const int in_buffer_size = sizes.in_buffer_size;
        const int out_buffer_size = sizes.out_buffer_size;

        // 4.
        OMX_PARAM_PORTDEFINITIONTYPE portdef;
        std::memset(&portdef, 0, sizeof portdef);
        portdef.nSize = sizeof portdef;
        omx_set_version(&portdef.nVersion);

        // 5.-8. Input port.
        portdef.nPortIndex = 0;
        err = handle->GetParameter(handle, OMX_IndexParamPortDefinition, &portdef);
        if (err != OMX_ErrorNone)
            printf("omx_decoding_test: OMX_GetParameter: OMX_IndexParamPortDefinition: FAIL: %x, %d\n", err, kind);
        min_inbuffer = portdef.nBufferCountMin;
        portdef.format.video.nFrameWidth = width;
        portdef.format.video.nFrameHeight = height;
        portdef.format.video.eColorFormat = component_info->color_type;
        portdef.format.video.eCompressionFormat = component_info->coding_type;
        portdef.nBufferSize = in_buffer_size;
        printf(" I/P port buf count = %d I/P port buf size = %d \n", (int)min_inbuffer, in_buffer_size);
        fflush(stdout);
        err = handle->SetParameter(handle, OMX_IndexParamPortDefinition, &portdef);
        if (err != OMX_ErrorNone)
            printf("omx_decoding_test: OMX_SetParameter: OMX_IndexParamPortDefinition: FAIL: %x, %d\n", err, kind);

        // 9.-12. Output port, same record re-read.
        portdef.nPortIndex = 1;
        err = handle->GetParameter(handle, OMX_IndexParamPortDefinition, &portdef);
        if (err != OMX_ErrorNone)
            printf("omx_decoding_test: OMX_GetParameter: FAIL: %x, %d\n", err, kind);
        min_outbuffer = portdef.nBufferCountMin;
        portdef.format.video.nFrameWidth = width;
        portdef.format.video.nFrameHeight = height;
        portdef.format.video.eColorFormat = component_info->color_type;
        portdef.nBufferSize = out_buffer_size;
        printf(" O/P port buf count = %d O/P port buf size = %d\n", (int)min_outbuffer, out_buffer_size);
        fflush(stdout);
        err = handle->SetParameter(handle, OMX_IndexParamPortDefinition, &portdef);
        if (err != OMX_ErrorNone)
            printf("omx_decoding_test: OMX_SetParameter: OMX_IndexParamPortDefinition: FAIL: %x, %d\n", err, kind);

        // The frame loop walks slots 0..2 of both rings; the header tables and
        // the image ring have no room beyond 5 input and 3 output buffers.
        if (min_inbuffer < kRingSlots || min_inbuffer > kMaxInputBuffers || min_outbuffer != kOutputBuffers) {
            printf("omx_decoding_test: buffer count I/P %u O/P %u unsupported (I/P 3 to 5, O/P 3): FAIL, %d\n",
                   (unsigned)min_inbuffer, (unsigned)min_outbuffer, kind);
            fflush(stdout);
            goto cleanup;
        }

        // 13. Display: the EGL images are the decoder's output buffers.
        const int height32 = sizes.height32;
        OpenWindowBlank();
        const int window = OpenWindow(&egl_display, &egl_surface, 0, 0, 1280, 800, textures, pixmaps, khrImages,
                                      vAddrEGL, (int)min_outbuffer, width, height32);
        if (window != 0) {
            printf("omx_decoding_test: no EGL window or images (OpenWindow %d): FAIL, %d\n", window, kind);
            fflush(stdout);
            goto cleanup;
        }
        puts("EGL Window Created !!! \n");
        fflush(nullptr);

        // 14. Input data buffers; a buffer that cannot be had ends the run
        // before the component is given anything.
        in_buffer.resize(min_inbuffer);
        for (OMX_U32 i = 0; i < min_inbuffer; i++) {
            in_buffer[i].reset(static_cast<unsigned char *>(std::malloc(in_buffer_size)));
            if (!in_buffer[i]) {
                printf("malloc(in_buffer[%i]) return Error\n", (int)i);
                result = -1;
                continue;
            }
            std::memset(in_buffer[i].get(), 0, in_buffer_size);
        }
        if (result != 0)
            goto cleanup;

        // 15.
        if (!name_fits) {
            printf("omx_decoding_test: output name longer than 127 characters: %s\n", full_out.c_str());
            goto cleanup;
        }
        out_file = fopen(out_file_name, "wb");
        if (!out_file) {
            printf("fopen(%s) Error\n", entry_out.c_str());
            goto cleanup;
        }

        // 16.-19. To Idle: every buffer the component needs is given now.
        for (OMX_U32 i = 0; i < kMaxInputBuffers; i++)
            in_buffer_header[i] = nullptr;
        for (OMX_U32 i = 0; i < kOutputBuffers; i++)
            out_buffer_header[i] = nullptr;
        err = handle->SendCommand(handle, OMX_CommandStateSet, OMX_StateIdle, nullptr);
        const bool idle_sent = err == OMX_ErrorNone;
        if (!idle_sent)
            printf("omx_decoding_test: OMX_SendCommand: FAIL: %x, %d\n", err, kind);
        for (OMX_U32 i = 0; i < min_inbuffer; i++) {
            err = handle->UseBuffer(handle, &in_buffer_header[i], 0, nullptr, in_buffer_size, in_buffer[i].get());
            if (err != OMX_ErrorNone) {
                printf("omx_decoding_test: OMX_UseBuffer: FAIL: %x, %d\n", err, kind);
                in_buffer_header[i] = nullptr;
            }
            in_given = i + 1;
        }
        for (OMX_U32 i = 0; i < min_outbuffer; i++) {
            err = handle->UseEGLImage(handle, &out_buffer_header[i], 1, nullptr, khrImages[i]);
            puts("omx_decoding_test: Decoder Component Output EGL Buffer is Assigned");
            if (err != OMX_ErrorNone) {
                printf("omx_decoding_test: OMX_UseEGLImage: FAIL: %x, %d\n", err, kind);
                out_buffer_header[i] = nullptr;
            }
            out_given = i + 1;
        }
        if (idle_sent && omx_wait_sema(component_info, "OMX_StateIdle") != 0)
            aborted = true;
        omx_check_state(handle, component_info, OMX_StateIdle,
                        "omx_decoding_test: OMX_GetState: OMX_StateIdle: FAIL: %d, %d\n");

        // 20. To Executing.
        if (!aborted) {
            err = handle->SendCommand(handle, OMX_CommandStateSet, OMX_StateExecuting, nullptr);
            if (err == OMX_ErrorNone) {
                if (omx_wait_sema(component_info, "OMX_StateExecuting") != 0)
                    aborted = true;
            } else {
                printf("omx_decoding_test: OMX_SendCommand: OMX_StateExecuting: FAIL: %x, %d\n", err, kind);
            }
            omx_check_state(handle, component_info, OMX_StateExecuting,
                            "omx_decoding_test: OMX_GetState: OMX_StateExecuting: FAIL: %d, %d\n");
        }

        // 21.-22. Flush both ports.
        if (!aborted) {
            err = handle->SendCommand(handle, OMX_CommandFlush, 0, nullptr);
            if (err != OMX_ErrorNone)
                printf("omx_decoding_test: OMX_SetParameter(OMX_CommandFlush,inport) return Error : %x\n", err);
            else if (omx_wait_sema(component_info, "OMX_CommandFlush inport") != 0)
                aborted = true;
        }
        if (!aborted) {
            err = handle->SendCommand(handle, OMX_CommandFlush, 1, nullptr);
            if (err != OMX_ErrorNone)
                printf("omx_decoding_test: OMX_SetParameter(OMX_CommandFlush,outport) return Error : %x\n", err);
            else if (omx_wait_sema(component_info, "OMX_CommandFlush outport") != 0)
                aborted = true;
        }

        if (!aborted) {
            // 23.
            // The source's size with its terminating zero.
            init_render(&program, &pos_location, kFragmentShaderRGB, (int)sizeof kFragmentShaderRGB);

            // 24.-29. One frame in flight; the picture shown is the slot
            // filled on the previous iteration.
            for (;;) {
                if (!parser_handle)
                    break;
                const int frame_size = KolvexParserFrameSize(parser_handle, frame_num);
                if (frame_size <= 0)
                    break;
                if (frame_size > in_buffer_size) {
                    printf("omx_decoding_test: frame %u of %d bytes does not fit the input buffer of %d bytes: "
                           "FAIL, %d\n",
                           frame_num, frame_size, in_buffer_size, kind);
                    break;
                }
                OMX_BUFFERHEADERTYPE *in_header = in_buffer_header[nc];
                OMX_BUFFERHEADERTYPE *out_header = out_buffer_header[nc];
                if (!in_header || !out_header) {
                    printf("omx_decoding_test: no buffer header in slot %d: FAIL, %d\n", nc, kind);
                    break;
                }
                const int frame_length =
                    KolvexParserFrameGet(parser_handle, frame_num, in_buffer[nc].get(), &frame_flag);
                if (frame_length == 0)
                    break;
                frame_num++;
                in_header->nFilledLen = frame_length;

                err = handle->EmptyThisBuffer(handle, in_header);
                const bool emptied = err == OMX_ErrorNone;
                if (!emptied)
                    printf("OMX_EmptyThisBuffer() return Error : %x\n", err);
                err = handle->FillThisBuffer(handle, out_header);
                if (err != OMX_ErrorNone)
                    printf("OMX_FillThisBuffer() return Error : %x\n", err);

                // The input buffer must be back before it is refilled; one
                // the component keeps ends the feeding.
                if (emptied && omx_wait_sema(component_info, "OMX_EmptyThisBuffer") != 0)
                    break;

                const int prevdecframe = nc == 0 ? 2 : nc - 1;
                ShowFrame(egl_display, egl_surface, program, textures[prevdecframe], pos_location);
                nc = nc + 1 == (int)kRingSlots ? 0 : nc + 1;
            }

            // 30.
            if (component_info->component_type == OMX_COMPONENT_AVCDEC) {
                OMX_CONFIG_RECTTYPE rectType;
                std::memset(&rectType, 0, sizeof rectType);
                rectType.nSize = sizeof rectType;
                omx_set_version(&rectType.nVersion);
                rectType.nPortIndex = 1;
                handle->GetConfig(handle, OMX_IndexConfigCommonOutputCrop, &rectType);
            }
        }

        // 31. Back to Idle; after a missed completion only when the component
        // is still running, so a stuck transition is not stacked on.
        bool to_idle = true;
        if (aborted) {
            handle->GetState(handle, &state);
            to_idle = is_running_state(state);
        }
        if (to_idle) {
            err = handle->SendCommand(handle, OMX_CommandStateSet, OMX_StateIdle, nullptr);
            if (err == OMX_ErrorNone)
                omx_wait_sema(component_info, "OMX_StateIdle");
            else
                printf("omx_decoding_test: OMX_SendCommand: OMX_StateIdle: FAIL: %x, %d\n", err, kind);
            omx_check_state(handle, component_info, OMX_StateIdle,
                            "omx_decoding_test:  OMX_GetState: OMX_StateIdle: FAIL: %d, %d\n");
        }

        // 32.-34. Back to Loaded, every buffer handed back.
        err = handle->SendCommand(handle, OMX_CommandStateSet, OMX_StateLoaded, nullptr);
        loaded_sent = err == OMX_ErrorNone;
        if (!loaded_sent)
            printf("omx_decoding_test: OMX_SendCommand: OMX_StateLoaded: FAIL: %x, %d\n", err, kind);
        omx_free_buffers(handle, component_info, 0, in_buffer_header, in_given,
                         "omx_decoding_test: OMX_FreeBuffer(usebuffer): FAIL: %x, %d\n");
        omx_free_buffers(handle, component_info, 1, out_buffer_header, out_given,
                         "omx_decoding_test: OMX_FreeBuffer(allocatebuffer): FAIL: %x, %d\n");
        if (loaded_sent)
            omx_wait_sema(component_info, "OMX_StateLoaded");
        omx_check_state(handle, component_info, OMX_StateLoaded,
                        "omx_decoding_test: OMX_GetState: OMX_StateLoaded: FAIL: %d, %d\n");
    }

cleanup:
    // 35.
    if (out_file) {
        fclose(out_file);
        out_file = nullptr;
    }
    if (parser_handle) {
        KolvexParserDeInit(parser_handle);
        parser_handle = nullptr;
    }
    in_buffer.clear();
    fflush(stdout);
    return result;
}
