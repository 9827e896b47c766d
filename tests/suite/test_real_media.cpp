// Real decoding through omx_test under the display against the reference core: every sample's
// picture count against ffprobe's frame count, the VP8 vectors' MD5 per picture, and the picture
// on screen at exit against the one FFmpeg decodes for the frame drawn last.
#include <cmath>
#include <regex>

#include "test_common.h"

namespace
{

int ffprobe_frames(const std::string &file)
{
    return std::atoi(omxt::shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                 "stream=nb_read_frames -of csv=p=0 '" +
                                 file + "'")
                         .c_str());
}

struct Stream {
    std::string file;
    int width, height;
    int reorder = 0; // pictures held for reordering when the pass goes back to Idle (no end of stream)
};

// One omx_test run with only `component` enumerated and `streams` in its list file. Gives the
// report; `handles` gets the statistics line of every handle that was given input, in list
// order ("pictures errors egl"), and `md5` the MD5 of every picture.
std::string decode(const omxt::TempDir &dir, const std::string &component, const std::vector<Stream> &streams,
                   std::vector<std::string> *handles, std::vector<std::string> *md5,
                   std::map<std::string, std::string> env = {})
{
    std::string list;
    for (size_t i = 0; i < streams.size(); i++)
        list += streams[i].file + " " + dir.file("out" + std::to_string(i)) + "\n" + std::to_string(streams[i].width) +
                "\n" + std::to_string(streams[i].height) + "\n";
    std::string name = component.substr(8, component.find('.', 8) - 8) + "dec_list.txt"; // avcdec_list.txt
    for (char &c : name)
        c = static_cast<char>(tolower(c));
    dir.write(name, list + "LIST_FILE_END\n");
    env.insert({{"OMX_TEST_LIST_DIR", dir.path},
                {"ZYN_OMX_FAULTS", dir.write("faults", "core names " + component + "\n")},
                {"ZYN_OMX_STATS", dir.file("stats")},
                {"ZYN_OMX_STATS_MD5", "1"}});
    const omxt::ChildResult r = omxt::run_tool("omx_test", {}, env, 300);
    EXPECT_EQ(r.status, 0) << r.err;
    static const std::regex md5_line("^md5 \\S+ \\d+ ([0-9a-f]{32}) .*"),
        stats_line(".* inputs=([1-9]\\d*) pictures=(\\d+) errors=(\\d+) egl=(\\d+).*");
    std::smatch m;
    for (const std::string &line : omxt::lines(omxt::read_file(dir.file("stats"))))
        if (std::regex_match(line, m, md5_line))
            md5->push_back(m[1]);
        else if (std::regex_match(line, m, stats_line))
            handles->push_back(m[2].str() + " " + m[3].str() + " " + m[4].str());
    return r.out;
}

TEST(RealDecoding, EverySampleDecodesEveryFrameAndVp8VectorsMatchTheirMd5s)
{
    OMX_SKIP_UNLESS(omxt::shell("ffprobe -version >/dev/null && echo yes") == "yes\n", "ffmpeg and ffprobe");
    const std::string vp8 = omxt::media_dir() + "/vp8/vp80-00-comprehensive-";
    const std::map<std::string, std::vector<Stream>> runs = {
        {"OMX.ZYN.AVC.Decoder",
         {{omxt::sample("h264_baseline_slices.264"), 176, 144},
          {omxt::sample("h264_baseline_aud.264"), 176, 144},
          {omxt::sample("h264_main_bframes.264"), 176, 144, 2},
          {omxt::sample("h264_high_bframes.264"), 176, 144, 3},
          {omxt::sample("h264_720p.264"), 1280, 720}}},
        {"OMX.ZYN.MPEG4.Decoder",
         {{omxt::sample("mpeg4_plain.m4v"), 176, 144, 1}, {omxt::sample("mpeg4_resync.m4v"), 176, 144}}},
        {"OMX.ZYN.H263.Decoder", {{omxt::sample("h263_qcif.263"), 176, 144}}},
        {"OMX.ZYN.WMV.Decoder", {{omxt::media_dir() + "/vc1/SMM0005.rcv", 720, 480, 1}}},
        {"OMX.ZYN.VP8.Decoder",
         {{vp8 + "001.ivf", 176, 144},
          {vp8 + "004.ivf", 176, 144},
          {vp8 + "011.ivf", 176, 144},
          {vp8 + "017.ivf", 176, 144},
          {omxt::sample("vp8.ivf"), 176, 144}}},
    };
    for (const auto &[component, streams] : runs) {
        omxt::TempDir dir;
        std::vector<std::string> handles, md5, expected_md5;
        const std::string report = decode(dir, component, streams, &handles, &md5);
        EXPECT_EQ(omxt::count(report, "FAIL"), omxt::count(report, "timeout FAIL")) << report; // budgets aside
        ASSERT_EQ(handles.size(), streams.size()) << report;
        for (size_t i = 0; i < handles.size(); i++) {
            long pictures = 0, errors = -1, egl = 0;
            sscanf(handles[i].c_str(), "%ld %ld %ld", &pictures, &errors, &egl);
            EXPECT_EQ(pictures, ffprobe_frames(streams[i].file)) << streams[i].file;
            EXPECT_EQ(errors, 0) << streams[i].file;
            EXPECT_TRUE(egl <= pictures && egl >= pictures - streams[i].reorder) << streams[i].file;
            if (streams[i].file.rfind(vp8, 0) == 0)
                for (const std::string &line : omxt::lines(omxt::read_file(streams[i].file + ".md5")))
                    expected_md5.push_back(line.substr(0, 32));
        }
        if (component == "OMX.ZYN.VP8.Decoder") {
            ASSERT_GT(md5.size(), expected_md5.size());
            md5.resize(expected_md5.size()); // the last stream is not a vector
            EXPECT_EQ(md5, expected_md5);
        }
    }
}

