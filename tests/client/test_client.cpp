// The client library in-process: time spans, callbacks, bounded waits and the list files.
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "omx_callbacks.h"
#include "omx_list_file.h"
#include "omx_report.h"
#include "omx_timing.h"
#include "omx_wait.h"
#include "test_common.h"

namespace
{

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(MeasureTimeUS, SpansBorrowGoBackwardsAndSaturate)
{
    struct Row {
        timeval start, stop;
        int us;
    } rows[] = {
        {{10, 900000}, {11, 100000}, 200000}, {{7, 0}, {6, 999999}, -1},    {{1, 2}, {3, 4}, 2000002},
        {{0, 0}, {3000, 0}, INT_MAX},         {{3000, 0}, {0, 0}, INT_MIN}, {{LONG_MIN, 0}, {LONG_MAX, 0}, INT_MAX}};
    for (Row &r : rows)
        EXPECT_EQ(measureTimeUS(&r.start, &r.stop), r.us) << r.start.tv_sec << " " << r.stop.tv_sec;
}

int posts(sem_t *sema)
{
    int n = 0;
    while (sem_trywait(sema) == 0)
        n++;
    return n;
}

OMX_ERRORTYPE accept_command(OMX_HANDLETYPE, OMX_COMMANDTYPE, OMX_U32, OMX_PTR)
{
    return OMX_ErrorNone;
}
int buffers_given = 0;
OMX_ERRORTYPE accept_buffer(OMX_HANDLETYPE, OMX_BUFFERHEADERTYPE *)
{
    buffers_given++;
    return OMX_ErrorNone;
}

// The books: only what the handle under test owes posts, once; everything else is one line.
TEST(Callbacks, PostOnlyWhatTheComponentOwes)
{
    sem_t sema;
    sem_init(&sema, 0, 0);
    ZYN_OMX_COMPONENT_INFO info{};
    info.sema = &sema;
    OMX_COMPONENTTYPE component{};
    component.SendCommand = accept_command;
    component.EmptyThisBuffer = component.FillThisBuffer = accept_buffer;
    OMX_HANDLETYPE h = &component;
    OMX_BUFFERHEADERTYPE in{}, out{};
    CaptureStdout();
    // The record OMX_GetHandle was given is posted, whatever pAppData the component passes back.
    omx_track_getting_handle(&info);
    OMX_SendCommand(h, OMX_CommandStateSet, OMX_StateIdle, nullptr);
    OMX_EventHandlerDone(h, reinterpret_cast<OMX_PTR>(uintptr_t{16}), OMX_EventCmdComplete, OMX_CommandStateSet,
                         OMX_StateIdle, nullptr);
    EXPECT_EQ(posts(&sema), 1);
    OMX_EventHandlerDone(h, &info, OMX_EventPortSettingsChanged, 1, 0, nullptr);
    EXPECT_EQ(posts(&sema), 0);
    OMX_SendCommand(h, OMX_CommandStateSet, OMX_StateExecuting, nullptr);
    OMX_EventHandlerDone(h, &info, OMX_EventError, 0x80001005, 0xab, nullptr);
    EXPECT_EQ(posts(&sema), 1);
    // A completion after its wait expired is taken silently once the next command is sent.
    OMX_SendCommand(h, OMX_CommandFlush, 0, nullptr);
    OMX_SendCommand(h, OMX_CommandFlush, 1, nullptr);
    OMX_EventHandlerDone(h, &info, OMX_EventCmdComplete, OMX_CommandFlush, 0, nullptr);
    EXPECT_EQ(posts(&sema), 0);
    OMX_EventHandlerDone(h, &info, OMX_EventCmdComplete, OMX_CommandFlush, 1, nullptr);
    EXPECT_EQ(posts(&sema), 1);
    // A buffer the component holds is not given again; only a held one comes back.
    OMX_EmptyThisBuffer(h, &in);
    OMX_EmptyThisBuffer(h, &in);
    OMX_FillThisBuffer(h, &out);
    EXPECT_EQ(buffers_given, 2);
    OMX_FillThisBufferDone(h, &info, &out);
    OMX_EmptyThisBufferDone(h, &info, &in);
    EXPECT_EQ(posts(&sema), 1);
    OMX_EmptyThisBufferDone(h, &info, &in);
    EXPECT_EQ(posts(&sema), 0);
    // A second completion and a handle not under test: the reference core's rows of omx_cases.
    EXPECT_EQ(GetCapturedStdout(), "OMX_EventHandlerDone: OMX_EventError: 80001005 ab\n"
                                   "unexpected EmptyBufferDone for a buffer header the component does not hold: "
                                   "FAIL, \n");
    omx_track_freed(h);
    sem_destroy(&sema);
}

TEST(Wait, LimitFromTheEnvironmentExpiryAndMissingSemaphore)
{
    const char *texts[] = {"", "250", "3600000", "3600001", "0", "12x", "-5"};
    const int limits[] = {5000, 250, 3600000, 5000, 5000, 5000, 5000};
    for (int i = 0; i < 7; i++) {
        setenv("OMX_TEST_WAIT_MS", texts[i], 1);
        EXPECT_EQ(omx_wait_limit_ms(), limits[i]) << texts[i];
    }
    setenv("OMX_TEST_WAIT_MS", "50", 1);
    sem_t sema;
    sem_init(&sema, 0, 1);
    ZYN_OMX_COMPONENT_INFO info{};
    info.sema = &sema;
    const int fails = omx_report_fail_count();
    const int timeouts = omx_report_timeout_count();
    CaptureStdout();
    EXPECT_EQ(omx_wait_sema(&info, "OMX_StateIdle"), 0);
    OmxStopwatch stopwatch;
    EXPECT_NE(omx_wait_sema(&info, "OMX_StateIdle"), 0);
    const int waited_us = stopwatch.elapsed_us();
    info.sema = nullptr;
    EXPECT_NE(omx_wait_sema(&info, nullptr), 0);
    EXPECT_EQ(GetCapturedStdout(), "wait for OMX_StateIdle: timeout FAIL: 50 ms\n"
                                   "wait for completion: no semaphore Error\n");
    EXPECT_GE(waited_us, 50000);
    EXPECT_EQ(omx_report_timeout_count() - timeouts, 1);
    EXPECT_EQ(omx_report_fail_count() - fails, 1);
    unsetenv("OMX_TEST_WAIT_MS");
    sem_destroy(&sema);
}

// List files read entry by entry: results, lines printed, record ("in width height profile rate fps").
TEST(ParseList, EntriesMarkersAndBrokenFields)
{
    const std::string long_name(128, 'n');
    const struct {
        int kind;
        std::string text, results, out, record;
    } cases[] = {
        {OMX_COMPONENT_AVCDEC, "LIST_FILE_END\n", "-1 ", "", " 0 0 0 0 0"},
        {OMX_COMPONENT_AVCDEC, "a.264 o1\n176\n144\nb.264\no2\n320 wide\n-240\nLIST_FILE_END", "0 0 -1 ",
         "\ninfile: a.264\nwidth: 176, height: 144\n\ninfile: b.264\nwidth: 320, height: -240\n",
         "b.264 320 -240 0 0 0"},
        {OMX_COMPONENT_H263ENC, "in.yuv out\n176\n144\n2\n256000\n30\n", "0 -1 ",
         "\ninfile: in.yuv\nwidth: 176, height: 144\nprofile: 2, bitrate: 256000, framerate: 30\n"
         "parse_list: list file ends without LIST_FILE_END\n",
         "in.yuv 176 144 2 256000 30"},
        {8, "a.264 o 1 2\n", "-1 ", "", " 0 0 0 0 0"},
        {OMX_COMPONENT_VP8DEC, "a.ivf o\n1\n2\nb.ivf o 3", "0 -1 ",
         "\ninfile: a.ivf\nwidth: 1, height: 2\nparse_list: list file ends before the height of an entry\n",
         "a.ivf 1 2 0 0 0"},
        {OMX_COMPONENT_WMVDEC, "a.rcv o 2147483648 2\n", "-1 ", "parse_list: width is not a number: list ends\n",
         " 0 0 0 0 0"},
        {OMX_COMPONENT_WMVDEC, "a.rcv o\n-2147483648\nx\n", "-1 ", "parse_list: height is not a number: list ends\n",
         " 0 0 0 0 0"},
        {OMX_COMPONENT_MPEG4DEC, long_name + " o 1 2\n", "-1 ",
         "parse_list: input file name longer than 127 characters: list ends\n", " 0 0 0 0 0"},
        {OMX_COMPONENT_MPEG4DEC, "i " + long_name + " 1 2\n", "-1 ",
         "parse_list: output file name longer than 127 characters: list ends\n", " 0 0 0 0 0"},
        {OMX_COMPONENT_AVCDEC, "a.264", "-1 ", "parse_list: list file ends before the output file name of an entry\n",
         " 0 0 0 0 0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        FILE *file = fmemopen(text.data(), text.size(), "r");
        ZYN_OMX_COMPONENT_INFO info{};
        memcpy(&info.component_type, &c.kind, sizeof c.kind);
        std::string results;
        CaptureStdout();
        for (size_t i = 0; i < c.results.size() / 2; i++)
            results += std::to_string(parse_list(file, &info)) + " ";
        EXPECT_EQ(GetCapturedStdout(), c.out);
        fclose(file);
        EXPECT_EQ(results.substr(0, c.results.size()), c.results);
        char record[200];
        snprintf(record, sizeof record, "%s %d %d %d %d %d", info.in_file_name, info.width, info.height,
                 static_cast<int>(info.format.avcenc.profile), info.format.avcenc.bitrate,
                 info.format.avcenc.framerate);
        EXPECT_EQ(record, c.record);
    }
    unsetenv(OMX_LIST_DIR_ENV);
    EXPECT_EQ(omx_list_file_path("avcdec_list.txt"), "/home/omxuser/avcdec_list.txt");
    setenv(OMX_LIST_DIR_ENV, "/srv/lists", 1);
    EXPECT_EQ(omx_list_file_path("avcdec_list.txt"), "/srv/lists/avcdec_list.txt");
    unsetenv(OMX_LIST_DIR_ENV);
}

} // namespace
