// omx_cases: runs the conformance cases UTC 002 to 009 and the encoding pass
// on the video components of the OpenMAX IL core, each case in a process of
// its own (its own OMX_Init, handle and OMX_Deinit) so that a core crashing or
// hanging costs one row, and sums up per component and case how many failure,
// timeout and skip lines each printed.
//
//   omx_cases [--junit FILE] [COMPONENT ...]
//
// With --junit it also writes the run as JUnit XML: one testsuite per component, one testcase per
// case with a failure element for each of its FAIL, timeout and hung lines.
//
// Without names every enumerated component is run. Exit status 0 when the run
// completed, whatever it found; 1 when the core cannot be loaded or
// initialised; 2 for a usage error.
#include <dlfcn.h>
#include <semaphore.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "omx_callbacks.h"
#include "omx_component_info.h"
#include "omx_core_loader.h"
#include "omx_guard.h"
#include "omx_junit.h"
#include "omx_list_file.h"
#include "omx_report.h"
#include "omx_test_cases.h"
#include "omx_timing.h"

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
    int skip_lines;
    std::string note; // how the case's process ended when it did not end by itself
    double seconds = 0;
    std::vector<std::string> lines; // its failure, timeout and skip lines, with --junit
};

// The lines a case's process wrote into `copy`, without their newlines.
std::vector<std::string> read_lines(FILE *copy)
{
    std::vector<std::string> lines;
    if (!copy || fseek(copy, 0, SEEK_SET) != 0)
        return lines;
    std::string line;
    for (int c; (c = fgetc(copy)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
        } else if (!line.empty()) {
            lines.push_back(line);
            line.clear();
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// Enough role buffers for any video component; more roles are not looked at.
constexpr OMX_U32 kMaxRoles = 16;

void usage(FILE *out)
{
    fprintf(out, "usage: omx_cases [--junit FILE] [COMPONENT ...]\n"
                 "Runs UTC 005, 006, 007, 008, 009, 004, 002, 003 on each named component (every\n"
                 "enumerated one when none is named), then the encoding pass for each entry of an\n"
                 "encoder's list file, and prints a summary of failure, timeout and skip lines.\n"
                 "Components with no video_decoder/video_encoder role get one row.\n"
                 "--junit FILE also writes the run as JUnit XML.\n");
}

// "crashed: SIGSEGV in OMX_FreeHandle", "hung in OMX_SendCommand", or empty.
std::string how_it_ended(const OmxChildEnd &end)
{
    const std::string where = (end.call.empty() ? std::string("the start") : end.call);
    if (end.hung)
        return "hung in " + where;
    if (end.crashed())
        return std::string("crashed: ") + omx_signal_name(end.signal) + " in " + where;
    if (end.exit_code != 0)
        return "ended with status " + std::to_string(end.exit_code);
    return "";
}

struct Runner {
    OMX_CORE_INTERFACE core{};
    OMX_CALLBACKTYPE callbacks = kOmxClientCallbacks;
    ZYN_OMX_COMPONENT_INFO component_info{};
    std::vector<SummaryRow> rows;
    bool collect_lines = false;

    // In a process of its own: OMX_Init, a handle, `body` on it, OMX_FreeHandle, OMX_Deinit;
    // counts what it printed under `label`, and how the process ended.
    template <typename Body> void on_fresh_handle(const char *name, const char *label, Body &&body)
    {
        const OmxReportCounts before = omx_report_counts();
        // The case's lines reach the JUnit file through a file its process writes them into too.
        std::unique_ptr<FILE, int (*)(FILE *)> copy(collect_lines ? tmpfile() : nullptr, fclose);
        omx_report_copy_lines_to(copy.get());
        OmxStopwatch stopwatch;
        const OmxChildEnd end = omx_run_isolated([&] {
            OMX_ERRORTYPE err = core.init();
            if (err != OMX_ErrorNone)
                omx_report_fail("omx_cases: %s: OMX_Init: FAIL: %x\n", label, static_cast<unsigned>(err));
            OMX_HANDLETYPE handle = nullptr;
            std::string component_name(name);
            err = core.get_handle(&handle, component_name.data(), &component_info, &callbacks);
            if (err != OMX_ErrorNone || handle == nullptr) {
                omx_report_fail("omx_cases: %s: OMX_GetHandle(%s): FAIL: %x\n", label, name,
                                static_cast<unsigned>(err));
            } else {
                body(static_cast<OMX_COMPONENTTYPE *>(handle));
                err = core.free_handle(handle);
                if (err != OMX_ErrorNone)
                    omx_report_fail("omx_cases: %s: OMX_FreeHandle(%s): FAIL: %x\n", label, name,
                                    static_cast<unsigned>(err));
            }
            core.deinit();
        });
        const OmxReportCounts lines = omx_report_counts() - before;
        SummaryRow row{name,
                       label,
                       lines.fail,
                       lines.timeout,
                       lines.skip,
                       how_it_ended(end),
                       stopwatch.elapsed_us() / 1e6,
                       read_lines(copy.get())};
        omx_report_copy_lines_to(nullptr);
        // The process's last line (crash or hang) was its own; it counts as a failure.
        if (!row.note.empty())
            row.fail_lines++;
        rows.push_back(row);
    }

    // A component with a video_decoder.* or video_encoder.* role, or one of the component table.
    bool is_video(const char *name)
    {
        if (omx_component_in_table(name))
            return true;
        OMX_U8 roles[kMaxRoles][OMX_MAX_STRINGNAME_SIZE] = {};
        OMX_U8 *pointers[kMaxRoles];
        for (OMX_U32 i = 0; i < kMaxRoles; i++)
            pointers[i] = roles[i];
        OMX_U32 count = kMaxRoles;
        std::string component_name(name);
        if (core.get_roles_of_component(component_name.data(), &count, pointers) != OMX_ErrorNone)
            return false;
        for (OMX_U32 i = 0; i < count && i < kMaxRoles; i++) {
            const char *role = reinterpret_cast<const char *>(roles[i]);
            if (strncmp(role, "video_decoder.", 14) == 0 || strncmp(role, "video_encoder.", 14) == 0)
                return true;
        }
        return false;
    }

    void run_component(const char *name, bool video)
    {
        if (!video) {
            rows.push_back({name, "all", 0, 0, 1, "not a video component", 0, {}});
            return;
        }
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
        int total_skips = 0;
        printf("%-32s %-10s %6s %8s %8s\n", "component", "case", "FAIL", "timeout", "skipped");
        for (const SummaryRow &row : rows) {
            printf("%-32s %-10s %6d %8d %8d%s%s\n", row.component.c_str(), row.label.c_str(), row.fail_lines,
                   row.timeout_lines, row.skip_lines, row.note.empty() ? "" : "  ", row.note.c_str());
            total_fails += row.fail_lines;
            total_timeouts += row.timeout_lines;
            total_skips += row.skip_lines;
        }
        printf("%-32s %-10s %6d %8d %8d\n", "total", "", total_fails, total_timeouts, total_skips);
        fflush(stdout);
    }

    // A case fails on any failure, timeout or hung line, and is skipped when it printed only
    // skip lines or was not run.
    bool write_junit(const char *path) const
    {
        std::vector<OmxJunitCase> cases;
        for (const SummaryRow &row : rows) {
            OmxJunitCase c{row.component, row.label, row.seconds, {}, {}};
            std::vector<std::string> skips;
            for (const std::string &line : row.lines)
                (line.find("FAIL") != std::string::npos ? c.failures : skips).push_back(line);
            if (!row.note.empty() && row.note != "not a video component")
                c.failures.push_back(row.note);
            if (row.note == "not a video component")
                c.skipped = row.note;
            else if (c.failures.empty() && row.skip_lines > 0)
                c.skipped = skips.empty() ? std::string("skipped") : skips.front();
            cases.push_back(std::move(c));
        }
        return omx_write_junit(path, cases);
    }
};

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> names;
    const char *junit = nullptr;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--junit") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                fprintf(stderr, "omx_cases: --junit needs a file name\n");
                usage(stderr);
                return 2;
            }
            junit = argv[++i];
            continue;
        }
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
    runner.collect_lines = junit != nullptr;
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
    std::vector<bool> video;
    for (const std::string &name : names)
        video.push_back(runner.is_video(name.c_str()));
    // Every case initialises the core in its own process.
    runner.core.deinit();
    for (size_t i = 0; i < names.size(); i++)
        runner.run_component(names[i].c_str(), video[i]);

    runner.print_summary();
    if (junit && !runner.write_junit(junit))
        fprintf(stderr, "omx_cases: cannot write %s\n", junit);
    sem_destroy(&sema);
    return 0;
}
