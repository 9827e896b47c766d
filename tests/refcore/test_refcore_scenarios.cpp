// The reference core through its entry points and component API, scenario by scenario: what each call answers and which
// callbacks follow, with and without fault-file rules and settings. A scenario is a script: calls separated by ";",
// each answered by one token (an error code in hex, 0 for none, unless said otherwise), joined by "|": init, deinit,
// enum I [ROOM] (a name without "OMX.ZYN."), names (enum up to the first trailing NoMore), roles [NAME] and of [ROLE
// [ROOM]] ("COUNT: NAME ..."), open [NAME], free, state, get IDX [PORT [ENTRY]] (PortDefinition: "DIR MIN/ACTUAL SIZE
// WxH CODING/COLOUR" with "on" when enabled, "full" when populated; PortFormat, Profile, ProfileCurrent: "A/B"; Role;
// VideoInit), set IDX [PORT [FIELD=VALUE...]] (sets back what get read, changed), cmd STATE|flush|disable|enable|mark|N
// [PORT], to STATE (gives or frees the buffers it needs, waits: "ok"), use|alloc PORT [BYTES], egl PORT, freebuf PORT
// I, etb I [LEN], ftb I, headers (bad buffer calls), await N (N callbacks not shown yet: "ok" or "timeout"), settle
// (""), stats, events (the callbacks since the last events: Cc.p command c on p complete, Ecode error, Fflags buffer
// flag, eI/fI input/output buffer I back, "*" after one that came on the test's thread).
#include "refcore_client.h"

#include <iterator>
#include <regex>
#include <sstream>

using namespace refcore_test;

namespace
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
            std::istringstream words(one);
            text += (text.empty() ? "" : "|") + call({std::istream_iterator<std::string>(words), {}});
        }
        return text;
    }

