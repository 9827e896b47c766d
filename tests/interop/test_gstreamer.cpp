// GStreamer's OpenMAX plugin, the plugin's default flow, on the reference core: every picture
// decoded through it is FFmpeg's, byte for byte, with FFmpeg's time stamps; the encoders' streams
// decode with FFmpeg without an error, at the bit rate asked for.
#include "test_common.h"

#include <cmath>
#include <regex>

namespace
{

bool have_tools()
{
    return omxt::shell("gst-launch-1.0 --version >/dev/null && gst-inspect-1.0 omx >/dev/null && ffmpeg -version "
                       ">/dev/null && echo yes") == "yes\n";
}

// gst-launch-1.0 on `pipeline` with the shipped conf; the core is named by its file name, which the
// plugin looks for in the working folder and loads through the library path. Standard output
// and error together.
std::string gst(const omxt::TempDir &dir, const std::string &pipeline, const std::string &conf = "")
{
    const std::string lib = omxt::build_dir() + "/lib";
    const std::string conf_dir = conf.empty() ? omxt::source_dir() + "/refcore" : conf;
    return omxt::shell("cd '" + lib + "' && GST_OMX_CONFIG_DIR='" + conf_dir + "' GST_REGISTRY='" +
                       dir.file(conf.empty() ? "registry.bin" : "registry-own-conf.bin") + "' LD_LIBRARY_PATH='" + lib +
                       "' gst-launch-1.0 -v " + pipeline + " 2>&1; echo status $?");
}

// Presentation times in microseconds from the first picture's: of the buffers `identity` printed,
// of FFmpeg's pictures (containers may start their clocks elsewhere).
std::vector<long long> gst_times(const std::string &log)
{
    std::vector<long long> times;
    static const std::regex pts("chain.*pts: (\\d+):(\\d+):(\\d+)\\.(\\d{9})");
    for (const std::string &line : omxt::lines(log))
        if (std::smatch m; std::regex_search(line, m, pts))
            times.push_back(((std::stoll(m[1]) * 60 + std::stoll(m[2])) * 60 + std::stoll(m[3])) * 1000000 +
                            (std::stoll(m[4]) + 500) / 1000);
    for (size_t i = times.size(); i-- > 0;)
        times[i] -= times[0];
    return times;
}

std::vector<long long> ffmpeg_times(const std::string &file)
{
    std::vector<long long> times;
    long long num = 1, den = 1;
    for (const std::string &line :
         omxt::lines(omxt::shell("ffmpeg -nostdin -v error -i '" + file + "' -f framecrc -"))) {
        if (std::sscanf(line.c_str(), "#tb 0: %lld/%lld", &num, &den) == 2)
            continue;
        long long stream = 0, dts = 0, pts = 0;
        if (line[0] != '#' && std::sscanf(line.c_str(), "%lld, %lld, %lld", &stream, &dts, &pts) == 3)
            times.push_back((pts * num * 1000000 + den / 2) / den);
    }
    for (size_t i = times.size(); i-- > 0;)
        times[i] -= times[0];
    return times;
}

} // namespace

