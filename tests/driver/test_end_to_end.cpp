// End-to-end runs of build/bin/omx_test as a child process against the
// reference core, its faults set through ZYN_OMX_FAULTS: whole report lines and
// the exit status are compared.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "driver_test_support.h"

namespace
{

const std::string kProgram = std::string(OMX_BINARY_DIR) + "/bin/omx_test";
const std::string kCoreDir = std::string(OMX_BINARY_DIR) + "/lib";
const std::string kStubCoreDir = OMX_STUB_CORE_DIR;
constexpr int kTimeoutSeconds = 60;

struct Component {
    const char *name;
    const char *role;
    const char *open_error_line;
    int coding_type;
};

const Component kComponents[] = {
    {"OMX.ZYN.AVC.Decoder", "video_decoder.avc", "avcdec fileopen error ", 7},
    {"OMX.ZYN.VP8.Decoder", "video_decoder.vpx", "vp8dec fileopen error ", 9},
    {"OMX.ZYN.MPEG4.Decoder", "video_decoder.mpeg4", "mpeg4dec fileopen error ", 4},
    {"OMX.ZYN.H263.Decoder", "video_decoder.h263", "h263dec fileopen error ", 3},
    {"OMX.ZYN.WMV.Decoder", "video_decoder.wmv", "wmvdec fileopen error ", 5},
    {"OMX.ZYN.AVC.Encoder", "video_encoder.avc", "avcenc fileopen error ", 21},
    {"OMX.ZYN.MPEG4.Encoder", "video_encoder.mpeg4", "mpeg4enc fileopen error ", 21},
    {"OMX.ZYN.H263.Encoder", "video_encoder.h263", "h263enc fileopen error ", 21},
};

using Lines = std::vector<std::string>;

void append(Lines *to, const Lines &more)
{
    to->insert(to->end(), more.begin(), more.end());
}

Lines head()
{
    return {" libZYN_OMX_Core.so opened succesfully",
            " Interface test is called ",
            "omx_core_interface_test",
            "OMX UTC 001-01: OMX_Init test",
            "OMX UTC 001-02: OMX_Deinit test",
            "OMX UTC 001-03: OMX_Component Name test"};
}

Lines role_lines(int i, const Component &c)
{
    return {"UTC 001-04: OMX_GetRolesOfComponent: " + std::to_string(i) + " " + c.name,
            "UTC 001-04: OMX_GetRolesOfComponent: numRoles:1, index=0, " + std::string(c.role)};
}

Lines handle_lines(int i, const Component &c)
{
    const std::string tail = std::to_string(i) + " " + c.name;
    return {"OMX UTC 001-05: OMX_GetHandle test: " + tail, "OMX UTC 001-06: OMX_FreeHandle test: " + tail};
}

// A component without a list file in the loop.
Lines no_list_lines(const Component &c)
{
    return {"comp name " + std::string(c.name) + " ", c.open_error_line, "Can't find list file Error",
            "coding type = " + std::to_string(c.coding_type), "can't open list file Error"};
}

// The whole report of a healthy core enumerating the first `count` standard components.
Lines normal_report(int count)
{
    Lines lines = head();
    for (int i = 0; i < count; ++i)
        lines.push_back("enumerateComponents " + std::to_string(i) + " " + kComponents[i].name);
    lines.push_back("UTC 001-04: OMX_GetRolesOfComponent test");
    for (int i = 0; i < count; ++i)
        append(&lines, role_lines(i, kComponents[i]));
    for (int i = 0; i < count; ++i)
        append(&lines, handle_lines(i, kComponents[i]));
    for (int i = 0; i < count; ++i)
        append(&lines, no_list_lines(kComponents[i]));
    lines.push_back("");
    return lines;
}

// Timeout lines depend on how busy the machine is; the tests that are about
// them look at the whole report, the others at the report without them.
bool is_timeout_line(const std::string &line)
{
    return line.find("timeout FAIL") != std::string::npos;
}

Lines without_timeouts(const Lines &lines)
{
    Lines result;
    for (const std::string &line : lines)
        if (!is_timeout_line(line))
            result.push_back(line);
    return result;
}

// Index of `line` in `lines` (lines.size() when missing).
size_t find_line(const Lines &lines, const std::string &line, size_t from = 0)
{
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i] == line)
            return i;
    return lines.size();
}

size_t count_prefix(const Lines &lines, const std::string &prefix)
{
    size_t n = 0;
    for (const std::string &line : lines)
        n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
}

class OmxTestRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir_ = make_temp_dir();
        list_dir_ = dir_ + "/lists";
        mkdir(list_dir_.c_str(), 0700);
    }
    void TearDown() override
    {
        if (!dir_.empty())
            remove_tree(dir_);
    }

    // Runs omx_test with `faults` as the fault file (none when empty).
    ChildResult run(const std::string &faults, const std::string &library_dir = kCoreDir,
                    const std::vector<std::string> &args = {}, const std::string &stats_file = "")
    {
        std::string fault_file;
        if (!faults.empty()) {
            fault_file = dir_ + "/faults.txt";
            write_file(fault_file, faults);
        }
        ChildResult r = run_child(kProgram, args,
                                  {{"LD_LIBRARY_PATH", library_dir},
                                   {"ZYN_OMX_FAULTS", fault_file},
                                   {"ZYN_OMX_STATS", stats_file},
                                   {"OMX_TEST_LIST_DIR", list_dir_}},
                                  kTimeoutSeconds);
        EXPECT_FALSE(r.timed_out) << "omx_test did not end within " << kTimeoutSeconds << " s";
        EXPECT_TRUE(r.exited) << "omx_test ended through a signal\n" << r.err;
        EXPECT_EQ(r.exit_status, 0);
        all_lines_ = split_lines(r.out);
        lines_ = without_timeouts(all_lines_);
        return r;
    }

    void list(const std::string &file, const std::string &text) { write_file(list_dir_ + "/" + file, text); }

    std::string dir_;
    std::string list_dir_;
    Lines all_lines_; // the whole report
    Lines lines_;     // the report without its timeout lines
};

class EndToEnd : public OmxTestRun
{
protected:
    void SetUp() override
    {
#ifndef OMX_HAVE_REFERENCE_CORE
        GTEST_SKIP() << "the reference core is not built";
#endif
        OmxTestRun::SetUp();
    }
};

TEST_F(EndToEnd, NormalCoreReportsUtc001ForAllEightComponents)
{
    run("");
    EXPECT_EQ(lines_, normal_report(8));
}

// Without a delay no timeout line appears for the calls the delay tests slow
// down. A busy machine may stall any one run, so one clean run in three passes.
TEST_F(EndToEnd, NoTimeoutLineWithoutADelay)
{
    Lines timeouts;
    for (int attempt = 0; attempt < 3; ++attempt) {
        run("");
        timeouts.clear();
        for (const std::string &line : all_lines_)
            if (is_timeout_line(line) && (line.rfind("OMX UTC 001-01: OMX_Init", 0) == 0 ||
                                          line.rfind("UTC 001-04: OMX_GetRolesOfComponent", 0) == 0))
                timeouts.push_back(line);
        if (timeouts.empty())
            break;
    }
    EXPECT_EQ(timeouts, Lines{});
}

TEST_F(EndToEnd, ArgumentsAreIgnored)
{
    run("", kCoreDir, {"--help", "-v", "anything"});
    EXPECT_EQ(lines_, normal_report(8));
}

TEST_F(EndToEnd, NoComponentEndsAfterTheNameTest)
{
    run("core components 0\n");
    Lines expected = head();
    append(&expected, {"OMX UTC 001-03: OMX_Component Name: FAIL: no component", ""});
    EXPECT_EQ(lines_, expected);
}

TEST_F(EndToEnd, TwelveComponentsOnlyTenAreTested)
{
    run("core components 12\n");
    Lines enumerated;
    for (const std::string &line : lines_)
        if (line.rfind("enumerateComponents ", 0) == 0)
            enumerated.push_back(line);
    Lines expected;
    for (int i = 0; i < 8; ++i)
        expected.push_back("enumerateComponents " + std::to_string(i) + " " + kComponents[i].name);
    expected.push_back("enumerateComponents 8 OMX.ZYN.Extra.8");
    expected.push_back("enumerateComponents 9 OMX.ZYN.Extra.9");
    EXPECT_EQ(enumerated, expected);
    EXPECT_EQ(count_prefix(lines_, "OMX UTC 001-05: OMX_GetHandle test: "), 10u);
    EXPECT_EQ(count_prefix(lines_, "UTC 001-04: OMX_GetRolesOfComponent: 9 OMX.ZYN.Extra.9"), 1u);
    EXPECT_LT(find_line(lines_, "OMX UTC 001-06: OMX_FreeHandle test: 9 OMX.ZYN.Extra.9"), lines_.size());
    EXPECT_EQ(count_prefix(lines_, "enumerateComponents 10"), 0u);
    EXPECT_LT(find_line(lines_, "comp name OMX.ZYN.Extra.9 "), lines_.size());
    EXPECT_EQ(lines_.back(), "");
}

