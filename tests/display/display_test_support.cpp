#include "display_test_support.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

EGL_SEAM egl_seam;

// ---- The EGL seam: the program's own definitions win over libEGL's, and pass through to it.

template <typename F> static F Real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

static PFNEGLCREATEIMAGEKHRPROC real_create_image;

static EGLImageKHR EGLAPIENTRY SeamCreateImage(EGLDisplay dpy, EGLContext ctx, EGLenum target, EGLClientBuffer buffer,
                                               const EGLint *attrs)
{
    EGL_SEAM::IMAGE_CALL call{ctx, target, buffer, {}, EGL_NO_IMAGE_KHR};
    for (const EGLint *a = attrs; a != nullptr; a += 2) {
        call.attrs.push_back(a[0]);
        if (a[0] == EGL_NONE)
            break;
        call.attrs.push_back(a[1]);
    }
    int index = static_cast<int>(egl_seam.image_calls.size());
    if (egl_seam.fail_image_from < 0 || index < egl_seam.fail_image_from)
        call.result = real_create_image(dpy, ctx, target, buffer, attrs);
    egl_seam.image_calls.push_back(call);
    return call.result;
}

extern "C" {

EGLAPI const char *EGLAPIENTRY eglQueryString(EGLDisplay dpy, EGLint name)
{
    static auto real = Real<const char *(EGLAPIENTRY *)(EGLDisplay, EGLint)>("eglQueryString");
    if (name == EGL_EXTENSIONS && dpy != EGL_NO_DISPLAY && egl_seam.extensions != nullptr)
        return egl_seam.extensions;
    return real(dpy, name);
}

EGLAPI __eglMustCastToProperFunctionPointerType EGLAPIENTRY eglGetProcAddress(const char *procname)
{
    static auto real = Real<__eglMustCastToProperFunctionPointerType(EGLAPIENTRY *)(const char *)>("eglGetProcAddress");
    if (egl_seam.hidden_proc != nullptr && std::strcmp(procname, egl_seam.hidden_proc) == 0)
        return nullptr;
    auto found = real(procname);
    if (found != nullptr && std::strcmp(procname, "eglCreateImageKHR") == 0) {
        real_create_image = reinterpret_cast<PFNEGLCREATEIMAGEKHRPROC>(found);
        return reinterpret_cast<__eglMustCastToProperFunctionPointerType>(SeamCreateImage);
    }
    return found;
}

EGLAPI EGLBoolean EGLAPIENTRY eglChooseConfig(EGLDisplay dpy, const EGLint *attrib_list, EGLConfig *configs,
                                              EGLint config_size, EGLint *num_config)
{
    static auto real =
        Real<EGLBoolean(EGLAPIENTRY *)(EGLDisplay, const EGLint *, EGLConfig *, EGLint, EGLint *)>("eglChooseConfig");
    if (egl_seam.no_config) {
        *num_config = 0;
        return EGL_TRUE;
    }
    return real(dpy, attrib_list, configs, config_size, num_config);
}

} // extern "C"

// ---- Display check and child processes.

// Xvfb resets itself when its last client leaves, and refuses connections while it does: one
// connection is kept for the whole test process, and the first one is given a few seconds.
bool DisplayReachable()
{
    static Display *keeper = [] {
        Display *dpy = nullptr;
        for (int attempt = 0; attempt < 50 && dpy == nullptr; attempt++) {
            if (std::getenv("DISPLAY") == nullptr)
                break;
            dpy = XOpenDisplay(nullptr);
            if (dpy == nullptr)
                usleep(100000);
        }
        return dpy;
    }();
    return keeper != nullptr;
}

CHILD_RESULT RunScenarioChild(const std::string &scenario, const std::vector<std::string> &env)
{
    CHILD_RESULT result;
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        return result;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        setenv("OMX_DISPLAY_SCENARIO", scenario.c_str(), 1);
        for (const std::string &entry : env) {
            size_t eq = entry.find('=');
            setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
        }
        alarm(60); // survives exec: a hung child is ended
        execl("/proc/self/exe", "display_tests", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    while (open_count > 0 && poll(fds, 2, 90000) > 0) {
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof(buf));
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open_count--;
            }
        }
    }
    for (auto &f : fds)
        if (f.fd >= 0) {
            close(f.fd);
            kill(pid, SIGKILL);
        }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

// ---- Scenarios, each in a fresh process so the module-level display state starts at zero.

namespace
{

// DISPLAY names a dead server: both operations fail, the out-parameters stay, and a later
// OpenWindow tries again (it succeeds once OMX_LIVE_DISPLAY, when given, is reachable).
int DeadDisplay()
{
    RING r;
    int blank = OpenWindowBlank();
    int first = r.Open(3);
    int second = r.Open(3);
    bool untouched = r.display == SentinelDisplay() && r.surface == SentinelSurface() && r.tex[0] == 0;
    std::fprintf(stderr, "results %d %d %d %s\n", blank, first, second, untouched ? "untouched" : "written");
    if (const char *live = std::getenv("OMX_LIVE_DISPLAY")) {
        setenv("DISPLAY", live, 1);
        int third = r.Open(1);
        std::fprintf(stderr, "live %d\n", third);
    }
    std::fflush(nullptr);
    return 0;
}

int BadShader(const char *fragment)
{
    RING r;
    if (r.Open(0) != 0)
        return 2;
    init_render(&program, &pos_location, fragment, static_cast<int>(std::strlen(fragment) + 1));
    return 0; // not reached when the shader is refused
}

} // namespace

// A fragment shader with a syntax error, and one that compiles but reads a varying the vertex
// shader does not write (a link error in GLSL ES 1.00).
static const char kBrokenShader[] = "precision mediump float;\nvoid main() { gl_FragColor = vec4(1, 0, 0, 1) }\n";
static const char kUnlinkableShader[] = "precision mediump float;\nvarying vec2 not_written;\nuniform sampler2D tex;\n"
                                        "void main() { gl_FragColor = texture2D(tex, not_written); }\n";

int RunScenario(const std::string &name)
{
    if (name == "dead-display")
        return DeadDisplay();
    if (name == "broken-shader")
        return BadShader(kBrokenShader);
    if (name == "unlinkable-shader")
        return BadShader(kUnlinkableShader);
    std::fprintf(stderr, "unknown scenario %s\n", name.c_str());
    return 3;
}

int main(int argc, char **argv)
{
    if (const char *scenario = std::getenv("OMX_DISPLAY_SCENARIO"))
        return RunScenario(scenario);
    ::testing::InitGoogleTest(&argc, argv);
    // Run together in one process, the tests must not inherit each other's faults.
    struct SEAM_RESET : ::testing::EmptyTestEventListener {
        void OnTestStart(const ::testing::TestInfo &) override { egl_seam = EGL_SEAM{}; }
    };
    ::testing::UnitTest::GetInstance()->listeners().Append(new SEAM_RESET);
    return RUN_ALL_TESTS();
}
