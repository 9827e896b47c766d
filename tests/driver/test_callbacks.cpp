// Client callbacks (the semaphore protocol), time differences, version stamp
// and the budget comparison of UTC 001.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "omx_component.h"
#include "omx_driver_internal.h"

namespace
{

struct timeval tv(long sec, long usec)
{
    struct timeval t;
    t.tv_sec = sec;
    t.tv_usec = usec;
    return t;
}

int elapsed(struct timeval start, struct timeval stop)
{
    return measureTimeUS(&start, &stop);
}

TEST(MeasureTimeUS, BorrowsASecondWhenMicrosecondsWrap)
{
    EXPECT_EQ(elapsed(tv(5, 900000), tv(6, 100000)), 200000);
}

TEST(MeasureTimeUS, EqualTimesGiveZero)
{
    EXPECT_EQ(elapsed(tv(5, 100), tv(5, 100)), 0);
}

TEST(MeasureTimeUS, ClockSteppedBackGivesNegative)
{
    EXPECT_EQ(elapsed(tv(5, 200), tv(5, 100)), -100);
    EXPECT_EQ(elapsed(tv(7, 0), tv(5, 999999)), -1000001);
}

TEST(MeasureTimeUS, WholeSecondsAndMicroseconds)
{
    EXPECT_EQ(elapsed(tv(100, 250), tv(103, 750)), 3000500);
    EXPECT_EQ(elapsed(tv(0, 0), tv(2147, 483647)), INT_MAX);
}

// Spans beyond the int range saturate instead of wrapping to a small or
// negative number that would hide a hung call from the budget check.
TEST(MeasureTimeUS, LongSpansSaturate)
{
    EXPECT_EQ(elapsed(tv(0, 0), tv(2147, 483648)), INT_MAX);
    EXPECT_EQ(elapsed(tv(0, 0), tv(5000, 0)), INT_MAX);
    EXPECT_EQ(elapsed(tv(5000, 0), tv(0, 0)), INT_MIN);
    EXPECT_EQ(elapsed(tv(LONG_MIN, 0), tv(LONG_MAX, 0)), INT_MAX);
    EXPECT_EQ(elapsed(tv(LONG_MAX, 0), tv(LONG_MIN, 0)), INT_MIN);
}

TEST(OmxSetVersion, StampsOnePointZero)
{
    OMX_VERSIONTYPE version;
    memset(&version, 0xA5, sizeof version);
    omx_set_version(&version);
    EXPECT_EQ(version.s.nVersionMajor, 1);
    EXPECT_EQ(version.s.nVersionMinor, 0);
    EXPECT_EQ(version.s.nRevision, 0);
    EXPECT_EQ(version.s.nStep, 0);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    EXPECT_EQ(version.nVersion, 1u);
#endif
}

TEST(TimeBudget, CoreCallsFailFromTwentyMilliseconds)
{
    EXPECT_FALSE(omx_time_over_budget(19999, UTC001_CORE_BUDGET_US));
    EXPECT_TRUE(omx_time_over_budget(20000, UTC001_CORE_BUDGET_US));
    EXPECT_FALSE(omx_time_over_budget(-5, UTC001_CORE_BUDGET_US));
}

TEST(TimeBudget, RoleQueryFailsFromFiveMilliseconds)
{
    EXPECT_FALSE(omx_time_over_budget(4999, UTC001_ROLES_BUDGET_US));
    EXPECT_TRUE(omx_time_over_budget(5000, UTC001_ROLES_BUDGET_US));
}

class Callbacks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(sem_init(&sema_, 0, 0), 0);
        info_.sema = &sema_;
    }
    void TearDown() override { sem_destroy(&sema_); }

    int posts()
    {
        int value = -1;
        sem_getvalue(&sema_, &value);
        return value;
    }

    OMX_ERRORTYPE event(OMX_EVENTTYPE kind, OMX_U32 data1 = 0, OMX_U32 data2 = 0)
    {
        return OMX_EventHandlerDone(nullptr, &info_, kind, data1, data2, nullptr);
    }

    sem_t sema_;
    ZYN_OMX_COMPONENT_INFO info_{};
    OMX_BUFFERHEADERTYPE buffer_{};
};

TEST_F(Callbacks, CommandCompletePostsOnceAndPrintsNothing)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(event(OMX_EventCmdComplete, OMX_CommandStateSet, OMX_StateIdle), OMX_ErrorNone);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(posts(), 1);
}

TEST_F(Callbacks, ErrorEventPrintsCodesInHexAndPostsOnce)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(event(OMX_EventError, 26, 3), OMX_ErrorNone);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "OMX_EventHandlerDone: OMX_EventError: 1a 3\n");
    EXPECT_EQ(posts(), 1);

    testing::internal::CaptureStdout();
    event(OMX_EventError, 0x80001006, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "OMX_EventHandlerDone: OMX_EventError: 80001006 0\n");
    EXPECT_EQ(posts(), 2);
}

TEST_F(Callbacks, OtherEventsPostNothingAndPrintNothing)
{
    testing::internal::CaptureStdout();
    for (OMX_EVENTTYPE kind : {OMX_EventMark, OMX_EventPortSettingsChanged, OMX_EventBufferFlag,
                               OMX_EventResourcesAcquired, OMX_EventVendorStartUnused})
        EXPECT_EQ(event(kind, 1, 2), OMX_ErrorNone);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(posts(), 0);
}

TEST_F(Callbacks, EveryReturnedInputBufferPostsOnce)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(OMX_EmptyThisBufferDone(nullptr, &info_, &buffer_), OMX_ErrorNone);
    EXPECT_EQ(posts(), 3);
}

TEST_F(Callbacks, ReturnedOutputBuffersPostNothingAndAreLeftAlone)
{
    buffer_.nFilledLen = 1234;
    EXPECT_EQ(OMX_FillThisBufferDone(nullptr, &info_, &buffer_), OMX_ErrorNone);
    EXPECT_EQ(posts(), 0);
    EXPECT_EQ(buffer_.nFilledLen, 1234u);
}

TEST_F(Callbacks, MixedSequenceCountsOnePostPerCompletionErrorAndInputBuffer)
{
    testing::internal::CaptureStdout();
    event(OMX_EventCmdComplete);
    OMX_EmptyThisBufferDone(nullptr, &info_, &buffer_);
    OMX_FillThisBufferDone(nullptr, &info_, &buffer_);
    event(OMX_EventPortSettingsChanged);
    event(OMX_EventError, 1, 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(posts(), 3);
}

// A component that hands back no application data must not crash the run.
TEST(CallbacksWithoutRecord, DoNothing)
{
    EXPECT_EQ(OMX_EventHandlerDone(nullptr, nullptr, OMX_EventCmdComplete, 0, 0, nullptr), OMX_ErrorNone);
    EXPECT_EQ(OMX_EmptyThisBufferDone(nullptr, nullptr, nullptr), OMX_ErrorNone);
    ZYN_OMX_COMPONENT_INFO no_semaphore{};
    EXPECT_EQ(OMX_EmptyThisBufferDone(nullptr, &no_semaphore, nullptr), OMX_ErrorNone);
}

} // namespace
