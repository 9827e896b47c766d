#include "test_common.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char **environ;

namespace omxt
{

std::string build_dir()
{
    return OMX_BINARY_DIR;
}
std::string source_dir()
{
    return OMX_SOURCE_DIR;
}
std::string media_dir()
{
    return OMX_SHARED_MEDIA_DIR;
}
std::string sample(const std::string &name)
{
    return build_dir() + "/samples/" + name;
}

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/omx_test.XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp: " + std::string(strerror(errno)));
    path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string TempDir::write(const std::string &name, const std::string &text) const
{
    write_file(file(name), text);
    return file(name);
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

namespace
{

std::vector<std::string> child_environment(const std::map<std::string, std::string> &changes)
{
    std::vector<std::string> result;
    for (char **entry = environ; *entry; ++entry) {
        const std::string item(*entry);
        if (!changes.count(item.substr(0, item.find('='))))
            result.push_back(item);
    }
    for (const auto &[name, value] : changes)
        if (!value.empty())
            result.push_back(name + "=" + value);
    return result;
}

std::vector<char *> pointers(std::vector<std::string> &items)
{
    std::vector<char *> result;
    for (std::string &item : items)
        result.push_back(item.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

ChildResult run_child(const std::string &program, const std::vector<std::string> &args,
                      const std::map<std::string, std::string> &env, int limit_s)
{
    int out_pipe[2], err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    // Its own process group, so the time limit ends it and anything it started.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::vector<std::string> argv_items{program};
    argv_items.insert(argv_items.end(), args.begin(), args.end());
    std::vector<std::string> env_items = child_environment(env);
    std::vector<char *> argv = pointers(argv_items), envp = pointers(env_items);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (spawned != 0) {
        close(out_pipe[0]);
        close(err_pipe[0]);
        throw std::runtime_error("cannot start " + program + ": " + strerror(spawned));
    }

    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_s);
    auto left_ms = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    };
    struct pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    for (int open_streams = 2; open_streams > 0;) {
        if (left_ms() <= 0) {
            result.timed_out = true;
            break;
        }
        if (poll(fds, 2, static_cast<int>(left_ms())) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_streams;
            }
        }
    }
    for (struct pollfd &fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    // A child that closed its streams but does not end is killed at the limit too.
    int status = 0;
    for (;;) {
        if (result.timed_out)
            kill(-pid, SIGKILL);
        const pid_t done = waitpid(pid, &status, result.timed_out ? 0 : WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            break;
        if (done == 0 && left_ms() <= 0)
            result.timed_out = true;
        else if (done == 0)
            usleep(1000);
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

ChildResult run_tool(const std::string &tool, const std::vector<std::string> &args,
                     std::map<std::string, std::string> env, int limit_s)
{
    env.emplace("LD_LIBRARY_PATH", build_dir() + "/lib");
    return run_child(build_dir() + "/bin/" + tool, args, env, limit_s);
}

std::string shell(const std::string &command, int limit_s)
{
    return run_child("/bin/sh", {"-c", command}, {}, limit_s).out;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        result.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return result;
}

int count(const std::string &text, const std::string &needle)
{
    int n = 0;
    for (size_t at = text.find(needle); !needle.empty() && at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

} // namespace omxt
