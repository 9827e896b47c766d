// omx_test end to end: the whole report against the reference core, one fault file per row
// (timeout lines with their time as T); a core that cannot be loaded or lacks entry points.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <regex>

#include "test_common.h"

namespace
{

using Lines = std::vector<std::string>;

const Lines kHead = {" libZYN_OMX_Core.so opened succesfully",
                     " Interface test is called ",
                     "omx_core_interface_test",
                     "OMX UTC 001-01: OMX_Init test",
                     "OMX UTC 001-02: OMX_Deinit test",
                     "OMX UTC 001-03: OMX_Component Name test"};

struct Component {
    const char *name, *role, *list;
    int coding;
};
const Component kComponents[] = {
    {"OMX.ZYN.AVC.Decoder", "video_decoder.avc", "avcdec", 7},
    {"OMX.ZYN.VP8.Decoder", "video_decoder.vpx", "vp8dec", 9},
    {"OMX.ZYN.MPEG4.Decoder", "video_decoder.mpeg4", "mpeg4dec", 4},
    {"OMX.ZYN.H263.Decoder", "video_decoder.h263", "h263dec", 3},
    {"OMX.ZYN.WMV.Decoder", "video_decoder.wmv", "wmvdec", 5},
    {"OMX.ZYN.AVC.Encoder", "video_encoder.avc", "avcenc", 21},
    {"OMX.ZYN.MPEG4.Encoder", "video_encoder.mpeg4", "mpeg4enc", 21},
    {"OMX.ZYN.H263.Encoder", "video_encoder.h263", "h263enc", 21},
};

// The report of a core enumerating the components `which` (of the table above) and no list
// files, every call answered.
Lines normal_report(const std::vector<int> &which)
{
    const int n = static_cast<int>(which.size());
    Lines r = kHead;
    for (int i = 0; i < n; i++)
        r.push_back("enumerateComponents " + std::to_string(i) + " " + kComponents[which[i]].name);
    r.push_back("UTC 001-04: OMX_GetRolesOfComponent test");
    for (int i = 0; i < n; i++) {
        r.push_back("UTC 001-04: OMX_GetRolesOfComponent: " + std::to_string(i) + " " + kComponents[which[i]].name);
        r.push_back(std::string("UTC 001-04: OMX_GetRolesOfComponent: numRoles:1, index=0, ") +
                    kComponents[which[i]].role);
    }
    for (int i = 0; i < n; i++) {
        r.push_back("OMX UTC 001-05: OMX_GetHandle test: " + std::to_string(i) + " " + kComponents[which[i]].name);
        r.push_back("OMX UTC 001-06: OMX_FreeHandle test: " + std::to_string(i) + " " + kComponents[which[i]].name);
    }
    for (int i = 0; i < n; i++) {
        const Component &c = kComponents[which[i]];
        r.insert(r.end(), {"comp name " + std::string(c.name) + " ", std::string(c.list) + " fileopen error ",
                           "Can't find list file Error", "coding type = " + std::to_string(c.coding),
                           "can't open list file Error"});
    }
    r.push_back("");
    return r;
}

// `report` with `lines` put after the first line starting with `after`, in place of `replace` lines.
Lines edited(Lines report, const std::string &after, const Lines &lines, int replace = 0)
{
    for (size_t i = 0; i < report.size(); i++)
        if (report[i].rfind(after, 0) == 0) {
            report.erase(report.begin() + i + 1, report.begin() + i + 1 + replace);
            report.insert(report.begin() + i + 1, lines.begin(), lines.end());
            return report;
        }
    ADD_FAILURE() << "no line " << after;
    return report;
}

struct OmxTestRun {
    omxt::TempDir dir;
    omxt::ChildResult result;
    Lines report;           // timeout lines with their time as T
    std::vector<int> times; // per line: the time of a timeout line, else -1

