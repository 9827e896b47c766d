// Loading the core at run time: a board's core and the reference core are found the same way.
#include "omx_core_loader.h"

#include <dlfcn.h>

#include <cstdio>

#include "omx_guard.h"

OmxCoreLibrary::OmxCoreLibrary()
{
    omx_guard_install();
    library_ = dlopen(kOmxCoreLibrary, RTLD_NOW);
    if (library_ == nullptr) {
        printf("dlopen failed %s \n", dlerror());
        puts("libZYN_OMX_Core.so open FAIL");
        return;
    }
    puts(" libZYN_OMX_Core.so opened succesfully");
    fflush(stdout);
}

OmxCoreLibrary::~OmxCoreLibrary()
{
    if (library_ != nullptr)
        dlclose(library_);
}

namespace
{

template <typename Func> bool look_up(void *library, const char *symbol, Func *field)
{
    *field = reinterpret_cast<Func>(dlsym(library, symbol));
    return *field != nullptr;
}

} // namespace

bool OmxCoreLibrary::resolve(OMX_CORE_INTERFACE *core, const std::function<bool(const char *symbol)> &missing)
{
    bool all = true;
    auto one = [&](const char *symbol, auto *field) {
        if (look_up(library_, symbol, field))
            return true;
        all = false;
        return missing(symbol);
    };
    (void)(one("OMX_Init", &core->init) && one("OMX_Deinit", &core->deinit) &&
           one("OMX_ComponentNameEnum", &core->componentname_enum) && one("OMX_GetHandle", &core->get_handle) &&
           one("OMX_FreeHandle", &core->free_handle) && one("OMX_GetRolesOfComponent", &core->get_roles_of_component));
    if (all)
        omx_guard_core(core);
    return all;
}