private:
    static OMX_U32 number(const std::string &word) { return static_cast<OMX_U32>(std::stoul(word, nullptr, 0)); }
    template <size_t N> static OMX_U32 position(const char *const (&list)[N], const std::string &word)
    {
        return static_cast<OMX_U32>(std::find(list, list + N, word) - list);
    }

    std::string parameter(const std::vector<std::string> &w)
    {
        using Def = OMX_PARAM_PORTDEFINITIONTYPE;
        using Profile = OMX_VIDEO_PARAM_PROFILELEVELTYPE;
        static constexpr struct {
            const char *name;
            OMX_INDEXTYPE index;
            OMX_U32 size;
        } kIndices[] = {
            {"PortDefinition", OMX_IndexParamPortDefinition, sizeof(Def)},
            {"Role", OMX_IndexParamStandardComponentRole, sizeof(OMX_PARAM_COMPONENTROLETYPE)},
            {"PortFormat", OMX_IndexParamVideoPortFormat, sizeof(OMX_VIDEO_PARAM_PORTFORMATTYPE)},
            {"Profile", OMX_IndexParamVideoProfileLevelQuerySupported, sizeof(Profile)},
            {"ProfileCurrent", OMX_IndexParamVideoProfileLevelCurrent, sizeof(Profile)},
            {"VideoInit", OMX_IndexParamVideoInit, sizeof(OMX_PORT_PARAM_TYPE)},
        };
        auto info = std::find_if(std::begin(kIndices), std::end(kIndices), [&](auto &i) { return w[1] == i.name; });
        const auto index = info->index; // a name of the table
        alignas(8) uint8_t bytes[512] = {};
        auto *d = reinterpret_cast<Def *>(bytes); // every record starts the same way
        auto *f = reinterpret_cast<OMX_VIDEO_PARAM_PORTFORMATTYPE *>(bytes);
        auto *p = reinterpret_cast<Profile *>(bytes);
        auto &v = d->format.video;
        char *role = reinterpret_cast<char *>(bytes + offsetof(OMX_PARAM_COMPONENTROLETYPE, cRole));
        d->nSize = info->size;
        d->nVersion.s.nVersionMajor = 1;
        if (index != OMX_IndexParamStandardComponentRole && index != OMX_IndexParamVideoInit)
            d->nPortIndex = w.size() > 2 ? number(w[2]) : 0;
        (index == OMX_IndexParamVideoPortFormat ? f->nIndex : p->nProfileIndex) =
            w[0] == "get" && w.size() > 3 ? number(w[3]) : 0;
        OMX_ERRORTYPE e = c()->GetParameter(h(), index, bytes);
        if (w[0] == "set") {
            static constexpr const char *kFields[] = {"count",  "min",    "size", "w",    "h",
                                                      "coding", "colour", "dir",  "port", "nsize"};
#define AT(field) offsetof(Def, field)
            static constexpr size_t kAt[] = {AT(nBufferCountActual),
                                             AT(nBufferCountMin),
                                             AT(nBufferSize),
                                             AT(format.video.nFrameWidth),
                                             AT(format.video.nFrameHeight),
                                             AT(format.video.eCompressionFormat),
                                             AT(format.video.eColorFormat),
                                             AT(eDir),
                                             AT(nPortIndex),
                                             AT(nSize)};
#undef AT
            for (size_t i = 3; i < w.size() && index == OMX_IndexParamPortDefinition; ++i) {
                const OMX_U32 x = number(w[i].substr(w[i].find('=') + 1));
                std::memcpy(bytes + kAt[position(kFields, w[i].substr(0, w[i].find('=')))], &x, sizeof x);
            }
            return hex(c()->SetParameter(h(), index, bytes));
        }
        auto pair = [](unsigned a, unsigned b) { return hex(a) + "/" + hex(b); };
        switch (e ? 0u : static_cast<uint32_t>(index)) {
        case OMX_IndexParamPortDefinition:
            return std::string(d->eDir == OMX_DirInput ? "in " : "out ") +
                   pair(d->nBufferCountMin, d->nBufferCountActual) + " " + std::to_string(d->nBufferSize) + " " +
                   std::to_string(v.nFrameWidth) + "x" + std::to_string(v.nFrameHeight) + " " +
                   pair(v.eCompressionFormat, v.eColorFormat) + (d->bEnabled ? " on" : "") +
                   (d->bPopulated ? " full" : "");
        case OMX_IndexParamVideoPortFormat: return pair(f->eCompressionFormat, f->eColorFormat);
        case OMX_IndexParamVideoProfileLevelQuerySupported:
        case OMX_IndexParamVideoProfileLevelCurrent: return pair(p->eProfile, p->eLevel);
        case OMX_IndexParamStandardComponentRole: return role;
        default: return hex(e);
        }
    }

    std::string events()
    {
        std::string text;
        auto slot = [](const auto &list, auto *b) {
            return std::to_string(std::find(list.begin(), list.end(), b) - list.begin());
        };
        for (auto rs = records(); events_seen_ < rs.size(); ++events_seen_) {
            const Record &r = rs[events_seen_];
            std::string token = r.kind == 'e'                     ? "e" + slot(in, r.hdr)
                                : r.kind == 'f'                   ? "f" + slot(out, r.hdr)
                                : r.event == OMX_EventCmdComplete ? "C" + hex(r.d1) + "." + hex(r.d2)
                                : r.event == OMX_EventError       ? "E" + hex(r.d1)
                                                                  : "F" + hex(r.d2);
            text += (text.empty() ? "" : ",") + token + (r.client_thread ? "*" : "");
        }
        return text;
    }

    std::string call(const std::vector<std::string> &w)
    {
        static constexpr const char *kStates[] = {"Invalid",   "Loaded", "Idle",
                                                  "Executing", "Pause",  "WaitForResources"};
        static constexpr const char *kCommands[] = {"", "flush", "disable", "enable", "mark"};
        const std::string &verb = w.at(0);
        auto arg = [&](size_t i, OMX_U32 otherwise) { return w.size() > i ? number(w[i]) : otherwise; };
        if (verb == "init" || verb == "deinit")
            return hex(verb == "init" ? OMX_Init() : OMX_Deinit());
        if (verb == "names") {
            std::string text;
            for (OMX_U32 i = 0; i < 16; ++i)
                text += " " + call({"enum", std::to_string(i)});
            while (text.ends_with(" 8000100e 8000100e"))
                text.resize(text.size() - 9);
            return text.substr(1);
        }
        if (verb == "enum") {
            char name[128];
            OMX_ERRORTYPE e = OMX_ComponentNameEnum(name, arg(2, sizeof name), number(w[1]));
            return e ? hex(e) : std::string(name).substr(8);
        }
        if (verb == "roles" || verb == "of") { // the count, then as many as there is room for
            auto *list = verb == "roles" ? OMX_GetRolesOfComponent : OMX_GetComponentsOfRole;
            OMX_U8 names[10][128] = {}, *array[10];
            for (int i = 0; i < 10; ++i)
                array[i] = names[i];
            OMX_U32 count = 0, room = arg(2, 10);
            char *key = w.size() > 1 ? const_cast<char *>(w[1].c_str()) : nullptr;
            OMX_ERRORTYPE e = list(key, &count, nullptr);
            e = e ? e : list(key, &room, array);
            std::string text = e ? hex(e) : std::to_string(count) + ":";
            for (OMX_U32 i = 0; e == OMX_ErrorNone && i < room; ++i)
                text += std::string(" ") + reinterpret_cast<char *>(array[i]);
            return text;
        }
        if (verb == "open" && handle != nullptr)
            call({"free"});
        if (verb == "open")
            return hex(open(w.size() > 1 ? w[1].c_str() : nullptr));
        if (verb == "free") {
            OMX_ERRORTYPE e = close();
            if (e == OMX_ErrorNone)
                in.clear(), out.clear(), clear(), events_seen_ = 0;
            return hex(e);
        }
        if (verb == "state") {
            OMX_STATETYPE s;
            OMX_ERRORTYPE e = c()->GetState(h(), &s);
            return hex(e ? static_cast<unsigned>(e) : static_cast<unsigned>(s));
        }
        if (verb == "get" || verb == "set")
            return parameter(w);
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
        if (verb == "use" || verb == "alloc" || verb == "egl")
            return hex(give(verb, number(w[1]), arg(2, kBufferBytes)));
        if (verb == "freebuf") { // a buffer freed keeps its number, and no other header takes it
            OMX_BUFFERHEADERTYPE *&entry = (number(w[1]) == 0 ? in : out).at(number(w[2]));
            OMX_ERRORTYPE e = c()->FreeBuffer(h(), number(w[1]), entry);
            entry = e ? entry : nullptr;
            return hex(e);
        }
        if (verb == "headers") {
            OMX_BUFFERHEADERTYPE copy = *in.at(0);
            auto offset = [&](OMX_U32 at, OMX_U32 len) { // data outside the buffer
                in[0]->nOffset = at;
                OMX_ERRORTYPE e = empty(in[0], len);
                in[0]->nOffset = 0;
                return hex(e);
            };
            const OMX_U32 size = in[0]->nAllocLen;
            return answers({hex(c()->EmptyThisBuffer(h(), nullptr)), hex(c()->EmptyThisBuffer(h(), out.at(0))),
                            hex(c()->FillThisBuffer(h(), in[0])), hex(c()->EmptyThisBuffer(h(), &copy)),
                            hex(c()->FreeBuffer(h(), 0, out[0])), hex(c()->FreeBuffer(h(), 3, out[0])),
                            offset(size + 1, 0), offset(10, size - 9)});
        }
        if (verb == "etb" || verb == "ftb")
            return hex(verb == "etb" ? empty(in.at(number(w[1])), arg(2, 10))
                                     : c()->FillThisBuffer(h(), out.at(number(w[1]))));
        if (verb == "await")
            return wait(events_seen_ + number(w[1]), '*') ? "ok" : "timeout";
        if (verb == "settle") // lets the component's thread run, to show that something did NOT happen
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return verb == "events" ? events() : verb == "stats" ? stats() : verb == "settle" ? "" : "unknown call " + verb;
    }

    size_t events_seen_ = 0;
    int plays_ = 0;
};