    explicit OmxTestRun(const std::string &faults, std::map<std::string, std::string> lists = {},
                        std::map<std::string, std::string> env = {}, int status = 0)
    {
        for (const auto &[name, text] : lists)
            dir.write(name, text);
        env.emplace("ZYN_OMX_FAULTS", dir.write("faults", faults));
        env.emplace("OMX_TEST_LIST_DIR", dir.path);
        env.emplace("OMX_TEST_WAIT_MS", "300");
        result = omxt::run_tool("omx_test", {"--help", "-v"}, env);
        EXPECT_EQ(result.status, status) << result.err;
        static const std::regex timed("^(.*timeout FAIL(, |: .*, ))(\\d+)$");
        std::smatch m;
        for (const std::string &line : omxt::lines(result.out)) {
            const bool has_time = std::regex_match(line, m, timed);
            report.push_back(has_time ? m[1].str() + "T" : line);
            times.push_back(has_time ? std::stoi(m[3]) : -1);
        }
    }

    // The report without unexpected timeout lines of 5 ms or more: a loaded machine overruns.
    Lines against(const Lines &expected) const
    {
        Lines kept;
        for (size_t i = 0; i < report.size(); i++)
            if ((kept.size() < expected.size() && report[i] == expected[kept.size()]) || times[i] < 5000)
                kept.push_back(report[i]);
        return kept;
    }
};

TEST(OmxTest, ReportOfUtc001AndTheLoopAgainstTheReferenceCore)
{
    const std::string h263 = "core names OMX.ZYN.H263.Decoder\n";
    const Lines four = normal_report({0, 1, 2, 3});
    const Lines only_h263 = normal_report({3});
    Lines ten_roles, empty_roles = {"UTC 001-04: OMX_GetRolesOfComponent: 0 "};
    for (int i = 0; i < 10; i++) {
        const std::string role = "UTC 001-04: OMX_GetRolesOfComponent: numRoles:a, index=" + std::to_string(i) + ", ";
        ten_roles.push_back(role + (i == 0 ? "video_decoder.h263" : "role." + std::to_string(i)));
    }
    // A refused role query prints no role line.
    Lines refused_index =
        edited(normal_report({1}), kHead[5], {"OMX UTC 001-03: OMX_Component Name: FAIL: error=80001001"}, 1);
    refused_index = edited(refused_index, "OMX UTC 001-03: OMX_Component Name: FAIL",
                           {"enumerateComponents 1 OMX.ZYN.VP8.Decoder"});
    empty_roles.push_back("UTC 001-04: OMX_GetRolesOfComponent: FAIL: 80001003, ");
    empty_roles.push_back("UTC 001-04: OMX_GetRolesOfComponent: 1 OMX.ZYN.VP8.Decoder");
    refused_index = edited(refused_index, "UTC 001-04: OMX_GetRolesOfComponent test", empty_roles, 1);
    refused_index =
        edited(refused_index, "UTC 001-04: OMX_GetRolesOfComponent: numRoles:1",
               {"OMX UTC 001-05: OMX_GetHandle test: 0 ", "OMX UTC 001-05: OMX_GetHandle: FAIL: 80001003, ",
                "OMX UTC 001-06: OMX_FreeHandle test: 0 ", "OMX UTC 001-06: OMX_FreeHandle: skipped, no handle: "},
               2);
    refused_index = edited(refused_index, "OMX UTC 001-06: OMX_FreeHandle: skipped",
                           {"OMX UTC 001-05: OMX_GetHandle test: 1 OMX.ZYN.VP8.Decoder",
                            "OMX UTC 001-06: OMX_FreeHandle test: 1 OMX.ZYN.VP8.Decoder", "comp name  ",
                            "Can't find list file Error", "coding type = 0", "can't open list file Error"},
                           0);
    const struct {
        std::string faults;
        Lines expected;
    } rows[] = {
        {"", normal_report({0, 1, 2, 3, 4, 5, 6, 7})},
        {"core enum_error 4 0x8000100E\n", four},
        {"core OMX_Init error 0x80001000\n",
         {kHead[0], kHead[1], kHead[2], kHead[3], "OMX UTC 001-01: OMX_Init: FAIL: error=80001000", ""}},
        {"core OMX_Deinit error 0x80001000\n",
         {kHead[0], kHead[1], kHead[2], kHead[3], kHead[4], "OMX UTC 001-02: OMX_Deinit: FAIL: error=80001000", ""}},
        {"core components 0\n",
         edited(kHead, kHead[5], {"OMX UTC 001-03: OMX_Component Name: FAIL: no component", ""})},
        {"core names OMX.ZYN.AVC.Decoder OMX.ZYN.VP8.Decoder OMX.ZYN.MPEG4.Decoder OMX.ZYN.H263.Decoder\n"
         "core OMX_Init delay 30000 times 1\nOMX.ZYN.VP8.Decoder OMX_GetRolesOfComponent delay 8000\n"
         "OMX.ZYN.MPEG4.Decoder OMX_GetHandle error 0x80001000\n",
         edited(edited(edited(edited(four, "OMX UTC 001-01", {"OMX UTC 001-01: OMX_Init: timeout FAIL, T"}),
                              "UTC 001-04: OMX_GetRolesOfComponent: numRoles:1, index=0, video_decoder.vpx",
                              {"UTC 001-04: OMX_GetRolesOfComponent: timeout FAIL: OMX.ZYN.VP8.Decoder, T"}),
                       "OMX UTC 001-05: OMX_GetHandle test: 2",
                       {"OMX UTC 001-05: OMX_GetHandle: FAIL: 80001000, OMX.ZYN.MPEG4.Decoder"}),
                "OMX UTC 001-06: OMX_FreeHandle test: 2",
                {"OMX UTC 001-06: OMX_FreeHandle: skipped, no handle: OMX.ZYN.MPEG4.Decoder"})},
        // The core is told the capacity of ten role buffers; a refused index still counts.
        {h263 + "OMX.ZYN.H263.Decoder roles 12\n",
         edited(only_h263, "UTC 001-04: OMX_GetRolesOfComponent: 0", ten_roles, 1)},
        // A core writing past the name or a role buffer; the guard bytes catch it.
        {h263 + "core OMX_ComponentNameEnum overrun 8 times 1\nOMX.ZYN.H263.Decoder OMX_GetRolesOfComponent overrun "
                "300\n",
         edited(edited(only_h263, kHead[5],
                       {"OMX_ComponentNameEnum: 8 bytes written past the 128-byte name buffer: FAIL"}),
                "UTC 001-04: OMX_GetRolesOfComponent: 0",
                {"OMX_GetRolesOfComponent: 300 bytes written past the 128-byte role buffer: FAIL, "
                 "OMX.ZYN.H263.Decoder"})},
        // A refused index still counts, with an empty name that no call accepts.
        {"core names OMX.ZYN.H263.Decoder OMX.ZYN.VP8.Decoder\ncore enum_error 0 0x80001001\n", refused_index},
    };
    // Isolated steps give the report of one process, line for line.
    for (const auto &row : rows)
        for (const char *isolate : {"0", "1"}) {
            OmxTestRun run(row.faults, {}, {{"OMX_TEST_ISOLATE", isolate}});
            EXPECT_EQ(run.against(row.expected), row.expected) << isolate << row.faults << run.result.out;
        }
}

// A crash ends the report with a line saying where; isolated, it costs its step alone.
TEST(OmxTest, ACrashEndsTheReportUnlessStepsAreIsolated)
{
    const std::string faults = "core names OMX.ZYN.AVC.Decoder OMX.ZYN.VP8.Decoder\n"
                               "OMX.ZYN.AVC.Decoder OMX_FreeHandle crash segv\n";
    const std::string crash = "crashed FAIL: SIGSEGV in OMX_FreeHandle, OMX.ZYN.AVC.Decoder";
    const Lines isolated = edited(normal_report({0, 1}), "OMX UTC 001-06: OMX_FreeHandle test: 0", {crash});
    EXPECT_EQ(OmxTestRun(faults, {}, {{"OMX_TEST_ISOLATE", "1"}}).against(isolated), isolated);
    const Lines ended(isolated.begin(), std::find(isolated.begin(), isolated.end(), crash) + 1);
    EXPECT_EQ(OmxTestRun(faults, {}, {}, 128 + 11).against(ended), ended);
}

// Every entry gets a handle of its own; a refused handle skips its entry; a list without its
// end marker is read to its end.
TEST(OmxTest, TheLoopRunsEveryEntryOnAHandleOfItsOwn)
{
    OmxTestRun run(
        "core names OMX.ZYN.AVC.Decoder\nOMX.ZYN.AVC.Decoder OMX_GetHandle error 0x80001000 after 1\n",
        {{"avcdec_list.txt", "/media/a.264 /tmp/out_a\n176\n144\n/media/b.264 /tmp/out_b\n320 wide\n240\n"}});
    const Lines report = run.against({});
    const Lines loop(report.end() - 13, report.end());
    const std::string refused = "omx_component_test_loop: OMX_GetHandle: FAIL: 80001000, OMX.ZYN.AVC.Decoder";
    EXPECT_EQ(loop, Lines({"OMX UTC 001-06: OMX_FreeHandle test: 0 OMX.ZYN.AVC.Decoder",
                           "comp name OMX.ZYN.AVC.Decoder ", "coding type = 7", "", "infile: /media/a.264",
                           "width: 176, height: 144", refused, "", "infile: /media/b.264", "width: 320, height: 240",
                           refused, "parse_list: list file ends without LIST_FILE_END", ""}))
        << run.result.out;
}

// What never ends or blocks at open, named as a list file (omx_test) or as an encoder's input
// (omx_cases): refused at once with its line, then passed over as a missing file.
TEST(OmxTest, OnlyRegularFilesAreRead)
{
    const struct {
        const char *kind;
        int (*make)(const char *path); // 0 when made
    } kinds[] = {
        {"FIFO", [](const char *p) { return mkfifo(p, 0600); }},
        {"character device", [](const char *p) { return symlink("/dev/zero", p); }},
        {"directory", [](const char *p) { return mkdir(p, 0700); }},
        {"socket",
         [](const char *p) {
             sockaddr_un addr{AF_UNIX, {}};
             snprintf(addr.sun_path, sizeof addr.sun_path, "%s", p);
             const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
             return bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) | close(fd); // the file stays
         }},
    };
    for (const auto &k : kinds) {
        omxt::TempDir dir;
        const std::string list = dir.file("avcdec_list.txt"), input = dir.file("in.yuv");
        ASSERT_EQ(k.make(list.c_str()) | k.make(input.c_str()), 0) << k.kind;
        dir.write("avcenc_list.txt", input + " " + dir.file("out") + "\n176\n144\n1\n256000\n25\nLIST_FILE_END\n");
        const std::map<std::string, std::string> env = {
            {"OMX_TEST_LIST_DIR", dir.path},
            {"ZYN_OMX_FAULTS", dir.write("faults", "core names OMX.ZYN.AVC.Decoder OMX.ZYN.AVC.Encoder\n")}};
        for (const auto &[tool, expected] :
             {std::pair{"omx_test", list + ": not a regular file\navcdec fileopen error \n"},
              std::pair{"omx_cases", input + ": not a regular file\nfopen(" + input + ") Error\n"}}) {
            const omxt::ChildResult r = omxt::run_tool(tool, {"OMX.ZYN.AVC.Encoder"}, env, 30);
            EXPECT_FALSE(r.timed_out) << k.kind << " " << tool;
            EXPECT_EQ(omxt::count(r.out, expected), 1) << k.kind << " " << tool << r.out;
        }
    }
}

