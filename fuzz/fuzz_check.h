// Expectations of the fuzz targets: a broken one is reported, then stops the run as a crash.
#pragma once

#include <cstdio>

#define FUZZ_CHECK(ok)                                                                                                 \
    do {                                                                                                               \
        if (!(ok)) {                                                                                                   \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #ok);                                \
            __builtin_trap();                                                                                          \
        }                                                                                                              \
    } while (0)
