// Helpers of the driver's tests: temporary folders and running a program as a
// child process with a time limit.
#pragma once

#include <map>
#include <string>
#include <vector>

// A fresh folder under TMPDIR (or /tmp); remove_tree deletes it with its files.
std::string make_temp_dir();
void remove_tree(const std::string &dir);
void write_file(const std::string &path, const std::string &text);
// The whole file; empty when it cannot be read.
std::string read_file(const std::string &path);

struct ChildResult {
    bool timed_out = false;
    bool exited = false;  // ended through exit(), not a signal
    int exit_status = -1; // meaningful when `exited`
    std::string out;      // standard output
    std::string err;      // standard error
};

// Runs `program` with `args`, the current environment changed by `env` (an
// empty value removes the variable), and kills it after `timeout_seconds`.
ChildResult run_child(const std::string &program, const std::vector<std::string> &args,
                      const std::map<std::string, std::string> &env, int timeout_seconds);

// The lines of `text` without their newlines.
std::vector<std::string> split_lines(const std::string &text);
