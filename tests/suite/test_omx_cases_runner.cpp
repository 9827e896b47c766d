// The runner itself: usage, a core that cannot be loaded, the order of the
// cases, the summary and the handle failures it reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cases_harness.h"

namespace {

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