TEST(OmxTest, ACoreThatCannotBeLoadedOrLacksAnEntryPointIsNotRun)
{
    omxt::TempDir empty;
    omxt::ChildResult r = omxt::run_tool("omx_test", {}, {{"LD_LIBRARY_PATH", empty.path}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "dlopen failed libZYN_OMX_Core.so: cannot open shared object file: No such file or directory \n"
                     "libZYN_OMX_Core.so open FAIL\n");
    r = omxt::run_tool("omx_test", {}, {{"LD_LIBRARY_PATH", OMX_STUB_CORE_DIR}});
    EXPECT_EQ(r.status, 0);
    std::string missing = " libZYN_OMX_Core.so opened succesfully\n";
    for (const char *name : {"Deinit", "ComponentNameEnum", "GetHandle", "FreeHandle", "GetRolesOfComponent"})
        missing += std::string("libZYN_OMX_Core.so: OMX_") + name + " not found FAIL\n";
    EXPECT_EQ(r.out, missing);
    r = omxt::run_tool("omx_cases", {}, {{"LD_LIBRARY_PATH", OMX_STUB_CORE_DIR}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(omxt::lines(r.out).back().rfind("dlsym(OMX_Deinit) Error: ", 0), 0u) << r.out;
    EXPECT_EQ(omxt::lines(r.out).size(), 2u);
}

// Against Debian's Bellagio core, which nobody here wrote: both programs reach the end of their
// report, whatever its timing-dependent crashes and hangs cost on the way.
TEST(Bellagio, BothProgramsReachTheEndOfTheirReport)
{
    omxt::TempDir dir;
    const std::map<std::string, std::string> env = {{"OMX_BELLAGIO_REGISTRY", dir.file("registry")},
                                                    {"LD_LIBRARY_PATH", dir.path},
                                                    {"OMX_TEST_LIST_DIR", dir.path},
                                                    {"OMX_TEST_IL_VERSION", "1.1.2"},
                                                    {"OMX_TEST_CALL_TIMEOUT_MS", "3000"},
                                                    {"OMX_TEST_ISOLATE", "1"}};
    // The core under our name, its components registered; their names out.
    omxt::ChildResult r =
        omxt::run_child("/bin/sh",
                        {"-c",
                         "lib=$(/sbin/ldconfig -p | sed -n 's/.*libomxil-bellagio[.]so[.]0 .*=> //p' | head -n 1); "
                         "[ -n \"$lib\" ] && command -v omxregister-bellagio >/dev/null || exit 3; "
                         "ln -s \"$lib\" \"$0/libZYN_OMX_Core.so\" && omxregister-bellagio >&2 && "
                         "sed -n 's/^ ==> \\([^ ]*\\) ==>.*/\\1/p' \"$OMX_BELLAGIO_REGISTRY\"",
                         dir.path},
                        env);
    OMX_SKIP_UNLESS(r.status != 3, "Debian's Bellagio core (libomxil-bellagio0, libomxil-bellagio-bin)");
    const Lines names = omxt::lines(r.out);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(names.empty()) << r.err;
    r = omxt::run_tool("omx_cases", {}, env);
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string summary = r.out.substr(std::min(r.out.size(), r.out.find("\nomx_cases summary\n")));
    for (const std::string &name : names)
        EXPECT_GE(omxt::count(summary, "\n" + name + " "), 1) << name << r.out;
    EXPECT_EQ(omxt::lines(summary).back().rfind("total ", 0), 0u) << r.out;
    r = omxt::run_tool("omx_test", {}, env);
    EXPECT_EQ(r.status, 0) << r.out;
    for (const std::string &name : names)
        EXPECT_GE(omxt::count(r.out, "\ncomp name " + name + " \n"), 1) << name << r.out;
    const std::string end = "can't open list file Error\n\n";
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), end.size())), end) << r.out;
}

} // namespace
