// Runs build/bin/omx_cases as a child process against the reference core,
// with a fault file, a bounded wait and its output split into report lines
// and summary rows.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace cases_harness
{

inline std::string binary_dir()
{
    return OMX_BINARY_DIR;
}

inline bool reference_core_built()
{
    return access((binary_dir() + "/lib/libZYN_OMX_Core.so").c_str(), R_OK) == 0 &&
           access((binary_dir() + "/bin/omx_cases").c_str(), X_OK) == 0;
}

// A scratch folder removed with its files at the end of the test.
struct TempDir {
    std::string path;
    TempDir()
    {
        char pattern[] = "/tmp/omx_cases_XXXXXX";
        if (mkdtemp(pattern) != nullptr)
            path = pattern;
    }
    ~TempDir()
    {
        if (!path.empty())
            std::system(("rm -rf '" + path + "'").c_str());
    }
    std::string file(const std::string &name) const { return path + "/" + name; }
    std::string write(const std::string &name, const std::string &text) const
    {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
};

struct SummaryRow {
    std::string component;
    std::string label;
    int fail_lines = 0;
    int timeout_lines = 0;
};

struct RunResult {
    int exit_status = -1; // -1 when killed or not run
    bool timed_out = false;
    std::string out;               // standard output
    std::string err;               // standard error
    std::vector<std::string> body; // output lines before the summary
    std::vector<SummaryRow> summary;

    // The lines before the summary that contain `text`, in order.
    std::vector<std::string> lines_with(const std::string &text) const
    {
        std::vector<std::string> found;
        for (const std::string &line : body)
            if (line.find(text) != std::string::npos)
                found.push_back(line);
        return found;
    }
    bool has_line(const std::string &line) const
    {
        for (const std::string &l : body)
            if (l == line)
                return true;
        return false;
    }
    const SummaryRow *row(const std::string &component, const std::string &label) const
    {
        for (const SummaryRow &r : summary)
            if (r.component == component && r.label == label)
                return &r;
        return nullptr;
    }
};

inline std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void split_output(RunResult *r)
{
    std::istringstream in(r->out);
    std::string line;
    bool in_summary = false;
    while (std::getline(in, line)) {
        if (line == "omx_cases summary") {
            in_summary = true;
            continue;
        }
        if (!in_summary) {
            r->body.push_back(line);
            continue;
        }
        // "component  case  FAIL  timeout", the case label may hold one blank.
        static const std::regex row(R"(^(\S+)\s+(UTC \d{3}|encode \d+)\s+(\d+)\s+(\d+)$)");
        std::smatch m;
        if (std::regex_match(line, m, row))
            r->summary.push_back({m[1], m[2], std::stoi(m[3]), std::stoi(m[4])});
    }
}

// Runs omx_cases with `args`; `faults` becomes the fault file; `env` adds or
// replaces environment variables. The child is killed after `limit_s` seconds.
// `library_dir` is where the core is looked for (the build's lib folder by default).
inline RunResult run_omx_cases(const TempDir &dir, const std::vector<std::string> &args, const std::string &faults,
                               std::map<std::string, std::string> env = {}, int limit_s = 60,
                               const std::string &library_dir = binary_dir() + "/lib")
{
    RunResult result;
    env["LD_LIBRARY_PATH"] = library_dir;
    env["ZYN_OMX_FAULTS"] = faults.empty() ? "" : dir.write("faults.txt", faults);
    if (env.find("OMX_TEST_WAIT_MS") == env.end())
        env["OMX_TEST_WAIT_MS"] = "300";
    if (env.find("OMX_TEST_LIST_DIR") == env.end())
        env["OMX_TEST_LIST_DIR"] = dir.path; // no list files unless a test writes them

    std::vector<std::string> env_strings;
    for (char **e = environ; *e != nullptr; e++) {
        std::string entry(*e);
        const std::string key = entry.substr(0, entry.find('='));
        if (env.find(key) == env.end())
            env_strings.push_back(entry);
    }
    for (const auto &[key, value] : env)
        env_strings.push_back(key + "=" + value);
    std::vector<char *> envp;
    for (std::string &s : env_strings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    std::string program = binary_dir() + "/bin/omx_cases";
    std::vector<std::string> argv_strings{program};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : argv_strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const std::string out_path = dir.file("stdout.txt");
    const std::string err_path = dir.file("stderr.txt");
    const pid_t pid = fork();
    if (pid == 0) {
        const int out_fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out_fd < 0 || err_fd < 0)
            _exit(126);
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0)
        return result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_s);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!result.timed_out && WIFEXITED(status))
        result.exit_status = WEXITSTATUS(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    split_output(&result);
    return result;
}

} // namespace cases_harness
