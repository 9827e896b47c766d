// The gate of every core call: watchdog, fatal and stopping signals, guard bytes around what the
// core writes, and the guarded core entry points.
#include "omx_guard.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "omx_callbacks.h"
#include "omx_report.h"
#include "omx_wait.h"

namespace
{

// Module-level by design: signal handlers can reach nothing else. The record lives in shared
// memory once installed, so a parent reads what its forked child was doing when it died.
OmxCallRecord fallback_record;
OmxCallRecord *record = &fallback_record;
volatile sig_atomic_t stopping = 0;
volatile sig_atomic_t timeout_ms = kOmxDefaultCallTimeoutMs;
std::atomic<pid_t> child_pid{0};
std::atomic<bool> forking{false}; // a child may exist whose pid is not in child_pid yet
int depth = 0;
OMX_CORE_INTERFACE raw_core{};
bool core_guarded = false;

// Builds one line without the C library's locks or allocation.
struct SafeLine {
    char text[512];
    size_t len = 0;
    SafeLine &add(const char *s)
    {
        while (s != nullptr && *s != '\0' && len < sizeof text - 2)
            text[len++] = *s++;
        return *this;
    }
    SafeLine &add(long n)
    {
        char digits[24];
        int i = 0;
        unsigned long u = n < 0 ? 0UL - static_cast<unsigned long>(n) : static_cast<unsigned long>(n);
        do {
            digits[i++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
        if (n < 0)
            add("-");
        while (i > 0 && len < sizeof text - 2)
            text[len++] = digits[--i];
        return *this;
    }
    void write_out()
    {
        text[len++] = '\n';
        ssize_t done = 0;
        while (done < static_cast<ssize_t>(len)) {
            const ssize_t n = write(STDOUT_FILENO, text + done, len - done);
            if (n <= 0 && errno != EINTR)
                return;
            done += n > 0 ? n : 0;
        }
    }
};

// "<what> FAIL: <SIG> in|after <call>, <component>"
void signal_line(const char *what, int sig)
{
    SafeLine line;
    line.add(what).add(" FAIL: ").add(omx_signal_name(sig)).add(record->in_call ? " in " : " after ");
    line.add(record->call[0] != '\0' ? record->call : "the start").add(", ").add(record->component).write_out();
}

void arm(int ms)
{
    struct itimerval timer = {};
    timer.it_value.tv_sec = ms / 1000;
    timer.it_value.tv_usec = (ms % 1000) * 1000;
    setitimer(ITIMER_REAL, &timer, nullptr);
}

void on_alarm(int)
{
    if (stopping)
        _exit(128 + stopping);
    if (!record->in_call)
        return;
    record->hung = 1;
    SafeLine line;
    line.add("hung FAIL: ").add(record->call).add(" has not returned after ").add(static_cast<long>(timeout_ms));
    line.add(" ms, ").add(record->component).write_out();
    _exit(kOmxHungExit);
}

void on_fatal(int sig)
{
    record->signal = sig;
    signal_line("crashed", sig);
    signal(sig, SIG_DFL);
    raise(sig);
}

// SIGINT and SIGTERM are blocked in every thread but this one, which waits for them: the stop
// runs as ordinary code, so a lock the interrupted thread held (the C library's, the core's) is
// waited for, not deadlocked on. The handle under test is freed and the core de-initialised
// before the process ends; a core that does not return from either within the call timeout is
// left behind.
void on_stop(int sig)
{
    // An isolated child stops itself; the parent follows when it has ended.
    while (forking)
        sched_yield();
    if (child_pid > 0) {
        kill(child_pid, sig);
        return;
    }
    if (stopping)
        return;
    stopping = sig;
    record->signal = sig;
    signal_line("stopped", sig);
    arm(timeout_ms);
    OMX_HANDLETYPE handle = omx_tracked_handle();
    if (core_guarded && handle != nullptr && raw_core.free_handle != nullptr)
        raw_core.free_handle(handle);
    if (core_guarded && raw_core.deinit != nullptr)
        raw_core.deinit();
    _exit(128 + sig);
}

void *stop_waiter(void *)
{
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    for (;;) {
        int sig = 0;
        if (sigwait(&stops, &sig) == 0)
            on_stop(sig);
    }
    return nullptr;
}

// Blocks SIGINT and SIGTERM in the calling thread (and so in every thread it starts later) and
// starts the thread that waits for them; again in a forked child, which has no such thread.
void start_stop_waiter()
{
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, stop_waiter, nullptr) == 0)
        pthread_detach(thread);
}

void set_call(const char *call)
{
    strncpy(record->call, call, sizeof record->call - 1);
    record->call[sizeof record->call - 1] = '\0';
}

std::vector<unsigned char> guarded_copy(const void *data, size_t size)
{
    std::vector<unsigned char> buffer(size + kOmxGuardBytes, kOmxGuardByte);
    if (data != nullptr)
        memcpy(buffer.data(), data, size);
    return buffer;
}

OMX_ERRORTYPE guarded_init()
{
    OmxCallScope scope("OMX_Init");
    return raw_core.init();
}

OMX_ERRORTYPE guarded_deinit()
{
    OmxCallScope scope("OMX_Deinit");
    return raw_core.deinit();
}

// The name goes into a copy with guard bytes, then back into the caller's buffer.
OMX_ERRORTYPE guarded_name_enum(OMX_STRING name, OMX_U32 length, OMX_U32 index)
{
    if (name == nullptr || length == 0 || length > 65536) {
        OmxCallScope scope("OMX_ComponentNameEnum");
        return raw_core.componentname_enum(name, length, index);
    }
    std::vector<unsigned char> copy = guarded_copy(name, length);
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope("OMX_ComponentNameEnum");
        err = raw_core.componentname_enum(reinterpret_cast<OMX_STRING>(copy.data()), length, index);
    }
    omx_guard_report_overrun("OMX_ComponentNameEnum", "name buffer", length, omx_guard_overrun(copy.data(), length));
    memcpy(name, copy.data(), length);
    return err;
}

