// A client of the reference core (linked against build/lib/libZYN_OMX_Core.so, which exports the nine core functions):
// records every callback, waits with a bound, gives and frees buffers.
#pragma once

#include <OMX_Component.h>
#include <OMX_ZYN_Platform.h>

#include "test_common.h"

#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

namespace refcore_test
{

// An error code or a state as the answers are compared: lower-case hexadecimal.
inline std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// Answers joined with "|", in the order of the calls (a braced list is evaluated in order).
inline std::string answers(std::initializer_list<std::string> list)
{
    std::string text;
    for (const auto &a : list)
        text += (text.empty() ? "" : "|") + a;
    return text;
}

// A record with its size, version 1.0 and (when it has one) its port set.
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

struct Record {
    char kind; // 'E' an event, 'e' an input buffer back, 'f' an output buffer back
    OMX_U32 event, d1, d2;
    OMX_BUFFERHEADERTYPE *hdr;
    bool client_thread; // came on the test's own thread
};

constexpr OMX_U32 kBufferBytes = 32768;

// A component on a fresh core with the buffers of both ports, its callbacks and its statistics file (MD5 lines
// included).
class ComponentTest : public ::testing::Test
{
protected:
    ComponentTest()
    {
        cb_.EventHandler = [](OMX_HANDLETYPE, OMX_PTR app, OMX_EVENTTYPE e, OMX_U32 d1, OMX_U32 d2, OMX_PTR) {
            return static_cast<ComponentTest *>(app)->add({'E', e, d1, d2, nullptr, false});
        };
        cb_.EmptyBufferDone = [](OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE *b) {
            auto *self = static_cast<ComponentTest *>(app);
            if (self->on_input_back)
                self->on_input_back();
            return self->add({'e', 0, 0, 0, b, false});
        };
        cb_.FillBufferDone = [](OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE *b) {
            return static_cast<ComponentTest *>(app)->add({'f', 0, 0, 0, b, false});
        };
        setenv("ZYN_OMX_STATS", tmp_.file("stats").c_str(), 1);
        setenv("ZYN_OMX_STATS_MD5", "1", 1);
    }
    void TearDown() override
    {
        start(nullptr);
        for (const char *name : {"ZYN_OMX_FAULTS", "ZYN_OMX_STATS", "ZYN_OMX_STATS_MD5"})
            unsetenv(name);
    }
    // Points ZYN_OMX_FAULTS at a file with `rules`, headed by a line that names the test and `row` (the core keeps its
    // counters while the file stays the same).
    void use_faults(const std::string &rules, int row = 0)
    {
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        setenv("ZYN_OMX_FAULTS",
               tmp_.write("faults", "# " + test + " " + std::to_string(row) + "\n" + rules + "\n").c_str(), 1);
    }
    // A fresh core with `faults`, an empty statistics file and (unless null) a handle on `name`.
    void start(const char *name, const std::string &faults = "", int row = 0)
    {
        if (handle != nullptr) {
            EXPECT_EQ(OMX_ErrorNone, close()) << "while freeing the last handle";
        }
        OMX_Deinit();
        std::remove(tmp_.file("stats").c_str());
        in.clear(), mem.clear(), out.clear(), clear();
        if (name != nullptr) {
            use_faults(faults, row);
            ASSERT_EQ(OMX_ErrorNone, OMX_Init());
            ASSERT_EQ(OMX_ErrorNone, open(name));
        }
    }
    OMX_ERRORTYPE open(const char *name, OMX_HANDLETYPE *to = nullptr)
    {
        return OMX_GetHandle(to ? to : &handle, const_cast<char *>(name), this, &cb_);
    }
    OMX_ERRORTYPE close()
    {
        OMX_ERRORTYPE e = OMX_FreeHandle(handle);
        handle = e == OMX_ErrorNone ? nullptr : handle;
        return e;
    }
    OMX_COMPONENTTYPE *c() { return static_cast<OMX_COMPONENTTYPE *>(handle); }
    OMX_HANDLETYPE h() { return handle; }
    std::string stats() { return omxt::read_file(tmp_.file("stats")); }
    OMX_PARAM_PORTDEFINITIONTYPE port_def(OMX_U32 port)
    {
        auto d = record<OMX_PARAM_PORTDEFINITIONTYPE>(port);
        EXPECT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamPortDefinition, &d));
        return d;
    }
    OMX_ERRORTYPE command(OMX_COMMANDTYPE cmd, OMX_U32 param) { return c()->SendCommand(h(), cmd, param, nullptr); }
    OMX_ERRORTYPE empty(OMX_BUFFERHEADERTYPE *b, OMX_U32 len = 10)
    {
        b->nFilledLen = len;
        return c()->EmptyThisBuffer(h(), b);
    }
    // A buffer of `bytes` for `port`: the client's own ("use"), the component's ("alloc") or an EGL image.
    OMX_ERRORTYPE give(const std::string &how, OMX_U32 port, OMX_U32 bytes = kBufferBytes)
    {
        OMX_BUFFERHEADERTYPE *b = nullptr;
        mem.emplace_back(bytes);
        OMX_ERRORTYPE e = how == "use"     ? c()->UseBuffer(h(), &b, port, nullptr, bytes, mem.back().data())
                          : how == "alloc" ? c()->AllocateBuffer(h(), &b, port, nullptr, bytes)
                                           : c()->UseEGLImage(h(), &b, port, nullptr, &mem);
        if (e == OMX_ErrorNone)
            (port == 0 ? in : out).push_back(b);
        return e;
    }
    // Moves to `s`, giving or freeing the buffers it needs, and waits for its completion.
    void to_state(OMX_STATETYPE s)
    {
        size_t before = count('E', OMX_EventCmdComplete, OMX_CommandStateSet, s);
        OMX_STATETYPE from = OMX_StateMax, now = OMX_StateMax;
        c()->GetState(h(), &from);
        ASSERT_EQ(OMX_ErrorNone, command(OMX_CommandStateSet, s));
        const bool populate = s == OMX_StateIdle && (from == OMX_StateLoaded || from == OMX_StateWaitForResources);
        for (OMX_U32 port = 0; populate && port < 2; ++port) {
            auto d = port_def(port);
            for (OMX_U32 i = 0; d.bEnabled && i < d.nBufferCountActual; ++i)
                ASSERT_EQ(OMX_ErrorNone, give(port ? "alloc" : "use", port, std::max(kBufferBytes, d.nBufferSize)));
        }
        for (OMX_U32 port = 0; s == OMX_StateLoaded && port < 2; ++port)
            for (auto *b : port ? out : in)
                EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), port, b));
        if (s == OMX_StateLoaded)
            in.clear(), out.clear();
        ASSERT_TRUE(wait(before + 1, 'E', OMX_EventCmdComplete, OMX_CommandStateSet, s));
        c()->GetState(h(), &now);
        ASSERT_EQ(s, now);
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
    // Records of `kind` ('*' any); for events, of `event` with d1 and d2 unless those are ~0.
    size_t count(char kind, OMX_U32 event = ~0u, OMX_U32 d1 = ~0u, OMX_U32 d2 = ~0u)
    {
        std::lock_guard lock(mu_);
        return count_locked(kind, event, d1, d2);
    }
    // Waits up to `limit` for `n` such records.
    bool wait(size_t n, char kind, OMX_U32 event = ~0u, OMX_U32 d1 = ~0u, OMX_U32 d2 = ~0u,
              std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        std::unique_lock lock(mu_);
        return cv_.wait_for(lock, limit, [&] { return count_locked(kind, event, d1, d2) >= n; });
    }

    OMX_HANDLETYPE handle = nullptr;
    std::function<void()> on_input_back;   // runs in EmptyBufferDone, before it is recorded
    std::vector<std::vector<uint8_t>> mem; // of the client's buffers
    std::vector<OMX_BUFFERHEADERTYPE *> in, out;

private:
    OMX_ERRORTYPE add(Record r)
    {
        std::lock_guard lock(mu_);
        r.client_thread = std::this_thread::get_id() == thread_;
        records_.push_back(r);
        cv_.notify_all();
        return OMX_ErrorNone;
    }
    size_t count_locked(char kind, OMX_U32 event, OMX_U32 d1, OMX_U32 d2) const
    {
        return std::count_if(records_.begin(), records_.end(), [&](const Record &r) {
            return (r.kind == kind || kind == '*') && (event == ~0u || r.event == event) && (d1 == ~0u || r.d1 == d1) &&
                   (d2 == ~0u || r.d2 == d2);
        });
    }

    omxt::TempDir tmp_;
    OMX_CALLBACKTYPE cb_{};
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Record> records_;
    std::thread::id thread_ = std::this_thread::get_id();
};

} // namespace refcore_test
