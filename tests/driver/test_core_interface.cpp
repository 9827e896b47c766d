// The core interface test and the component test loop, run in-process against
// a scripted core: exact report lines, the order of core calls, and what the
// core is (and is not) handed.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver_test_support.h"
#include "omx_component.h"
#include "omx_driver_internal.h"

namespace
{

struct FakeCore {
    std::vector<std::string> names;
    std::map<OMX_U32, OMX_ERRORTYPE> enum_errors;
    std::vector<OMX_ERRORTYPE> init_results; // by call; OMX_ErrorNone past the end
    OMX_ERRORTYPE deinit_result = OMX_ErrorNone;
    std::map<std::string, std::vector<std::string>> roles; // by component; default: one role
    OMX_U32 roles_answer_override = 0;                     // answer this count when not 0
    OMX_ERRORTYPE roles_result = OMX_ErrorNone;
    std::map<std::string, std::vector<OMX_ERRORTYPE>> get_handle_results; // by name, by call
    std::set<std::string> null_handle_names;                              // success without a handle
    OMX_ERRORTYPE free_result = OMX_ErrorNone;

    std::vector<std::string> calls;
    std::vector<OMX_U32> roles_capacity_given;
    std::deque<OMX_COMPONENTTYPE> handles;
    std::set<OMX_HANDLETYPE> live;
    std::vector<OMX_HANDLETYPE> bad_frees;
    std::map<std::string, int> get_handle_calls;
    std::vector<ZYN_OMX_COMPONENT_INFO> runs;
    std::vector<OMX_HANDLETYPE> run_handles;
    int init_calls = 0;
};

FakeCore *core;

OMX_ERRORTYPE fake_init()
{
    core->calls.push_back("init");
    const size_t n = static_cast<size_t>(core->init_calls++);
    return n < core->init_results.size() ? core->init_results[n] : OMX_ErrorNone;
}

OMX_ERRORTYPE fake_deinit()
{
    core->calls.push_back("deinit");
    return core->deinit_result;
}

OMX_ERRORTYPE fake_enum(OMX_STRING name, OMX_U32 length, OMX_U32 index)
{
    core->calls.push_back("enum " + std::to_string(index));
    EXPECT_EQ(length, 128u);
    if (core->enum_errors.count(index))
        return core->enum_errors[index];
    if (index >= core->names.size())
        return OMX_ErrorNoMore;
    snprintf(name, length, "%s", core->names[index].c_str());
    return OMX_ErrorNone;
}

OMX_ERRORTYPE fake_roles(OMX_STRING name, OMX_U32 *numRoles, OMX_U8 **roles)
{
    core->calls.push_back("roles " + std::string(name));
    core->roles_capacity_given.push_back(*numRoles);
    std::vector<std::string> list = core->roles.count(name) ? core->roles[name] : std::vector<std::string>{"role.0"};
    for (size_t j = 0; j < list.size() && j < *numRoles; ++j) {
        // Every buffer must arrive cleared.
        for (int b = 0; b < 128; ++b)
            EXPECT_EQ(roles[j][b], 0);
        snprintf(reinterpret_cast<char *>(roles[j]), 128, "%s", list[j].c_str());
    }
    *numRoles = core->roles_answer_override ? core->roles_answer_override : static_cast<OMX_U32>(list.size());
    return core->roles_result;
}

OMX_ERRORTYPE fake_get_handle(OMX_HANDLETYPE *handle, OMX_STRING name, OMX_PTR app_data, OMX_CALLBACKTYPE *callbacks)
{
    core->calls.push_back("get_handle " + std::string(name));
    EXPECT_NE(app_data, nullptr);
    EXPECT_EQ(callbacks->EventHandler, OMX_EventHandlerDone);
    EXPECT_EQ(callbacks->EmptyBufferDone, OMX_EmptyThisBufferDone);
    EXPECT_EQ(callbacks->FillBufferDone, OMX_FillThisBufferDone);
    EXPECT_TRUE(core->live.empty()) << "two component instances at once";
    const int n = core->get_handle_calls[name]++;
    auto results = core->get_handle_results.find(name);
    if (results != core->get_handle_results.end() && static_cast<size_t>(n) < results->second.size() &&
        results->second[static_cast<size_t>(n)] != OMX_ErrorNone)
        return results->second[static_cast<size_t>(n)];
    if (core->null_handle_names.count(name))
        return OMX_ErrorNone;
    core->handles.emplace_back();
    *handle = &core->handles.back();
    core->live.insert(*handle);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE fake_free_handle(OMX_HANDLETYPE handle)
{
    core->calls.push_back("free_handle");
    if (!core->live.erase(handle))
        core->bad_frees.push_back(handle);
    return core->free_result;
}

int fake_run(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *info, TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat)
{
    core->calls.push_back("run " + std::string(info->in_file_name));
    EXPECT_EQ(colorformat, SUPPORT_COLOR_FORMAT_ARGB8888);
    EXPECT_TRUE(core->live.count(handle)) << "decoding test on a handle the core did not give";
    EXPECT_NE(info->sema, nullptr);
    core->runs.push_back(*info);
    core->run_handles.push_back(handle);
    return 0;
}

// Fails the allocation with the given number (1-based) and counts the others.
int calloc_calls;
int calloc_fail_at;
void *counting_calloc(size_t count, size_t size)
{
    return ++calloc_calls == calloc_fail_at ? nullptr : calloc(count, size);
}

class CoreInterfaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        core = &fake_;
        table_ = {fake_init, fake_deinit, fake_enum, fake_get_handle, fake_free_handle, fake_roles};
        list_dir_ = make_temp_dir();
        setenv(OMX_LIST_DIR_ENV, list_dir_.c_str(), 1);
        omx_component_run = fake_run;
    }
    void TearDown() override
    {
        omx_component_run = omx_decoding_test;
        omx_driver_calloc = calloc;
        unsetenv(OMX_LIST_DIR_ENV);
        remove_tree(list_dir_);
        EXPECT_TRUE(fake_.live.empty()) << "handle left unfreed";
        EXPECT_TRUE(fake_.bad_frees.empty()) << "a handle the core did not give was freed";
        core = nullptr;
    }

