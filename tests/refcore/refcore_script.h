// Scenarios against the reference core as scripts: calls separated by ";", each answered by one
// token (an error code in hexadecimal, 0 for none, unless said otherwise), joined by "|":
//   init, deinit, enum I [ROOM] (a name without "OMX.ZYN."), names (enum up to the first trailing
//   NoMore), roles NAME ("COUNT: ROLE ..."), open NAME, free, state (the state), get IDX [PORT
//   [ENTRY]] (IDX: PortDefinition, "DIR MIN/ACTUAL SIZE WxH CODING/COLOUR" with "on" when enabled,
//   "full" when populated; PortFormat, Profile, ProfileCurrent: "A/B"; Role; VideoInit; a number),
//   set IDX [PORT [FIELD=VALUE...]] (sets back what get read with count, min, size, w, h, coding,
//   colour, dir, port or nsize changed; set Role ROLE), cmd STATE, cmd flush|disable|enable|mark|N
//   PORT, to STATE (gives or frees the buffers the state needs, waits for it: "ok"), use|alloc PORT
//   [BYTES], egl PORT, freebuf PORT I, etb I [LEN], ftb I, headers (buffer calls with headers not
//   the port's or not ours), await N (N callbacks not shown yet: "ok" or "timeout"), settle (""),
//   stats (the statistics file), events (the callbacks since the last events, "," joined: Cc.p for
//   command c on p complete, Ecode error event, Fflags buffer flag, eI and fI input and output
//   buffer I back; "*" after one that came on the client's thread).
#pragma once

#include "refcore_client.h"

#include <sstream>

namespace refcore_test
{

class Script : public ComponentTest
{
protected:
    // A fresh core with `faults`, a handle on `name` (no OMX_Init and no handle for ""), `script`.
    std::string play(const char *name, const std::string &faults, const std::string &script)
    {
        start(nullptr);
        events_seen_ = 0;
        use_faults(faults, plays_++); // a file of its own: the core keeps its counters while the file stays the same
        if (*name && answers({call({"init"}), call({"open", name})}) != "0|0")
            return "could not start";
        std::stringstream calls(script);
        std::string text;
        for (std::string one; std::getline(calls, one, ';');) {
            std::vector<std::string> w;
            std::istringstream words(one);
            for (std::string word; words >> word;)
                w.push_back(word);
            text += (text.empty() ? "" : "|") + call(w);
        }
        return text;
    }

private:
    struct Index {
        const char *name;
        OMX_INDEXTYPE index;
        OMX_U32 size;
        bool port;
    };
    static constexpr Index kIndices[] = {
        {"PortDefinition", OMX_IndexParamPortDefinition, sizeof(OMX_PARAM_PORTDEFINITIONTYPE), true},
        {"Role", OMX_IndexParamStandardComponentRole, sizeof(OMX_PARAM_COMPONENTROLETYPE), false},
        {"PortFormat", OMX_IndexParamVideoPortFormat, sizeof(OMX_VIDEO_PARAM_PORTFORMATTYPE), true},
        {"Profile", OMX_IndexParamVideoProfileLevelQuerySupported, sizeof(OMX_VIDEO_PARAM_PROFILELEVELTYPE), true},
        {"ProfileCurrent", OMX_IndexParamVideoProfileLevelCurrent, sizeof(OMX_VIDEO_PARAM_PROFILELEVELTYPE), true},
        {"VideoInit", OMX_IndexParamVideoInit, sizeof(OMX_PORT_PARAM_TYPE), false},
    };
    static constexpr const char *kStates[] = {"Invalid", "Loaded", "Idle", "Executing", "Pause", "WaitForResources"};
    static constexpr const char *kCommands[] = {"", "flush", "disable", "enable", "mark"};

    static OMX_U32 number(const std::string &word) { return static_cast<OMX_U32>(std::stoul(word, nullptr, 0)); }
    template <size_t N> static OMX_U32 position(const char *const (&list)[N], const std::string &word)
    {
        return static_cast<OMX_U32>(std::find(list, list + N, word) - list);
    }

