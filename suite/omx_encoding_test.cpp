// Encoding pass: raw planar YUV 4:2:0 pictures, converted to semi-planar, through one encoder.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "omx_case_support.h"
#include "omx_component.h"
#include "omx_record.h"
#include "omx_report.h"
#include "omx_wait.h"

namespace
{

// Picture sizes beyond this are refused: the buffer arithmetic stays far from
// 32-bit overflow and a list file cannot ask for an absurd allocation.
constexpr int kMaxPictureSide = 8192;

constexpr int align(int value, int n)
{
    return (value + n - 1) / n * n;
}

// The two-plane tiled size the encoder's ports are given (luma, half-height chroma).
int encoding_buffer_size(int width, int height)
{
    return align(align(width, 128) * align(height, 32), 8192) + align(align(width, 128) * align(height / 2, 32), 8192);
}

void flush_and_wait(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info, OMX_U32 port,
                    const char *fail_line, const char *what)
{
    const OMX_ERRORTYPE err = OMX_SendCommand(handle, OMX_CommandFlush, port, nullptr);
    if (err != OMX_ErrorNone)
        omx_report_fail(fail_line, static_cast<unsigned>(err));
    else
        omx_wait_sema(component_info, what);
}

/* Reads one planar picture into `buffer` as luma followed by interleaved
 * chroma pairs (Cb first). Returns the bytes of picture now in the buffer, or
 * 0, with a report line, when the file ended before a whole picture. */
size_t read_picture(FILE *file, unsigned char *buffer, unsigned char *chroma, int square, unsigned index,
                    const char *name)
{
    const size_t luma_size = static_cast<size_t>(square);
    const size_t chroma_size = static_cast<size_t>(square >> 1);
    const size_t luma_read = fread(buffer, 1, luma_size, file);
    const size_t chroma_read = luma_read == luma_size ? fread(chroma, 1, chroma_size, file) : 0;
    if (luma_read + chroma_read < luma_size + chroma_size) {
        omx_report_fail("omx_encoding_test: %s: picture %u: short read, %zu of %zu bytes, not submitted: Error\n", name,
                        index, luma_read + chroma_read, luma_size + chroma_size);
        return 0;
    }
    const int offset = square >> 2;
    unsigned j = 0;
    for (; j < static_cast<unsigned>(square >> 1); j += 2) {
        buffer[square + j] = chroma[j >> 1];
        buffer[square + j + 1] = chroma[(j >> 1) + offset];
    }
    return static_cast<size_t>(square) + j;
}

} // namespace

