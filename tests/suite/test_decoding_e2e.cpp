// End-to-end: build/bin/omx_test against the reference core, driven by list files in a scratch
// folder (OMX_TEST_LIST_DIR) and the core's fault file; the report lines are compared and the
// core's per-handle statistics count the input buffers it received.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "decoding_fixture.h"

namespace
{
using namespace decoding_fixture;

const char kAvcDec[] = "OMX.ZYN.AVC.Decoder";

// Failure and timeout lines of the decoding pass. Not counted: UTC 001's own timing lines, and
// FillThisBuffer refusals: the pass hands each output slot back every third frame whether or not
// the core has returned it, and a core that keeps its pictures (decoding off) refuses the repeat.
int pass_failures(const std::string &report)
{
    int n = 0;
    for (const std::string &l : lines(report))
        n += (l.rfind("omx_decoding_test:", 0) == 0 && l.find("FAIL") != std::string::npos) ||
             l.rfind("wait for ", 0) == 0 || l.rfind("OMX_EmptyThisBuffer() return Error", 0) == 0;
    return n;
}

class DecodingEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!file_exists(std::string(OMX_BINARY_DIR) + "/lib/libZYN_OMX_Core.so"))
            GTEST_SKIP() << "the reference core is not built";
        if (!ensure_display())
            GTEST_SKIP() << "no X display could be had (DISPLAY unset and Xvfb would not start)";
        dir = scratch_dir("e2e");
        ASSERT_FALSE(dir.empty());
        write_file(dir + "/faults", "");
        qcif = h264_stream(176, 144, 5);
        ASSERT_FALSE(qcif.empty()) << "ffmpeg could not make the test stream";
    }

    void faults(const std::string &text) { write_file(dir + "/faults", text); }
    void list(const std::string &file, const std::string &entries)
    {
        write_file(dir + "/" + file, entries + "LIST_FILE_END\n");
    }

    RunResult run(std::vector<std::string> env = {})
    {
        env.push_back("OMX_TEST_LIST_DIR=" + dir);
        env.push_back("ZYN_OMX_FAULTS=" + dir + "/faults");
        env.push_back("ZYN_OMX_STATS=" + dir + "/stats");
        env.push_back("OMX_TEST_WAIT_MS=1000");
        RunResult r = run_omx_test(env, 180);
        stats = read_file(dir + "/stats");
        return r;
    }

    // Input buffers received by each handle of `name` that was given any, in order.
    std::vector<long> inputs_of(const std::string &name)
    {
        std::vector<long> result;
        const std::string prefix = "stats " + name + " inputs=";
        for (const std::string &l : lines(stats))
            if (l.rfind(prefix, 0) == 0) {
                const long n = std::stol(l.substr(prefix.size()));
                if (n > 0)
                    result.push_back(n);
            }
        return result;
    }

    std::string dir;
    std::string stats;
    std::string qcif; // 176x144, 5 frames
};

TEST_F(DecodingEndToEnd, AnAvcStreamOfNFramesIsFedWholeAndReportedLineByLine)
{
    const std::string &stream = qcif;
    faults(std::string("core names ") + kAvcDec + "\n");
    list("avcdec_list.txt", list_entry(stream, dir + "/out1", 176, 144));
    const RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const std::string expected = "comp name OMX.ZYN.AVC.Decoder \n"
                                 "coding type = 7\n"
                                 "\ninfile: " +
                                 stream +
                                 "\n"
                                 "width: 176, height: 144\n"
                                 "\noutput: " +
                                 dir + "/out1.rgb\n";
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" I/P port buf count = 3 I/P port buf size = 65536 \n"
                         " O/P port buf count = 3 O/P port buf size = 163840\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("EGL Window Created !!! \n\n"
                         "omx_decoding_test: Decoder Component Output EGL Buffer is Assigned\n"
                         "omx_decoding_test: Decoder Component Output EGL Buffer is Assigned\n"
                         "omx_decoding_test: Decoder Component Output EGL Buffer is Assigned\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(pass_failures(r.out), 0) << r.out;
    EXPECT_TRUE(file_exists(dir + "/out1.rgb"));
    EXPECT_EQ(file_size(dir + "/out1.rgb"), 0);
    EXPECT_EQ(inputs_of(kAvcDec), std::vector<long>{5}) << stats;
}

