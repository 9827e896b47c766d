// The component test loop of omx_test.
#include "omx_component_test_loop.h"

#include "omx_guard.h"
#include "omx_list_file.h"
#include "omx_report.h"
#include "omx_results.h"
#include "omx_test_cases.h"

// Module-level by design: the list file of the component being processed.
FILE *list_file;

namespace
{

// A handle for the entry, the decoding pass on it, the handle freed.
void run_entry(OMX_CORE_INTERFACE *core_interface, char *name, ZYN_OMX_COMPONENT_INFO *component_info,
               OMX_CALLBACKTYPE *callbacks)
{
    OMX_HANDLETYPE handle = nullptr;
    const OMX_ERRORTYPE err = core_interface->get_handle(&handle, name, component_info, callbacks);
    if (err != OMX_ErrorNone || !handle) {
        // Nothing to test or free: the entry is skipped.
        printf("omx_component_test_loop: OMX_GetHandle: FAIL: %x, %s\n", static_cast<unsigned>(err), name);
        return;
    }
    const OmxReportCounts before = omx_report_counts();
    omx_results_pass_begin(name, component_info->in_file_name, component_info->width, component_info->height);
    omx_decoding_test(static_cast<OMX_COMPONENTTYPE *>(handle), component_info, SUPPORT_COLOR_FORMAT_ARGB8888);
    const OmxReportCounts lines = omx_report_counts() - before;
    omx_results_pass_end(lines.fail, lines.timeout);
    core_interface->free_handle(handle);
}

} // namespace

void omx_component_test_loop(OMX_CORE_INTERFACE *core_interface, char *const *component_name, unsigned component_num,
                             ZYN_OMX_COMPONENT_INFO *component_info, OMX_CALLBACKTYPE *callbacks)
{
    for (unsigned i = 0; i < component_num; ++i) {
        list_file = open_list_file(component_name[i], component_info);
        if (!list_file) {
            puts("can't open list file Error");
            continue;
        }
        // With OMX_TEST_ISOLATE=1 each entry runs in a process of its own.
        while (parse_list(list_file, component_info) == 0)
            omx_isolated_step([&] { run_entry(core_interface, component_name[i], component_info, callbacks); });
        fclose(list_file);
        list_file = nullptr;
    }
}
