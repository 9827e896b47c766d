// Shared pieces of the decoding-pass tests (see decoding_fixture.h).
#include "decoding_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char **environ;

namespace decoding_fixture
{
namespace fs = std::filesystem;

namespace
{

pid_t xvfb_pid = 0;

void stop_xvfb()
{
    if (xvfb_pid > 0) {
        kill(xvfb_pid, SIGTERM);
        waitpid(xvfb_pid, nullptr, 0);
        xvfb_pid = 0;
    }
}

bool display_answers(const std::string &display)
{
    if (display.empty())
        return false;
    const std::string cmd = "timeout 10 xdpyinfo -display '" + display + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Runs argv with stdout/stderr to the given files (or inherited when empty), the environment
// extended by `env`; returns the child's pid, or -1.
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &out,
            const std::string &err)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!out.empty())
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!err.empty())
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> envs;
    for (char **e = environ; *e; e++) {
        std::string entry(*e);
        bool replaced = false;
        for (const std::string &extra : env)
            if (entry.substr(0, entry.find('=') + 1) == extra.substr(0, extra.find('=') + 1))
                replaced = true;
        if (!replaced)
            envs.push_back(entry);
    }
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<char *> argp, envp;
    for (const std::string &a : argv)
        argp.push_back(const_cast<char *>(a.c_str()));
    argp.push_back(nullptr);
    for (const std::string &e : envs)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for `pid` at most `limit_s` seconds, killing it past that; returns the exit status,
// 128 + signal, or 124 when it had to be killed.
int wait_bounded(pid_t pid, int limit_s)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_s);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return 124;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

bool ensure_display()
{
    static int known = -1;
    if (known >= 0)
        return known == 1;
    const char *current = std::getenv("DISPLAY");
    if (current && display_answers(current)) {
        known = 1;
        return true;
    }
    for (int n = 140; n < 200 && known != 1; n++) {
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
        if (file_exists(lock) || file_exists(sock))
            continue;
        const std::string display = ":" + std::to_string(n);
        xvfb_pid =
            spawn({"Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"}, {}, "/dev/null", "/dev/null");
        if (xvfb_pid <= 0)
            break;
        std::atexit(stop_xvfb);
        for (int i = 0; i < 50; i++) {
            if (display_answers(display)) {
                setenv("DISPLAY", display.c_str(), 1);
                known = 1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (known != 1)
            stop_xvfb();
        break;
    }
    if (known != 1)
        known = 0;
    return known == 1;
}

std::string h264_stream(int width, int height, int frames, bool noisy)
{
    const fs::path dir = fs::path(OMX_BINARY_DIR) / "test_media" / "decoding";
    std::error_code ec;
    fs::create_directories(dir, ec);
    const std::string name = "h264_" + std::to_string(width) + "x" + std::to_string(height) + "_" +
                             std::to_string(frames) + (noisy ? "_noisy" : "") + ".264";
    const fs::path file = dir / name;
    if (fs::exists(file) && fs::file_size(file) > 0)
        return file.string();
    // Made under a private name and renamed, so parallel test processes never see half a file.
    const fs::path tmp = dir / (name + "." + std::to_string(getpid()) + ".264");
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string source =
        noisy ? "nullsrc=s=" + size + ":r=25,geq=random(1)*255:128:128" : "testsrc=s=" + size + ":r=25";
    std::vector<std::string> argv = {"ffmpeg",
                                     "-nostdin",
                                     "-v",
                                     "error",
                                     "-y",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     source,
                                     "-frames:v",
                                     std::to_string(frames),
                                     "-c:v",
                                     "libx264",
                                     "-pix_fmt",
                                     "yuv420p",
                                     "-bf",
                                     "0",
                                     "-g",
                                     "1000"};
    if (noisy) {
        argv.insert(argv.end(), {"-qp", "0"});
    }
    argv.insert(argv.end(), {"-f", "h264", tmp.string()});
    const pid_t pid = spawn(argv, {}, "/dev/null", "/dev/null");
    if (pid <= 0 || wait_bounded(pid, 120) != 0 || !fs::exists(tmp)) {
        fs::remove(tmp, ec);
        return "";
    }
    fs::rename(tmp, file, ec);
    return ec ? "" : file.string();
}

std::string scratch_dir(const std::string &tag)
{
    const fs::path base = fs::path(OMX_BINARY_DIR) / "Testing" / "decoding";
    std::error_code ec;
    fs::create_directories(base, ec);
    std::string templ = (base / (tag + ".XXXXXX")).string();
    if (!mkdtemp(templ.data()))
        return "";
    return templ;
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

long file_size(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::string list_entry(const std::string &in, const std::string &out, int width, int height)
{
    return in + " " + out + "\n" + std::to_string(width) + "\n" + std::to_string(height) + "\n";
}

RunResult run_omx_test(const std::vector<std::string> &env, int limit_s)
{
    RunResult result;
    const std::string dir = scratch_dir("run");
    const std::string out = dir + "/stdout", err = dir + "/stderr";
    std::vector<std::string> full_env = {std::string("LD_LIBRARY_PATH=") + OMX_BINARY_DIR + "/lib"};
    full_env.insert(full_env.end(), env.begin(), env.end());
    const pid_t pid = spawn({std::string(OMX_BINARY_DIR) + "/bin/omx_test"}, full_env, out, err);
    if (pid <= 0)
        return result;
    result.status = wait_bounded(pid, limit_s);
    result.out = read_file(out);
    result.err = read_file(err);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return result;
}

std::string shell_output(const std::string &cmd)
{
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    pclose(p);
    return out;
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::istringstream s(text);
    std::string line;
    while (std::getline(s, line))
        result.push_back(line);
    return result;
}

int count_lines(const std::string &text, const std::string &line)
{
    int n = 0;
    for (const std::string &l : lines(text))
        n += l == line;
    return n;
}

int count_substr(const std::string &text, const std::string &needle)
{
    int n = 0;
    for (std::size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1))
        n++;
    return n;
}

} // namespace decoding_fixture