    std::string run()
    {
        testing::internal::CaptureStdout();
        result_ = omx_core_interface_test(&table_);
        return testing::internal::GetCapturedStdout();
    }

    void list(const std::string &file, const std::string &text) { write_file(list_dir_ + "/" + file, text); }

    FakeCore fake_;
    OMX_CORE_INTERFACE table_{};
    std::string list_dir_;
    int result_ = 99;
};

const char kHead[] = "omx_core_interface_test\n"
                     "OMX UTC 001-01: OMX_Init test\n"
                     "OMX UTC 001-02: OMX_Deinit test\n"
                     "OMX UTC 001-03: OMX_Component Name test\n";

std::string handle_lines(int i, const std::string &name)
{
    const std::string tail = std::to_string(i) + " " + name + "\n";
    return "OMX UTC 001-05: OMX_GetHandle test: " + tail + "OMX UTC 001-06: OMX_FreeHandle test: " + tail;
}

std::string no_list_lines(const std::string &name, const std::string &row_line, int coding)
{
    return "comp name " + name + " \n" + (row_line.empty() ? "" : row_line + "\n") +
           "Can't find list file Error\ncoding type = " + std::to_string(coding) + "\ncan't open list file Error\n";
}

TEST_F(CoreInterfaceTest, NormalCoreGivesTheWholeReport)
{
    fake_.names = {"OMX.ZYN.AVC.Decoder", "OMX.ZYN.AVC.Encoder"};
    fake_.roles["OMX.ZYN.AVC.Decoder"] = {"video_decoder.avc"};
    fake_.roles["OMX.ZYN.AVC.Encoder"] = {"video_encoder.avc", "video_encoder.extra"};
    const std::string out = run();
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(out, std::string(kHead) +
                       "enumerateComponents 0 OMX.ZYN.AVC.Decoder\n"
                       "enumerateComponents 1 OMX.ZYN.AVC.Encoder\n"
                       "UTC 001-04: OMX_GetRolesOfComponent test\n"
                       "UTC 001-04: OMX_GetRolesOfComponent: 0 OMX.ZYN.AVC.Decoder\n"
                       "UTC 001-04: OMX_GetRolesOfComponent: numRoles:1, index=0, video_decoder.avc\n"
                       "UTC 001-04: OMX_GetRolesOfComponent: 1 OMX.ZYN.AVC.Encoder\n"
                       "UTC 001-04: OMX_GetRolesOfComponent: numRoles:2, index=0, video_encoder.avc\n"
                       "UTC 001-04: OMX_GetRolesOfComponent: numRoles:2, index=1, video_encoder.extra\n" +
                       handle_lines(0, "OMX.ZYN.AVC.Decoder") + handle_lines(1, "OMX.ZYN.AVC.Encoder") +
                       no_list_lines("OMX.ZYN.AVC.Decoder", "avcdec fileopen error ", 7) +
                       no_list_lines("OMX.ZYN.AVC.Encoder", "avcenc fileopen error ", 21) + "\n");
    const std::vector<std::string> expected_calls = {"init",
                                                     "deinit",
                                                     "init",
                                                     "enum 0",
                                                     "enum 1",
                                                     "enum 2",
                                                     "roles OMX.ZYN.AVC.Decoder",
                                                     "roles OMX.ZYN.AVC.Encoder",
                                                     "get_handle OMX.ZYN.AVC.Decoder",
                                                     "free_handle",
                                                     "get_handle OMX.ZYN.AVC.Encoder",
                                                     "free_handle",
                                                     "deinit"};
    EXPECT_EQ(fake_.calls, expected_calls);
}