const char *const kNames[] = {"OMX.ZYN.AVC.Decoder",   "OMX.ZYN.VP8.Decoder", "OMX.ZYN.MPEG4.Decoder",
                              "OMX.ZYN.H263.Decoder",  "OMX.ZYN.WMV.Decoder", "OMX.ZYN.AVC.Encoder",
                              "OMX.ZYN.MPEG4.Encoder", "OMX.ZYN.H263.Encoder"};
const std::string kEight = "AVC.Decoder VP8.Decoder MPEG4.Decoder H263.Decoder WMV.Decoder AVC.Encoder MPEG4.Encoder "
                           "H263.Encoder";

} // namespace

// Nothing before OMX_Init or after OMX_Deinit; never a cut name; unknown names are not found; settings shape the
// enumeration (a name the core does not know gets the generic decoder) and the roles (the last matching line wins; an
// array takes at most its room).
TEST_F(Script, CoreEntryPointsAndSettings)
{
    EXPECT_EQ(play("", "",
                   "enum 0; roles OMX.ZYN.AVC.Decoder; open OMX.ZYN.AVC.Decoder; init; enum 0 19; enum 0 20; "
                   "open OMX.ZYN.No; open " +
                       std::string(128, 'x') + "; roles OMX.ZYN.No; names; deinit; enum 0; deinit"),
              "80001010|80001010|80001010|0|80001005|AVC.Decoder|80001003|80001002|80001003|" + kEight +
                  " 8000100e|0|80001010|0");
    EXPECT_EQ(play("", "core components 0",
                   "init; names; roles OMX.ZYN.H263.Encoder; open OMX.ZYN.H263.Encoder; free; open; roles"),
              "0|8000100e|1: video_encoder.h263|0|0|80001005|80001005"); // no name at all
    EXPECT_EQ(play("", "core components 12", "init; names; roles OMX.ZYN.Extra.11; open OMX.ZYN.Extra.11; free"),
              "0|" + kEight + " Extra.8 Extra.9 Extra.10 Extra.11 8000100e|1: video_decoder.generic|0|0");
    EXPECT_EQ(play("", "core names OMX.Foo.Bar OMX.ZYN.VP8.Decoder\ncore enum_error 4 0x80001001",
                   "init; names; roles OMX.Foo.Bar; open OMX.Foo.Bar; free"),
              "0|Bar VP8.Decoder 8000100e 8000100e 80001001 8000100e|1: video_decoder.generic|0|0");
    EXPECT_EQ(play("",
                   "* roles 2\nOMX.ZYN.WMV.Decoder roles 12\nOMX.ZYN.AVC.Encoder roles 3\nOMX.ZYN.AVC.Encoder roles 0",
                   "init; roles OMX.ZYN.WMV.Decoder; roles OMX.ZYN.VP8.Decoder; roles OMX.ZYN.AVC.Encoder"),
              "0|12: video_decoder.wmv role.1 role.2 role.3 role.4 role.5 role.6 role.7 role.8 role.9|2: "
              "video_decoder.vpx role.1|0:");
}

