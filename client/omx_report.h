/* Failure and timeout lines of the test program (core interface test, cases, streaming passes).
 * Every such line goes through these two printers so that a runner can count
 * what a case reported without re-reading standard output. */
#pragma once

#include <stdio.h>

/* Prints one failure line (printf format) and counts it. */
void omx_report_fail(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* Prints one "timeout FAIL" line (printf format) and counts it. */
void omx_report_timeout(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* Prints one line saying a step was skipped (printf format) and counts it. */
void omx_report_skip(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* Lines printed since the process started; a runner takes the difference
 * around each case. */
int omx_report_fail_count(void);
int omx_report_timeout_count(void);
int omx_report_skip_count(void);

/* The three counts at one moment; the difference of two is what was printed in between. */
struct OmxReportCounts {
    int fail = 0;
    int timeout = 0;
    int skip = 0;
};
OmxReportCounts omx_report_counts(void);
inline OmxReportCounts operator-(const OmxReportCounts &a, const OmxReportCounts &b)
{
    return {a.fail - b.fail, a.timeout - b.timeout, a.skip - b.skip};
}
inline OmxReportCounts &operator+=(OmxReportCounts &a, const OmxReportCounts &b)
{
    a.fail += b.fail;
    a.timeout += b.timeout;
    a.skip += b.skip;
    return a;
}

/* From here on every failure, timeout and skip line is also written to `file` (null: no
 * longer), so that a runner can hand a case's lines on; a forked child writes into the same
 * file. */
void omx_report_copy_lines_to(FILE *file);

/* From here on the counts are shared with the processes this one forks, so
 * a parent reads what an isolated child reported, up to a crash. */
void omx_report_share_counts(void);