TEST_F(EndToEnd, NoMoreAtIndexThreeTestsThreeComponents)
{
    run("core enum_error 3 0x8000100E\n");
    EXPECT_EQ(lines_, normal_report(3));
}

TEST_F(EndToEnd, FailingInitIsReportedAndTheRunEnds)
{
    run("core OMX_Init error 0x80001000\n");
    EXPECT_EQ(lines_,
              (Lines{" libZYN_OMX_Core.so opened succesfully", " Interface test is called ", "omx_core_interface_test",
                     "OMX UTC 001-01: OMX_Init test", "OMX UTC 001-01: OMX_Init: FAIL: error=80001000", ""}));
}

TEST_F(EndToEnd, SlowInitPrintsItsTimeoutLine)
{
    run("core OMX_Init delay 30000\n");
    const std::regex timeout("OMX UTC 001-01: OMX_Init: timeout FAIL, ([0-9]+)");
    ASSERT_GT(all_lines_.size(), 4u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(all_lines_[4], match, timeout)) << all_lines_[4];
    EXPECT_GE(std::stoi(match[1]), 30000);
    // Apart from that line the report is the normal one.
    EXPECT_EQ(lines_, normal_report(8));
}

TEST_F(EndToEnd, SlowRoleQueryPrintsItsTimeoutLineAfterItsRoles)
{
    run("OMX.ZYN.VP8.Decoder OMX_GetRolesOfComponent delay 8000\n");
    const size_t role_line =
        find_line(all_lines_, "UTC 001-04: OMX_GetRolesOfComponent: numRoles:1, index=0, video_decoder.vpx");
    ASSERT_LT(role_line + 1, all_lines_.size());
    std::smatch match;
    const std::regex timeout("UTC 001-04: OMX_GetRolesOfComponent: timeout FAIL: OMX.ZYN.VP8.Decoder, ([0-9]+)");
    ASSERT_TRUE(std::regex_match(all_lines_[role_line + 1], match, timeout)) << all_lines_[role_line + 1];
    EXPECT_GE(std::stoi(match[1]), 8000);
    EXPECT_EQ(lines_, normal_report(8));
}

// The core is told the capacity of ten role buffers, so it names up to ten.
TEST_F(EndToEnd, ManyRolesAreReadUpToTheTenBuffers)
{
    run("OMX.ZYN.H263.Encoder roles 12\n");
    Lines expected = normal_report(8);
    const size_t at =
        find_line(expected, "UTC 001-04: OMX_GetRolesOfComponent: numRoles:1, index=0, video_encoder.h263");
    ASSERT_LT(at, expected.size());
    expected[at] = "UTC 001-04: OMX_GetRolesOfComponent: numRoles:a, index=0, video_encoder.h263";
    for (int j = 9; j >= 1; --j)
        expected.insert(expected.begin() + static_cast<long>(at) + 1,
                        "UTC 001-04: OMX_GetRolesOfComponent: numRoles:a, index=" + std::to_string(j) + ", role." +
                            std::to_string(j));
    EXPECT_EQ(lines_, expected);
}

TEST_F(EndToEnd, FailingGetHandleIsReportedAndItsFreeSkipped)
{
    run("OMX.ZYN.MPEG4.Decoder OMX_GetHandle error 0x80001000\n");
    Lines expected = normal_report(8);
    const size_t at = find_line(expected, "OMX UTC 001-06: OMX_FreeHandle test: 2 OMX.ZYN.MPEG4.Decoder");
    ASSERT_LT(at, expected.size());
    expected.insert(expected.begin() + static_cast<long>(at),
                    "OMX UTC 001-05: OMX_GetHandle: FAIL: 80001000, OMX.ZYN.MPEG4.Decoder");
    expected.insert(expected.begin() + static_cast<long>(at) + 2,
                    "OMX UTC 001-06: OMX_FreeHandle: skipped, no handle: OMX.ZYN.MPEG4.Decoder");
    EXPECT_EQ(lines_, expected);
}

TEST_F(OmxTestRun, MissingCoreLibraryGivesExactlyTwoLines)
{
    ChildResult r = run("", dir_);
    EXPECT_EQ(r.out, "dlopen failed libZYN_OMX_Core.so: cannot open shared object file: No such file or directory \n"
                     "libZYN_OMX_Core.so open FAIL\n");
}

TEST_F(OmxTestRun, MissingEntryPointIsNamedAndNothingRuns)
{
    ChildResult r = run("", kStubCoreDir);
    EXPECT_EQ(r.out, " libZYN_OMX_Core.so opened succesfully\n"
                     "libZYN_OMX_Core.so: OMX_GetRolesOfComponent not found FAIL\n");
}

