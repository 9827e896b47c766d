/* The timed component call shared by the conformance cases.
 *
 * The call, optionally one wait for its completion inside the span, then the case's FAIL line
 * when the call returned an error and the case's timeout line when the span broke the budget.
 * Both lines are counted (omx_report.h). */
#pragma once

#include "omx_component_info.h"
#include "omx_report.h"
#include "omx_timing.h"
#include "omx_wait.h"

enum omx_timed_wait {
    OMX_TIMED_NO_WAIT = 0,
    OMX_TIMED_WAIT = 1, /* wait for the completion inside the span */
};

/* fail_line: printf format taking the error (%x) and component_type (%d)
 *   (a format may use only the error; the extra argument is then ignored).
 * timeout_line: printf format taking component_type (%d) and the time (%d).
 * The wait is skipped when the call failed, since a refused command posts
 * nothing. A wait that expires prints the case's own timeout line (once),
 * whatever the measured time, instead of a separate wait line.
 * Returns the call's result. */
template <typename Call>
OMX_ERRORTYPE omx_timed_call(ZYN_OMX_COMPONENT_INFO *component_info, int budget_us, omx_timed_wait wait,
                             const char *fail_line, const char *timeout_line, Call &&call)
{
    OmxStopwatch stopwatch;
    OMX_ERRORTYPE err;
    {
        OmxTimedSpan span;
        err = call();
    }
    bool wait_expired = false;
    if (wait == OMX_TIMED_WAIT && err == OMX_ErrorNone)
        wait_expired = omx_wait_sema_quiet(component_info->sema) != 0;
    const int time = stopwatch.elapsed_us();
    const int type = static_cast<int>(component_info->component_type);
    if (err != OMX_ErrorNone)
        omx_report_fail(fail_line, static_cast<unsigned>(err), type);
    if (omx_over_budget(time, budget_us) || wait_expired)
        omx_report_timeout(timeout_line, type, time);
    return err;
}
