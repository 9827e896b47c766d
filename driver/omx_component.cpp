// The driver of the whole run: test case UTC 001 against the core (initialise,
// de-initialise, enumerate, roles, one handle per component), then the
// component test loop that runs the decoding test for every list-file entry.
#include <cstdlib>
#include <cstring>
#include <sys/time.h>

#include "omx_component.h"
#include "omx_driver_internal.h"

OmxDriverCallocFunc omx_driver_calloc = calloc;
OmxComponentRunFunc omx_component_run = omx_decoding_test;

namespace
{

const OMX_CALLBACKTYPE kDriverCallbacks = {OMX_EventHandlerDone, OMX_EmptyThisBufferDone, OMX_FillThisBufferDone};

static_assert(OMX_MAX_ROLES == OMX_MAX_COMPONENTS, "name and role buffers are freed slot by slot");

// Name and role buffers of one run; every slot is cleared when allocated, so a
// name the core never wrote reads as an empty string.
struct DriverBuffers {
    char *component_name[OMX_MAX_COMPONENTS];
    OMX_U8 *component_role[OMX_MAX_ROLES];
};

bool allocate_buffers(DriverBuffers *buffers)
{
    for (int i = 0; i < OMX_MAX_COMPONENTS; ++i) {
        buffers->component_name[i] = static_cast<char *>(omx_driver_calloc(1, OMX_NAME_BUFFER_LEN));
        if (!buffers->component_name[i]) {
            printf("malloc(component_name[%i]) Error\n", i);
            return false;
        }
    }
    for (int i = 0; i < OMX_MAX_ROLES; ++i) {
        buffers->component_role[i] = static_cast<OMX_U8 *>(omx_driver_calloc(1, OMX_NAME_BUFFER_LEN));
        if (!buffers->component_role[i]) {
            printf("malloc(component_role[%i]) Error\n", i);
            return false;
        }
    }
    return true;
}

void free_buffers(DriverBuffers *buffers)
{
    for (int i = 0; i < OMX_MAX_COMPONENTS; ++i) {
        free(buffers->component_role[i]);
        buffers->component_role[i] = nullptr;
        free(buffers->component_name[i]);
        buffers->component_name[i] = nullptr;
    }
}

void free_semaphore(ZYN_OMX_COMPONENT_INFO *component_info)
{
    sem_destroy(component_info->sema);
    free(component_info->sema);
    component_info->sema = nullptr;
}

// Runs the decoding test once for every entry of every component's list file,
// each on a handle of its own.
void component_test_loop(OMX_CORE_INTERFACE *core_interface, char *const *component_name, unsigned component_num,
                         ZYN_OMX_COMPONENT_INFO *component_info, OMX_CALLBACKTYPE *kCallbacks)
{
    for (unsigned i = 0; i < component_num; ++i) {
        list_file = open_list_file(component_name[i], component_info);
        if (!list_file) {
            puts("can't open list file Error");
            continue;
        }
        while (parse_list(list_file, component_info) == 0) {
            OMX_HANDLETYPE handle = nullptr;
            const OMX_ERRORTYPE err =
                core_interface->get_handle(&handle, component_name[i], component_info, kCallbacks);
            if (err != OMX_ErrorNone || !handle) {
                // Nothing to test or free: the entry is skipped.
                printf("omx_component_test_loop: OMX_GetHandle: FAIL: %x, %s\n", static_cast<unsigned>(err),
                       component_name[i]);
                continue;
            }
            omx_component_run(static_cast<OMX_COMPONENTTYPE *>(handle), component_info, SUPPORT_COLOR_FORMAT_ARGB8888);
            core_interface->free_handle(handle);
        }
        fclose(list_file);
        list_file = nullptr;
    }
}

} // namespace

