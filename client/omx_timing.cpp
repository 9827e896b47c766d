// The time difference behind every time budget.
#include "omx_timing.h"

#include <climits>
#include <cstdint>

// Worked out in 64 bits and saturated, so a span beyond the int range (about 2147 s) reads as the
// largest value instead of wrapping to a short or negative one.
int measureTimeUS(struct timeval *start, struct timeval *stop)
{
    int64_t sec;
    if (__builtin_sub_overflow(static_cast<int64_t>(stop->tv_sec), static_cast<int64_t>(start->tv_sec), &sec))
        return stop->tv_sec > start->tv_sec ? INT_MAX : INT_MIN;
    int64_t usec;
    if (stop->tv_usec < start->tv_usec) {
        usec = static_cast<int64_t>(stop->tv_usec) + 1000000 - static_cast<int64_t>(start->tv_usec);
        sec = sec == INT64_MIN ? sec : sec - 1;
    } else {
        usec = static_cast<int64_t>(stop->tv_usec) - static_cast<int64_t>(start->tv_usec);
    }
    // Checking the seconds first keeps the product below from overflowing.
    constexpr int64_t max_sec = INT_MAX / 1000000 + 2;
    if (sec > max_sec)
        return INT_MAX;
    if (sec < -max_sec)
        return INT_MIN;
    const int64_t time = sec * 1000000 + usec;
    if (time > INT_MAX)
        return INT_MAX;
    if (time < INT_MIN)
        return INT_MIN;
    return static_cast<int>(time);
}
