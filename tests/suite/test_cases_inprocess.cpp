// The cases and the encoding pass in-process on the scriptable component, where the order of
// the calls and the bytes handed over matter; and the buffer sizes both passes use.
#include <array>

#include "fake_component.h"
#include "omx_header_slots.h"
#include "omx_report.h"
#include "omx_streaming_pass.h"
#include "omx_test_cases.h"
#include "test_common.h"

namespace
{

using Lines = std::vector<std::string>;
using FakeRun = FakeComponentTest;
using omxt::lines;

using CaseFunc = int (*)(OMX_COMPONENTTYPE *, ZYN_OMX_COMPONENT_INFO *);

int encode(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *info)
{
    return omx_encoding_test(handle, info, SUPPORT_COLOR_FORMAT_YUV420SemiPlanar);
}

TEST_F(FakeRun, CountsBeyondTheHeaderSlotsAreRefusedBeforeAnyCommandOrBuffer)
{
    info.width = 176;
    info.height = 144;
    const struct {
        CaseFunc run;
        const char *test;
        int result;
    } cases[] = {{omx_buffer_test, "OMX UTC 002", -1},
                 {omx_port_test, "OMX UTC 003", -1},
                 {omx_component_state_test, "OMX UTC 004", -1},
                 {encode, "omx_encoding_test", 0}};
    for (const auto &c : cases)
        for (auto [in, out] : {std::pair<OMX_U32, OMX_U32>{6, 3}, {5, 4}}) {
            fake.min_count[0] = in;
            fake.min_count[1] = out;
            fake.log.clear();
            const std::string printed = report([&] { EXPECT_EQ(c.run(&fake.handle, &info), c.result); });
            EXPECT_EQ(lines(printed).back(), std::string(c.test) + ": buffer count FAIL: input " + std::to_string(in) +
                                                 " (at most 5), output " + std::to_string(out) + " (at most 3), 2");
            EXPECT_EQ(fake.calls("SendCommand") + fake.calls("UseBuffer"), "") << c.test;
        }
}

TEST_F(FakeRun, BufferCaseUsesEverySlotAtTheLimitsAndSkipsWithoutBuffers)
{
    fake.min_count[0] = 5;
    fake.buffer_size = 40960; // a port that takes no buffer under its size: every buffer that size
    // The input buffer coming back takes the post of the Loaded completion; one is left over.
    report([&] {
        omx_buffer_test(&fake.handle, &info);
        EXPECT_EQ(sem_trywait(&sema), 0);
    });
    EXPECT_EQ(omxt::count(fake.calls("UseBuffer 0"), ";"), 5);
    EXPECT_EQ(omxt::count(fake.calls("AllocateBuffer 1"), ";"), 3);
    EXPECT_EQ(fake.calls("FreeBuffer"), "FreeBuffer 0; FreeBuffer 0; FreeBuffer 0; FreeBuffer 0; FreeBuffer 0; "
                                        "FreeBuffer 1; FreeBuffer 1; FreeBuffer 1; ");
    EXPECT_EQ(fake.calls("EmptyThisBuffer") + fake.calls("FillThisBuffer"), "EmptyThisBuffer 0; FillThisBuffer 0; ");
    EXPECT_EQ(fake.emptied[0].size(), 10u);
    EXPECT_EQ(fake.sizes, std::vector<OMX_U32>(8, 40960));

    fake.min_count[0] = fake.min_count[1] = 0;
    fake.log.clear();
    const std::string printed = report([&] { omx_buffer_test(&fake.handle, &info); });
    EXPECT_EQ(fake.calls(""), "GetParameter 33554433; GetParameter 33554433; SendCommand 0 2; SendCommand 0 1; ");
    EXPECT_EQ(omxt::count(printed, "OMX UTC 002-04: OMX_EmptyThisBuffer: no input buffer, skipped: 2\n"), 1);
    EXPECT_EQ(omxt::count(printed, "OMX UTC 002-05: OMX_FillThisBuffer: no output buffer, skipped: 2\n"), 1);
}

TEST_F(FakeRun, StateAndPortCasesCallInTheirOrderAndWaitOncePerCommand)
{
    fake.min_count[0] = fake.min_count[1] = 1;
    report([&] { omx_component_state_test(&fake.handle, &info); });
    EXPECT_EQ(fake.calls(""), "GetParameter 33554433; GetParameter 33554433; SendCommand 0 2; UseBuffer 0; "
                              "AllocateBuffer 1; SendCommand 0 3; SendCommand 0 2; SendCommand 0 1; FreeBuffer 0; "
                              "FreeBuffer 1; ");
    fake.log.clear();
    report([&] { omx_port_test(&fake.handle, &info); });
    EXPECT_EQ(fake.calls("SendCommand"), "SendCommand 0 2; SendCommand 0 3; SendCommand 1 0; SendCommand 1 1; "
                                         "SendCommand 0 2; SendCommand 0 1; SendCommand 2 0; SendCommand 2 1; "
                                         "SendCommand 3 0; SendCommand 3 1; ");
    EXPECT_EQ(fake.calls("FreeBuffer"), "FreeBuffer 0; FreeBuffer 1; ");
}

// Three 176 x 144 pictures whose every byte tells where it came from.
std::string planar_pictures(int count)
{
    std::string bytes(static_cast<size_t>(count) * 38016, '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = static_cast<char>(i * 7 + i / 38016);
    return bytes;
}

TEST_F(FakeRun, EncodingPassHandsOnePictureWithInterleavedChromaPerInputBuffer)
{
    omxt::TempDir dir;
    const std::string pictures = planar_pictures(3);
    snprintf(info.in_file_name, sizeof info.in_file_name, "%s", dir.write("in.yuv", pictures).c_str());
    snprintf(info.out_file_name, sizeof info.out_file_name, "%s", dir.file("out.264").c_str());
    info.component_type = OMX_COMPONENT_AVCENC;
    info.width = 176;
    info.height = 144;
    info.coding_type = static_cast<OMX_VIDEO_CODINGTYPE>(21);
    info.color_type = OMX_COLOR_FormatYUV420SemiPlanar;
    const std::string printed = report([&] { encode(&fake.handle, &info); });
    EXPECT_EQ(printed, "\noutput: " + dir.file("out.264") +
                           "\nI/P port format 21 \nO/P port format 21 \nEnc I/P buffer count 3 \n"
                           "Enc O/P buffer count 3 \nEnc pictures read 3, submitted 3 \n");
    EXPECT_EQ(fake.calls("S"), "SetParameter 33554433; SetParameter 33554433; SendCommand 0 2; SendCommand 0 3; "
                               "SendCommand 1 0; SendCommand 1 1; SendCommand 0 2; SendCommand 0 1; ");
    EXPECT_EQ(fake.calls("UseBuffer"),
              "UseBuffer 0; UseBuffer 0; UseBuffer 0; UseBuffer 1; UseBuffer 1; UseBuffer 1; ");
    EXPECT_EQ(fake.calls("Fill"), "FillThisBuffer 0; FillThisBuffer 1; FillThisBuffer 2; ");
    ASSERT_EQ(fake.port_set.size(), 2u);
    EXPECT_EQ(fake.port_set[0].nBufferSize, 65536u);
    EXPECT_EQ(fake.port_set[0].format.video.eColorFormat, OMX_COLOR_FormatYUV420SemiPlanar);
    EXPECT_EQ(static_cast<int>(fake.port_set[1].format.video.eCompressionFormat), 21);
    EXPECT_EQ(fake.port_set[1].format.video.nFrameWidth * fake.port_set[1].format.video.nFrameHeight, 25344u);
    ASSERT_EQ(fake.emptied.size(), 3u);
    for (size_t p = 0; p < 3; p++) {
        const std::string picture = pictures.substr(p * 38016, 38016);
        std::string expected = picture.substr(0, 25344);
        for (size_t k = 0; k < 6336; k++)
            expected += std::string{picture[25344 + k], picture[25344 + 6336 + k]};
        EXPECT_EQ(std::string(fake.emptied[p].begin(), fake.emptied[p].end()), expected) << "picture " << p;
    }
    EXPECT_EQ(omxt::read_file(dir.file("out.264")), "");

    // A short file: only whole pictures are submitted, and the short one is reported.
    dir.write("in.yuv", planar_pictures(2) + std::string(30000, 'x')); // luma whole, chroma short
    fake.emptied.clear();
    const std::string short_report = report([&] { encode(&fake.handle, &info); });
    EXPECT_EQ(fake.emptied.size(), 2u);
    EXPECT_EQ(omxt::count(short_report, ": picture 2: short read, 30000 of 38016 bytes, not submitted: Error\n"
                                        "Enc pictures read 2, submitted 2 \n"),
              1);
}

TEST_F(FakeRun, EncodingPassWithoutItsFilesOrWithAnOddSizeSendsNothing)
{
    info.width = 176;
    info.height = 144;
    snprintf(info.in_file_name, sizeof info.in_file_name, "/nonexistent/in.yuv");
    std::string printed = report([&] { encode(&fake.handle, &info); });
    EXPECT_EQ(lines(printed).back(), "fopen(/nonexistent/in.yuv) Error");
    omxt::TempDir dir;
    snprintf(info.in_file_name, sizeof info.in_file_name, "%s", dir.write("in.yuv", "").c_str());
    snprintf(info.out_file_name, sizeof info.out_file_name, "/nonexistent/out.264");
    printed = report([&] { encode(&fake.handle, &info); });
    EXPECT_EQ(lines(printed).back(), "fopen(/nonexistent/out.264) Error");
    for (auto [w, h] : {std::pair{175, 144}, {176, 0}, {16386, 144}}) {
        info.width = w;
        info.height = h;
        printed = report([&] { encode(&fake.handle, &info); });
        EXPECT_EQ(lines(printed).back(),
                  "omx_encoding_test: picture size " + std::to_string(w) + "x" + std::to_string(h) + ": Error");
    }
    EXPECT_EQ(fake.calls("SendCommand") + fake.calls("UseBuffer"), "");
}

TEST(StreamingPass, BufferSizesAndThePictureSizeLimit)
{
    for (auto [w, h, stream, picture] : {std::array{1280, 720, 1433600, 3768320},
                                         {176, 144, 65536, 163840},
                                         {1920, 1080, 3137536, 8355840},
                                         {16384, 16384, 402653184, 1073741824}}) {
        EXPECT_EQ(omx_stream_buffer_size(w, h), stream) << w;
        EXPECT_EQ(omx_picture_buffer_size(w, h), picture) << w;
    }
    EXPECT_TRUE(omx_picture_size_fits(1, 16384) && omx_picture_size_fits(16384, 1));
    EXPECT_FALSE(omx_picture_size_fits(0, 16) || omx_picture_size_fits(16, 16385));
}

} // namespace
