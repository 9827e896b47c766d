// Bounded semaphore waits: a silent component costs one report line, not a hang.
#include "omx_wait.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "omx_report.h"

int omx_env_ms(const char *name, int fallback)
{
    const char *text = getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    char *end = nullptr;
    errno = 0;
    const long value = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > 3600000)
        return fallback;
    return static_cast<int>(value);
}

int omx_wait_limit_ms(void)
{
    return omx_env_ms("OMX_TEST_WAIT_MS", OMX_TEST_WAIT_MS_DEFAULT);
}

int omx_wait_sema_quiet(sem_t *sema)
{
    if (sema == nullptr)
        return -1;
    const int limit_ms = omx_wait_limit_ms();
    // The deadline is on the monotonic clock: a wall-clock step must not stretch or cut a wait.
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += limit_ms / 1000;
    deadline.tv_nsec += static_cast<long>(limit_ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (sem_clockwait(sema, CLOCK_MONOTONIC, &deadline) == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

int omx_wait_sema(ZYN_OMX_COMPONENT_INFO *info, const char *what)
{
    if (what == nullptr)
        what = "completion";
    if (info == nullptr || info->sema == nullptr) {
        omx_report_fail("wait for %s: no semaphore Error\n", what);
        return -1;
    }
    if (omx_wait_sema_quiet(info->sema) == 0)
        return 0;
    omx_report_timeout("wait for %s: timeout FAIL: %d ms\n", what, omx_wait_limit_ms());
    return -1;
}
