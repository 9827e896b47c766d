// Program entry: loads the OpenMAX IL core at run time, resolves its six entry
// points and hands them to the core interface test. The exit status is always 0.
#include <dlfcn.h>
#include <stdio.h>

#include "omx_component.h"

namespace
{

const char kCoreLibrary[] = "libZYN_OMX_Core.so";

// Looks one entry point up; a missing one is reported by name.
template <typename Func> bool resolve(void *LibHandle, const char *symbol, Func *field)
{
    *field = reinterpret_cast<Func>(dlsym(LibHandle, symbol));
    if (*field)
        return true;
    printf("%s: %s not found FAIL\n", kCoreLibrary, symbol);
    return false;
}

} // namespace

int main(int, char **)
{
    OMX_CORE_INTERFACE omx_core_interface{};

    void *LibHandle = dlopen(kCoreLibrary, RTLD_NOW);
    if (!LibHandle) {
        printf("dlopen failed %s \n", dlerror());
        puts("libZYN_OMX_Core.so open FAIL");
        return 0;
    }
    puts(" libZYN_OMX_Core.so opened succesfully");
    fflush(stdout);

    // Every entry point is looked up (so each missing one is named) before the
    // run is refused: a core without all six cannot be tested.
    bool resolved = resolve(LibHandle, "OMX_Init", &omx_core_interface.init);
    resolved &= resolve(LibHandle, "OMX_Deinit", &omx_core_interface.deinit);
    resolved &= resolve(LibHandle, "OMX_ComponentNameEnum", &omx_core_interface.componentname_enum);
    resolved &= resolve(LibHandle, "OMX_GetHandle", &omx_core_interface.get_handle);
    resolved &= resolve(LibHandle, "OMX_FreeHandle", &omx_core_interface.free_handle);
    resolved &= resolve(LibHandle, "OMX_GetRolesOfComponent", &omx_core_interface.get_roles_of_component);

    if (resolved) {
        puts(" Interface test is called ");
        fflush(stdout);
        omx_core_interface_test(&omx_core_interface);
    }

    dlclose(LibHandle);
    return 0;
}