// Components by role come from the registry (a count, then at most the room given); a port works with the client only:
// a tunnel between two components and content pipes are refused.
TEST_F(Script, ComponentsOfRoleTunnelsAndPipes)
{
    EXPECT_EQ(play("OMX.ZYN.AVC.Decoder", "", "of video_decoder.avc 2; of video_encoder.h263 0; of audio.none 2"),
              "1: OMX.ZYN.AVC.Decoder|1:|0:");
    OMX_HANDLETYPE b = nullptr, pipe = &b;
    ASSERT_EQ(OMX_ErrorNone, open("OMX.ZYN.AVC.Encoder", &b));
    int stranger = 0;
    EXPECT_EQ(answers({hex(OMX_SetupTunnel(h(), 1, b, 0)), hex(OMX_SetupTunnel(h(), 1, nullptr, 0)),
                       hex(OMX_SetupTunnel(nullptr, 0, b, 0)), hex(OMX_SetupTunnel(nullptr, 0, h(), 2)),
                       hex(OMX_SetupTunnel(&stranger, 1, nullptr, 0)), hex(OMX_SetupTunnel(nullptr, 0, nullptr, 0)),
                       hex(OMX_GetContentPipe(&pipe, const_cast<char *>("file:///x"))),
                       hex(c()->ComponentTunnelRequest(h(), 1, b, 0, nullptr))}),
              "80001006|0|0|8000101b|80001005|80001005|80001022|80001024");
    EXPECT_EQ(pipe, nullptr);
    EXPECT_EQ(OMX_ErrorNone, OMX_FreeHandle(b));
}

