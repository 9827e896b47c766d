// The one gate every call into the core passes: the core's entry points (the table the loader
// resolved) and the component's function table (omx_component_calls.h). It keeps the call in
// progress where a signal handler and a parent process can read it, so that
//   - a call that has not returned after OMX_TEST_CALL_TIMEOUT_MS (default 10000) prints
//       "hung FAIL: <call> has not returned after <ms> ms, <component>"
//     and ends the process with kOmxHungExit;
//   - a fatal signal prints "crashed FAIL: <SIGNAME> in <call>, <component>" ("after <call>"
//     when no call is in progress), then the process dies of that signal;
//   - SIGINT or SIGTERM prints "stopped FAIL: <SIGNAME> in|after <call>, <component>", frees the
//     handle under test, calls OMX_Deinit and exits with 128 + the signal number.
// Standard output is line-buffered from omx_guard_install on, so no printed line is lost.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

#include "omx_core_loader.h"

inline constexpr int kOmxHungExit = 124;
inline constexpr int kOmxDefaultCallTimeoutMs = 10000;

// What a process was doing when it ended; kept in memory shared with the processes it forks.
struct OmxCallRecord {
    volatile int in_call; // 1 while a call runs
    volatile int signal;  // the fatal or stopping signal, 0 when none
    volatile int hung;    // 1 when the watchdog ended the process
    char call[48];        // the call in progress, or the last one
    char component[128];  // the component the call is about ("" for the core)
};

// Line buffering, the shared record, the signal handlers. Safe to call more than once.
void omx_guard_install(void);

// The record of this process (and, after a fork, of the child: the parent reads it).
const OmxCallRecord *omx_guard_record(void);
// Clears the record before a child is forked.
void omx_guard_reset_record(void);

// The component the following calls are about (copied; NULL for none).
void omx_guard_set_component(const char *name);
const char *omx_guard_component(void);

// OMX_TEST_CALL_TIMEOUT_MS, or the default.
int omx_call_timeout_ms(void);

// One call in progress: the watchdog runs from construction to destruction.
class OmxCallScope
{
public:
    explicit OmxCallScope(const char *call);
    ~OmxCallScope();
    OmxCallScope(const OmxCallScope &) = delete;
    OmxCallScope &operator=(const OmxCallScope &) = delete;
};

// How an isolated child ended, and what it was doing then.
struct OmxChildEnd {
    int exit_code = -1; // when it exited
    int signal = 0;     // when a signal ended it
    bool hung = false;  // the watchdog ended it
    std::string call;   // the call in progress or the last one
    std::string component;
    bool crashed() const { return signal != 0; }
};

// Runs `body` in a forked child process and waits for it. A SIGINT or SIGTERM meanwhile goes to
// the child; when the child was stopped that way, this process ends with it.
OmxChildEnd omx_run_isolated(const std::function<void()> &body);

// With OMX_TEST_ISOLATE=1, runs `step` in a child process (omx_run_isolated) so that the run goes
// on past a crash or a hang; otherwise runs it here.
void omx_isolated_step(const std::function<void()> &step);

// Replaces the entry points of `core` with guarded ones (watchdog, guard bytes after name and
// role buffers, the handle under test kept for the callbacks); the resolved ones are kept for
// them.
void omx_guard_core(OMX_CORE_INTERFACE *core);

// Guard bytes after a buffer the core writes into: a page, so that a name written whole into a
// buffer of half its size, or a record overrun by as much, lands in the guard.
inline constexpr size_t kOmxGuardBytes = 4096;
inline constexpr unsigned char kOmxGuardByte = 0xA5;
// How far past `size` bytes the core wrote into a buffer of size + kOmxGuardBytes bytes that
// was filled with kOmxGuardByte after `size`: 0 when the guard is whole.
size_t omx_guard_overrun(const unsigned char *buffer, size_t size);
// Prints "<call>: <n> bytes written past the <size>-byte <what>: FAIL, <component>" when n > 0
// (no component for a core call about none).
void omx_guard_report_overrun(const char *call, const char *what, size_t size, size_t n);

// The signal's name ("SIGSEGV"), or "signal <n>".
const char *omx_signal_name(int sig);
