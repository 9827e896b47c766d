// Looks a name up in an EGL or GL extension list (names separated by blanks).
#pragma once

#include <string_view>

// Whether `name` is one of the blank-separated names of `list` (a whole name, not a prefix).
bool egl_has_extension(const char *list, std::string_view name);
