// What ShowFrame puts on the screen, the shaders' failure paths, and the image writer.
#include "display_test_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "egl_image_writer.h"
#include "screen_capture.h"
#include "test_pattern.h"

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

namespace
{

constexpr int kScreenW = 1280;
constexpr int kScreenH = 800;

// Opens the output as the decoding pass does (backdrop, then the EGL window with `slots`
// images of w x h) and builds the program with `fragment`.
void OpenOutput(int slots, int w, int h, const char *fragment, int fragment_size)
{
    CaptureStdout();
    CaptureStderr();
    OpenWindowBlank();
    int opened = OpenWindow(&egl_display, &egl_surface, 0, 0, kScreenW, kScreenH, textures, pixmaps, khrImages,
                            vAddrEGL, slots, w, h);
    init_render(&program, &pos_location, fragment, fragment_size);
    std::string out = GetCapturedStdout();
    GetCapturedStderr();
    ASSERT_EQ(opened, 0) << out;
}

RGB_PICTURE Screenshot()
{
    RGB_PICTURE picture;
    EXPECT_TRUE(CaptureRootWindow(x_display, &picture));
    EXPECT_EQ(picture.width, kScreenW);
    EXPECT_EQ(picture.height, kScreenH);
    return picture;
}

// The texel (or, within `margin` of a texel border, the texels) whose centre sampling at screen
// pixel centre `p` of `screen` pixels can pick from `texels` texels, row/column 0 first.
void Candidates(int p, int screen, int texels, double margin, int *lo, int *hi)
{
    double t = (p + 0.5) * texels / screen;
    int base = static_cast<int>(std::floor(t));
    double frac = t - base;
    *lo = *hi = base;
    if (frac < margin && base > 0)
        *lo = base - 1;
    if (frac > 1 - margin && base < texels - 1)
        *hi = base + 1;
}

// Counts screen pixels that are not exactly one of the texels nearest-sampling may pick.
int CountStretchMismatches(const RGB_PICTURE &shot, int slot, int tw, int th, std::string *first)
{
    int bad = 0;
    for (int y = 0; y < shot.height; y++) {
        int ty0, ty1;
        Candidates(y, shot.height, th, 0.01, &ty0, &ty1);
        for (int x = 0; x < shot.width; x++) {
            int tx0, tx1;
            Candidates(x, shot.width, tw, 0.01, &tx0, &tx1);
            const std::uint8_t *px = shot.At(x, y);
            bool match = false;
            for (int ty = ty0; ty <= ty1 && !match; ty++)
                for (int tx = tx0; tx <= tx1 && !match; tx++) {
                    auto t = TestPatternTexel(slot, tx, ty);
                    match = px[0] == t[0] && px[1] == t[1] && px[2] == t[2];
                }
            if (!match && bad++ == 0) {
                auto t = TestPatternTexel(slot, tx0, ty0);
                *first = "screen (" + std::to_string(x) + "," + std::to_string(y) + ") is " + std::to_string(px[0]) +
                         "," + std::to_string(px[1]) + "," + std::to_string(px[2]) + ", texel (" + std::to_string(tx0) +
                         "," + std::to_string(ty0) + ") is " + std::to_string(t[0]) + "," + std::to_string(t[1]) + "," +
                         std::to_string(t[2]);
            }
        }
    }
    return bad;
}

} // namespace

// The decoding pass's whole output path: images written by another context on another thread,
// drawn slot by slot over the whole window.
TEST(ShowFrame, StretchesEachSlotOverTheWindowNearestSampledRowZeroAtTheTop)
{
    REQUIRE_X_DISPLAY();
    constexpr int kW = 176, kH = 160;
    OpenOutput(3, kW, kH, kFragmentShaderRGB, sizeof(kFragmentShaderRGB));
    ASSERT_EQ(WriteTestPatternsFromThread(eglGetCurrentDisplay(), khrImages, 3, kW, kH), "");

    for (int slot : {1, 0, 2}) {
        ShowFrame(egl_display, egl_surface, static_cast<int>(program), textures[slot], pos_location);
        RGB_PICTURE shot = Screenshot();
        std::string first;
        EXPECT_EQ(CountStretchMismatches(shot, slot, kW, kH, &first), 0) << "slot " << slot << ": " << first;
        // The corners hold the corner texels: nothing is flipped or cropped.
        auto top_left = TestPatternTexel(slot, 0, 0);
        auto bottom_right = TestPatternTexel(slot, kW - 1, kH - 1);
        EXPECT_EQ(shot.At(0, 0)[0], top_left[0]);
        EXPECT_EQ(shot.At(0, 0)[1], top_left[1]);
        EXPECT_EQ(shot.At(kScreenW - 1, kScreenH - 1)[0], bottom_right[0]);
        EXPECT_EQ(shot.At(kScreenW - 1, kScreenH - 1)[1], bottom_right[1]);
    }
}

