// Fault-file actions and qualifiers on component calls, and the reader itself.
#include "refcore_client.h"

#include "omx_faults.h"

using namespace refcore_test;

namespace
{

class FaultTest : public ComponentTest
{
};

TEST_F(FaultTest, ErrorOnOneIndexAndPortOnly)
{
    start("OMX.ZYN.AVC.Decoder", "* GetParameter:PortDefinition:1 error 0x8000101A");
    auto d0 = record<OMX_PARAM_PORTDEFINITIONTYPE>(0);
    auto d1 = record<OMX_PARAM_PORTDEFINITIONTYPE>(1);
    EXPECT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamPortDefinition, &d0));
    EXPECT_EQ(OMX_ErrorUnsupportedIndex, c()->GetParameter(h(), OMX_IndexParamPortDefinition, &d1));
    auto role = record<OMX_PARAM_COMPONENTROLETYPE>();
    EXPECT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamStandardComponentRole, &role));
}

TEST_F(FaultTest, ScopeNamesOneComponent)
{
    start("OMX.ZYN.VP8.Decoder",
          "OMX.ZYN.AVC.Decoder GetState error 0x80001001\nOMX.ZYN.VP8.Decoder GetConfig:CommonScale error 0x80001005");
    OMX_STATETYPE s;
    EXPECT_EQ(OMX_ErrorNone, c()->GetState(h(), &s));
    auto scale = record<OMX_CONFIG_SCALEFACTORTYPE>(0);
    EXPECT_EQ(OMX_ErrorBadParameter, c()->GetConfig(h(), OMX_IndexConfigCommonScale, &scale));
    Client avc;
    ASSERT_EQ(OMX_ErrorNone, avc.open("OMX.ZYN.AVC.Decoder"));
    EXPECT_EQ(OMX_ErrorUndefined, avc.c()->GetState(avc.handle, &s));
}

TEST_F(FaultTest, AfterAndTimesCountPerHandle)
{
    start("OMX.ZYN.AVC.Encoder", "* UseBuffer:0 error 0x80001000 after 1 times 1");
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    std::vector<uint8_t> mem(3 * kBufferBytes);
    OMX_BUFFERHEADERTYPE *b[4] = {};
    EXPECT_EQ(OMX_ErrorNone, c()->UseBuffer(h(), &b[0], 0, nullptr, kBufferBytes, mem.data()));
    EXPECT_EQ(OMX_ErrorInsufficientResources, c()->UseBuffer(h(), &b[1], 0, nullptr, kBufferBytes, mem.data()));
    EXPECT_EQ(nullptr, b[1]);
    EXPECT_EQ(OMX_ErrorNone, c()->UseBuffer(h(), &b[2], 0, nullptr, kBufferBytes, mem.data()));
    // A fresh handle counts from zero again.
    Client other;
    ASSERT_EQ(OMX_ErrorNone, other.open("OMX.ZYN.AVC.Encoder"));
    ASSERT_EQ(OMX_ErrorNone, other.c()->SendCommand(other.handle, OMX_CommandStateSet, OMX_StateIdle, nullptr));
    EXPECT_EQ(OMX_ErrorNone, other.c()->UseBuffer(other.handle, &b[3], 0, nullptr, kBufferBytes, mem.data()));
    EXPECT_EQ(OMX_ErrorInsufficientResources,
              other.c()->UseBuffer(other.handle, &b[3], 0, nullptr, kBufferBytes, mem.data()));
    EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 0, b[0]));
    EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 0, b[2]));
}

TEST_F(FaultTest, EventErrorInsteadOfCompletionLeavesTheState)
{
    start("OMX.ZYN.H263.Decoder", "* SendCommand:StateSet:Idle event_error 0x80001000 times 1");
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    ASSERT_TRUE(client.wait_error(OMX_ErrorInsufficientResources));
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::Event, OMX_EventCmdComplete));
    EXPECT_EQ(OMX_StateLoaded, client.state());
    // The second Idle command is carried out.
    to_idle();
    to_loaded();
}