int omx_core_interface_test(OMX_CORE_INTERFACE *core_interface)
{
    ZYN_OMX_COMPONENT_INFO component_info{};
    OMX_CALLBACKTYPE kCallbacks;
    DriverBuffers buffers{};
    char **component_name = buffers.component_name;
    OMX_U8 **component_role = buffers.component_role;
    OMX_U32 numRoles = 0;
    unsigned component_num = 0;
    OMX_HANDLETYPE handle = nullptr;
    struct timeval start, end;
    int time = 0;
    OMX_ERRORTYPE err;

    component_info.sema = static_cast<sem_t *>(omx_driver_calloc(1, sizeof(sem_t)));
    if (!component_info.sema) {
        puts("malloc(sema) Error");
        return -1;
    }
    sem_init(component_info.sema, 0, 0);
    kCallbacks = kDriverCallbacks;

    // Without its own buffers the run cannot start; the core is left untouched.
    if (!allocate_buffers(&buffers)) {
        free_buffers(&buffers);
        free_semaphore(&component_info);
        return -1;
    }

    puts("omx_core_interface_test");

    // UTC 001-01: initialisation.
    puts("OMX UTC 001-01: OMX_Init test");
    gettimeofday(&start, nullptr);
    err = core_interface->init();
    gettimeofday(&end, nullptr);
    time = measureTimeUS(&start, &end);
    if (err != OMX_ErrorNone) {
        printf("OMX UTC 001-01: OMX_Init: FAIL: error=%x\n", static_cast<unsigned>(err));
        goto cleanup;
    }
    if (omx_time_over_budget(time, UTC001_CORE_BUDGET_US))
        printf("OMX UTC 001-01: OMX_Init: timeout FAIL, %d\n", time);

    // UTC 001-02: de-initialisation, then initialisation again for the rest of the run.
    puts("OMX UTC 001-02: OMX_Deinit test");
    gettimeofday(&start, nullptr);
    err = core_interface->deinit();
    gettimeofday(&end, nullptr);
    if (err != OMX_ErrorNone) {
        printf("OMX UTC 001-02: OMX_Deinit: FAIL: error=%x\n", static_cast<unsigned>(err));
        goto cleanup;
    }
    time = measureTimeUS(&start, &end);
    if (omx_time_over_budget(time, UTC001_CORE_BUDGET_US))
        printf("OMX UTC 001-21: OMX_Deinit: timeout FAIL, %d\n", time);
    err = core_interface->init();

    // UTC 001-03: component names.
    puts("OMX UTC 001-03: OMX_Component Name test");
    for (unsigned i = 0; i < OMX_MAX_COMPONENTS; ++i) {
        err = core_interface->componentname_enum(component_name[i], OMX_NAME_BUFFER_LEN, i);
        // A core that fills the whole buffer still leaves a terminated name.
        component_name[i][OMX_NAME_BUFFER_LEN - 1] = '\0';
        if (err == OMX_ErrorNoMore)
            break;
        ++component_num;
        if (err == OMX_ErrorNone)
            printf("enumerateComponents %i %s\n", static_cast<int>(i), component_name[i]);
        else
            printf("OMX UTC 001-03: OMX_Component Name: FAIL: error=%x\n", static_cast<unsigned>(err));
    }
    if (component_num == 0) {
        puts("OMX UTC 001-03: OMX_Component Name: FAIL: no component");
        goto cleanup;
    }

    // UTC 001-04: roles of every component.
    puts("UTC 001-04: OMX_GetRolesOfComponent test");
    for (unsigned i = 0; i < component_num; ++i) {
        printf("UTC 001-04: OMX_GetRolesOfComponent: %i %s\n", static_cast<int>(i), component_name[i]);
        gettimeofday(&start, nullptr);
        for (int j = 0; j < OMX_MAX_ROLES; ++j)
            memset(component_role[j], 0, OMX_NAME_BUFFER_LEN);
        // The array holds ten buffers: that is the capacity the core is told.
        numRoles = OMX_MAX_ROLES;
        err = core_interface->get_roles_of_component(component_name[i], &numRoles, component_role);
        gettimeofday(&end, nullptr);
        time = measureTimeUS(&start, &end);
        if (numRoles > OMX_MAX_ROLES) {
            printf("UTC 001-04: OMX_GetRolesOfComponent: numRoles:%x is above the %d role buffers: FAIL: %s\n",
                   static_cast<unsigned>(numRoles), OMX_MAX_ROLES, component_name[i]);
            numRoles = OMX_MAX_ROLES;
        }
        for (OMX_U32 j = 0; j < numRoles; ++j) {
            component_role[j][OMX_NAME_BUFFER_LEN - 1] = '\0';
            printf("UTC 001-04: OMX_GetRolesOfComponent: numRoles:%x, index=%x, %s\n", static_cast<unsigned>(numRoles),
                   static_cast<unsigned>(j), reinterpret_cast<char *>(component_role[j]));
        }
        if (err != OMX_ErrorNone)
            printf("UTC 001-04: OMX_GetRolesOfComponent: FAIL: %x, %s\n", static_cast<unsigned>(err),
                   component_name[i]);
        if (omx_time_over_budget(time, UTC001_ROLES_BUDGET_US))
            printf("UTC 001-04: OMX_GetRolesOfComponent: timeout FAIL: %s, %d\n", component_name[i], time);
    }

    // UTC 001-05 and 001-06: one handle per component, freed before the next is made.
    for (unsigned i = 0; i < component_num; ++i) {
        printf("OMX UTC 001-05: OMX_GetHandle test: %i %s\n", static_cast<int>(i), component_name[i]);
        handle = nullptr;
        gettimeofday(&start, nullptr);
        err = core_interface->get_handle(&handle, component_name[i], &component_info, &kCallbacks);
        gettimeofday(&end, nullptr);
        time = measureTimeUS(&start, &end);
        if (err != OMX_ErrorNone)
            printf("OMX UTC 001-05: OMX_GetHandle: FAIL: %x, %s\n", static_cast<unsigned>(err), component_name[i]);
        else if (!handle)
            printf("OMX UTC 001-05: OMX_GetHandle: FAIL: no handle, %s\n", component_name[i]);
        if (omx_time_over_budget(time, UTC001_CORE_BUDGET_US))
            printf("OMX UTC 001-05: OMX_GetHandle: timeout FAIL: %s, %d\n", component_name[i], time);

        printf("OMX UTC 001-06: OMX_FreeHandle test: %i %s\n", static_cast<int>(i), component_name[i]);
        if (err != OMX_ErrorNone || !handle) {
            // A handle the core did not give is never handed back to it.
            printf("OMX UTC 001-06: OMX_FreeHandle: skipped, no handle: %s\n", component_name[i]);
            continue;
        }
        gettimeofday(&start, nullptr);
        err = core_interface->free_handle(handle);
        gettimeofday(&end, nullptr);
        time = measureTimeUS(&start, &end);
        handle = nullptr;
        if (err != OMX_ErrorNone)
            printf("OMX UTC 001-06: OMX_FreeHandle: FAIL: %x, %s\n", static_cast<unsigned>(err), component_name[i]);
        if (omx_time_over_budget(time, UTC001_CORE_BUDGET_US))
            printf("OMX UTC 001-06: OMX_FreeHandle: timeout FAIL: %s, %d\n", component_name[i], time);
    }

    component_test_loop(core_interface, component_name, component_num, &component_info, &kCallbacks);

cleanup:
    core_interface->deinit();
    free_buffers(&buffers);
    free_semaphore(&component_info);
    puts("");
    return 0;
}
