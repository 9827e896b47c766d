// Looks a name up in an EGL or GL extension list (names separated by blanks).
#pragma once

#include <string_view>

inline bool EglHasExtension(const char *list, std::string_view name)
{
    if (list == nullptr || name.empty())
        return false;
    std::string_view rest(list);
    while (!rest.empty()) {
        size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return false;
        rest.remove_prefix(start);
        size_t end = rest.find(' ');
        if (rest.substr(0, end) == name)
            return true;
        if (end == std::string_view::npos)
            return false;
        rest.remove_prefix(end);
    }
    return false;
}
