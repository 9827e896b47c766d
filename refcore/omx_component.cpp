#include "omx_component.h"

#include "omx_codec.h"
#include "omx_codec_factory.h"
#include "omx_stats.h"

#include <OMX_ZYN_Platform.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace zyn
{
namespace
{

constexpr uint32_t kPorts = 2;
constexpr uint32_t kInPort = 0;
constexpr uint32_t kOutPort = 1;
constexpr uint32_t kDefaultMinBuffers = 3;
constexpr uint32_t kMaxBuffers = 64;
constexpr uint32_t kDefaultWidth = 176;
constexpr uint32_t kDefaultHeight = 144;
// An encoder's pictures start smaller (sub-QCIF): one of them fits the 32 KiB buffers a client
// that never sets the size hands in.
constexpr uint32_t kEncoderDefaultWidth = 128;
constexpr uint32_t kEncoderDefaultHeight = 96;
constexpr uint32_t kMaxDimension = 8192;
constexpr OMX_U32 kThumbnailExtension = OMX_IndexVendorThumbnailMode;
constexpr const char *kThumbnailExtensionName = "OMX.ZYN.index.ThumbnailMode";

OMX_VERSIONTYPE il_version()
{
    OMX_VERSIONTYPE v{};
    v.s.nVersionMajor = 1;
    v.s.nVersionMinor = 1;
    return v;
}

struct BufferRec {
    OMX_BUFFERHEADERTYPE hdr{};
    uint32_t port = 0;
    bool own_data = false; // AllocateBuffer: the component frees pBuffer
    void *egl_image = nullptr;
    bool held = false;   // given to the component and not yet returned
    bool silent = false; // its return is not reported (fault)
    bool busy = false;   // the worker is reading or writing it without the lock
    bool zombie = false; // freed by the client while busy: the worker deletes it
};

void delete_buffer(BufferRec *rec)
{
    if (rec->own_data)
        std::free(rec->hdr.pBuffer);
    delete rec;
}

struct Port {
    OMX_PARAM_PORTDEFINITIONTYPE def{};
    std::vector<BufferRec *> buffers; // every header of the port
    std::deque<BufferRec *> held;     // given by the client, in arrival order
    OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE ec{};
    bool populated() const { return buffers.size() >= def.nBufferCountActual; }
};

struct Command {
    OMX_COMMANDTYPE cmd;
    uint32_t param;
    bool silent;
    OMX_ERRORTYPE event_error; // OMX_ErrorNone: carry it out
};

// A command under way: waits for buffers to come or go.
struct Pending {
    OMX_COMMANDTYPE cmd;
    OMX_STATETYPE target;
    uint32_t ports; // bit mask of the ports still to complete (port commands)
    bool silent;
};

struct Emit {
    enum Kind {
        Event,
        EmptyDone,
        FillDone
    } kind;
    OMX_EVENTTYPE event;
    uint32_t d1, d2;
    OMX_BUFFERHEADERTYPE *hdr;
};

struct Component {
    OMX_COMPONENTTYPE *handle = nullptr;
    std::string name;
    ComponentDesc desc{};
    std::shared_ptr<const FaultConfig> faults;
    FaultCounters counters;
    OMX_CALLBACKTYPE callbacks{};
    OMX_PTR app_data = nullptr;

    std::mutex mu;
    // Counts the reasons to look for work. Bumped without the lock too (the writer thread), so the
    // worker sleeps on it rather than on a condition of the lock.
    std::atomic<uint32_t> wakes{0};
    bool quit = false;
    OMX_STATETYPE state = OMX_StateLoaded;
    Port ports[kPorts];
    std::deque<Command> commands;
    std::optional<Pending> pending;
    std::string role;
    int32_t thumbnail = 0;
    OMX_U32 profile = 0, level = 0; // current, as the standard numbers them for the coding
    OMX_VIDEO_PARAM_BITRATETYPE bitrate{};
    OMX_VIDEO_PARAM_AVCTYPE avc{};
    // The decoder announced a new output format (OMX_EventPortSettingsChanged) and waits for the
    // client to enable the output port again; what it announced.
    bool settings_pending = false;
    uint32_t announced_width = 0, announced_height = 0;
    OMX_S32 scale_w = 1 << 16, scale_h = 1 << 16;
    void *egl_display = nullptr;

    // Data path, touched by the worker only.
    std::unique_ptr<CodecBackend> codec;
    BufferRec *current_in = nullptr;            // input unit pushed, waiting for its outputs to be written
    bool current_in_gave_output = false;        // the pushed unit has filled an output buffer
    uint32_t coded_width = 0, coded_height = 0; // picture size the decoder found, under mu
    bool decode_enabled = true;
    // A decoder gives each input buffer back once it has copied the unit, so that the client fills
    // the next one while this one decodes; the copy goes down the data path in the buffer's place.
    BufferRec unit_copy{.port = kInPort};
    std::vector<uint8_t> unit_bytes;
    BufferRec *writing = nullptr;         // output buffer the back end's writer thread is filling
    std::atomic<bool> writer_busy{false}; // set by the worker, cleared by the writer thread once written

    // Callbacks go out one at a time, from the worker or from the writer thread. Input buffers
    // given back while a picture is being written wait for it (a client may show that picture
    // once it has its next input buffer back): the writer thread sends them.
    std::mutex deliver_mu;
    std::vector<Emit> deferred; // under deliver_mu

    // Statistics.
    uint64_t inputs = 0;

    std::thread worker;
};

Component *self(OMX_HANDLETYPE h)
{
    auto *c = static_cast<OMX_COMPONENTTYPE *>(h);
    return c ? static_cast<Component *>(c->pComponentPrivate) : nullptr;
}

const char *state_name(OMX_STATETYPE s)
{
    switch (s) {
    case OMX_StateLoaded: return "Loaded";
    case OMX_StateIdle: return "Idle";
    case OMX_StateExecuting: return "Executing";
    case OMX_StatePause: return "Pause";
    case OMX_StateWaitForResources: return "WaitForResources";
    case OMX_StateInvalid: return "Invalid";
    default: return nullptr;
    }
}

FaultOutcome fault(Component *c, const char *call, std::vector<std::string> quals = {})
{
    return c->counters.evaluate(*c->faults, c->name, false, call, quals);
}

template <typename T> bool size_ok(const void *p)
{
    return p && static_cast<const T *>(p)->nSize == sizeof(T);
}

// Port index of a record that has one, read only when the record is large enough to hold it.
std::optional<uint32_t> record_port(OMX_INDEXTYPE index, const void *p)
{
    if (!p)
        return std::nullopt;
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexParamPortDefinition:
    case OMX_IndexParamVideoPortFormat:
    case OMX_IndexParamVideoProfileLevelQuerySupported:
    case OMX_IndexParamVideoProfileLevelCurrent:
    case OMX_IndexParamVideoErrorCorrection:
    case OMX_IndexConfigCommonScale:
    case OMX_IndexConfigCommonOutputCrop: {
        // Every one of these records starts nSize, nVersion, nPortIndex.
        OMX_U32 size = 0;
        std::memcpy(&size, p, sizeof size);
        constexpr size_t kPortAt = offsetof(OMX_PARAM_PORTDEFINITIONTYPE, nPortIndex);
        if (size < kPortAt + sizeof(OMX_U32))
            return std::nullopt;
        OMX_U32 port = 0;
        std::memcpy(&port, static_cast<const uint8_t *>(p) + kPortAt, sizeof port);
        return static_cast<uint32_t>(port);
    }
    default: return std::nullopt;
    }
}

std::vector<std::string> index_quals(OMX_INDEXTYPE index, const void *p)
{
    std::vector<std::string> q{faults_index_name(index)};
    if (auto port = record_port(index, p))
        q.push_back(faults_number(*port));
    return q;
}

bool is_decoder(const Component *c)
{
    return c->desc.kind == ComponentKind::Decoder;
}
uint32_t stream_port(const Component *c)
{
    return is_decoder(c) ? kInPort : kOutPort;
}

// Codings a stream port takes: its own first.
std::vector<OMX_VIDEO_CODINGTYPE> stream_codings(const Component *c)
{
    switch (c->desc.coding) {
    case OMX_VIDEO_CodingMPEG4: return {OMX_VIDEO_CodingMPEG4, OMX_VIDEO_CodingH263};
    case OMX_VIDEO_CodingH263: return {OMX_VIDEO_CodingH263, OMX_VIDEO_CodingMPEG4};
    case OMX_VIDEO_CodingAutoDetect:
        return {OMX_VIDEO_CodingAutoDetect, OMX_VIDEO_CodingAVC,  OMX_VIDEO_CodingVPX,
                OMX_VIDEO_CodingMPEG4,      OMX_VIDEO_CodingH263, OMX_VIDEO_CodingWMV};
    default: return {c->desc.coding};
    }
}

// What a decoder writes into plain buffers, each in its own layout. A port definition may also
// name the tiled format, which only EGL images (always RGBA) can go with.
std::vector<OMX_COLOR_FORMATTYPE> picture_colors(bool with_tiled = false)
{
    std::vector<OMX_COLOR_FORMATTYPE> list{OMX_COLOR_Format32bitARGB8888, OMX_COLOR_FormatYUV420Planar,
                                           OMX_COLOR_FormatYUV420SemiPlanar};
    if (with_tiled)
        list.push_back(OMX_ZYN_COLOR_FormatNV12Tiled);
    return list;
}

// The formats a port lists for VideoPortFormat: entry 0 is the port's current format.
std::vector<OMX_VIDEO_PARAM_PORTFORMATTYPE> port_formats(const Component *c, uint32_t port)
{
    const auto &v = c->ports[port].def.format.video;
    std::vector<OMX_VIDEO_PARAM_PORTFORMATTYPE> list;
    auto add = [&](OMX_VIDEO_CODINGTYPE coding, OMX_COLOR_FORMATTYPE color) {
        for (const auto &f : list)
            if (f.eCompressionFormat == coding && f.eColorFormat == color)
                return;
        OMX_VIDEO_PARAM_PORTFORMATTYPE f{};
        f.nSize = sizeof f;
        f.nVersion = il_version();
        f.nPortIndex = port;
        f.nIndex = static_cast<OMX_U32>(list.size());
        f.eCompressionFormat = coding;
        f.eColorFormat = color;
        f.xFramerate = v.xFramerate;
        list.push_back(f);
    };
    add(v.eCompressionFormat, v.eColorFormat);
    if (port == stream_port(c)) {
        for (auto coding : stream_codings(c))
            add(coding, OMX_COLOR_FormatUnused);
    } else if (is_decoder(c)) {
        for (auto color : picture_colors())
            add(OMX_VIDEO_CodingUnused, color);
    } else {
        add(OMX_VIDEO_CodingUnused, OMX_COLOR_FormatYUV420SemiPlanar);
        add(OMX_VIDEO_CodingUnused, OMX_COLOR_FormatYUV420Planar);
    }
    return list;
}

struct ProfileLevel {
    OMX_U32 profile, level;
};

std::vector<ProfileLevel> profile_levels(OMX_VIDEO_CODINGTYPE coding)
{
    switch (coding) {
    case OMX_VIDEO_CodingAVC:
        return {{OMX_VIDEO_AVCProfileBaseline, OMX_VIDEO_AVCLevel41},
                {OMX_VIDEO_AVCProfileMain, OMX_VIDEO_AVCLevel41},
                {OMX_VIDEO_AVCProfileHigh, OMX_VIDEO_AVCLevel41}};
    case OMX_VIDEO_CodingMPEG4: return {{0x01 /* Simple */, 0x80 /* Level 5 */}, {0x8000 /* Advanced Simple */, 0x80}};
    case OMX_VIDEO_CodingH263: return {{0x01 /* Baseline */, 0x80 /* Level 70 */}};
    case OMX_VIDEO_CodingWMV: return {{0x04 /* WMV 9 */, 0x01}};
    default: return {{0x01, 0x01}};
    }
}

// --- locked helpers (c->mu held) ---

void notify(Component *c)
{
    c->wakes.fetch_add(1, std::memory_order_release);
    c->wakes.notify_one();
}

void send(Component *c, const std::vector<Emit> &out)
{
    for (const Emit &e : out) {
        switch (e.kind) {
        case Emit::Event:
            if (c->callbacks.EventHandler)
                c->callbacks.EventHandler(c->handle, c->app_data, e.event, e.d1, e.d2, nullptr);
            break;
        case Emit::EmptyDone:
            if (c->callbacks.EmptyBufferDone)
                c->callbacks.EmptyBufferDone(c->handle, c->app_data, e.hdr);
            break;
        case Emit::FillDone:
            if (c->callbacks.FillBufferDone)
                c->callbacks.FillBufferDone(c->handle, c->app_data, e.hdr);
            break;
        }
    }
}

// Called without the component's lock: a client may call the component from a callback.
void deliver(Component *c, std::vector<Emit> &out)
{
    std::lock_guard lock(c->deliver_mu);
    send(c, out);
    out.clear();
}

// The input buffers given back early go out now, or once the picture being written is.
void deliver_input_returns(Component *c, std::vector<Emit> &out)
{
    std::lock_guard lock(c->deliver_mu);
    if (c->writer_busy.load(std::memory_order_acquire))
        c->deferred.insert(c->deferred.end(), out.begin(), out.end());
    else
        send(c, out);
    out.clear();
}

// On the writer thread, the picture written: the input buffers that waited for it go out, then
// the worker hands the output buffer back.
void output_written(Component *c)
{
    {
        std::lock_guard lock(c->deliver_mu);
        send(c, c->deferred);
        c->deferred.clear();
        c->writer_busy.store(false, std::memory_order_release);
    }
    notify(c);
}

// A state change or port enable that the queue or the command under way asks for.
bool requested(const Component *c, OMX_COMMANDTYPE cmd, uint32_t param)
{
    auto match = [&](OMX_COMMANDTYPE k, uint32_t p) {
        if (k != cmd)
            return false;
        if (cmd == OMX_CommandStateSet)
            return p == param;
        return p == param || p == OMX_ALL;
    };
    if (const auto &p = c->pending; p && p->cmd == cmd) {
        if (cmd == OMX_CommandStateSet && static_cast<uint32_t>(p->target) == param)
            return true;
        if (cmd != OMX_CommandStateSet && param < kPorts && ((p->ports >> param) & 1))
            return true;
    }
    for (const auto &q : c->commands)
        if (q.event_error == OMX_ErrorNone && match(q.cmd, q.param))
            return true;
    return false;
}

BufferRec *find_buffer(Port &port, const OMX_BUFFERHEADERTYPE *hdr)
{
    for (auto *rec : port.buffers)
        if (&rec->hdr == hdr)
            return rec;
    return nullptr;
}

void return_buffer(Component *c, BufferRec *rec, std::vector<Emit> &out)
{
    Port &port = c->ports[rec->port];
    if (auto it = std::find(port.held.begin(), port.held.end(), rec); it != port.held.end())
        port.held.erase(it);
    rec->held = false;
    if (rec->port == kInPort) {
        rec->hdr.nFilledLen = 0;
        rec->hdr.nOffset = 0;
    }
    if (!rec->silent)
        out.push_back({rec->port == kInPort ? Emit::EmptyDone : Emit::FillDone, {}, 0, 0, &rec->hdr});
    rec->silent = false;
}

void return_port_buffers(Component *c, uint32_t port, std::vector<Emit> &out)
{
    if (port == kInPort && c->current_in) {
        BufferRec *rec = c->current_in;
        c->current_in = nullptr;
        return_buffer(c, rec, out);
    }
    while (!c->ports[port].held.empty()) {
        BufferRec *rec = c->ports[port].held.front();
        if (rec->port == kOutPort) {
            rec->hdr.nFilledLen = 0; // returned unfilled: no flag from an earlier trip either
            rec->hdr.nFlags = 0;
        }
        return_buffer(c, rec, out);
    }
}

void complete(OMX_COMMANDTYPE cmd, uint32_t param, bool silent, std::vector<Emit> &out)
{
    if (!silent)
        out.push_back({Emit::Event, OMX_EventCmdComplete, static_cast<uint32_t>(cmd), param, nullptr});
}

void error_event(OMX_ERRORTYPE err, uint32_t d2, std::vector<Emit> &out)
{
    out.push_back({Emit::Event, OMX_EventError, static_cast<uint32_t>(err), d2, nullptr});
}

PortFormat port_format(const Component *c, uint32_t port)
{
    const auto &v = c->ports[port].def.format.video;
    PortFormat f{static_cast<uint32_t>(v.nFrameWidth),  static_cast<uint32_t>(v.nFrameHeight),
                 static_cast<uint32_t>(v.eColorFormat), static_cast<uint32_t>(v.eCompressionFormat),
                 static_cast<uint32_t>(v.nBitrate),     static_cast<uint32_t>(v.xFramerate),
                 static_cast<uint32_t>(v.nStride),      static_cast<uint32_t>(v.nSliceHeight)};
    f.profile = static_cast<uint32_t>(c->profile);
    f.level = static_cast<uint32_t>(c->level);
    f.p_frames = static_cast<uint32_t>(c->avc.nPFrames);
    f.ref_frames = static_cast<uint32_t>(c->avc.nRefFrames);
    f.cabac = c->avc.bEntropyCodingCABAC != OMX_FALSE;
    f.constant_rate = c->bitrate.eControlRate == OMX_Video_ControlRateConstant ||
                      c->bitrate.eControlRate == OMX_Video_ControlRateConstantSkipFrames;
    return f;
}

// On every move to Idle: the ports may have changed while Loaded. The back end lives as long as
// the component, so its statistics cover every run of the handle.
void open_codec(Component *c)
{
    if (!c->decode_enabled)
        return;
    if (!c->codec) {
        c->codec = codec_create(c->desc, c->name);
        if (c->codec)
            c->codec->on_output_written = [c] { output_written(c); };
    }
    if (c->codec && !c->codec->open(port_format(c, kInPort), port_format(c, kOutPort)))
        c->codec->errors++;
}

// Hands back an output buffer the back end has written (or not).
void finish_output(Component *c, BufferRec *rec, const OutputResult &r, std::vector<Emit> &out)
{
    rec->hdr.nFilledLen = static_cast<OMX_U32>(r.filled);
    rec->hdr.nOffset = 0;
    rec->hdr.nTimeStamp = r.timestamp;
    rec->hdr.nFlags = (r.eos ? OMX_BUFFERFLAG_EOS : 0) | (r.sync ? OMX_BUFFERFLAG_SYNCFRAME : 0) |
                      (r.filled ? OMX_BUFFERFLAG_ENDOFFRAME : 0) | (r.codec_config ? OMX_BUFFERFLAG_CODECCONFIG : 0);
    return_buffer(c, rec, out);
    if (r.eos)
        out.push_back({Emit::Event, OMX_EventBufferFlag, kOutPort, OMX_BUFFERFLAG_EOS, nullptr});
}

// Leaving Executing or Pause for Idle: delayed pictures go out into held output buffers,
// then every buffer held goes back.
void stop_processing(Component *c, std::vector<Emit> &out)
{
    if (c->codec) {
        c->codec->drain();
        Port &op = c->ports[kOutPort];
        while (c->codec->has_output() && !op.held.empty()) {
            BufferRec *rec = op.held.front();
            OutputTarget t{rec->egl_image, c->egl_display, rec->hdr.pBuffer, rec->hdr.nAllocLen};
            finish_output(c, rec, c->codec->write_output(t), out);
        }
        c->codec->drop_output();
        c->codec->reset();
    }
    return_port_buffers(c, kOutPort, out);
    return_port_buffers(c, kInPort, out);
}

void check_pending(Component *c, std::vector<Emit> &out)
{
    if (!c->pending)
        return;
    Pending &p = *c->pending;
    if (p.cmd == OMX_CommandStateSet) {
        bool done = false;
        if (p.target == OMX_StateIdle) {
            done = true;
            for (auto &port : c->ports)
                if (port.def.bEnabled && !port.populated())
                    done = false;
            if (done)
                open_codec(c);
        } else if (p.target == OMX_StateLoaded) {
            done = c->ports[0].buffers.empty() && c->ports[1].buffers.empty();
            if (done && c->codec) {
                c->codec->reset();
                c->codec->forget_images();
            }
        }
        if (done) {
            c->state = p.target;
            complete(OMX_CommandStateSet, p.target, p.silent, out);
            c->pending.reset();
        }
        return;
    }
    for (uint32_t i = 0; i < kPorts; ++i) {
        if (!((p.ports >> i) & 1))
            continue;
        Port &port = c->ports[i];
        bool done = p.cmd == OMX_CommandPortDisable ? port.buffers.empty() : port.populated();
        if (done && p.cmd == OMX_CommandPortEnable && i == kOutPort) {
            // New buffers of the announced format: the pictures take it from now on.
            c->settings_pending = false;
            if (c->codec)
                c->codec->set_output(port_format(c, kOutPort));
        }
        if (done) {
            port.def.bPopulated = port.populated() ? OMX_TRUE : OMX_FALSE;
            p.ports &= ~(1u << i);
            complete(p.cmd, i, p.silent, out);
        }
    }
    if (!p.ports)
        c->pending.reset();
}

bool transition_allowed(OMX_STATETYPE from, OMX_STATETYPE to)
{
    switch (from) {
    case OMX_StateLoaded: return to == OMX_StateIdle || to == OMX_StateWaitForResources;
    case OMX_StateWaitForResources: return to == OMX_StateLoaded || to == OMX_StateIdle;
    case OMX_StateIdle: return to == OMX_StateLoaded || to == OMX_StateExecuting || to == OMX_StatePause;
    case OMX_StateExecuting: return to == OMX_StateIdle || to == OMX_StatePause;
    case OMX_StatePause: return to == OMX_StateIdle || to == OMX_StateExecuting;
    default: return false;
    }
}

uint32_t port_mask(uint32_t param)
{
    return param == OMX_ALL ? 0x3u : (1u << param);
}

void start_command(Component *c, const Command &cmd, std::vector<Emit> &out)
{
    if (cmd.event_error != OMX_ErrorNone) {
        error_event(cmd.event_error, 0, out);
        return;
    }
    switch (cmd.cmd) {
    case OMX_CommandStateSet: {
        auto target = static_cast<OMX_STATETYPE>(cmd.param);
        if (target == c->state) {
            error_event(OMX_ErrorSameState, 0, out);
        } else if (target == OMX_StateInvalid) {
            stop_processing(c, out);
            c->state = OMX_StateInvalid;
            error_event(OMX_ErrorInvalidState, 0, out);
        } else if (!transition_allowed(c->state, target)) {
            error_event(OMX_ErrorIncorrectStateTransition, 0, out);
        } else if ((c->state == OMX_StateLoaded || c->state == OMX_StateWaitForResources) && target == OMX_StateIdle) {
            c->pending = Pending{OMX_CommandStateSet, target, 0, cmd.silent};
        } else if (c->state == OMX_StateIdle && target == OMX_StateLoaded) {
            return_port_buffers(c, kOutPort, out);
            return_port_buffers(c, kInPort, out);
            c->pending = Pending{OMX_CommandStateSet, target, 0, cmd.silent};
        } else {
            if (target == OMX_StateIdle)
                stop_processing(c, out);
            c->state = target;
            complete(OMX_CommandStateSet, target, cmd.silent, out);
        }
        break;
    }
    case OMX_CommandFlush:
        for (uint32_t i = 0; i < kPorts; ++i) {
            if (!((port_mask(cmd.param) >> i) & 1))
                continue;
            if (i == kInPort && c->codec)
                c->codec->reset();
            return_port_buffers(c, i, out);
            complete(OMX_CommandFlush, i, cmd.silent, out);
        }
        break;
    case OMX_CommandPortDisable:
        for (uint32_t i = 0; i < kPorts; ++i) {
            if (!((port_mask(cmd.param) >> i) & 1))
                continue;
            c->ports[i].def.bEnabled = OMX_FALSE;
            if (i == kInPort && c->codec)
                c->codec->reset();
            return_port_buffers(c, i, out);
        }
        c->pending = Pending{OMX_CommandPortDisable, OMX_StateInvalid, port_mask(cmd.param), cmd.silent};
        break;
    case OMX_CommandPortEnable:
        for (uint32_t i = 0; i < kPorts; ++i)
            if ((port_mask(cmd.param) >> i) & 1)
                c->ports[i].def.bEnabled = OMX_TRUE;
        if (c->state == OMX_StateLoaded || c->state == OMX_StateWaitForResources) {
            for (uint32_t i = 0; i < kPorts; ++i)
                if ((port_mask(cmd.param) >> i) & 1)
                    complete(OMX_CommandPortEnable, i, cmd.silent, out);
        } else {
            c->pending = Pending{OMX_CommandPortEnable, OMX_StateInvalid, port_mask(cmd.param), cmd.silent};
        }
        break;
    case OMX_CommandMarkBuffer: complete(OMX_CommandMarkBuffer, cmd.param, cmd.silent, out); break;
    default: error_event(OMX_ErrorBadParameter, 0, out); break;
    }
    check_pending(c, out);
}

// The smallest buffer of a port: a compressed picture of its size on the stream port, one
// picture in its colour format, stride and slice height on the picture port. Sets the stride
// and slice height of a picture port.
OMX_U32 port_buffer_bytes(Component *c, uint32_t i)
{
    auto &v = c->ports[i].def.format.video;
    const auto w = static_cast<uint32_t>(v.nFrameWidth), h = static_cast<uint32_t>(v.nFrameHeight);
    if (i == stream_port(c))
        return static_cast<OMX_U32>(compressed_picture_bytes(w, h));
    // An encoder reads 4:2:0 pictures whatever colour the port names.
    PictureLayout l = picture_layout(is_decoder(c) ? v.eColorFormat : OMX_COLOR_FormatYUV420Planar, w, h);
    v.nStride = static_cast<OMX_S32>(l.stride);
    v.nSliceHeight = l.slice;
    // Formats nothing is written in (EGL images take any): room for a 4:2:0 picture.
    return static_cast<OMX_U32>(l.bytes ? l.bytes : uint64_t(w) * h * 3 / 2);
}

// A decoder found the stream's picture size; an encoder took its first picture. A size the
// output port does not have yet, or a disabled output port whose client waits for the format,
// gets the port definition updated and OMX_EventPortSettingsChanged; outputs keep their old
// format until the client enables the port again with new buffers (a client that ignores the
// event keeps getting them as before).
void announce_settings(Component *c, std::vector<Emit> &out)
{
    Port &op = c->ports[kOutPort];
    auto &v = op.def.format.video;
    const auto &in = c->ports[kInPort].def.format.video;
    const uint32_t w = is_decoder(c) ? c->coded_width : static_cast<uint32_t>(in.nFrameWidth);
    const uint32_t h = is_decoder(c) ? c->coded_height : static_cast<uint32_t>(in.nFrameHeight);
    if (w == 0 || h == 0 || w > kMaxDimension || h > kMaxDimension)
        return;
    if (w == c->announced_width && h == c->announced_height)
        return;
    const bool differs = w != v.nFrameWidth || h != v.nFrameHeight;
    if (!differs && op.def.bEnabled)
        return;
    c->announced_width = w;
    c->announced_height = h;
    v.nFrameWidth = w;
    v.nFrameHeight = h;
    op.def.nBufferSize = port_buffer_bytes(c, kOutPort);
    c->settings_pending = true;
    out.push_back({Emit::Event, OMX_EventPortSettingsChanged, kOutPort,
                   static_cast<uint32_t>(OMX_IndexParamPortDefinition), nullptr});
}

// Finishes a buffer the worker used without the lock; false when the client freed it meanwhile.
bool unbusy(BufferRec *rec)
{
    rec->busy = false;
    if (rec->zombie) {
        delete_buffer(rec);
        return false;
    }
    return true;
}

// The output buffer the writer thread filled goes back (unless the client freed it meanwhile).
void take_back_written(Component *c, const std::optional<OutputResult> &r, std::vector<Emit> &out)
{
    BufferRec *rec = std::exchange(c->writing, nullptr);
    if (unbusy(rec) && rec->held && r)
        finish_output(c, rec, *r, out);
}

// A command may change what the ports hold: the output buffer the writer thread is filling goes
// back first.
void settle_output(Component *c, std::unique_lock<std::mutex> &lock, std::vector<Emit> &out)
{
    if (!c->writing)
        return;
    lock.unlock();
    std::optional<OutputResult> r = c->codec->end_output();
    lock.lock();
    take_back_written(c, r, out);
}

// One step of data work in Executing. Returns true when it made progress. Called with the
// lock held; releases it around decoding and writing.
bool data_step(Component *c, std::unique_lock<std::mutex> &lock, std::vector<Emit> &out)
{
    if (c->state != OMX_StateExecuting || c->pending)
        return false;
    Port &ip = c->ports[kInPort];
    Port &op = c->ports[kOutPort];
    CodecBackend *codec = c->codec.get();

    // A picture the writer thread has written goes back.
    if (c->writing && !c->writer_busy.load(std::memory_order_acquire)) {
        take_back_written(c, codec->end_output(), out);
        return true;
    }
    // Outputs first: a picture is under way, and every one before it back, before its input goes
    // back. Its writing overlaps the decoding of the next unit.
    if (codec && codec->has_output()) {
        if (c->writing)
            return false; // one picture at a time: the writer thread wakes the worker
        if (!op.held.empty()) {
            BufferRec *rec = op.held.front();
            rec->busy = true;
            OutputTarget t{rec->egl_image, c->egl_display, rec->hdr.pBuffer, rec->hdr.nAllocLen};
            c->writer_busy.store(true, std::memory_order_release);
            if (codec->begin_output(t)) {
                c->writing = rec;
                c->current_in_gave_output = true;
                return true;
            }
            c->writer_busy.store(false, std::memory_order_release);
            lock.unlock();
            OutputResult r = codec->write_output(t);
            lock.lock();
            if (unbusy(rec) && rec->held)
                finish_output(c, rec, r, out);
            c->current_in_gave_output = true;
            return true;
        }
        // Pictures of an announced format wait for the client to enable the port again.
        if (c->settings_pending && !op.def.bEnabled)
            return false;
        // No output buffer can ever come: do not hold the input back for it.
        if (!op.def.bEnabled || op.def.nBufferCountActual == 0) {
            codec->drop_output();
            return true;
        }
        // The unit is done while the rest of its outputs wait for buffers: an encoder's at once
        // (it copied the picture; the parameter sets come ahead of the first unit; its input
        // goes back now), a decoder's once one picture is out (a unit may hold several).
        if (c->current_in && (!is_decoder(c) || c->current_in_gave_output)) {
            BufferRec *rec = c->current_in;
            c->current_in = nullptr;
            return_buffer(c, rec, out);
            return true;
        }
        return false; // wait for FillThisBuffer
    }
    // Decoding switched off: output buffers come straight back empty.
    if (!codec && !c->decode_enabled && !op.held.empty()) {
        finish_output(c, op.held.front(), OutputResult{}, out);
        return true;
    }
    if (c->current_in) {
        BufferRec *rec = c->current_in;
        c->current_in = nullptr;
        // Every unit gives back one output buffer before the next unit is taken (and, for an
        // encoder, before its input): a unit that gave no picture (stream headers, or a picture
        // held back for reordering) waits for one and returns it unfilled, so a client that keeps
        // one output buffer in flight per input never finds the next one it queues still held.
        if (codec && !c->current_in_gave_output && is_decoder(c)) {
            if (c->writing) {
                c->current_in = rec;
                return false; // its buffer goes back after the one being written
            }
            if (!op.held.empty()) {
                finish_output(c, op.held.front(), OutputResult{}, out);
            } else if (op.def.bEnabled && op.def.nBufferCountActual != 0) {
                c->current_in = rec;
                return false; // wait for FillThisBuffer
            }
        }
        return_buffer(c, rec, out);
        return true;
    }
    if (ip.held.empty())
        return false;
    BufferRec *rec = ip.held.front();
    ip.held.pop_front();
    c->current_in = rec;
    c->current_in_gave_output = false;
    if (codec && rec->hdr.nFilledLen == 0 && (rec->hdr.nFlags & OMX_BUFFERFLAG_EOS)) {
        codec->drain();
        codec->eos_pending = true;
    } else if (codec && rec->hdr.nFilledLen > 0) {
        const uint8_t *data = rec->hdr.pBuffer + rec->hdr.nOffset;
        size_t size = rec->hdr.nFilledLen;
        size_t available = rec->hdr.nAllocLen - rec->hdr.nOffset;
        uint32_t flags = static_cast<uint32_t>(rec->hdr.nFlags);
        int64_t timestamp = rec->hdr.nTimeStamp;
        std::vector<Emit> returned;
        if (is_decoder(c)) {
            // A decoder reads only the filled bytes: they are copied, and the buffer goes back.
            c->unit_bytes.assign(data, data + size);
            return_buffer(c, rec, returned);
            rec = &c->unit_copy;
            rec->silent = true; // its return is the copy's: nobody is told
            c->current_in = rec;
            data = c->unit_bytes.data();
        }
        rec->busy = true;
        lock.unlock();
        if (!returned.empty()) {
            deliver(c, out); // what came before it goes out first
            deliver_input_returns(c, returned);
        }
        if (!codec->push(data, size, available, flags, timestamp))
            codec->errors++;
        if (flags & OMX_BUFFERFLAG_EOS) {
            codec->drain();
            codec->eos_pending = true;
        }
        lock.lock();
        // Read by GetConfig on the client's thread, which must not touch the back end.
        c->coded_width = codec->coded_width();
        c->coded_height = codec->coded_height();
        if (!unbusy(rec) && c->current_in == rec)
            c->current_in = nullptr;
        announce_settings(c, out);
    }
    return true;
}

void worker_main(Component *c)
{
    std::vector<Emit> out;
    std::unique_lock lock(c->mu);
    while (!c->quit) {
        // Read before looking for work: a reason that comes after it ends the sleep at once.
        const uint32_t seen = c->wakes.load(std::memory_order_acquire);
        bool progress = true;
        while (progress && !c->quit) {
            progress = false;
            check_pending(c, out);
            if (!c->pending && !c->commands.empty()) {
                settle_output(c, lock, out);
                Command cmd = c->commands.front();
                c->commands.pop_front();
                start_command(c, cmd, out);
                progress = true;
            }
            if (!progress)
                progress = data_step(c, lock, out);
            if (!out.empty()) {
                lock.unlock();
                deliver(c, out);
                lock.lock();
            }
        }
        if (c->quit)
            break;
        lock.unlock();
        c->wakes.wait(seen, std::memory_order_acquire);
        lock.lock();
    }
    // The writer thread may still be sending callbacks, and a client may call the component from
    // one.
    lock.unlock();
    if (c->codec)
        c->codec->release_thread_resources();
}

// --- function table ---

OMX_ERRORTYPE get_component_version(OMX_HANDLETYPE h, OMX_STRING name, OMX_VERSIONTYPE *comp_version,
                                    OMX_VERSIONTYPE *pSpecVersion, OMX_UUIDTYPE *uuid)
{
    Component *c = self(h);
    if (!c || !name || !comp_version || !pSpecVersion || !uuid)
        return OMX_ErrorBadParameter;
    std::snprintf(name, OMX_MAX_STRINGNAME_SIZE, "%s", c->name.c_str());
    *comp_version = il_version();
    *pSpecVersion = il_version();
    std::memset(*uuid, 0, sizeof *uuid);
    std::snprintf(reinterpret_cast<char *>(*uuid), sizeof *uuid, "%s:%p", c->name.c_str(), static_cast<void *>(c));
    return OMX_ErrorNone;
}

OMX_ERRORTYPE send_command(OMX_HANDLETYPE h, OMX_COMMANDTYPE cmd, OMX_U32 param, OMX_PTR data)
{
    Component *c = self(h);
    if (!c)
        return OMX_ErrorBadParameter;
    std::vector<std::string> quals;
    switch (cmd) {
    case OMX_CommandStateSet: {
        const char *s = state_name(static_cast<OMX_STATETYPE>(param));
        quals = {"StateSet", s ? s : faults_number(param)};
        break;
    }
    case OMX_CommandFlush: quals = {"Flush", faults_number(param)}; break;
    case OMX_CommandPortDisable: quals = {"PortDisable", faults_number(param)}; break;
    case OMX_CommandPortEnable: quals = {"PortEnable", faults_number(param)}; break;
    case OMX_CommandMarkBuffer: quals = {"MarkBuffer", faults_number(param)}; break;
    default: quals = {faults_number(cmd)}; break;
    }
    FaultOutcome f = fault(c, "SendCommand", quals);
    OMX_ERRORTYPE code;
    if (fault_returns(f, code))
        return code;

    std::lock_guard lock(c->mu);
    if (c->state == OMX_StateInvalid)
        return OMX_ErrorInvalidState;
    switch (cmd) {
    case OMX_CommandStateSet:
        if (param < OMX_StateInvalid || param > OMX_StateWaitForResources)
            return OMX_ErrorBadParameter;
        break;
    case OMX_CommandFlush:
    case OMX_CommandPortDisable:
    case OMX_CommandPortEnable:
        if (param >= kPorts && param != OMX_ALL)
            return OMX_ErrorBadPortIndex;
        break;
    case OMX_CommandMarkBuffer:
        if (param >= kPorts)
            return OMX_ErrorBadPortIndex;
        if (!data)
            return OMX_ErrorBadParameter;
        break;
    default: return OMX_ErrorBadParameter;
    }
    c->commands.push_back({cmd, static_cast<uint32_t>(param), f.action == FaultAction::Silent,
                           f.action == FaultAction::EventError ? f.code : OMX_ErrorNone});
    notify(c);
    return OMX_ErrorNone;
}

// The common start of the parameter and config calls: fault hooks, a record at all, a state
// that takes calls; then the body under the component's lock.
OMX_ERRORTYPE record_call(OMX_HANDLETYPE h, const char *call, OMX_INDEXTYPE index, OMX_PTR p,
                          OMX_ERRORTYPE (*body)(Component *, OMX_INDEXTYPE, OMX_PTR))
{
    Component *c = self(h);
    if (!c)
        return OMX_ErrorBadParameter;
    OMX_ERRORTYPE code;
    if (fault_returns(fault(c, call, index_quals(index, p)), code))
        return code;
    if (!p)
        return OMX_ErrorBadParameter;
    // A strict core reads the version every standard record starts with, after nSize.
    if (static_cast<uint32_t>(index) < OMX_IndexKhronosExtensions && faults_strict_versions(*c->faults, c->name)) {
        OMX_VERSIONTYPE v;
        std::memcpy(&v, static_cast<const uint8_t *>(p) + offsetof(OMX_PORT_PARAM_TYPE, nVersion), sizeof v);
        if (v.s.nVersionMajor != 1 || v.s.nVersionMinor != 1)
            return OMX_ErrorVersionMismatch;
    }
    std::lock_guard lock(c->mu);
    if (c->state == OMX_StateInvalid)
        return OMX_ErrorInvalidState;
    return body(c, index, p);
}

void fill_port_definition(Component *c, uint32_t i, OMX_PARAM_PORTDEFINITIONTYPE *p)
{
    Port &port = c->ports[i];
    port.def.bPopulated = port.populated() ? OMX_TRUE : OMX_FALSE;
    OMX_VERSIONTYPE v = p->nVersion;
    *p = port.def;
    p->nVersion = v;
}

// An encoder's stream-port record (of an AVC encoder only where `avc`): the checks before the work.
template <typename T> OMX_ERRORTYPE encoder_record(const Component *c, const void *p, bool avc)
{
    if (is_decoder(c) || (avc && c->desc.coding != OMX_VIDEO_CodingAVC))
        return OMX_ErrorUnsupportedIndex;
    if (!size_ok<T>(p))
        return OMX_ErrorBadParameter;
    return static_cast<const T *>(p)->nPortIndex == kOutPort ? OMX_ErrorNone : OMX_ErrorBadPortIndex;
}

// A profile the component lists for its coding, and a level of the standard's (one bit).
bool known_profile_level(const Component *c, OMX_U32 profile, OMX_U32 level)
{
    auto list = profile_levels(c->desc.coding);
    bool listed = std::any_of(list.begin(), list.end(), [&](const ProfileLevel &pl) { return pl.profile == profile; });
    return listed && level != 0 && (level & (level - 1)) == 0 && level <= 0x8000;
}

OMX_ERRORTYPE get_parameter_locked(Component *c, OMX_INDEXTYPE index, OMX_PTR p)
{
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexParamPortDefinition: {
        auto *d = static_cast<OMX_PARAM_PORTDEFINITIONTYPE *>(p);
        if (!size_ok<OMX_PARAM_PORTDEFINITIONTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex >= kPorts)
            return OMX_ErrorBadPortIndex;
        fill_port_definition(c, d->nPortIndex, d);
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoInit: {
        auto *d = static_cast<OMX_PORT_PARAM_TYPE *>(p);
        if (!size_ok<OMX_PORT_PARAM_TYPE>(p))
            return OMX_ErrorBadParameter;
        d->nPorts = kPorts;
        d->nStartPortNumber = 0;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamStandardComponentRole: {
        auto *d = static_cast<OMX_PARAM_COMPONENTROLETYPE *>(p);
        if (!size_ok<OMX_PARAM_COMPONENTROLETYPE>(p))
            return OMX_ErrorBadParameter;
        std::memset(d->cRole, 0, sizeof d->cRole);
        std::snprintf(reinterpret_cast<char *>(d->cRole), sizeof d->cRole, "%s", c->role.c_str());
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoPortFormat: {
        auto *d = static_cast<OMX_VIDEO_PARAM_PORTFORMATTYPE *>(p);
        if (!size_ok<OMX_VIDEO_PARAM_PORTFORMATTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex >= kPorts)
            return OMX_ErrorBadPortIndex;
        auto list = port_formats(c, d->nPortIndex);
        if (d->nIndex >= list.size())
            return OMX_ErrorNoMore;
        OMX_VERSIONTYPE v = d->nVersion;
        *d = list[d->nIndex];
        d->nVersion = v;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoProfileLevelQuerySupported:
    case OMX_IndexParamVideoProfileLevelCurrent: {
        auto *d = static_cast<OMX_VIDEO_PARAM_PROFILELEVELTYPE *>(p);
        if (!size_ok<OMX_VIDEO_PARAM_PROFILELEVELTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex >= kPorts)
            return OMX_ErrorBadPortIndex;
        if (index == OMX_IndexParamVideoProfileLevelCurrent) {
            d->eProfile = c->profile;
            d->eLevel = c->level;
            return OMX_ErrorNone;
        }
        auto list = profile_levels(c->desc.coding);
        if (d->nProfileIndex >= list.size())
            return OMX_ErrorNoMore;
        d->eProfile = list[d->nProfileIndex].profile;
        d->eLevel = list[d->nProfileIndex].level;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoBitrate: {
        auto *d = static_cast<OMX_VIDEO_PARAM_BITRATETYPE *>(p);
        if (OMX_ERRORTYPE e = encoder_record<OMX_VIDEO_PARAM_BITRATETYPE>(c, p, false))
            return e;
        d->eControlRate = c->bitrate.eControlRate;
        d->nTargetBitrate = c->ports[kOutPort].def.format.video.nBitrate;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoAvc: {
        auto *d = static_cast<OMX_VIDEO_PARAM_AVCTYPE *>(p);
        if (OMX_ERRORTYPE e = encoder_record<OMX_VIDEO_PARAM_AVCTYPE>(c, p, true))
            return e;
        OMX_VERSIONTYPE v = d->nVersion;
        *d = c->avc;
        d->nVersion = v;
        d->eProfile = static_cast<OMX_VIDEO_AVCPROFILETYPE>(c->profile);
        d->eLevel = static_cast<OMX_VIDEO_AVCLEVELTYPE>(c->level);
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoErrorCorrection: {
        auto *d = static_cast<OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE *>(p);
        if (!size_ok<OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex >= kPorts)
            return OMX_ErrorBadPortIndex;
        OMX_VERSIONTYPE v = d->nVersion;
        *d = c->ports[d->nPortIndex].ec;
        d->nVersion = v;
        return OMX_ErrorNone;
    }
    default: return OMX_ErrorUnsupportedIndex;
    }
}

// Parameters may change in Loaded, or on a disabled port.
bool settable(const Component *c, uint32_t port)
{
    return c->state == OMX_StateLoaded || c->state == OMX_StateWaitForResources ||
           (port < kPorts && !c->ports[port].def.bEnabled);
}

OMX_ERRORTYPE set_port_definition(Component *c, const OMX_PARAM_PORTDEFINITIONTYPE *d)
{
    if (d->nPortIndex >= kPorts)
        return OMX_ErrorBadPortIndex;
    if (!settable(c, d->nPortIndex))
        return OMX_ErrorIncorrectStateOperation;
    Port &port = c->ports[d->nPortIndex];
    const auto &in = d->format.video;
    if (d->nBufferCountActual < port.def.nBufferCountMin || d->nBufferCountActual > kMaxBuffers)
        return OMX_ErrorBadParameter;
    if (d->nBufferSize == 0)
        return OMX_ErrorBadParameter;
    if (in.nFrameWidth == 0 || in.nFrameHeight == 0 || in.nFrameWidth > kMaxDimension ||
        in.nFrameHeight > kMaxDimension)
        return OMX_ErrorBadParameter;
    OMX_VIDEO_CODINGTYPE coding = port.def.format.video.eCompressionFormat;
    OMX_COLOR_FORMATTYPE color = port.def.format.video.eColorFormat;
    if (d->nPortIndex == stream_port(c)) {
        auto codings = stream_codings(c);
        if (std::find(codings.begin(), codings.end(), in.eCompressionFormat) != codings.end()) {
            coding = in.eCompressionFormat;
        } else if (is_decoder(c)) {
            return OMX_ErrorUnsupportedSetting;
        }
        // An encoder keeps its own coding whatever the client names: it has only one.
    } else if (is_decoder(c)) {
        auto colors = picture_colors(true);
        if (std::find(colors.begin(), colors.end(), in.eColorFormat) == colors.end())
            return OMX_ErrorUnsupportedSetting;
        color = in.eColorFormat;
    } else {
        color = in.eColorFormat; // the encoder reads semi-planar unless told planar
    }
    port.def.nBufferCountActual = d->nBufferCountActual;
    auto &v = port.def.format.video;
    v.nFrameWidth = in.nFrameWidth;
    v.nFrameHeight = in.nFrameHeight;
    v.nStride = static_cast<OMX_S32>(in.nFrameWidth);
    v.nSliceHeight = in.nFrameHeight;
    v.nBitrate = in.nBitrate;
    v.xFramerate = in.xFramerate;
    v.bFlagErrorConcealment = in.bFlagErrorConcealment;
    v.eCompressionFormat = coding;
    v.eColorFormat = color;
    // A client may ask for larger buffers than the format needs, never for smaller ones.
    port.def.nBufferSize = std::max(d->nBufferSize, port_buffer_bytes(c, d->nPortIndex));
    return OMX_ErrorNone;
}

OMX_ERRORTYPE set_parameter_locked(Component *c, OMX_INDEXTYPE index, OMX_PTR p)
{
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexParamPortDefinition:
        if (!size_ok<OMX_PARAM_PORTDEFINITIONTYPE>(p))
            return OMX_ErrorBadParameter;
        return set_port_definition(c, static_cast<OMX_PARAM_PORTDEFINITIONTYPE *>(p));
    case OMX_IndexParamStandardComponentRole: {
        auto *d = static_cast<OMX_PARAM_COMPONENTROLETYPE *>(p);
        if (!size_ok<OMX_PARAM_COMPONENTROLETYPE>(p))
            return OMX_ErrorBadParameter;
        if (!settable(c, OMX_ALL))
            return OMX_ErrorIncorrectStateOperation;
        const char *role = reinterpret_cast<const char *>(d->cRole);
        if (strnlen(role, sizeof d->cRole) == sizeof d->cRole)
            return OMX_ErrorBadParameter;
        if (c->role != role)
            return OMX_ErrorUnsupportedSetting;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoPortFormat: {
        auto *d = static_cast<OMX_VIDEO_PARAM_PORTFORMATTYPE *>(p);
        if (!size_ok<OMX_VIDEO_PARAM_PORTFORMATTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex >= kPorts)
            return OMX_ErrorBadPortIndex;
        if (!settable(c, d->nPortIndex))
            return OMX_ErrorIncorrectStateOperation;
        for (const auto &f : port_formats(c, d->nPortIndex)) {
            if (f.eCompressionFormat == d->eCompressionFormat && f.eColorFormat == d->eColorFormat) {
                auto &v = c->ports[d->nPortIndex].def.format.video;
                v.eCompressionFormat = d->eCompressionFormat;
                v.eColorFormat = d->eColorFormat;
                v.xFramerate = d->xFramerate;
                c->ports[d->nPortIndex].def.nBufferSize = port_buffer_bytes(c, d->nPortIndex);
                return OMX_ErrorNone;
            }
        }
        return OMX_ErrorUnsupportedSetting;
    }
    case OMX_IndexParamVideoErrorCorrection: {
        auto *d = static_cast<OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE *>(p);
        if (!size_ok<OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex >= kPorts)
            return OMX_ErrorBadPortIndex;
        if (!settable(c, d->nPortIndex))
            return OMX_ErrorIncorrectStateOperation;
        c->ports[d->nPortIndex].ec = *d;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoProfileLevelCurrent: {
        auto *d = static_cast<OMX_VIDEO_PARAM_PROFILELEVELTYPE *>(p);
        if (!size_ok<OMX_VIDEO_PARAM_PROFILELEVELTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex != stream_port(c))
            return OMX_ErrorBadPortIndex;
        if (!settable(c, d->nPortIndex))
            return OMX_ErrorIncorrectStateOperation;
        if (!known_profile_level(c, d->eProfile, d->eLevel))
            return OMX_ErrorUnsupportedSetting;
        c->profile = d->eProfile;
        c->level = d->eLevel;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoBitrate: {
        auto *d = static_cast<OMX_VIDEO_PARAM_BITRATETYPE *>(p);
        if (OMX_ERRORTYPE e = encoder_record<OMX_VIDEO_PARAM_BITRATETYPE>(c, p, false))
            return e;
        if (!settable(c, kOutPort))
            return OMX_ErrorIncorrectStateOperation;
        if (d->eControlRate > OMX_Video_ControlRateConstantSkipFrames || d->nTargetBitrate == 0 ||
            d->nTargetBitrate > 1000000000)
            return OMX_ErrorUnsupportedSetting;
        c->bitrate.eControlRate = d->eControlRate;
        c->ports[kOutPort].def.format.video.nBitrate = d->nTargetBitrate;
        return OMX_ErrorNone;
    }
    case OMX_IndexParamVideoAvc: {
        auto *d = static_cast<OMX_VIDEO_PARAM_AVCTYPE *>(p);
        if (OMX_ERRORTYPE e = encoder_record<OMX_VIDEO_PARAM_AVCTYPE>(c, p, true))
            return e;
        if (!settable(c, kOutPort))
            return OMX_ErrorIncorrectStateOperation;
        // No B pictures: every picture gives its unit at once, in order.
        if (d->nBFrames != 0 || !known_profile_level(c, d->eProfile, d->eLevel))
            return OMX_ErrorUnsupportedSetting;
        c->avc = *d;
        c->profile = d->eProfile;
        c->level = d->eLevel;
        return OMX_ErrorNone;
    }
    default: return OMX_ErrorUnsupportedIndex;
    }
}

OMX_ERRORTYPE get_config_locked(Component *c, OMX_INDEXTYPE index, OMX_PTR p)
{
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexConfigCommonScale: {
        auto *d = static_cast<OMX_CONFIG_SCALEFACTORTYPE *>(p);
        if (!size_ok<OMX_CONFIG_SCALEFACTORTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex >= kPorts)
            return OMX_ErrorBadPortIndex;
        d->xWidth = c->scale_w;
        d->xHeight = c->scale_h;
        return OMX_ErrorNone;
    }
    case OMX_IndexConfigCommonOutputCrop: {
        auto *d = static_cast<OMX_CONFIG_RECTTYPE *>(p);
        if (!is_decoder(c))
            return OMX_ErrorUnsupportedIndex;
        if (!size_ok<OMX_CONFIG_RECTTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex != kOutPort)
            return OMX_ErrorBadPortIndex;
        const auto &v = c->ports[kOutPort].def.format.video;
        d->nLeft = 0;
        d->nTop = 0;
        d->nWidth = v.nFrameWidth;
        d->nHeight = v.nFrameHeight;
        if (c->coded_width) {
            d->nWidth = c->coded_width;
            d->nHeight = c->coded_height;
        }
        return OMX_ErrorNone;
    }
    case kThumbnailExtension: *static_cast<int32_t *>(p) = c->thumbnail; return OMX_ErrorNone;
    default: return OMX_ErrorUnsupportedIndex;
    }
}

OMX_ERRORTYPE set_config_locked(Component *c, OMX_INDEXTYPE index, OMX_PTR p)
{
    switch (static_cast<uint32_t>(index)) {
    case OMX_IndexConfigCommonScale: {
        auto *d = static_cast<OMX_CONFIG_SCALEFACTORTYPE *>(p);
        if (!size_ok<OMX_CONFIG_SCALEFACTORTYPE>(p))
            return OMX_ErrorBadParameter;
        if (d->nPortIndex >= kPorts)
            return OMX_ErrorBadPortIndex;
        if (d->xWidth <= 0 || d->xHeight <= 0)
            return OMX_ErrorBadParameter;
        c->scale_w = d->xWidth;
        c->scale_h = d->xHeight;
        return OMX_ErrorNone;
    }
    case kThumbnailExtension: {
        // A bare 32-bit int: 0 off, 1 on.
        int32_t v = *static_cast<const int32_t *>(p);
        if (v != 0 && v != 1)
            return OMX_ErrorBadParameter;
        c->thumbnail = v;
        return OMX_ErrorNone;
    }
    default: return OMX_ErrorUnsupportedIndex;
    }
}

OMX_ERRORTYPE get_parameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR p)
{
    return record_call(h, "GetParameter", index, p, get_parameter_locked);
}

OMX_ERRORTYPE set_parameter(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR p)
{
    return record_call(h, "SetParameter", index, p, set_parameter_locked);
}

OMX_ERRORTYPE get_config(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR p)
{
    return record_call(h, "GetConfig", index, p, get_config_locked);
}

OMX_ERRORTYPE set_config(OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR p)
{
    return record_call(h, "SetConfig", index, p, set_config_locked);
}

OMX_ERRORTYPE get_extension_index(OMX_HANDLETYPE h, OMX_STRING name, OMX_INDEXTYPE *index)
{
    Component *c = self(h);
    if (!c)
        return OMX_ErrorBadParameter;
    std::vector<std::string> quals;
    if (name)
        quals.emplace_back(strnlen(name, 256) < 256 ? name : "");
    OMX_ERRORTYPE code;
    if (fault_returns(fault(c, "GetExtensionIndex", quals), code))
        return code;
    if (!name || !index)
        return OMX_ErrorBadParameter;
    if (std::strncmp(name, kThumbnailExtensionName, OMX_MAX_STRINGNAME_SIZE) != 0)
        return OMX_ErrorUnsupportedIndex;
    *index = static_cast<OMX_INDEXTYPE>(kThumbnailExtension);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE get_state(OMX_HANDLETYPE h, OMX_STATETYPE *state)
{
    Component *c = self(h);
    if (!c)
        return OMX_ErrorBadParameter;
    OMX_ERRORTYPE code;
    if (fault_returns(fault(c, "GetState"), code))
        return code;
    if (!state)
        return OMX_ErrorBadParameter;
    std::lock_guard lock(c->mu);
    *state = c->state;
    return OMX_ErrorNone;
}

// No tunnels: a port works with the client (no peer) or not at all.
OMX_ERRORTYPE tunnel_request(OMX_HANDLETYPE h, OMX_U32 port, OMX_HANDLETYPE peer, OMX_U32, OMX_TUNNELSETUPTYPE *)
{
    if (!self(h))
        return OMX_ErrorBadParameter;
    if (port >= kPorts)
        return OMX_ErrorBadPortIndex;
    return peer ? OMX_ErrorTunnelingUnsupported : OMX_ErrorNone;
}

// Whether the client may hand a buffer to this port now: in Loaded on the way to Idle, or on a
// disabled port that is being enabled.
OMX_ERRORTYPE buffer_allowed(Component *c, uint32_t port)
{
    if (port >= kPorts)
        return OMX_ErrorBadPortIndex;
    const Port &p = c->ports[port];
    bool loading = (c->state == OMX_StateLoaded || c->state == OMX_StateWaitForResources) &&
                   requested(c, OMX_CommandStateSet, OMX_StateIdle);
    bool enabling = requested(c, OMX_CommandPortEnable, port);
    if (p.def.bEnabled ? !(loading || enabling) : !enabling)
        return OMX_ErrorIncorrectStateOperation;
    if (p.buffers.size() >= p.def.nBufferCountActual)
        return OMX_ErrorInsufficientResources;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE add_buffer(Component *c, OMX_BUFFERHEADERTYPE **pp, uint32_t port, OMX_PTR app, OMX_U32 size,
                         OMX_U8 *data, bool own, void *egl_image)
{
    auto *rec = new (std::nothrow) BufferRec;
    if (!rec) {
        if (own)
            std::free(data);
        return OMX_ErrorInsufficientResources;
    }
    rec->port = port;
    rec->own_data = own;
    rec->egl_image = egl_image;
    OMX_BUFFERHEADERTYPE &hdr = rec->hdr;
    hdr.nSize = sizeof hdr;
    hdr.nVersion = il_version();
    hdr.pBuffer = data;
    hdr.nAllocLen = size;
    hdr.pAppPrivate = app;
    hdr.pPlatformPrivate = egl_image;
    hdr.nInputPortIndex = port == kInPort ? kInPort : OMX_ALL;
    hdr.nOutputPortIndex = port == kOutPort ? kOutPort : OMX_ALL;
    c->ports[port].buffers.push_back(rec);
    c->ports[port].def.bPopulated = c->ports[port].populated() ? OMX_TRUE : OMX_FALSE;
    *pp = &hdr;
    notify(c);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE use_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **pp, OMX_U32 port, OMX_PTR app, OMX_U32 size,
                         OMX_U8 *data)
{
    Component *c = self(h);
    if (!c)
        return OMX_ErrorBadParameter;
    OMX_ERRORTYPE code;
    if (fault_returns(fault(c, "UseBuffer", {faults_number(port)}), code))
        return code;
    if (!pp || !data || size == 0)
        return OMX_ErrorBadParameter;
    std::lock_guard lock(c->mu);
    if (c->state == OMX_StateInvalid)
        return OMX_ErrorInvalidState;
    if (OMX_ERRORTYPE e = buffer_allowed(c, port))
        return e;
    if (size < c->ports[port].def.nBufferSize)
        return OMX_ErrorBadParameter;
    return add_buffer(c, pp, port, app, size, data, false, nullptr);
}

OMX_ERRORTYPE allocate_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **pp, OMX_U32 port, OMX_PTR app, OMX_U32 size)
{
    Component *c = self(h);
    if (!c)
        return OMX_ErrorBadParameter;
    OMX_ERRORTYPE code;
    if (fault_returns(fault(c, "AllocateBuffer", {faults_number(port)}), code))
        return code;
    if (!pp || size == 0)
        return OMX_ErrorBadParameter;
    std::lock_guard lock(c->mu);
    if (c->state == OMX_StateInvalid)
        return OMX_ErrorInvalidState;
    if (OMX_ERRORTYPE e = buffer_allowed(c, port))
        return e;
    // The component owns this memory: a smaller request gets a buffer of the port's size, so a
    // picture always fits (nAllocLen says how large it is).
    size = std::max(size, c->ports[port].def.nBufferSize);
    // Aligned for the codecs' SIMD stores, so a decoder writes its pictures straight into it.
    constexpr size_t kAlign = 64;
    if (size > SIZE_MAX - kAlign)
        return OMX_ErrorInsufficientResources;
    size_t rounded = (size_t(size) + kAlign - 1) / kAlign * kAlign;
    auto *data = static_cast<OMX_U8 *>(std::aligned_alloc(kAlign, rounded));
    if (!data)
        return OMX_ErrorInsufficientResources;
    std::memset(data, 0, rounded);
    return add_buffer(c, pp, port, app, size, data, true, nullptr);
}

OMX_ERRORTYPE use_egl_image(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **pp, OMX_U32 port, OMX_PTR app, void *image)
{
    Component *c = self(h);
    if (!c)
        return OMX_ErrorBadParameter;
    OMX_ERRORTYPE code;
    if (fault_returns(fault(c, "UseEGLImage", {faults_number(port)}), code))
        return code;
    if (!pp || !image)
        return OMX_ErrorBadParameter;
    if (!is_decoder(c))
        return OMX_ErrorNotImplemented;
    if (port != kOutPort)
        return port < kPorts ? OMX_ErrorIncorrectStateOperation : OMX_ErrorBadPortIndex;
    // The images belong to the display the caller's thread has current; the writer context
    // is made on that display.
    void *display = egl_current_display();
    std::lock_guard lock(c->mu);
    if (c->state == OMX_StateInvalid)
        return OMX_ErrorInvalidState;
    if (OMX_ERRORTYPE e = buffer_allowed(c, port))
        return e;
    if (display)
        c->egl_display = display;
    return add_buffer(c, pp, port, app, c->ports[port].def.nBufferSize, nullptr, false, image);
}

OMX_ERRORTYPE free_buffer(OMX_HANDLETYPE h, OMX_U32 port, OMX_BUFFERHEADERTYPE *hdr)
{
    Component *c = self(h);
    if (!c)
        return OMX_ErrorBadParameter;
    OMX_ERRORTYPE code;
    if (fault_returns(fault(c, "FreeBuffer", {faults_number(port)}), code))
        return code;
    if (!hdr)
        return OMX_ErrorBadParameter;
    std::lock_guard lock(c->mu);
    if (port >= kPorts)
        return OMX_ErrorBadPortIndex;
    Port &p = c->ports[port];
    BufferRec *rec = find_buffer(p, hdr);
    if (!rec)
        return OMX_ErrorBadParameter;
    p.buffers.erase(std::find(p.buffers.begin(), p.buffers.end(), rec));
    if (auto it = std::find(p.held.begin(), p.held.end(), rec); it != p.held.end())
        p.held.erase(it);
    if (c->current_in == rec)
        c->current_in = nullptr;
    p.def.bPopulated = p.populated() ? OMX_TRUE : OMX_FALSE;
    if (rec->busy) {
        rec->zombie = true;
    } else {
        delete_buffer(rec);
    }
    notify(c);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE queue_buffer(Component *c, OMX_BUFFERHEADERTYPE *hdr, uint32_t port, const char *call)
{
    FaultOutcome f = fault(c, call, {faults_number(port)});
    OMX_ERRORTYPE code;
    if (fault_returns(f, code))
        return code;
    if (!hdr || hdr->nSize != sizeof(OMX_BUFFERHEADERTYPE))
        return OMX_ErrorBadParameter;
    std::lock_guard lock(c->mu);
    if (c->state == OMX_StateInvalid)
        return OMX_ErrorInvalidState;
    if (c->state != OMX_StateIdle && c->state != OMX_StateExecuting && c->state != OMX_StatePause)
        return OMX_ErrorIncorrectStateOperation;
    Port &p = c->ports[port];
    BufferRec *rec = find_buffer(p, hdr);
    if (!rec) {
        // A header of the other port sent the wrong way, or none of ours at all.
        return find_buffer(c->ports[1 - port], hdr) ? OMX_ErrorBadPortIndex : OMX_ErrorBadParameter;
    }
    if ((port == kInPort ? hdr->nInputPortIndex : hdr->nOutputPortIndex) != port)
        return OMX_ErrorBadPortIndex;
    if (!p.def.bEnabled)
        return OMX_ErrorIncorrectStateOperation;
    if (rec->held)
        return OMX_ErrorIncorrectStateOperation;
    if (port == kInPort && (hdr->nOffset > hdr->nAllocLen || hdr->nFilledLen > hdr->nAllocLen - hdr->nOffset))
        return OMX_ErrorBadParameter;
    rec->held = true;
    rec->silent = f.action == FaultAction::Silent;
    p.held.push_back(rec);
    if (port == kInPort)
        c->inputs++;
    notify(c);
    return OMX_ErrorNone;
}

OMX_ERRORTYPE empty_this_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *hdr)
{
    Component *c = self(h);
    return c ? queue_buffer(c, hdr, kInPort, "EmptyThisBuffer") : OMX_ErrorBadParameter;
}

OMX_ERRORTYPE fill_this_buffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *hdr)
{
    Component *c = self(h);
    return c ? queue_buffer(c, hdr, kOutPort, "FillThisBuffer") : OMX_ErrorBadParameter;
}

OMX_ERRORTYPE set_callbacks(OMX_HANDLETYPE h, OMX_CALLBACKTYPE *cb, OMX_PTR app)
{
    Component *c = self(h);
    if (!c || !cb)
        return OMX_ErrorBadParameter;
    std::lock_guard lock(c->mu);
    if (c->state != OMX_StateLoaded)
        return OMX_ErrorIncorrectStateOperation;
    c->callbacks = *cb;
    c->app_data = app;
    return OMX_ErrorNone;
}

// The core frees components through OMX_FreeHandle; a client calling this directly gets nothing
// torn down behind the core's back.
OMX_ERRORTYPE component_deinit(OMX_HANDLETYPE h)
{
    return self(h) ? OMX_ErrorNone : OMX_ErrorBadParameter;
}

OMX_ERRORTYPE role_enum(OMX_HANDLETYPE h, OMX_U8 *role, OMX_U32 index)
{
    Component *c = self(h);
    if (!c || !role)
        return OMX_ErrorBadParameter;
    if (index > 0)
        return OMX_ErrorNoMore;
    std::snprintf(reinterpret_cast<char *>(role), OMX_MAX_STRINGNAME_SIZE, "%s", c->role.c_str());
    return OMX_ErrorNone;
}

void init_port(Component *c, uint32_t i)
{
    Port &port = c->ports[i];
    auto &d = port.def;
    d.nSize = sizeof d;
    d.nVersion = il_version();
    d.nPortIndex = i;
    d.eDir = i == kInPort ? OMX_DirInput : OMX_DirOutput;
    int64_t min = faults_min_buffers(*c->faults, c->name, i);
    d.nBufferCountMin = min >= 0 ? static_cast<OMX_U32>(min) : kDefaultMinBuffers;
    d.nBufferCountActual = d.nBufferCountMin;
    d.bEnabled = OMX_TRUE;
    d.bPopulated = d.nBufferCountActual == 0 ? OMX_TRUE : OMX_FALSE;
    d.eDomain = OMX_PortDomainVideo;
    auto &v = d.format.video;
    v.nFrameWidth = is_decoder(c) ? kDefaultWidth : kEncoderDefaultWidth;
    v.nFrameHeight = is_decoder(c) ? kDefaultHeight : kEncoderDefaultHeight;
    v.nStride = static_cast<OMX_S32>(v.nFrameWidth);
    v.nSliceHeight = v.nFrameHeight;
    v.xFramerate = 30u << 16;
    if (i == stream_port(c)) {
        v.cMIMEType = const_cast<char *>("video/x-raw-compressed");
        v.eCompressionFormat = c->desc.coding;
        v.eColorFormat = OMX_COLOR_FormatUnused;
        v.nBitrate = 512000;
    } else {
        v.cMIMEType = const_cast<char *>("video/x-raw");
        v.eCompressionFormat = OMX_VIDEO_CodingUnused;
        v.eColorFormat = is_decoder(c) ? OMX_COLOR_Format32bitARGB8888 : OMX_COLOR_FormatYUV420SemiPlanar;
    }
    d.nBufferSize = port_buffer_bytes(c, i);
    d.bBuffersContiguous = OMX_FALSE;
    d.nBufferAlignment = 16;
    port.ec.nSize = sizeof port.ec;
    port.ec.nVersion = il_version();
    port.ec.nPortIndex = i;
    port.ec.bEnableResync = OMX_TRUE;
    port.ec.nResynchMarkerSpacing = 0;
}

} // namespace

OMX_ERRORTYPE component_create(OMX_COMPONENTTYPE *handle, const std::string &name, const ComponentDesc &desc,
                               std::shared_ptr<const FaultConfig> faults, OMX_PTR app_data,
                               const OMX_CALLBACKTYPE *callbacks)
{
    auto c = std::make_unique<Component>();
    c->handle = handle;
    c->name = name;
    c->desc = desc;
    c->faults = std::move(faults);
    c->counters.reset(c->faults->rules.size());
    c->callbacks = *callbacks;
    c->app_data = app_data;
    c->role = desc.role;
    c->decode_enabled = desc.name != nullptr && faults_decode_enabled(*c->faults, name);
    for (uint32_t i = 0; i < kPorts; ++i)
        init_port(c.get(), i);
    c->profile = profile_levels(desc.coding)[0].profile;
    c->level = profile_levels(desc.coding)[0].level;
    c->bitrate.eControlRate = OMX_Video_ControlRateVariable;
    auto &avc = c->avc;
    avc.nSize = sizeof avc;
    avc.nVersion = il_version();
    avc.nPortIndex = kOutPort;
    avc.nPFrames = 29;
    avc.nRefFrames = 1;
    avc.eProfile = OMX_VIDEO_AVCProfileBaseline;
    avc.eLevel = OMX_VIDEO_AVCLevel41;
    avc.nAllowedPictureTypes = 0x3; // I and P
    avc.bFrameMBsOnly = OMX_TRUE;
    avc.eLoopFilterMode = OMX_VIDEO_AVCLoopFilterEnable;

    handle->pComponentPrivate = c.get();
    handle->GetComponentVersion = get_component_version;
    handle->SendCommand = send_command;
    handle->GetParameter = get_parameter;
    handle->SetParameter = set_parameter;
    handle->GetConfig = get_config;
    handle->SetConfig = set_config;
    handle->GetExtensionIndex = get_extension_index;
    handle->GetState = get_state;
    handle->ComponentTunnelRequest = tunnel_request;
    handle->UseBuffer = use_buffer;
    handle->AllocateBuffer = allocate_buffer;
    handle->FreeBuffer = free_buffer;
    handle->EmptyThisBuffer = empty_this_buffer;
    handle->FillThisBuffer = fill_this_buffer;
    handle->SetCallbacks = set_callbacks;
    handle->ComponentDeInit = component_deinit;
    handle->UseEGLImage = use_egl_image;
    handle->ComponentRoleEnum = role_enum;
    try {
        c->worker = std::thread(worker_main, c.get());
    } catch (...) {
        handle->pComponentPrivate = nullptr;
        return OMX_ErrorInsufficientResources;
    }
    c.release();
    return OMX_ErrorNone;
}

void component_destroy(OMX_COMPONENTTYPE *handle)
{
    Component *c = self(handle);
    if (!c)
        return;
    {
        std::lock_guard lock(c->mu);
        c->quit = true;
        notify(c);
    }
    c->worker.join();
    ComponentStats stats{c->name, c->inputs, 0, 0, 0, {}};
    if (c->codec) {
        stats.pictures = c->codec->pictures;
        stats.errors = c->codec->errors;
        stats.egl_writes = c->codec->egl_writes;
        stats.md5_lines = std::move(c->codec->md5_lines);
    }
    c->codec.reset();
    for (auto &port : c->ports) {
        for (auto *rec : port.buffers)
            delete_buffer(rec);
        port.buffers.clear();
    }
    stats_append(stats);
    handle->pComponentPrivate = nullptr;
    delete c;
}

const std::string &component_name(OMX_COMPONENTTYPE *handle)
{
    return self(handle)->name;
}

} // namespace zyn
