// Shared pieces of the decoding-pass tests: an X display (a private Xvfb when none answers),
// H.264 test streams made once per build tree with ffmpeg, scratch folders, and running
// build/bin/omx_test as a bounded child process.
#pragma once

#include <string>
#include <vector>

namespace decoding_fixture
{

// Makes sure DISPLAY names an X server that answers, starting Xvfb (stopped at exit) when
// needed. Returns false when none can be had.
bool ensure_display();

// An H.264 elementary stream of `frames` frames of `width` x `height`, made with ffmpeg
// (libx264, no B-frames) under the build tree the first time it is asked for; "" on failure.
// `noisy` makes every frame large (random pixels, lossless).
std::string h264_stream(int width, int height, int frames, bool noisy = false);

// A fresh empty folder under the build tree's Testing folder.
std::string scratch_dir(const std::string &tag);

void write_file(const std::string &path, const std::string &text);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);
long file_size(const std::string &path);

// One list entry of a decoder.
std::string list_entry(const std::string &in, const std::string &out, int width, int height);

struct RunResult {
    int status = -1; // exit status, or 128 + signal; 124 when the time limit ended it
    std::string out; // standard output
    std::string err; // standard error
};

// Runs build/bin/omx_test against the reference core with the given extra environment
// ("NAME=value" entries), killed after `limit_s` seconds.
RunResult run_omx_test(const std::vector<std::string> &env, int limit_s = 120);

// Standard output of a shell command; bound its run time in the command (e.g. `timeout`).
std::string shell_output(const std::string &cmd);

// Lines of `text`, without their newlines.
std::vector<std::string> lines(const std::string &text);
int count_lines(const std::string &text, const std::string &line);
int count_substr(const std::string &text, const std::string &needle);

} // namespace decoding_fixture
