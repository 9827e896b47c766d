// The runner itself: usage, a core that cannot be loaded, the order of the
// cases, the summary and the handle failures it reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cases_harness.h"

namespace
{

using cases_harness::RunResult;
using cases_harness::TempDir;

bool omx_cases_built()
{
    return access((cases_harness::binary_dir() + "/bin/omx_cases").c_str(), X_OK) == 0;
}

TEST(OmxCasesRunner, UsageErrorsExitWithTwo)
{
    if (!omx_cases_built())
        GTEST_SKIP() << "omx_cases not built";
    TempDir dir;
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {"-x"}, {"OMX.ZYN.AVC.Decoder", "--bogus"}, {""}, {std::string(128, 'A')}}) {
        const RunResult r = cases_harness::run_omx_cases(dir, args, "");
        EXPECT_EQ(r.exit_status, 2);
        EXPECT_NE(r.err.find("usage: omx_cases [COMPONENT ...]"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const RunResult help = cases_harness::run_omx_cases(dir, {"--help"}, "");
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.out.rfind("usage: omx_cases [COMPONENT ...]\n", 0), 0u) << help.out;
}

TEST(OmxCasesRunner, CoreThatCannotBeLoadedExitsWithOne)
{
    if (!omx_cases_built())
        GTEST_SKIP() << "omx_cases not built";
    TempDir dir;
    // An empty library folder: the plain library name is not found there.
    const RunResult missing = cases_harness::run_omx_cases(dir, {}, "", {}, 60, dir.path);
    EXPECT_EQ(missing.exit_status, 1);
    ASSERT_EQ(missing.body.size(), 2u) << missing.out;
    EXPECT_EQ(missing.body[0].rfind("dlopen failed ", 0), 0u);
    EXPECT_NE(missing.body[0].find("libZYN_OMX_Core.so"), std::string::npos);
    EXPECT_EQ(missing.body[1], "libZYN_OMX_Core.so open FAIL");
}

} // namespace

namespace
{

class RunnerAgainstReferenceCore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!cases_harness::reference_core_built())
            GTEST_SKIP() << "reference core or omx_cases not built";
    }
};

const char *const kCaseOrder[] = {"UTC 005", "UTC 006", "UTC 007", "UTC 008",
                                  "UTC 009", "UTC 004", "UTC 002", "UTC 003"};

TEST_F(RunnerAgainstReferenceCore, EveryEnumeratedComponentRunsEveryCaseInOrder)
{
    TempDir dir;
    const RunResult r = cases_harness::run_omx_cases(dir, {}, "core names OMX.ZYN.H263.Decoder OMX.ZYN.VP8.Decoder\n");
    ASSERT_EQ(r.exit_status, 0) << r.out;
    ASSERT_EQ(r.summary.size(), 16u) << r.out;
    for (size_t i = 0; i < r.summary.size(); i++) {
        EXPECT_EQ(r.summary[i].component, i < 8 ? "OMX.ZYN.H263.Decoder" : "OMX.ZYN.VP8.Decoder");
        EXPECT_EQ(r.summary[i].label, kCaseOrder[i % 8]);
        // Timeouts are left out: a 5 ms span may reach its budget on a loaded machine.
        EXPECT_EQ(r.summary[i].fail_lines, 0) << r.out;
    }
    // The banners come in the same order as the rows.
    std::vector<std::string> banners;
    for (const std::string &line : r.body)
        if (line.rfind("OMX UTC 00", 0) == 0 && line.find(": omx_") != std::string::npos)
            banners.push_back(line.substr(4, 7));
    ASSERT_EQ(banners.size(), 16u);
    for (size_t i = 0; i < banners.size(); i++)
        EXPECT_EQ(banners[i], kCaseOrder[i % 8]);
    EXPECT_NE(r.out.find("\ntotal "), std::string::npos);
}

TEST_F(RunnerAgainstReferenceCore, HandleFailuresAreCountedAgainstTheirCase)
{
    TempDir dir;
    const RunResult r = cases_harness::run_omx_cases(
        dir, {"OMX.ZYN.H263.Decoder"},
        "core OMX_GetHandle error 0x80001000 times 1\ncore OMX_FreeHandle error 0x80001001 times 1\n");
    ASSERT_EQ(r.exit_status, 0) << r.out;
    EXPECT_EQ(r.lines_with("omx_cases:"),
              (std::vector<std::string>{"omx_cases: UTC 005: OMX_GetHandle(OMX.ZYN.H263.Decoder): FAIL: 80001000",
                                        "omx_cases: UTC 006: OMX_FreeHandle(OMX.ZYN.H263.Decoder): FAIL: 80001001"}))
        << r.out;
    // UTC 005 never ran on a handle.
    EXPECT_TRUE(r.lines_with("OMX UTC 005:").empty());
    ASSERT_NE(r.row("OMX.ZYN.H263.Decoder", "UTC 005"), nullptr);
    EXPECT_EQ(r.row("OMX.ZYN.H263.Decoder", "UTC 005")->fail_lines, 1);
    EXPECT_EQ(r.row("OMX.ZYN.H263.Decoder", "UTC 006")->fail_lines, 1);
    EXPECT_EQ(r.row("OMX.ZYN.H263.Decoder", "UTC 007")->fail_lines, 0);
}

TEST_F(RunnerAgainstReferenceCore, CoreThatCannotInitialiseExitsWithOne)
{
    TempDir dir;
    const RunResult r = cases_harness::run_omx_cases(dir, {}, "core OMX_Init error 0x80001001\n");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(r.has_line("omx_cases: OMX_Init: FAIL: error=80001001")) << r.out;
    EXPECT_TRUE(r.summary.empty());
}