TEST_F(CoreInterfaceTest, RoleQueryIsToldTheTenBuffers)
{
    fake_.names = {"a", "b", "c"};
    run();
    EXPECT_EQ(fake_.roles_capacity_given, (std::vector<OMX_U32>{10, 10, 10}));
}

TEST_F(CoreInterfaceTest, NoComponentEndsAfterTheNameTest)
{
    const std::string out = run();
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(out, std::string(kHead) + "OMX UTC 001-03: OMX_Component Name: FAIL: no component\n\n");
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"init", "deinit", "init", "enum 0", "deinit"}));
}

// A failed index still counts; its name buffer, never written, is an empty name.
TEST_F(CoreInterfaceTest, FailedEnumerationIndexCountsWithAnEmptyName)
{
    fake_.names = {"c0", "c1", "c2"};
    fake_.enum_errors[1] = OMX_ErrorUndefined;
    const std::string out = run();
    EXPECT_NE(out.find("enumerateComponents 0 c0\n"
                       "OMX UTC 001-03: OMX_Component Name: FAIL: error=80001001\n"
                       "enumerateComponents 2 c2\n"),
              std::string::npos);
    EXPECT_NE(out.find("UTC 001-04: OMX_GetRolesOfComponent: 1 \n"), std::string::npos);
    EXPECT_NE(out.find(handle_lines(1, "")), std::string::npos);
    EXPECT_EQ(fake_.get_handle_calls[""], 1);
}

TEST_F(CoreInterfaceTest, FailingInitGoesStraightToDeinit)
{
    fake_.names = {"c0"};
    fake_.init_results = {OMX_ErrorInsufficientResources};
    const std::string out = run();
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(out, "omx_core_interface_test\nOMX UTC 001-01: OMX_Init test\n"
                   "OMX UTC 001-01: OMX_Init: FAIL: error=80001000\n\n");
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"init", "deinit"}));
}

