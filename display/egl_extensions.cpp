#include "egl_extensions.h"

bool egl_has_extension(const char *list, std::string_view name)
{
    if (list == nullptr || name.empty())
        return false;
    for (std::string_view rest(list);;) {
        size_t end = rest.find(' ');
        if (rest.substr(0, end) == name)
            return true;
        if (end == std::string_view::npos)
            return false;
        rest.remove_prefix(end + 1);
    }
}
