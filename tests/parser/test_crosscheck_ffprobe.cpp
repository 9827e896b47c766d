// Cross-check against FFmpeg: on real streams made by scripts/make_samples.sh,
// the frame table must cut where ffprobe's packets start and end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "split_helpers.h"

using namespace sb;

namespace
{

std::string SamplesDir()
{
    return PARSER_SAMPLES_DIR;
}

bool HaveTool(const char *name)
{
    std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Makes the samples when the setup test has not (running the binary alone).
bool EnsureSamples()
{
    static int made = -1;
    if (made < 0) {
        std::string cmd = std::string(OMX_SOURCE_DIR) + "/scripts/make_samples.sh '" + SamplesDir() + "' >/dev/null";
        made = std::system(cmd.c_str()) == 0 ? 1 : 0;
    }
    return made == 1;
}

std::vector<Entry> Packets(const std::string &path)
{
    std::vector<Entry> out;
    std::string cmd =
        "ffprobe -v error -select_streams v:0 -show_entries packet=pos,size -of compact=p=0 '" + path + "'";
    std::FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return out;
    }
    char line[256];
    while (std::fgets(line, sizeof line, p) != nullptr) {
        const char *s = std::strstr(line, "size=");
        const char *o = std::strstr(line, "pos=");
        if (s != nullptr && o != nullptr) {
            out.push_back({std::strtoull(o + 4, nullptr, 10), static_cast<uint32_t>(std::strtoul(s + 5, nullptr, 10))});
        }
    }
    pclose(p);
    return out;
}

std::vector<Entry> OurTable(const std::string &path)
{
    ResetOptions();
    testing::internal::CaptureStdout();
    void *h = InitRawFrameExtract(const_cast<char *>(path.c_str()));
    testing::internal::GetCapturedStdout();
    std::vector<Entry> t;
    if (h != nullptr) {
        t = Table(h);
        DeInitRawFrameExtract(h);
    }
    return t;
}

class FfprobeCrossCheck : public ::testing::TestWithParam<const char *>
{
protected:
    void SetUp() override
    {
        if (!HaveTool("ffprobe") || !HaveTool("ffmpeg")) {
            GTEST_SKIP() << "ffmpeg/ffprobe not installed";
        }
        ASSERT_TRUE(EnsureSamples());
        path_ = SamplesDir() + "/" + GetParam();
        struct stat st;
        ASSERT_EQ(stat(path_.c_str(), &st), 0) << path_;
        packets_ = Packets(path_);
        table_ = OurTable(path_);
        ASSERT_GE(packets_.size(), 5u) << path_;
        ASSERT_GE(table_.size(), 5u) << path_;
    }
    std::string Ext() const { return path_.substr(path_.rfind('.') + 1); }
    std::string path_;
    std::vector<Entry> packets_;
    std::vector<Entry> table_;
};

} // namespace

TEST_P(FfprobeCrossCheck, EntriesMatchPackets)
{
    std::string ext = Ext();
    std::vector<Entry> expect;
    if (ext == "m2v" || ext == "m4v") {
        // Entry 0 holds only the stream headers in front of the first
        // picture; entry 1 is the rest of ffprobe's first packet.
        ASSERT_EQ(table_[0].offset, packets_[0].offset);
        ASSERT_EQ(table_[0].size + table_[1].size, packets_[0].size);
        table_.erase(table_.begin());
        expect.assign(packets_.begin() + 1, packets_.end());
        table_.erase(table_.begin());
    } else if (ext == "ivf") {
        // ffprobe's packet position is the 12-byte IVF frame header; our
        // entries start at the frame data behind it.
        for (const Entry &p : packets_) {
            expect.push_back({p.offset + 12, p.size});
        }
    } else if (ext == "avi") {
        // The first chunk is served twice (entries 0 and 1).
        ASSERT_EQ(table_[0], table_[1]);
        table_.erase(table_.begin());
        expect = packets_;
    } else {
        // H.264 and H.263: every access unit, the first with its parameter sets.
        expect = packets_;
    }
    EXPECT_EQ(table_, expect) << path_;
}

INSTANTIATE_TEST_SUITE_P(Samples, FfprobeCrossCheck,
                         ::testing::Values("h264_baseline_slices.264", "h264_baseline_aud.264", "h264_main_bframes.264",
                                           "h264_high_bframes.264", "h264_720p.264", "h264_qcif.264", "mpeg2_gop.m2v",
                                           "mpeg4_plain.m4v", "mpeg4_resync.m4v", "h263_qcif.263", "vp8.ivf",
                                           "mpeg4_audio.avi"),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                             std::string n = info.param;
                             for (char &c : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return n;
                         });

// Slice splitting on real streams: every unit still ends where a slice or
// video packet begins, and the units cover the file without gaps.
TEST(SampleStreams, SliceSplittingCoversTheFileWithMoreUnits)
{
    if (!HaveTool("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg not installed";
    }
    ASSERT_TRUE(EnsureSamples());
    for (const char *name : {"h264_baseline_slices.264", "mpeg2_gop.m2v", "mpeg4_resync.m4v"}) {
        std::string path = SamplesDir() + "/" + name;
        std::vector<Entry> pictures = OurTable(path);
        ResetOptions();
        slice_enable = 1;
        testing::internal::CaptureStdout();
        void *h = InitRawFrameExtract(path.data());
        testing::internal::GetCapturedStdout();
        ASSERT_NE(h, nullptr) << name;
        std::vector<Entry> slices = Table(h);
        DeInitRawFrameExtract(h);
        ResetOptions();
        EXPECT_GT(slices.size(), pictures.size() * 2) << name;
        uint64_t next = 0;
        for (const Entry &e : slices) {
            EXPECT_EQ(e.offset, next) << name;
            next = e.offset + e.size;
        }
        EXPECT_EQ(next, pictures.back().offset + pictures.back().size) << name;
    }
}