TEST_F(CoreInterfaceTest, FailingDeinitGoesStraightToCleanUp)
{
    fake_.names = {"c0"};
    fake_.deinit_result = OMX_ErrorInvalidState;
    const std::string out = run();
    EXPECT_EQ(out, "omx_core_interface_test\nOMX UTC 001-01: OMX_Init test\nOMX UTC 001-02: OMX_Deinit test\n"
                   "OMX UTC 001-02: OMX_Deinit: FAIL: error=8000100a\n\n");
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"init", "deinit", "deinit"}));
}

// The second init's result is not examined: the run goes on.
TEST_F(CoreInterfaceTest, SecondInitFailureDoesNotStopTheRun)
{
    fake_.names = {"c0"};
    fake_.init_results = {OMX_ErrorNone, OMX_ErrorUndefined};
    const std::string out = run();
    EXPECT_NE(out.find("enumerateComponents 0 c0\n"), std::string::npos);
}

TEST_F(CoreInterfaceTest, MoreThanTenRolesAreClampedToTheTenBuffers)
{
    fake_.names = {"c0"};
    fake_.roles["c0"] = {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9"};
    fake_.roles_answer_override = 12;
    const std::string out = run();
    std::string expected = "UTC 001-04: OMX_GetRolesOfComponent: 0 c0\n"
                           "UTC 001-04: OMX_GetRolesOfComponent: numRoles:c is above the 10 role buffers: FAIL: c0\n";
    for (int j = 0; j < 10; ++j)
        expected += "UTC 001-04: OMX_GetRolesOfComponent: numRoles:a, index=" + std::string(1, "0123456789"[j]) +
                    ", r" + std::to_string(j) + "\n";
    EXPECT_NE(out.find(expected + "OMX UTC 001-05"), std::string::npos) << out;
}

TEST_F(CoreInterfaceTest, RoleQueryErrorFollowsTheRoleLines)
{
    fake_.names = {"c0"};
    fake_.roles["c0"] = {"r0"};
    fake_.roles_result = OMX_ErrorBadParameter;
    const std::string out = run();
    EXPECT_NE(out.find("UTC 001-04: OMX_GetRolesOfComponent: numRoles:1, index=0, r0\n"
                       "UTC 001-04: OMX_GetRolesOfComponent: FAIL: 80001005, c0\n"),
              std::string::npos);
}

// A refused handle is reported and never handed back to the core.
TEST_F(CoreInterfaceTest, FailedGetHandleIsReportedAndNothingIsFreed)
{
    fake_.names = {"c0", "c1"};
    fake_.get_handle_results["c0"] = {OMX_ErrorComponentNotFound};
    const std::string out = run();
    EXPECT_NE(out.find("OMX UTC 001-05: OMX_GetHandle test: 0 c0\n"
                       "OMX UTC 001-05: OMX_GetHandle: FAIL: 80001003, c0\n"
                       "OMX UTC 001-06: OMX_FreeHandle test: 0 c0\n"
                       "OMX UTC 001-06: OMX_FreeHandle: skipped, no handle: c0\n" +
                       handle_lines(1, "c1")),
              std::string::npos)
        << out;
    EXPECT_EQ(std::count(fake_.calls.begin(), fake_.calls.end(), "free_handle"), 1);
}

TEST_F(CoreInterfaceTest, SuccessWithoutAHandleIsAFailure)
{
    fake_.names = {"c0"};
    fake_.null_handle_names = {"c0"};
    const std::string out = run();
    EXPECT_NE(out.find("OMX UTC 001-05: OMX_GetHandle: FAIL: no handle, c0\n"
                       "OMX UTC 001-06: OMX_FreeHandle test: 0 c0\n"
                       "OMX UTC 001-06: OMX_FreeHandle: skipped, no handle: c0\n"),
              std::string::npos);
    EXPECT_EQ(std::count(fake_.calls.begin(), fake_.calls.end(), "free_handle"), 0);
}

TEST_F(CoreInterfaceTest, FreeHandleErrorIsReported)
{
    fake_.names = {"c0"};
    fake_.free_result = OMX_ErrorIncorrectStateOperation;
    const std::string out = run();
    EXPECT_NE(
        out.find("OMX UTC 001-06: OMX_FreeHandle test: 0 c0\nOMX UTC 001-06: OMX_FreeHandle: FAIL: 80001018, c0\n"),
        std::string::npos)
        << out;
}

TEST_F(CoreInterfaceTest, SemaphoreAllocationFailureTouchesNoCore)
{
    calloc_calls = 0;
    calloc_fail_at = 1;
    omx_driver_calloc = counting_calloc;
    fake_.names = {"c0"};
    EXPECT_EQ(run(), "malloc(sema) Error\n");
    EXPECT_EQ(result_, -1);
    EXPECT_TRUE(fake_.calls.empty());
}

// Allocations 2..11 are the name buffers, 12..21 the role buffers.
TEST_F(CoreInterfaceTest, BufferAllocationFailureIsReportedAndTouchesNoCore)
{
    const std::pair<int, const char *> cases[] = {{2, "malloc(component_name[0]) Error\n"},
                                                  {7, "malloc(component_name[5]) Error\n"},
                                                  {12, "malloc(component_role[0]) Error\n"},
                                                  {21, "malloc(component_role[9]) Error\n"}};
    fake_.names = {"c0"};
    omx_driver_calloc = counting_calloc;
    for (const auto &[fail_at, line] : cases) {
        SCOPED_TRACE(fail_at);
        calloc_calls = 0;
        calloc_fail_at = fail_at;
        EXPECT_EQ(run(), line);
        EXPECT_EQ(result_, -1);
        EXPECT_TRUE(fake_.calls.empty());
    }
    calloc_calls = 0;
    calloc_fail_at = 22;
    EXPECT_NE(run(), "");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(calloc_calls, 21);
}

TEST_F(CoreInterfaceTest, EveryListEntryRunsOnAFreshHandle)
{
    fake_.names = {"OMX.ZYN.AVC.Decoder"};
    list("avcdec_list.txt", "a.264 oa\n176\n144\nb.264 ob\n320\n240\nc.264 oc\n640\n480\nLIST_FILE_END\n");
    const std::string out = run();
    EXPECT_NE(out.find("comp name OMX.ZYN.AVC.Decoder \ncoding type = 7\n"
                       "\ninfile: a.264\nwidth: 176, height: 144\n"
                       "\ninfile: b.264\nwidth: 320, height: 240\n"
                       "\ninfile: c.264\nwidth: 640, height: 480\n\n"),
              std::string::npos)
        << out;
    const std::vector<std::string> tail(fake_.calls.end() - 10, fake_.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"get_handle OMX.ZYN.AVC.Decoder", "run a.264", "free_handle",
                                              "get_handle OMX.ZYN.AVC.Decoder", "run b.264", "free_handle",
                                              "get_handle OMX.ZYN.AVC.Decoder", "run c.264", "free_handle", "deinit"}));
    ASSERT_EQ(fake_.runs.size(), 3u);
    EXPECT_EQ(fake_.runs[1].component_type, OMX_COMPONENT_AVCDEC);
    EXPECT_EQ(fake_.runs[1].coding_type, OMX_VIDEO_CodingAVC);
    EXPECT_EQ(fake_.runs[1].width, 320);
    EXPECT_NE(fake_.run_handles[0], fake_.run_handles[1]);
    EXPECT_NE(fake_.run_handles[1], fake_.run_handles[2]);
    EXPECT_EQ(list_file, nullptr) << "the list file is closed after its end";
}

