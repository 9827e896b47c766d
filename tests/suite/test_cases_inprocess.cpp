// Buffer-using cases on an in-process component: port counts at their edges.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fake_component.h"
#include "omx_case_support.h"
#include "omx_component.h"
#include "omx_report.h"

namespace
{

struct CaseOnFake : ::testing::Test {
    sem_t sema{};
    ZYN_OMX_COMPONENT_INFO info{};

    void SetUp() override
    {
        ASSERT_EQ(sem_init(&sema, 0, 0), 0);
        info.sema = &sema;
        info.component_type = OMX_COMPONENT_MPEG4DEC;
        setenv("OMX_TEST_WAIT_MS", "200", 1);
    }
    void TearDown() override
    {
        unsetenv("OMX_TEST_WAIT_MS");
        sem_destroy(&sema);
    }

    struct Result {
        int status;
        std::string out;
        int fails;
        int timeouts;
    };

    Result run(int (*test)(OMX_COMPONENTTYPE *, ZYN_OMX_COMPONENT_INFO *), FakeComponent &component)
    {
        const int fails = omx_report_fail_count();
        const int timeouts = omx_report_timeout_count();
        ::testing::internal::CaptureStdout();
        const int status = test(&component.handle, &info);
        std::string out = ::testing::internal::GetCapturedStdout();
        return {status, out, omx_report_fail_count() - fails, omx_report_timeout_count() - timeouts};
    }

    int leftover_posts()
    {
        int value = -1;
        sem_getvalue(&sema, &value);
        return value;
    }
};

TEST_F(CaseOnFake, StateCycleWithMinimumZeroMakesNoBufferCall)
{
    FakeComponent component(&info);
    component.min_count[0] = 0;
    component.min_count[1] = 0;
    const Result r = run(omx_component_state_test, component);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(component.buffer_calls, 0);
    EXPECT_EQ(r.fails, 0) << r.out;
    EXPECT_EQ(r.timeouts, 0) << r.out;
    EXPECT_EQ(component.state, OMX_StateLoaded);
    EXPECT_EQ(r.out, "OMX UTC 004: omx_component_state_test\n"
                     "OMX UTC 004-01: OMX_GetState test\n"
                     "OMX UTC 004-02: OMX Component state transaction test\n");
    // Exactly the four completions were waited for.
    EXPECT_EQ(leftover_posts(), 0);
}

TEST_F(CaseOnFake, EveryBufferCaseRefusesCountsBeyondTheSlots)
{
    struct {
        int (*test)(OMX_COMPONENTTYPE *, ZYN_OMX_COMPONENT_INFO *);
        const char *banner;
        const char *line;
        OMX_U32 in, out;
    } cases[] = {
        {omx_component_state_test, "OMX UTC 004: omx_component_state_test\n",
         "OMX UTC 004: buffer count FAIL: input 6 (at most 5), output 3 (at most 3), 2\n", 6, 3},
        {omx_buffer_test, "OMX UTC 002: omx_buffer_test\n",
         "OMX UTC 002: buffer count FAIL: input 5 (at most 5), output 4 (at most 3), 2\n", 5, 4},
        {omx_port_test, "OMX UTC 003: omx_port_test\n",
         "OMX UTC 003: buffer count FAIL: input 9 (at most 5), output 0 (at most 3), 2\n", 9, 0},
    };
    for (const auto &c : cases) {
        FakeComponent component(&info);
        component.min_count[0] = c.in;
        component.min_count[1] = c.out;
        const Result r = run(c.test, component);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(r.out, std::string(c.banner) + c.line);
        EXPECT_EQ(r.fails, 1);
        EXPECT_EQ(component.buffer_calls, 0);
        EXPECT_EQ(component.commands, 0);
    }
}

TEST_F(CaseOnFake, BufferCaseAtTheSlotLimitsUsesEverySlot)
{
    FakeComponent component(&info);
    component.min_count[0] = 5;
    component.min_count[1] = 3;
    const Result r = run(omx_buffer_test, component);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.fails, 0) << r.out;
    EXPECT_EQ(component.buffer_calls, 16); // 5 + 3 given, 5 + 3 freed
    EXPECT_EQ(component.emptied_lengths, std::vector<OMX_U32>{10});
    // The last wait takes one of the two posts (buffer returned, Loaded done).
    EXPECT_EQ(leftover_posts(), 1);
    for (OMX_BUFFERHEADERTYPE *slot : in_buffer_header)
        EXPECT_EQ(slot, nullptr);
}

