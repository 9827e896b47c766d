// The window's current picture saved as a binary PPM, for the run's results page.
#pragma once

#include <EGL/egl.h>

// Reads the surface's pixels on the calling thread (its context current) and writes them,
// top row first, to `path`. False when nothing could be read or written.
bool SaveWindowSnapshot(EGLDisplay display, EGLSurface surface, const char *path);
