// The decoding pass in-process against a scripted component that records every call, so the
// frame order, the ring slots, the buffer sizes and the way back to Loaded can be checked
// exactly. Needs an X display with EGL (a private Xvfb is started when none answers).
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <semaphore.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "KolvexXcdParser.h"
#include "decoding_fixture.h"
#include "egl_image_writer.h"
#include "omx_component.h"
#include "screen_capture.h"
#include "video_output.h"

namespace
{
using namespace decoding_fixture;

// A component that does what it is told at once, posting the run's semaphore the way the
// driver's callbacks do, and keeps a log of what it was asked.
struct FakeComponent {
    OMX_COMPONENTTYPE comp{};
    ZYN_OMX_COMPONENT_INFO *info = nullptr;
    OMX_U32 min_in = 3, min_out = 3;
    OMX_STATETYPE state = OMX_StateLoaded;
    // Failure script.
    bool silent_first_idle = false; // the first Idle command never completes
    bool refuse_idle = false;       // SendCommand(Idle) returns an error
    bool refuse_etb = false;        // EmptyThisBuffer returns an error
    bool keep_input = false;        // input buffers never come back
    int refuse_use_buffer = -1;     // UseBuffer call with this index (0-based) is refused
    int use_buffer_calls = 0;
    int idle_commands = 0;
    std::function<void()> on_executing; // runs when asked for Executing, before completing
    std::function<void()> on_fill;      // runs after each FillThisBuffer is logged
    // Log.
    std::vector<std::string> calls;
    std::vector<OMX_PARAM_PORTDEFINITIONTYPE> set_params;
    std::vector<OMX_BUFFERHEADERTYPE *> in_headers, out_headers;
    std::vector<std::pair<OMX_BUFFERHEADERTYPE *, OMX_U32>> etb;
    std::vector<OMX_BUFFERHEADERTYPE *> ftb;
    std::vector<OMX_CONFIG_RECTTYPE> crop;
    std::vector<void *> egl_images;

    static FakeComponent *self(OMX_HANDLETYPE h)
    {
        return static_cast<FakeComponent *>(static_cast<OMX_COMPONENTTYPE *>(h)->pComponentPrivate);
    }
    void post() { sem_post(info->sema); }

