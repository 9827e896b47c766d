// The encoding pass on an in-process component: what the encoder receives.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fake_component.h"
#include "omx_case_support.h"
#include "omx_component.h"
#include "omx_report.h"

namespace
{

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int kSquare = kWidth * kHeight; // 25344
constexpr int kPicture = kSquare * 3 / 2; // 38016

// Planar 4:2:0 picture p: luma, then Cb, then Cr, each sample telling its plane and place.
std::vector<unsigned char> planar_picture(int p)
{
    std::vector<unsigned char> picture(kPicture);
    for (int i = 0; i < kSquare; i++)
        picture[i] = static_cast<unsigned char>(i * 7 + p);
    for (int k = 0; k < kSquare / 4; k++) {
        picture[kSquare + k] = static_cast<unsigned char>(0x40 + k + 3 * p);               // Cb
        picture[kSquare + kSquare / 4 + k] = static_cast<unsigned char>(0xC0 - k - 5 * p); // Cr
    }
    return picture;
}

struct EncodingPass : ::testing::Test {
    sem_t sema{};
    ZYN_OMX_COMPONENT_INFO info{};
    std::string dir;

    void SetUp() override
    {
        ASSERT_EQ(sem_init(&sema, 0, 0), 0);
        char pattern[] = "/tmp/omx_encoding_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        info.sema = &sema;
        info.component_type = OMX_COMPONENT_AVCENC;
        info.coding_type = static_cast<OMX_VIDEO_CODINGTYPE>(21);
        info.color_type = OMX_COLOR_FormatYUV420SemiPlanar;
        info.width = kWidth;
        info.height = kHeight;
        snprintf(info.in_file_name, sizeof(info.in_file_name), "%s/in.yuv", dir.c_str());
        snprintf(info.out_file_name, sizeof(info.out_file_name), "%s/out.264", dir.c_str());
        setenv("OMX_TEST_WAIT_MS", "200", 1);
    }

    void TearDown() override
    {
        unsetenv("OMX_TEST_WAIT_MS");
        remove(info.in_file_name);
        remove(info.out_file_name);
        rmdir(dir.c_str());
        sem_destroy(&sema);
    }

    void write_input(int pictures, int extra_bytes = 0)
    {
        FILE *file = fopen(info.in_file_name, "wb");
        ASSERT_NE(file, nullptr);
        for (int p = 0; p < pictures; p++) {
            auto picture = planar_picture(p);
            fwrite(picture.data(), 1, picture.size(), file);
        }
        auto partial = planar_picture(pictures);
        fwrite(partial.data(), 1, static_cast<size_t>(extra_bytes), file);
        fclose(file);
    }

