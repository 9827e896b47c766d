// The cases and the runner against the reference core with injected faults:
// every failure and timeout line of every case, compared exactly.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "cases_harness.h"

namespace
{

using cases_harness::RunResult;
using cases_harness::TempDir;

// OMX.ZYN.MPEG4.Decoder is component kind 2, so the kind in a line is never
// a zero left in the record by accident.
constexpr const char *kComponent = "OMX.ZYN.MPEG4.Decoder";

const char *const kBanners[] = {
    "OMX UTC 005: omx_get_parameter_test",
    "OMX UTC 006: omx_set_parameter_test",
    "OMX UTC 007: omx_get_config_test",
    "OMX UTC 008: omx_set_config_test",
    "OMX UTC 009: omx_get_extension_index_test",
    "OMX UTC 004: omx_component_state_test",
    "OMX UTC 002: omx_buffer_test",
    "OMX UTC 003: omx_port_test",
};

// Lines that start a case's output: the case banners, the encoding pass's
// "output: " line and the runner's per-component header.
bool is_banner(const std::string &line)
{
    for (const char *banner : kBanners)
        if (line == banner)
            return true;
    return line.rfind("output: ", 0) == 0 || line.rfind("comp name ", 0) == 0;
}

bool is_failure_line(const std::string &line)
{
    return line.find("FAIL") != std::string::npos || line.find("err=") != std::string::npos ||
           (line.find(" Error") != std::string::npos && line != "Can't find list file Error");
}

// The failure and timeout lines of one case, in order, with the measured time
// of a budget timeout line replaced by "T" (its value goes to `times`).
struct CaseLines {
    std::vector<std::string> lines;
    std::vector<int> time_of; // per line: the measured time of a budget line, else -1
    int fails = 0;
    int timeouts = 0;
};

// A span that holds a completion wait, or has a 5 ms budget, can reach its
// budget on a loaded machine or under the sanitizers without any fault. Such
// a timeout line, under 100 ms, is tolerated where a test expects none. Plain
// 20 ms calls (UseBuffer, FreeBuffer, the parameter calls, GetState) get no
// such allowance, so a wrong budget on them still shows.
bool is_load_noise(const CaseLines &found, size_t i)
{
    static const char *const load_sensitive_spans[] = {
        "OMX UTC 003-0",   "OMX UTC 002-02:",
        "OMX UTC 002-04:", "OMX UTC 002-05:",
        "OMX UTC 007-",    "OMX UTC 008-",
        "OMX UTC 009-",    "OMX UTC 004-02: OMX Component state transaction: timeout FAIL",
    };
    if (found.time_of[i] < 0 || found.time_of[i] >= 100000)
        return false;
    for (const char *prefix : load_sensitive_spans)
        if (found.lines[i].rfind(prefix, 0) == 0)
            return true;
    return false;
}

// The indices of the found lines with tolerated noise dropped where it is not
// expected: the expected lines are matched in order and only noise may stand
// between them.
std::vector<size_t> without_load_noise(const CaseLines &found, const std::vector<std::string> &expected)
{
    std::vector<size_t> kept;
    size_t next = 0;
    for (size_t i = 0; i < found.lines.size(); i++) {
        if (next < expected.size() && found.lines[i] == expected[next]) {
            kept.push_back(i);
            next++;
        } else if (!is_load_noise(found, i)) {
            kept.push_back(i);
        }
    }
    return kept;
}

CaseLines case_lines(const RunResult &r, const std::string &banner)
{
    CaseLines found;
    bool inside = false;
    static const std::regex timed(R"(^(.*: timeout FAIL: \d+, )(\d+)$)");
    for (const std::string &line : r.body) {
        if (is_banner(line)) {
            if (inside)
                break;
            inside = line.rfind(banner, 0) == 0;
            continue;
        }
        if (!inside || !is_failure_line(line))
            continue;
        std::smatch m;
        if (std::regex_match(line, m, timed)) {
            found.lines.push_back(std::string(m[1]) + "T");
            found.time_of.push_back(std::stoi(m[2]));
        } else {
            found.lines.push_back(line);
            found.time_of.push_back(-1);
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
    const char *banner; // the case whose lines are compared (a prefix of its first line)
    const char *label;  // its summary row
    std::string faults;
    std::vector<std::string> expected;
    int min_time; // every "T" is at least this many microseconds
    const char *component = kComponent;
};

// An encoder list with one 176 x 144 entry whose input holds three pictures.
void write_encoder_list(const TempDir &dir, int picture_bytes = 3 * 38016)
{
    std::string pictures(static_cast<size_t>(picture_bytes), '\0');
    for (size_t i = 0; i < pictures.size(); i++)
        pictures[i] = static_cast<char>(i * 7);
    dir.write("in.yuv", pictures);
    dir.write("avcenc_list.txt",
              dir.file("in.yuv") + " " + dir.file("out.264") + "\n176\n144\n1\n512\n30\nLIST_FILE_END\n");
}

void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

class CasesAgainstReferenceCore : public ::testing::TestWithParam<FaultCase>
{
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
    write_encoder_list(dir);
    const RunResult r = cases_harness::run_omx_cases(dir, {c.component}, c.faults);
    ASSERT_FALSE(r.timed_out) << r.out;
    ASSERT_EQ(r.exit_status, 0) << r.out << r.err;
    const CaseLines found = case_lines(r, c.banner);
    std::vector<std::string> kept;
    for (size_t i : without_load_noise(found, c.expected)) {
        kept.push_back(found.lines[i]);
        if (found.time_of[i] >= 0) {
            EXPECT_GE(found.time_of[i], c.min_time) << found.lines[i] << "\n" << r.out;
        }
    }
    EXPECT_EQ(kept, c.expected) << r.out;
    // The summary counts what the case printed.
    const cases_harness::SummaryRow *row = r.row(c.component, c.label);
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
    ::testing::Values(FaultCase{"GetParameterRejectingPort1FailsOnce",
                                "OMX UTC 005: omx_get_parameter_test",
                                "UTC 005",
                                "* GetParameter:PortDefinition:1 error 0x80001001\n",
                                {"OMX UTC 005-01: OMX_GetParameter port definition: FAIL: 80001001, 2"},
                                0},
                      FaultCase{"GetParameterErrors",
                                "OMX UTC 005: omx_get_parameter_test",
                                "UTC 005",
                                "* GetParameter:StandardComponentRole error 0x80001001\n"
                                "* GetParameter:VideoPortFormat error 0x80001005\n"
                                "* GetParameter:VideoProfileLevelQuerySupported error 0x8000101A\n"
                                "* GetParameter:VideoErrorCorrection error 0x80001019\n",
                                {"OMX UTC 005-02: OMX_GetParameter component role: FAIL: 80001001, 2",
                                 "OMX UTC 005-04: OMX_GetParameter port data format: FAIL: 80001005, 2",
                                 "OMX UTC 005-05: OMX_GetParameter profile level: FAIL: 8000101a, 2",
                                 "OMX UTC 005-06: OMX_GetParameter error correction: FAIL: 80001019, 2"},
                                0},
                      FaultCase{"GetParameterTimeouts",
                                "OMX UTC 005: omx_get_parameter_test",
                                "UTC 005",
                                "* GetParameter delay 20000\n",
                                {"OMX UTC 005-01: OMX_GetParameter port definition: timeout FAIL: 2, T",
                                 "OMX UTC 005-01: OMX_GetParameter port definition: timeout FAIL: 2, T",
                                 "OMX UTC 005-02: OMX_GetParameter component role: timeout FAIL: 2, T",
                                 "OMX UTC 005-04: OMX_GetParameter port data format: timeout FAIL: 2, T",
                                 "OMX UTC 005-05: OMX_GetParameter profile level: timeout FAIL: 2, T",
                                 "OMX UTC 005-06: OMX_GetParameter error correction: timeout FAIL: 2, T"},
                                20000},
                      FaultCase{"FailingAndSlowCallPrintsBothLinesFailFirst",
                                "OMX UTC 005: omx_get_parameter_test",
                                "UTC 005",
                                "* GetParameter:VideoErrorCorrection delay 20000\n"
                                "* GetParameter:VideoErrorCorrection error 0x80001001\n",
                                {"OMX UTC 005-06: OMX_GetParameter error correction: FAIL: 80001001, 2",
                                 "OMX UTC 005-06: OMX_GetParameter error correction: timeout FAIL: 2, T"},
                                20000},
                      FaultCase{"SetParameterErrors",
                                "OMX UTC 006: omx_set_parameter_test",
                                "UTC 006",
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
                      FaultCase{"SetParameterTimeouts",
                                "OMX UTC 006: omx_set_parameter_test",
                                "UTC 006",
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
        FaultCase{"GetConfigError",
                  "OMX UTC 007: omx_get_config_test",
                  "UTC 007",
                  "* GetConfig:CommonScale error 0x80001001\n",
                  {"OMX UTC 007-02: OMX_GetConfig scale factor: FAIL: 80001001, 2"},
                  0},
        FaultCase{"GetConfigTimeout",
                  "OMX UTC 007: omx_get_config_test",
                  "UTC 007",
                  "* GetConfig:CommonScale delay 5000\n",
                  {"OMX UTC 007-02: OMX_GetConfig scale factor: timeout FAIL: 2, T"},
                  5000},
        FaultCase{"SetConfigUnknownVendorIndex",
                  "OMX UTC 008: omx_set_config_test",
                  "UTC 008",
                  "* SetConfig:VendorThumbnailMode error 0x8000101A\n",
                  {"OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode: FAIL: 8000101a, 2"},
                  0},
        FaultCase{"SetConfigTimeout",
                  "OMX UTC 008: omx_set_config_test",
                  "UTC 008",
                  "* SetConfig delay 5000\n",
                  {"OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode: timeout FAIL: 2, T"},
                  5000},
        FaultCase{"ExtensionUnknown",
                  "OMX UTC 009: omx_get_extension_index_test",
                  "UTC 009",
                  "* GetExtensionIndex error 0x8000101A\n",
                  {"OMX UTC 009-01: OMX_GetExtensionIndex test: OMX.ZYN.index.ThumbnailMode: FAIL: 8000101a, 2"},
                  0},
        FaultCase{"ExtensionTimeout",
                  "OMX UTC 009: omx_get_extension_index_test",
                  "UTC 009",
                  "* GetExtensionIndex delay 5000\n",
                  {"OMX UTC 009-01: OMX_GetExtensionIndex test: OMX.ZYN.index.ThumbnailMode: timeout FAIL: 2, T"},
                  5000}),
    fault_name);

constexpr const char *k004 = "OMX UTC 004: omx_component_state_test";
constexpr const char *k002 = "OMX UTC 002: omx_buffer_test";
constexpr const char *k003 = "OMX UTC 003: omx_port_test";
constexpr int kWaitUs = 300000; // OMX_TEST_WAIT_MS of the harness, in microseconds

// UTC 004: state cycle, 20 ms budget; state lines carry the state found.
INSTANTIATE_TEST_SUITE_P(
    StateCycle, CasesAgainstReferenceCore,
    ::testing::Values(FaultCase{"PortQueryError",
                                k004,
                                "UTC 004",
                                kNoBuffers + "* GetParameter:PortDefinition:0 error 0x80001001 times 1\n",
                                {"OMX UTC 004: omx_component_state_test: OMX_GetParameter: FAIL: 80001001, 2"},
                                0},
                      FaultCase{"GetStateError",
                                k004,
                                "UTC 004",
                                "* GetState error 0x80001001 times 1\n",
                                {"OMX UTC 004-01: OMX_GetState: FAIL: 80001001, 2"},
                                0},
                      FaultCase{"GetStateTimeout",
                                k004,
                                "UTC 004",
                                "* GetState delay 20000 times 1\n",
                                {"OMX UTC 004-01: OMX_GetState: timeout FAIL: 2, T"},
                                20000},
                      // A refused Idle command is not waited for; Loaded to Executing is then
                      // refused by an error event, and the state lines show Loaded (1).
                      FaultCase{"IdleRefused",
                                k004,
                                "UTC 004",
                                kNoBuffers + "* SendCommand:StateSet:Idle error 0x80001001 times 1\n",
                                {"OMX UTC 004-02: OMX Component state transaction: OMX_StateIdle: FAIL: 80001001, 2",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateIdle: FAIL: 1, 2",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateExecuting: FAIL: 1, 2"},
                                0},
                      FaultCase{"IdleTimeout",
                                k004,
                                "UTC 004",
                                "* SendCommand:StateSet:Idle delay 20000 times 1\n",
                                {"OMX UTC 004-02: OMX Component state transaction: OMX_StateIdle: timeout FAIL: 2, T"},
                                20000},
                      // The error event satisfies the wait; the state line shows the state found.
                      FaultCase{"IdleAnsweredWithErrorEvent",
                                k004,
                                "UTC 004",
                                kNoBuffers + "* SendCommand:StateSet:Idle event_error 0x80001001 times 1\n",
                                {"OMX UTC 004-02: OMX Component state transaction OMX_StateIdle: FAIL: 1, 2",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateExecuting: FAIL: 1, 2"},
                                0},
                      FaultCase{"ExecutingRefused",
                                k004,
                                "UTC 004",
                                "* SendCommand:StateSet:Executing error 0x80001001\n",
                                {"OMX UTC 004-02: OMX Component state transaction: FAIL: 80001001, 2",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateExecuting: FAIL: 2, 2"},
                                0},
                      FaultCase{"ExecutingTimeout",
                                k004,
                                "UTC 004",
                                "* SendCommand:StateSet:Executing delay 20000\n",
                                {"OMX UTC 004-02: OMX Component state transaction: timeout FAIL: 2, T"},
                                20000},
                      // A completion that never comes inside a timed span: the case's own timeout line, once.
                      FaultCase{"ExecutingNeverCompletes",
                                k004,
                                "UTC 004",
                                "* SendCommand:StateSet:Executing silent\n",
                                {"OMX UTC 004-02: OMX Component state transaction: timeout FAIL: 2, T"},
                                kWaitUs},
                      FaultCase{"SecondIdleRefused",
                                k004,
                                "UTC 004",
                                "* SendCommand:StateSet:Idle error 0x80001001 after 1\n",
                                {"OMX UTC 004-02: OMX Component state transaction: FAIL: 80001001, 2",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateIdle: FAIL: 3, 2",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateLoaded: FAIL: 3, 2"},
                                0},
                      FaultCase{"LoadedRefused",
                                k004,
                                "UTC 004",
                                "* SendCommand:StateSet:Loaded error 0x80001001\n",
                                {"OMX UTC 004-02: OMX Component state transaction: FAIL: 80001001, 2",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateLoaded: FAIL: 2, 2"},
                                0},
                      FaultCase{"LoadedTimeout",
                                k004,
                                "UTC 004",
                                "* SendCommand:StateSet:Loaded delay 20000\n",
                                {"OMX UTC 004-02: OMX Component state transaction: timeout FAIL: 2, T"},
                                20000},
                      // An untimed wait that expires prints one line naming what it waited for.
                      FaultCase{"IdleNeverCompletes",
                                k004,
                                "UTC 004",
                                "* SendCommand:StateSet:Idle silent times 1\n",
                                {"wait for OMX UTC 004: OMX_StateIdle: timeout FAIL: 300 ms"},
                                0},
                      FaultCase{"FreeBufferRefused",
                                k004,
                                "UTC 004",
                                "* FreeBuffer:0 error 0x80001001 times 1\n* FreeBuffer:1 error 0x80001005 times 1\n",
                                {"OMX UTC 004: OMX_FreeBuffer(usebuffer): FAIL: 80001001, 2",
                                 "OMX UTC 004: OMX_FreeBuffer(allocatebuffer): FAIL: 80001005, 2",
                                 "wait for OMX UTC 004: OMX_StateLoaded: timeout FAIL: 300 ms",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateLoaded: FAIL: 2, 2"},
                                0},
                      // A refused buffer keeps Idle from completing; every later wait is bounded.
                      FaultCase{"UseBufferRefused",
                                k004,
                                "UTC 004",
                                "* UseBuffer:0 error 0x80001001 times 1\n",
                                {"OMX UTC 004: OMX_UseBuffer: FAIL: 80001001, 2",
                                 "wait for OMX UTC 004: OMX_StateIdle: timeout FAIL: 300 ms",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateIdle: FAIL: 1, 2",
                                 "OMX UTC 004-02: OMX Component state transaction: timeout FAIL: 2, T",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateExecuting: FAIL: 1, 2",
                                 "OMX UTC 004-02: OMX Component state transaction: timeout FAIL: 2, T",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateIdle: FAIL: 1, 2",
                                 "wait for OMX UTC 004: OMX_StateLoaded: timeout FAIL: 300 ms"},
                                kWaitUs},
                      FaultCase{"AllocateBufferRefused",
                                k004,
                                "UTC 004",
                                kNoBuffers + "* min_buffers 1 1\n" + "* AllocateBuffer:1 error 0x80001001 times 1\n",
                                {"OMX UTC 004: OMX_AllocateBuffer: FAIL: 80001001, 2",
                                 "wait for OMX UTC 004: OMX_StateIdle: timeout FAIL: 300 ms",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateIdle: FAIL: 1, 2",
                                 "OMX UTC 004-02: OMX Component state transaction: timeout FAIL: 2, T",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateExecuting: FAIL: 1, 2",
                                 "OMX UTC 004-02: OMX Component state transaction: timeout FAIL: 2, T",
                                 "OMX UTC 004-02: OMX Component state transaction OMX_StateIdle: FAIL: 1, 2",
                                 "wait for OMX UTC 004: OMX_StateLoaded: timeout FAIL: 300 ms"},
                                kWaitUs},
                      // Minimum counts of 0: the whole cycle without a buffer call, so the
                      // buffer faults below never fire.
                      FaultCase{"ZeroMinimumsMakeNoBufferCall",
                                k004,
                                "UTC 004",
                                kNoBuffers + "* UseBuffer error 0x80001001\n* AllocateBuffer error 0x80001001\n"
                                             "* FreeBuffer error 0x80001001\n",
                                {},
                                0},
                      FaultCase{"CountsBeyondTheSlotsAreRefused",
                                k004,
                                "UTC 004",
                                "* min_buffers 0 6\n* UseBuffer error 0x80001001\n* SendCommand error 0x80001001\n",
                                {"OMX UTC 004: buffer count FAIL: input 6 (at most 5), output 3 (at most 3), 2"},
                                0}),
    fault_name);

// UTC 002: buffer calls; UseBuffer and FreeBuffer 20 ms, the others 5 ms.
INSTANTIATE_TEST_SUITE_P(
    Buffers, CasesAgainstReferenceCore,
    ::testing::Values(FaultCase{"GetStateError",
                                k002,
                                "UTC 002",
                                "* GetState error 0x80001001\n",
                                {"OMX UTC 002: OMX_GetState: err=80001001, state=0"},
                                0},
                      FaultCase{"IdleRefused",
                                k002,
                                "UTC 002",
                                kNoBuffers + "* SendCommand:StateSet:Idle error 0x80001001 times 1\n",
                                {"OMX UTC 002: OMX_SendCommand: OMX_StateIdle err=80001001"},
                                0},
                      // A refused buffer keeps Idle from completing; the Loaded command queues behind it.
                      FaultCase{"FirstUseBufferRefused",
                                k002,
                                "UTC 002",
                                "* UseBuffer:0 error 0x80001001 times 1\n",
                                {"OMX UTC 002-01: OMX_UseBuffer: FAIL: 80001001, 2",
                                 "wait for OMX UTC 002: OMX_StateIdle: timeout FAIL: 300 ms",
                                 "OMX UTC 002-05: OMX_FillThisBuffer: FAIL : 80001018",
                                 "wait for OMX UTC 002: OMX_StateLoaded: timeout FAIL: 300 ms"},
                                0},
                      // Two input buffers, the second refused: 002-06, not 002-01.
                      FaultCase{"SecondUseBufferRefused",
                                k002,
                                "UTC 002",
                                "* min_buffers 0 2\n* UseBuffer:0 error 0x80001001 after 1 times 1\n",
                                {"OMX UTC 002-06: OMX multiple buffer: FAIL: 80001001, 2",
                                 "wait for OMX UTC 002: OMX_StateIdle: timeout FAIL: 300 ms",
                                 "OMX UTC 002-04: OMX_EmptyThisBuffer: FAIL : 80001018",
                                 "OMX UTC 002-05: OMX_FillThisBuffer: FAIL : 80001018",
                                 "wait for OMX UTC 002: OMX_StateLoaded: timeout FAIL: 300 ms"},
                                0},
                      FaultCase{
                          "AllocateBufferRefused",
                          k002,
                          "UTC 002",
                          "* AllocateBuffer:1 error 0x80001001 times 1\n* AllocateBuffer:1 error 0x80001005 after 2\n",
                          {"OMX UTC 002-02: OMX_AllocateBuffer: FAIL: 80001001, 2",
                           "OMX UTC 002-06: OMX multiple buffer: FAIL: 80001005, 2",
                           "wait for OMX UTC 002: OMX_StateIdle: timeout FAIL: 300 ms",
                           "OMX UTC 002-04: OMX_EmptyThisBuffer: FAIL : 80001018",
                           "wait for OMX UTC 002: OMX_StateLoaded: timeout FAIL: 300 ms"},
                          0},
                      // 6 ms is over the 5 ms budget of AllocateBuffer, well under the 20 ms of UseBuffer.
                      FaultCase{"AllocateBudgetIsFiveUseBudgetIsTwenty",
                                k002,
                                "UTC 002",
                                "* UseBuffer delay 6000\n* AllocateBuffer delay 6000\n",
                                {"OMX UTC 002-02: OMX_AllocateBuffer: timeout FAIL: 2, T",
                                 "OMX UTC 002-02: OMX_AllocateBuffer: timeout FAIL: 2, T",
                                 "OMX UTC 002-02: OMX_AllocateBuffer: timeout FAIL: 2, T"},
                                6000},
                      FaultCase{"UseBufferTimeout",
                                k002,
                                "UTC 002",
                                "* UseBuffer delay 20000 times 1\n",
                                {"OMX UTC 002-01: OMX_UseBuffer: timeout FAIL: 2, T"},
                                20000},
                      // Their FAIL lines carry the error only; their timeout lines both numbers.
                      FaultCase{"EmptyAndFillRefused",
                                k002,
                                "UTC 002",
                                "* EmptyThisBuffer error 0x80001001\n* FillThisBuffer error 0x80001005\n",
                                {"OMX UTC 002-04: OMX_EmptyThisBuffer: FAIL : 80001001",
                                 "OMX UTC 002-05: OMX_FillThisBuffer: FAIL : 80001005"},
                                0},
                      FaultCase{"EmptyAndFillTimeouts",
                                k002,
                                "UTC 002",
                                "* EmptyThisBuffer delay 5000\n* FillThisBuffer delay 5000\n",
                                {"OMX UTC 002-04: OMX_EmptyThisBuffer: timeout FAIL: 2, T",
                                 "OMX UTC 002-05: OMX_FillThisBuffer: timeout FAIL: 2, T"},
                                5000},
                      FaultCase{"LoadedRefused",
                                k002,
                                "UTC 002",
                                "* SendCommand:StateSet:Loaded error 0x80001001\n",
                                {"OMX UTC 002: OMX_SendCommand: OMX_StateLoaded err=80001001"},
                                0},
                      // The Loaded transition stays open, but the input buffer held since
                      // 002-04 comes back when it starts, and that post ends the one wait.
                      FaultCase{"FreeBufferRefused",
                                k002,
                                "UTC 002",
                                "* FreeBuffer:0 error 0x80001001 times 1\n* FreeBuffer:1 error 0x80001005 times 1\n",
                                {"OMX UTC 002-03: OMX_FreeBuffer(usebuffer): FAIL: 80001001, 2",
                                 "OMX UTC 002-03: OMX_FreeBuffer(allocatebuffer): FAIL: 80001005, 2"},
                                0},
                      FaultCase{"FreeBufferTimeouts",
                                k002,
                                "UTC 002",
                                "* FreeBuffer:0 delay 20000 times 1\n* FreeBuffer:1 delay 20000 times 1\n",
                                {"OMX UTC 002-03: OMX_FreeBuffer(usebuffer): timeout FAIL: 2, T",
                                 "OMX UTC 002-03: OMX_FreeBuffer(allocatebuffer): timeout FAIL: 2, T"},
                                20000}),
    fault_name);

// UTC 003: port commands, 5 ms budget including their completion.
INSTANTIATE_TEST_SUITE_P(
    Ports, CasesAgainstReferenceCore,
    ::testing::Values(FaultCase{"GetStateError",
                                k003,
                                "UTC 003",
                                "* GetState error 0x80001001\n",
                                {"OMX UTC 003: OMX_GetState: err=80001001, state=0"},
                                0},
                      FaultCase{"IdleRefused",
                                k003,
                                "UTC 003",
                                kNoBuffers + "* SendCommand:StateSet:Idle error 0x80001001 times 1\n",
                                {"OMX UTC 003: OMX_SendCommand: OMX_StateIdle err=80001001"},
                                0},
                      // Loaded refused: the ports stay Idle without buffers, so enabling them never completes.
                      FaultCase{"LoadedRefused",
                                k003,
                                "UTC 003",
                                "* SendCommand:StateSet:Loaded error 0x80001001\n",
                                {"OMX UTC 003: OMX_SendCommand: OMX_StateLoaded err=80001001",
                                 "OMX UTC 003-02: OMX port enable(in): timeout FAIL: 2, T",
                                 "OMX UTC 003-02: OMX port enable(out): timeout FAIL: 2, T"},
                                kWaitUs},
                      FaultCase{"BufferCallsRefused",
                                k003,
                                "UTC 003",
                                kNoBuffers +
                                    "* min_buffers 0 1\n* min_buffers 1 1\n* UseBuffer:0 error 0x80001001 times 1\n"
                                    "* AllocateBuffer:1 error 0x80001005 times 1\n",
                                {"OMX UTC 003: OMX_UseBuffer: FAIL: 80001001, 2",
                                 "OMX UTC 003: OMX_AllocateBuffer: FAIL: 80001005, 2",
                                 "wait for OMX UTC 003: OMX_StateIdle: timeout FAIL: 300 ms",
                                 "wait for OMX UTC 003: OMX_StateExecuting: timeout FAIL: 300 ms",
                                 "OMX UTC 003-03: OMX port flush(in): timeout FAIL: 2, T",
                                 "OMX UTC 003-03: OMX port flush(out): timeout FAIL: 2, T",
                                 "wait for OMX UTC 003: OMX_StateIdle: timeout FAIL: 300 ms",
                                 "wait for OMX UTC 003: OMX_StateLoaded: timeout FAIL: 300 ms",
                                 "OMX UTC 003-01: OMX port disable(in): timeout FAIL: 2, T",
                                 "OMX UTC 003-01: OMX port disable(out): timeout FAIL: 2, T",
                                 "OMX UTC 003-02: OMX port enable(in): timeout FAIL: 2, T",
                                 "OMX UTC 003-02: OMX port enable(out): timeout FAIL: 2, T"},
                                kWaitUs},
                      FaultCase{"FreeBufferRefused",
                                k003,
                                "UTC 003",
                                "* FreeBuffer:0 error 0x80001001 times 1\n* FreeBuffer:1 error 0x80001005 times 1\n",
                                {"OMX UTC 003: OMX_FreeBuffer(usebuffer): FAIL: 80001001, 2",
                                 "OMX UTC 003: OMX_FreeBuffer(allocatebuffer): FAIL: 80001005, 2",
                                 "wait for OMX UTC 003: OMX_StateLoaded: timeout FAIL: 300 ms",
                                 "OMX UTC 003-01: OMX port disable(in): timeout FAIL: 2, T",
                                 "OMX UTC 003-01: OMX port disable(out): timeout FAIL: 2, T",
                                 "OMX UTC 003-02: OMX port enable(in): timeout FAIL: 2, T",
                                 "OMX UTC 003-02: OMX port enable(out): timeout FAIL: 2, T"},
                                kWaitUs},
                      FaultCase{"EveryPortCommandRefused",
                                k003,
                                "UTC 003",
                                "* SendCommand:Flush error 0x80001001\n* SendCommand:PortDisable error 0x80001005\n"
                                "* SendCommand:PortEnable error 0x80001019\n",
                                {"OMX UTC 003-03: OMX port flush(in): FAIL: 80001001, 2",
                                 "OMX UTC 003-03: OMX port flush(out): FAIL: 80001001, 2",
                                 "OMX UTC 003-01: OMX port disable(in): FAIL: 80001005, 2",
                                 "OMX UTC 003-01: OMX port disable(out): FAIL: 80001005, 2",
                                 "OMX UTC 003-02: OMX port enable(in): FAIL: 80001019, 2",
                                 "OMX UTC 003-02: OMX port enable(out): FAIL: 80001019, 2",
                                 "OMX UTC 003-04: OMX input port, output port: FAIL: 2"},
                                0},
                      FaultCase{"OneFlushRefusedGivesTheSummaryLine",
                                k003,
                                "UTC 003",
                                "* SendCommand:Flush:1 error 0x80001001\n",
                                {"OMX UTC 003-03: OMX port flush(out): FAIL: 80001001, 2",
                                 "OMX UTC 003-04: OMX input port, output port: FAIL: 2"},
                                0},
                      // Slow but successful: timeout lines only, no summary line.
                      FaultCase{"SlowPortCommandsGiveNoSummaryLine",
                                k003,
                                "UTC 003",
                                "* SendCommand:Flush delay 5000\n* SendCommand:PortDisable delay 5000\n"
                                "* SendCommand:PortEnable delay 5000\n",
                                {"OMX UTC 003-03: OMX port flush(in): timeout FAIL: 2, T",
                                 "OMX UTC 003-03: OMX port flush(out): timeout FAIL: 2, T",
                                 "OMX UTC 003-01: OMX port disable(in): timeout FAIL: 2, T",
                                 "OMX UTC 003-01: OMX port disable(out): timeout FAIL: 2, T",
                                 "OMX UTC 003-02: OMX port enable(in): timeout FAIL: 2, T",
                                 "OMX UTC 003-02: OMX port enable(out): timeout FAIL: 2, T"},
                                5000},
                      FaultCase{"FlushNeverCompletes",
                                k003,
                                "UTC 003",
                                "* SendCommand:Flush:0 silent\n",
                                {"OMX UTC 003-03: OMX port flush(in): timeout FAIL: 2, T"},
                                kWaitUs},
                      // An error event is a completion, not a refused command: nothing counted.
                      FaultCase{"EnableAnsweredWithErrorEvent",
                                k003,
                                "UTC 003",
                                "* SendCommand:PortEnable:1 event_error 0x80001001\n",
                                {},
                                0}),
    fault_name);

constexpr const char *kEncoder = "OMX.ZYN.AVC.Encoder"; // component kind 1
constexpr const char *kEncode = "output: ";

// The encoding pass through the runner: one list entry, input colour format
// YUV420SemiPlanar, component kind 1.
INSTANTIATE_TEST_SUITE_P(
    Encoding, CasesAgainstReferenceCore,
    ::testing::Values(
        FaultCase{"CleanPass", kEncode, "encode 1", "", {}, 0, kEncoder},
        FaultCase{
            "PortQueriesRefused",
            kEncode,
            "encode 1",
            "* GetParameter:PortDefinition:0 error 0x80001001\n* GetParameter:PortDefinition:1 error 0x80001019\n"
            "* SetParameter:PortDefinition:0 error 0x80001005\n* SetParameter:PortDefinition:1 error 0x8000101A\n",
            {"omx_encoding_test: OMX_GetParameter: OMX_IndexParamPortDefinition: FAIL: 80001001, 1",
             "omx_encoding_test: OMX_SetParameter: OMX_IndexParamPortDefinition: FAIL: 80001005, 1",
             "omx_encoding_test: OMX_GetParameter: FAIL: 80001019, 1",
             "omx_encoding_test: OMX_SetParameter: OMX_IndexParamPortDefinition: FAIL: 8000101a, 1",
             // Both minimums unknown: no buffers, so Idle never comes.
             "wait for omx_encoding_test: OMX_StateIdle: timeout FAIL: 300 ms",
             "omx_encoding_test: OMX_GetState: OMX_StateIdle: FAIL: 1, 1",
             "wait for omx_encoding_test: OMX_StateExecuting: timeout FAIL: 300 ms",
             "omx_encoding_test: OMX_GetState: OMX_StateExecuting: FAIL: 1, 1",
             "wait for omx_encoding_test: OMX_CommandFlush inport: timeout FAIL: 300 ms",
             "wait for omx_encoding_test: OMX_CommandFlush outport: timeout FAIL: 300 ms",
             "wait for omx_encoding_test: OMX_StateIdle: timeout FAIL: 300 ms",
             "omx_encoding_test:  OMX_GetState: OMX_StateIdle: FAIL: 1, 1",
             "wait for omx_encoding_test: OMX_StateLoaded: timeout FAIL: 300 ms"},
            0,
            kEncoder},
        FaultCase{"IdleRefused",
                  kEncode,
                  "encode 1",
                  "* SendCommand:StateSet:Idle error 0x80001001 times 1\n",
                  {"omx_encoding_test: OMX_SendCommand: FAIL: 80001001, 1",
                   "omx_encoding_test: OMX_UseBuffer: FAIL: 80001018, 1",
                   "omx_encoding_test: OMX_UseBuffer: FAIL: 80001018, 1",
                   "omx_encoding_test: OMX_UseBuffer: FAIL: 80001018, 1",
                   "omx_encoding_test: OMX_AllocateBuffer: FAIL: 80001018, 1",
                   "omx_encoding_test: OMX_AllocateBuffer: FAIL: 80001018, 1",
                   "omx_encoding_test: OMX_AllocateBuffer: FAIL: 80001018, 1",
                   "omx_encoding_test: OMX_GetState: OMX_StateIdle: FAIL: 1, 1",
                   "omx_encoding_test: OMX_GetState: OMX_StateExecuting: FAIL: 1, 1",
                   "wait for omx_encoding_test: OMX_StateIdle: timeout FAIL: 300 ms",
                   "omx_encoding_test:  OMX_GetState: OMX_StateIdle: FAIL: 1, 1",
                   "wait for omx_encoding_test: OMX_StateLoaded: timeout FAIL: 300 ms"},
                  0,
                  kEncoder},
        // A refused output buffer: its slot is never handed on, and the pictures
        // queued while Idle never completes are refused by the Loaded component.
        FaultCase{"OutputUseBufferRefused",
                  kEncode,
                  "encode 1",
                  "* UseBuffer:1 error 0x80001005 times 1\n",
                  {"omx_encoding_test: OMX_AllocateBuffer: FAIL: 80001005, 1",
                   "wait for omx_encoding_test: OMX_StateIdle: timeout FAIL: 300 ms",
                   "omx_encoding_test: OMX_GetState: OMX_StateIdle: FAIL: 1, 1",
                   "wait for omx_encoding_test: OMX_StateExecuting: timeout FAIL: 300 ms",
                   "omx_encoding_test: OMX_GetState: OMX_StateExecuting: FAIL: 1, 1",
                   "wait for omx_encoding_test: OMX_CommandFlush inport: timeout FAIL: 300 ms",
                   "wait for omx_encoding_test: OMX_CommandFlush outport: timeout FAIL: 300 ms",
                   "OMX_EmptyThisBuffer() return Error : 80001018", "OMX_EmptyThisBuffer() return Error : 80001018",
                   "OMX_EmptyThisBuffer() return Error : 80001018", "OMX_FillThisBuffer() return Error : 80001018",
                   "OMX_FillThisBuffer() return Error : 80001018",
                   "wait for omx_encoding_test: OMX_StateIdle: timeout FAIL: 300 ms",
                   "omx_encoding_test:  OMX_GetState: OMX_StateIdle: FAIL: 1, 1",
                   "wait for omx_encoding_test: OMX_StateLoaded: timeout FAIL: 300 ms"},
                  0,
                  kEncoder},
        FaultCase{"FlushesRefused",
                  kEncode,
                  "encode 1",
                  "* SendCommand:Flush:0 error 0x80001001\n* SendCommand:Flush:1 error 0x80001005\n",
                  {"omx_encoding_test: OMX_SetParameter(OMX_CommandFlush,inport) return Error : 80001001",
                   "omx_encoding_test: OMX_SetParameter(OMX_CommandFlush,outport) return Error : 80001005"},
                  0,
                  kEncoder},
        FaultCase{"BufferPassingRefused",
                  kEncode,
                  "encode 1",
                  "* EmptyThisBuffer error 0x80001001 times 1\n* FillThisBuffer error 0x80001005 times 1\n",
                  {"OMX_EmptyThisBuffer() return Error : 80001001", "OMX_FillThisBuffer() return Error : 80001005"},
                  0,
                  kEncoder},
        FaultCase{"ClosingIdleRefused",
                  kEncode,
                  "encode 1",
                  "* SendCommand:StateSet:Idle error 0x80001001 after 1\n",
                  {"omx_encoding_test: OMX_SendCommand: OMX_StateIdle: FAIL: 80001001, 1",
                   "omx_encoding_test:  OMX_GetState: OMX_StateIdle: FAIL: 3, 1",
                   "omx_encoding_test: OMX_GetState: OMX_StateLoaded: FAIL: 3, 1"},
                  0,
                  kEncoder},
        FaultCase{"LoadedRefused",
                  kEncode,
                  "encode 1",
                  "* SendCommand:StateSet:Loaded error 0x80001001\n",
                  {"omx_encoding_test: OMX_SendCommand: OMX_StateLoaded: FAIL: 80001001, 1",
                   "omx_encoding_test: OMX_GetState: OMX_StateLoaded: FAIL: 2, 1"},
                  0,
                  kEncoder},
        FaultCase{"FreeBufferRefused",
                  kEncode,
                  "encode 1",
                  "* FreeBuffer:0 error 0x80001001 times 1\n* FreeBuffer:1 error 0x80001005 times 1\n",
                  {"omx_encoding_test: OMX_FreeBuffer(usebuffer): FAIL: 80001001, 1",
                   "omx_encoding_test: OMX_FreeBuffer(allocatebuffer): FAIL: 80001005, 1",
                   "wait for omx_encoding_test: OMX_StateLoaded: timeout FAIL: 300 ms",
                   "omx_encoding_test: OMX_GetState: OMX_StateLoaded: FAIL: 2, 1"},
                  0,
                  kEncoder},
        // One picture never comes back: one line for it, the others are counted off.
        FaultCase{"InputNeverReturned",
                  kEncode,
                  "encode 1",
                  "* EmptyThisBuffer silent times 1\n",
                  {"wait for omx_encoding_test: EmptyBufferDone: timeout FAIL: 300 ms"},
                  0,
                  kEncoder}),
    fault_name);

// The stats line the reference core writes for the last handle it freed.
std::string last_stats_line(const TempDir &dir)
{
    const std::string text = cases_harness::read_file(dir.file("stats.txt"));
    const size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos)
        return "";
    const size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
}

// The "md5 NAME N HEX WxH" lines of the stats file, as their HEX fields in order.
std::vector<std::string> md5_fields(const TempDir &dir)
{
    std::vector<std::string> found;
    const std::regex md5_line(R"(^md5 \S+ \d+ ([0-9a-f]{32}) \d+x\d+$)");
    std::smatch m;
    const std::string text = cases_harness::read_file(dir.file("stats.txt"));
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        if (std::regex_match(line, m, md5_line))
            found.push_back(m[1]);
        pos = end + 1;
    }
    return found;
}

// MD5 of a file's bytes from offset for length, through the md5sum program.
std::string md5_of(const TempDir &dir, const std::string &file, size_t offset, size_t length)
{
    const std::string bytes = cases_harness::read_file(dir.file(file)).substr(offset, length);
    dir.write("md5_part.bin", bytes);
    FILE *p = popen(("md5sum " + dir.file("md5_part.bin")).c_str(), "r");
    if (!p)
        return "";
    char hex[33] = {};
    const size_t n = fread(hex, 1, 32, p);
    pclose(p);
    return std::string(hex, n);
}

class EncodingThroughRunner : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!cases_harness::reference_core_built())
            GTEST_SKIP() << "reference core or omx_cases not built";
    }
};

// The MPEG-4 encoder: its codec is part of every FFmpeg build.
TEST_F(EncodingThroughRunner, EncoderReceivesAndEncodesOnePicturePerInputBuffer)
{
    TempDir dir;
    write_encoder_list(dir, 4 * 38016);
    dir.write("mpeg4enc_list.txt", cases_harness::read_file(dir.file("avcenc_list.txt")));
    const RunResult r = cases_harness::run_omx_cases(
        dir, {"OMX.ZYN.MPEG4.Encoder"}, "", {{"ZYN_OMX_STATS", dir.file("stats.txt")}, {"ZYN_OMX_STATS_MD5", "1"}});
    ASSERT_EQ(r.exit_status, 0) << r.out;
    EXPECT_TRUE(r.has_line("I/P port format 21 ")) << r.out;
    EXPECT_TRUE(r.has_line("O/P port format 21 ")) << r.out;
    EXPECT_TRUE(r.has_line("Enc pictures read 3, submitted 3 ")) << r.out;
    EXPECT_TRUE(case_lines(r, kEncode).lines.empty()) << r.out;
    // Three whole semi-planar pictures reached the encoder and were encoded.
    EXPECT_EQ(last_stats_line(dir).rfind("stats OMX.ZYN.MPEG4.Encoder inputs=3 pictures=3 errors=0", 0), 0u)
        << last_stats_line(dir);
    // The encoder turns each semi-planar picture it received back into planes and hashes them:
    // equal to the file's planar pictures only when every chroma pair went where it belongs
    // (Cb sample k at byte 25344 + 2k, Cr sample k at 25344 + 2k + 1, so samples 10 at 25364/25365).
    const std::vector<std::string> received = md5_fields(dir);
    ASSERT_EQ(received.size(), 3u) << cases_harness::read_file(dir.file("stats.txt"));
    for (size_t k = 0; k < 3; k++)
        EXPECT_EQ(received[k], md5_of(dir, "in.yuv", k * 38016, 38016)) << "picture " << k;
    // The output file is created, and nothing is written into it.
    EXPECT_EQ(access(dir.file("out.264").c_str(), F_OK), 0);
    EXPECT_EQ(cases_harness::read_file(dir.file("out.264")), "");
}

TEST_F(EncodingThroughRunner, ShortInputSubmitsOnlyWholePictures)
{
    TempDir dir;
    write_encoder_list(dir, 38016 + 20000);
    const RunResult r = cases_harness::run_omx_cases(dir, {kEncoder}, "", {{"ZYN_OMX_STATS", dir.file("stats.txt")}});
    ASSERT_EQ(r.exit_status, 0) << r.out;
    const CaseLines found = case_lines(r, kEncode);
    EXPECT_EQ(found.lines,
              std::vector<std::string>{"omx_encoding_test: " + dir.file("in.yuv") +
                                       ": picture 1: short read, 20000 of 38016 bytes, not submitted: Error"})
        << r.out;
    EXPECT_TRUE(r.has_line("Enc pictures read 1, submitted 1 ")) << r.out;
    EXPECT_EQ(last_stats_line(dir).rfind("stats OMX.ZYN.AVC.Encoder inputs=1 ", 0), 0u) << last_stats_line(dir);
}

TEST_F(EncodingThroughRunner, MissingInputFileIsReportedAndNothingSent)
{
    TempDir dir;
    write_encoder_list(dir);
    dir.write("avcenc_list.txt",
              dir.file("nothing.yuv") + " " + dir.file("out.264") + "\n176\n144\n1\n512\n30\nLIST_FILE_END\n");
    const RunResult r = cases_harness::run_omx_cases(dir, {kEncoder}, "* SendCommand error 0x80001001\n");
    ASSERT_EQ(r.exit_status, 0) << r.out;
    // A command would have been refused with a line; there is none.
    const CaseLines found = case_lines(r, kEncode);
    EXPECT_EQ(found.lines, std::vector<std::string>{"fopen(" + dir.file("nothing.yuv") + ") Error"}) << r.out;
    const cases_harness::SummaryRow *row = r.row(kEncoder, "encode 1");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->fail_lines, 1);
}

// The pictures stay queued in Idle when Executing is refused, so the order of
// the later posts is up to the component: only the lines it must print are checked.
TEST_F(EncodingThroughRunner, RefusedExecutingIsReportedAfterItsWait)
{
    TempDir dir;
    write_encoder_list(dir);
    const RunResult r =
        cases_harness::run_omx_cases(dir, {kEncoder}, "* SendCommand:StateSet:Executing error 0x80001001\n");
    ASSERT_EQ(r.exit_status, 0) << r.out;
    const CaseLines found = case_lines(r, kEncode);
    ASSERT_GE(found.lines.size(), 2u) << r.out;
    EXPECT_EQ(found.lines[0], "omx_encoding_test: OMX_SendCommand: OMX_StateExecuting: FAIL: 80001001, 1");
    EXPECT_EQ(found.lines[1], "omx_encoding_test: OMX_GetState: OMX_StateExecuting: FAIL: 2, 1");
}

} // namespace
