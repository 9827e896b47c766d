// The bounded wait and the counting printers shared by every case.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "omx_report.h"
#include "omx_wait.h"

namespace
{

struct WaitEnv : ::testing::Test {
    void TearDown() override { unsetenv("OMX_TEST_WAIT_MS"); }
};

TEST_F(WaitEnv, LimitComesFromTheEnvironmentOrTheDefault)
{
    unsetenv("OMX_TEST_WAIT_MS");
    EXPECT_EQ(omx_wait_limit_ms(), 5000);
    setenv("OMX_TEST_WAIT_MS", "250", 1);
    EXPECT_EQ(omx_wait_limit_ms(), 250);
    for (const char *bad : {"", "0", "-3", "12ms", "3600001", "99999999999999999999"}) {
        setenv("OMX_TEST_WAIT_MS", bad, 1);
        EXPECT_EQ(omx_wait_limit_ms(), 5000) << bad;
    }
}

TEST_F(WaitEnv, PostedSemaphoreReturnsAtOnceWithoutALine)
{
    sem_t sema;
    ASSERT_EQ(sem_init(&sema, 0, 2), 0);
    ZYN_OMX_COMPONENT_INFO info{};
    info.sema = &sema;
    const int timeouts = omx_report_timeout_count();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(omx_wait_sema(&info, "first"), 0);
    EXPECT_EQ(omx_wait_sema(&info, "second"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(omx_report_timeout_count(), timeouts);
    sem_destroy(&sema);
}

TEST_F(WaitEnv, ExpiryPrintsOneCountedTimeoutLineNamingTheWait)
{
    setenv("OMX_TEST_WAIT_MS", "20", 1);
    sem_t sema;
    ASSERT_EQ(sem_init(&sema, 0, 0), 0);
    ZYN_OMX_COMPONENT_INFO info{};
    info.sema = &sema;
    const int timeouts = omx_report_timeout_count();
    const int fails = omx_report_fail_count();
    ::testing::internal::CaptureStdout();
    EXPECT_NE(omx_wait_sema(&info, "OMX_StateIdle"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "wait for OMX_StateIdle: timeout FAIL: 20 ms\n");
    EXPECT_EQ(omx_report_timeout_count(), timeouts + 1);
    EXPECT_EQ(omx_report_fail_count(), fails);
    EXPECT_NE(omx_wait_sema_quiet(&sema), 0);
    sem_destroy(&sema);
}

TEST_F(WaitEnv, MissingSemaphoreIsAFailureNotAHang)
{
    ZYN_OMX_COMPONENT_INFO info{};
    const int fails = omx_report_fail_count();
    ::testing::internal::CaptureStdout();
    EXPECT_NE(omx_wait_sema(&info, "buffer"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "wait for buffer: no semaphore Error\n");
    EXPECT_EQ(omx_report_fail_count(), fails + 1);
}

} // namespace
