// Real decoding through omx_test under the display against the reference core: every sample's
// picture count against ffprobe's frame count, the VP8 vectors' MD5 per picture, and the picture
// on screen at exit against the one FFmpeg decodes for the frame drawn last.
#include <cmath>
#include <regex>

#include "test_common.h"

namespace
{

using Lines = std::vector<std::string>;

std::string shell(const std::string &command)
{
    return omxt::run_child("/bin/sh", {"-c", command}, {}, 300).out;
}

bool have_ffmpeg()
{
    return shell("ffmpeg -version >/dev/null 2>&1 && ffprobe -version >/dev/null 2>&1 && echo yes") == "yes\n";
}

int ffprobe_frames(const std::string &file)
{
    return std::atoi(shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                           "-of csv=p=0 '" +
                           file + "'")
                         .c_str());
}

struct Stream {
    std::string file;
    int width, height;
    int reorder = 0; // pictures held for reordering when the pass goes back to Idle (no end of stream)
};

struct Handle {
    long pictures = -1, errors = -1, egl = -1;
    Lines md5; // per picture, output order
};

// One omx_test run with only `component` enumerated and `streams` in its list file: the report
// and the statistics of every handle that was given input, in list order.
std::vector<Handle> decode(const omxt::TempDir &dir, const std::string &component, const std::string &list,
                           const std::vector<Stream> &streams, std::string *report,
                           std::map<std::string, std::string> env = {})
{
    std::string entries;
    for (size_t i = 0; i < streams.size(); i++)
        entries += streams[i].file + " " + dir.file("out" + std::to_string(i)) + "\n" +
                   std::to_string(streams[i].width) + "\n" + std::to_string(streams[i].height) + "\n";
    dir.write(list, entries + "LIST_FILE_END\n");
    env.insert({{"OMX_TEST_LIST_DIR", dir.path},
                {"ZYN_OMX_FAULTS", dir.write("faults", "core names " + component + "\n")},
                {"ZYN_OMX_STATS", dir.file("stats")},
                {"ZYN_OMX_STATS_MD5", "1"}});
    const omxt::ChildResult r = omxt::run_tool("omx_test", {}, env, 300);
    EXPECT_EQ(r.status, 0) << r.err;
    *report = r.out;
    std::vector<Handle> handles;
    Handle next;
    static const std::regex md5("^md5 \\S+ \\d+ ([0-9a-f]{32}) .*"),
        stats(".* inputs=(\\d+) pictures=(\\d+) errors=(\\d+) egl=(\\d+).*");
    std::smatch m;
    for (const std::string &line : omxt::lines(omxt::read_file(dir.file("stats")))) {
        if (std::regex_match(line, m, md5))
            next.md5.push_back(m[1]);
        else if (std::regex_match(line, m, stats)) {
            next.pictures = std::stol(m[2]);
            next.errors = std::stol(m[3]);
            next.egl = std::stol(m[4]);
            if (std::stol(m[1]) > 0)
                handles.push_back(next);
            next = Handle{};
        }
    }
    return handles;
}

TEST(RealDecoding, EverySampleDecodesEveryFrameAndVp8VectorsMatchTheirMd5s)
{
    OMX_SKIP_UNLESS(have_ffmpeg(), "ffmpeg and ffprobe");
    const std::string vp8 = omxt::media_dir() + "/vp8/vp80-00-comprehensive-";
    const struct {
        const char *component, *list;
        std::vector<Stream> streams;
    } runs[] = {
        {"OMX.ZYN.AVC.Decoder",
         "avcdec_list.txt",
         {{omxt::sample("h264_baseline_slices.264"), 176, 144},
          {omxt::sample("h264_baseline_aud.264"), 176, 144},
          {omxt::sample("h264_main_bframes.264"), 176, 144, 2},
          {omxt::sample("h264_high_bframes.264"), 176, 144, 3},
          {omxt::sample("h264_720p.264"), 1280, 720}}},
        {"OMX.ZYN.MPEG4.Decoder",
         "mpeg4dec_list.txt",
         {{omxt::sample("mpeg4_plain.m4v"), 176, 144, 1}, {omxt::sample("mpeg4_resync.m4v"), 176, 144}}},
        {"OMX.ZYN.H263.Decoder", "h263dec_list.txt", {{omxt::sample("h263_qcif.263"), 176, 144}}},
        {"OMX.ZYN.WMV.Decoder", "wmvdec_list.txt", {{omxt::media_dir() + "/vc1/SMM0005.rcv", 720, 480, 1}}},
        {"OMX.ZYN.VP8.Decoder",
         "vp8dec_list.txt",
         {{vp8 + "001.ivf", 176, 144},
          {vp8 + "004.ivf", 176, 144},
          {vp8 + "011.ivf", 176, 144},
          {vp8 + "017.ivf", 176, 144},
          {omxt::sample("vp8.ivf"), 176, 144}}},
    };
    for (const auto &run : runs) {
        omxt::TempDir dir;
        std::string report;
        const std::vector<Handle> handles = decode(dir, run.component, run.list, run.streams, &report);
        EXPECT_EQ(omxt::count(report, "FAIL"), 0) << report;
        ASSERT_EQ(handles.size(), run.streams.size()) << report;
        for (size_t i = 0; i < handles.size(); i++) {
            const Stream &s = run.streams[i];
            SCOPED_TRACE(s.file);
            EXPECT_EQ(handles[i].pictures, ffprobe_frames(s.file));
            EXPECT_EQ(handles[i].errors, 0);
            EXPECT_LE(handles[i].egl, handles[i].pictures);
            EXPECT_GE(handles[i].egl, handles[i].pictures - s.reorder);
            if (s.file.rfind(vp8, 0) == 0) {
                Lines expected;
                for (const std::string &line : omxt::lines(omxt::read_file(s.file + ".md5")))
                    expected.push_back(line.substr(0, 32));
                EXPECT_EQ(handles[i].md5, expected);
            }
        }
    }
}