// Core rules: an error instead of the call's work, counted per process across OMX_Init while the file stays the same,
// scoped to a component name where they name one (a refused free leaves the handle working).
TEST_F(Script, CoreCallRules)
{
    EXPECT_EQ(play("",
                   "core OMX_Init error 0x80001001 times 1\ncore OMX_FreeHandle error 0x80001001 times 1\n"
                   "OMX.ZYN.MPEG4.Decoder OMX_ComponentNameEnum error 0x80001001\n"
                   "OMX.ZYN.H263.Decoder OMX_GetRolesOfComponent error 0x80001005",
                   "init; enum 0; init; enum 1; enum 2; roles OMX.ZYN.H263.Decoder; roles OMX.ZYN.WMV.Decoder; "
                   "open OMX.ZYN.MPEG4.Decoder; free; state; free"),
              "80001001|80001010|0|VP8.Decoder|80001001|80001005|1: video_decoder.wmv|0|80001001|1|0");
}

// The components' ports: what they describe, what a new definition may change (only in Loaded; a decoder takes only the
// codings and colours it lists, an encoder keeps its coding unless it lists the one named), the formats (the current
// one first) and profiles they list.
TEST_F(Script, Ports)
{
    const std::string script =
        "get PortDefinition 0; get PortDefinition 1; set PortDefinition %S nsize=4; set PortDefinition %S port=2; "
        "set PortDefinition %S count=2; set PortDefinition %S count=65; set PortDefinition %P size=0; "
        "set PortDefinition %P w=0; set PortDefinition %P h=0; set PortDefinition %P w=8193; "
        "set PortDefinition %P h=8193; set PortDefinition %S coding=2; set PortDefinition %P colour=6; "
        "get PortFormat %P 0; get PortFormat %P 3; set PortDefinition %S count=64 size=16384 min=1 dir=9 w=8192 h=720 "
        "coding=3; "
        "get PortDefinition %S; get PortFormat %S 0; get PortFormat %S 1; get PortFormat %S 2; get Profile %S 1; "
        "get ProfileCurrent %S 1";
    const std::string decoder =
        std::regex_replace(std::regex_replace(script, std::regex("%S"), "0"), std::regex("%P"), "1");
    const std::string encoder =
        std::regex_replace(std::regex_replace(script, std::regex("%S"), "1"), std::regex("%P"), "0");
    const std::string refused = "80001005|8000101b|80001005|80001005|80001005|80001005|80001005|80001005|80001005|";
    // Buffers of a compressed picture (at least 32 KiB), of one RGBA picture, of a 4:2:0 picture of the encoder's
    // smaller default size; a port made larger asks for larger buffers.
    const std::string in = "in 3/3 32768 176x144 ", out = "out 3/3 101376 176x144 ", turned = "3/40 4423680 8192x720 ";
    const std::string enc_in = "in 3/3 18432 128x96 ", enc_out = "out 3/3 32768 128x96 ";
    // A decoder lists what it writes into plain buffers: RGB, planar and semi-planar 4:2:0.
    const std::string decoded = "|" + out + "0/10 on|" + refused + "80001019|80001019|0/10|8000100e|";
    EXPECT_EQ(play("OMX.ZYN.AVC.Decoder", "", decoder),
              in + "7/0 on" + decoded + "80001019|" + in + "7/0 on|7/0|8000100e|8000100e|2/1000|1/1000");
    EXPECT_EQ(play("OMX.ZYN.VP8.Decoder", "", decoder),
              in + "9/0 on" + decoded + "80001019|" + in + "9/0 on|9/0|8000100e|8000100e|8000100e|1/1");
    EXPECT_EQ(play("OMX.ZYN.MPEG4.Decoder", "", decoder),
              in + "4/0 on" + decoded + "0|in " + turned + "3/0 on|3/0|4/0|8000100e|8000/80|1/80");
    EXPECT_EQ(play("OMX.ZYN.WMV.Decoder", "", decoder),
              in + "5/0 on" + decoded + "80001019|" + in + "5/0 on|5/0|8000100e|8000100e|8000100e|4/1");
    EXPECT_EQ(play("OMX.ZYN.AVC.Encoder", "", encoder), enc_in + "0/15 on|" + enc_out + "7/0 on|" + refused +
                                                            "0|0|0/6|8000100e|0|out " + turned +
                                                            "7/0 on|7/0|8000100e|8000100e|2/1000|1/1000");
    EXPECT_EQ(play("OMX.ZYN.H263.Encoder", "", encoder), enc_in + "0/15 on|" + enc_out + "3/0 on|" + refused +
                                                             "0|0|0/6|8000100e|0|out " + turned +
                                                             "3/0 on|3/0|4/0|8000100e|8000100e|1/80");
}

