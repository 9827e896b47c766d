// Opening what a list names: the open itself must not block (a FIFO without a writer would wait
// for ever), and only a regular file has an end that reading reaches.
#include "omx_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace
{

OmxFile not_regular(const char *path)
{
    printf("%s: not a regular file\n", path);
    fflush(stdout);
    return nullptr;
}

} // namespace

OmxFile omx_open_regular_file(const char *path)
{
    // O_NOCTTY: a terminal named in a list must not become the program's. O_NONBLOCK stays set;
    // it changes nothing for a regular file.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat st;
    if (fd < 0) {
        // A socket cannot be opened at all; say what it is rather than leave it to errno.
        const int why = errno;
        if (stat(path, &st) == 0 && !S_ISREG(st.st_mode))
            return not_regular(path);
        errno = why;
        return nullptr;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return not_regular(path);
    }
    FILE *file = fdopen(fd, "rb");
    if (file == nullptr)
        close(fd);
    return OmxFile(file);
}