TEST(ShowFrame, YuvShaderShowsNeutralChromaAsGreyAndAppliesTheMatrixByColumns)
{
    REQUIRE_X_DISPLAY();
    // Eight columns of (Y, 0.5, -, 0.5) greys, then one texel with U raised.
    constexpr int kW = 9, kH = 1;
    OpenOutput(1, kW, kH, kFragmentShader, sizeof(kFragmentShader));
    std::vector<std::uint8_t> texels;
    const int greys[8] = {0, 16, 64, 100, 128, 180, 235, 255};
    for (int g : greys)
        texels.insert(texels.end(), {static_cast<std::uint8_t>(g), 128, 0, 128});
    texels.insert(texels.end(), {128, 192, 0, 128});
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    ShowFrame(egl_display, egl_surface, static_cast<int>(program), textures[0], pos_location);
    RGB_PICTURE shot = Screenshot();

    auto centre = [&](int column) { return shot.At((2 * column + 1) * kScreenW / (2 * kW), kScreenH / 2); };
    for (int i = 0; i < 8; i++) {
        const std::uint8_t *px = centre(i);
        // Chroma 128/255 is 0.002 off centre: at most about one level off the grey.
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(px[c], greys[i], 1) << "grey " << greys[i] << " channel " << c;
    }
    // U = 0.25: R = Y, G = Y - 0.344 U, B = Y + 1.772 U (a transposed matrix gives other values).
    const std::uint8_t *px = centre(8);
    EXPECT_NEAR(px[0], 129, 2);
    EXPECT_NEAR(px[1], 106, 2);
    EXPECT_NEAR(px[2], 241, 2);
}

TEST(InitRender, FragmentShaderThatDoesNotCompileEndsTheProcess)
{
    REQUIRE_X_DISPLAY();
    CHILD_RESULT child = RunScenarioChild("broken-shader");
    EXPECT_EQ(child.status, 1);
    EXPECT_EQ(child.out, "Created EGL Images\nSuccess to compile GLSL shader\nError: Failed to compile GLSL shader\n");
}

TEST(InitRender, ProgramThatDoesNotLinkEndsTheProcess)
{
    REQUIRE_X_DISPLAY();
    CHILD_RESULT child = RunScenarioChild("unlinkable-shader");
    EXPECT_EQ(child.status, 1);
    EXPECT_EQ(child.out, "Created EGL Images\nSuccess to compile GLSL shader\nSuccess to compile GLSL shader\n"
                         "Error: Failed to Link GLSL shader\n");
}

TEST(InitRender, ReportsBothShadersAndTheLinkAndLeavesTheProgramCurrent)
{
    REQUIRE_X_DISPLAY();
    CaptureStdout();
    CaptureStderr();
    GLuint prog = 0;
    int pos = -7;
    EGLDisplay d;
    EGLSurface s;
    ASSERT_EQ(OpenWindow(&d, &s, 0, 0, kScreenW, kScreenH, textures, pixmaps, khrImages, vAddrEGL, 0, 1, 1), 0);
    EXPECT_EQ(init_render(&prog, &pos, kFragmentShaderRGB, sizeof(kFragmentShaderRGB)), 0);
    std::string out = GetCapturedStdout();
    GetCapturedStderr();
    EXPECT_EQ(out, "Created EGL Images\nSuccess to compile GLSL shader\nSuccess to compile GLSL shader\n"
                   "Success to link GLSL shader\n");
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), prog);
    EXPECT_EQ(pos, glGetAttribLocation(prog, "in_pos"));
    EXPECT_GE(pos, 0);
    GLint sampler = -1;
    glGetUniformiv(prog, glGetUniformLocation(prog, "tex"), &sampler);
    EXPECT_EQ(sampler, 0);
}

