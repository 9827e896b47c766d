// omx_cases: runs the conformance cases UTC 002 to 009 and the encoding pass
// on the components of the OpenMAX IL core, each case on a fresh handle, and
// sums up per component and case how many failure and timeout lines each
// printed.
//
//   omx_cases [COMPONENT ...]
//
// Without names every enumerated component is run. Exit status 0 when the run
// completed, whatever it found; 1 when the core cannot be loaded or
// initialised; 2 for a usage error.
#include <dlfcn.h>
#include <semaphore.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "omx_callbacks.h"
#include "omx_component_info.h"
#include "omx_core_loader.h"
#include "omx_list_file.h"
#include "omx_report.h"
#include "omx_test_cases.h"

namespace
{

// Enumeration stops here even if the core never answers OMX_ErrorNoMore.
constexpr OMX_U32 kMaxEnumerated = 64;
// A list file is read at most this far.
constexpr int kMaxListEntries = 1000;

using CaseFunc = int (*)(OMX_COMPONENTTYPE *, ZYN_OMX_COMPONENT_INFO *);

struct CaseEntry {
    const char *label;
    CaseFunc run;
};

// The run order: the calls that change nothing first, then the state cycle,
// then the buffer and port cases.
constexpr CaseEntry kCases[] = {
    {"UTC 005", omx_get_parameter_test},
    {"UTC 006", omx_set_parameter_test},
    {"UTC 007", omx_get_config_test},
    {"UTC 008", omx_set_config_test},
    {"UTC 009", omx_get_extension_index_test},
    {"UTC 004", omx_component_state_test},
    {"UTC 002", omx_buffer_test},
    {"UTC 003", omx_port_test},
};

struct SummaryRow {
    std::string component;
    std::string label;
    int fail_lines;
    int timeout_lines;
};

void usage(FILE *out)
{
    fprintf(out, "usage: omx_cases [COMPONENT ...]\n"
                 "Runs UTC 005, 006, 007, 008, 009, 004, 002, 003 on each named component (every\n"
                 "enumerated one when none is named), then the encoding pass for each entry of an\n"
                 "encoder's list file, and prints a summary of failure and timeout lines.\n");
}

// Posts left over from an earlier handle (a late completion, an error event)
// must not satisfy a wait of the next case.
void drain(sem_t *sema)
{
    while (sem_trywait(sema) == 0) {
    }
}

struct Runner {
    OMX_CORE_INTERFACE core{};
    OMX_CALLBACKTYPE callbacks = kOmxClientCallbacks;
    ZYN_OMX_COMPONENT_INFO component_info{};
    std::vector<SummaryRow> rows;

    // Gets a handle, runs `body` on it, frees it; counts what it printed under `label`.
    template <typename Body> void on_fresh_handle(const char *name, const char *label, Body &&body)
    {
        const int fails = omx_report_fail_count();
        const int timeouts = omx_report_timeout_count();
        drain(component_info.sema);
        OMX_HANDLETYPE handle = nullptr;
        std::string component_name(name);
        OMX_ERRORTYPE err = core.get_handle(&handle, component_name.data(), &component_info, &callbacks);
        if (err != OMX_ErrorNone || handle == nullptr) {
            omx_report_fail("omx_cases: %s: OMX_GetHandle(%s): FAIL: %x\n", label, name, static_cast<unsigned>(err));
        } else {
            body(static_cast<OMX_COMPONENTTYPE *>(handle));
            err = core.free_handle(handle);
            if (err != OMX_ErrorNone)
                omx_report_fail("omx_cases: %s: OMX_FreeHandle(%s): FAIL: %x\n", label, name,
                                static_cast<unsigned>(err));
        }
        fflush(stdout);
        rows.push_back({name, label, omx_report_fail_count() - fails, omx_report_timeout_count() - timeouts});
    }

    void run_component(const char *name)
    {
        // Each component starts from a clean record; only the semaphore is kept.
        sem_t *sema = component_info.sema;
        component_info = ZYN_OMX_COMPONENT_INFO{};
        component_info.sema = sema;
        std::string component_name(name);
        FILE *list = open_list_file(component_name.data(), &component_info);

        for (const CaseEntry &entry : kCases)
            on_fresh_handle(name, entry.label, [&](OMX_COMPONENTTYPE *handle) { entry.run(handle, &component_info); });

        if (list != nullptr && omx_is_encoder(component_info.component_type)) {
            for (int entry = 1; entry <= kMaxListEntries && parse_list(list, &component_info) == 0; entry++) {
                component_info.color_type = OMX_COLOR_FormatYUV420SemiPlanar;
                const std::string label = "encode " + std::to_string(entry);
                on_fresh_handle(name, label.c_str(), [&](OMX_COMPONENTTYPE *handle) {
                    omx_encoding_test(handle, &component_info, SUPPORT_COLOR_FORMAT_YUV420SemiPlanar);
                });
            }
        }
        if (list != nullptr)
            fclose(list);
    }

    std::vector<std::string> enumerate()
    {
        std::vector<std::string> names;
        for (OMX_U32 index = 0; index < kMaxEnumerated; index++) {
            char name[OMX_TEST_NAME_LEN] = {};
            const OMX_ERRORTYPE err = core.componentname_enum(name, sizeof(name), index);
            if (err == OMX_ErrorNoMore)
                break;
            if (err != OMX_ErrorNone) {
                printf("omx_cases: OMX_ComponentNameEnum(%u): FAIL: %x\n", static_cast<unsigned>(index),
                       static_cast<unsigned>(err));
                continue;
            }
            name[sizeof(name) - 1] = '\0';
            names.emplace_back(name);
        }
        return names;
    }

    void print_summary() const
    {
        int total_fails = 0;
        int total_timeouts = 0;
        printf("\nomx_cases summary\n");
        printf("%-32s %-10s %6s %8s\n", "component", "case", "FAIL", "timeout");
        for (const SummaryRow &row : rows) {
            printf("%-32s %-10s %6d %8d\n", row.component.c_str(), row.label.c_str(), row.fail_lines,
                   row.timeout_lines);
            total_fails += row.fail_lines;
            total_timeouts += row.timeout_lines;
        }
        printf("%-32s %-10s %6d %8d\n", "total", "", total_fails, total_timeouts);
        fflush(stdout);
    }
};

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> names;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0) {
            usage(stdout);
            return 0;
        }
        if (argv[i][0] == '-' || argv[i][0] == '\0' || strlen(argv[i]) >= OMX_TEST_NAME_LEN) {
            fprintf(stderr, "omx_cases: bad component name '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
        names.emplace_back(argv[i]);
    }

    OmxCoreLibrary library;
    if (!library.is_open())
        return 1;
    Runner runner;
    // The first entry point missing ends the run.
    if (!library.resolve(&runner.core, [](const char *symbol) {
            printf("dlsym(%s) Error: %s\n", symbol, dlerror());
            return false;
        }))
        return 1;

    const OMX_ERRORTYPE err = runner.core.init();
    if (err != OMX_ErrorNone) {
        printf("omx_cases: OMX_Init: FAIL: error=%x\n", static_cast<unsigned>(err));
        return 1;
    }

    sem_t sema;
    sem_init(&sema, 0, 0);
    runner.component_info.sema = &sema;
    if (names.empty())
        names = runner.enumerate();
    if (names.empty())
        puts("omx_cases: no component");
    for (const std::string &name : names)
        runner.run_component(name.c_str());

    runner.core.deinit();
    runner.print_summary();
    sem_destroy(&sema);
    return 0;
}
