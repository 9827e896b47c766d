/* Bounded waits on the run's semaphore.
 *
 * A component that never reports a completion must not hang the test run, so
 * every wait of the cases and the streaming tests ends after a limit:
 * 5000 ms by default, or the number of milliseconds in the environment
 * variable OMX_TEST_WAIT_MS (a decimal number from 1 to 3600000; any other
 * value falls back to the default). The variable is read at every wait. */
#pragma once

#include "omx_component_info.h"

#define OMX_TEST_WAIT_MS_DEFAULT 5000

/* The milliseconds in the environment variable `name` (1 to 3600000), or `fallback`. */
int omx_env_ms(const char *name, int fallback);

/* The wait limit in milliseconds (OMX_TEST_WAIT_MS or the default). */
int omx_wait_limit_ms(void);

/* Takes one post of the semaphore, waiting at most the limit. Returns 0 on a
 * post and nonzero on expiry (or without a semaphore); prints nothing. */
int omx_wait_sema_quiet(sem_t *sema);

/* Takes one post of info->sema, waiting at most the limit. Returns 0 on a
 * post. On expiry prints the one line
 *   "wait for <what>: timeout FAIL: <limit> ms"
 * (counted as a timeout line) and returns nonzero. Without a semaphore it
 * prints "wait for <what>: no semaphore Error" (a failure line) and returns
 * nonzero. */
int omx_wait_sema(ZYN_OMX_COMPONENT_INFO *info, const char *what);
