// The cases and the runner against the reference core with injected faults:
// every failure and timeout line of every case, compared exactly.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "cases_harness.h"

namespace {

using cases_harness::RunResult;
using cases_harness::TempDir;

// OMX.ZYN.MPEG4.Decoder is component kind 2, so the kind in a line is never
// a zero left in the record by accident.
constexpr const char *kComponent = "OMX.ZYN.MPEG4.Decoder";

const char *const kBanners[] = {
    "OMX UTC 005: omx_get_parameter_test", "OMX UTC 006: omx_set_parameter_test",
    "OMX UTC 007: omx_get_config_test",    "OMX UTC 008: omx_set_config_test",
    "OMX UTC 009: omx_get_extension_index_test", "OMX UTC 004: omx_component_state_test",
    "OMX UTC 002: omx_buffer_test",        "OMX UTC 003: omx_port_test",
};

bool is_banner(const std::string &line)
{
    for (const char *banner : kBanners)
        if (line == banner)
            return true;
    return line.rfind("output: ", 0) == 0 || line.rfind("comp name ", 0) == 0;
}

bool is_failure_line(const std::string &line)
{
    return line.find("FAIL") != std::string::npos ||
           (line.find(" Error") != std::string::npos && line != "Can't find list file Error");
}

// The failure and timeout lines of one case, in order, with the measured time
// of a budget timeout line replaced by "T" (its value goes to `times`).
struct CaseLines {
    std::vector<std::string> lines;
    std::vector<int> times;
    int fails = 0;
    int timeouts = 0;
};

CaseLines case_lines(const RunResult &r, const std::string &banner)
{
    CaseLines found;
    bool inside = false;
    static const std::regex timed(R"(^(.*: timeout FAIL: \d+, )(\d+)$)");
    for (const std::string &line : r.body) {
        if (is_banner(line)) {
            if (inside)
                break;
            inside = line == banner;
            continue;
        }
        if (!inside || !is_failure_line(line))
            continue;
        std::smatch m;
        if (std::regex_match(line, m, timed)) {
            found.lines.push_back(std::string(m[1]) + "T");
            found.times.push_back(std::stoi(m[2]));
        } else {
            found.lines.push_back(line);
        }
        if (line.find("timeout FAIL") != std::string::npos)
            found.timeouts++;
        else
            found.fails++;
    }
    return found;
}

struct FaultCase {
    const char *name;
    const char *banner;  // the case whose lines are compared
    const char *label;   // its summary row
    std::string faults;
    std::vector<std::string> expected;
    int min_time;        // every "T" is at least this many microseconds
};

class CasesAgainstReferenceCore : public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override
    {
        if (!cases_harness::reference_core_built())
            GTEST_SKIP() << "reference core or omx_cases not built";
    }
};

TEST_P(CasesAgainstReferenceCore, PrintsExactlyTheFaultsLines)
{
    const FaultCase &c = GetParam();
    TempDir dir;
    const RunResult r = cases_harness::run_omx_cases(dir, {kComponent}, c.faults);
    ASSERT_FALSE(r.timed_out) << r.out;
    ASSERT_EQ(r.exit_status, 0) << r.out << r.err;
    const CaseLines found = case_lines(r, c.banner);
    EXPECT_EQ(found.lines, c.expected) << r.out;
    for (int time : found.times)
        EXPECT_GE(time, c.min_time) << r.out;
    // The summary counts what the case printed.
    const cases_harness::SummaryRow *row = r.row(kComponent, c.label);
    ASSERT_NE(row, nullptr) << r.out;
    EXPECT_EQ(row->fail_lines, found.fails) << r.out;
    EXPECT_EQ(row->timeout_lines, found.timeouts) << r.out;
}

std::string fault_name(const ::testing::TestParamInfo<FaultCase> &info)
{
    return info.param.name;
}

const std::string kNoBuffers = "* min_buffers 0 0\n* min_buffers 1 0\n";

