/* Module-private pieces of the test driver, declared here so the driver's own
 * tests can reach them. Nothing outside driver/ and tests/driver/ uses this. */
#pragma once

#include <stddef.h>
#include <stdio.h>

#include <string>

#include "omx_component.h"

/* Capacity of the driver's name and role tables and of each buffer in them. */
#define OMX_MAX_COMPONENTS 10
#define OMX_MAX_ROLES 10
#define OMX_NAME_BUFFER_LEN 128

/* Time budgets of UTC 001: a call fails when it takes more than these many us. */
#define UTC001_CORE_BUDGET_US 19999
#define UTC001_ROLES_BUDGET_US 4999

/* Folder of the list files; OMX_TEST_LIST_DIR replaces it when set and not empty. */
#define OMX_LIST_FILE_DIR "/home/omxuser/"
#define OMX_LIST_DIR_ENV "OMX_TEST_LIST_DIR"

/* Path of a list file: the folder above, then the file name. */
std::string omx_list_file_path(const char *file_name);

/* The end marker of a list file. */
#define OMX_LIST_FILE_END "LIST_FILE_END"

/* True when a timed call of `time_us` breaks a budget of `budget_us`. */
bool omx_time_over_budget(int time_us, int budget_us);

/* List files: open the component's file (NULL when it has none), then read one
 * entry per call (0) until the end of the list (-1). */
FILE *open_list_file(char *component_name, ZYN_OMX_COMPONENT_INFO *component_info);
int parse_list(FILE *file, ZYN_OMX_COMPONENT_INFO *component_info);

/* The list file of the component being processed by the component test loop. */
extern FILE *list_file;

/* Seams for the driver's tests; they default to calloc and omx_decoding_test. */
typedef void *(*OmxDriverCallocFunc)(size_t count, size_t size);
typedef int (*OmxComponentRunFunc)(OMX_COMPONENTTYPE *handle, ZYN_OMX_COMPONENT_INFO *component_info,
                                   TEST_SUPPORT_COLOR_FORMAT_TYPE colorformat);
extern OmxDriverCallocFunc omx_driver_calloc;
extern OmxComponentRunFunc omx_component_run;
