// Fault-file reader of the reference core: turns the file named by ZYN_OMX_FAULTS into rules
// (per call: delay, returned error, error event, no completion) and core-wide settings
// (enumerated names, enumeration errors, role counts, buffer minimums, decoding switch).
#pragma once

#include <OMX_Core.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zyn
{

enum class FaultAction {
    None,
    Delay,
    Error,
    EventError,
    Silent,
    Log, // the call is noted on standard error ("ZYN_OMX_FAULTS: CALL called") as it starts
    // Misbehaviours of a core the program must survive:
    Crash,        // dies of signal `arg` (SIGSEGV or SIGABRT) in the call
    Block,        // never returns
    Twice,        // SendCommand: its completion is reported twice
    BogusHeader,  // UseBuffer/AllocateBuffer: hands back a header pointer nothing is behind
    Overrun,      // writes `arg` bytes past the record, name or role buffer it was given
    LateCallback, // OMX_FreeHandle: the freed handle calls back afterwards
};

struct FaultRule {
    std::string scope;              // "core", "*" or a component name
    std::string call;               // "OMX_Init", "GetParameter", ...
    std::vector<std::string> quals; // colon-separated narrowing, numbers normalised to decimal
    FaultAction action = FaultAction::None;
    uint32_t arg = 0; // microseconds for Delay, the code for Error/EventError
    uint64_t after = 0;
    uint64_t times = UINT64_MAX;
};

struct ScopedCount {
    std::string scope; // "*" or a component name
    uint32_t port = 0; // min_buffers only
    uint32_t count = 0;
};

struct FaultConfig {
    std::vector<FaultRule> rules;
    bool enum_override = false;                             // "components" or "names" given
    std::vector<std::string> enum_names;                    // the enumerated names when overridden
    std::vector<std::pair<uint32_t, uint32_t>> enum_errors; // index -> code
    std::vector<ScopedCount> roles;
    std::vector<ScopedCount> min_buffers;
    std::vector<std::pair<std::string, bool>> decode;            // scope -> decode on/off
    std::vector<std::pair<std::string, bool>> strict_versions;   // scope -> records must say 1.1
    std::vector<std::pair<std::string, std::string>> null_slots; // scope -> component call left NULL
    std::string text;                                            // the file's content, to notice changes
};

// Parses the text of a fault file. Lines it cannot use are described in `complaints`, one
// per line, prefixed with the line number.
std::shared_ptr<const FaultConfig> faults_parse(std::string_view text, std::string *complaints);

// Reads the file named by ZYN_OMX_FAULTS (unset or empty: no faults; unreadable: reported,
// no faults). Complaints go to standard error.
std::shared_ptr<const FaultConfig> faults_load_from_env();

// The eight standard names, then "OMX.ZYN.Extra.<k>".
std::string faults_generated_name(uint32_t index);

struct FaultOutcome {
    uint32_t delay_us = 0;
    FaultAction action = FaultAction::None; // Error, EventError, Silent or None
    OMX_ERRORTYPE code = OMX_ErrorNone;
};

// Match and application counts of each rule, per component handle or per process.
class FaultCounters
{
public:
    void reset(size_t rules);
    // Counts the call against every rule it matches and returns what applies.
    // `shim` picks the rules the call wrapper of faults_wrap_handle acts on instead of the call.
    FaultOutcome evaluate(const FaultConfig &cfg, std::string_view name, bool core_call, std::string_view call,
                          const std::vector<std::string> &quals, bool shim = false);

private:
    std::mutex mutex_;
    std::vector<uint64_t> matched_;
    std::vector<uint64_t> applied_;
};

// Sleeps for the outcome's delay.
void faults_sleep(const FaultOutcome &outcome);

// Sleeps for the delay, crashes or blocks, writes past `written` (`size` bytes given) for an
// overrun; true when the call must return `code` at once (an error rule).
bool fault_returns(const FaultOutcome &outcome, OMX_ERRORTYPE &code, void *written = nullptr, size_t size = 0);

// The component-level misbehaviours live around the component, not in it: the callbacks it is
// created with (a completion reported twice) and its function table (NULL slots, a bogus header,
// writes past a record). faults_callbacks goes before the component is created, with the
// client's table; faults_wrap_handle after.
const OMX_CALLBACKTYPE *faults_callbacks(OMX_HANDLETYPE handle, std::shared_ptr<const FaultConfig> cfg,
                                         const std::string &name, OMX_PTR app_data, const OMX_CALLBACKTYPE *client);
void faults_wrap_handle(OMX_HANDLETYPE handle);
// The handle was freed (or never made): with a late_callback outcome it calls the client back
// from another thread shortly afterwards.
void faults_handle_freed(OMX_HANDLETYPE handle, const FaultOutcome &outcome);
// Waits for the late callbacks still to come (OMX_Deinit).
void faults_join_late_callbacks();

// Short name of a parameter/config index for qualifiers: "PortDefinition", "CommonScale", ...
std::string faults_index_name(OMX_INDEXTYPE index);

// Number as the rules store it (decimal text).
std::string faults_number(uint32_t value);

// Role count and minimum buffers for a component, or -1 when the file does not set them.
int64_t faults_roles(const FaultConfig &cfg, std::string_view name);
int64_t faults_min_buffers(const FaultConfig &cfg, std::string_view name, uint32_t port);
// Whether the decoder decodes (default true).
bool faults_decode_enabled(const FaultConfig &cfg, std::string_view name);
// Whether the component refuses records whose version is not 1.1 (default false).
bool faults_strict_versions(const FaultConfig &cfg, std::string_view name);

} // namespace zyn