    std::string run(FakeComponent &component)
    {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(omx_encoding_test(&component.handle, &info, SUPPORT_COLOR_FORMAT_YUV420SemiPlanar), 0);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(EncodingPass, EachInputBufferCarriesOnePictureWithInterleavedChroma)
{
    write_input(4);
    FakeComponent component(&info);
    const std::string out = run(component);

    ASSERT_EQ(component.emptied.size(), 3u) << out;
    for (int p = 0; p < 3; p++) {
        const auto &received = component.emptied[p];
        const auto picture = planar_picture(p);
        // Luma and chroma together: the filled length covers the whole picture.
        EXPECT_EQ(component.emptied_lengths[p], static_cast<OMX_U32>(kPicture));
        ASSERT_EQ(received.size(), static_cast<size_t>(kPicture));
        EXPECT_TRUE(std::equal(picture.begin(), picture.begin() + kSquare, received.begin()));
        // Cb sample 10 and Cr sample 10 of a 176 x 144 picture.
        EXPECT_EQ(received[25364], picture[kSquare + 10]);
        EXPECT_EQ(received[25365], picture[kSquare + kSquare / 4 + 10]);
        for (int k = 0; k < kSquare / 4; k++) {
            ASSERT_EQ(received[kSquare + 2 * k], picture[kSquare + k]) << "Cb " << k;
            ASSERT_EQ(received[kSquare + 2 * k + 1], picture[kSquare + kSquare / 4 + k]) << "Cr " << k;
        }
    }
    EXPECT_NE(out.find("Enc pictures read 3, submitted 3 \n"), std::string::npos) << out;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    // Both ports were set up for the picture, the input with the record's colour format.
    EXPECT_EQ(component.port_set[0].format.video.eColorFormat, OMX_COLOR_FormatYUV420SemiPlanar);
    EXPECT_EQ(component.port_set[0].nBufferSize, 65536u);
    EXPECT_EQ(component.port_set[1].nBufferSize, 65536u);
    EXPECT_EQ(component.state, OMX_StateLoaded);
}

TEST_F(EncodingPass, ShortReadAtTheEndIsReportedAndItsBufferNotSubmitted)
{
    write_input(1, 1000);
    FakeComponent component(&info);
    const int timeouts = omx_report_timeout_count();
    const std::string out = run(component);

    EXPECT_EQ(component.emptied.size(), 1u);
    const std::string line = "omx_encoding_test: " + std::string(info.in_file_name) +
                             ": picture 1: short read, 1000 of 38016 bytes, not submitted: Error\n";
    EXPECT_NE(out.find(line), std::string::npos) << out;
    EXPECT_NE(out.find("Enc pictures read 1, submitted 1 \n"), std::string::npos) << out;
    // Only the submitted buffer is waited for: no wait expires.
    EXPECT_EQ(omx_report_timeout_count(), timeouts) << out;
}

TEST_F(EncodingPass, MissingInputFileStopsBeforeAnyCommand)
{
    FakeComponent component(&info);
    const std::string out = run(component);
    const std::string expected = "\noutput: " + std::string(info.out_file_name) +
                                 "\nI/P port format 21 \nO/P port format 21 \nEnc I/P buffer count 3 \n"
                                 "Enc O/P buffer count 3 \nfopen(" +
                                 info.in_file_name + ") Error\n";
    EXPECT_EQ(out, expected);
    EXPECT_EQ(component.commands, 0);
    EXPECT_EQ(component.buffer_calls, 0);
}

TEST_F(EncodingPass, CountsBeyondTheHeaderSlotsAreRefusedBeforeAnyBufferCall)
{
    write_input(6);
    FakeComponent component(&info);
    component.min_count[0] = 6;
    const std::string out = run(component);
    EXPECT_NE(out.find("omx_encoding_test: buffer count FAIL: input 6 (at most 5), output 3 (at most 3), 1\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(component.buffer_calls, 0);
    EXPECT_EQ(component.commands, 0);
}

TEST_F(EncodingPass, PictureSizeOutsideTheBuffersIsRefused)
{
    write_input(1);
    FakeComponent component(&info);
    info.width = -176;
    const std::string out = run(component);
    EXPECT_NE(out.find("omx_encoding_test: picture size -176x144: Error\n"), std::string::npos) << out;
    EXPECT_EQ(component.commands, 0);
    EXPECT_EQ(component.buffer_calls, 0);
}

TEST_F(EncodingPass, OutputFileThatCannotBeCreatedStopsBeforeAnyCommand)
{
    write_input(3);
    snprintf(info.out_file_name, sizeof(info.out_file_name), "%s/missing/out.264", dir.c_str());
    FakeComponent component(&info);
    const std::string out = run(component);
    EXPECT_NE(out.find("fopen(" + std::string(info.out_file_name) + ") Error\n"), std::string::npos) << out;
    EXPECT_EQ(component.commands, 0);
    EXPECT_EQ(component.buffer_calls, 0);
}

int failing_allocation = -1;
int allocations = 0;
void *counting_calloc(size_t count, size_t size)
{
    return allocations++ == failing_allocation ? nullptr : calloc(count, size);
}

// Three input buffers, three output buffers, then the chroma buffer: whichever
// cannot be had is reported, and no component call follows.
TEST_F(EncodingPass, BufferThatCannotBeHadIsReportedAndNothingSent)
{
    write_input(3);
    const struct {
        int failing;
        const char *line;
    } cases[] = {{0, "malloc(in_buffer[0]) return Error\n"},
                 {4, "malloc(out_buffer[1]) return Error\n"},
                 {6, "malloc(temp_buffer) return Error : 0\n"}};
    omx_case_calloc = counting_calloc;
    for (const auto &c : cases) {
        allocations = 0;
        failing_allocation = c.failing;
        FakeComponent component(&info);
        const int fails = omx_report_fail_count();
        const std::string out = run(component);
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
        EXPECT_EQ(omx_report_fail_count(), fails + 1) << out;
        EXPECT_EQ(component.commands + component.buffer_calls, 0);
        EXPECT_EQ(temp_buffer, nullptr);
    }
    omx_case_calloc = calloc;
}

} // namespace
