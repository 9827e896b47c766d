// Real decoding through the whole program: build/bin/omx_test under an X display against the
// reference core, one run per decoder component with all of its sample streams in one list file.
// The core's statistics say how many pictures each handle decoded (compared with ffprobe's frame
// count of the file) and, for the VP8 test vectors, the MD5 of every picture (compared with the
// vectors' .md5 files). A screenshot taken as omx_test exits is compared with the picture FFmpeg
// decodes for the frame that was on screen last.
//
// Every test here needs a display; their names start with "RealDecoding".
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "decoding_fixture.h"

namespace
{
using namespace decoding_fixture;

const std::string kSourceDir = OMX_SOURCE_DIR;
const std::string kBinaryDir = OMX_BINARY_DIR;
const std::string kSharedMedia = OMX_SHARED_MEDIA_DIR;

// Window and screen of the decoding pass.
constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 800;

std::string quoted(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool run_shell(const std::string &cmd)
{
    return std::system(cmd.c_str()) == 0;
}

bool have_ffmpeg()
{
    static const bool have = run_shell("timeout 30 ffmpeg -version >/dev/null 2>&1") &&
                             run_shell("timeout 30 ffprobe -version >/dev/null 2>&1");
    return have;
}

// The sample streams of scripts/make_samples.sh, made once per build tree; "" on failure.
std::string samples_dir()
{
    static const std::string dir = [] {
        const std::string d = kBinaryDir + "/test_media/samples";
        const std::string cmd =
            "timeout 600 " + quoted(kSourceDir + "/scripts/make_samples.sh") + " " + quoted(d) + " >/dev/null 2>&1";
        return run_shell(cmd) ? d : std::string();
    }();
    return dir;
}

// Frames ffprobe decodes from the file's first video stream; -1 when it cannot tell.
int ffprobe_frames(const std::string &file)
{
    const std::string out = shell_output("timeout 120 ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                         "stream=nb_read_frames -of csv=p=0 " +
                                         quoted(file) + " 2>/dev/null");
    if (out.empty() || out[0] < '0' || out[0] > '9')
        return -1;
    return std::atoi(out.c_str());
}

// One handle's statistics line (and the MD5 lines written just before it).
struct HandleStats {
    std::string name;
    long inputs = -1, pictures = -1, errors = -1, egl = -1;
    std::vector<std::string> md5; // "HEX" per picture, output order
};

long field(const std::string &line, const std::string &key)
{
    const std::size_t at = line.find(" " + key + "=");
    return at == std::string::npos ? -1 : std::atol(line.c_str() + at + key.size() + 2);
}

// The handles that were given input, in the order they were freed (the list file's order).
std::vector<HandleStats> fed_handles(const std::string &stats)
{
    std::vector<HandleStats> result;
    std::vector<std::string> md5;
    for (const std::string &l : lines(stats)) {
        if (l.rfind("md5 ", 0) == 0) {
            // md5 NAME N HEX WxH
            std::vector<std::string> f;
            std::size_t pos = 0;
            while (pos < l.size()) {
                const std::size_t end = l.find(' ', pos);
                f.push_back(l.substr(pos, end - pos));
                pos = end == std::string::npos ? l.size() : end + 1;
            }
            if (f.size() >= 4)
                md5.push_back(f[3]);
        } else if (l.rfind("stats ", 0) == 0) {
            HandleStats h;
            h.name = l.substr(6, l.find(' ', 6) - 6);
            h.inputs = field(l, "inputs");
            h.pictures = field(l, "pictures");
            h.errors = field(l, "errors");
            h.egl = field(l, "egl");
            h.md5.swap(md5);
            md5.clear();
            if (h.inputs > 0)
                result.push_back(h);
        }
    }
    return result;
}

// The vector's own MD5 list: the first 32 characters of every line.
std::vector<std::string> md5_file(const std::string &path)
{
    std::vector<std::string> result;
    for (const std::string &l : lines(read_file(path)))
        if (l.size() >= 32)
            result.push_back(l.substr(0, 32));
    return result;
}

std::vector<std::string> fail_lines(const std::string &report)
{
    std::vector<std::string> result;
    for (const std::string &l : lines(report))
        if (l.find("FAIL") != std::string::npos)
            result.push_back(l);
    return result;
}

std::string joined(const std::vector<std::string> &v)
{
    std::string s;
    for (const std::string &x : v)
        s += x + "\n";
    return s;
}

struct Stream {
    std::string file;
    int width;
    int height;
    // Pictures the decoder may still hold for reordering when the pass goes back to Idle: the
    // pass sends no end of stream, so those are decoded (drained) but never reach an image.
    int reorder = 0;
};

class RealDecoding : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!file_exists(kBinaryDir + "/lib/libZYN_OMX_Core.so") || !file_exists(kBinaryDir + "/bin/omx_test"))
            GTEST_SKIP() << "omx_test or the reference core is not built";
        if (!have_ffmpeg())
            GTEST_SKIP() << "ffmpeg or ffprobe is missing";
        if (!ensure_display())
            GTEST_SKIP() << "no X display could be had (DISPLAY unset and Xvfb would not start)";
        dir = scratch_dir("real");
        ASSERT_FALSE(dir.empty());
    }

    std::string sample(const std::string &name)
    {
        const std::string d = samples_dir();
        return d.empty() ? std::string() : d + "/" + name;
    }

    // One omx_test run with only `component` enumerated and `streams` in its list file.
    RunResult run(const std::string &component, const std::string &list_name, const std::vector<Stream> &streams,
                  std::vector<std::string> env = {})
    {
        std::string entries;
        for (std::size_t i = 0; i < streams.size(); i++)
            entries +=
                list_entry(streams[i].file, dir + "/out" + std::to_string(i), streams[i].width, streams[i].height);
        write_file(dir + "/" + list_name, entries + "LIST_FILE_END\n");
        write_file(dir + "/faults", "core names " + component + "\n");
        env.push_back("OMX_TEST_LIST_DIR=" + dir);
        env.push_back("ZYN_OMX_FAULTS=" + dir + "/faults");
        env.push_back("ZYN_OMX_STATS=" + dir + "/stats");
        env.push_back("ZYN_OMX_STATS_MD5=1");
        RunResult r = run_omx_test(env, 300);
        stats = read_file(dir + "/stats");
        return r;
    }

    // Every stream decoded into as many pictures as ffprobe counts frames, none failing, each
    // picture written into an EGL image, and a report without a FAIL line.
    std::vector<HandleStats> expect_every_frame(const std::string &component, const std::string &list_name,
                                                const std::vector<Stream> &streams)
    {
        for (const Stream &s : streams)
            if (!file_exists(s.file)) {
                ADD_FAILURE() << "missing stream " << s.file;
                return {};
            }
        const RunResult r = run(component, list_name, streams);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(joined(fail_lines(r.out)), "") << r.out;
        const std::vector<HandleStats> handles = fed_handles(stats);
        EXPECT_EQ(handles.size(), streams.size()) << stats;
        for (std::size_t i = 0; i < streams.size() && i < handles.size(); i++) {
            const int frames = ffprobe_frames(streams[i].file);
            SCOPED_TRACE(streams[i].file);
            EXPECT_GT(frames, 0);
            EXPECT_EQ(handles[i].name, component);
            EXPECT_EQ(handles[i].pictures, frames) << stats;
            EXPECT_EQ(handles[i].errors, 0) << stats;
            EXPECT_LE(handles[i].egl, handles[i].pictures) << stats;
            EXPECT_GE(handles[i].egl, handles[i].pictures - streams[i].reorder) << stats;
            std::printf("[ measured ] %s: %ld pictures, ffprobe %d frames, %ld errors, %ld into EGL images\n",
                        streams[i].file.c_str(), handles[i].pictures, frames, handles[i].errors, handles[i].egl);
        }
        return handles;
    }

    std::string dir;
    std::string stats;
};

