// Time spans of component and core calls and the budgets they are held to.
#pragma once

#include <sys/time.h>

// Budgets in microseconds: a call breaks its budget when it takes this long or longer.
inline constexpr int kOmxCallBudgetUs = 20000;     // core calls, and most component calls
inline constexpr int kOmxShortCallBudgetUs = 5000; // role queries, configs, port commands

// Elapsed microseconds from start to stop; negative when the clock stepped back, saturated at
// the int range.
int measureTimeUS(struct timeval *start, struct timeval *stop);

// The one budget rule of every timed call.
inline bool omx_over_budget(int time_us, int budget_us)
{
    return time_us >= budget_us;
}

// Measures from its construction (gettimeofday, as the report's times always were).
class OmxStopwatch
{
public:
    OmxStopwatch() { gettimeofday(&start_, nullptr); }
    int elapsed_us()
    {
        struct timeval now;
        gettimeofday(&now, nullptr);
        return measureTimeUS(&start_, &now);
    }

private:
    struct timeval start_;
};
