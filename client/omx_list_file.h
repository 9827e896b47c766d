// Component list files: which file belongs to which component, and the reader of their entries.
#pragma once

#include <cstdio>
#include <string>

#include "omx_component_info.h"

// Folder of the list files; OMX_TEST_LIST_DIR replaces it when set and not empty.
#define OMX_LIST_FILE_DIR "/home/omxuser/"
#define OMX_LIST_DIR_ENV "OMX_TEST_LIST_DIR"

// The end marker of a list file.
#define OMX_LIST_FILE_END "LIST_FILE_END"

// Path of a list file: the folder above, then the file name.
std::string omx_list_file_path(const char *file_name);

// Opens the component's list file (NULL when it has none, or when it is no regular file) and
// sets the record's kind and coding type from the component's row.
FILE *open_list_file(char *component_name, ZYN_OMX_COMPONENT_INFO *component_info);

// Whether the component table has a row (a list file) for the component.
bool omx_component_in_table(const char *component_name);

// Reads one entry into the record (0), or ends the list (-1) at the end marker, at the end of
// the file or at an entry that cannot be read; a broken entry leaves the record as it was.
int parse_list(FILE *file, ZYN_OMX_COMPONENT_INFO *component_info);