// Every component call refused or never completed: every case prints its
// lines, nothing hangs, and the summary still closes the run.
TEST_F(RunnerAgainstReferenceCore, CoreBreakingEveryCallStillEndsWithItsSummary)
{
    const char *const calls[] = {"GetParameter",      "SetParameter",    "GetConfig",     "SetConfig",
                                 "GetExtensionIndex", "GetState",        "UseBuffer",     "AllocateBuffer",
                                 "FreeBuffer",        "EmptyThisBuffer", "FillThisBuffer"};
    for (const char *command_fault : {"error 0x80001001", "silent"}) {
        std::string faults;
        for (const char *call : calls)
            faults += std::string("* ") + call + " error 0x80001001\n";
        faults += std::string("* SendCommand ") + command_fault + "\n";
        TempDir dir;
        dir.write("in.yuv", std::string(3 * 38016, '\x10'));
        dir.write("h263enc_list.txt",
                  dir.file("in.yuv") + " " + dir.file("out.263") + "\n176\n144\n1\n512\n30\nLIST_FILE_END\n");
        const RunResult r = cases_harness::run_omx_cases(dir, {}, faults, {{"OMX_TEST_WAIT_MS", "20"}}, 120);
        ASSERT_FALSE(r.timed_out) << command_fault;
        ASSERT_EQ(r.exit_status, 0) << r.out;
        ASSERT_EQ(r.summary.size(), 8u * 8u + 1u) << r.out;
        for (const cases_harness::SummaryRow &row : r.summary)
            EXPECT_GT(row.fail_lines, 0) << row.component << " " << row.label << "\n" << r.out;
        EXPECT_NE(r.out.find("\ntotal "), std::string::npos);
    }
}

TEST_F(RunnerAgainstReferenceCore, RefusedEnumerationIndexIsSkippedAndAnEmptyCoreStillSummed)
{
    TempDir dir;
    const RunResult r = cases_harness::run_omx_cases(dir, {}, "core components 3\ncore enum_error 1 0x80001001\n");
    ASSERT_EQ(r.exit_status, 0) << r.out;
    EXPECT_EQ(r.lines_with("omx_cases:"),
              std::vector<std::string>{"omx_cases: OMX_ComponentNameEnum(1): FAIL: 80001001"});
    EXPECT_EQ(r.lines_with("comp name "),
              (std::vector<std::string>{"comp name OMX.ZYN.AVC.Decoder ", "comp name OMX.ZYN.MPEG4.Decoder "}));
    EXPECT_EQ(r.summary.size(), 16u);

    TempDir empty;
    const RunResult none = cases_harness::run_omx_cases(empty, {}, "core components 0\n");
    EXPECT_EQ(none.exit_status, 0);
    EXPECT_TRUE(none.has_line("omx_cases: no component")) << none.out;
    EXPECT_TRUE(none.summary.empty());
    EXPECT_NE(none.out.find("\nomx_cases summary\n"), std::string::npos);
}

// A clean run prints every banner and sub-test line, in the order and with
// the numbers of each case (the failure-line numbers are checked elsewhere).
TEST_F(RunnerAgainstReferenceCore, CleanRunPrintsEveryBannerAndSubTestLine)
{
    TempDir dir;
    const RunResult r = cases_harness::run_omx_cases(dir, {"OMX.ZYN.WMV.Decoder"}, "");
    ASSERT_EQ(r.exit_status, 0) << r.out;
    std::vector<std::string> lines;
    bool started = false;
    for (const std::string &line : r.body) {
        started = started || line == "OMX UTC 005: omx_get_parameter_test";
        // A 5 ms span may reach its budget on a loaded machine; nothing else may appear.
        if (started && line.find("timeout FAIL") == std::string::npos)
            lines.push_back(line);
    }
    const std::vector<std::string> expected = {
        "OMX UTC 005: omx_get_parameter_test",
        "OMX UTC 005-02: OMX_GetParameter port definition test",
        "OMX UTC 005-03: OMX_GetParameter component role test",
        "OMX UTC 005-04: OMX_GetParameter port data format test",
        "OMX UTC 005-05: OMX_GetParameter profile level test",
        "OMX UTC 005-06: OMX_GetParameter error correction test",
        "OMX UTC 006: omx_set_parameter_test",
        "OMX UTC 006-02: OMX_SetParameter port definition test",
        "OMX UTC 006-03: OMX_SetParameter component role test",
        "OMX UTC 006-04: OMX_SetParameter port data format test",
        "OMX UTC 006-05: OMX_SetParameter error correction test",
        "OMX UTC 007: omx_get_config_test",
        "OMX UTC 007-02: OMX_GetConfig scale factor test",
        "OMX UTC 008: omx_set_config_test",
        "OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode test",
        "OMX UTC 009: omx_get_extension_index_test",
        "OMX UTC 009-01: OMX_GetExtensionIndex test",
        "OMX UTC 004: omx_component_state_test",
        "OMX UTC 004-01: OMX_GetState test",
        "OMX UTC 004-02: OMX Component state transaction test",
        "OMX UTC 002: omx_buffer_test",
        "OMX UTC 002-01: OMX_UseBuffer test",
        "OMX UTC 002-02: OMX_AllocateBuffer test",
        "OMX UTC 002-04: OMX_EmptyThisBuffer test",
        "OMX UTC 002-05: OMX_FillThisBuffer test",
        "OMX UTC 002-03: OMX_FreeBuffer test",
        "OMX UTC 003: omx_port_test",
        "OMX UTC 003-03: OMX port flush test",
        "OMX UTC 003-01: OMX port disable test",
        "OMX UTC 003-02: OMX port enable test",
        "", // the summary follows an empty line
    };
    EXPECT_EQ(lines, expected);
}

} // namespace
