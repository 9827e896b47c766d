// Counting printers for failure, timeout and skip lines.
#include "omx_report.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <new>

namespace
{
struct Counts {
    std::atomic<int> fail{0};
    std::atomic<int> timeout{0};
    std::atomic<int> skip{0};
};
static_assert(std::atomic<int>::is_always_lock_free, "the counts are shared with forked children");

// Module-level by design: the counts of the whole process, which a runner reads around each case.
// Atomic because a component thread may report while the main thread counts.
Counts local_counts;
Counts *counts = &local_counts;
// Module-level by design: where a runner collects the current case's lines (omx_cases --junit).
FILE *line_copy;

void print_line(const char *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    vprintf(format, args);
    // A runner killed on a hang still shows every line printed so far.
    fflush(stdout);
    if (line_copy) {
        vfprintf(line_copy, format, copy);
        fflush(line_copy);
    }
    va_end(copy);
}
} // namespace

void omx_report_fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    print_line(format, args);
    va_end(args);
    counts->fail.fetch_add(1, std::memory_order_relaxed);
}

void omx_report_timeout(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    print_line(format, args);
    va_end(args);
    counts->timeout.fetch_add(1, std::memory_order_relaxed);
}

void omx_report_skip(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    print_line(format, args);
    va_end(args);
    counts->skip.fetch_add(1, std::memory_order_relaxed);
}

void omx_report_copy_lines_to(FILE *file)
{
    line_copy = file;
}

int omx_report_fail_count(void)
{
    return counts->fail.load(std::memory_order_relaxed);
}

int omx_report_timeout_count(void)
{
    return counts->timeout.load(std::memory_order_relaxed);
}

OmxReportCounts omx_report_counts(void)
{
    return {omx_report_fail_count(), omx_report_timeout_count(), omx_report_skip_count()};
}

int omx_report_skip_count(void)
{
    return counts->skip.load(std::memory_order_relaxed);
}

void omx_report_share_counts(void)
{
    if (counts != &local_counts)
        return;
    void *shared = mmap(nullptr, sizeof(Counts), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED)
        return;
    Counts *moved = new (shared) Counts;
    moved->fail.store(local_counts.fail.load());
    moved->timeout.store(local_counts.timeout.load());
    moved->skip.store(local_counts.skip.load());
    counts = moved;
}