    std::string records(const std::vector<std::string> &w)
    {
        Index info{"", static_cast<OMX_INDEXTYPE>(0), sizeof(OMX_PARAM_PORTDEFINITIONTYPE), false};
        for (const Index &i : kIndices)
            info = w[1] == i.name ? i : info;
        if (!*info.name)
            info.index = static_cast<OMX_INDEXTYPE>(number(w[1]));
        alignas(8) uint8_t bytes[512] = {};
        auto *d = reinterpret_cast<OMX_PARAM_PORTDEFINITIONTYPE *>(bytes); // every record starts the same way
        auto *f = reinterpret_cast<OMX_VIDEO_PARAM_PORTFORMATTYPE *>(bytes);
        auto *p = reinterpret_cast<OMX_VIDEO_PARAM_PROFILELEVELTYPE *>(bytes);
        auto &v = d->format.video;
        d->nSize = info.size;
        d->nVersion.s.nVersionMajor = 1;
        if (info.port)
            d->nPortIndex = w.size() > 2 ? number(w[2]) : 0;
        (info.index == OMX_IndexParamVideoPortFormat ? f->nIndex : p->nProfileIndex) =
            w[0] == "get" && w.size() > 3 ? number(w[3]) : 0;
        OMX_ERRORTYPE e = c()->GetParameter(h(), info.index, bytes);
        if (w[0] == "set") {
            if (info.index == OMX_IndexParamStandardComponentRole && w.size() > 2)
                std::snprintf(reinterpret_cast<char *>(bytes + offsetof(OMX_PARAM_COMPONENTROLETYPE, cRole)),
                              OMX_MAX_STRINGNAME_SIZE, "%s", w[2].c_str());
            for (size_t i = 3; i < w.size() && info.index == OMX_IndexParamPortDefinition; ++i) {
                std::string field = w[i].substr(0, w[i].find('='));
                OMX_U32 value = number(w[i].substr(w[i].find('=') + 1));
                using Def = OMX_PARAM_PORTDEFINITIONTYPE;
                using Set = void (*)(Def &, OMX_U32);
                static constexpr std::pair<const char *, Set> kFields[] = {
                    {"count", [](Def &r, OMX_U32 x) { r.nBufferCountActual = x; }},
                    {"min", [](Def &r, OMX_U32 x) { r.nBufferCountMin = x; }},
                    {"size", [](Def &r, OMX_U32 x) { r.nBufferSize = x; }},
                    {"w", [](Def &r, OMX_U32 x) { r.format.video.nFrameWidth = x; }},
                    {"h", [](Def &r, OMX_U32 x) { r.format.video.nFrameHeight = x; }},
                    {"coding", [](Def &r, OMX_U32 x) { r.format.video.eCompressionFormat = OMX_VIDEO_CODINGTYPE(x); }},
                    {"colour", [](Def &r, OMX_U32 x) { r.format.video.eColorFormat = OMX_COLOR_FORMATTYPE(x); }},
                    {"dir", [](Def &r, OMX_U32 x) { r.eDir = OMX_DIRTYPE(x); }},
                    {"port", [](Def &r, OMX_U32 x) { r.nPortIndex = x; }},
                    {"nsize", [](Def &r, OMX_U32 x) { r.nSize = x; }}};
                for (const auto &[name, set] : kFields)
                    if (field == name)
                        set(*d, value);
            }
            return hex(c()->SetParameter(h(), info.index, bytes));
        }
        if (e != OMX_ErrorNone)
            return hex(e);
        auto pair = [](unsigned a, unsigned b) { return hex(a) + "/" + hex(b); };
        switch (static_cast<uint32_t>(info.index)) {
        case OMX_IndexParamPortDefinition:
            return std::string(d->eDir == OMX_DirInput ? "in " : "out ") +
                   pair(d->nBufferCountMin, d->nBufferCountActual) + " " + std::to_string(d->nBufferSize) + " " +
                   std::to_string(v.nFrameWidth) + "x" + std::to_string(v.nFrameHeight) + " " +
                   pair(v.eCompressionFormat, v.eColorFormat) + (d->bEnabled ? " on" : "") +
                   (d->bPopulated ? " full" : "");
        case OMX_IndexParamVideoPortFormat: return pair(f->eCompressionFormat, f->eColorFormat);
        case OMX_IndexParamVideoProfileLevelQuerySupported:
        case OMX_IndexParamVideoProfileLevelCurrent: return pair(p->eProfile, p->eLevel);
        case OMX_IndexParamStandardComponentRole:
            return reinterpret_cast<char *>(bytes + offsetof(OMX_PARAM_COMPONENTROLETYPE, cRole));
        default: return "0";
        }
    }

    std::string events()
    {
        std::string text;
        auto slot = [](const auto &list, auto *b) {
            return std::to_string(std::find(list.begin(), list.end(), b) - list.begin());
        };
        for (auto rs = client.records(); events_seen_ < rs.size(); ++events_seen_) {
            const Record &r = rs[events_seen_];
            std::string token = r.kind == Record::EmptyDone       ? "e" + slot(in, r.hdr)
                                : r.kind == Record::FillDone      ? "f" + slot(out, r.hdr)
                                : r.event == OMX_EventCmdComplete ? "C" + hex(r.d1) + "." + hex(r.d2)
                                : r.event == OMX_EventError       ? "E" + hex(r.d1)
                                                                  : "F" + hex(r.d2);
            text += (text.empty() ? "" : ",") + token + (r.client_thread ? "*" : "");
        }
        return text;
    }