TEST_F(CoreInterfaceTest, OnlyTheEndMarkerGivesNoExtraHandle)
{
    fake_.names = {"OMX.ZYN.VP8.Decoder"};
    list("vp8dec_list.txt", "LIST_FILE_END\n");
    const std::string out = run();
    EXPECT_EQ(fake_.get_handle_calls["OMX.ZYN.VP8.Decoder"], 1);
    EXPECT_TRUE(fake_.runs.empty());
    EXPECT_NE(out.find("comp name OMX.ZYN.VP8.Decoder \ncoding type = 9\n\n"), std::string::npos);
}

TEST_F(CoreInterfaceTest, EncoderWithAListFileIsRunLikeADecoder)
{
    fake_.names = {"OMX.ZYN.H263.Encoder"};
    list("h263enc_list.txt", "in.yuv out.263\n176\n144\n1\n64000\n15\nLIST_FILE_END\n");
    run();
    ASSERT_EQ(fake_.runs.size(), 1u);
    EXPECT_EQ(fake_.runs[0].component_type, OMX_COMPONENT_H263ENC);
    EXPECT_EQ(fake_.runs[0].format.h263enc.profile, 64000);
}

TEST_F(CoreInterfaceTest, ListWithoutMarkerRunsItsEntriesAndStops)
{
    fake_.names = {"OMX.ZYN.MPEG4.Decoder", "OMX.ZYN.WMV.Decoder"};
    list("mpeg4dec_list.txt", "a.m4v oa\n176\n144\nb.m4v ob\n176\n144\n");
    list("wmvdec_list.txt", "w.rcv ow\n320\n240\nLIST_FILE_END\n");
    const std::string out = run();
    ASSERT_EQ(fake_.runs.size(), 3u);
    EXPECT_STREQ(fake_.runs[2].in_file_name, "w.rcv");
    EXPECT_NE(out.find("width: 176, height: 144\nparse_list: list file ends without LIST_FILE_END\n"
                       "comp name OMX.ZYN.WMV.Decoder \n"),
              std::string::npos)
        << out;
}