TEST_F(DecodingEndToEnd, EdgeSizesGiveTheirBufferSizesInEntryOrder)
{
    std::string entries;
    const int sizes[3][2] = {{176, 144}, {1280, 720}, {1920, 1080}};
    for (const auto &s : sizes) {
        const std::string stream = h264_stream(s[0], s[1], 2);
        ASSERT_FALSE(stream.empty());
        entries += list_entry(stream, dir + "/out" + std::to_string(s[0]), s[0], s[1]);
    }
    faults(std::string("core names ") + kAvcDec + "\n");
    list("avcdec_list.txt", entries);
    const RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string ports = " I/P port buf count = 3 I/P port buf size = 65536 \n"
                              " O/P port buf count = 3 O/P port buf size = 163840\n";
    const std::size_t a = r.out.find(ports);
    const std::size_t b = r.out.find(" I/P port buf count = 3 I/P port buf size = 1433600 \n"
                                     " O/P port buf count = 3 O/P port buf size = 3768320\n");
    const std::size_t c = r.out.find(" I/P port buf count = 3 I/P port buf size = 3137536 \n"
                                     " O/P port buf count = 3 O/P port buf size = 8355840\n");
    ASSERT_NE(a, std::string::npos) << r.out;
    ASSERT_NE(b, std::string::npos) << r.out;
    ASSERT_NE(c, std::string::npos) << r.out;
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_EQ(inputs_of(kAvcDec), (std::vector<long>{2, 2, 2})) << stats;
}

TEST_F(DecodingEndToEnd, AnOutputFileThatCannotBeCreatedEndsTheRunBeforeIdle)
{
    const std::string &stream = qcif;
    faults(std::string("core names ") + kAvcDec + "\n");
    list("avcdec_list.txt", list_entry(stream, dir + "/no/such/folder/out1", 176, 144));
    const RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(count_lines(r.out, "fopen(" + dir + "/no/such/folder/out1) Error"), 1) << r.out;
    EXPECT_EQ(count_substr(r.out, "Output EGL Buffer is Assigned"), 0) << r.out;
    EXPECT_EQ(count_substr(r.out, "OMX_GetState"), 0) << r.out;
    EXPECT_TRUE(inputs_of(kAvcDec).empty()) << stats;
}

TEST_F(DecodingEndToEnd, OnlyTheEndMarkerMeansNoDecodingPass)
{
    faults(std::string("core names ") + kAvcDec + "\n");
    list("avcdec_list.txt", "");
    const RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("OMX UTC 001-05: OMX_GetHandle test: 0 OMX.ZYN.AVC.Decoder\n"), std::string::npos);
    EXPECT_NE(r.out.find("comp name OMX.ZYN.AVC.Decoder \ncoding type = 7\n"), std::string::npos) << r.out;
    EXPECT_EQ(count_substr(r.out, "\noutput: "), 0) << r.out;
    EXPECT_EQ(count_substr(r.out, "I/P port buf count"), 0) << r.out;
}

TEST_F(DecodingEndToEnd, AnEncoderWithAListFileGoesThroughTheDecodingPass)
{
    const std::string &stream = qcif;
    faults("core names OMX.ZYN.AVC.Encoder\n");
    list("avcenc_list.txt", list_entry(stream, dir + "/enc", 176, 144) + "1\n512\n30\n");
    const RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string expected = "comp name OMX.ZYN.AVC.Encoder \n"
                                 "coding type = 21\n"
                                 "\ninfile: " +
                                 stream +
                                 "\n"
                                 "width: 176, height: 144\n"
                                 "profile: 1, bitrate: 512, framerate: 30\n"
                                 "\noutput: " +
                                 dir + "/enc.rgb\n";
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" I/P port buf count = "), std::string::npos) << r.out;
    EXPECT_TRUE(file_exists(dir + "/enc.rgb"));
}

TEST_F(DecodingEndToEnd, ComponentsWithoutATableRowArePassedOverWithTheirLines)
{
    const std::string &stream = qcif;
    faults(std::string("core names OMX.Other.Video.Decoder ") + kAvcDec + "\n");
    list("avcdec_list.txt", list_entry(stream, dir + "/out1", 176, 144));
    const RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("comp name OMX.Other.Video.Decoder \n"
                         "Can't find list file Error\n"
                         "coding type = "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("can't open list file Error\ncomp name OMX.ZYN.AVC.Decoder \n"), std::string::npos) << r.out;
    EXPECT_EQ(count_substr(r.out, "\noutput: "), 1) << r.out;
    EXPECT_EQ(inputs_of(kAvcDec), std::vector<long>{5}) << stats;
}

