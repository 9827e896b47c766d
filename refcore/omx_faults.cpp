#include "omx_faults.h"

#include "omx_registry.h"

#include <OMX_ZYN_Platform.h>

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace zyn
{
namespace
{

constexpr std::string_view kCoreCalls[] = {"OMX_Init",      "OMX_Deinit",     "OMX_ComponentNameEnum",
                                           "OMX_GetHandle", "OMX_FreeHandle", "OMX_GetRolesOfComponent"};
constexpr std::string_view kComponentCalls[] = {
    "GetParameter", "SetParameter",   "GetConfig",   "SetConfig",  "GetExtensionIndex", "GetState",      "SendCommand",
    "UseBuffer",    "AllocateBuffer", "UseEGLImage", "FreeBuffer", "EmptyThisBuffer",   "FillThisBuffer"};

template <size_t N> bool one_of(std::string_view s, const std::string_view (&set)[N])
{
    for (auto v : set)
        if (s == v)
            return true;
    return false;
}

// Decimal, or hexadecimal with 0x; the whole field must be the number.
bool parse_u64(std::string_view s, uint64_t &out)
{
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    if (s.empty())
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
    return ec == std::errc() && p == s.data() + s.size();
}

bool parse_u32(std::string_view s, uint32_t &out)
{
    uint64_t v = 0;
    if (!parse_u64(s, v) || v > UINT32_MAX)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

std::vector<std::string> split_blanks(std::string_view line)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r')
            ++j;
        if (j > i)
            out.emplace_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

// Numbers in qualifiers compare by value ("0x1" is "1").
std::string normalise_qual(std::string_view q)
{
    uint32_t v = 0;
    if (parse_u32(q, v))
        return faults_number(v);
    return std::string(q);
}

// crash segv|abort, block, twice, bogus_header, overrun N, late_callback. False (with `why`)
// when the action is one of these but does not fit; rule.action stays None when it is none of
// them.
bool parse_misbehaviour(const std::vector<std::string> &f, size_t &i, FaultRule &rule, std::string &why)
{
    const std::string &action = f[i - 1];
    auto only = [&](std::initializer_list<std::string_view> calls) {
        for (std::string_view c : calls)
            if (rule.call == c)
                return true;
        why = "'" + action + "' does not apply to " + rule.call;
        return false;
    };
    if (action == "crash") {
        if (i >= f.size() || (f[i] != "segv" && f[i] != "abort")) {
            why = "'crash' needs segv or abort";
            return false;
        }
        rule.arg = f[i++] == "segv" ? SIGSEGV : SIGABRT;
        rule.action = FaultAction::Crash;
        return true;
    }
    if (action == "overrun") {
        if (i >= f.size() || !parse_u32(f[i], rule.arg) || rule.arg == 0 || rule.arg > 4096) {
            why = "'overrun' needs a byte count from 1 to 4096";
            return false;
        }
        ++i;
        rule.action = FaultAction::Overrun;
        return only({"GetParameter", "GetConfig", "OMX_ComponentNameEnum", "OMX_GetRolesOfComponent"});
    }
    if (action == "block")
        rule.action = FaultAction::Block;
    else if (action == "twice")
        return (rule.action = FaultAction::Twice, only({"SendCommand"}));
    else if (action == "bogus_header")
        return (rule.action = FaultAction::BogusHeader, only({"UseBuffer", "AllocateBuffer"}));
    else if (action == "late_callback")
        return (rule.action = FaultAction::LateCallback, only({"OMX_FreeHandle"}));
    return true;
}

// Acted on by the wrapper around the component rather than by the call itself.
bool shim_action(FaultAction action, bool core_call)
{
    return action == FaultAction::Twice || action == FaultAction::BogusHeader ||
           (action == FaultAction::Overrun && !core_call);
}

bool parse_rule(const std::vector<std::string> &f, FaultRule &rule, std::string &why)
{
    rule.scope = f[0];
    std::string_view callq = f[1];
    size_t colon = callq.find(':');
    rule.call = std::string(callq.substr(0, colon));
    while (colon != std::string_view::npos) {
        size_t next = callq.find(':', colon + 1);
        rule.quals.push_back(
            normalise_qual(callq.substr(colon + 1, next == std::string_view::npos ? next : next - colon - 1)));
        colon = next;
    }
    bool core_call = one_of(rule.call, kCoreCalls);
    if (!core_call && !one_of(rule.call, kComponentCalls)) {
        why = "unknown call '" + rule.call + "'";
        return false;
    }
    if (!core_call && rule.scope == "core") {
        why = "component call with scope core (use *)";
        return false;
    }
    size_t i = 2;
    if (i >= f.size()) {
        why = "missing action";
        return false;
    }
    const std::string &action = f[i++];
    if (action == "delay" || action == "error" || action == "event_error") {
        if (i >= f.size() || !parse_u32(f[i], rule.arg)) {
            why = "'" + action + "' needs a number";
            return false;
        }
        ++i;
        rule.action = action == "delay"   ? FaultAction::Delay
                      : action == "error" ? FaultAction::Error
                                          : FaultAction::EventError;
        if (rule.action == FaultAction::EventError && rule.call != "SendCommand") {
            why = "event_error applies to SendCommand only";
            return false;
        }
    } else if (action == "silent" || action == "log") {
        rule.action = action == "silent" ? FaultAction::Silent : FaultAction::Log;
    } else if (!parse_misbehaviour(f, i, rule, why)) {
        return false;
    } else if (rule.action == FaultAction::None) {
        why = "unknown action '" + action + "'";
        return false;
    }
    while (i < f.size()) {
        uint64_t n = 0;
        if ((f[i] == "after" || f[i] == "times") && i + 1 < f.size() && parse_u64(f[i + 1], n)) {
            (f[i] == "after" ? rule.after : rule.times) = n;
            i += 2;
        } else {
            why = "unexpected '" + f[i] + "'";
            return false;
        }
    }
    return true;
}

// Settings lines: "core components N", "core names ...", "core enum_error I C",
// "SCOPE roles N", "SCOPE min_buffers PORT N", "SCOPE decode none|all".
// Returns false when the second field is no setting keyword.
bool parse_setting(const std::vector<std::string> &f, FaultConfig &cfg, std::string &why, bool &ok)
{
    const std::string &scope = f[0];
    const std::string &key = f[1];
    const std::string cscope = scope == "core" ? "*" : scope;
    ok = false;
    uint32_t a = 0, b = 0;
    if (key == "components") {
        if (scope != "core" || f.size() != 3 || !parse_u32(f[2], a) || a > 100000) {
            why = "usage: core components N";
            return true;
        }
        cfg.enum_override = true;
        cfg.enum_names.clear();
        for (uint32_t k = 0; k < a; ++k)
            cfg.enum_names.push_back(faults_generated_name(k));
    } else if (key == "names") {
        if (scope != "core") {
            why = "usage: core names NAME ...";
            return true;
        }
        cfg.enum_override = true;
        cfg.enum_names.assign(f.begin() + 2, f.end());
    } else if (key == "enum_error") {
        if (scope != "core" || f.size() != 4 || !parse_u32(f[2], a) || !parse_u32(f[3], b)) {
            why = "usage: core enum_error INDEX CODE";
            return true;
        }
        cfg.enum_errors.emplace_back(a, b);
    } else if (key == "roles") {
        if (f.size() != 3 || !parse_u32(f[2], a)) {
            why = "usage: SCOPE roles COUNT";
            return true;
        }
        cfg.roles.push_back({cscope, 0, a});
    } else if (key == "min_buffers") {
        if (f.size() != 4 || !parse_u32(f[2], a) || !parse_u32(f[3], b) || a > 1 || b > 64) {
            why = "usage: SCOPE min_buffers PORT(0|1) COUNT(0..64)";
            return true;
        }
        cfg.min_buffers.push_back({cscope, a, b});
    } else if (key == "null_slot") {
        if (f.size() < 3 || scope == "core") {
            why = "usage: SCOPE null_slot CALL ...";
            return true;
        }
        for (size_t k = 2; k < f.size(); ++k) {
            if (!one_of(f[k], kComponentCalls)) {
                why = "unknown call '" + f[k] + "'";
                return true;
            }
            cfg.null_slots.emplace_back(cscope, f[k]);
        }
    } else if (key == "decode") {
        if (f.size() != 3 || (f[2] != "none" && f[2] != "all")) {
            why = "usage: SCOPE decode none|all";
            return true;
        }
        cfg.decode.emplace_back(cscope, f[2] == "all");
    } else if (key == "versions") {
        if (f.size() != 3 || (f[2] != "strict" && f[2] != "any")) {
            why = "usage: SCOPE versions strict|any";
            return true;
        }
        cfg.strict_versions.emplace_back(cscope, f[2] == "strict");
    } else {
        return false;
    }
    ok = true;
    return true;
}

bool scope_matches(std::string_view scope, std::string_view name)
{
    return scope == "*" || scope == name;
}

} // namespace

std::string faults_number(uint32_t value)
{
    return std::to_string(value);
}

std::string faults_generated_name(uint32_t index)
{
    if (index < kStandardComponents.size())
        return kStandardComponents[index].name;
    return "OMX.ZYN.Extra." + std::to_string(index);
}

std::shared_ptr<const FaultConfig> faults_parse(std::string_view text, std::string *complaints)
{
    auto cfg = std::make_shared<FaultConfig>();
    cfg->text = std::string(text);
    size_t pos = 0;
    int lineno = 0;
    while (pos <= text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() + 1 : nl + 1;
        ++lineno;
        if (size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        auto f = split_blanks(line);
        if (f.empty())
            continue;
        std::string why;
        bool ok = false;
        if (f.size() < 2) {
            why = "too few fields";
        } else if (!parse_setting(f, *cfg, why, ok)) {
            FaultRule rule;
            ok = parse_rule(f, rule, why);
            if (ok)
                cfg->rules.push_back(std::move(rule));
        }
        if (!ok && complaints) {
            *complaints +=
                "ZYN_OMX_FAULTS line " + std::to_string(lineno) + " ignored: " + why + ": " + std::string(line) + "\n";
        }
    }
    return cfg;
}

std::shared_ptr<const FaultConfig> faults_load_from_env()
{
    const char *path = std::getenv("ZYN_OMX_FAULTS");
    if (!path || !*path)
        return std::make_shared<FaultConfig>();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "ZYN_OMX_FAULTS: cannot read %s; no faults\n", path);
        return std::make_shared<FaultConfig>();
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    std::string complaints;
    auto cfg = faults_parse(ss.str(), &complaints);
    if (!complaints.empty())
        std::fputs(complaints.c_str(), stderr);
    return cfg;
}

void FaultCounters::reset(size_t rules)
{
    std::lock_guard lock(mutex_);
    matched_.assign(rules, 0);
    applied_.assign(rules, 0);
}

FaultOutcome FaultCounters::evaluate(const FaultConfig &cfg, std::string_view name, bool core_call,
                                     std::string_view call, const std::vector<std::string> &quals, bool shim)
{
    FaultOutcome out;
    std::lock_guard lock(mutex_);
    if (matched_.size() != cfg.rules.size()) {
        matched_.assign(cfg.rules.size(), 0);
        applied_.assign(cfg.rules.size(), 0);
    }
    for (size_t i = 0; i < cfg.rules.size(); ++i) {
        const FaultRule &r = cfg.rules[i];
        if (r.call != call || shim_action(r.action, core_call) != shim)
            continue;
        if (!(scope_matches(r.scope, name) || (core_call && r.scope == "core")))
            continue;
        if (r.quals.size() > quals.size())
            continue;
        bool match = true;
        for (size_t q = 0; q < r.quals.size() && match; ++q)
            match = r.quals[q] == "*" || r.quals[q] == quals[q];
        if (!match)
            continue;
        ++matched_[i];
        if (matched_[i] <= r.after || applied_[i] >= r.times)
            continue;
        // Delays and logs add up; of the other actions the first applicable rule decides.
        if (r.action == FaultAction::Log) {
            ++applied_[i];
            std::fprintf(stderr, "ZYN_OMX_FAULTS: %.*s called\n", static_cast<int>(call.size()), call.data());
        } else if (r.action == FaultAction::Delay) {
            ++applied_[i];
            out.delay_us += r.arg;
        } else if (out.action == FaultAction::None) {
            ++applied_[i];
            out.action = r.action;
            out.code = static_cast<OMX_ERRORTYPE>(r.arg);
        }
    }
    return out;
}

void faults_sleep(const FaultOutcome &outcome)
{
    if (outcome.delay_us)
        std::this_thread::sleep_for(std::chrono::microseconds(outcome.delay_us));
}

bool fault_returns(const FaultOutcome &outcome, OMX_ERRORTYPE &code, void *written, size_t size)
{
    faults_sleep(outcome);
    if (outcome.action == FaultAction::Crash) {
        if (outcome.code == static_cast<OMX_ERRORTYPE>(SIGSEGV))
            raise(SIGSEGV);
        std::abort();
    }
    while (outcome.action == FaultAction::Block)
        pause();
    if (outcome.action == FaultAction::Overrun && written != nullptr)
        std::memset(static_cast<unsigned char *>(written) + size, 0x5A, outcome.code);
    if (outcome.action != FaultAction::Error)
        return false;
    code = outcome.code;
    return true;
}

std::string faults_index_name(OMX_INDEXTYPE index)
{
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexParamPortDefinition: return "PortDefinition";
    case OMX_IndexParamStandardComponentRole: return "StandardComponentRole";
    case OMX_IndexParamVideoPortFormat: return "VideoPortFormat";
    case OMX_IndexParamVideoProfileLevelQuerySupported: return "VideoProfileLevelQuerySupported";
    case OMX_IndexParamVideoProfileLevelCurrent: return "VideoProfileLevelCurrent";
    case OMX_IndexParamVideoErrorCorrection: return "VideoErrorCorrection";
    case OMX_IndexParamVideoInit: return "VideoInit";
    case OMX_IndexConfigCommonScale: return "CommonScale";
    case OMX_IndexConfigCommonOutputCrop: return "CommonOutputCrop";
    case OMX_IndexVendorThumbnailMode: return "VendorThumbnailMode";
    default: return faults_number(static_cast<uint32_t>(index));
    }
}

int64_t faults_roles(const FaultConfig &cfg, std::string_view name)
{
    int64_t v = -1;
    for (const auto &r : cfg.roles)
        if (scope_matches(r.scope, name))
            v = r.count; // the last matching line wins
    return v;
}

int64_t faults_min_buffers(const FaultConfig &cfg, std::string_view name, uint32_t port)
{
    int64_t v = -1;
    for (const auto &r : cfg.min_buffers)
        if (r.port == port && scope_matches(r.scope, name))
            v = r.count;
    return v;
}

namespace
{
// The last matching line of an on/off setting wins.
bool switch_for(const std::vector<std::pair<std::string, bool>> &lines, std::string_view name, bool on)
{
    for (const auto &[scope, enabled] : lines)
        if (scope_matches(scope, name))
            on = enabled;
    return on;
}
} // namespace

bool faults_decode_enabled(const FaultConfig &cfg, std::string_view name)
{
    return switch_for(cfg.decode, name, true);
}

bool faults_strict_versions(const FaultConfig &cfg, std::string_view name)
{
    return switch_for(cfg.strict_versions, name, false);
}

namespace
{

// What the wrapper around one component knows: the client's callbacks, the component's own
// table, and commands whose completion goes to the client twice.
struct Shim {
    std::shared_ptr<const FaultConfig> cfg;
    std::string name;
    OMX_PTR app_data = nullptr;
    OMX_CALLBACKTYPE client{};
    OMX_CALLBACKTYPE own{};
    OMX_COMPONENTTYPE original{};
    FaultCounters counters;
    std::mutex mutex;
    std::vector<std::pair<uint32_t, uint32_t>> twice; // command, param
};

// Module-level by design: the component calls the wrappers with nothing but its handle.
std::mutex shims_mutex;
std::map<OMX_HANDLETYPE, std::shared_ptr<Shim>> shims;
std::mutex late_mutex;
std::vector<std::thread> late_callbacks;

std::shared_ptr<Shim> shim_of(OMX_HANDLETYPE h)
{
    std::lock_guard lock(shims_mutex);
    auto it = shims.find(h);
    return it == shims.end() ? nullptr : it->second;
}

FaultOutcome shim_fault(Shim &s, const char *call, std::vector<std::string> quals = {})
{
    return s.counters.evaluate(*s.cfg, s.name, false, call, quals, true);
}

OMX_ERRORTYPE shim_event(OMX_HANDLETYPE h, OMX_PTR app, OMX_EVENTTYPE event, OMX_U32 d1, OMX_U32 d2, OMX_PTR data)
{
    auto s = shim_of(h);
    if (!s)
        return OMX_ErrorNone;
    int times = 1;
    if (event == OMX_EventCmdComplete) {
        std::lock_guard lock(s->mutex);
        const std::pair<uint32_t, uint32_t> key{static_cast<uint32_t>(d1), static_cast<uint32_t>(d2)};
        for (auto it = s->twice.begin(); it != s->twice.end(); ++it) {
            if (*it == key) {
                s->twice.erase(it);
                times = 2;
                break;
            }
        }
    }
    for (int k = 0; k < times; ++k)
        s->client.EventHandler(h, app, event, d1, d2, data);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE shim_empty_done(OMX_HANDLETYPE h, OMX_PTR app, OMX_BUFFERHEADERTYPE *b)
{
    auto s = shim_of(h);
    return s ? s->client.EmptyBufferDone(h, app, b) : OMX_ErrorNone;
}

OMX_ERRORTYPE shim_fill_done(OMX_HANDLETYPE h, OMX_PTR app, OMX_BUFFERHEADERTYPE *b)
{
    auto s = shim_of(h);
    return s ? s->client.FillBufferDone(h, app, b) : OMX_ErrorNone;
}

OMX_ERRORTYPE shim_send_command(OMX_HANDLETYPE h, OMX_COMMANDTYPE cmd, OMX_U32 param, OMX_PTR data)
{
    auto s = shim_of(h);
    static const char *const kStates[] = {"Invalid", "Loaded", "Idle", "Executing", "Pause", "WaitForResources"};
    static const char *const kCommands[] = {"StateSet", "Flush", "PortDisable", "PortEnable", "MarkBuffer"};
    std::vector<std::string> quals;
    if (static_cast<uint32_t>(cmd) < std::size(kCommands))
        quals = {kCommands[cmd], cmd == OMX_CommandStateSet && param < std::size(kStates) ? std::string(kStates[param])
                                                                                          : faults_number(param)};
    const bool twice = shim_fault(*s, "SendCommand", quals).action == FaultAction::Twice;
    if (twice) {
        std::lock_guard lock(s->mutex);
        s->twice.emplace_back(static_cast<uint32_t>(cmd), static_cast<uint32_t>(param));
    }
    return s->original.SendCommand(h, cmd, param, data);
}

// A header pointer into the first page, where nothing is mapped.
OMX_ERRORTYPE forge(Shim &s, const char *call, OMX_U32 port, OMX_BUFFERHEADERTYPE **pp, OMX_ERRORTYPE err)
{
    if (err == OMX_ErrorNone && shim_fault(s, call, {faults_number(port)}).action == FaultAction::BogusHeader)
        *pp = reinterpret_cast<OMX_BUFFERHEADERTYPE *>(static_cast<uintptr_t>(alignof(OMX_BUFFERHEADERTYPE) * 64));
    return err;
}

OMX_ERRORTYPE shim_use_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **pp, OMX_U32 port, OMX_PTR app, OMX_U32 size,
                              OMX_U8 *data)
{
    auto s = shim_of(h);
    return forge(*s, "UseBuffer", port, pp, s->original.UseBuffer(h, pp, port, app, size, data));
}

OMX_ERRORTYPE shim_allocate_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **pp, OMX_U32 port, OMX_PTR app, OMX_U32 size)
{
    auto s = shim_of(h);
    return forge(*s, "AllocateBuffer", port, pp, s->original.AllocateBuffer(h, pp, port, app, size));
}

// Writes past the nSize bytes of the record after the call.
OMX_ERRORTYPE overrun(Shim &s, const char *call, OMX_INDEXTYPE index, OMX_PTR p, OMX_ERRORTYPE err)
{
    const FaultOutcome f = shim_fault(s, call, {faults_index_name(index)});
    if (f.action == FaultAction::Overrun && p != nullptr) {
        OMX_U32 size = 0;
        std::memcpy(&size, p, sizeof size);
        OMX_ERRORTYPE ignored;
        fault_returns(f, ignored, p, size);
    }
    return err;
}

OMX_ERRORTYPE shim_get_parameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR p)
{
    auto s = shim_of(h);
    return overrun(*s, "GetParameter", index, p, s->original.GetParameter(h, index, p));
}

