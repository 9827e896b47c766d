// The frame_table program: table lines, read-back summary and usage errors.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "stream_builders.h"

using namespace sb;

namespace
{

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

// stderr of the tool goes to a file of this process (tests may run in parallel).
std::string ErrPath()
{
    return "/tmp/frame_table_stderr_" + std::to_string(getpid());
}

std::string Slurp(const std::string &path)
{
    std::string s;
    std::FILE *f = std::fopen(path.c_str(), "r");
    if (f != nullptr) {
        char buf[1024];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            s.append(buf, n);
        }
        std::fclose(f);
    }
    std::remove(path.c_str());
    return s;
}

ToolRun FrameTable(const std::string &args)
{
    std::string cmd = std::string(OMX_BINARY_DIR) + "/bin/frame_table " + args + " 2>" + ErrPath();
    ToolRun r{-1, "", ""};
    std::FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return r;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        r.out.append(buf, n);
    }
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = Slurp(ErrPath());
    return r;
}

} // namespace

TEST(FrameTableTool, PrintsTheTableAndOneSummaryLine)
{
    Bytes data = Cat({RcvSequenceHeader(), RcvFrame(100), RcvFrame(200)});
    TempFile f(data, "rcv");
    ToolRun r = FrameTable(f.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "PARSING_ONLY =1\n"
                     "SLICE_ENABLE =0\n"
                     "Codec Type : 7, Ext : rcv\n"
                     "Frame[0] : offset = 0(0x0), size = 36(0x24)\n"
                     "\nStart Parsing.........\n"
                     "Frame[1] : offset = 36(0x24), size = 108(0x6c)\n"
                     "Frame[2] : offset = 144(0x90), size = 208(0xd0)\n"
                     ">> VsParser loop count : 1 <<\n"
                     "frames read = 3, bytes read = 352, last frame index = -1\n");
}

TEST(FrameTableTool, LimitAndSlicesReachTheParser)
{
    Bytes data = Cat({Mpeg2Sequence(), Mpeg2Gop(), Mpeg2Picture(), Mpeg2Slice(1), Mpeg2Slice(2), Mpeg2Picture(),
                      Mpeg2Slice(1), Mpeg2Slice(2), Mpeg2Picture(), Mpeg2Slice(1)});
    TempFile f(data, "m2v");
    ToolRun r = FrameTable(std::string(f.path()) + " --limit 2 --slices");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("DECODING_NUMBER =2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SLICE_ENABLE =1\n"), std::string::npos);
    EXPECT_NE(r.out.find(">> VsParser loop count : 2 <<\n"), std::string::npos);
    EXPECT_NE(r.out.find("frames read = 3, "), std::string::npos) << r.out;
}

TEST(FrameTableTool, UsageErrorsExitTwo)
{
    for (const char *args : {"", "--limit", "x.264 --limit 0", "x.264 --limit abc", "x.264 --bogus", "a.264 b.264"}) {
        ToolRun r = FrameTable(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find("usage: frame_table FILE [--slices] [--limit N]"), std::string::npos) << args;
    }
}

TEST(FrameTableTool, UnopenableFileFails)
{
    ToolRun r = FrameTable("/nonexistent/x.264");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("InitRawFrameExtract fail\n"), std::string::npos);
}