TEST_F(FaultTest, SilentCommandChangesStateWithoutCompletion)
{
    start("OMX.ZYN.AVC.Decoder", "* SendCommand:StateSet:Executing silent");
    to_idle();
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateExecuting, nullptr));
    ASSERT_TRUE(Client::poll([&] { return client.state() == OMX_StateExecuting; }));
    Client::settle();
    EXPECT_EQ(OMX_StateExecuting, client.state());
    EXPECT_EQ(0u, client.count(Record::Event, OMX_EventCmdComplete, OMX_CommandStateSet, OMX_StateExecuting));
    to_state(OMX_StateIdle);
    to_loaded();
}

TEST_F(FaultTest, FlushAndPortQualifiers)
{
    start("OMX.ZYN.AVC.Decoder", "* SendCommand:Flush:0 error 0x80001001\n"
                                 "* SendCommand:PortDisable:1 event_error 0x80001019\n"
                                 "* SendCommand:PortEnable silent");
    to_idle();
    EXPECT_EQ(OMX_ErrorUndefined, c()->SendCommand(h(), OMX_CommandFlush, 0, nullptr));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandFlush, 1, nullptr));
    ASSERT_TRUE(client.wait_complete(OMX_CommandFlush, 1));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandPortDisable, 1, nullptr));
    ASSERT_TRUE(client.wait_error(OMX_ErrorUnsupportedSetting));
    EXPECT_TRUE(port_def(1).bEnabled); // nothing was done
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandPortDisable, 0, nullptr));
    for (auto *b : in)
        EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 0, b));
    in.clear();
    ASSERT_TRUE(client.wait_complete(OMX_CommandPortDisable, 0));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandPortEnable, 0, nullptr));
    use_inputs(3);
    ASSERT_TRUE(Client::poll([&] { return port_def(0).bPopulated == OMX_TRUE; }));
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::Event, OMX_EventCmdComplete, OMX_CommandPortEnable));
    to_loaded();
}

TEST_F(FaultTest, SilentBufferCallsKeepTheirCallbacks)
{
    start("OMX.ZYN.MPEG4.Decoder", "* EmptyThisBuffer silent times 1\n* FillThisBuffer silent after 1\n* decode none");
    to_idle();
    to_state(OMX_StateExecuting);
    client.clear();
    for (auto *b : in)
        ASSERT_EQ(OMX_ErrorNone, empty(b));
    ASSERT_TRUE(client.wait_count(Record::EmptyDone, 2));
    Client::settle();
    auto rs = client.records();
    ASSERT_EQ(2u, rs.size());
    EXPECT_EQ(in[1], rs[0].hdr);
    EXPECT_EQ(in[2], rs[1].hdr);
    // The silently returned buffer is the client's again: it can go in once more.
    EXPECT_EQ(OMX_ErrorNone, empty(in[0]));
    ASSERT_TRUE(client.wait_count(Record::EmptyDone, 3));
    // With decoding off, output buffers come straight back: only the first is reported.
    for (auto *b : out)
        ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), b));
    ASSERT_TRUE(client.wait_count(Record::FillDone, 1));
    to_state(OMX_StateIdle);
    EXPECT_EQ(1u, client.count(Record::FillDone));
    EXPECT_EQ(out[0], client.records()[3].hdr);
    to_loaded();
}