TEST_F(RealDecoding, EveryAvcSampleDecodesEveryFrame)
{
    // Main with up to 2 B-frames in a row, High with up to 3.
    const std::vector<Stream> streams = {{sample("h264_baseline_slices.264"), 176, 144},
                                         {sample("h264_baseline_aud.264"), 176, 144},
                                         {sample("h264_main_bframes.264"), 176, 144, 2},
                                         {sample("h264_high_bframes.264"), 176, 144, 3},
                                         {sample("h264_qcif.264"), 176, 144},
                                         {sample("h264_720p.264"), 1280, 720}};
    expect_every_frame("OMX.ZYN.AVC.Decoder", "avcdec_list.txt", streams);
}

TEST_F(RealDecoding, EveryMpeg4SampleDecodesEveryFrame)
{
    expect_every_frame("OMX.ZYN.MPEG4.Decoder", "mpeg4dec_list.txt",
                       {{sample("mpeg4_plain.m4v"), 176, 144, 1}, {sample("mpeg4_resync.m4v"), 176, 144}});
}

TEST_F(RealDecoding, TheH263SampleDecodesEveryFrame)
{
    expect_every_frame("OMX.ZYN.H263.Decoder", "h263dec_list.txt", {{sample("h263_qcif.263"), 176, 144}});
}

