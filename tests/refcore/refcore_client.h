// Test client of the reference core: loads build/lib/libZYN_OMX_Core.so with dlopen like the
// program does, records every callback with the thread it came on, and waits with a bound.
#pragma once

#include <OMX_Component.h>
#include <OMX_ZYN_Platform.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace refcore_test
{

struct CoreApi {
    void *lib = nullptr;
    OMX_ERRORTYPE (*Init)();
    OMX_ERRORTYPE (*Deinit)();
    OMX_ERRORTYPE (*ComponentNameEnum)(OMX_STRING, OMX_U32, OMX_U32);
    OMX_ERRORTYPE (*GetHandle)(OMX_HANDLETYPE *, OMX_STRING, OMX_PTR, OMX_CALLBACKTYPE *);
    OMX_ERRORTYPE (*FreeHandle)(OMX_HANDLETYPE);
    OMX_ERRORTYPE (*GetRolesOfComponent)(OMX_STRING, OMX_U32 *, OMX_U8 **);
};

// The library stays loaded for the whole test program, as in the real run.
inline CoreApi &core_api()
{
    static CoreApi api = [] {
        CoreApi a;
        a.lib = dlopen(REFCORE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!a.lib) {
            std::fprintf(stderr, "dlopen %s: %s\n", REFCORE_LIBRARY, dlerror());
            std::abort();
        }
        auto sym = [&](const char *n) {
            void *p = dlsym(a.lib, n);
            if (!p) {
                std::fprintf(stderr, "missing %s\n", n);
                std::abort();
            }
            return p;
        };
        a.Init = reinterpret_cast<decltype(a.Init)>(sym("OMX_Init"));
        a.Deinit = reinterpret_cast<decltype(a.Deinit)>(sym("OMX_Deinit"));
        a.ComponentNameEnum = reinterpret_cast<decltype(a.ComponentNameEnum)>(sym("OMX_ComponentNameEnum"));
        a.GetHandle = reinterpret_cast<decltype(a.GetHandle)>(sym("OMX_GetHandle"));
        a.FreeHandle = reinterpret_cast<decltype(a.FreeHandle)>(sym("OMX_FreeHandle"));
        a.GetRolesOfComponent = reinterpret_cast<decltype(a.GetRolesOfComponent)>(sym("OMX_GetRolesOfComponent"));
        return a;
    }();
    return api;
}

// Writes a fault file for this test (a comment with the test's name keeps two tests with the
// same rules apart, since the core keeps its counters while the file stays the same), points
// ZYN_OMX_FAULTS at it and initialises the core.
inline OMX_ERRORTYPE init_with_faults(const std::string &rules)
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string path = ::testing::TempDir() + "refcore_faults_" + std::to_string(getpid()) + ".txt";
    std::ofstream(path) << "# " << info->test_suite_name() << "." << info->name() << "\n" << rules << "\n";
    setenv("ZYN_OMX_FAULTS", path.c_str(), 1);
    return core_api().Init();
}

struct Record {
    enum Kind {
        Event,
        EmptyDone,
        FillDone
    } kind;
    OMX_EVENTTYPE event;
    OMX_U32 d1, d2;
    OMX_BUFFERHEADERTYPE *hdr;
    std::thread::id thread;
};

