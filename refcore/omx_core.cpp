// The nine entry points of libZYN_OMX_Core.so and the component registry behind them.
#pragma GCC visibility push(default)
#include <OMX_Core.h>
#pragma GCC visibility pop

#include "omx_component.h"
#include "omx_faults.h"
#include "omx_registry.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace
{

using namespace zyn;

struct CoreState {
    std::mutex mu;
    bool initialised = false;
    std::shared_ptr<const FaultConfig> faults = std::make_shared<FaultConfig>();
    FaultCounters counters; // per process; kept while the fault file stays the same
    std::set<OMX_COMPONENTTYPE *> handles;
};

// The core's entry points take no context: what OMX_Init sets up is the process's, held here. It
// outlives every static destructor that might call in.
CoreState &core()
{
    static CoreState *state = new CoreState;
    return *state;
}

std::shared_ptr<const FaultConfig> faults_now()
{
    std::lock_guard lock(core().mu);
    return core().faults;
}

std::vector<std::string> enumerated(const FaultConfig &cfg)
{
    if (cfg.enum_override)
        return cfg.enum_names;
    std::vector<std::string> names;
    for (const auto &d : kStandardComponents)
        names.emplace_back(d.name);
    return names;
}

// The description a name gets a handle with: a standard component, or the generic decoder for
// a name the fault file makes the core enumerate.
const ComponentDesc *describe(const FaultConfig &cfg, const std::string &name)
{
    if (const ComponentDesc *d = registry_find(name))
        return d;
    for (const auto &n : enumerated(cfg))
        if (n == name)
            return &kGenericComponent;
    return nullptr;
}

FaultOutcome core_fault(const FaultConfig &cfg, std::string_view name, const char *call)
{
    return core().counters.evaluate(cfg, name, true, call, {});
}

bool bounded_name(const char *name, std::string &out)
{
    if (!name)
        return false;
    size_t n = strnlen(name, OMX_MAX_STRINGNAME_SIZE);
    if (n == OMX_MAX_STRINGNAME_SIZE)
        return false;
    out.assign(name, n);
    return true;
}

bool initialised()
{
    std::lock_guard lock(core().mu);
    return core().initialised;
}

} // namespace