// Every transition the state machine allows completes once, from the component's thread; the others are error events
// that leave the state as it was; Invalid refuses everything.
TEST_F(Script, StateMachine)
{
    for (const std::string name : kNames)
        EXPECT_EQ(play(name.c_str(), "",
                       "cmd 0 77; cmd flush 2; cmd enable 5; cmd mark 0; cmd 99 0; state; cmd Executing; cmd Pause; "
                       "cmd Loaded; await 3; events; to WaitForResources; to Idle; to Executing; to Pause; to "
                       "Executing; set PortDefinition 0; events; cmd Loaded; await 1; events; to Idle; to Loaded; to "
                       "WaitForResources; to Loaded; events; cmd Invalid; await 1; events; state; cmd Loaded; "
                       "get PortDefinition; alloc 0"),
                  "80001005|8000101b|8000101b|80001005|80001005|1|0|0|0|ok|E80001017,E80001017,E80001012|ok|ok|ok|"
                  "ok|ok|80001018|C0.5,C0.2,C0.3,C0.4,C0.3|0|ok|E80001017|ok|ok|ok|ok|C0.2,C0.1,C0.5,C0.1|0|ok|"
                  "E8000100a|0|8000100a|8000100a|8000100a")
            << name;
}

// Buffers may come only while Idle is asked for, never smaller than the port's; Idle completes with the last one,
// Loaded with the last one freed. A client's bad buffer is refused: one not ours or of the other port, data outside it,
// one given twice. With decoding switched off every buffer comes back at once, in order, and the statistics line counts
// the inputs.
TEST_F(Script, BuffersWithDecodingOff)
{
    for (const std::string name : kNames)
        EXPECT_EQ(
            play(name.c_str(), "* decode none",
                 "use 0; alloc 1; cmd Idle; use 2; use 0 100; use 1 32767; egl 0; egl 7; use 0; use 0; use 0; "
                 "use 0; etb 0; alloc 1; alloc 1; settle; state; alloc 1; await 1; events; headers; etb 0; etb 1; "
                 "etb 2; etb 2; settle; events; to Executing; await 4; events; ftb 0; ftb 1; ftb 2; await 3; "
                 "events; etb 0 32769; etb 0; await 1; events; to Idle; cmd Loaded; freebuf 0 0; freebuf 0 1; "
                 "freebuf 0 2; freebuf 1 0; freebuf 1 1; settle; state; freebuf 1 2; await 2; events; free; stats"),
            std::string("80001018|80001018|0|8000101b|80001005|80001005|") +
                (name.ends_with("Decoder") ? "80001018|8000101b" : "80001006|80001006") +
                "|0|0|0|80001000|80001018|0|0||1|0|ok|C0.2|80001005|8000101b|8000101b|80001005|80001005|8000101b|"
                "80001005|80001005|"
                "0|0|0|80001018|||ok|ok|C0.3,e0,e1,e2|0|0|0|ok|f0,f1,f2|80001005|0|ok|e0|ok|0|0|0|0|0|0||2|0|ok|"
                "C0.2,C0.1|0|stats " +
                name + " inputs=4 pictures=0 errors=0 egl=0\n");
}