class Client
{
public:
    Client()
    {
        cb_.EventHandler = [](OMX_HANDLETYPE, OMX_PTR app, OMX_EVENTTYPE e, OMX_U32 d1, OMX_U32 d2, OMX_PTR) {
            static_cast<Client *>(app)->add({Record::Event, e, d1, d2, nullptr, std::this_thread::get_id()});
            return OMX_ErrorNone;
        };
        cb_.EmptyBufferDone = [](OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE *b) {
            static_cast<Client *>(app)->add({Record::EmptyDone, OMX_EventMax, 0, 0, b, std::this_thread::get_id()});
            return OMX_ErrorNone;
        };
        cb_.FillBufferDone = [](OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE *b) {
            static_cast<Client *>(app)->add({Record::FillDone, OMX_EventMax, 0, 0, b, std::this_thread::get_id()});
            return OMX_ErrorNone;
        };
    }
    ~Client()
    {
        if (handle)
            core_api().FreeHandle(handle);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    OMX_ERRORTYPE open(const char *name) { return core_api().GetHandle(&handle, const_cast<char *>(name), this, &cb_); }
    OMX_ERRORTYPE close()
    {
        OMX_ERRORTYPE e = core_api().FreeHandle(handle);
        if (e == OMX_ErrorNone)
            handle = nullptr;
        return e;
    }
    OMX_COMPONENTTYPE *c() const { return static_cast<OMX_COMPONENTTYPE *>(handle); }

    void add(const Record &r)
    {
        std::lock_guard lock(mu_);
        records_.push_back(r);
        cv_.notify_all();
    }
    std::vector<Record> records()
    {
        std::lock_guard lock(mu_);
        return records_;
    }
    void clear()
    {
        std::lock_guard lock(mu_);
        records_.clear();
    }
    // Waits (at most `ms`) until `pred` holds over the records.
    bool wait(const std::function<bool(const std::vector<Record> &)> &pred, int ms = 5000)
    {
        std::unique_lock lock(mu_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return pred(records_); });
    }
    size_t count(Record::Kind kind, OMX_EVENTTYPE event = OMX_EventMax, OMX_U32 d1 = ~0u, OMX_U32 d2 = ~0u)
    {
        std::lock_guard lock(mu_);
        return count_in(records_, kind, event, d1, d2);
    }
    static size_t count_in(const std::vector<Record> &rs, Record::Kind kind, OMX_EVENTTYPE event = OMX_EventMax,
                           OMX_U32 d1 = ~0u, OMX_U32 d2 = ~0u)
    {
        size_t n = 0;
        for (const auto &r : rs)
            if (r.kind == kind && (kind != Record::Event || event == OMX_EventMax || r.event == event) &&
                (d1 == ~0u || r.d1 == d1) && (d2 == ~0u || r.d2 == d2))
                ++n;
        return n;
    }
    // Waits for the n-th command-complete of (cmd, param) counted from the start of the record.
    bool wait_complete(OMX_COMMANDTYPE cmd, OMX_U32 param, size_t n = 1, int ms = 5000)
    {
        return wait([&](const auto &rs) { return count_in(rs, Record::Event, OMX_EventCmdComplete, cmd, param) >= n; },
                    ms);
    }
    bool wait_error(OMX_ERRORTYPE err, size_t n = 1, int ms = 5000)
    {
        return wait(
            [&](const auto &rs) { return count_in(rs, Record::Event, OMX_EventError, static_cast<OMX_U32>(err)) >= n; },
            ms);
    }
    bool wait_count(Record::Kind kind, size_t n, int ms = 5000)
    {
        return wait([&](const auto &rs) { return count_in(rs, kind) >= n; }, ms);
    }
    // Polls a condition that no callback announces (at most `ms`).
    static bool poll(const std::function<bool()> &pred, int ms = 5000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    // Lets the component's thread run, to show that something did NOT happen.
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

    OMX_STATETYPE state()
    {
        OMX_STATETYPE s = OMX_StateInvalid;
        EXPECT_EQ(OMX_ErrorNone, c()->GetState(handle, &s));
        return s;
    }

    OMX_HANDLETYPE handle = nullptr;

private:
    OMX_CALLBACKTYPE cb_{};
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Record> records_;
};

template <typename T> T record(OMX_U32 port = 0)
{
    T t;
    std::memset(&t, 0, sizeof t);
    t.nSize = sizeof t;
    t.nVersion.s.nVersionMajor = 1;
    if constexpr (requires { t.nPortIndex; })
        t.nPortIndex = port;
    return t;
}

} // namespace refcore_test

