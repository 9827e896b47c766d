// What the video output puts on the screen, through show_pattern: images written by another
// context on another thread, drawn over the whole window, and the screenshot it saves.
#include "test_common.h"

#include <cmath>

// Slot 2 of 3 (the last shown) stretched over the window, nearest sampled, row 0 at the top,
// drawn with the pass-through shader; or slot 0 alone with the YUV shader, which shows texel
// (R, G, -, A) as the colour of Y = R, U = G - 0.5, V = A - 0.5 (the pattern's A is 1).
TEST(ShowPattern, ScreenshotShowsTheLastSlotStretchedOverTheWindow)
{
    OMX_SKIP_UNLESS(std::system("command -v convert >/dev/null 2>&1") == 0, "ImageMagick's convert");
    constexpr int kScreenW = 1280, kScreenH = 800, kW = 176, kH = 160;
    for (bool yuv : {false, true}) {
        SCOPED_TRACE(yuv ? "YUV shader" : "pass-through shader");
        omxt::TempDir dir; // the PNG is read back by another program
        const std::string shot = dir.file(yuv ? "shot.ppm" : "shot.png");
        std::vector<std::string> args = {"--screenshot", shot, "--slots", yuv ? "1" : "3"};
        if (yuv)
            args.push_back("--yuv");
        omxt::ChildResult run = omxt::run_tool("show_pattern", args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "Created EGL Images\nSuccess to compile GLSL shader\nSuccess to compile GLSL shader\n"
                           "Success to link GLSL shader\nscreenshot of slot " +
                               std::string(yuv ? "0: " : "2: ") + shot + "\n");
        ASSERT_EQ(std::system(("convert '" + shot + "' '" + dir.file("read.ppm") + "'").c_str()), 0);
        const std::string ppm = omxt::read_file(dir.file("read.ppm")), header = "P6\n1280 800\n255\n";
        ASSERT_EQ(ppm.size(), header.size() + kScreenW * kScreenH * 3);
        ASSERT_EQ(ppm.substr(0, header.size()), header);
        int slot = yuv ? 0 : 2, wrong = 0;
        for (int y = 0; y < kScreenH; y++)
            for (int x = 0; x < kScreenW; x++) {
                // The texel under the pixel's centre, unless that lies within 1% of a texel border.
                double tx = (x + 0.5) * kW / kScreenW, ty = (y + 0.5) * kH / kScreenH;
                if (std::abs(tx - std::round(tx)) < 0.01 || std::abs(ty - std::round(ty)) < 0.01)
                    continue;
                int r = (int(tx) * 37 + slot * 85) % 256, g = (int(ty) * 53 + slot * 19) % 256;
                int b = ((int(tx) + 2 * int(ty)) * 29 + slot * 40) % 256;
                double l = r / 255.0, u = g / 255.0 - 0.5, v = 0.5;
                double yuv_rgb[3] = {l + 1.403 * v, l - 0.344 * u - 0.714 * v, l + 1.772 * u};
                for (int c = 0; c < 3; c++) {
                    int want = yuv ? std::lround(std::clamp(yuv_rgb[c], 0.0, 1.0) * 255)
                                   : (c == 0   ? r
                                      : c == 1 ? g
                                               : b);
                    int got = static_cast<unsigned char>(ppm[header.size() + (y * kScreenW + x) * 3 + c]);
                    if (std::abs(got - want) > (yuv ? 2 : 0) && wrong++ < 3)
                        ADD_FAILURE() << "screen (" << x << "," << y << ") channel " << c << " is " << got
                                      << ", expected " << want;
                }
            }
        EXPECT_EQ(wrong, 0);
    }
}
