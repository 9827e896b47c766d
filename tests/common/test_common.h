// What every test binary shares: the build's folders and sample streams, scratch folders, running
// a program as a bounded child process, and the declared skip.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace omxt
{

std::string build_dir();  // the CMake build tree (build/bin, build/lib)
std::string source_dir(); // the project's root
std::string media_dir();  // the third-party streams (../shared/media)
// A stream of scripts/make_samples.sh, made once per build tree by the samples fixture.
std::string sample(const std::string &name);

// A fresh folder, removed with its files when the object goes.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return path + "/" + name; }
    // Writes `text` into the named file of the folder and gives its path.
    std::string write(const std::string &name, const std::string &text) const;
};

std::string read_file(const std::string &path); // empty when it cannot be read
void write_file(const std::string &path, const std::string &text);

struct ChildResult {
    int status = -1;        // exit status, or 128 + the signal that ended it
    bool timed_out = false; // killed at the time limit
    std::string out;        // standard output
    std::string err;        // standard error
};

// Runs `program` with `args` and the current environment changed by `env` (an empty value
// removes the variable); the child and its process group are killed after `limit_s` seconds.
ChildResult run_child(const std::string &program, const std::vector<std::string> &args,
                      const std::map<std::string, std::string> &env = {}, int limit_s = 120);

// Runs build/bin/`tool` with the reference core of this build on the library path (unless `env`
// names another LD_LIBRARY_PATH).
ChildResult run_tool(const std::string &tool, const std::vector<std::string> &args,
                     std::map<std::string, std::string> env = {}, int limit_s = 120);

// Standard output of `command` run by /bin/sh, killed after `limit_s` seconds.
std::string shell(const std::string &command, int limit_s = 300);

std::vector<std::string> lines(const std::string &text); // without their newlines
int count(const std::string &text, const std::string &needle);

} // namespace omxt

// The only skip the tests allow names what this environment may lack (CTest counts a test as
// skipped only on that text); a plain GTEST_SKIP is a failure, so a broken environment never
// passes as a green run.
#undef GTEST_SKIP
#define GTEST_SKIP() GTEST_FAIL() << "a skip must say what the environment may lack (OMX_SKIP_UNLESS): "
#define OMX_SKIP_UNLESS(condition, what_may_be_missing)                                                                \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            GTEST_SKIP_("") << "environment may lack: " << (what_may_be_missing);                                      \
    } while (0)
