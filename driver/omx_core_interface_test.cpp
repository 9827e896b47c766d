// UTC 001 against the core (initialise, de-initialise, enumerate, roles, one handle per
// component), then the component test loop.
#include "omx_core_interface_test.h"

#include <cstdio>
#include <cstring>

#include "omx_callbacks.h"
#include "omx_component_info.h"
#include "omx_component_test_loop.h"
#include "omx_guard.h"
#include "omx_report.h"
#include "omx_results.h"
#include "omx_timing.h"

namespace
{

static_assert(OMX_MAX_ROLES == OMX_MAX_COMPONENTS, "one table size for names and roles");

struct TimedResult {
    OMX_ERRORTYPE err;
    int time_us;
};

template <typename Call> TimedResult timed(Call &&call)
{
    OmxStopwatch stopwatch;
    const OMX_ERRORTYPE err = call();
    return {err, stopwatch.elapsed_us()};
}

// Adds the lines printed during its lifetime to a component's tally (for the results file).
class Tally
{
public:
    explicit Tally(OmxReportCounts &lines) : lines_(lines), start_(omx_report_counts()) {}
    ~Tally() { lines_ += omx_report_counts() - start_; }
    Tally(const Tally &) = delete;
    Tally &operator=(const Tally &) = delete;

private:
    OmxReportCounts &lines_;
    const OmxReportCounts start_;
};

// The run's record, its semaphore and the name and role buffers; every buffer starts cleared, so
// a name the core never wrote reads as an empty string.
class CoreInterfaceRun
{
public:
    explicit CoreInterfaceRun(OMX_CORE_INTERFACE *core) : core_(core)
    {
        sem_init(&sema_, 0, 0);
        component_info_.sema = &sema_;
        for (int i = 0; i < OMX_MAX_ROLES; ++i)
            role_pointers_[i] = component_role_[i];
    }
    ~CoreInterfaceRun() { sem_destroy(&sema_); }

    void run()
    {
        puts("omx_core_interface_test");
        const bool named = init_test() && deinit_test() && name_test();
        omx_results_utc001("core", omx_report_fail_count(), omx_report_timeout_count());
        if (named) {
            roles_test();
            handle_test();
            for (unsigned i = 0; i < component_num_; ++i)
                omx_results_utc001(component_name_[i], tally_[i].fail, tally_[i].timeout);
            omx_component_test_loop(core_, name_pointers(), component_num_, &component_info_, &callbacks_);
        }
        core_->deinit();
        puts("");
    }

private:
    bool init_test()
    {
        puts("OMX UTC 001-01: OMX_Init test");
        const TimedResult r = timed([&] { return core_->init(); });
        if (r.err != OMX_ErrorNone) {
            omx_report_fail("OMX UTC 001-01: OMX_Init: FAIL: error=%x\n", static_cast<unsigned>(r.err));
            return false;
        }
        if (omx_over_budget(r.time_us, kOmxCallBudgetUs))
            omx_report_timeout("OMX UTC 001-01: OMX_Init: timeout FAIL, %d\n", r.time_us);
        return true;
    }

    // De-initialisation, then initialisation again for the rest of the run.
    bool deinit_test()
    {
        puts("OMX UTC 001-02: OMX_Deinit test");
        const TimedResult r = timed([&] { return core_->deinit(); });
        if (r.err != OMX_ErrorNone) {
            omx_report_fail("OMX UTC 001-02: OMX_Deinit: FAIL: error=%x\n", static_cast<unsigned>(r.err));
            return false;
        }
        if (omx_over_budget(r.time_us, kOmxCallBudgetUs))
            omx_report_timeout("OMX UTC 001-21: OMX_Deinit: timeout FAIL, %d\n", r.time_us);
        core_->init();
        return true;
    }

    // Component names, up to the ten buffers; an index the core refuses still counts.
    bool name_test()
    {
        puts("OMX UTC 001-03: OMX_Component Name test");
        for (unsigned i = 0; i < OMX_MAX_COMPONENTS; ++i) {
            const OMX_ERRORTYPE err = core_->componentname_enum(component_name_[i], OMX_NAME_BUFFER_LEN, i);
            // A core that fills the whole buffer still leaves a terminated name.
            component_name_[i][OMX_NAME_BUFFER_LEN - 1] = '\0';
            if (err == OMX_ErrorNoMore)
                break;
            ++component_num_;
            if (err == OMX_ErrorNone)
                printf("enumerateComponents %i %s\n", static_cast<int>(i), component_name_[i]);
            else
                omx_report_fail("OMX UTC 001-03: OMX_Component Name: FAIL: error=%x\n", static_cast<unsigned>(err));
        }
        if (component_num_ == 0) {
            omx_report_fail("OMX UTC 001-03: OMX_Component Name: FAIL: no component\n");
            return false;
        }
        return true;
    }

    void roles_test()
    {
        puts("UTC 001-04: OMX_GetRolesOfComponent test");
        // The tally is kept here: an isolated step's process shares only the line counts.
        for (unsigned i = 0; i < component_num_; ++i) {
            const Tally tally(tally_[i]);
            omx_isolated_step([&] { roles_of(i); });
        }
    }