    static OMX_ERRORTYPE GetParameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR p)
    {
        FakeComponent *c = self(h);
        if (index != OMX_IndexParamPortDefinition)
            return OMX_ErrorUnsupportedIndex;
        auto *def = static_cast<OMX_PARAM_PORTDEFINITIONTYPE *>(p);
        c->calls.push_back("GetParameter " + std::to_string(def->nPortIndex));
        def->nBufferCountMin = def->nBufferCountActual = def->nPortIndex == 0 ? c->min_in : c->min_out;
        def->eDir = def->nPortIndex == 0 ? OMX_DirInput : OMX_DirOutput;
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE SetParameter(OMX_HANDLETYPE h, OMX_INDEXTYPE, OMX_PTR p)
    {
        FakeComponent *c = self(h);
        auto *def = static_cast<OMX_PARAM_PORTDEFINITIONTYPE *>(p);
        c->calls.push_back("SetParameter " + std::to_string(def->nPortIndex));
        c->set_params.push_back(*def);
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE GetConfig(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR p)
    {
        FakeComponent *c = self(h);
        c->calls.push_back("GetConfig " + std::to_string(index));
        if (index == OMX_IndexConfigCommonOutputCrop)
            c->crop.push_back(*static_cast<OMX_CONFIG_RECTTYPE *>(p));
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE SendCommand(OMX_HANDLETYPE h, OMX_COMMANDTYPE cmd, OMX_U32 param, OMX_PTR)
    {
        FakeComponent *c = self(h);
        c->calls.push_back("SendCommand " + std::to_string(cmd) + " " + std::to_string(param));
        if (cmd == OMX_CommandStateSet) {
            if (param == OMX_StateIdle) {
                c->idle_commands++;
                if (c->refuse_idle)
                    return OMX_ErrorIncorrectStateTransition;
                c->state = OMX_StateIdle;
                if (c->silent_first_idle && c->idle_commands == 1)
                    return OMX_ErrorNone;
            } else {
                c->state = static_cast<OMX_STATETYPE>(param);
                if (param == OMX_StateExecuting && c->on_executing)
                    c->on_executing();
            }
        }
        c->post();
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE GetState(OMX_HANDLETYPE h, OMX_STATETYPE *state)
    {
        *state = self(h)->state;
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE UseBuffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **pp, OMX_U32 port, OMX_PTR, OMX_U32 size,
                                   OMX_U8 *buf)
    {
        FakeComponent *c = self(h);
        c->calls.push_back("UseBuffer " + std::to_string(port) + " " + std::to_string(size));
        if (c->use_buffer_calls++ == c->refuse_use_buffer)
            return OMX_ErrorInsufficientResources;
        auto *hdr = new OMX_BUFFERHEADERTYPE{};
        hdr->nSize = sizeof *hdr;
        hdr->pBuffer = buf;
        hdr->nAllocLen = size;
        hdr->nInputPortIndex = port;
        c->in_headers.push_back(hdr);
        *pp = hdr;
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE UseEGLImage(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **pp, OMX_U32 port, OMX_PTR, void *image)
    {
        FakeComponent *c = self(h);
        c->calls.push_back("UseEGLImage " + std::to_string(port));
        auto *hdr = new OMX_BUFFERHEADERTYPE{};
        hdr->nSize = sizeof *hdr;
        hdr->nOutputPortIndex = port;
        c->out_headers.push_back(hdr);
        c->egl_images.push_back(image);
        *pp = hdr;
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE FreeBuffer(OMX_HANDLETYPE h, OMX_U32 port, OMX_BUFFERHEADERTYPE *hdr)
    {
        FakeComponent *c = self(h);
        c->calls.push_back("FreeBuffer " + std::to_string(port));
        delete hdr;
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE EmptyThisBuffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *hdr)
    {
        FakeComponent *c = self(h);
        c->calls.push_back("EmptyThisBuffer");
        if (c->refuse_etb)
            return OMX_ErrorIncorrectStateOperation;
        c->etb.emplace_back(hdr, hdr->nFilledLen);
        if (!c->keep_input)
            c->post();
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE FillThisBuffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *hdr)
    {
        FakeComponent *c = self(h);
        c->calls.push_back("FillThisBuffer");
        c->ftb.push_back(hdr);
        if (c->on_fill)
            c->on_fill();
        return OMX_ErrorNone;
    }

    explicit FakeComponent(ZYN_OMX_COMPONENT_INFO *record) : info(record)
    {
        comp.nSize = sizeof comp;
        comp.pComponentPrivate = this;
        comp.GetParameter = GetParameter;
        comp.SetParameter = SetParameter;
        comp.GetConfig = GetConfig;
        comp.SendCommand = SendCommand;
        comp.GetState = GetState;
        comp.UseBuffer = UseBuffer;
        comp.UseEGLImage = UseEGLImage;
        comp.FreeBuffer = FreeBuffer;
        comp.EmptyThisBuffer = EmptyThisBuffer;
        comp.FillThisBuffer = FillThisBuffer;
    }

    int count(const std::string &prefix) const
    {
        int n = 0;
        for (const std::string &c : calls)
            n += c.rfind(prefix, 0) == 0;
        return n;
    }
};

const std::string kIdle = "SendCommand 0 2";
const std::string kLoaded = "SendCommand 0 1";

// Frame sizes the parser reports for a stream, in index order.
std::vector<int> parser_frame_sizes(const std::string &stream)
{
    std::vector<int> sizes;
    void *p = KolvexParserInit(H264_DEC, const_cast<char *>(stream.c_str()), 0x200000);
    for (unsigned i = 0; p; i++) {
        const int n = KolvexParserFrameSize(p, i);
        if (n <= 0)
            break;
        sizes.push_back(n);
    }
    if (p)
        KolvexParserDeInit(p);
    return sizes;
}

int pixmap_height(Pixmap pixmap)
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return -1;
    Window root;
    int x, y;
    unsigned w, h, border, depth;
    const int ok = XGetGeometry(d, pixmap, &root, &x, &y, &w, &h, &border, &depth);
    XCloseDisplay(d);
    return ok ? static_cast<int>(h) : -1;
}

class DecodingPass : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!ensure_display())
            GTEST_SKIP() << "no X display could be had (DISPLAY unset and Xvfb would not start)";
        sem_init(&sema, 0, 0);
        std::memset(&info, 0, sizeof info);
        info.sema = &sema;
        info.component_type = OMX_COMPONENT_AVCDEC;
        info.coding_type = OMX_VIDEO_CodingAVC;
        dir = scratch_dir("pass");
        setenv("OMX_TEST_WAIT_MS", "300", 1);
        qcif = h264_stream(176, 144, 5);
        ASSERT_FALSE(qcif.empty()) << "ffmpeg could not make the test stream";
        entry(qcif, dir + "/out", 176, 144);
    }
    void TearDown() override
    {
        unsetenv("OMX_TEST_WAIT_MS");
        sem_destroy(&sema);
    }

    void entry(const std::string &in, const std::string &out, int width, int height)
    {
        std::snprintf(info.in_file_name, sizeof info.in_file_name, "%s", in.c_str());
        std::snprintf(info.out_file_name, sizeof info.out_file_name, "%s", out.c_str());
        info.width = width;
        info.height = height;
    }

    // Runs the pass, returning its report.
    std::string run(FakeComponent &c, TEST_SUPPORT_COLOR_FORMAT_TYPE format = SUPPORT_COLOR_FORMAT_ARGB8888)
    {
        ::testing::internal::CaptureStdout();
        result = omx_decoding_test(&c.comp, &info, format);
        return ::testing::internal::GetCapturedStdout();
    }

    sem_t sema;
    ZYN_OMX_COMPONENT_INFO info;
    std::string dir;
    std::string qcif; // 176x144, 5 frames; the default entry's input
    int result = -2;
};

TEST_F(DecodingPass, FeedsEveryFrameInOrderThroughTheRingAndShowsTheReport)
{
    const std::string &stream = qcif;
    const std::vector<int> sizes = parser_frame_sizes(stream);
    ASSERT_EQ(sizes.size(), 5u);
    entry(stream, dir + "/out1", 176, 144);
    FakeComponent c(&info);
    const int nc_start = nc;
    const std::string report = run(c);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(report.rfind("\noutput: " + dir + "/out1.rgb\n", 0), 0u) << report;
    EXPECT_NE(report.find("\n I/P port buf count = 3 I/P port buf size = 65536 \n"
                          " O/P port buf count = 3 O/P port buf size = 163840\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("EGL Window Created !!! \n\n"), std::string::npos) << report;
    EXPECT_EQ(count_lines(report, "omx_decoding_test: Decoder Component Output EGL Buffer is Assigned"), 3);
    EXPECT_EQ(report.find("FAIL"), std::string::npos) << report;
    EXPECT_EQ(info.color_type, OMX_COLOR_Format32bitARGB8888);
    EXPECT_TRUE(file_exists(dir + "/out1.rgb"));
    EXPECT_EQ(file_size(dir + "/out1.rgb"), 0);

    // Frames 0..N-1, each in the ring slot after the previous one, whole.
    EXPECT_EQ(frame_num, 5u);
    ASSERT_EQ(c.etb.size(), 5u);
    ASSERT_EQ(c.in_headers.size(), 3u);
    ASSERT_EQ(c.ftb.size(), 5u);
    for (int i = 0; i < 5; i++) {
        const int slot = (nc_start + i) % 3;
        EXPECT_EQ(c.etb[i].first, c.in_headers[slot]) << "frame " << i;
        EXPECT_EQ(c.etb[i].second, static_cast<OMX_U32>(sizes[i])) << "frame " << i;
        EXPECT_EQ(c.ftb[i], c.out_headers[slot]) << "frame " << i;
    }
    EXPECT_EQ(nc, (nc_start + 5) % 3);

    // Ports: picture size, formats and buffer sizes written back.
    ASSERT_EQ(c.set_params.size(), 2u);
    EXPECT_EQ(c.set_params[0].nPortIndex, 0u);
    EXPECT_EQ(c.set_params[0].nBufferSize, 65536u);
    EXPECT_EQ(c.set_params[0].format.video.nFrameWidth, 176u);
    EXPECT_EQ(c.set_params[0].format.video.nFrameHeight, 144u);
    EXPECT_EQ(c.set_params[0].format.video.eCompressionFormat, OMX_VIDEO_CodingAVC);
    EXPECT_EQ(c.set_params[0].format.video.eColorFormat, OMX_COLOR_Format32bitARGB8888);
    EXPECT_EQ(c.set_params[0].nBufferCountActual, 3u);
    EXPECT_EQ(c.set_params[1].nPortIndex, 1u);
    EXPECT_EQ(c.set_params[1].nBufferSize, 163840u);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(c.egl_images[i], khrImages[i]);
    EXPECT_EQ(pixmap_height(pixmaps[0]), 160);

    // The order of the way there and back, and one crop query after the last frame.
    std::vector<std::string> head(c.calls.begin(), c.calls.begin() + 14);
    EXPECT_EQ(head, (std::vector<std::string>{"GetParameter 0", "SetParameter 0", "GetParameter 1", "SetParameter 1",
                                              kIdle, "UseBuffer 0 65536", "UseBuffer 0 65536", "UseBuffer 0 65536",
                                              "UseEGLImage 1", "UseEGLImage 1", "UseEGLImage 1", "SendCommand 0 3",
                                              "SendCommand 1 0", "SendCommand 1 1"}));
    std::vector<std::string> tail(c.calls.end() - 9, c.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"GetConfig " + std::to_string(OMX_IndexConfigCommonOutputCrop), kIdle,
                                              kLoaded, "FreeBuffer 0", "FreeBuffer 0", "FreeBuffer 0", "FreeBuffer 1",
                                              "FreeBuffer 1", "FreeBuffer 1"}));
    ASSERT_EQ(c.crop.size(), 1u);
    EXPECT_EQ(c.crop[0].nSize, sizeof(OMX_CONFIG_RECTTYPE));
    EXPECT_EQ(c.crop[0].nVersion.s.nVersionMajor, 1);
    EXPECT_EQ(c.crop[0].nVersion.s.nVersionMinor, 0);
    EXPECT_EQ(c.crop[0].nPortIndex, 1u);
    EXPECT_EQ(c.state, OMX_StateLoaded);
    EXPECT_EQ(parser_handle, nullptr);
    EXPECT_EQ(out_file, nullptr);
}

struct EdgeSize {
    int width, height, in_size, out_size, height32;
};

class DecodingPassSizes : public DecodingPass, public ::testing::WithParamInterface<EdgeSize>
{
};

TEST_P(DecodingPassSizes, PortLinesAndImageHeight)
{
    const EdgeSize e = GetParam();
    const std::string stream = h264_stream(e.width, e.height, 2);
    ASSERT_FALSE(stream.empty());
    entry(stream, dir + "/out", e.width, e.height);
    FakeComponent c(&info);
    const std::string report = run(c);
    EXPECT_NE(report.find(" I/P port buf count = 3 I/P port buf size = " + std::to_string(e.in_size) + " \n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find(" O/P port buf count = 3 O/P port buf size = " + std::to_string(e.out_size) + "\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(pixmap_height(pixmaps[0]), e.height32);
    EXPECT_EQ(pixmap_height(pixmaps[2]), e.height32);
    EXPECT_EQ(c.etb.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, DecodingPassSizes,
                         ::testing::Values(EdgeSize{176, 144, 65536, 163840, 160},
                                           EdgeSize{1280, 720, 1433600, 3768320, 736},
                                           EdgeSize{1920, 1080, 3137536, 8355840, 1088}),
                         [](const ::testing::TestParamInfo<EdgeSize> &p) {
                             return std::to_string(p.param.width) + "x" + std::to_string(p.param.height);
                         });

TEST_F(DecodingPass, OnlyTheAvcDecoderQueriesTheCrop)
{
    const std::string &stream = qcif;
    for (TEST_COMPONENT_TYPE kind : {OMX_COMPONENT_VP8DEC, OMX_COMPONENT_MPEG4DEC, OMX_COMPONENT_H263DEC,
                                     OMX_COMPONENT_WMVDEC, OMX_COMPONENT_AVCENC}) {
        entry(stream, dir + "/out", 176, 144);
        info.component_type = kind;
        FakeComponent c(&info);
        run(c);
        EXPECT_EQ(c.count("GetConfig"), 0) << "kind " << kind;
        EXPECT_EQ(c.etb.size(), 5u) << "kind " << kind;
    }
}

TEST_F(DecodingPass, TheNextRunStartsWhereTheLastLeftTheRing)
{
    FakeComponent first(&info);
    const int start = nc;
    run(first);
    ASSERT_EQ(nc, (start + 5) % 3);
    FakeComponent second(&info);
    run(second);
    ASSERT_EQ(second.etb.size(), 5u);
    EXPECT_EQ(second.etb[0].first, second.in_headers[(start + 5) % 3]);
    EXPECT_EQ(second.ftb[0], second.out_headers[(start + 5) % 3]);
    EXPECT_EQ(nc, (start + 10) % 3);
}

TEST_F(DecodingPass, AnOutputFileThatCannotBeCreatedEndsTheRunInLoaded)
{
    const std::string &stream = qcif;
    entry(stream, dir + "/missing/out1", 176, 144);
    FakeComponent c(&info);
    const std::string report = run(c);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(count_lines(report, "fopen(" + dir + "/missing/out1) Error"), 1) << report;
    EXPECT_EQ(c.count("SendCommand"), 0);
    EXPECT_EQ(c.count("UseBuffer"), 0);
    EXPECT_EQ(c.state, OMX_StateLoaded);
    EXPECT_EQ(parser_handle, nullptr);
    EXPECT_EQ(out_file, nullptr);
}

TEST_F(DecodingPass, AnOutputNameTooLongForItsExtensionIsRefused)
{
    const std::string &stream = qcif;
    // 123 characters fit with ".rgb" (127); 124 do not.
    const std::string fits = dir + "/" + std::string(122 - dir.size(), 'a');
    ASSERT_EQ(fits.size(), 123u);
    for (const std::string &name : {fits, fits + "b"}) {
        entry(stream, name, 176, 144);
        FakeComponent c(&info);
        const std::string report = run(c);
        if (name.size() + 4 <= 127) {
            EXPECT_TRUE(file_exists(name + ".rgb")) << report;
            EXPECT_EQ(c.etb.size(), 5u);
        } else {
            EXPECT_EQ(
                count_lines(report, "omx_decoding_test: output name longer than 127 characters: " + name + ".rgb"), 1)
                << report;
            EXPECT_FALSE(file_exists(name + ".rgb"));
            EXPECT_EQ(c.count("SendCommand"), 0);
            EXPECT_EQ(c.state, OMX_StateLoaded);
        }
    }
}

TEST_F(DecodingPass, AColourFormatOutsideTheTableLeavesTheNameEmpty)
{
    const std::string &stream = qcif;
    entry(stream, dir + "/out1", 176, 144);
    info.color_type = OMX_COLOR_FormatYUV420Planar;
    FakeComponent c(&info);
    const std::string report = run(c, SUPPORT_COLOR_FORMAT_MAX);
    EXPECT_EQ(report.rfind("\noutput: \n", 0), 0u) << report;
    EXPECT_EQ(count_lines(report, "fopen(" + dir + "/out1) Error"), 1) << report;
    EXPECT_EQ(info.color_type, OMX_COLOR_FormatYUV420Planar);
    EXPECT_EQ(c.count("SendCommand"), 0);
}

TEST_F(DecodingPass, ASilentIdleCompletionCostsOneTimeoutLineNotAHang)
{
    FakeComponent c(&info);
    c.silent_first_idle = true;
    const std::string report = run(c);
    EXPECT_EQ(count_substr(report, "timeout FAIL"), 1) << report;
    EXPECT_EQ(count_lines(report, "wait for OMX_StateIdle: timeout FAIL: 300 ms"), 1) << report;
    EXPECT_EQ(c.etb.size(), 0u);
    EXPECT_EQ(c.count("SendCommand 0 3"), 0); // no Executing after the missed completion
    EXPECT_EQ(c.count(kIdle), 1);             // still Idle: not asked again
    EXPECT_EQ(c.count(kLoaded), 1);
    EXPECT_EQ(c.count("FreeBuffer"), 6);
    EXPECT_EQ(c.state, OMX_StateLoaded);
}

TEST_F(DecodingPass, ARefusedCommandIsNotWaitedFor)
{
    FakeComponent c(&info);
    c.refuse_idle = true;
    const std::string report = run(c);
    EXPECT_EQ(count_lines(report, "omx_decoding_test: OMX_SendCommand: FAIL: 80001017, 0"), 1) << report;
    EXPECT_EQ(count_lines(report, "omx_decoding_test: OMX_SendCommand: OMX_StateIdle: FAIL: 80001017, 0"), 1) << report;
    EXPECT_EQ(count_substr(report, "timeout FAIL"), 0) << report;
}

TEST_F(DecodingPass, BufferCountsOutsideTheRingEndTheRunBeforeAnyBuffer)
{
    const std::string &stream = qcif;
    struct Counts {
        OMX_U32 in, out;
        bool accepted;
    };
    for (const Counts k :
         {Counts{2, 3, false}, Counts{6, 3, false}, Counts{3, 2, false}, Counts{3, 4, false}, Counts{5, 3, true}}) {
        entry(stream, dir + "/out", 176, 144);
        FakeComponent c(&info);
        c.min_in = k.in;
        c.min_out = k.out;
        const std::string report = run(c);
        const std::string line = "omx_decoding_test: buffer count I/P " + std::to_string(k.in) + " O/P " +
                                 std::to_string(k.out) + " unsupported (I/P 3 to 5, O/P 3): FAIL, 0";
        if (k.accepted) {
            EXPECT_EQ(c.count("UseBuffer"), 5) << report;
            EXPECT_EQ(c.count("FreeBuffer 0"), 5) << report;
            EXPECT_EQ(c.etb.size(), 5u);
        } else {
            EXPECT_EQ(count_lines(report, line), 1) << report;
            EXPECT_EQ(c.count("UseBuffer"), 0);
            EXPECT_EQ(c.count("SendCommand"), 0);
            EXPECT_EQ(c.state, OMX_StateLoaded);
        }
    }
}

TEST_F(DecodingPass, AFrameLargerThanTheInputBufferIsReportedAndNotFed)
{
    const std::string stream = h264_stream(1280, 720, 2, true);
    ASSERT_FALSE(stream.empty());
    const std::vector<int> sizes = parser_frame_sizes(stream);
    ASSERT_FALSE(sizes.empty());
    ASSERT_GT(sizes[0], 65536) << "the noisy frame should not fit a 176x144 input buffer";
    entry(stream, dir + "/out", 176, 144);
    FakeComponent c(&info);
    const std::string report = run(c);
    EXPECT_EQ(count_lines(report, "omx_decoding_test: frame 0 of " + std::to_string(sizes[0]) +
                                      " bytes does not fit the input buffer of 65536 bytes: FAIL, 0"),
              1)
        << report;
    EXPECT_EQ(c.etb.size(), 0u);
    EXPECT_EQ(frame_num, 0u);
    EXPECT_EQ(c.state, OMX_StateLoaded);
}

TEST_F(DecodingPass, AnInputBufferNeverGivenBackStopsTheFeeding)
{
    FakeComponent c(&info);
    c.keep_input = true;
    const std::string report = run(c);
    EXPECT_EQ(c.etb.size(), 1u);
    EXPECT_EQ(count_lines(report, "wait for OMX_EmptyThisBuffer: timeout FAIL: 300 ms"), 1) << report;
    EXPECT_EQ(c.count(kLoaded), 1);
    EXPECT_EQ(c.state, OMX_StateLoaded);
}

TEST_F(DecodingPass, ARefusedInputBufferIsNeitherFedNorFreed)
{
    nc = 0;
    FakeComponent c(&info);
    c.refuse_use_buffer = 1;
    const std::string report = run(c);
    EXPECT_EQ(count_lines(report, "omx_decoding_test: OMX_UseBuffer: FAIL: 80001000, 0"), 1) << report;
    // Slot 0 is fed; slot 1 has no header, so the feeding stops there.
    EXPECT_EQ(count_lines(report, "omx_decoding_test: no buffer header in slot 1: FAIL, 0"), 1) << report;
    ASSERT_EQ(c.etb.size(), 1u);
    EXPECT_EQ(c.etb[0].first, c.in_headers[0]);
    EXPECT_EQ(c.count("FreeBuffer 0"), 2);
    EXPECT_EQ(c.count("FreeBuffer 1"), 3);
    EXPECT_EQ(in_buffer_header[1], nullptr);
    EXPECT_EQ(c.state, OMX_StateLoaded);
}

TEST_F(DecodingPass, RefusedInputBuffersAreReportedWithoutWaiting)
{
    FakeComponent c(&info);
    c.refuse_etb = true;
    const std::string report = run(c);
    EXPECT_EQ(count_lines(report, "OMX_EmptyThisBuffer() return Error : 80001018"), 5) << report;
    EXPECT_EQ(count_substr(report, "timeout FAIL"), 0) << report;
    EXPECT_EQ(frame_num, 5u);
}

TEST_F(DecodingPass, NoSuchInputFileGivesAnEmptyFrameLoop)
{
    entry(dir + "/nothing.264", dir + "/out", 176, 144);
    FakeComponent c(&info);
    const std::string report = run(c);
    EXPECT_EQ(c.etb.size(), 0u);
    EXPECT_EQ(c.count(kIdle), 2);
    EXPECT_EQ(c.count(kLoaded), 1);
    EXPECT_EQ(c.count("GetConfig"), 1);
    EXPECT_EQ(c.state, OMX_StateLoaded);
    EXPECT_EQ(report.find("FAIL"), std::string::npos) << report;
}

TEST_F(DecodingPass, PictureSizesThatWouldOverflowTheBufferFormulasAreRefused)
{
    for (const auto &[w, h] : std::vector<std::pair<int, int>>{{0, 144}, {176, -1}, {70000, 144}, {176, 16385}}) {
        entry(dir + "/nothing.264", dir + "/out", w, h);
        FakeComponent c(&info);
        const std::string report = run(c);
        EXPECT_EQ(count_lines(report, "omx_decoding_test: picture size " + std::to_string(w) + "x" + std::to_string(h) +
                                          " outside 1x1 to 16384x16384: FAIL, 0"),
                  1)
            << report;
        EXPECT_TRUE(c.calls.empty());
    }
}

// Paints each of the three ring images in a colour of its own from a thread of its own, the
// way a decoder writes its pictures. The colours survive a red/blue swap.
const std::uint8_t kSlotColour[3][3] = {{0, 255, 0}, {255, 255, 255}, {255, 0, 255}};

bool paint_ring(EGLDisplay display, const std::vector<void *> &images, int width, int height)
{
    bool ok = images.size() == 3;
    std::thread painter([&] {
        EGL_IMAGE_WRITER writer;
        if (!ok || !EglImageWriterOpen(&writer, display)) {
            ok = false;
            return;
        }
        for (int slot = 0; slot < 3; slot++) {
            std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4, 255);
            for (std::size_t i = 0; i < rgba.size(); i += 4)
                std::memcpy(&rgba[i], kSlotColour[slot], 3);
            const GLuint tex = EglImageWriterBind(&writer, static_cast<EGLImageKHR>(images[slot]));
            ok = ok && tex != 0 && EglImageWriterUpload(&writer, tex, width, height, rgba);
        }
        EglImageWriterClose(&writer);
    });
    painter.join();
    return ok;
}

// The ring slot whose colour fills the middle of the screen, or -1.
int slot_on_screen()
{
    RGB_PICTURE picture;
    if (!CaptureRootWindow(x_display, &picture))
        return -1;
    const std::uint8_t *p = picture.At(picture.width / 2, picture.height / 2);
    for (int slot = 0; slot < 3; slot++)
        if (std::memcmp(p, kSlotColour[slot], 3) == 0)
            return slot;
    return -1;
}

TEST_F(DecodingPass, ThePictureShownIsTheSlotFilledOnThePreviousIteration)
{
    const std::string &stream = qcif;
    for (const int start : {0, 1, 2}) {
        entry(stream, dir + "/out", 176, 144);
        nc = start;
        FakeComponent c(&info);
        bool painted = false;
        c.on_executing = [&] { painted = paint_ring(egl_display, c.egl_images, 176, 160); };
        // What the screen shows when each frame after the first is handed over: the picture of
        // the iteration before; the last one is read after the run.
        std::vector<int> shown;
        c.on_fill = [&] {
            if (c.ftb.size() >= 2)
                shown.push_back(slot_on_screen());
        };
        run(c);
        shown.push_back(slot_on_screen());
        ASSERT_TRUE(painted) << "the ring images could not be painted";
        ASSERT_EQ(c.etb.size(), 5u);
        std::vector<int> expected;
        for (int i = 0; i < 5; i++)
            expected.push_back((start + i + 2) % 3); // slot nc - 1, slot 2 for nc 0
        EXPECT_EQ(shown, expected) << "ring position " << start;
    }
}

} // namespace
