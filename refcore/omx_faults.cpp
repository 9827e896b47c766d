#include "omx_faults.h"

#include "omx_registry.h"

#include <OMX_ZYN_Platform.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
    } else if (action == "silent") {
        rule.action = FaultAction::Silent;
    } else {
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
    } else if (key == "decode") {
        if (f.size() != 3 || (f[2] != "none" && f[2] != "all")) {
            why = "usage: SCOPE decode none|all";
            return true;
        }
        cfg.decode.emplace_back(cscope, f[2] == "all");
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
                                     std::string_view call, const std::vector<std::string> &quals)
{
    FaultOutcome out;
    std::lock_guard lock(mutex_);
    if (matched_.size() != cfg.rules.size()) {
        matched_.assign(cfg.rules.size(), 0);
        applied_.assign(cfg.rules.size(), 0);
    }
    for (size_t i = 0; i < cfg.rules.size(); ++i) {
        const FaultRule &r = cfg.rules[i];
        if (r.call != call)
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
        // Delays add up; of the other actions the first applicable rule decides.
        if (r.action == FaultAction::Delay) {
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

bool fault_returns(const FaultOutcome &outcome, OMX_ERRORTYPE &code)
{
    faults_sleep(outcome);
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

bool faults_decode_enabled(const FaultConfig &cfg, std::string_view name)
{
    bool on = true;
    for (const auto &[scope, enabled] : cfg.decode)
        if (scope_matches(scope, name))
            on = enabled;
    return on;
}

} // namespace zyn