    void roles_of(unsigned i)
    {
        const char *name = component_name_[i];
        printf("UTC 001-04: OMX_GetRolesOfComponent: %i %s\n", static_cast<int>(i), name);
        memset(component_role_, 0, sizeof component_role_);
        // The array holds ten buffers: that is the capacity the core is told.
        OMX_U32 numRoles = OMX_MAX_ROLES;
        const TimedResult r =
            timed([&] { return core_->get_roles_of_component(component_name_[i], &numRoles, role_pointers_); });
        if (numRoles > OMX_MAX_ROLES) {
            omx_report_fail("UTC 001-04: OMX_GetRolesOfComponent: numRoles:%x is above the %d role buffers: FAIL: %s\n",
                            static_cast<unsigned>(numRoles), OMX_MAX_ROLES, name);
            numRoles = OMX_MAX_ROLES;
        }
        // A refused query reported no role.
        for (OMX_U32 j = 0; r.err == OMX_ErrorNone && j < numRoles; ++j) {
            component_role_[j][OMX_NAME_BUFFER_LEN - 1] = '\0';
            printf("UTC 001-04: OMX_GetRolesOfComponent: numRoles:%x, index=%x, %s\n", static_cast<unsigned>(numRoles),
                   static_cast<unsigned>(j), reinterpret_cast<char *>(component_role_[j]));
        }
        if (r.err != OMX_ErrorNone)
            omx_report_fail("UTC 001-04: OMX_GetRolesOfComponent: FAIL: %x, %s\n", static_cast<unsigned>(r.err), name);
        if (omx_over_budget(r.time_us, kOmxShortCallBudgetUs))
            omx_report_timeout("UTC 001-04: OMX_GetRolesOfComponent: timeout FAIL: %s, %d\n", name, r.time_us);
    }

    // One handle per component, freed before the next is made.
    void handle_test()
    {
        for (unsigned i = 0; i < component_num_; ++i) {
            const Tally tally(tally_[i]);
            omx_isolated_step([&] { handle_of(i); });
        }
    }

    void handle_of(unsigned i)
    {
        char *name = component_name_[i];
        printf("OMX UTC 001-05: OMX_GetHandle test: %i %s\n", static_cast<int>(i), name);
        OMX_HANDLETYPE handle = nullptr;
        TimedResult r = timed([&] { return core_->get_handle(&handle, name, &component_info_, &callbacks_); });
        if (r.err != OMX_ErrorNone)
            omx_report_fail("OMX UTC 001-05: OMX_GetHandle: FAIL: %x, %s\n", static_cast<unsigned>(r.err), name);
        else if (!handle)
            omx_report_fail("OMX UTC 001-05: OMX_GetHandle: FAIL: no handle, %s\n", name);
        if (omx_over_budget(r.time_us, kOmxCallBudgetUs))
            omx_report_timeout("OMX UTC 001-05: OMX_GetHandle: timeout FAIL: %s, %d\n", name, r.time_us);

        printf("OMX UTC 001-06: OMX_FreeHandle test: %i %s\n", static_cast<int>(i), name);
        if (r.err != OMX_ErrorNone || !handle) {
            // A handle the core did not give is never handed back to it.
            omx_report_skip("OMX UTC 001-06: OMX_FreeHandle: skipped, no handle: %s\n", name);
            return;
        }
        r = timed([&] { return core_->free_handle(handle); });
        if (r.err != OMX_ErrorNone)
            omx_report_fail("OMX UTC 001-06: OMX_FreeHandle: FAIL: %x, %s\n", static_cast<unsigned>(r.err), name);
        if (omx_over_budget(r.time_us, kOmxCallBudgetUs))
            omx_report_timeout("OMX UTC 001-06: OMX_FreeHandle: timeout FAIL: %s, %d\n", name, r.time_us);
    }

    char *const *name_pointers()
    {
        for (int i = 0; i < OMX_MAX_COMPONENTS; ++i)
            name_pointers_[i] = component_name_[i];
        return name_pointers_;
    }

    OMX_CORE_INTERFACE *core_;
    OMX_CALLBACKTYPE callbacks_ = kOmxClientCallbacks;
    sem_t sema_;
    ZYN_OMX_COMPONENT_INFO component_info_{};
    char component_name_[OMX_MAX_COMPONENTS][OMX_NAME_BUFFER_LEN] = {};
    char *name_pointers_[OMX_MAX_COMPONENTS] = {};
    OMX_U8 component_role_[OMX_MAX_ROLES][OMX_NAME_BUFFER_LEN] = {};
    OMX_U8 *role_pointers_[OMX_MAX_ROLES] = {};
    unsigned component_num_ = 0;
    OmxReportCounts tally_[OMX_MAX_COMPONENTS] = {};
};

} // namespace

int omx_core_interface_test(OMX_CORE_INTERFACE *core_interface)
{
    CoreInterfaceRun(core_interface).run();
    return 0;
}
