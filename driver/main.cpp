// Program entry of omx_test: loads the OpenMAX IL core at run time, resolves its six entry
// points and hands them to the core interface test. Arguments are ignored; the exit status is
// always 0.
#include <cstdio>

#include "omx_core_interface_test.h"
#include "omx_core_loader.h"
#include "omx_results.h"

int main(int, char **)
{
    OmxCoreLibrary library;
    if (!library.is_open())
        return 0;
    // Every entry point is looked up, so each missing one is named, before the run is refused:
    // a core without all six cannot be tested.
    OMX_CORE_INTERFACE omx_core_interface{};
    const bool resolved = library.resolve(&omx_core_interface, [](const char *symbol) {
        printf("%s: %s not found FAIL\n", kOmxCoreLibrary, symbol);
        return true;
    });
    if (resolved) {
        puts(" Interface test is called ");
        fflush(stdout);
        omx_results_core(kOmxCoreLibrary);
        omx_core_interface_test(&omx_core_interface);
        if (!omx_results_write())
            fprintf(stderr, "omx_test: the results file could not be written\n");
    }
    return 0;
}
