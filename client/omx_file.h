// Files the test program reads (list files, raw pictures) and writes, owned: closed with their
// holder.
#pragma once

#include <cstdio>
#include <memory>

struct OmxFileClose {
    void operator()(FILE *file) const { fclose(file); }
};
using OmxFile = std::unique_ptr<FILE, OmxFileClose>;

// Opens `path` for reading when it is a regular file or a symbolic link to one, without waiting
// on it. Anything else (FIFO, device, directory, socket) could block or never end: it is not
// read, the line "<path>: not a regular file" is printed and null returned. Null without a line
// when the file cannot be opened at all (errno says why).
OmxFile omx_open_regular_file(const char *path);