// Decoding on: output buffers stay until a picture, a flush, a disabled port or leaving Executing sends them back; an
// input buffer comes back once its unit is copied, and a unit without a picture then gives one back unfilled. A
// disabled port takes a new definition and completes its enabling once populated again; in Loaded, port commands
// complete at once.
TEST_F(Script, BuffersHeldAndPortCommands)
{
    EXPECT_EQ(play("OMX.ZYN.AVC.Decoder", "",
                   "to Idle; to Executing; ftb 0; ftb 1; ftb 2; settle; events; cmd flush 1; await 4; events; "
                   "cmd flush 4294967295; await 2; events; ftb 0; cmd disable 1; await 1; events; ftb 1; freebuf 1 0; "
                   "freebuf 1 1; settle; events; freebuf 1 2; await 1; events; set PortDefinition 1; alloc 1; "
                   "cmd enable 1; alloc 1; alloc 1; settle; events; alloc 1; await 1; events; ftb 3; ftb 4; ftb 5; "
                   "etb 0; await 2; events; to Idle; events; etb 1; cmd Loaded; await 1; events; free"),
              "ok|ok|0|0|0||C0.2,C0.3|0|ok|f0,f1,f2,C1.1|0|ok|C1.0,C1.1|0|0|ok|f0|80001018|0|0|||0|ok|C2.1|0|80001018|"
              "0|0|0|||0|ok|C3.1|0|0|0|0|ok|e0,f3|ok|f4,f5,C0.2|0|0|ok|e1|0");
    EXPECT_EQ(play("OMX.ZYN.MPEG4.Encoder", "",
                   "cmd disable 0; cmd disable 1; await 2; events; to Idle; to Loaded; events; "
                   "cmd enable 4294967295; await 2; events; to Idle; to Executing; etb 0; ftb 0; free"),
              "0|0|ok|C2.0,C2.1|ok|ok|C0.2,C0.1|0|ok|C3.0,C3.1|ok|ok|0|0|0");
}

