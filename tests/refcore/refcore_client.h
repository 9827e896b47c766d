// Test client of the reference core, shared by the tests of the core and of the encoding pass:
// loads build/lib/libZYN_OMX_Core.so with dlopen as the program does, records every callback,
// waits with a bound, and drives whole decoding or encoding passes.
#pragma once

#include <OMX_Component.h>
#include <OMX_ZYN_Platform.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifndef REFCORE_LIBRARY
#define REFCORE_LIBRARY OMX_BINARY_DIR "/lib/libZYN_OMX_Core.so"
#endif

namespace refcore_test
{

inline void *core_library()
{
    static void *lib = dlopen(REFCORE_LIBRARY, RTLD_NOW | RTLD_LOCAL); // loaded for the whole run
    return lib;
}

template <typename F> F core_entry(const char *name)
{
    if (void *entry = core_library() ? dlsym(core_library(), name) : nullptr)
        return reinterpret_cast<F>(entry);
    throw std::runtime_error(std::string("no ") + name + " in " REFCORE_LIBRARY);
}

// The nine entry points, resolved by name.
struct CoreApi {
#define OMX_CORE_ENTRY(name, call) decltype(&call) name = core_entry<decltype(&call)>(#call)
    OMX_CORE_ENTRY(Init, OMX_Init);
    OMX_CORE_ENTRY(Deinit, OMX_Deinit);
    OMX_CORE_ENTRY(ComponentNameEnum, OMX_ComponentNameEnum);
    OMX_CORE_ENTRY(GetHandle, OMX_GetHandle);
    OMX_CORE_ENTRY(FreeHandle, OMX_FreeHandle);
    OMX_CORE_ENTRY(GetRolesOfComponent, OMX_GetRolesOfComponent);
    OMX_CORE_ENTRY(GetComponentsOfRole, OMX_GetComponentsOfRole);
    OMX_CORE_ENTRY(SetupTunnel, OMX_SetupTunnel);
    OMX_CORE_ENTRY(GetContentPipe, OMX_GetContentPipe);
#undef OMX_CORE_ENTRY
};

inline const CoreApi &core()
{
    static const CoreApi api;
    return api;
}

// Points ZYN_OMX_FAULTS at a file with `rules`, headed by a line that names the test and `row`
// (the core keeps its counters while the file stays the same).
inline void use_faults(const std::string &rules, int row = 0)
{
    std::string path = ::testing::TempDir() + "refcore_faults_" + std::to_string(getpid()) + ".txt";
    std::ofstream(path) << "# " << ::testing::UnitTest::GetInstance()->current_test_info()->name() << " " << row << "\n"
                        << rules << "\n";
    setenv("ZYN_OMX_FAULTS", path.c_str(), 1);
}

inline OMX_ERRORTYPE init_with_faults(const std::string &rules, int row = 0)
{
    use_faults(rules, row);
    return core().Init();
}

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

struct Record {
    enum Kind {
        Event,
        EmptyDone,
        FillDone
    } kind;
    OMX_U32 event, d1, d2;
    OMX_BUFFERHEADERTYPE *hdr;
    bool client_thread = false; // came on the thread that made the client
};

class Client
{
public:
    Client()
    {
        cb_.EventHandler = [](OMX_HANDLETYPE, OMX_PTR app, OMX_EVENTTYPE e, OMX_U32 d1, OMX_U32 d2, OMX_PTR) {
            return static_cast<Client *>(app)->add({Record::Event, e, d1, d2, nullptr});
        };
        cb_.EmptyBufferDone = [](OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE *b) {
            return static_cast<Client *>(app)->add({Record::EmptyDone, 0, 0, 0, b});
        };
        cb_.FillBufferDone = [](OMX_HANDLETYPE, OMX_PTR app, OMX_BUFFERHEADERTYPE *b) {
            return static_cast<Client *>(app)->add({Record::FillDone, 0, 0, 0, b});
        };
    }
    ~Client()
    {
        if (handle != nullptr)
            core().FreeHandle(handle);
    }
    OMX_ERRORTYPE open(const char *name) { return core().GetHandle(&handle, const_cast<char *>(name), this, &cb_); }
    OMX_ERRORTYPE close()
    {
        OMX_ERRORTYPE e = core().FreeHandle(handle);
        handle = e == OMX_ErrorNone ? nullptr : handle;
        return e;
    }
    OMX_COMPONENTTYPE *c() const { return static_cast<OMX_COMPONENTTYPE *>(handle); }
    OMX_STATETYPE state()
    {
        OMX_STATETYPE s = OMX_StateMax;
        c()->GetState(handle, &s);
        return s;
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
    // Records of `kind`; for events, of `event` with d1 and d2 unless those are ~0.
    size_t count(Record::Kind kind, OMX_U32 event = ~0u, OMX_U32 d1 = ~0u, OMX_U32 d2 = ~0u)
    {
        std::lock_guard lock(mu_);
        return count_locked(kind, event, d1, d2);
    }
    // Waits up to `limit` for `n` such records.
    bool wait(size_t n, Record::Kind kind, OMX_U32 event = ~0u, OMX_U32 d1 = ~0u, OMX_U32 d2 = ~0u,
              std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        std::unique_lock lock(mu_);
        return cv_.wait_for(lock, limit, [&] { return count_locked(kind, event, d1, d2) >= n; });
    }
    bool wait_complete(OMX_COMMANDTYPE cmd, OMX_U32 param, size_t n = 1)
    {
        return wait(n, Record::Event, OMX_EventCmdComplete, cmd, param);
    }
    bool wait_error(OMX_ERRORTYPE err, size_t n = 1) { return wait(n, Record::Event, OMX_EventError, err); }
    // Lets the component's thread run, to show that something did NOT happen.
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

    OMX_HANDLETYPE handle = nullptr;

private:
    OMX_ERRORTYPE add(Record r)
    {
        std::lock_guard lock(mu_);
        r.client_thread = std::this_thread::get_id() == thread_;
        records_.push_back(r);
        cv_.notify_all();
        return OMX_ErrorNone;
    }
    size_t count_locked(Record::Kind kind, OMX_U32 event, OMX_U32 d1, OMX_U32 d2) const
    {
        return std::count_if(records_.begin(), records_.end(), [&](const Record &r) {
            return r.kind == kind && (event == ~0u || r.event == event) && (d1 == ~0u || r.d1 == d1) &&
                   (d2 == ~0u || r.d2 == d2);
        });
    }

    OMX_CALLBACKTYPE cb_{};
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Record> records_;
    std::thread::id thread_ = std::this_thread::get_id();
};

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

constexpr OMX_U32 kBufferBytes = 32768;
using Unit = std::vector<uint8_t>;

struct PassResult {
    std::vector<std::string> md5;        // hex digests in picture order
    std::string stats;                   // the "stats ..." line
    std::vector<Unit> outputs;           // filled output buffers, in return order
    std::vector<OMX_U32> output_flags;   // of every returned output buffer, in order
    std::vector<OMX_TICKS> output_times; // of the filled output buffers, in order
    size_t input_returns = 0;
    bool completed = false;
};

// A component under test with the buffers of both ports, and whole passes through it with the
// statistics file (MD5 lines included) read back.
class StreamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("ZYN_OMX_STATS", stats_path_.c_str(), 1);
        setenv("ZYN_OMX_STATS_MD5", "1", 1);
    }
    void TearDown() override
    {
        start(nullptr);
        for (const char *name : {"ZYN_OMX_FAULTS", "ZYN_OMX_STATS", "ZYN_OMX_STATS_MD5"})
            unsetenv(name);
    }