TEST_F(DecodingEndToEnd, ASilentCompletionIsOneTimeoutLineAndTheRunGoesOn)
{
    const std::string &stream = qcif;
    // The AVC decoder's first Idle never completes; the next component's run is untouched.
    faults(std::string("core names ") + kAvcDec + " OMX.ZYN.MPEG4.Decoder\n" + kAvcDec +
           " SendCommand:StateSet:Idle silent times 1\n");
    list("avcdec_list.txt", list_entry(stream, dir + "/first", 176, 144));
    list("mpeg4dec_list.txt", list_entry(stream, dir + "/second", 176, 144));
    const RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(count_lines(r.out, "wait for OMX_StateIdle: timeout FAIL: 1000 ms"), 1) << r.out;
    EXPECT_EQ(pass_failures(r.out), 1) << r.out;
    EXPECT_EQ(count_substr(r.out, "\noutput: "), 2) << r.out;
    EXPECT_TRUE(inputs_of(kAvcDec).empty()) << stats;
    EXPECT_EQ(inputs_of("OMX.ZYN.MPEG4.Decoder"), std::vector<long>{5}) << stats;
    EXPECT_EQ(count_substr(r.out, "OMX_GetState: OMX_StateLoaded: FAIL"), 0) << r.out;
}

TEST_F(DecodingEndToEnd, AnInputBufferNeverReturnedStopsTheFeedingWithOneTimeoutLine)
{
    const std::string &stream = qcif;
    faults(std::string("core names ") + kAvcDec + "\n" + kAvcDec + " EmptyThisBuffer silent\n");
    list("avcdec_list.txt", list_entry(stream, dir + "/out", 176, 144));
    const RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(count_lines(r.out, "wait for OMX_EmptyThisBuffer: timeout FAIL: 1000 ms"), 1) << r.out;
    EXPECT_EQ(inputs_of(kAvcDec), std::vector<long>{1}) << stats;
    EXPECT_EQ(count_substr(r.out, "OMX_GetState: OMX_StateLoaded: FAIL"), 0) << r.out;
}

TEST_F(DecodingEndToEnd, BufferCountsTheRingCannotHoldEndTheRunInLoaded)
{
    const std::string &stream = qcif;
    faults(std::string("core names ") + kAvcDec + "\n" + kAvcDec + " min_buffers 0 6\n");
    list("avcdec_list.txt", list_entry(stream, dir + "/out", 176, 144));
    const RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(" I/P port buf count = 6 I/P port buf size = 65536 \n"), std::string::npos) << r.out;
    EXPECT_EQ(
        count_lines(r.out, "omx_decoding_test: buffer count I/P 6 O/P 3 unsupported (I/P 3 to 5, O/P 3): FAIL, 0"), 1)
        << r.out;
    EXPECT_EQ(count_substr(r.out, "EGL Window Created"), 0) << r.out;
    EXPECT_TRUE(inputs_of(kAvcDec).empty()) << stats;
}