// H.264 (720p with B pictures and four slices), MPEG-4 (with B pictures, from MP4: its elementary
// stream has no time stamps) and H.263 to I420, H.264 once more with the output port enabled from
// the start (the plugin's hack no-disable-outport: the size announced differs from the port's, the
// plugin disables the port and enables it again with new buffers), and H.264 to the
// plugin's name for OMX_COLOR_Format32bitARGB8888 ("ABGR"; the bytes are B, G, R, A, as that
// format lays them out, which is FFmpeg's bgra).
TEST(GStreamerPlugin, DecodersGiveFfmpegsPicturesAndTimestamps)
{
    OMX_SKIP_UNLESS(have_tools(), "gst-launch-1.0, GStreamer's OpenMAX plugin, ffmpeg");
    omxt::TempDir dir;
    const std::string hd = dir.file("720p.264");
    omxt::shell("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=1280x720:rate=25:duration=0.8 -c:v libx264 "
                "-profile:v high -bf 2 -x264opts slices=4 -g 8 -pix_fmt yuv420p -f h264 '" +
                hd + "'");
    const std::string mp4 = dir.file("mpeg4.mp4");
    omxt::shell("ffmpeg -nostdin -v error -i '" + omxt::sample("mpeg4_plain.m4v") + "' -c copy '" + mp4 + "'");
    omxt::TempDir own;
    std::string conf = omxt::read_file(omxt::source_dir() + "/refcore/gstomx.conf");
    conf.replace(conf.find("component-name=OMX.ZYN.AVC.Decoder"), 0, "hacks=no-disable-outport\n");
    own.write("gstomx.conf", conf);
    struct Case {
        std::string file;
        const char *parser, *decoder, *format, *pix_fmt;
        std::string conf = "";
    } cases[] = {
        {hd, "h264parse", "omxh264dec", "I420", "yuv420p"},
        {mp4, "qtdemux ! mpeg4videoparse", "omxmpeg4videodec", "I420", "yuv420p"},
        {omxt::sample("h263_qcif.263"), "h263parse", "omxh263dec", "I420", "yuv420p"},
        {hd, "h264parse", "omxh264dec", "I420", "yuv420p", own.path},
        {omxt::sample("h264_high_bframes.264"), "h264parse", "omxh264dec", "ABGR", "bgra"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file + " " + c.format);
        const std::string out = dir.file("gst.raw"), ref = dir.file("ffmpeg.raw");
        const std::string log =
            gst(dir,
                "filesrc location='" + c.file + "' ! " + c.parser + " ! " + c.decoder +
                    " ! video/x-raw,format=" + c.format + " ! identity silent=false ! filesink location='" + out + "'",
                c.conf);
        ASSERT_NE(log.find("status 0"), std::string::npos) << log;
        omxt::shell("ffmpeg -nostdin -v error -y -i '" + c.file + "' -f rawvideo -pix_fmt " + c.pix_fmt + " '" + ref +
                    "'");
        const std::string pictures = omxt::read_file(out), expected = omxt::read_file(ref);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(pictures.size(), expected.size());
        EXPECT_TRUE(pictures == expected) << "pictures differ from FFmpeg's";
        EXPECT_EQ(gst_times(log), ffmpeg_times(c.file));
    }
}

// 176 x 144 at 25 pictures a second for 8 s, at 256 kbit/s.
TEST(GStreamerPlugin, EncodersGiveStreamsFfmpegDecodesAtTheBitRateAskedFor)
{
    OMX_SKIP_UNLESS(have_tools(), "gst-launch-1.0, GStreamer's OpenMAX plugin, ffmpeg");
    omxt::TempDir dir;
    const std::string raw = dir.file("in.yuv");
    omxt::shell("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=176x144:rate=25:duration=8 -pix_fmt yuv420p -f "
                "rawvideo '" +
                raw + "'");
    struct Case {
        const char *encoder, *parser, *extension;
    } cases[] = {{"omxh264enc", "h264parse", "264"},
                 {"omxmpeg4videoenc", "mpeg4videoparse", "m4v"},
                 {"omxh263enc", "h263parse", "263"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.encoder);
        const std::string out = dir.file(std::string("out.") + c.extension);
        const std::string log = gst(dir, "filesrc location='" + raw +
                                             "' ! rawvideoparse format=i420 width=176 height=144 framerate=25/1 ! " +
                                             c.encoder + " target-bitrate=256000 control-rate=variable ! " + c.parser +
                                             " ! filesink location='" + out + "'");
        ASSERT_NE(log.find("status 0"), std::string::npos) << log;
        EXPECT_EQ(omxt::shell("ffmpeg -nostdin -v error -i '" + out + "' -f null - 2>&1"), "");
        EXPECT_EQ(
            omxt::shell("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 '" + out + "'"),
            "200\n");
        const double rate = omxt::read_file(out).size() * 8 / 8.0;
        EXPECT_LT(std::fabs(rate - 256000) / 256000, 0.2) << rate << " bit/s";
    }
}