TEST(EglImageWriter, WorksWithAPbufferWhereContextsNeedASurface)
{
    REQUIRE_X_DISPLAY();
    constexpr int kW = 64, kH = 40;
    OpenOutput(1, kW, kH, kFragmentShaderRGB, sizeof(kFragmentShaderRGB));
    ASSERT_EQ(WriteTestPatternsFromThread(eglGetCurrentDisplay(), khrImages, 1, kW, kH, EGL_WRITER_SURFACE::kPbuffer),
              "");
    ShowFrame(egl_display, egl_surface, static_cast<int>(program), textures[0], pos_location);
    std::string first;
    EXPECT_EQ(CountStretchMismatches(Screenshot(), 0, kW, kH, &first), 0) << first;
}

TEST(EglImageWriter, RefusesWhatItCannotWrite)
{
    REQUIRE_X_DISPLAY();
    constexpr int kW = 32, kH = 16;
    OpenOutput(1, kW, kH, kFragmentShaderRGB, sizeof(kFragmentShaderRGB));
    EGLDisplay display = eglGetCurrentDisplay();
    std::string results;
    std::thread([&] {
        EGL_IMAGE_WRITER writer;
        if (!EglImageWriterOpen(&writer, display)) {
            results = writer.error;
            return;
        }
        results += EglImageWriterBind(&writer, EGL_NO_IMAGE_KHR) == 0 ? "no-image refused;" : "no-image taken;";
        GLuint tex = EglImageWriterBind(&writer, khrImages[0]);
        results += tex != 0 ? "bound;" : "bind failed;";
        std::vector<std::uint8_t> picture(kW * kH * 4 - 1); // one byte short
        results += EglImageWriterUpload(&writer, tex, kW, kH, picture) ? "short taken;" : "short refused;";
        picture.resize((kW + 1) * kH * 4);
        results += EglImageWriterUpload(&writer, tex, kW + 1, kH, picture) ? "wide taken;" : "wide refused;";
        results += EglImageWriterUpload(&writer, tex, kW, kH, picture) ? "fits taken;" : "fits refused;";
        results +=
            EglImageWriterUpload(&writer, tex, 0x40000000, 0x40000000, picture) ? "huge taken;" : "huge refused;";
        EglImageWriterClose(&writer);
        results += EglImageWriterUpload(&writer, tex, kW, kH, picture) ? "closed taken" : "closed refused";
    }).join();
    EXPECT_EQ(results, "no-image refused;bound;short refused;wide refused;fits taken;huge refused;closed refused");
    EGL_IMAGE_WRITER none;
    EXPECT_FALSE(EglImageWriterOpen(&none, EGL_NO_DISPLAY));
    EXPECT_STREQ(none.error, "no EGL display");
}

TEST(WritePicture, WritesAPngOtherToolsRead)
{
    RGB_PICTURE picture;
    picture.width = 300; // rows of 900 bytes: several stored deflate blocks
    picture.height = 100;
    for (int y = 0; y < picture.height; y++)
        for (int x = 0; x < picture.width; x++)
            picture.rgb.insert(picture.rgb.end(), {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y * 2),
                                                   static_cast<std::uint8_t>(x ^ y)});
    std::string dir = ::testing::TempDir();
    std::string png = dir + "display_test_picture.png", ppm = dir + "display_test_picture.ppm";
    ASSERT_TRUE(WritePicture(png.c_str(), picture));
    if (std::system("command -v convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick convert is not installed";
    ASSERT_EQ(std::system(("convert '" + png + "' '" + ppm + "'").c_str()), 0);
    FILE *f = std::fopen(ppm.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    int w = 0, h = 0, max = 0;
    ASSERT_EQ(std::fscanf(f, "P6 %d %d %d", &w, &h, &max), 3);
    std::fgetc(f);
    std::vector<std::uint8_t> back(static_cast<size_t>(w) * h * 3);
    size_t got = std::fread(back.data(), 1, back.size(), f);
    std::fclose(f);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 100);
    EXPECT_EQ(max, 255);
    ASSERT_EQ(got, back.size());
    EXPECT_TRUE(back == picture.rgb);
    picture.rgb.pop_back(); // inconsistent size
    EXPECT_FALSE(WritePicture(png.c_str(), picture));
}