extern "C" {

OMX_ERRORTYPE OMX_Init(void)
{
    // The fault file is read at every OMX_Init; the per-process counters start again only when
    // its content changed, so "after N" rules on OMX_Init itself work.
    auto cfg = faults_load_from_env();
    {
        std::lock_guard lock(core().mu);
        if (cfg->text != core().faults->text || cfg->rules.size() != core().faults->rules.size()) {
            core().faults = cfg;
            core().counters.reset(cfg->rules.size());
        }
        cfg = core().faults;
    }
    OMX_ERRORTYPE code;
    if (fault_returns(core_fault(*cfg, "", "OMX_Init"), code))
        return code;
    std::lock_guard lock(core().mu);
    core().initialised = true;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_Deinit(void)
{
    auto cfg = faults_now();
    OMX_ERRORTYPE code;
    if (fault_returns(core_fault(*cfg, "", "OMX_Deinit"), code))
        return code;
    faults_join_late_callbacks();
    std::lock_guard lock(core().mu);
    core().initialised = false;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_ComponentNameEnum(OMX_STRING name, OMX_U32 length, OMX_U32 index)
{
    auto cfg = faults_now();
    auto names = enumerated(*cfg);
    OMX_ERRORTYPE code;
    if (fault_returns(core_fault(*cfg, index < names.size() ? names[index] : "", "OMX_ComponentNameEnum"), code, name,
                      length))
        return code;
    if (!initialised())
        return OMX_ErrorNotReady;
    if (!name || length == 0)
        return OMX_ErrorBadParameter;
    for (const auto &[at, err] : cfg->enum_errors)
        if (at == index)
            return static_cast<OMX_ERRORTYPE>(err);
    if (index >= names.size())
        return OMX_ErrorNoMore;
    const std::string &n = names[index];
    if (n.size() >= length)
        return OMX_ErrorBadParameter; // never hand out a cut name
    std::memcpy(name, n.c_str(), n.size() + 1);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_GetHandle(OMX_HANDLETYPE *handle, OMX_STRING name, OMX_PTR app_data, OMX_CALLBACKTYPE *callbacks)
{
    auto cfg = faults_now();
    std::string n;
    bool name_ok = bounded_name(name, n);
    OMX_ERRORTYPE code;
    if (fault_returns(core_fault(*cfg, n, "OMX_GetHandle"), code))
        return code;
    if (!initialised())
        return OMX_ErrorNotReady;
    if (!handle || !callbacks)
        return OMX_ErrorBadParameter;
    if (!name_ok)
        return name ? OMX_ErrorInvalidComponentName : OMX_ErrorBadParameter;
    const ComponentDesc *desc = describe(*cfg, n);
    if (!desc)
        return OMX_ErrorComponentNotFound;
    auto *h = new (std::nothrow) OMX_COMPONENTTYPE{};
    if (!h)
        return OMX_ErrorInsufficientResources;
    h->nSize = sizeof *h;
    h->nVersion.s.nVersionMajor = 1;
    h->nVersion.s.nVersionMinor = 1;
    h->pApplicationPrivate = app_data;
    if (OMX_ERRORTYPE err =
            component_create(h, n, *desc, cfg, app_data, faults_callbacks(h, cfg, n, app_data, callbacks))) {
        faults_handle_freed(h, {});
        delete h;
        return err;
    }
    faults_wrap_handle(h);
    {
        std::lock_guard lock(core().mu);
        core().handles.insert(h);
    }
    *handle = h;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_FreeHandle(OMX_HANDLETYPE handle)
{
    auto *h = static_cast<OMX_COMPONENTTYPE *>(handle);
    bool known;
    {
        std::lock_guard lock(core().mu);
        known = core().handles.count(h) != 0;
    }
    auto cfg = faults_now();
    OMX_ERRORTYPE code;
    const FaultOutcome freeing = core_fault(*cfg, known ? component_name(h) : std::string(), "OMX_FreeHandle");
    if (fault_returns(freeing, code))
        return code;
    if (!known)
        return OMX_ErrorBadParameter;
    {
        std::lock_guard lock(core().mu);
        if (!core().handles.erase(h))
            return OMX_ErrorBadParameter; // freed by another thread meanwhile
    }
    component_destroy(h);
    faults_handle_freed(h, freeing);
    delete h;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_GetRolesOfComponent(OMX_STRING name, OMX_U32 *num_roles, OMX_U8 **roles)
{
    auto cfg = faults_now();
    std::string n;
    bool name_ok = bounded_name(name, n);
    OMX_ERRORTYPE code;
    if (fault_returns(core_fault(*cfg, n, "OMX_GetRolesOfComponent"), code,
                      roles != nullptr && num_roles != nullptr && *num_roles != 0 ? roles[0] : nullptr,
                      OMX_MAX_STRINGNAME_SIZE))
        return code;
    if (!initialised())
        return OMX_ErrorNotReady;
    if (!name_ok || !num_roles)
        return OMX_ErrorBadParameter;
    const ComponentDesc *desc = describe(*cfg, n);
    if (!desc)
        return OMX_ErrorComponentNotFound;
    int64_t set = faults_roles(*cfg, n);
    OMX_U32 count = set >= 0 ? static_cast<OMX_U32>(set) : 1;
    if (!roles) {
        *num_roles = count;
        return OMX_ErrorNone;
    }
    // With an array, *num_roles is its capacity on the way in and the count written on the way out.
    OMX_U32 n_out = std::min(count, *num_roles);
    for (OMX_U32 k = 0; k < n_out; ++k) {
        if (!roles[k])
            return OMX_ErrorBadParameter;
        if (k == 0)
            std::snprintf(reinterpret_cast<char *>(roles[k]), OMX_MAX_STRINGNAME_SIZE, "%s", desc->role);
        else
            std::snprintf(reinterpret_cast<char *>(roles[k]), OMX_MAX_STRINGNAME_SIZE, "role.%lu",
                          static_cast<unsigned long>(k));
    }
    *num_roles = n_out;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_GetComponentsOfRole(OMX_STRING role, OMX_U32 *num_comps, OMX_U8 **names)
{
    auto cfg = faults_now();
    std::string r;
    if (!initialised())
        return OMX_ErrorNotReady;
    if (!bounded_name(role, r) || !num_comps)
        return OMX_ErrorBadParameter;
    std::vector<std::string> found;
    for (const auto &n : enumerated(*cfg))
        if (const ComponentDesc *d = describe(*cfg, n); d && r == d->role)
            found.push_back(n);
    if (!names) {
        *num_comps = static_cast<OMX_U32>(found.size());
        return OMX_ErrorNone;
    }
    // As for roles: *num_comps is the array's capacity on the way in, the count written on the way out.
    OMX_U32 n_out = std::min(static_cast<OMX_U32>(found.size()), *num_comps);
    for (OMX_U32 k = 0; k < n_out; ++k) {
        if (!names[k])
            return OMX_ErrorBadParameter;
        std::snprintf(reinterpret_cast<char *>(names[k]), OMX_MAX_STRINGNAME_SIZE, "%s", found[k].c_str());
    }
    *num_comps = n_out;
    return OMX_ErrorNone;
}

// The components exchange buffers with the client only. A NULL peer is the standard way of asking
// for exactly that and is granted; a tunnel between two components is not implemented.
OMX_ERRORTYPE OMX_SetupTunnel(OMX_HANDLETYPE output, OMX_U32 output_port, OMX_HANDLETYPE input, OMX_U32 input_port)
{
    if (!output && !input)
        return OMX_ErrorBadParameter;
    {
        std::lock_guard lock(core().mu);
        for (OMX_HANDLETYPE h : {output, input})
            if (h && !core().handles.count(static_cast<OMX_COMPONENTTYPE *>(h)))
                return OMX_ErrorBadParameter;
    }
    if (output && input)
        return OMX_ErrorNotImplemented;
    OMX_TUNNELSETUPTYPE setup{};
    auto *h = static_cast<OMX_COMPONENTTYPE *>(output ? output : input);
    return h->ComponentTunnelRequest(h, output ? output_port : input_port, nullptr, 0, &setup);
}

// No content pipes: the components read and write client buffers only.
OMX_ERRORTYPE OMX_GetContentPipe(OMX_HANDLETYPE *pipe, OMX_STRING uri)
{
    if (!pipe || !uri)
        return OMX_ErrorBadParameter;
    *pipe = nullptr;
    return OMX_ErrorContentPipeCreationFailed;
}

} // extern "C"