TEST_F(RealDecoding, TheVc1StreamDecodesEveryFrame)
{
    const std::string rcv = kSharedMedia + "/vc1/SMM0005.rcv";
    if (!file_exists(rcv))
        GTEST_SKIP() << "no shared media at " << kSharedMedia;
    // Main profile with B-frames: one picture of delay.
    expect_every_frame("OMX.ZYN.WMV.Decoder", "wmvdec_list.txt", {{rcv, 720, 480, 1}});
}

TEST_F(RealDecoding, Vp8VectorsMatchTheirMd5FilesFrameByFrame)
{
    const char *vectors[] = {"001", "004", "011", "016", "017"};
    std::vector<Stream> streams;
    for (const char *v : vectors) {
        const std::string f = kSharedMedia + "/vp8/vp80-00-comprehensive-" + v + ".ivf";
        if (!file_exists(f))
            GTEST_SKIP() << "no shared media at " << kSharedMedia;
        streams.push_back({f, 176, 144});
    }
    streams.push_back({sample("vp8.ivf"), 176, 144});
    const std::vector<HandleStats> handles = expect_every_frame("OMX.ZYN.VP8.Decoder", "vp8dec_list.txt", streams);
    ASSERT_EQ(handles.size(), streams.size());
    for (std::size_t i = 0; i < std::size(vectors); i++) {
        SCOPED_TRACE(streams[i].file);
        const std::vector<std::string> expected = md5_file(streams[i].file + ".md5");
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(handles[i].md5, expected);
    }
}

// ---------------------------------------------------------------------------------------------
// The picture on screen after a run.

struct Rgb {
    int width = 0, height = 0;
    std::vector<unsigned char> data; // rgb24, rows top to bottom
};

// The rgb24 picture of `width` x `height` that `cmd` (an ffmpeg run) writes to `raw`; empty when
// it fails or the size is wrong.
Rgb ffmpeg_rgb(const std::string &cmd, const std::string &raw, int width, int height)
{
    Rgb p;
    if (!run_shell(cmd))
        return p;
    const std::string bytes = read_file(raw);
    if (bytes.size() != std::size_t(width) * height * 3)
        return p;
    p.width = width;
    p.height = height;
    p.data.assign(bytes.begin(), bytes.end());
    return p;
}

// Picture K (0-based, output order) of `file`, converted to RGB with nearest-neighbour chroma as
// the core converts (its scaler at the same size), at the stream's own size.
Rgb ffmpeg_picture(const std::string &file, int k, int width, int height, const std::string &raw)
{
    return ffmpeg_rgb("timeout 120 ffmpeg -nostdin -v error -y -threads 1 -i " + quoted(file) + " -vf 'select=eq(n\\," +
                          std::to_string(k) +
                          "),scale=w=iw:h=ih:flags=neighbor,format=rgb24' -frames:v 1 -f rawvideo " + quoted(raw) +
                          " >/dev/null 2>&1",
                      raw, width, height);
}

// The screen saved by xwd, as rgb24 through ffmpeg's XWD reader.
Rgb screen_picture(const std::string &xwd, const std::string &raw)
{
    return ffmpeg_rgb("timeout 60 ffmpeg -nostdin -v error -y -i " + quoted(xwd) + " -pix_fmt rgb24 -f rawvideo " +
                          quoted(raw) + " >/dev/null 2>&1",
                      raw, kWindowWidth, kWindowHeight);
}