// Rules on component calls: which calls they match (scope, call, qualifiers by name or number, `*`), after how many
// matching calls of the handle and how often they apply; of several, the first that applies decides. A command may be
// refused through an error event (and not carried out) or carried out without its completion; a buffer refused, or
// taken and never reported back.
TEST_F(Script, ComponentCallRules)
{
    const char *avc = "OMX.ZYN.AVC.Decoder";
    EXPECT_EQ(play(avc, "* GetParameter:PortDefinition:0x1 error 0x8000101A\n* GetParameter:*:0 error 1",
                   "get PortDefinition 1; get PortFormat 0; get VideoInit; get PortFormat 1"),
              "8000101a|1|0|0/10");
    EXPECT_EQ(play(avc,
                   "OMX.ZYN.AVC.Decoder GetState error 0x80001001 times 1\nOMX.ZYN.VP8.Decoder GetState error 2\n"
                   "* GetState error 0x80001005 times 1",
                   "state; state; state; get Role; open OMX.ZYN.VP8.Decoder; state"),
              "80001001|80001005|1|video_decoder.avc|0|2");
    EXPECT_EQ(
        play("OMX.ZYN.H263.Decoder",
             "* SendCommand:StateSet:Idle event_error 0x80001000 times 1\n* SendCommand:PortDisable:1 event_error "
             "0x80001019\n* SendCommand:PortEnable silent",
             "cmd Idle; await 1; events; state; to Idle; events; cmd disable 1; await 1; events; cmd disable 0; "
             "freebuf 0 0; "
             "freebuf 0 1; freebuf 0 2; await 1; events; cmd enable 0; use 0; use 0; use 0; settle; events; "
             "get PortDefinition 0"),
        "0|ok|E80001000|1|ok|C0.2|0|ok|E80001019|0|0|0|0|ok|C2.0|0|0|0|0|||in 3/3 32768 176x144 3/0 on full");
    EXPECT_EQ(play("OMX.ZYN.MPEG4.Decoder",
                   "* decode none\n* EmptyThisBuffer silent times 1\n* FillThisBuffer:1 silent after 1\n* "
                   "EmptyThisBuffer:0 error 0x8000100A after 4\nOMX.ZYN.MPEG4.Decoder AllocateBuffer:1 error "
                   "0x80001000 times 1\n* FreeBuffer:1 error 0x80001001 times 1\n* UseEGLImage error 0x80001006",
                   "cmd Idle; alloc 1; egl 1; use 0; use 0; use 0; alloc 1; alloc 1; alloc 1; await 1; events; to "
                   "Executing; events; etb 0; etb 1; etb 2; await 2; settle; events; etb 0; await 1; events; etb 1; "
                   "ftb 0; ftb 1; ftb 2; await 1; settle; events; to Idle; events; cmd Loaded; freebuf 1 0; freebuf "
                   "1 0; freebuf 1 1; freebuf 1 2; freebuf 0 0; freebuf 0 1; freebuf 0 2; await 1; events"),
              "0|80001000|80001006|0|0|0|0|0|0|ok|C0.2|ok|C0.3|0|0|0|ok||e1,e2|0|ok|e0|8000100a|0|0|0|ok||f0|ok|C0.2|0|"
              "80001001|0|0|0|0|0|0|ok|C0.1");
}

// Each line the reader cannot use is named on standard error, by its number, and ignored.
TEST_F(Script, LinesTheReaderCannotUseAreNamedAndIgnored)
{
    const char *bad[][2] = {
        {"lonely", "too few fields"},
        {"* Frobnicate error 1", "unknown call 'Frobnicate'"},
        {"core GetState error 1", "component call with scope core (use *)"},
        {"* GetState", "missing action"},
        {"* GetState error", "'error' needs a number"},
        {"* GetParameter event_error 5", "event_error applies to SendCommand only"},
        {"* GetState error 1 sometimes 3", "unexpected 'sometimes'"},
        {"core components x", "usage: core components N"},
        {"* names A", "usage: core names NAME ..."},
        {"* roles -1", "usage: SCOPE roles COUNT"},
        {"* min_buffers 2 3", "usage: SCOPE min_buffers PORT(0|1) COUNT(0..64)"},
        {"* decode some", "usage: SCOPE decode none|all"},
    };
    std::string rules, expected;
    int line = 2; // after the file's first line, which names the test
    for (const auto &[text, why] : bad) {
        rules += std::string(text) + " # a comment\n\n";
        expected += "ZYN_OMX_FAULTS line " + std::to_string(line) + " ignored: " + why + ": " + text + " \n";
        line += 2;
    }
    testing::internal::CaptureStderr();
    const std::string script = "state; cmd Idle; use 0; use 0; use 0; await 1; events";
    std::string answers = play("OMX.ZYN.AVC.Decoder", rules + "\t* GetState   error 0x1\t\n* min_buffers 1 0", script);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
    EXPECT_EQ(answers, "1|0|0|0|0|ok|C0.2"); // no output buffer needed
    start(nullptr);
    setenv("ZYN_OMX_FAULTS", "/nonexistent/faults", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(OMX_ErrorNone, OMX_Init());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ZYN_OMX_FAULTS: cannot read /nonexistent/faults; no faults\n");
}