TEST_F(FaultTest, BufferCallErrors)
{
    start("OMX.ZYN.AVC.Decoder", "OMX.ZYN.AVC.Decoder AllocateBuffer:1 error 0x80001000 times 1\n"
                                 "* FreeBuffer:1 error 0x80001001 times 1\n"
                                 "* EmptyThisBuffer error 0x8000100A times 1\n"
                                 "* FillThisBuffer:1 error 0x80001018 times 1\n"
                                 "* UseEGLImage error 0x80001006");
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    OMX_BUFFERHEADERTYPE *b = nullptr;
    EXPECT_EQ(OMX_ErrorInsufficientResources, c()->AllocateBuffer(h(), &b, 1, nullptr, kBufferBytes));
    int image = 0;
    EXPECT_EQ(OMX_ErrorNotImplemented, c()->UseEGLImage(h(), &b, 1, nullptr, &image));
    use_inputs(3);
    allocate_outputs(3);
    ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateIdle));
    EXPECT_EQ(OMX_ErrorInvalidState, empty(in[0]));
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, c()->FillThisBuffer(h(), out[0]));
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::EmptyDone) + client.count(Record::FillDone));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateLoaded, nullptr));
    EXPECT_EQ(OMX_ErrorUndefined, c()->FreeBuffer(h(), 1, out[0])); // refused, still there
    free_all();
    ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateLoaded));
}

TEST_F(FaultTest, ConfigAndExtensionQualifiers)
{
    start("OMX.ZYN.AVC.Decoder", "* SetConfig:VendorThumbnailMode error 0x8000101A\n"
                                 "* GetExtensionIndex:OMX.ZYN.index.ThumbnailMode error 0x8000101A\n"
                                 "* GetConfig:CommonOutputCrop:1 error 0x80001001\n"
                                 "* SetParameter:VideoErrorCorrection:0 error 0x80001019\n"
                                 "* GetParameter:VideoProfileLevelQuerySupported error 0x80001001 after 1\n"
                                 "* GetParameter:VideoPortFormat:0 delay 30000 times 1");
    int zero = 0;
    EXPECT_EQ(OMX_ErrorUnsupportedIndex, c()->SetConfig(h(), OMX_IndexVendorThumbnailMode, &zero));
    OMX_INDEXTYPE index;
    EXPECT_EQ(OMX_ErrorUnsupportedIndex,
              c()->GetExtensionIndex(h(), const_cast<char *>("OMX.ZYN.index.ThumbnailMode"), &index));
    auto crop = record<OMX_CONFIG_RECTTYPE>(1);
    EXPECT_EQ(OMX_ErrorUndefined, c()->GetConfig(h(), OMX_IndexConfigCommonOutputCrop, &crop));
    auto ec = record<OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE>(0);
    EXPECT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoErrorCorrection, &ec));
    EXPECT_EQ(OMX_ErrorUnsupportedSetting, c()->SetParameter(h(), OMX_IndexParamVideoErrorCorrection, &ec));
    auto pl = record<OMX_VIDEO_PARAM_PROFILELEVELTYPE>(0);
    EXPECT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoProfileLevelQuerySupported, &pl));
    EXPECT_EQ(OMX_ErrorUndefined, c()->GetParameter(h(), OMX_IndexParamVideoProfileLevelQuerySupported, &pl));
    auto f = record<OMX_VIDEO_PARAM_PORTFORMATTYPE>(0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoPortFormat, &f));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::microseconds(30000));
}

TEST_F(FaultTest, DelayedCommandSleepsBeforeReturning)
{
    start("OMX.ZYN.AVC.Decoder", "* SendCommand:StateSet delay 25000\n* SendCommand delay 5000");
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    // Delays of every matching rule add up.
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::microseconds(30000));
    use_inputs(3);
    allocate_outputs(3);
    ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateIdle));
    to_loaded();
}

// The reader on its own.

