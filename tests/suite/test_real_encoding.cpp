// The encoders' units, written one after another as an elementary stream file, decode back with
// the ffmpeg program: every picture, no decoder error. omx_test's encoding pass keeps the units
// inside the process (its output file stays empty and the core's statistics only count them),
// so the encoder is driven here through the component API with the reference core's test client.
// (tests/refcore decodes the same units back through the core's own decoder components.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>

#ifndef REFCORE_LIBRARY
#define REFCORE_LIBRARY OMX_BINARY_DIR "/lib/libZYN_OMX_Core.so"
#endif
#include "../refcore/refcore_stream.h"
#include "decoding_fixture.h"

namespace
{
using namespace refcore_test;

// A moving picture in the encoding test's layout (NV12): luma, then interleaved Cb/Cr pairs.
Unit moving_nv12(uint32_t w, uint32_t h, uint32_t t)
{
    Unit p(size_t(w) * h * 3 / 2);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            p[size_t(y) * w + x] = static_cast<uint8_t>(((x + 3 * t) / 8 + (y / 8)) % 2 ? 200 : 40);
    for (size_t i = size_t(w) * h; i < p.size(); i += 2) {
        p[i] = static_cast<uint8_t>(100 + t);
        p[i + 1] = static_cast<uint8_t>(150 - t);
    }
    return p;
}

struct EncoderCase {
    const char *encoder;
    const char *format; // ffmpeg's name of the elementary stream format
};

// Names the case in test output by its encoder.
void PrintTo(const EncoderCase &c, std::ostream *os)
{
    *os << c.encoder;
}

class RealEncoding : public StreamTest, public ::testing::WithParamInterface<EncoderCase>
{
protected:
    void SetUp() override
    {
        if (std::system("timeout 30 ffprobe -version >/dev/null 2>&1") != 0 ||
            std::system("timeout 30 ffmpeg -version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "ffmpeg or ffprobe is missing";
        StreamTest::SetUp();
    }
};

TEST_P(RealEncoding, UnitsDecodeBackWithFfmpegPictureForPicture)
{
    const EncoderCase &ec = GetParam();
    const uint32_t w = 176, h = 144, frames = 10;
    std::vector<Unit> pictures;
    for (uint32_t t = 0; t < frames; ++t)
        pictures.push_back(moving_nv12(w, h, t));
    start(ec.encoder);
    configure(w, h, 65536, 65536);
    // The encoding test's filled length counts the luma plane only.
    const PassResult enc = run(pictures, size_t(w) * h);
    ASSERT_TRUE(enc.completed);
    ASSERT_EQ(enc.outputs.size(), frames) << enc.stats;

    const std::string file = ::testing::TempDir() + "real_encoding_" + std::to_string(getpid()) + "." + ec.format;
    {
        std::ofstream f(file, std::ios::binary | std::ios::trunc);
        for (const Unit &u : enc.outputs)
            f.write(reinterpret_cast<const char *>(u.data()), static_cast<std::streamsize>(u.size()));
    }
    const std::string input = std::string(" -f ") + ec.format + " -i '" + file + "'";
    using decoding_fixture::shell_output;
    const std::string counted = shell_output("timeout 120 ffprobe -v error -count_frames -select_streams v:0 "
                                             "-show_entries stream=nb_read_frames,width,height -of csv=p=0" +
                                             input + " 2>/dev/null");
    EXPECT_EQ(counted, "176,144," + std::to_string(frames) + "\n");
    // Any error the decoder logs ends ffmpeg with a failure status.
    const std::string errors = shell_output("timeout 120 ffmpeg -nostdin -v error -xerror -threads 1" + input +
                                            " -f null - 2>&1; echo status=$?");
    EXPECT_EQ(errors, "status=0\n");
    std::remove(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(Encoders, RealEncoding,
                         ::testing::Values(EncoderCase{"OMX.ZYN.AVC.Encoder", "h264"},
                                           EncoderCase{"OMX.ZYN.MPEG4.Encoder", "m4v"},
                                           EncoderCase{"OMX.ZYN.H263.Encoder", "h263"}),
                         [](const auto &info) { return std::string(info.param.format); });

} // namespace
