// Real streams made by FFmpeg (scripts/make_samples.sh): the frame table cuts where ffprobe's
// packets start and end, and slice splitting covers the file.
#include "parser_test_util.h"

using namespace pt;

namespace
{

std::vector<Entry> Packets(const std::string &path)
{
    omxt::ChildResult r = omxt::run_child("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                                      "packet=pos,size", "-of", "csv=p=0", path});
    std::vector<Entry> out;
    for (const std::string &line : omxt::lines(r.out)) {
        unsigned long long size = 0, pos = 0;
        if (std::sscanf(line.c_str(), "%llu,%llu", &size, &pos) == 2) {
            out.push_back({pos, static_cast<uint32_t>(size)});
        }
    }
    return out;
}

} // namespace

TEST(ParserSamples, FrameTablesMatchFfprobePackets)
{
    OMX_SKIP_UNLESS(omxt::run_child("ffprobe", {"-version"}).status == 0, "ffprobe (FFmpeg)");
    for (const char *name : {"h264_baseline_slices.264", "h264_baseline_aud.264", "h264_main_bframes.264",
                             "h264_high_bframes.264", "h264_720p.264", "h264_qcif.264", "mpeg2_gop.m2v",
                             "mpeg4_plain.m4v", "mpeg4_resync.m4v", "h263_qcif.263", "vp8.ivf", "mpeg4_audio.avi"}) {
        std::string path = omxt::sample(name), ext = std::strrchr(name, '.') + 1;
        std::vector<Entry> packets = Packets(path), table = Build(path).entries;
        ASSERT_GE(packets.size(), 5u) << name;
        ASSERT_GE(table.size(), 5u) << name;
        if (ext == "m2v" || ext == "m4v") {
            // Entry 0 holds the stream headers in front of the first picture, entry 1 the rest
            // of ffprobe's first packet.
            EXPECT_EQ(table[0].offset, packets[0].offset) << name;
            EXPECT_EQ(table[0].size + table[1].size, packets[0].size) << name;
            table.erase(table.begin(), table.begin() + 2);
            packets.erase(packets.begin());
        } else if (ext == "ivf") {
            for (Entry &p : packets) {
                p.offset += 12; // ffprobe's position is the frame header's
            }
        } else if (ext == "avi") {
            EXPECT_EQ(table[0], table[1]) << name; // the first chunk is served twice
            table.erase(table.begin());
        }
        EXPECT_EQ(table, packets) << name;
    }
    // With slice splitting every unit still follows the one before, over the same bytes.
    for (const char *name : {"h264_baseline_slices.264", "mpeg2_gop.m2v", "mpeg4_resync.m4v"}) {
        std::vector<Entry> pictures = Build(omxt::sample(name)).entries, slices = Build(omxt::sample(name), 1).entries;
        EXPECT_GT(slices.size(), pictures.size() * 2) << name;
        uint64_t next = 0;
        for (const Entry &e : slices) {
            EXPECT_EQ(e.offset, next) << name;
            next = e.offset + e.size;
        }
        EXPECT_EQ(next, pictures.back().offset + pictures.back().size) << name;
    }
}

// The frame_table tool: the table as the decoder will be fed, then every frame read back; usage
// errors exit 2, a file the parser cannot open 1.
TEST(ParserSamples, FrameTableToolPrintsTheTableAndReadsItBack)
{
    omxt::ChildResult r = omxt::run_tool("frame_table", {omxt::sample("h264_qcif.264"), "--limit", "2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "PARSING_ONLY =1\nSLICE_ENABLE =0\nDECODING_NUMBER =2\nCodec Type : 0, Ext : 264\n"
                     "Frame[0] : offset = 0(0x0), size = 3503(0xdaf)\n\nStart Parsing.........\n"
                     "Frame[1] : offset = 3503(0xdaf), size = 950(0x3b6)\n"
                     "Frame[2] : offset = 4453(0x1165), size = 762(0x2fa)\n>> VsParser loop count : 2 <<\n"
                     "frames read = 3, bytes read = 5215, last frame index = -1\n");
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{}, {"--limit"}, {"x.264", "--limit", "0"}, {"x.264", "--bogus"}})
        EXPECT_EQ(omxt::run_tool("frame_table", args).status, 2) << (args.empty() ? "" : args.back());
    EXPECT_EQ(omxt::run_tool("frame_table", {"/nonexistent.264"}).status, 1);
}

TEST(ParserSamples, ZeroSizeIvfFrameMakesNoEntry)
{
    std::string ivf = omxt::read_file(omxt::sample("vp8.ivf"));
    std::vector<Entry> frames = Build(omxt::sample("vp8.ivf")).entries;
    ASSERT_GE(frames.size(), 5u);
    omxt::TempDir dir;
    ivf.insert(frames[1].offset - 12, std::string(12, '\0'));
    std::vector<Entry> got = Build(dir.write("zero.ivf", ivf)).entries;
    ASSERT_EQ(got.size(), frames.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i].size, frames[i].size) << i;
}

TEST(ParserSamples, H263GobHeadersNeverCutAPicture)
{
    omxt::TempDir dir;
    std::string path = dir.file("gob.263");
    ASSERT_EQ(omxt::run_child("ffmpeg",
                              {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc=size=176x144:rate=25",
                               "-frames:v", "25", "-c:v", "h263", "-ps", "300", "-f", "h263", path})
                  .status,
              0);
    EXPECT_EQ(Build(path, 1).entries.size(), 25u);
    EXPECT_EQ(Build(path, 0).entries.size(), 25u);
}