    // A fresh core with `faults`, an empty statistics file and a handle on `name`.
    void start(const char *name, const std::string &faults = "", int row = 0)
    {
        if (client.handle != nullptr) {
            EXPECT_EQ(OMX_ErrorNone, client.close()) << "while freeing the last handle";
        }
        core().Deinit();
        std::remove(stats_path_.c_str());
        in.clear(), in_mem.clear(), out.clear(), client.clear();
        if (name != nullptr) {
            ASSERT_EQ(OMX_ErrorNone, init_with_faults(faults, row));
            ASSERT_EQ(OMX_ErrorNone, client.open(name));
        }
    }
    OMX_COMPONENTTYPE *c() { return client.c(); }
    OMX_HANDLETYPE h() { return client.handle; }
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
    void use_inputs(OMX_U32 n, OMX_U32 bytes = kBufferBytes)
    {
        for (OMX_U32 i = 0; i < n; ++i) {
            in_mem.emplace_back(bytes, 0);
            in.emplace_back();
            ASSERT_EQ(OMX_ErrorNone, c()->UseBuffer(h(), &in.back(), 0, nullptr, bytes, in_mem.back().data()));
        }
    }
    void allocate_outputs(OMX_U32 n, OMX_U32 bytes = kBufferBytes)
    {
        for (OMX_U32 i = 0; i < n; ++i) {
            out.emplace_back();
            ASSERT_EQ(OMX_ErrorNone, c()->AllocateBuffer(h(), &out.back(), 1, nullptr, bytes));
        }
    }
    void free_all()
    {
        for (OMX_U32 port : {0u, 1u})
            for (auto *b : port ? out : in)
                EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), port, b));
        in.clear(), out.clear();
    }
    // Moves to `s`, giving or freeing the buffers it needs, and waits for its completion.
    void to_state(OMX_STATETYPE s)
    {
        size_t before = client.count(Record::Event, OMX_EventCmdComplete, OMX_CommandStateSet, s);
        OMX_STATETYPE from = client.state();
        ASSERT_EQ(OMX_ErrorNone, command(OMX_CommandStateSet, s));
        if (s == OMX_StateIdle && (from == OMX_StateLoaded || from == OMX_StateWaitForResources)) {
            auto d0 = port_def(0), d1 = port_def(1);
            use_inputs(d0.bEnabled ? d0.nBufferCountActual : 0, std::max(kBufferBytes, d0.nBufferSize));
            for (void *image : egl_images) {
                out.emplace_back();
                ASSERT_EQ(OMX_ErrorNone, c()->UseEGLImage(h(), &out.back(), 1, nullptr, image));
            }
            if (egl_images.empty())
                allocate_outputs(d1.bEnabled ? d1.nBufferCountActual : 0, std::max(kBufferBytes, d1.nBufferSize));
        }
        if (s == OMX_StateLoaded)
            free_all();
        ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, s, before + 1));
        ASSERT_EQ(s, client.state());
    }

    // Sizes both ports; the picture port gets RGBA buffers of width x height.
    void configure(uint32_t width, uint32_t height, OMX_U32 in_bytes, OMX_U32 out_bytes)
    {
        for (OMX_U32 p : {0u, 1u}) {
            auto d = port_def(p);
            d.format.video.nFrameWidth = width;
            d.format.video.nFrameHeight = height;
            d.nBufferSize = p == 0 ? in_bytes : out_bytes;
            ASSERT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
        }
    }

    // Feeds every unit, one in flight, keeping the output buffers queued (or one with each unit,
    // slot by slot, as the decoding test does), then frees the handle and reads its statistics.
    // `filled_len` overrides nFilledLen (the encoding test counts the luma plane only).
    PassResult run(const std::vector<Unit> &units, size_t filled_len = 0)
    {
        PassResult res;
        client.clear();
        to_state(OMX_StateIdle);
        to_state(OMX_StateExecuting);
        std::vector<bool> queued(out.size());
        size_t seen = 0;
        auto collect = [&] {
            for (auto rs = client.records(); seen < rs.size(); ++seen) {
                OMX_BUFFERHEADERTYPE *o = rs[seen].hdr;
                res.input_returns += rs[seen].kind == Record::EmptyDone;
                if (rs[seen].kind != Record::FillDone)
                    continue;
                queued[std::find(out.begin(), out.end(), o) - out.begin()] = false;
                if (o->nFilledLen && o->pBuffer) {
                    res.outputs.emplace_back(o->pBuffer, o->pBuffer + o->nFilledLen);
                    res.output_times.push_back(o->nTimeStamp);
                }
                if (o->nFilledLen && on_fill)
                    on_fill(o);
                res.output_flags.push_back(o->nFlags);
            }
        };
        for (size_t k = 0; k < units.size(); ++k) {
            OMX_BUFFERHEADERTYPE *b = in[k % in.size()];
            std::copy_n(units[k].begin(), std::min<size_t>(units[k].size(), b->nAllocLen), b->pBuffer);
            b->nFlags = (eos_last && k + 1 == units.size()) ? OMX_BUFFERFLAG_EOS : 0;
            if (k < unit_meta.size()) {
                b->nFlags |= unit_meta[k].first;
                b->nTimeStamp = unit_meta[k].second;
            }
            EXPECT_EQ(OMX_ErrorNone, empty(b, static_cast<OMX_U32>(filled_len ? filled_len : units[k].size())));
            // A unit may give more pictures than there are buffers: those back go out again, and
            // with the end of the stream, until the last one comes.
            const auto step = std::chrono::milliseconds(one_output_per_input ? 20000 : 100);
            const bool last = eos_last && k + 1 == units.size();
            for (int tries = 0;; ++tries) {
                for (size_t i = 0; i < out.size(); ++i)
                    if (!queued[i] && (!one_output_per_input || i == k % out.size())) {
                        EXPECT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), out[i]));
                        queued[i] = true;
                    }
                if (client.wait(k + 1, Record::EmptyDone, ~0u, ~0u, ~0u, step) &&
                    (!last || out.empty() ||
                     client.wait(1, Record::Event, OMX_EventBufferFlag, 1, OMX_BUFFERFLAG_EOS, step)))
                    break;
                if (tries == 200 || one_output_per_input)
                    return res;
                collect();
            }
            // The decoding test's way: the output given with a unit comes back before its input.
            if (one_output_per_input) {
                EXPECT_EQ(k + 1, client.count(Record::FillDone)) << "output of unit " << k;
            }
            collect();
        }
        to_state(OMX_StateIdle);
        collect();
        to_state(OMX_StateLoaded);
        EXPECT_EQ(OMX_ErrorNone, client.close());
        std::ifstream f(stats_path_);
        for (std::string line; std::getline(f, line);)
            if (line.starts_with("md5 ")) // md5 NAME N HEX WxH
                res.md5.push_back(line.substr(line.find(' ', line.find(' ', 4) + 1) + 1, 32));
            else
                res.stats = line;
        res.completed = true;
        return res;
    }

    Client client;
    std::vector<void *> egl_images; // given to the output port instead of allocated buffers
    std::vector<std::vector<uint8_t>> in_mem;
    std::vector<OMX_BUFFERHEADERTYPE *> in, out;
    const std::string stats_path_ = ::testing::TempDir() + "refcore_stats_" + std::to_string(getpid()) + ".txt";
    bool eos_last = false;                                // the last unit carries OMX_BUFFERFLAG_EOS
    std::vector<std::pair<OMX_U32, OMX_TICKS>> unit_meta; // flags and time stamp of each unit
    bool one_output_per_input = false;                    // each unit goes in with one output buffer, slot by slot
    std::function<void(OMX_BUFFERHEADERTYPE *)> on_fill;  // every filled output buffer, before it goes back
};
using ComponentTest = StreamTest;

inline uint32_t le32(const std::string &f, size_t at)
{
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(f[at + i])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

// The frames of an IVF file (a header whose length is in bytes 6..7, then frames with 12-byte
// headers), at most `count`.
inline std::vector<Unit> ivf_units(const std::string &f, size_t count = SIZE_MAX)
{
    std::vector<Unit> units;
    for (size_t pos = f.size() < 32 ? f.size() : le32(f, 6) & 0xFFFF, n; pos + 12 <= f.size() && units.size() < count;
         pos += 12 + n)
        if ((n = le32(f, pos)) <= f.size() - pos - 12)
            units.emplace_back(f.begin() + pos + 12, f.begin() + pos + 12 + n);
    return units;
}

} // namespace refcore_test
