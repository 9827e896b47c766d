// omx_test's results for machines (JSON, JUnit) and the page made from them.
#include <cstdlib>
#include <string>

#include "test_common.h"

namespace
{

// The number after the first `"key": ` at or after `from` in a JSON text; -1 when absent.
double json_number(const std::string &json, const std::string &key, std::size_t from = 0)
{
    const std::size_t at = json.find("\"" + key + "\": ", from);
    return at == std::string::npos ? -1 : std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

struct RunFiles {
    std::string json, junit, report;
};

RunFiles decode_qcif(const omxt::TempDir &dir, const std::string &faults, const char *isolate = "0")
{
    dir.write("avcdec_list.txt", omxt::sample("h264_qcif.264") + " " + dir.file("out") + "\n176\n144\n");
    const std::string json = dir.file("results.json"), junit = dir.file("results.xml");
    const omxt::ChildResult r = omxt::run_tool("omx_test", {},
                                               {{"OMX_TEST_LIST_DIR", dir.path},
                                                {"OMX_TEST_RESULTS", json},
                                                {"OMX_TEST_JUNIT", junit},
                                                {"OMX_TEST_SNAPSHOTS", dir.path},
                                                {"OMX_TEST_ISOLATE", isolate},
                                                {"ZYN_OMX_FAULTS", dir.write("faults", faults)}});
    EXPECT_EQ(r.status, 0) << r.err;
    return {omxt::read_file(json), omxt::read_file(junit), r.out};
}

TEST(Results, CountEveryFrameAndFollowAnInjectedDelay)
{
    omxt::TempDir plain_dir, slow_dir;
    const RunFiles plain = decode_qcif(plain_dir, "");
    // The slow run's passes run in processes of their own and hand their figures over.
    const RunFiles slow = decode_qcif(slow_dir, "OMX.ZYN.AVC.Decoder EmptyThisBuffer delay 40000\n", "1");
    for (const RunFiles *run : {&plain, &slow}) {
        const std::size_t pass = run->json.find("\"passes\"");
        ASSERT_NE(pass, std::string::npos) << run->json;
        EXPECT_EQ(json_number(run->json, "frames_fed", pass), 25);
        EXPECT_EQ(json_number(run->json, "pictures", pass), 25);
        EXPECT_EQ(json_number(run->json, "fail", pass), 0);
        // Timeout lines are left out: a loaded machine may make a call overrun its budget.
        EXPECT_NE(run->json.find("\"component\": \"OMX.ZYN.AVC.Decoder\", \"fail\": 0, "), std::string::npos);
        EXPECT_EQ(omxt::count(run->report, "FAIL") - omxt::count(run->report, "timeout FAIL"), 0) << run->report;
    }
    // Every input call takes 40 ms or more: at most 25 pictures a second, each at least 40 ms
    // after its input was given.
    const std::size_t pass = slow.json.find("\"passes\"");
    EXPECT_GT(json_number(slow.json, "fps", pass), 1);
    EXPECT_LE(json_number(slow.json, "fps", pass), 1000.0 / 40);
    EXPECT_GE(json_number(slow.json, "p50", pass), 40);
    EXPECT_LE(json_number(slow.json, "p50", pass), json_number(slow.json, "p95", pass));
    EXPECT_LE(json_number(slow.json, "p95", pass), json_number(slow.json, "max", pass));
    EXPECT_GE(json_number(slow.json, "wall_s", pass), 25 * 0.040);
    EXPECT_LT(json_number(plain.json, "p50", pass), json_number(slow.json, "p50", pass));

    // The JUnit file as a board farm's CI reads it: one suite per component.
    const omxt::ChildResult parsed =
        omxt::run_child("/usr/bin/python3", {"-c",
                                             "import junitparser, sys\n"
                                             "for s in junitparser.JUnitXml.fromfile(sys.argv[1]):\n"
                                             "    print(s.name, s.tests, ' '.join(c.name for c in s))",
                                             plain_dir.file("results.xml")});
    ASSERT_EQ(parsed.status, 0) << parsed.err;
    EXPECT_NE(parsed.out.find("OMX.ZYN.AVC.Decoder 2 UTC 001 decode 1\n"), std::string::npos) << parsed.out;
    EXPECT_NE(parsed.out.find("OMX.ZYN.VP8.Decoder 1 UTC 001\n"), std::string::npos) << parsed.out;
}

// The page shows the table coloured by outcome, the rate chart and the pass's last picture.
TEST(Results, PageRendersTheTableTheChartAndTheThumbnail)
{
    OMX_SKIP_UNLESS(std::system("command -v chromium >/dev/null 2>&1") == 0, "Debian's chromium");
    omxt::TempDir dir;
    decode_qcif(dir, "");
    // omx_cases' JUnit file: each case's FAIL lines as its failures.
    const std::string cases = dir.file("cases.xml");
    omxt::ChildResult r = omxt::run_tool(
        "omx_cases", {"--junit", cases, "OMX.ZYN.VP8.Decoder"},
        {{"ZYN_OMX_FAULTS", dir.write("faults", "* GetParameter:StandardComponentRole error 0x80001001\n")},
         {"OMX_TEST_WAIT_MS", "300"}});
    ASSERT_EQ(r.status, 0) << r.err;
    r = omxt::run_child("/usr/bin/python3", {"-c",
                                             "import junitparser, sys\n"
                                             "for s in junitparser.JUnitXml.fromfile(sys.argv[1]):\n"
                                             "    for c in s: print(s.name, c.name, [r.message for r in c.result])",
                                             cases});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("OMX.ZYN.VP8.Decoder UTC 005 ['OMX UTC 005-02: OMX_GetParameter component role: FAIL: "
                         "80001001, 7']\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("OMX.ZYN.VP8.Decoder UTC 007 []\n"), std::string::npos) << r.out;
    EXPECT_EQ(omxt::count(r.out, "OMX.ZYN.VP8.Decoder UTC 00"), 8) << r.out;

    const std::string page = dir.file("page.html"), shot = dir.file("page.png");
    r = omxt::run_child("/usr/bin/python3",
                        {omxt::source_dir() + "/scripts/html_report.py", dir.file("results.json"), cases, page});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string html = omxt::read_file(page);
    EXPECT_EQ(html.find("http"), std::string::npos) << "the page must not reach the network";
    EXPECT_NE(html.find("data:image/png;base64,"), std::string::npos);
    r = omxt::run_child("chromium",
                        {"--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars", "--window-size=1100,1000",
                         "--screenshot=" + shot, "file://" + page},
                        {}, 90);
    ASSERT_EQ(r.status, 0) << r.err;
    r = omxt::run_child("convert", {shot, "-format", "%c", "histogram:info:-"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Pixels of the pass colour (table cells) and of the rate bars, each more than a few glyphs' worth.
    for (const char *colour : {"#B7E1B0", "#F4A6A6", "#3366CC"}) {
        const std::size_t at = r.out.find(colour);
        ASSERT_NE(at, std::string::npos) << colour;
        const std::size_t line = r.out.rfind('\n', at) + 1;
        EXPECT_GT(std::atoi(r.out.c_str() + line), 400) << colour;
    }
}

} // namespace