    std::string call(const std::vector<std::string> &w)
    {
        const std::string &verb = w.at(0);
        auto arg = [&](size_t i, OMX_U32 otherwise) { return w.size() > i ? number(w[i]) : otherwise; };
        char name[128];
        OMX_BUFFERHEADERTYPE *b = nullptr;
        if (verb == "init" || verb == "deinit")
            return hex(verb == "init" ? core().Init() : core().Deinit());
        if (verb == "names") {
            std::string text;
            for (OMX_U32 i = 0; i < 16; ++i)
                text += " " + call({"enum", std::to_string(i)});
            while (text.ends_with(" 8000100e 8000100e"))
                text.resize(text.size() - 9);
            return text.substr(1);
        }
        if (verb == "enum") {
            OMX_ERRORTYPE e = core().ComponentNameEnum(name, arg(2, sizeof name), number(w[1]));
            return e ? hex(e) : std::string(name).substr(8);
        }
        if (verb == "roles") {
            OMX_U8 buffers[10][128] = {};
            OMX_U8 *array[10];
            for (int i = 0; i < 10; ++i)
                array[i] = buffers[i];
            OMX_U32 count = 0, written = 10;
            OMX_ERRORTYPE e = core().GetRolesOfComponent(const_cast<char *>(w[1].c_str()), &count, nullptr);
            e = e ? e : core().GetRolesOfComponent(const_cast<char *>(w[1].c_str()), &written, array);
            std::string text = e ? hex(e) : std::to_string(count) + ":";
            for (OMX_U32 i = 0; e == OMX_ErrorNone && i < written; ++i)
                text += std::string(" ") + reinterpret_cast<char *>(array[i]);
            return text;
        }
        if (verb == "open") {
            if (client.handle != nullptr)
                call({"free"});
            return hex(client.open(w[1].c_str()));
        }
        if (verb == "free") {
            OMX_ERRORTYPE e = client.close();
            if (e == OMX_ErrorNone)
                in.clear(), out.clear(), client.clear(), events_seen_ = 0;
            return hex(e);
        }
        if (verb == "state") {
            OMX_STATETYPE s;
            OMX_ERRORTYPE e = c()->GetState(h(), &s);
            return hex(e ? static_cast<unsigned>(e) : static_cast<unsigned>(s));
        }
        if (verb == "get" || verb == "set")
            return records(w);
        if (verb == "cmd" && position(kStates, w[1]) < std::size(kStates))
            return hex(command(OMX_CommandStateSet, position(kStates, w[1])));
        if (verb == "cmd") // a command by name or number, and its parameter
            return hex(command(static_cast<OMX_COMMANDTYPE>(position(kCommands, w[1]) < std::size(kCommands)
                                                                ? position(kCommands, w[1])
                                                                : number(w[1])),
                               arg(2, 0)));
        if (verb == "to") {
            to_state(static_cast<OMX_STATETYPE>(position(kStates, w[1])));
            return HasFatalFailure() ? "failed" : "ok";
        }
        if (verb == "use" || verb == "alloc" || verb == "egl") {
            OMX_U32 port = number(w[1]), bytes = arg(2, kBufferBytes);
            in_mem.emplace_back(bytes);
            OMX_ERRORTYPE e = verb == "use"     ? c()->UseBuffer(h(), &b, port, nullptr, bytes, in_mem.back().data())
                              : verb == "alloc" ? c()->AllocateBuffer(h(), &b, port, nullptr, bytes)
                                                : c()->UseEGLImage(h(), &b, port, nullptr, &in_mem);
            if (e == OMX_ErrorNone)
                (port == 0 ? in : out).push_back(b);
            return hex(e);
        }
        if (verb == "freebuf") { // a buffer freed keeps its number, and no other header takes it
            OMX_BUFFERHEADERTYPE *&entry = (number(w[1]) == 0 ? in : out).at(number(w[2]));
            OMX_ERRORTYPE e = c()->FreeBuffer(h(), number(w[1]), entry);
            entry = e ? entry : nullptr;
            return hex(e);
        }
        if (verb == "headers") {
            OMX_BUFFERHEADERTYPE copy = *in.at(0);
            return answers({hex(c()->EmptyThisBuffer(h(), nullptr)), hex(c()->EmptyThisBuffer(h(), out.at(0))),
                            hex(c()->FillThisBuffer(h(), in[0])), hex(c()->EmptyThisBuffer(h(), &copy)),
                            hex(c()->FreeBuffer(h(), 0, out[0])), hex(c()->FreeBuffer(h(), 3, out[0]))});
        }
        if (verb == "etb" || verb == "ftb")
            return hex(verb == "etb" ? empty(in.at(number(w[1])), arg(2, 10))
                                     : c()->FillThisBuffer(h(), out.at(number(w[1]))));
        if (verb == "await") {
            for (int i = 0; i < 2000 && client.records().size() < events_seen_ + number(w[1]); i++)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return client.records().size() >= events_seen_ + number(w[1]) ? "ok" : "timeout";
        }
        if (verb == "settle")
            Client::settle();
        if (verb == "events")
            return events();
        if (verb == "stats") {
            std::ifstream f(stats_path_);
            return std::string(std::istreambuf_iterator<char>(f), {});
        }
        return verb == "settle" ? "" : "unknown call " + verb;
    }

    size_t events_seen_ = 0;
    int plays_ = 0;
};

} // namespace refcore_test