// Each role buffer gets guard bytes, and the array spare entries pointing at one decoy: a core
// that writes more roles than it was told (a thousand, say) writes into the decoy, not past the
// array.
OMX_ERRORTYPE guarded_roles(OMX_STRING name, OMX_U32 *count, OMX_U8 **roles)
{
    omx_guard_set_component(name);
    if (roles == nullptr || count == nullptr || *count == 0 || *count > 1024) {
        OmxCallScope scope("OMX_GetRolesOfComponent");
        return raw_core.get_roles_of_component(name, count, roles);
    }
    constexpr size_t kRoleSize = OMX_MAX_STRINGNAME_SIZE;
    constexpr size_t kSpare = 4096;
    const size_t capacity = static_cast<size_t>(*count);
    std::vector<std::vector<unsigned char>> copies;
    std::vector<unsigned char> decoy = guarded_copy(nullptr, kRoleSize);
    std::vector<OMX_U8 *> pointers(capacity + kSpare, decoy.data());
    for (size_t i = 0; i < capacity; i++) {
        copies.push_back(guarded_copy(roles[i], kRoleSize));
        pointers[i] = copies.back().data();
    }
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope("OMX_GetRolesOfComponent");
        err = raw_core.get_roles_of_component(name, count, pointers.data());
    }
    size_t worst = 0;
    for (size_t i = 0; i < capacity; i++) {
        worst = std::max(worst, omx_guard_overrun(copies[i].data(), kRoleSize));
        memcpy(roles[i], copies[i].data(), kRoleSize);
    }
    omx_guard_report_overrun("OMX_GetRolesOfComponent", "role buffer", kRoleSize, worst);
    // The decoy is all guard bytes until a core writes a role into it.
    static_assert(kOmxGuardBytes >= kRoleSize);
    if (omx_guard_overrun(decoy.data(), 0) != 0)
        omx_report_fail("OMX_GetRolesOfComponent: roles written past the %u role buffers: FAIL, %s\n",
                        static_cast<unsigned>(capacity), name);
    return err;
}

OMX_ERRORTYPE guarded_get_handle(OMX_HANDLETYPE *handle, OMX_STRING name, OMX_PTR app_data, OMX_CALLBACKTYPE *callbacks)
{
    omx_guard_set_component(name);
    omx_track_getting_handle(static_cast<ZYN_OMX_COMPONENT_INFO *>(app_data));
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope("OMX_GetHandle");
        err = raw_core.get_handle(handle, name, app_data, callbacks);
    }
    if (err == OMX_ErrorNone && handle != nullptr && *handle != nullptr)
        omx_track_handle(*handle);
    return err;
}