OMX_ERRORTYPE shim_get_config(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR p)
{
    auto s = shim_of(h);
    return overrun(*s, "GetConfig", index, p, s->original.GetConfig(h, index, p));
}

bool has_shim_rule(const FaultConfig &cfg, FaultAction action, std::string_view name)
{
    for (const FaultRule &r : cfg.rules)
        if (r.action == action && scope_matches(r.scope, name))
            return true;
    return false;
}

} // namespace

const OMX_CALLBACKTYPE *faults_callbacks(OMX_HANDLETYPE handle, std::shared_ptr<const FaultConfig> cfg,
                                         const std::string &name, OMX_PTR app_data, const OMX_CALLBACKTYPE *client)
{
    auto s = std::make_shared<Shim>();
    s->cfg = std::move(cfg);
    s->name = name;
    s->app_data = app_data;
    s->client = *client;
    s->own = {shim_event, shim_empty_done, shim_fill_done};
    std::lock_guard lock(shims_mutex);
    shims[handle] = s;
    return &s->own;
}

void faults_wrap_handle(OMX_HANDLETYPE handle)
{
    auto s = shim_of(handle);
    if (!s)
        return;
    auto *h = static_cast<OMX_COMPONENTTYPE *>(handle);
    s->original = *h;
    const FaultConfig &cfg = *s->cfg;
    if (has_shim_rule(cfg, FaultAction::Twice, s->name))
        h->SendCommand = shim_send_command;
    if (has_shim_rule(cfg, FaultAction::BogusHeader, s->name)) {
        h->UseBuffer = shim_use_buffer;
        h->AllocateBuffer = shim_allocate_buffer;
    }
    if (has_shim_rule(cfg, FaultAction::Overrun, s->name)) {
        h->GetParameter = shim_get_parameter;
        h->GetConfig = shim_get_config;
    }
    for (const auto &[scope, call] : cfg.null_slots) {
        if (!scope_matches(scope, s->name))
            continue;
// Each slot's name and place in the function table.
#define ZYN_SLOT(call) std::pair<std::string_view, size_t>(#call, offsetof(OMX_COMPONENTTYPE, call))
        static const std::pair<std::string_view, size_t> kSlots[] = {
            ZYN_SLOT(GetParameter),      ZYN_SLOT(SetParameter), ZYN_SLOT(GetConfig),   ZYN_SLOT(SetConfig),
            ZYN_SLOT(GetExtensionIndex), ZYN_SLOT(GetState),     ZYN_SLOT(SendCommand), ZYN_SLOT(UseBuffer),
            ZYN_SLOT(AllocateBuffer),    ZYN_SLOT(UseEGLImage),  ZYN_SLOT(FreeBuffer),  ZYN_SLOT(EmptyThisBuffer),
            ZYN_SLOT(FillThisBuffer)};
#undef ZYN_SLOT
        for (const auto &[slot, offset] : kSlots)
            if (slot == call)
                std::memset(reinterpret_cast<unsigned char *>(h) + offset, 0, sizeof(void *));
    }
}

void faults_handle_freed(OMX_HANDLETYPE handle, const FaultOutcome &outcome)
{
    std::shared_ptr<Shim> s;
    {
        std::lock_guard lock(shims_mutex);
        auto it = shims.find(handle);
        if (it == shims.end())
            return;
        s = it->second;
        shims.erase(it);
    }
    if (outcome.action != FaultAction::LateCallback)
        return;
    std::lock_guard lock(late_mutex);
    late_callbacks.emplace_back([s, handle] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        s->client.EventHandler(handle, s->app_data, OMX_EventCmdComplete, OMX_CommandStateSet, OMX_StateLoaded,
                               nullptr);
    });
}

void faults_join_late_callbacks()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(late_mutex);
        threads.swap(late_callbacks);
    }
    for (std::thread &t : threads)
        t.join();
}

} // namespace zyn