// UTC 005 and 006: parameter calls, 20 ms budget.
INSTANTIATE_TEST_SUITE_P(
    Parameters, CasesAgainstReferenceCore,
    ::testing::Values(
        FaultCase{"GetParameterRejectingPort1FailsOnce", "OMX UTC 005: omx_get_parameter_test", "UTC 005",
                  "* GetParameter:PortDefinition:1 error 0x80001001\n",
                  {"OMX UTC 005-01: OMX_GetParameter port definition: FAIL: 80001001, 2"}, 0},
        FaultCase{"GetParameterErrors", "OMX UTC 005: omx_get_parameter_test", "UTC 005",
                  "* GetParameter:StandardComponentRole error 0x80001001\n"
                  "* GetParameter:VideoPortFormat error 0x80001005\n"
                  "* GetParameter:VideoProfileLevelQuerySupported error 0x8000101A\n"
                  "* GetParameter:VideoErrorCorrection error 0x80001019\n",
                  {"OMX UTC 005-02: OMX_GetParameter component role: FAIL: 80001001, 2",
                   "OMX UTC 005-04: OMX_GetParameter port data format: FAIL: 80001005, 2",
                   "OMX UTC 005-05: OMX_GetParameter profile level: FAIL: 8000101a, 2",
                   "OMX UTC 005-06: OMX_GetParameter error correction: FAIL: 80001019, 2"},
                  0},
        FaultCase{"GetParameterTimeouts", "OMX UTC 005: omx_get_parameter_test", "UTC 005",
                  "* GetParameter delay 20000\n",
                  {"OMX UTC 005-01: OMX_GetParameter port definition: timeout FAIL: 2, T",
                   "OMX UTC 005-01: OMX_GetParameter port definition: timeout FAIL: 2, T",
                   "OMX UTC 005-02: OMX_GetParameter component role: timeout FAIL: 2, T",
                   "OMX UTC 005-04: OMX_GetParameter port data format: timeout FAIL: 2, T",
                   "OMX UTC 005-05: OMX_GetParameter profile level: timeout FAIL: 2, T",
                   "OMX UTC 005-06: OMX_GetParameter error correction: timeout FAIL: 2, T"},
                  20000},
        FaultCase{"FailingAndSlowCallPrintsBothLinesFailFirst", "OMX UTC 005: omx_get_parameter_test", "UTC 005",
                  "* GetParameter:VideoErrorCorrection delay 20000\n"
                  "* GetParameter:VideoErrorCorrection error 0x80001001\n",
                  {"OMX UTC 005-06: OMX_GetParameter error correction: FAIL: 80001001, 2",
                   "OMX UTC 005-06: OMX_GetParameter error correction: timeout FAIL: 2, T"},
                  20000},
        FaultCase{"SetParameterErrors", "OMX UTC 006: omx_set_parameter_test", "UTC 006",
                  "* SetParameter:PortDefinition error 0x80001001\n"
                  "* SetParameter:StandardComponentRole error 0x80001005\n"
                  "* SetParameter:VideoPortFormat error 0x80001019\n"
                  "* SetParameter:VideoErrorCorrection error 0x8000101A\n",
                  {"OMX UTC 006-01: OMX_SetParameter port definition: FAIL: 80001001, 2",
                   "OMX UTC 006-02: OMX_SetParameter component role: FAIL: 80001005, 2",
                   "OMX UTC 006-04: OMX_SetParameter port data format: FAIL: 80001019, 2",
                   "OMX UTC 006-05: OMX_SetParameter error correction: FAIL: 8000101a, 2"},
                  0},
        // The untimed reads before the writes are not reported, however slow.
        FaultCase{"SetParameterTimeouts", "OMX UTC 006: omx_set_parameter_test", "UTC 006",
                  "* SetParameter delay 20000\n* GetParameter delay 20000\n",
                  {"OMX UTC 006-01: OMX_SetParameter port definition: timeout FAIL: 2, T",
                   "OMX UTC 006-02: OMX_SetParameter component role: timeout FAIL: 2, T",
                   "OMX UTC 006-04: OMX_SetParameter port data format: timeout FAIL: 2, T",
                   "OMX UTC 006-05: OMX_SetParameter error correction: timeout FAIL: 2, T"},
                  20000}),
    fault_name);

// UTC 007, 008, 009: 5 ms budget.
INSTANTIATE_TEST_SUITE_P(
    Configs, CasesAgainstReferenceCore,
    ::testing::Values(
        FaultCase{"GetConfigError", "OMX UTC 007: omx_get_config_test", "UTC 007",
                  "* GetConfig:CommonScale error 0x80001001\n",
                  {"OMX UTC 007-02: OMX_GetConfig scale factor: FAIL: 80001001, 2"}, 0},
        FaultCase{"GetConfigTimeout", "OMX UTC 007: omx_get_config_test", "UTC 007",
                  "* GetConfig:CommonScale delay 5000\n",
                  {"OMX UTC 007-02: OMX_GetConfig scale factor: timeout FAIL: 2, T"}, 5000},
        FaultCase{"SetConfigUnknownVendorIndex", "OMX UTC 008: omx_set_config_test", "UTC 008",
                  "* SetConfig:VendorThumbnailMode error 0x8000101A\n",
                  {"OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode: FAIL: 8000101a, 2"}, 0},
        FaultCase{"SetConfigTimeout", "OMX UTC 008: omx_set_config_test", "UTC 008", "* SetConfig delay 5000\n",
                  {"OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode: timeout FAIL: 2, T"}, 5000},
        FaultCase{"ExtensionUnknown", "OMX UTC 009: omx_get_extension_index_test", "UTC 009",
                  "* GetExtensionIndex error 0x8000101A\n",
                  {"OMX UTC 009-01: OMX_GetExtensionIndex test: OMX.ZYN.index.ThumbnailMode: FAIL: 8000101a, 2"}, 0},
        FaultCase{"ExtensionTimeout", "OMX UTC 009: omx_get_extension_index_test", "UTC 009",
                  "* GetExtensionIndex delay 5000\n",
                  {"OMX UTC 009-01: OMX_GetExtensionIndex test: OMX.ZYN.index.ThumbnailMode: timeout FAIL: 2, T"},
                  5000}),
    fault_name);

} // namespace