// A refused handle in the loop skips that entry only: no decoding test, no free.
TEST_F(CoreInterfaceTest, LoopSkipsAnEntryWhoseHandleIsRefused)
{
    fake_.names = {"OMX.ZYN.AVC.Decoder"};
    fake_.get_handle_results["OMX.ZYN.AVC.Decoder"] = {OMX_ErrorNone, OMX_ErrorInsufficientResources};
    list("avcdec_list.txt", "a.264 oa\n16\n16\nb.264 ob\n16\n16\nLIST_FILE_END\n");
    const std::string out = run();
    EXPECT_NE(out.find("\ninfile: a.264\nwidth: 16, height: 16\n"
                       "omx_component_test_loop: OMX_GetHandle: FAIL: 80001000, OMX.ZYN.AVC.Decoder\n"
                       "\ninfile: b.264\n"),
              std::string::npos)
        << out;
    ASSERT_EQ(fake_.runs.size(), 1u);
    EXPECT_STREQ(fake_.runs[0].in_file_name, "b.264");
    EXPECT_EQ(std::count(fake_.calls.begin(), fake_.calls.end(), "free_handle"), 2);
}

TEST_F(CoreInterfaceTest, UnknownComponentIsPassedOverInTheLoop)
{
    fake_.names = {"OMX.ACME.Foo.Decoder", "OMX.ZYN.AVC.Decoder"};
    list("avcdec_list.txt", "a.264 oa\n16\n16\nLIST_FILE_END\n");
    const std::string out = run();
    EXPECT_NE(out.find(no_list_lines("OMX.ACME.Foo.Decoder", "", 0) + "comp name OMX.ZYN.AVC.Decoder \n"),
              std::string::npos)
        << out;
    ASSERT_EQ(fake_.runs.size(), 1u);
}

// The loop is not reached when UTC 001 ended early.
TEST_F(CoreInterfaceTest, EarlyEndSkipsTheLoop)
{
    fake_.init_results = {OMX_ErrorUndefined};
    fake_.names = {"OMX.ZYN.AVC.Decoder"};
    list("avcdec_list.txt", "a.264 oa\n16\n16\nLIST_FILE_END\n");
    const std::string out = run();
    EXPECT_EQ(out.find("comp name"), std::string::npos);
    EXPECT_TRUE(fake_.runs.empty());
}

} // namespace
