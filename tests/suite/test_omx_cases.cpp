// omx_cases against the reference core: fault file -> the failure and timeout lines of cases
// (whole lines, times as T) and the summary rows that count them; the runner's exits and lines.
#include <cctype>
#include <regex>

#include <OMX_Video.h>

#include "test_common.h"

namespace
{

using Lines = std::vector<std::string>;

struct Row {
    const char *label; // the case, as in the summary
    const char *faults;
    Lines expected;
    const char *component = "OMX.ZYN.MPEG4.Decoder"; // kind 2
};

#define NO_BUFFERS "* min_buffers 0 0\n* min_buffers 1 0\n"
#define ENC "OMX.ZYN.AVC.Encoder" // kind 1
#define W(what) "wait for " what ": timeout FAIL: 300 ms"
#define S004 "OMX UTC 004-02: OMX Component state transaction"
#define U2 "OMX UTC 002-0"
#define U3 "OMX UTC 003-0"
#define E "omx_encoding_test: "
#define M ", OMX.ZYN.MPEG4.Decoder"
#define TWICE "unexpected completion of command 0 (2): FAIL" M
#define LATE "unexpected OMX_EventCmdComplete from a handle not under test: FAIL" M
#define SEND_IDLE "OMX_SendCommand(0 2): timeout FAIL: 2, T"
#define NULL_SLOT(call) call ": NULL in the component's function table: FAIL, skipped" M
const std::string kOverrun = "OMX_GetParameter: 8 bytes written past the " +
                             std::to_string(sizeof(OMX_VIDEO_PARAM_PORTFORMATTYPE)) + "-byte record: FAIL" M;

const Row kRows[] = {
    // The untimed reads before the writes of UTC 006 are not reported, however slow.
    {"UTC 005",
     "* GetParameter:PortDefinition:1 error 0x80001001\n* GetParameter:VideoErrorCorrection delay 20000\n"
     "* GetParameter:VideoErrorCorrection error 0x80001019\n* GetParameter:StandardComponentRole delay 20000\n"
     "* GetParameter:VideoPortFormat error 0x80001005\n* GetParameter:VideoProfileLevelQuerySupported error "
     "0x8000101A\n"
     "* SetParameter:PortDefinition error 0x80001001\n* SetParameter:StandardComponentRole delay 20000\n"
     "* SetParameter:VideoPortFormat error 0x80001019\n* SetParameter:VideoErrorCorrection error 0x8000101A\n"
     "* GetConfig:CommonScale error 0x80001001\n* GetConfig:CommonScale delay 5000\n"
     "* SetConfig:VendorThumbnailMode error 0x8000101A\n* SetConfig delay 5000\n"
     "* GetExtensionIndex error 0x8000101A\n* GetExtensionIndex delay 5000\n",
     {"OMX UTC 005-01: OMX_GetParameter port definition: FAIL: 80001001, 2",
      "OMX UTC 005-02: OMX_GetParameter component role: timeout FAIL: 2, T",
      "OMX UTC 005-04: OMX_GetParameter port data format: FAIL: 80001005, 2",
      "OMX UTC 005-05: OMX_GetParameter profile level: FAIL: 8000101a, 2",
      "OMX UTC 005-06: OMX_GetParameter error correction: FAIL: 80001019, 2",
      "OMX UTC 005-06: OMX_GetParameter error correction: timeout FAIL: 2, T",
      "UTC 006",
      "OMX UTC 006-01: OMX_SetParameter port definition: FAIL: 80001001, 2",
      "OMX UTC 006-02: OMX_SetParameter component role: timeout FAIL: 2, T",
      "OMX UTC 006-04: OMX_SetParameter port data format: FAIL: 80001019, 2",
      "OMX UTC 006-05: OMX_SetParameter error correction: FAIL: 8000101a, 2",
      "UTC 007",
      "OMX UTC 007-02: OMX_GetConfig scale factor: FAIL: 80001001, 2",
      "OMX UTC 007-02: OMX_GetConfig scale factor: timeout FAIL: 2, T",
      "UTC 008",
      "OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode: FAIL: 8000101a, 2",
      "OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode: timeout FAIL: 2, T",
      "UTC 009",
      "OMX UTC 009-01: OMX_GetExtensionIndex test: OMX.ZYN.index.ThumbnailMode: FAIL: 8000101a, 2",
      "OMX UTC 009-01: OMX_GetExtensionIndex test: OMX.ZYN.index.ThumbnailMode: timeout FAIL: 2, T"}},
    // Every case on a fresh handle: "times 1" strikes once in each.
    {"UTC 004",
     NO_BUFFERS
     "* GetParameter:PortDefinition:0 error 0x80001001 times 1\n* GetState error 0x80001001 times 1\n"
     "* SendCommand:StateSet:Idle error 0x80001001 times 1\n* SendCommand:StateSet:Loaded error 0x80001001\n",
     {"OMX UTC 004: omx_component_state_test: OMX_GetParameter: FAIL: 80001001, 2",
      "OMX UTC 004-01: OMX_GetState: FAIL: 80001001, 2", S004 ": OMX_StateIdle: FAIL: 80001001, 2",
      S004 " OMX_StateIdle: FAIL: 1, 2", S004 " OMX_StateExecuting: FAIL: 1, 2", S004 ": FAIL: 80001001, 2",
      S004 " OMX_StateLoaded: FAIL: 2, 2", "UTC 002", "OMX UTC 002: OMX_GetState: err=80001001, state=0",
      "OMX UTC 002: OMX_SendCommand: OMX_StateIdle err=80001001",
      "OMX UTC 002: OMX_SendCommand: OMX_StateLoaded err=80001001", "UTC 003",
      "OMX UTC 003: OMX_GetState: err=80001001, state=0", "OMX UTC 003: OMX_SendCommand: OMX_StateIdle err=80001001",
      "OMX UTC 003: OMX_SendCommand: OMX_StateLoaded err=80001001"}},
    {"UTC 004",
     "* FreeBuffer:0 error 0x80001001 times 1\n* FreeBuffer:1 error 0x80001005 times 1\n",
     {"OMX UTC 004: OMX_FreeBuffer(usebuffer): FAIL: 80001001, 2",
      "OMX UTC 004: OMX_FreeBuffer(allocatebuffer): FAIL: 80001005, 2", W("OMX UTC 004: OMX_StateLoaded"),
      S004 " OMX_StateLoaded: FAIL: 2, 2", "UTC 002", U2 "3: OMX_FreeBuffer(usebuffer): FAIL: 80001001, 2",
      U2 "3: OMX_FreeBuffer(allocatebuffer): FAIL: 80001005, 2", "UTC 003",
      "OMX UTC 003: OMX_FreeBuffer(usebuffer): FAIL: 80001001, 2",
      "OMX UTC 003: OMX_FreeBuffer(allocatebuffer): FAIL: 80001005, 2", W("OMX UTC 003: OMX_StateLoaded"),
      U3 "1: OMX port disable(in): timeout FAIL: 2, T", U3 "1: OMX port disable(out): timeout FAIL: 2, T",
      U3 "2: OMX port enable(in): timeout FAIL: 2, T", U3 "2: OMX port enable(out): timeout FAIL: 2, T"}},
    {"UTC 004",
     "* GetState delay 20000 times 1\n* SendCommand:StateSet:Idle delay 20000 times 1\n"
     "* SendCommand:StateSet:Loaded delay 20000\n",
     {"OMX UTC 004-01: OMX_GetState: timeout FAIL: 2, T", S004 ": OMX_StateIdle: timeout FAIL: 2, T",
      S004 ": timeout FAIL: 2, T"}},
    {"UTC 004",
     "* SendCommand:StateSet:Executing error 0x80001001\n",
     {S004 ": FAIL: 80001001, 2", S004 " OMX_StateExecuting: FAIL: 2, 2"}},
    {"UTC 004", "* SendCommand:StateSet:Idle silent times 1\n", {W("OMX UTC 004: OMX_StateIdle")}},
    // A completion that never comes inside a timed span: the case's own timeout line, once.
    {"UTC 004", "* SendCommand:StateSet:Executing silent\n", {S004 ": timeout FAIL: 2, T"}},
    {"UTC 004",
     "* SendCommand:StateSet:Idle error 0x80001001 after 1\n",
     {S004 ": FAIL: 80001001, 2", S004 " OMX_StateIdle: FAIL: 3, 2", S004 " OMX_StateLoaded: FAIL: 3, 2"}},
    // Two input buffers, the second refused: 002-06, not 002-01.
    {"UTC 002",
     "* min_buffers 0 2\n* UseBuffer:0 error 0x80001001 after 1 times 1\n",
     {U2 "6: OMX multiple buffer: FAIL: 80001001, 2", W("OMX UTC 002: OMX_StateIdle"),
      U2 "4: OMX_EmptyThisBuffer: FAIL : 80001018", U2 "5: OMX_FillThisBuffer: FAIL : 80001018",
      W("OMX UTC 002: OMX_StateLoaded")}},
    {"UTC 002",
     "* AllocateBuffer:1 error 0x80001001 times 1\n* AllocateBuffer:1 error 0x80001005 after 2\n",
     {U2 "2: OMX_AllocateBuffer: FAIL: 80001001, 2", U2 "6: OMX multiple buffer: FAIL: 80001005, 2",
      W("OMX UTC 002: OMX_StateIdle"), U2 "4: OMX_EmptyThisBuffer: FAIL : 80001018",
      W("OMX UTC 002: OMX_StateLoaded")}},
    // 6 ms is over the 5 ms budget of AllocateBuffer, well under the 20 ms of UseBuffer.
    {"UTC 002",
     "* UseBuffer delay 6000\n* AllocateBuffer delay 6000\n* FreeBuffer:1 delay 20000 times 1\n",
     {U2 "2: OMX_AllocateBuffer: timeout FAIL: 2, T", U2 "2: OMX_AllocateBuffer: timeout FAIL: 2, T",
      U2 "2: OMX_AllocateBuffer: timeout FAIL: 2, T", U2 "3: OMX_FreeBuffer(allocatebuffer): timeout FAIL: 2, T"}},
    // A command send no case times costs a line of ours.
    {"UTC 002", "* SendCommand:StateSet:Idle delay 30000\n", {SEND_IDLE, "UTC 003", SEND_IDLE, SEND_IDLE}},
    {"UTC 002",
     "* UseBuffer delay 20000 times 1\n* EmptyThisBuffer error 0x80001001\n* FillThisBuffer delay 5000\n",
     {U2 "1: OMX_UseBuffer: timeout FAIL: 2, T", U2 "4: OMX_EmptyThisBuffer: FAIL : 80001001",
      U2 "5: OMX_FillThisBuffer: timeout FAIL: 2, T"}},
    {"UTC 003",
     "* SendCommand:Flush error 0x80001001\n* SendCommand:PortDisable error 0x80001005\n"
     "* SendCommand:PortEnable error 0x80001019\n",
     {U3 "3: OMX port flush(in): FAIL: 80001001, 2", U3 "3: OMX port flush(out): FAIL: 80001001, 2",
      U3 "1: OMX port disable(in): FAIL: 80001005, 2", U3 "1: OMX port disable(out): FAIL: 80001005, 2",
      U3 "2: OMX port enable(in): FAIL: 80001019, 2", U3 "2: OMX port enable(out): FAIL: 80001019, 2",
      U3 "4: OMX input port, output port: FAIL: 2"}},
    // Slow but successful, or answered with an error event: no summary line.
    {"UTC 003",
     "* SendCommand:Flush delay 5000\n* SendCommand:PortDisable:1 delay 5000\n",
     {U3 "3: OMX port flush(in): timeout FAIL: 2, T", U3 "3: OMX port flush(out): timeout FAIL: 2, T",
      U3 "1: OMX port disable(out): timeout FAIL: 2, T"}},
    {"UTC 003",
     "* SendCommand:Flush:0 silent\n* SendCommand:PortEnable:1 event_error 0x80001001\n",
     {U3 "3: OMX port flush(in): timeout FAIL: 2, T"}},
    {"UTC 003",
     NO_BUFFERS "* min_buffers 0 1\n* min_buffers 1 1\n* UseBuffer:0 error 0x80001001 times 1\n"
                "* AllocateBuffer:1 error 0x80001005 times 1\n",
     {"OMX UTC 003: OMX_UseBuffer: FAIL: 80001001, 2", "OMX UTC 003: OMX_AllocateBuffer: FAIL: 80001005, 2",
      W("OMX UTC 003: OMX_StateIdle"), W("OMX UTC 003: OMX_StateExecuting"),
      U3 "3: OMX port flush(in): timeout FAIL: 2, T", U3 "3: OMX port flush(out): timeout FAIL: 2, T",
      W("OMX UTC 003: OMX_StateIdle"), W("OMX UTC 003: OMX_StateLoaded"),
      U3 "1: OMX port disable(in): timeout FAIL: 2, T", U3 "1: OMX port disable(out): timeout FAIL: 2, T",
      U3 "2: OMX port enable(in): timeout FAIL: 2, T", U3 "2: OMX port enable(out): timeout FAIL: 2, T"}},
    // A misbehaving core: a completion twice, callbacks from a freed handle, a header pointer
    // nothing is behind, writes past a record, NULL function-table slots.
    {"UTC 004", "* SendCommand:StateSet:Idle twice times 1\n", {TWICE, "UTC 002", TWICE, "UTC 003", TWICE}},
    {"UTC 005", "* OMX_FreeHandle late_callback\n", {LATE, "UTC 004", LATE}},
    {"UTC 002",
     "* UseBuffer:0 bogus_header times 1\n",
     {"OMX_UseBuffer: unexpected buffer header: FAIL" M, U2 "1: OMX_UseBuffer: FAIL: 80001001, 2",
      W("OMX UTC 002: OMX_StateLoaded")}},
    {"UTC 005", "* GetParameter:VideoPortFormat overrun 8\n", {kOverrun, "UTC 006", kOverrun}},
    {"UTC 007",
     "* null_slot GetConfig SetConfig GetExtensionIndex\n",
     {NULL_SLOT("OMX_GetConfig"), "OMX UTC 007-02: OMX_GetConfig scale factor: FAIL: 80001006, 2", "UTC 008",
      NULL_SLOT("OMX_SetConfig"), "OMX UTC 008-01: OMX_SetConfig OMX_IndexVendorThumbnailMode: FAIL: 80001006, 2",
      "UTC 009", NULL_SLOT("OMX_GetExtensionIndex"),
      "OMX UTC 009-01: OMX_GetExtensionIndex test: OMX.ZYN.index.ThumbnailMode: FAIL: 80001006, 2"}},
    {"encode 1", "", {}, ENC},
    {"encode 1",
     "* GetParameter:PortDefinition:0 error 0x80001001\n* GetParameter:PortDefinition:1 error 0x80001019\n"
     "* SetParameter:PortDefinition:0 error 0x80001005\n* SetParameter:PortDefinition:1 error 0x8000101A\n",
     {E "OMX_GetParameter: OMX_IndexParamPortDefinition: FAIL: 80001001, 1",
      E "OMX_SetParameter: OMX_IndexParamPortDefinition: FAIL: 80001005, 1", E "OMX_GetParameter: FAIL: 80001019, 1",
      E "OMX_SetParameter: OMX_IndexParamPortDefinition: FAIL: 8000101a, 1", W(E "OMX_StateIdle"),
      E "OMX_GetState: OMX_StateIdle: FAIL: 1, 1", W(E "OMX_StateExecuting"),
      E "OMX_GetState: OMX_StateExecuting: FAIL: 1, 1", W(E "OMX_CommandFlush inport"), W(E "OMX_CommandFlush outport"),
      W(E "OMX_StateIdle"), E " OMX_GetState: OMX_StateIdle: FAIL: 1, 1", W(E "OMX_StateLoaded")},
     ENC},
    {"encode 1",
     "* SendCommand:StateSet:Idle error 0x80001001 times 1\n",
     {E "OMX_SendCommand: FAIL: 80001001, 1", E "OMX_UseBuffer: FAIL: 80001018, 1",
      E "OMX_UseBuffer: FAIL: 80001018, 1", E "OMX_UseBuffer: FAIL: 80001018, 1",
      E "OMX_AllocateBuffer: FAIL: 80001018, 1", E "OMX_AllocateBuffer: FAIL: 80001018, 1",
      E "OMX_AllocateBuffer: FAIL: 80001018, 1", E "OMX_GetState: OMX_StateIdle: FAIL: 1, 1",
      E "OMX_GetState: OMX_StateExecuting: FAIL: 1, 1", W(E "OMX_StateIdle"),
      E " OMX_GetState: OMX_StateIdle: FAIL: 1, 1", W(E "OMX_StateLoaded")},
     ENC},
    {"encode 1",
     "* SendCommand:Flush:0 error 0x80001001\n* SendCommand:Flush:1 error 0x80001005\n* EmptyThisBuffer error "
     "0x80001001 times 1\n* FillThisBuffer error 0x80001005 times 1\n",
     {E "OMX_SetParameter(OMX_CommandFlush,inport) return Error : 80001001",
      E "OMX_SetParameter(OMX_CommandFlush,outport) return Error : 80001005",
      "OMX_EmptyThisBuffer() return Error : 80001001", "OMX_FillThisBuffer() return Error : 80001005"},
     ENC},
    // One picture never comes back: one line for it, the others are counted off.
    {"encode 1", "* EmptyThisBuffer silent times 1\n", {W(E "EmptyBufferDone")}, ENC},
    {"encode 1",
     "* SendCommand:StateSet:Idle error 0x80001001 after 1\n",
     {E "OMX_SendCommand: OMX_StateIdle: FAIL: 80001001, 1", E " OMX_GetState: OMX_StateIdle: FAIL: 3, 1",
      E "OMX_GetState: OMX_StateLoaded: FAIL: 3, 1"},
     ENC},
    {"encode 1",
     "* SendCommand:StateSet:Loaded error 0x80001001\n* FreeBuffer:0 error 0x80001001 times 1\n* FreeBuffer:1 error "
     "0x80001005 times 1\n",
     {E "OMX_SendCommand: OMX_StateLoaded: FAIL: 80001001, 1", E "OMX_FreeBuffer(usebuffer): FAIL: 80001001, 1",
      E "OMX_FreeBuffer(allocatebuffer): FAIL: 80001005, 1", E "OMX_GetState: OMX_StateLoaded: FAIL: 2, 1"},
     ENC},
};

// A loaded machine makes calls overrun without a fault: an unexpected timeout line passes when
// its time is at least the smallest budget (5 ms); one below would come from a wrong budget rule.
bool is_load_noise(int time_us)
{
    return time_us >= 5000;
}

// The failure and timeout lines from the banner of `label`'s case to the next case.
Lines case_lines(const std::string &out, const std::string &label, const Lines &expected, int *fails, int *timeouts,
                 int *skips)
{
    static const std::regex banner("^(OMX UTC 00\\d: omx_[a-z_]+|output: .*|comp name .*|omx_cases summary)$");
    static const std::regex timed("^(.*: timeout FAIL: \\d+, )(\\d+)$");
    const std::string start = label[0] == 'e' ? "output: " : "OMX " + std::string(label) + ": omx_";
    Lines found;
    bool inside = false;
    for (const std::string &line : omxt::lines(out)) {
        if (std::regex_match(line, banner)) {
            if (inside)
                break;
            inside = line.rfind(start, 0) == 0;
            continue;
        }
        // The callback's error lines count as failures; which ones come is the component's timing.
        if (inside && line.rfind("OMX_EventHandlerDone: OMX_EventError", 0) == 0) {
            *fails += 1;
            continue;
        }
        if (inside && line.find("skipped") != std::string::npos && line.find("FAIL") == std::string::npos) {
            *skips += 1;
            continue;
        }
        if (!inside || (line.find("FAIL") == std::string::npos && line.find("err=") == std::string::npos &&
                        line.find(" Error") == std::string::npos))
            continue;
        const bool timeout = line.find("timeout FAIL") != std::string::npos;
        (timeout ? *timeouts : *fails) += 1;
        std::smatch m;
        const bool has_time = std::regex_match(line, m, timed);
        const std::string shown = has_time ? m[1].str() + "T" : line;
        if ((found.size() < expected.size() && shown == expected[found.size()]) ||
            !(has_time && is_load_noise(std::stoi(m[2]))))
            found.push_back(shown);
    }
    return found;
}

omxt::ChildResult omx_cases(const omxt::TempDir &dir, const std::vector<std::string> &args, const std::string &faults)
{
    return omxt::run_tool(
        "omx_cases", args,
        {{"ZYN_OMX_FAULTS", dir.write("faults", faults)}, {"OMX_TEST_WAIT_MS", "300"}, {"OMX_TEST_LIST_DIR", dir.path}},
        120);
}

class CaseLines : public ::testing::TestWithParam<Row>
{
};

TEST_P(CaseLines, OfItsFaultFileAreExactlyTheseAndCounted)
{
    const Row &row = GetParam();
    omxt::TempDir dir;
    std::string pictures(3 * 38016, '\0');
    for (size_t i = 0; i < pictures.size(); i++)
        pictures[i] = static_cast<char>(i * 7);
    dir.write("avcenc_list.txt",
              dir.write("in.yuv", pictures) + " " + dir.file("out.264") + "\n176\n144\n1\n512\n30\nLIST_FILE_END\n");
    const omxt::ChildResult r = omx_cases(dir, {row.component}, row.faults);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // The expected lines of further cases follow their label.
    std::vector<std::pair<std::string, Lines>> sections = {{row.label, {}}};
    for (const std::string &line : row.expected)
        if (line.rfind("UTC ", 0) == 0)
            sections.push_back({line, {}});
        else
            sections.back().second.push_back(line);
    for (const auto &[label, expected] : sections) {
        int fails = 0, timeouts = 0, skips = 0;
        EXPECT_EQ(case_lines(r.out, label, expected, &fails, &timeouts, &skips), expected) << label << r.out;
        char summary[128];
        snprintf(summary, sizeof summary, "\n%-32s %-10s %6d %8d %8d\n", row.component, label.c_str(), fails, timeouts,
                 skips);
        EXPECT_EQ(omxt::count(r.out, summary), 1) << summary << r.out;
    }
}

// Test names: the row's number and case ("Row7_UTC004"), so a failing row is found at once.
INSTANTIATE_TEST_SUITE_P(AgainstTheReferenceCore, CaseLines, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row> &info) {
                             std::string name = "Row" + std::to_string(info.index) + "_";
                             for (const char *c = info.param.label; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c)))
                                     name += *c;
                             return name;
                         });