TEST(FaultReader, ParsesRulesSettingsAndReportsBadLines)
{
    std::string complaints;
    auto cfg =
        zyn::faults_parse("# comment\n"
                          "core OMX_Init delay 100 # trailing comment\n"
                          "OMX.ZYN.AVC.Decoder GetParameter:PortDefinition:0x1 error 0x8000101A after 2 times 3\n"
                          "* SendCommand:StateSet:Idle event_error 2147487745\n"
                          "* EmptyThisBuffer silent\n"
                          "core components 11\n"
                          "core enum_error 3 0x8000100E\n"
                          "* roles 4\n"
                          "OMX.ZYN.VP8.Decoder min_buffers 1 0\n"
                          "OMX.ZYN.WMV.Decoder decode none\n"
                          "* Frobnicate error 1\n"
                          "* GetState error\n"
                          "* GetState error 12x\n"
                          "* GetState explode\n"
                          "* GetState error 1 sometimes 3\n"
                          "* GetParameter event_error 5\n"
                          "core GetState error 1\n"
                          "* min_buffers 2 3\n"
                          "lonely\n",
                          &complaints);
    ASSERT_EQ(4u, cfg->rules.size());
    EXPECT_EQ(zyn::FaultAction::Delay, cfg->rules[0].action);
    EXPECT_EQ(100u, cfg->rules[0].arg);
    const auto &r = cfg->rules[1];
    EXPECT_EQ("OMX.ZYN.AVC.Decoder", r.scope);
    EXPECT_EQ("GetParameter", r.call);
    EXPECT_EQ((std::vector<std::string>{"PortDefinition", "1"}), r.quals);
    EXPECT_EQ(0x8000101Au, r.arg);
    EXPECT_EQ(2u, r.after);
    EXPECT_EQ(3u, r.times);
    EXPECT_EQ(zyn::FaultAction::EventError, cfg->rules[2].action);
    EXPECT_EQ(0x80001001u, cfg->rules[2].arg);
    EXPECT_EQ(zyn::FaultAction::Silent, cfg->rules[3].action);
    EXPECT_EQ(11u, cfg->enum_names.size());
    EXPECT_EQ("OMX.ZYN.Extra.10", cfg->enum_names[10]);
    EXPECT_EQ(4, zyn::faults_roles(*cfg, "OMX.ZYN.AVC.Decoder"));
    EXPECT_EQ(0, zyn::faults_min_buffers(*cfg, "OMX.ZYN.VP8.Decoder", 1));
    EXPECT_EQ(-1, zyn::faults_min_buffers(*cfg, "OMX.ZYN.VP8.Decoder", 0));
    EXPECT_FALSE(zyn::faults_decode_enabled(*cfg, "OMX.ZYN.WMV.Decoder"));
    EXPECT_TRUE(zyn::faults_decode_enabled(*cfg, "OMX.ZYN.AVC.Decoder"));
    // Every bad line is named by its number.
    for (int line : {11, 12, 13, 14, 15, 16, 17, 18, 19})
        EXPECT_NE(std::string::npos, complaints.find("line " + std::to_string(line) + " ignored")) << line;
    EXPECT_EQ(std::string::npos, complaints.find("line 10 "));
}

TEST(FaultReader, CountersApplyAfterAndTimesAndFirstNonDelayWins)
{
    auto cfg = zyn::faults_parse("* GetState delay 7 after 1\n"
                                 "* GetState error 1 times 2\n"
                                 "* GetState silent\n",
                                 nullptr);
    zyn::FaultCounters counters;
    counters.reset(cfg->rules.size());
    auto call = [&] { return counters.evaluate(*cfg, "X", false, "GetState", {}); };
    auto o1 = call();
    EXPECT_EQ(0u, o1.delay_us);
    EXPECT_EQ(zyn::FaultAction::Error, o1.action);
    auto o2 = call();
    EXPECT_EQ(7u, o2.delay_us);
    EXPECT_EQ(zyn::FaultAction::Error, o2.action);
    auto o3 = call();
    EXPECT_EQ(zyn::FaultAction::Silent, o3.action);
    // Core calls match scope core; component calls do not.
    auto core_cfg = zyn::faults_parse("core OMX_Init error 1\n", nullptr);
    counters.reset(1);
    EXPECT_EQ(zyn::FaultAction::Error, counters.evaluate(*core_cfg, "", true, "OMX_Init", {}).action);
}

} // namespace