// rgb24 bytes of one picture that ffmpeg reads with `input`.
std::string rgb(const std::string &input, const std::string &raw)
{
    omxt::shell("ffmpeg -nostdin -v error -y -threads 1 " + input + " -f rawvideo -pix_fmt rgb24 '" + raw + "'");
    return omxt::read_file(raw);
}

// PSNR of the window's picture area against `picture` (w x h) stretched as the output draws it:
// the images are w x height32, drawn over the 1280 x 800 window with nearest sampling; window
// rows that show the image rows below the picture are left out.
double psnr(const std::string &screen, const std::string &picture, int w, int h)
{
    const int height32 = (h + 31) / 32 * 32;
    double sum = 0;
    long n = 0;
    for (int y = 0; y < 800; y++)
        for (int x = 0, ty = int((y + 0.5) * height32 / 800); ty < h && x < 1280; x++)
            for (int c = 0; c < 3; c++, n++) {
                const double d = uint8_t(screen[(size_t(y) * 1280 + x) * 3 + c]) -
                                 double(uint8_t(picture[(size_t(ty) * w + int((x + 0.5) * w / 1280)) * 3 + c]));
                sum += d * d;
            }
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(n) / sum);
}

TEST(RealDecoding, TheScreenShowsThePictureOfTheFrameDrawnLast)
{
    OMX_SKIP_UNLESS(omxt::shell("ffprobe -version >/dev/null && echo yes") == "yes\n", "ffmpeg and ffprobe");
    for (const Stream &s :
         {Stream{omxt::sample("h264_qcif.264"), 176, 144}, {omxt::sample("h264_720p.264"), 1280, 720}}) {
        omxt::TempDir dir;
        const std::string shim = dir.file("screenshot_at_exit.so");
        ASSERT_EQ(omxt::shell("cc -shared -fPIC -o '" + shim + "' '" + omxt::source_dir() +
                              "/scripts/screenshot_at_exit.c' && echo built"),
                  "built\n");
        const char *asan = std::getenv("ASAN_OPTIONS");
        std::vector<std::string> handles, md5;
        const std::string report =
            decode(dir, "OMX.ZYN.AVC.Decoder", {s}, &handles, &md5,
                   {{"LD_PRELOAD", shim},
                    {"OMX_SCREENSHOT_CMD", "xwd -silent -root > '" + dir.file("screen.xwd") + "'"},
                    // The shim comes before the sanitizer's runtime in a sanitized build.
                    {"ASAN_OPTIONS", (asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0"}});
        const int frames = ffprobe_frames(s.file);
        ASSERT_EQ(handles, std::vector<std::string>{std::to_string(frames) + " 0 " + std::to_string(frames)}) << report;
        // Frame k goes into ring slot k % 3 and the pass draws the slot filled one iteration
        // earlier: the last draw, after frame N-1, shows picture N-2, and its neighbours differ.
        const std::string screen = rgb("-i '" + dir.file("screen.xwd") + "'", dir.file("screen.rgb"));
        ASSERT_EQ(screen.size(), 1280u * 800 * 3);
        for (int k : {frames - 3, frames - 2, frames - 1}) {
            const std::string picture = rgb("-i '" + s.file + "' -vf 'select=eq(n\\," + std::to_string(k) +
                                                "),scale=flags=neighbor' -frames:v 1",
                                            dir.file("frame.rgb"));
            ASSERT_EQ(picture.size(), size_t(s.width) * s.height * 3);
            const double p = psnr(screen, picture, s.width, s.height);
            std::printf("[ measured ] %s: screen against picture %d of %d: PSNR %.2f dB\n", s.file.c_str(), k, frames,
                        p);
            EXPECT_EQ(p >= 30.0, k == frames - 2) << k;
        }
    }
}

} // namespace