TEST(OmxCases, ExitsLinesAndSummaryOfTheRunner)
{
    omxt::TempDir dir;
    for (const Lines &args : {Lines{"-x"}, Lines{"OMX.ZYN.AVC.Decoder", "--bogus"}, Lines{""},
                              Lines{std::string(128, 'A')}, Lines{"--junit"}}) {
        const omxt::ChildResult r = omx_cases(dir, args, "");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(omxt::count(r.err, "usage: omx_cases [--junit FILE] [COMPONENT ...]\n"), 1) << r.err;
    }
    EXPECT_EQ(omx_cases(dir, {"--help"}, "").out.rfind("usage: omx_cases [--junit FILE] [COMPONENT ...]\n", 0), 0u);
    omxt::ChildResult r = omxt::run_tool("omx_cases", {}, {{"LD_LIBRARY_PATH", dir.path}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(omxt::lines(r.out).back(), "libZYN_OMX_Core.so open FAIL");
    r = omx_cases(dir, {}, "core OMX_Init error 0x80001001\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(omxt::lines(r.out).back(), "omx_cases: OMX_Init: FAIL: error=80001001");

    // Every enumerated component runs every case in order, each in a process of its own (so a
    // core rule striking once strikes in each); a refused index is reported and skipped; a
    // handle refused counts against its case.
    // A component with no video role gets one row.
    r = omx_cases(dir, {},
                  "core names OMX.ZYN.H263.Decoder OMX.ZYN.VP8.Decoder OMX.ZYN.Clock\ncore enum_error 1 0x80001001\n"
                  "core OMX_GetHandle error 0x80001000 times 1\nOMX.ZYN.Clock roles 0\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(omxt::count(r.out, "omx_cases: OMX_ComponentNameEnum(1): FAIL: 80001001\n"), 1);
    EXPECT_EQ(omxt::count(r.out, "omx_cases: UTC 005: OMX_GetHandle(OMX.ZYN.H263.Decoder): FAIL: 80001000\n"), 1);
    EXPECT_EQ(omxt::count(r.out, "OMX UTC 00"), 0);
    Lines rows = omxt::lines(r.out.substr(r.out.find("omx_cases summary")));
    for (std::string &row : rows)
        row = row.substr(0, 50); // the timeout column depends on the machine's load
    Lines expected = {"omx_cases summary", "component                        case         FAIL"};
    for (const char *c : {"005", "006", "007", "008", "009", "004", "002", "003"})
        expected.push_back(std::string("OMX.ZYN.H263.Decoder             UTC ") + c + "         1");
    expected.push_back("OMX.ZYN.Clock                    all             0");
    expected.push_back("total" + std::string(44, ' ') + "8");
    EXPECT_EQ(rows, expected) << r.out;
    EXPECT_EQ(omxt::count(r.out, "\nOMX.ZYN.Clock                    all             0        0        1  not a "
                                 "video component\n"),
              1);

    // A core refusing records not stamped 1.1 is fair game once told the version it wants.
    for (const char *version : {"", "1.1.2"}) {
        r = omxt::run_tool("omx_cases", {"OMX.ZYN.MPEG4.Decoder"},
                           {{"ZYN_OMX_FAULTS", dir.write("faults", "* versions strict\n")},
                            {"OMX_TEST_IL_VERSION", version},
                            {"OMX_TEST_WAIT_MS", "300"}});
        EXPECT_EQ(omxt::count(r.out, ": FAIL: 8000100f, 2\n") > 0, *version == '\0') << r.out;
    }

    // SIGTERM while a case waits in a call: the case's process says where, frees the handle and
    // de-initialises the core; the run ends with it.
    const std::string script = "\"$0\" OMX.ZYN.MPEG4.Decoder 2>\"$1\" & until grep -q GetParameter \"$1\"; do sleep "
                               "0.01; done; kill -TERM $!; wait $!";
    r = omxt::run_child("/bin/sh", {"-c", script, omxt::build_dir() + "/bin/omx_cases", dir.file("err")},
                        {{"LD_LIBRARY_PATH", omxt::build_dir() + "/lib"},
                         {"ZYN_OMX_STATS", dir.file("stats")},
                         {"ZYN_OMX_FAULTS", dir.write("faults", "* GetParameter log\n* GetParameter delay 60000000\n"
                                                                "core OMX_Deinit log\n")}});
    EXPECT_EQ(r.status, 143);
    EXPECT_EQ(omxt::lines(r.out).back(), "stopped FAIL: SIGTERM in OMX_GetParameter, OMX.ZYN.MPEG4.Decoder") << r.out;
    const std::string err = omxt::read_file(dir.file("err"));
    EXPECT_EQ(err.substr(err.find("GetParameter called")), "GetParameter called\nZYN_OMX_FAULTS: OMX_Deinit called\n");
    EXPECT_EQ(omxt::read_file(dir.file("stats")).rfind("stats OMX.ZYN.MPEG4.Decoder inputs=0", 0), 0u);
}

// A core that crashes or hangs in a call costs the case's process and one row; the run goes on.
TEST(OmxCases, ACrashOrAHangIsARowOfItsOwn)
{
    const struct {
        const char *faults, *line, *note;
    } rows[] = {
        {"* OMX_FreeHandle crash segv\n", "crashed FAIL: SIGSEGV in OMX_FreeHandle" M,
         "crashed: SIGSEGV in OMX_FreeHandle"},
        {"* GetState crash abort\n", "crashed FAIL: SIGABRT in OMX_GetState" M, "crashed: SIGABRT in OMX_GetState"},
        {"* SendCommand:StateSet:Idle block\n", "hung FAIL: OMX_SendCommand has not returned after 500 ms" M,
         "hung in OMX_SendCommand"},
    };
    for (const auto &row : rows) {
        omxt::TempDir dir;
        const omxt::ChildResult r =
            omxt::run_tool("omx_cases", {"OMX.ZYN.MPEG4.Decoder"},
                           {{"ZYN_OMX_FAULTS", dir.write("faults", row.faults)}, {"OMX_TEST_CALL_TIMEOUT_MS", "500"}});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_GE(omxt::count(r.out, std::string("\n") + row.line + "\n"), 1) << r.out;
        EXPECT_EQ(omxt::count(r.out, "OMX.ZYN.MPEG4.Decoder            UTC 004         1        0        0  " +
                                         std::string(row.note) + "\n"),
                  1)
            << r.out;
        EXPECT_EQ(omxt::count(r.out, "\ntotal "), 1) << r.out;
    }
}

} // namespace
