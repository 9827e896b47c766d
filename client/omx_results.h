// The run's outcome for machines: with OMX_TEST_RESULTS=FILE omx_test writes it as JSON, with
// OMX_TEST_JUNIT=FILE as JUnit XML, at the end of the run. Standard output stays the report.
// Counts come from the report's own counters; times from CLOCK_MONOTONIC.
#pragma once

#include <string>

// The core library the run loaded.
void omx_results_core(const char *core_name);

// UTC 001's outcome for one component (or "core" for the core-wide steps): the failure and
// timeout lines it printed.
void omx_results_utc001(const char *component, int fail, int timeout);

// One decoding pass: begun before its first buffer, ended after its last wait.
void omx_results_pass_begin(const char *component, const char *stream, int width, int height);
// The clock of the results, in seconds.
double omx_results_clock(void);
// The main thread gave the component one input frame, in a call made at time `at`.
void omx_results_input_given(double at);
// The component gave back an output buffer holding a picture (any thread).
void omx_results_picture_back(void);
// Where the pass's last picture was saved, if it was.
void omx_results_pass_snapshot(const char *path);
void omx_results_pass_end(int fail, int timeout);

// Writes the files the environment names; false when one could not be written.
bool omx_results_write(void);

// Where the current pass's last picture goes when OMX_TEST_SNAPSHOTS names a folder
// ("<folder>/pass<N>.ppm"), else an empty string.
std::string omx_results_snapshot_path(void);