namespace refcore_test
{

constexpr OMX_U32 kBufferBytes = 32768;

// A component under test, with the buffers of both ports.
class ComponentTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (client.handle) {
            EXPECT_EQ(OMX_ErrorNone, client.close());
        }
        core_api().Deinit();
        unsetenv("ZYN_OMX_FAULTS");
    }

    void start(const char *name, const std::string &faults = "")
    {
        ASSERT_EQ(OMX_ErrorNone, init_with_faults(faults));
        ASSERT_EQ(OMX_ErrorNone, client.open(name));
    }
    OMX_COMPONENTTYPE *c() { return client.c(); }
    OMX_HANDLETYPE h() { return client.handle; }

    OMX_PARAM_PORTDEFINITIONTYPE port_def(OMX_U32 port)
    {
        auto d = record<OMX_PARAM_PORTDEFINITIONTYPE>(port);
        EXPECT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamPortDefinition, &d));
        return d;
    }

    void use_inputs(OMX_U32 n, OMX_U32 bytes = kBufferBytes)
    {
        for (OMX_U32 i = 0; i < n; ++i) {
            in_mem.emplace_back(bytes, 0);
            OMX_BUFFERHEADERTYPE *b = nullptr;
            ASSERT_EQ(OMX_ErrorNone, c()->UseBuffer(h(), &b, 0, nullptr, bytes, in_mem.back().data()));
            in.push_back(b);
        }
    }
    void allocate_outputs(OMX_U32 n, OMX_U32 bytes = kBufferBytes)
    {
        for (OMX_U32 i = 0; i < n; ++i) {
            OMX_BUFFERHEADERTYPE *b = nullptr;
            ASSERT_EQ(OMX_ErrorNone, c()->AllocateBuffer(h(), &b, 1, nullptr, bytes));
            out.push_back(b);
        }
    }
    void free_all()
    {
        for (auto *b : in)
            EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 0, b));
        for (auto *b : out)
            EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 1, b));
        in.clear();
        out.clear();
    }
    void to_idle()
    {
        size_t before = client.count(Record::Event, OMX_EventCmdComplete, OMX_CommandStateSet, OMX_StateIdle);
        ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
        auto d0 = port_def(0), d1 = port_def(1);
        use_inputs(d0.nBufferCountActual, std::max(kBufferBytes, d0.nBufferSize));
        if (egl_images.empty()) {
            allocate_outputs(d1.nBufferCountActual, std::max(kBufferBytes, d1.nBufferSize));
        } else {
            for (void *image : egl_images) {
                OMX_BUFFERHEADERTYPE *b = nullptr;
                ASSERT_EQ(OMX_ErrorNone, c()->UseEGLImage(h(), &b, 1, nullptr, image));
                out.push_back(b);
            }
        }
        ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateIdle, before + 1));
        ASSERT_EQ(OMX_StateIdle, client.state());
    }
    // Each waits for one more completion of its state than the record held before the command.
    void to_state(OMX_STATETYPE s)
    {
        size_t before = client.count(Record::Event, OMX_EventCmdComplete, OMX_CommandStateSet, s);
        ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, s, nullptr));
        ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, s, before + 1));
        ASSERT_EQ(s, client.state());
    }
    void to_loaded()
    {
        size_t before = client.count(Record::Event, OMX_EventCmdComplete, OMX_CommandStateSet, OMX_StateLoaded);
        ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateLoaded, nullptr));
        free_all();
        ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateLoaded, before + 1));
        ASSERT_EQ(OMX_StateLoaded, client.state());
    }
    OMX_ERRORTYPE empty(OMX_BUFFERHEADERTYPE *b, OMX_U32 len = 10)
    {
        b->nFilledLen = len;
        return c()->EmptyThisBuffer(h(), b);
    }

    Client client;
    std::vector<void *> egl_images; // given to the output port instead of allocated buffers
    std::vector<std::vector<uint8_t>> in_mem;
    std::vector<OMX_BUFFERHEADERTYPE *> in, out;
};

} // namespace refcore_test
