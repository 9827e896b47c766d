// The decoding pass in-process on the scriptable component, with the real parser and the real
// window (labelled display): frames fed in order through the ring, the stages and their stops.
#include <memory>

#include "KolvexXcdParser.h"
#include "fake_component.h"
#include "omx_test_cases.h"

namespace
{

using Lines = std::vector<std::string>;

// Idle, Executing, both ports flushed, Idle, Loaded.
const std::string kWholeCycle = "SendCommand 0 2; SendCommand 0 3; SendCommand 1 0; SendCommand 1 1; "
                                "SendCommand 0 2; SendCommand 0 1; ";

struct DecodingPass : FakeComponentTest {
    omxt::TempDir dir;

    void SetUp() override
    {
        FakeComponentTest::SetUp();
        entry(OMX_COMPONENT_AVCDEC, omxt::sample("h264_qcif.264"), dir.file("out"));
    }
    void entry(TEST_COMPONENT_TYPE kind, const std::string &in, const std::string &out, int w = 176, int h = 144)
    {
        info.component_type = kind;
        info.coding_type = OMX_VIDEO_CodingAVC;
        snprintf(info.in_file_name, sizeof info.in_file_name, "%s", in.c_str());
        snprintf(info.out_file_name, sizeof info.out_file_name, "%s", out.c_str());
        info.width = w;
        info.height = h;
    }
    std::string decode(int expected_timeouts = 0, TEST_SUPPORT_COLOR_FORMAT_TYPE format = SUPPORT_COLOR_FORMAT_ARGB8888)
    {
        return report([&] { omx_decoding_test(&fake.handle, &info, format); }, expected_timeouts);
    }
};

// The frames of a stream as the parser serves them.
std::vector<std::vector<OMX_U8>> frames_of(const std::string &file)
{
    std::string name = file;
    std::unique_ptr<void, kolvex::BOOL (*)(void *)> parser(KolvexParserInit(H264_DEC, name.data(), 0x200000),
                                                           KolvexParserDeInit);
    std::vector<std::vector<OMX_U8>> frames;
    for (unsigned i = 0; parser && KolvexParserFrameSize(parser.get(), i) > 0; i++) {
        std::vector<OMX_U8> frame(KolvexParserFrameSize(parser.get(), i));
        int last = 0;
        frame.resize(KolvexParserFrameGet(parser.get(), i, frame.data(), &last));
        frames.push_back(frame);
    }
    return frames;
}

TEST_F(DecodingPass, FeedsEveryFrameInOrderThroughTheRingWhereTheLastRunLeftIt)
{
    const std::string out = decode();
    const std::string assigned = "omx_decoding_test: Decoder Component Output EGL Buffer is Assigned\n";
    EXPECT_EQ(
        out, "\noutput: " + dir.file("out.rgb") +
                 "\n\nStart Parsing.........\n>> VsParser loop count : 23 <<\n"
                 " I/P port buf count = 3 I/P port buf size = 65536 \n"
                 " O/P port buf count = 3 O/P port buf size = 163840\nCreated EGL Images\nEGL Window Created !!! \n\n" +
                 assigned + assigned + assigned +
                 "Success to compile GLSL shader\nSuccess to compile GLSL shader\nSuccess to link GLSL shader\n");
    EXPECT_TRUE(omxt::read_file(dir.file("out.rgb")).empty());
    EXPECT_EQ(info.color_type, OMX_COLOR_Format32bitARGB8888);
    const auto frames = frames_of(info.in_file_name);
    ASSERT_GT(frames.size(), 3u);
    EXPECT_EQ(fake.emptied, frames);
    ASSERT_EQ(fake.port_set.size(), 2u);
    EXPECT_EQ(fake.port_set[0].format.video.eCompressionFormat, OMX_VIDEO_CodingAVC);
    EXPECT_EQ(fake.port_set[0].format.video.eColorFormat, OMX_COLOR_Format32bitARGB8888);
    EXPECT_EQ(fake.port_set[1].nBufferSize, 163840u);
    // One frame in flight through the ring, its output slot queued beside it; this component
    // returns no picture, so each output buffer is given once and never again while it holds it.
    const int start = fake.calls("EmptyThisBuffer")[16] - '0';
    std::string fed, filled;
    for (size_t k = 0; k < frames.size(); k++) {
        fed += "EmptyThisBuffer " + std::to_string((start + k) % 3) + "; ";
        if (k < 3)
            filled += "FillThisBuffer " + std::to_string((start + k) % 3) + "; ";
    }
    EXPECT_EQ(fake.calls("EmptyThisBuffer") + fake.calls("FillThisBuffer"), fed + filled);
    EXPECT_EQ(fake.calls("GetConfig"), "GetConfig " + std::to_string(OMX_IndexConfigCommonOutputCrop) + "; ");
    EXPECT_EQ(fake.calls("SendCommand"), kWholeCycle);
    EXPECT_EQ(omxt::count(fake.calls("FreeBuffer"), ";"), 6);

    // The next run, on a component that needs no crop query, starts where this one stopped.
    FakeComponent next(&info);
    entry(OMX_COMPONENT_MPEG4DEC, omxt::sample("mpeg4_plain.m4v"), dir.file("out2"));
    report([&] { omx_decoding_test(&next.handle, &info, SUPPORT_COLOR_FORMAT_YUV420Planar); });
    EXPECT_EQ(next.calls("EmptyThisBuffer").substr(0, 17),
              "EmptyThisBuffer " + std::to_string((start + frames.size()) % 3));
    EXPECT_EQ(next.calls("GetConfig"), "");
    EXPECT_EQ(info.color_type, OMX_COLOR_FormatYUV420Planar);
}

TEST_F(DecodingPass, MissedCompletionsStopThePassWithOneLineEach)
{
    fake.silent.insert("SendCommand 0 2");
    std::string out = decode(1);
    EXPECT_EQ(omxt::count(out, "wait for OMX_StateIdle: timeout FAIL: 50 ms\n"), 1);
    // Stuck in the Idle transition: no further command but Loaded, every buffer handed back.
    EXPECT_EQ(fake.calls("SendCommand"), "SendCommand 0 2; SendCommand 0 1; ");
    EXPECT_EQ(omxt::count(fake.calls("FreeBuffer"), ";"), 6);
    EXPECT_EQ(fake.emptied.size(), 0u);
    // A flush that never completes: nothing is fed, the running component goes back through Idle.
    FakeComponent flusher(&info);
    flusher.silent.insert("SendCommand 1 0");
    report([&] { omx_decoding_test(&flusher.handle, &info, SUPPORT_COLOR_FORMAT_ARGB8888); }, 1);
    EXPECT_EQ(flusher.calls("SendCommand") + std::to_string(flusher.emptied.size()),
              "SendCommand 0 2; SendCommand 0 3; SendCommand 1 0; SendCommand 0 2; SendCommand 0 1; 0");

    FakeComponent keeper(&info);
    keeper.keep_input = true;
    out = report([&] { omx_decoding_test(&keeper.handle, &info, SUPPORT_COLOR_FORMAT_ARGB8888); }, 1);
    EXPECT_EQ(omxt::count(out, "wait for OMX_EmptyThisBuffer: timeout FAIL: 50 ms\n"), 1);
    EXPECT_EQ(keeper.emptied.size(), 1u);
    EXPECT_EQ(keeper.calls("SendCommand"), kWholeCycle);
}

TEST_F(DecodingPass, EntriesItCannotRunEndBeforeAnyBufferOrCommand)
{
    const struct {
        OMX_U32 in, out;
        int width;
        const char *out_name;
        TEST_SUPPORT_COLOR_FORMAT_TYPE format;
        std::string last_line;
    } cases[] = {
        {2, 3, 176, "out", SUPPORT_COLOR_FORMAT_ARGB8888,
         "omx_decoding_test: buffer count I/P 2 O/P 3 unsupported (I/P 3 to 5, O/P 3): FAIL, 0"},
        {6, 3, 176, "out", SUPPORT_COLOR_FORMAT_ARGB8888,
         "omx_decoding_test: buffer count I/P 6 O/P 3 unsupported (I/P 3 to 5, O/P 3): FAIL, 0"},
        {3, 2, 176, "out", SUPPORT_COLOR_FORMAT_ARGB8888,
         "omx_decoding_test: buffer count I/P 3 O/P 2 unsupported (I/P 3 to 5, O/P 3): FAIL, 0"},
        {3, 3, 16385, "out", SUPPORT_COLOR_FORMAT_ARGB8888,
         "omx_decoding_test: picture size 16385x144 outside 1x1 to 16384x16384: FAIL, 0"},
        {3, 3, 176, "/nonexistent/out", SUPPORT_COLOR_FORMAT_NV12Tiled, "fopen(/nonexistent/out) Error"},
        {3, 3, 176, "out", SUPPORT_COLOR_FORMAT_MAX, "fopen(out) Error"},
        {3, 3, 176,
         "o123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "012345678901234567890123",
         SUPPORT_COLOR_FORMAT_ARGB8888,
         "omx_decoding_test: output name longer than 127 characters: "
         "o123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "012345678901234567890123.rgb"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.last_line);
        fake.min_count[0] = c.in;
        fake.min_count[1] = c.out;
        entry(OMX_COMPONENT_AVCDEC, omxt::sample("h264_qcif.264"), c.out_name, c.width);
        const Lines printed = omxt::lines(decode(0, c.format));
        ASSERT_FALSE(printed.empty());
        EXPECT_EQ(printed.back(), c.last_line);
        EXPECT_EQ(fake.calls("SendCommand") + fake.calls("Use"), "");
    }
}

} // namespace