// rgb24 bytes of what `command` (an ffmpeg run writing raw rgb24 to `raw`) wrote.
std::string rgb(const std::string &command, const std::string &raw)
{
    shell("ffmpeg -nostdin -v error -y -threads 1 " + command + " -f rawvideo -pix_fmt rgb24 '" + raw + "'");
    return omxt::read_file(raw);
}

// PSNR of the window's picture area against `picture` (w x h) stretched as the output draws it:
// the images are w x height32 and drawn over the 1280 x 800 window with nearest sampling; window
// rows that show the image rows below the picture are left out.
double psnr(const std::string &screen, const std::string &picture, int w, int h)
{
    const int height32 = (h + 31) / 32 * 32;
    double sum = 0;
    long n = 0;
    for (int y = 0; y < 800; y++) {
        const int ty = static_cast<int>((y + 0.5) * height32 / 800);
        for (int x = 0; ty < h && x < 1280; x++) {
            const int tx = static_cast<int>((x + 0.5) * w / 1280);
            for (int c = 0; c < 3; c++) {
                const double d = double(uint8_t(screen[(size_t(y) * 1280 + x) * 3 + c])) -
                                 double(uint8_t(picture[(size_t(ty) * w + tx) * 3 + c]));
                sum += d * d;
                n++;
            }
        }
    }
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(n) / sum);
}

TEST(RealDecoding, TheScreenShowsThePictureOfTheFrameDrawnLast)
{
    OMX_SKIP_UNLESS(have_ffmpeg(), "ffmpeg and ffprobe");
    for (const Stream &s :
         {Stream{omxt::sample("h264_qcif.264"), 176, 144}, Stream{omxt::sample("h264_720p.264"), 1280, 720}}) {
        SCOPED_TRACE(s.file);
        omxt::TempDir dir;
        const std::string shim = dir.file("screenshot_at_exit.so");
        ASSERT_EQ(shell("cc -shared -fPIC -O1 -o '" + shim + "' '" + omxt::source_dir() +
                        "/scripts/screenshot_at_exit.c' && echo built"),
                  "built\n");
        const char *asan = std::getenv("ASAN_OPTIONS");
        std::string report;
        const std::vector<Handle> handles =
            decode(dir, "OMX.ZYN.AVC.Decoder", "avcdec_list.txt", {s}, &report,
                   {{"LD_PRELOAD", shim},
                    {"OMX_SCREENSHOT_CMD", "xwd -silent -root > '" + dir.file("screen.xwd") + "'"},
                    // The shim comes before the sanitizer's runtime in a sanitized build.
                    {"ASAN_OPTIONS", (asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0"}});
        const int frames = ffprobe_frames(s.file);
        ASSERT_EQ(handles.size(), 1u) << report;
        ASSERT_EQ(handles[0].pictures, frames);
        // Frame k goes into ring slot k % 3 and the pass draws the slot filled one iteration
        // earlier: the last draw, after frame N-1, shows picture N-2.
        const std::string screen = rgb("-i '" + dir.file("screen.xwd") + "'", dir.file("screen.rgb"));
        ASSERT_EQ(screen.size(), 1280u * 800 * 3);
        double neighbours = 0;
        for (int k : {frames - 3, frames - 1, frames - 2}) {
            const std::string picture = rgb("-i '" + s.file + "' -vf 'select=eq(n\\," + std::to_string(k) +
                                                "),scale=flags=neighbor' -frames:v 1",
                                            dir.file("frame.rgb"));
            ASSERT_EQ(picture.size(), size_t(s.width) * s.height * 3);
            const double p = psnr(screen, picture, s.width, s.height);
            std::printf("[ measured ] screen against picture %d of %d: PSNR %.2f dB\n", k, frames, p);
            if (k == frames - 2) {
                EXPECT_GE(p, 30.0);
                // The neighbours do not pass: the comparison tells which picture is on screen.
                EXPECT_LT(neighbours, 30.0);
            }
            neighbours = std::max(neighbours, p);
        }
    }
}

} // namespace