TEST_F(DecodingEndToEnd, WithoutADisplayTheRunSaysSoAndEndsBeforeIdle)
{
    const std::string &stream = qcif;
    faults(std::string("core names ") + kAvcDec + "\n");
    list("avcdec_list.txt", list_entry(stream, dir + "/out", 176, 144));
    const RunResult r = run({"DISPLAY=:1999"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Error - cannot open display\n"), std::string::npos) << r.out;
    EXPECT_EQ(count_lines(r.out, "omx_decoding_test: no EGL window or images (OpenWindow 1): FAIL, 0"), 1) << r.out;
    EXPECT_EQ(count_substr(r.out, "Output EGL Buffer is Assigned"), 0) << r.out;
    EXPECT_FALSE(file_exists(dir + "/out.rgb"));
    EXPECT_TRUE(inputs_of(kAvcDec).empty()) << stats;
}

TEST_F(DecodingEndToEnd, EveryFrameOfAVp8VectorIsDecodedInStreamOrder)
{
    // The vector's own MD5 list holds one line per frame in order; the core decodes what it is
    // fed, so equal lists mean frames 0 to N-1 went in, each once, in order.
    const std::string vector = std::string(OMX_SHARED_MEDIA_DIR) + "/vp8/vp80-00-comprehensive-001.ivf";
    if (!file_exists(vector))
        GTEST_SKIP() << "no shared media at " << OMX_SHARED_MEDIA_DIR;
    std::vector<std::string> expected;
    for (const std::string &l : lines(read_file(vector + ".md5")))
        if (l.size() >= 32)
            expected.push_back(l.substr(0, 32));
    ASSERT_EQ(expected.size(), 29u);
    faults("core names OMX.ZYN.VP8.Decoder\n");
    list("vp8dec_list.txt", list_entry(vector, dir + "/vp8", 176, 144));
    const RunResult r = run({"ZYN_OMX_STATS_MD5=1"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::vector<std::string> decoded;
    const std::string prefix = "md5 OMX.ZYN.VP8.Decoder ";
    for (const std::string &l : lines(stats))
        if (l.rfind(prefix, 0) == 0) {
            const std::size_t hex = l.find(' ', prefix.size()) + 1;
            decoded.push_back(l.substr(hex, 32));
        }
    EXPECT_EQ(decoded, expected) << stats;
    EXPECT_EQ(inputs_of("OMX.ZYN.VP8.Decoder"), std::vector<long>{29}) << stats;
    EXPECT_EQ(pass_failures(r.out), 0) << r.out;
}

// Preloaded into omx_test: malloc of exactly FAIL_MALLOC_SIZE bytes fails from its
// (FAIL_MALLOC_AFTER + 1)-th call on; every other allocation goes to the C library.
const char kFailingMalloc[] = R"(
#include <stddef.h>
#include <stdlib.h>
extern void *__libc_malloc(size_t);
static size_t target, after, seen;
static int ready;
void *malloc(size_t n)
{
    if (!ready) {
        ready = 1;
        const char *t = getenv("FAIL_MALLOC_SIZE"), *a = getenv("FAIL_MALLOC_AFTER");
        target = t ? strtoul(t, 0, 10) : 0;
        after = a ? strtoul(a, 0, 10) : 0;
    }
    if (target && n == target && seen++ >= after)
        return 0;
    return __libc_malloc(n);
}
)";

TEST_F(DecodingEndToEnd, AnInputBufferThatCannotBeAllocatedEndsTheRunBeforeIdle)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a preloaded malloc cannot stand in front of AddressSanitizer's";
#else
    const std::string stream = h264_stream(1920, 1080, 2);
    ASSERT_FALSE(stream.empty());
    write_file(dir + "/failing_malloc.c", kFailingMalloc);
    const std::string cc = "cc -shared -fPIC -O1 -o '" + dir + "/failing_malloc.so' '" + dir + "/failing_malloc.c'";
    if (std::system(cc.c_str()) != 0)
        GTEST_SKIP() << "no C compiler to build the failing malloc";
    faults(std::string("core names ") + kAvcDec + "\n");
    // The second of the three input buffers (3137536 bytes each at 1920x1080) is refused.
    list("avcdec_list.txt", list_entry(stream, dir + "/big", 1920, 1080));
    const RunResult r =
        run({"LD_PRELOAD=" + dir + "/failing_malloc.so", "FAIL_MALLOC_SIZE=3137536", "FAIL_MALLOC_AFTER=1"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(" I/P port buf count = 3 I/P port buf size = 3137536 \n"), std::string::npos) << r.out;
    EXPECT_EQ(count_lines(r.out, "malloc(in_buffer[1]) return Error"), 1) << r.out;
    EXPECT_EQ(count_lines(r.out, "malloc(in_buffer[2]) return Error"), 1) << r.out;
    EXPECT_EQ(count_substr(r.out, "malloc(in_buffer[0])"), 0) << r.out;
    EXPECT_EQ(count_substr(r.out, "Output EGL Buffer is Assigned"), 0) << r.out;
    EXPECT_EQ(count_substr(r.out, "OMX_GetState"), 0) << r.out;
    EXPECT_FALSE(file_exists(dir + "/big.rgb"));
    EXPECT_TRUE(inputs_of(kAvcDec).empty()) << stats;
#endif
}

} // namespace