TEST_F(CaseOnFake, BufferCaseWithoutBuffersSkipsTheSlotZeroCalls)
{
    FakeComponent component(&info);
    component.min_count[0] = 0;
    component.min_count[1] = 0;
    const Result r = run(omx_buffer_test, component);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "OMX UTC 002: omx_buffer_test\n"
                     "OMX UTC 002-01: OMX_UseBuffer test\n"
                     "OMX UTC 002-02: OMX_AllocateBuffer test\n"
                     "OMX UTC 002-04: OMX_EmptyThisBuffer test\n"
                     "OMX UTC 002-04: OMX_EmptyThisBuffer: no input buffer, skipped: 2\n"
                     "OMX UTC 002-05: OMX_FillThisBuffer test\n"
                     "OMX UTC 002-05: OMX_FillThisBuffer: no output buffer, skipped: 2\n"
                     "OMX UTC 002-03: OMX_FreeBuffer test\n");
    EXPECT_EQ(component.buffer_calls, 0);
    EXPECT_TRUE(component.emptied.empty());
    EXPECT_EQ(r.fails + r.timeouts, 0);
    // Nothing emptied: the last wait takes the Loaded completion.
    EXPECT_EQ(leftover_posts(), 0);
}

TEST_F(CaseOnFake, PortCaseWaitsOncePerCommand)
{
    FakeComponent component(&info);
    const Result r = run(omx_port_test, component);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "OMX UTC 003: omx_port_test\n"
                     "OMX UTC 003-03: OMX port flush test\n"
                     "OMX UTC 003-01: OMX port disable test\n"
                     "OMX UTC 003-02: OMX port enable test\n");
    EXPECT_EQ(component.commands, 10);
    EXPECT_EQ(leftover_posts(), 0);
}

// Fails the allocation with the given number (0 = the first), succeeds otherwise.
int failing_allocation = -1;
int allocations = 0;
void *counting_calloc(size_t count, size_t size)
{
    return allocations++ == failing_allocation ? nullptr : calloc(count, size);
}

struct AllocationFailure : CaseOnFake {
    void SetUp() override
    {
        CaseOnFake::SetUp();
        allocations = 0;
        omx_case_calloc = counting_calloc;
    }
    void TearDown() override
    {
        omx_case_calloc = calloc;
        failing_allocation = -1;
        CaseOnFake::TearDown();
    }
};

TEST_F(AllocationFailure, InputBufferThatCannotBeHadEndsTheCaseBeforeAnyCall)
{
    struct {
        int (*test)(OMX_COMPONENTTYPE *, ZYN_OMX_COMPONENT_INFO *);
        const char *banner;
    } cases[] = {{omx_component_state_test, "OMX UTC 004: omx_component_state_test\n"},
                 {omx_buffer_test, "OMX UTC 002: omx_buffer_test\n"},
                 {omx_port_test, "OMX UTC 003: omx_port_test\n"}};
    for (const auto &c : cases) {
        FakeComponent component(&info);
        allocations = 0;
        failing_allocation = 1;
        const Result r = run(c.test, component);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(r.out, std::string(c.banner) + "malloc(in_buffer[1]) return Error\n");
        EXPECT_EQ(r.fails, 1);
        EXPECT_EQ(component.commands + component.buffer_calls, 0);
    }
}

// Fields a case does not set reach the component as zeros, after nSize and
// the 1.0.0.0 stamp.
TEST_F(CaseOnFake, ParameterRecordsArriveClearedWithSizeAndVersion)
{
    FakeComponent component(&info);
    const Result get = run(omx_get_parameter_test, component);
    EXPECT_EQ(get.status, 0);
    const Result set = run(omx_set_parameter_test, component);
    EXPECT_EQ(set.status, 0);
    struct Expect {
        OMX_INDEXTYPE index;
        size_t size;
    };
    const Expect expected[] = {
        {OMX_IndexParamStandardComponentRole, sizeof(OMX_PARAM_COMPONENTROLETYPE)},
        {OMX_IndexParamVideoPortFormat, sizeof(OMX_VIDEO_PARAM_PORTFORMATTYPE)},
        {OMX_IndexParamVideoProfileLevelQuerySupported, sizeof(OMX_VIDEO_PARAM_PROFILELEVELTYPE)},
        {OMX_IndexParamVideoErrorCorrection, sizeof(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE)},
    };
    int checked = 0;
    for (const auto &[index, bytes] : component.records) {
        for (const Expect &e : expected) {
            if (e.index != index)
                continue;
            // The fake answers these with an error, so every record holds what the case sent.
            ASSERT_EQ(bytes.size(), e.size);
            EXPECT_EQ(bytes[4], 1); // nVersionMajor
            for (size_t i = 5; i < bytes.size(); i++)
                ASSERT_EQ(bytes[i], 0) << "index " << std::hex << index << " byte " << std::dec << i;
            checked++;
        }
    }
    // 005: role, format, profile level, error correction; 006: get and set of three of them.
    EXPECT_EQ(checked, 4 + 3 * 2);
}

} // namespace