int omx_encoding_test(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                      TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat)
{
    (void)colorformat; // the input colour format comes from the record
    OMX_PARAM_PORTDEFINITIONTYPE portdef;
    OMX_U32 min_inbuffer = 0;
    OMX_U32 min_outbuffer = 0;
    omx_data_buffers in_buffer;
    omx_data_buffers out_buffer;
    unsigned submitted = 0;
    const int width = component_info->width;
    const int height = component_info->height;

    printf("\noutput: %s\n", component_info->out_file_name);
    if (width < 2 || height < 2 || width > kMaxPictureSide || height > kMaxPictureSide || width % 2 != 0 ||
        height % 2 != 0) {
        omx_report_fail("omx_encoding_test: picture size %dx%d: Error\n", width, height);
        return 0;
    }
    const int square = width * height;
    const int in_buffer_size = encoding_buffer_size(width, height);
    const int out_buffer_size = in_buffer_size;

    omx_prepare_record(&portdef);
    portdef.nPortIndex = 0;
    OMX_ERRORTYPE err = OMX_GetParameter(handle, OMX_IndexParamPortDefinition, &portdef);
    printf("I/P port format %d \n", static_cast<int>(component_info->color_type));
    fflush(stdout);
    if (err != OMX_ErrorNone)
        omx_report_error("omx_encoding_test: OMX_GetParameter: OMX_IndexParamPortDefinition: FAIL: %x, %d\n", err,
                         component_info);
    min_inbuffer = err == OMX_ErrorNone ? portdef.nBufferCountMin : 0;
    portdef.format.video.nFrameWidth = static_cast<OMX_U32>(width);
    portdef.format.video.nFrameHeight = static_cast<OMX_U32>(height);
    portdef.format.video.eColorFormat = component_info->color_type;
    portdef.nBufferSize = static_cast<OMX_U32>(in_buffer_size);
    err = OMX_SetParameter(handle, OMX_IndexParamPortDefinition, &portdef);
    if (err != OMX_ErrorNone)
        omx_report_error("omx_encoding_test: OMX_SetParameter: OMX_IndexParamPortDefinition: FAIL: %x, %d\n", err,
                         component_info);

    // A cleared record for the output port: a failed query must not hand the
    // input port's settings and count to the output port.
    omx_prepare_record(&portdef);
    portdef.nPortIndex = 1;
    err = OMX_GetParameter(handle, OMX_IndexParamPortDefinition, &portdef);
    printf("O/P port format %d \n", static_cast<int>(component_info->coding_type));
    fflush(stdout);
    if (err != OMX_ErrorNone)
        omx_report_error("omx_encoding_test: OMX_GetParameter: FAIL: %x, %d\n", err, component_info);
    min_outbuffer = err == OMX_ErrorNone ? portdef.nBufferCountMin : 0;
    portdef.format.video.nFrameWidth = static_cast<OMX_U32>(width);
    portdef.format.video.nFrameHeight = static_cast<OMX_U32>(height);
    portdef.format.video.eCompressionFormat = component_info->coding_type;
    portdef.nBufferSize = static_cast<OMX_U32>(out_buffer_size);
    err = OMX_SetParameter(handle, OMX_IndexParamPortDefinition, &portdef);
    if (err != OMX_ErrorNone)
        omx_report_error("omx_encoding_test: OMX_SetParameter: OMX_IndexParamPortDefinition: FAIL: %x, %d\n", err,
                         component_info);

    printf("Enc I/P buffer count %d \n", static_cast<int>(min_inbuffer));
    fflush(stdout);
    printf("Enc O/P buffer count %d \n", static_cast<int>(min_outbuffer));
    fflush(stdout);
    if (omx_check_slot_counts("omx_encoding_test", min_inbuffer, min_outbuffer, component_info) != 0)
        return 0;
    if (in_buffer.allocate(min_inbuffer, static_cast<size_t>(in_buffer_size), "malloc(in_buffer[%i]) return Error\n") !=
            0 ||
        out_buffer.allocate(min_outbuffer, static_cast<size_t>(out_buffer_size),
                            "malloc(out_buffer[%i]) return Error\n") != 0)
        return 0;
    free(temp_buffer);
    temp_buffer = static_cast<unsigned char *>(omx_case_calloc(1, static_cast<size_t>(in_buffer_size)));
    if (temp_buffer == nullptr) {
        omx_report_fail("malloc(temp_buffer) return Error : %x\n", static_cast<unsigned>(err));
        return 0;
    }

    in_file = fopen(component_info->in_file_name, "rb");
    if (in_file == nullptr) {
        omx_report_fail("fopen(%s) Error\n", component_info->in_file_name);
    } else {
        out_file = fopen(component_info->out_file_name, "wb");
        if (out_file == nullptr)
            omx_report_fail("fopen(%s) Error\n", component_info->out_file_name);
    }

    if (in_file != nullptr && out_file != nullptr) {
        omx_clear_header_slots();
        err = OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateIdle, nullptr);
        if (err != OMX_ErrorNone)
            omx_report_error("omx_encoding_test: OMX_SendCommand: FAIL: %x, %d\n", err, component_info);
        omx_use_buffers(handle, component_info, 0, in_buffer_header, in_buffer, min_inbuffer,
                        static_cast<OMX_U32>(in_buffer_size), "omx_encoding_test: OMX_UseBuffer: FAIL: %x, %d\n");
        omx_use_buffers(handle, component_info, 1, out_buffer_header, out_buffer, min_outbuffer,
                        static_cast<OMX_U32>(out_buffer_size), "omx_encoding_test: OMX_AllocateBuffer: FAIL: %x, %d\n");
        if (err == OMX_ErrorNone)
            omx_wait_sema(component_info, "omx_encoding_test: OMX_StateIdle");
        omx_check_state(handle, component_info, OMX_StateIdle,
                        "omx_encoding_test: OMX_GetState: OMX_StateIdle: FAIL: %d, %d\n");

        err = omx_send_state_and_wait(handle, component_info, OMX_StateExecuting,
                                      "omx_encoding_test: OMX_StateExecuting");
        if (err != OMX_ErrorNone)
            omx_report_error("omx_encoding_test: OMX_SendCommand: OMX_StateExecuting: FAIL: %x, %d\n", err,
                             component_info);
        omx_check_state(handle, component_info, OMX_StateExecuting,
                        "omx_encoding_test: OMX_GetState: OMX_StateExecuting: FAIL: %d, %d\n");
        flush_and_wait(handle, component_info, 0,
                       "omx_encoding_test: OMX_SetParameter(OMX_CommandFlush,inport) return Error : %x\n",
                       "omx_encoding_test: OMX_CommandFlush inport");
        flush_and_wait(handle, component_info, 1,
                       "omx_encoding_test: OMX_SetParameter(OMX_CommandFlush,outport) return Error : %x\n",
                       "omx_encoding_test: OMX_CommandFlush outport");

        // One picture per input buffer, all submitted before any is waited for.
        // The data goes into the buffer this run owns (its size is known), which
        // is the buffer the component was given with UseBuffer.
        unsigned pictures = 0;
        for (OMX_U32 i = 0; i < min_inbuffer; i++) {
            if (in_buffer_header[i] == nullptr)
                continue;
            const size_t filled =
                read_picture(in_file, in_buffer[i], temp_buffer, square, pictures, component_info->in_file_name);
            if (filled == 0)
                break;
            pictures++;
            in_buffer_header[i]->nFilledLen = static_cast<OMX_U32>(filled);
            err = OMX_EmptyThisBuffer(handle, in_buffer_header[i]);
            if (err != OMX_ErrorNone)
                omx_report_fail("OMX_EmptyThisBuffer() return Error : %x\n", static_cast<unsigned>(err));
            else
                submitted++;
        }
        printf("Enc pictures read %u, submitted %u \n", pictures, submitted);
        for (OMX_U32 i = 0; i < min_outbuffer; i++) {
            if (out_buffer_header[i] == nullptr)
                continue;
            err = OMX_FillThisBuffer(handle, out_buffer_header[i]);
            if (err != OMX_ErrorNone)
                omx_report_fail("OMX_FillThisBuffer() return Error : %x\n", static_cast<unsigned>(err));
        }
        // One return per submitted buffer: every buffer that does not come
        // back costs its own line, and no post is left for the next wait.
        for (unsigned k = 0; k < submitted; k++)
            omx_wait_sema(component_info, "omx_encoding_test: EmptyBufferDone");

        err = omx_send_state_and_wait(handle, component_info, OMX_StateIdle, "omx_encoding_test: OMX_StateIdle");
        if (err != OMX_ErrorNone)
            omx_report_error("omx_encoding_test: OMX_SendCommand: OMX_StateIdle: FAIL: %x, %d\n", err, component_info);
        omx_check_state(handle, component_info, OMX_StateIdle,
                        "omx_encoding_test:  OMX_GetState: OMX_StateIdle: FAIL: %d, %d\n");

        err = OMX_SendCommand(handle, OMX_CommandStateSet, OMX_StateLoaded, nullptr);
        if (err != OMX_ErrorNone)
            omx_report_error("omx_encoding_test: OMX_SendCommand: OMX_StateLoaded: FAIL: %x, %d\n", err,
                             component_info);
        omx_free_buffers(handle, component_info, 0, in_buffer_header, min_inbuffer,
                         "omx_encoding_test: OMX_FreeBuffer(usebuffer): FAIL: %x, %d\n");
        omx_free_buffers(handle, component_info, 1, out_buffer_header, min_outbuffer,
                         "omx_encoding_test: OMX_FreeBuffer(allocatebuffer): FAIL: %x, %d\n");
        if (err == OMX_ErrorNone)
            omx_wait_sema(component_info, "omx_encoding_test: OMX_StateLoaded");
        omx_check_state(handle, component_info, OMX_StateLoaded,
                        "omx_encoding_test: OMX_GetState: OMX_StateLoaded: FAIL: %d, %d\n");
    }

    if (in_file != nullptr) {
        fclose(in_file);
        in_file = nullptr;
    }
    if (out_file != nullptr) {
        fclose(out_file);
        out_file = nullptr;
    }
    free(temp_buffer);
    temp_buffer = nullptr;
    return 0;
}
