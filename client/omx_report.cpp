// Counting printers for failure and timeout lines.
#include "omx_report.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace
{
// Module-level by design: the counts of the whole process, which a runner reads around each case.
// Atomic because a component thread may report while the main thread counts.
std::atomic<int> fail_lines{0};
std::atomic<int> timeout_lines{0};

void print_line(const char *format, va_list args)
{
    vprintf(format, args);
    // A runner killed on a hang still shows every line printed so far.
    fflush(stdout);
}
} // namespace

void omx_report_fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    print_line(format, args);
    va_end(args);
    fail_lines.fetch_add(1, std::memory_order_relaxed);
}

void omx_report_timeout(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    print_line(format, args);
    va_end(args);
    timeout_lines.fetch_add(1, std::memory_order_relaxed);
}

int omx_report_fail_count(void)
{
    return fail_lines.load(std::memory_order_relaxed);
}

int omx_report_timeout_count(void)
{
    return timeout_lines.load(std::memory_order_relaxed);
}