// An unknown name gets UTC 001; in the loop it keeps the coding type left by
// the component before it and is passed over.
TEST_F(EndToEnd, UnknownComponentNameIsPassedOverInTheLoop)
{
    run("core names OMX.ZYN.AVC.Decoder OMX.ACME.Foo.Decoder\n");
    EXPECT_LT(find_line(lines_, "enumerateComponents 1 OMX.ACME.Foo.Decoder"), lines_.size());
    EXPECT_LT(find_line(lines_, "OMX UTC 001-06: OMX_FreeHandle test: 1 OMX.ACME.Foo.Decoder"), lines_.size());
    const size_t loop = find_line(lines_, "comp name OMX.ACME.Foo.Decoder ");
    ASSERT_LT(loop + 4, lines_.size());
    EXPECT_EQ(Lines(lines_.begin() + static_cast<long>(loop), lines_.end()),
              (Lines{"comp name OMX.ACME.Foo.Decoder ", "Can't find list file Error", "coding type = 7",
                     "can't open list file Error", ""}));
}

// The loop's handles are refused (after the one of UTC 001), so each entry
// shows as one failure line and no decoding test runs.
constexpr char kRefuseLoopHandles[] = "OMX.ZYN.AVC.Decoder OMX_GetHandle error 0x80001000 after 1\n";
constexpr char kLoopRefusal[] = "omx_component_test_loop: OMX_GetHandle: FAIL: 80001000, OMX.ZYN.AVC.Decoder";

TEST_F(EndToEnd, ListWithoutEndMarkerRunsItsEntriesAndStops)
{
    list("avcdec_list.txt", "/media/a.264 /tmp/out_a\n176\n144\n/media/b.264 /tmp/out_b\n320 wide\n240\n");
    run(kRefuseLoopHandles);
    const size_t loop = find_line(lines_, "comp name OMX.ZYN.AVC.Decoder ");
    ASSERT_LT(loop, lines_.size());
    const Lines expected = {"comp name OMX.ZYN.AVC.Decoder ",
                            "coding type = 7",
                            "",
                            "infile: /media/a.264",
                            "width: 176, height: 144",
                            kLoopRefusal,
                            "",
                            "infile: /media/b.264",
                            "width: 320, height: 240",
                            kLoopRefusal,
                            "parse_list: list file ends without LIST_FILE_END",
                            "comp name OMX.ZYN.VP8.Decoder "};
    ASSERT_LE(loop + expected.size(), lines_.size());
    EXPECT_EQ(
        Lines(lines_.begin() + static_cast<long>(loop), lines_.begin() + static_cast<long>(loop + expected.size())),
        expected);
    EXPECT_EQ(lines_.back(), "");
}

TEST_F(EndToEnd, ListWithOnlyTheEndMarkerGetsNoExtraHandle)
{
    list("avcdec_list.txt", "LIST_FILE_END\n");
    run(kRefuseLoopHandles);
    const size_t loop = find_line(lines_, "comp name OMX.ZYN.AVC.Decoder ");
    ASSERT_LT(loop + 2, lines_.size());
    EXPECT_EQ(lines_[loop + 1], "coding type = 7");
    EXPECT_EQ(lines_[loop + 2], "comp name OMX.ZYN.VP8.Decoder ");
    EXPECT_EQ(find_line(lines_, kLoopRefusal), lines_.size());
}

} // namespace

namespace
{

// Every list entry gets a handle of its own, freed again (the core writes one
// statistics line per freed handle); the decoding test runs on each.
TEST_F(EndToEnd, EveryListEntryGetsAHandleOfItsOwn)
{
    const std::string out = dir_ + "/out";
    list("avcdec_list.txt", "/nonexistent/a.264 " + out + "_a\n176\n144\n/nonexistent/b.264 " + out +
                                "_b\n176\n144\n/nonexistent/c.264 " + out + "_c\n176\n144\nLIST_FILE_END\n");
    list("vp8dec_list.txt", "LIST_FILE_END\n");
    const std::string stats = dir_ + "/stats.txt";
    run("", kCoreDir, {}, stats);
    const Lines freed = split_lines(read_file(stats));
    EXPECT_EQ(count_prefix(freed, "stats OMX.ZYN.AVC.Decoder "), 4u) << read_file(stats);
    EXPECT_EQ(count_prefix(freed, "stats OMX.ZYN.VP8.Decoder "), 1u);
    EXPECT_EQ(count_prefix(freed, "stats OMX.ZYN.H263.Encoder "), 1u);
    EXPECT_EQ(count_prefix(lines_, "infile: /nonexistent/"), 3u);
}

} // namespace