// PSNR over R, G and B of the window's picture area against `picture` stretched as the output
// draws it: the ring images are width x height32 (height rounded up to 32), the core writes the
// picture into their top `height` rows, and the whole image is drawn over the window with nearest
// sampling, so window pixel (x, y) shows image texel (floor((x + 0.5) * width / 1280),
// floor((y + 0.5) * height32 / 800)); pixels that show the rows below the picture are left out.
double picture_area_psnr(const Rgb &screen, const Rgb &picture, int height32, long *compared)
{
    double sum = 0;
    long n = 0;
    for (int y = 0; y < screen.height; y++) {
        const int ty = static_cast<int>((y + 0.5) * height32 / screen.height);
        if (ty >= picture.height)
            continue;
        for (int x = 0; x < screen.width; x++) {
            const int tx = static_cast<int>((x + 0.5) * picture.width / screen.width);
            const unsigned char *a = &screen.data[(std::size_t(y) * screen.width + x) * 3];
            const unsigned char *b = &picture.data[(std::size_t(ty) * picture.width + tx) * 3];
            for (int c = 0; c < 3; c++) {
                const double d = double(a[c]) - double(b[c]);
                sum += d * d;
            }
            n += 3;
        }
    }
    *compared = n / 3;
    if (n == 0)
        return 0;
    if (sum == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

struct ShotCase {
    const char *name;
    const char *sample; // under the samples folder
    const char *component;
    const char *list;
    int width, height;
};

// Names the case in test output by its stream.
void PrintTo(const ShotCase &c, std::ostream *os)
{
    *os << c.sample;
}

class RealDecodingScreenshot : public RealDecoding, public ::testing::WithParamInterface<ShotCase>
{
};

TEST_P(RealDecodingScreenshot, ShowsThePictureFfmpegDecodesForTheFrameDrawnLast)
{
    const ShotCase &sc = GetParam();
    const Stream stream{sample(sc.sample), sc.width, sc.height};
    ASSERT_TRUE(file_exists(stream.file)) << stream.file;
    const int frames = ffprobe_frames(stream.file);
    ASSERT_GT(frames, 3);

    // The screenshot is taken by a preloaded shim as omx_test exits, while its window (the last
    // one opened, on top) still holds the last picture drawn.
    const std::string shim = dir + "/screenshot_at_exit.so";
    ASSERT_TRUE(run_shell("timeout 120 cc -shared -fPIC -O1 -o " + quoted(shim) + " " +
                          quoted(kSourceDir + "/scripts/screenshot_at_exit.c") + " >/dev/null 2>&1"))
        << "no C compiler for the screenshot shim";
    const char *display = std::getenv("DISPLAY");
    ASSERT_NE(display, nullptr);
    const std::string xwd = dir + "/screen.xwd";
    const char *asan = std::getenv("ASAN_OPTIONS");
    const RunResult r =
        run(sc.component, sc.list, {stream},
            {"LD_PRELOAD=" + shim,
             "OMX_SCREENSHOT_CMD=timeout 60 xwd -silent -root -display " + quoted(display) + " > " + quoted(xwd),
             // The shim comes before the sanitizer's runtime in a sanitized build.
             std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(joined(fail_lines(r.out)), "") << r.out;
    const std::vector<HandleStats> handles = fed_handles(stats);
    ASSERT_EQ(handles.size(), 1u) << stats;
    ASSERT_EQ(handles[0].pictures, frames) << stats;

    // Frame k is fed into ring slot k % 3 together with output slot k % 3, and the component
    // fills and returns that output buffer before it returns the input buffer the pass waits for
    // (a stream without reordering gives one picture per unit). Only then the pass draws the slot
    // filled one iteration earlier: the last draw, after frame N-1, shows picture N-2.
    const int shown = frames - 2;
    const Rgb screen = screen_picture(xwd, dir + "/screen.rgb");
    ASSERT_EQ(screen.width, kWindowWidth) << "no usable screenshot " << xwd;
    const int height32 = (sc.height + 31) / 32 * 32;
    long compared = 0;
    double psnr_shown = 0;
    double psnr_neighbours = 0; // the better of the frames before and after: the stream moves
    for (int k : {shown - 1, shown, shown + 1}) {
        const Rgb picture = ffmpeg_picture(stream.file, k, sc.width, sc.height, dir + "/frame.rgb");
        ASSERT_EQ(picture.width, sc.width) << "ffmpeg gave no picture " << k;
        const double psnr = picture_area_psnr(screen, picture, height32, &compared);
        std::printf("[ measured ] %s: screen against ffmpeg picture %d of %d: PSNR %.2f dB over %ld pixels\n",
                    sc.sample, k, frames, psnr, compared);
        if (k == shown)
            psnr_shown = psnr;
        else
            psnr_neighbours = std::max(psnr_neighbours, psnr);
    }
    // The picture area: the rows of the window that show the picture's rows.
    EXPECT_EQ(compared, long(kWindowWidth) * ((sc.height * kWindowHeight + height32 / 2) / height32));
    EXPECT_GE(psnr_shown, 30.0);
    // The frames next to it do not pass: the comparison tells which picture is on screen.
    EXPECT_LT(psnr_neighbours, 30.0);
}

INSTANTIATE_TEST_SUITE_P(
    RealDecodingStreams, RealDecodingScreenshot,
    ::testing::Values(ShotCase{"AvcQcif", "h264_qcif.264", "OMX.ZYN.AVC.Decoder", "avcdec_list.txt", 176, 144},
                      ShotCase{"Avc720p", "h264_720p.264", "OMX.ZYN.AVC.Decoder", "avcdec_list.txt", 1280, 720}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