OMX_ERRORTYPE guarded_free_handle(OMX_HANDLETYPE handle)
{
    OMX_ERRORTYPE err;
    {
        OmxCallScope scope("OMX_FreeHandle");
        err = raw_core.free_handle(handle);
    }
    omx_track_freed(handle);
    return err;
}

} // namespace

const char *omx_signal_name(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGABRT: return "SIGABRT";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGKILL: return "SIGKILL";
    default: return "a signal";
    }
}

int omx_call_timeout_ms(void)
{
    return omx_env_ms("OMX_TEST_CALL_TIMEOUT_MS", kOmxDefaultCallTimeoutMs);
}

void omx_guard_install(void)
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // A line reaches the report as soon as it is complete, even through a pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    void *shared = mmap(nullptr, sizeof(OmxCallRecord), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared != MAP_FAILED) {
        memcpy(shared, &fallback_record, sizeof fallback_record);
        record = static_cast<OmxCallRecord *>(shared);
    }
    omx_report_share_counts();
    timeout_ms = omx_call_timeout_ms();
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = on_alarm;
    sigaction(SIGALRM, &action, nullptr);
    start_stop_waiter();
    action.sa_handler = on_fatal;
    action.sa_flags = SA_NODEFER;
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        sigaction(sig, &action, nullptr);
}

const OmxCallRecord *omx_guard_record(void)
{
    return record;
}

void omx_guard_reset_record(void)
{
    record->in_call = 0;
    record->signal = 0;
    record->hung = 0;
    record->call[0] = '\0';
}

void omx_guard_set_component(const char *name)
{
    if (name == nullptr)
        name = "";
    strncpy(record->component, name, sizeof record->component - 1);
    record->component[sizeof record->component - 1] = '\0';
}

const char *omx_guard_component(void)
{
    return record->component;
}

OmxCallScope::OmxCallScope(const char *call)
{
    if (depth++ > 0)
        return;
    set_call(call);
    record->in_call = 1;
    arm(timeout_ms);
}

OmxCallScope::~OmxCallScope()
{
    if (--depth > 0)
        return;
    arm(0);
    record->in_call = 0;
}

OmxChildEnd omx_run_isolated(const std::function<void()> &body)
{
    fflush(nullptr);
    omx_guard_reset_record();
    forking = true;
    const pid_t pid = fork();
    if (pid == 0) {
        forking = false;
        start_stop_waiter();
        body();
        fflush(nullptr);
        _exit(0);
    }
    child_pid = pid > 0 ? pid : 0;
    forking = false;
    OmxChildEnd end;
    if (pid < 0) {
        omx_report_fail("fork: %s Error\n", strerror(errno));
        return end;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    child_pid = 0;
    end.call = record->call;
    end.component = record->component;
    end.hung = record->hung != 0;
    if (WIFSIGNALED(status))
        end.signal = WTERMSIG(status);
    else if (WIFEXITED(status))
        end.exit_code = WEXITSTATUS(status);
    if (record->signal == SIGINT || record->signal == SIGTERM) {
        // The child was stopped and said where; the run ends with it.
        fflush(nullptr);
        _exit(128 + record->signal);
    }
    return end;
}

void omx_isolated_step(const std::function<void()> &step)
{
    const char *isolate = getenv("OMX_TEST_ISOLATE");
    if (isolate != nullptr && strcmp(isolate, "1") == 0)
        omx_run_isolated(step);
    else
        step();
}

void omx_guard_core(OMX_CORE_INTERFACE *core)
{
    raw_core = *core;
    core_guarded = true;
    core->init = guarded_init;
    core->deinit = guarded_deinit;
    core->componentname_enum = guarded_name_enum;
    core->get_handle = guarded_get_handle;
    core->free_handle = guarded_free_handle;
    core->get_roles_of_component = guarded_roles;
}

size_t omx_guard_overrun(const unsigned char *buffer, size_t size)
{
    for (size_t n = kOmxGuardBytes; n > 0; n--)
        if (buffer[size + n - 1] != kOmxGuardByte)
            return n;
    return 0;
}

void omx_guard_report_overrun(const char *call, const char *what, size_t size, size_t n)
{
    if (n != 0)
        omx_report_fail("%s: %zu bytes written past the %zu-byte %s: FAIL%s%s\n", call, n, size, what,
                        record->component[0] != '\0' ? ", " : "", record->component);
}
