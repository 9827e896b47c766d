// State machine, population rules, buffer return order, flush, port disable and enable.
#include "refcore_client.h"

using namespace refcore_test;

namespace
{

class StateTest : public ComponentTest
{
};

TEST_F(StateTest, FullCycleWithOneCompletionPerCommandFromTheComponentThread)
{
    start("OMX.ZYN.AVC.Decoder");
    to_idle();
    to_state(OMX_StateExecuting);
    to_state(OMX_StatePause);
    to_state(OMX_StateExecuting);
    to_state(OMX_StateIdle);
    to_loaded();
    Client::settle();
    auto rs = client.records();
    ASSERT_EQ(6u, rs.size());
    const OMX_STATETYPE order[] = {OMX_StateIdle,      OMX_StateExecuting, OMX_StatePause,
                                   OMX_StateExecuting, OMX_StateIdle,      OMX_StateLoaded};
    for (size_t i = 0; i < rs.size(); ++i) {
        EXPECT_EQ(OMX_EventCmdComplete, rs[i].event);
        EXPECT_EQ(static_cast<OMX_U32>(OMX_CommandStateSet), rs[i].d1);
        EXPECT_EQ(static_cast<OMX_U32>(order[i]), rs[i].d2);
        EXPECT_NE(std::this_thread::get_id(), rs[i].thread);
    }
}

TEST_F(StateTest, IdleCompletesOnlyWhenTheLastBufferArrives)
{
    start("OMX.ZYN.H263.Encoder");
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    use_inputs(3);
    allocate_outputs(2);
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::Event));
    EXPECT_EQ(OMX_StateLoaded, client.state());
    EXPECT_FALSE(port_def(1).bPopulated);
    EXPECT_TRUE(port_def(0).bPopulated);
    allocate_outputs(1);
    ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateIdle));
    EXPECT_EQ(OMX_StateIdle, client.state());
    // No room for a fourth buffer.
    OMX_BUFFERHEADERTYPE *extra = nullptr;
    EXPECT_NE(OMX_ErrorNone, c()->AllocateBuffer(h(), &extra, 1, nullptr, kBufferBytes));
}

TEST_F(StateTest, LoadedCompletesOnlyWhenTheLastBufferIsFreed)
{
    start("OMX.ZYN.AVC.Decoder");
    to_idle();
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateLoaded, nullptr));
    for (auto *b : in)
        EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 0, b));
    for (size_t i = 0; i + 1 < out.size(); ++i)
        EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 1, out[i]));
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::Event, OMX_EventCmdComplete, OMX_CommandStateSet, OMX_StateLoaded));
    EXPECT_EQ(OMX_StateIdle, client.state());
    EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 1, out.back()));
    in.clear();
    out.clear();
    ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateLoaded));
    EXPECT_EQ(OMX_StateLoaded, client.state());
}

TEST_F(StateTest, PortsWithMinimumZeroArePopulatedAtOnce)
{
    start("OMX.ZYN.VP8.Decoder", "* min_buffers 0 0\n* min_buffers 1 0");
    EXPECT_TRUE(port_def(0).bPopulated);
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateIdle));
    to_state(OMX_StateExecuting);
    to_state(OMX_StateIdle);
    to_state(OMX_StateLoaded);
}

TEST_F(StateTest, IllegalTransitionsAreReportedAsErrorEvents)
{
    start("OMX.ZYN.MPEG4.Decoder");
    // Loaded -> Executing, Loaded -> Pause: not allowed, the state stays.
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateExecuting, nullptr));
    ASSERT_TRUE(client.wait_error(OMX_ErrorIncorrectStateTransition));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StatePause, nullptr));
    ASSERT_TRUE(client.wait_error(OMX_ErrorIncorrectStateTransition, 2));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateLoaded, nullptr));
    ASSERT_TRUE(client.wait_error(OMX_ErrorSameState));
    EXPECT_EQ(OMX_StateLoaded, client.state());
    to_idle();
    to_state(OMX_StateExecuting);
    // Executing -> Loaded skips Idle.
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateLoaded, nullptr));
    ASSERT_TRUE(client.wait_error(OMX_ErrorIncorrectStateTransition, 3));
    EXPECT_EQ(OMX_StateExecuting, client.state());
    EXPECT_EQ(0u, client.count(Record::Event, OMX_EventCmdComplete, OMX_CommandStateSet, OMX_StateLoaded));
    to_state(OMX_StateIdle);
    to_loaded();
}

TEST_F(StateTest, BadCommandsAreRefusedAtOnce)
{
    start("OMX.ZYN.AVC.Decoder");
    EXPECT_EQ(OMX_ErrorBadParameter, c()->SendCommand(h(), OMX_CommandStateSet, 77, nullptr));
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->SendCommand(h(), OMX_CommandFlush, 2, nullptr));
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->SendCommand(h(), OMX_CommandPortDisable, 5, nullptr));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->SendCommand(h(), static_cast<OMX_COMMANDTYPE>(99), 0, nullptr));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->GetState(h(), nullptr));
    Client::settle();
    EXPECT_TRUE(client.records().empty());
}

TEST_F(StateTest, WaitForResourcesGoesBothWays)
{
    start("OMX.ZYN.AVC.Decoder");
    to_state(OMX_StateWaitForResources);
    to_state(OMX_StateLoaded);
}

TEST_F(StateTest, InvalidStateRefusesEverything)
{
    start("OMX.ZYN.AVC.Decoder");
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateInvalid, nullptr));
    ASSERT_TRUE(client.wait_error(OMX_ErrorInvalidState));
    EXPECT_EQ(OMX_StateInvalid, client.state());
    EXPECT_EQ(OMX_ErrorInvalidState, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateLoaded, nullptr));
    auto d = record<OMX_PARAM_PORTDEFINITIONTYPE>(0);
    EXPECT_EQ(OMX_ErrorInvalidState, c()->GetParameter(h(), OMX_IndexParamPortDefinition, &d));
}

TEST_F(StateTest, BufferCallsOutsideTheirStatesAreRefused)
{
    start("OMX.ZYN.AVC.Decoder");
    std::vector<uint8_t> mem(kBufferBytes);
    OMX_BUFFERHEADERTYPE *b = nullptr;
    // No Idle requested yet.
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, c()->UseBuffer(h(), &b, 0, nullptr, kBufferBytes, mem.data()));
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, c()->AllocateBuffer(h(), &b, 1, nullptr, kBufferBytes));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->UseBuffer(h(), &b, 2, nullptr, kBufferBytes, mem.data()));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->UseBuffer(h(), &b, 0, nullptr, kBufferBytes, nullptr));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->UseBuffer(h(), nullptr, 0, nullptr, kBufferBytes, mem.data()));
    // Smaller than the port's nBufferSize.
    EXPECT_EQ(OMX_ErrorBadParameter, c()->UseBuffer(h(), &b, 0, nullptr, 100, mem.data()));
    use_inputs(3);
    // Loaded: no buffer may travel yet.
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, empty(in[0]));
    allocate_outputs(3);
    ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateIdle));
    // Wrong headers.
    EXPECT_EQ(OMX_ErrorBadParameter, c()->EmptyThisBuffer(h(), nullptr));
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->EmptyThisBuffer(h(), out[0]));
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->FillThisBuffer(h(), in[0]));
    OMX_BUFFERHEADERTYPE fake = *in[0];
    EXPECT_EQ(OMX_ErrorBadParameter, c()->EmptyThisBuffer(h(), &fake));
    fake.nSize = 12;
    EXPECT_EQ(OMX_ErrorBadParameter, c()->EmptyThisBuffer(h(), &fake));
    EXPECT_EQ(OMX_ErrorBadParameter, empty(in[0], kBufferBytes + 1));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->FreeBuffer(h(), 0, out[0]));
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->FreeBuffer(h(), 3, out[0]));
    // Held twice.
    EXPECT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), out[0]));
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, c()->FillThisBuffer(h(), out[0]));
    to_loaded();
}

TEST_F(StateTest, UseBufferHeaderDescribesTheClientBuffer)
{
    start("OMX.ZYN.AVC.Decoder");
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    int tag = 0;
    std::vector<uint8_t> mem(kBufferBytes);
    OMX_BUFFERHEADERTYPE *b = nullptr;
    ASSERT_EQ(OMX_ErrorNone, c()->UseBuffer(h(), &b, 0, &tag, kBufferBytes, mem.data()));
    EXPECT_EQ(sizeof(OMX_BUFFERHEADERTYPE), b->nSize);
    EXPECT_EQ(mem.data(), b->pBuffer);
    EXPECT_EQ(kBufferBytes, b->nAllocLen);
    EXPECT_EQ(&tag, b->pAppPrivate);
    EXPECT_EQ(0u, b->nInputPortIndex);
    OMX_BUFFERHEADERTYPE *a = nullptr;
    ASSERT_EQ(OMX_ErrorNone, c()->AllocateBuffer(h(), &a, 1, nullptr, kBufferBytes));
    ASSERT_NE(nullptr, a->pBuffer);
    a->pBuffer[kBufferBytes - 1] = 1; // the whole allocation is usable
    EXPECT_EQ(1u, a->nOutputPortIndex);
    EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 0, b));
    EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 1, a));
}

TEST_F(StateTest, InputBuffersComeBackUnreadInOrderInExecuting)
{
    start("OMX.ZYN.WMV.Decoder", "* decode none");
    to_idle();
    to_state(OMX_StateExecuting);
    client.clear();
    for (auto *b : in)
        ASSERT_EQ(OMX_ErrorNone, empty(b));
    ASSERT_TRUE(client.wait_count(Record::EmptyDone, 3));
    auto rs = client.records();
    ASSERT_EQ(3u, rs.size());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(in[i], rs[i].hdr);
        EXPECT_EQ(0u, rs[i].hdr->nFilledLen);
        EXPECT_NE(std::this_thread::get_id(), rs[i].thread);
    }
    to_state(OMX_StateIdle);
    to_loaded();
}

TEST_F(StateTest, IdleAndPauseHoldBuffersUntilExecuting)
{
    start("OMX.ZYN.H263.Decoder", "* decode none");
    to_idle();
    ASSERT_EQ(OMX_ErrorNone, empty(in[0]));
    ASSERT_EQ(OMX_ErrorNone, empty(in[1]));
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::EmptyDone));
    to_state(OMX_StateExecuting);
    ASSERT_TRUE(client.wait_count(Record::EmptyDone, 2));
    to_state(OMX_StatePause);
    ASSERT_EQ(OMX_ErrorNone, empty(in[2]));
    Client::settle();
    EXPECT_EQ(2u, client.count(Record::EmptyDone));
    to_state(OMX_StateExecuting);
    ASSERT_TRUE(client.wait_count(Record::EmptyDone, 3));
    to_state(OMX_StateIdle);
    to_loaded();
}

TEST_F(StateTest, OutputBuffersComeBackOnlyOnLeavingExecuting)
{
    start("OMX.ZYN.AVC.Encoder");
    to_idle();
    to_state(OMX_StateExecuting);
    for (auto *b : out)
        ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), b));
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::FillDone));
    client.clear();
    to_state(OMX_StateIdle);
    auto rs = client.records();
    ASSERT_EQ(4u, rs.size());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Record::FillDone, rs[i].kind);
        EXPECT_EQ(out[i], rs[i].hdr);
        EXPECT_EQ(0u, rs[i].hdr->nFilledLen);
    }
    EXPECT_EQ(OMX_EventCmdComplete, rs[3].event); // the completion after every buffer is back
    to_loaded();
}

TEST_F(StateTest, DecodeNoneReturnsOutputBuffersAtOnce)
{
    start("OMX.ZYN.AVC.Decoder", "OMX.ZYN.AVC.Decoder decode none");
    to_idle();
    to_state(OMX_StateExecuting);
    client.clear();
    for (auto *b : out)
        ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), b));
    ASSERT_TRUE(client.wait_count(Record::FillDone, 3));
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(out[i], client.records()[i].hdr);
    // Again: nothing is held, so the same buffers may go in once more.
    for (auto *b : out)
        ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), b));
    ASSERT_TRUE(client.wait_count(Record::FillDone, 6));
    to_state(OMX_StateIdle);
    to_loaded();
}

TEST_F(StateTest, BuffersGivenInIdleComeBackWhenGoingToLoaded)
{
    start("OMX.ZYN.AVC.Decoder");
    to_idle();
    ASSERT_EQ(OMX_ErrorNone, empty(in[0]));
    ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), out[0]));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateLoaded, nullptr));
    ASSERT_TRUE(client.wait_count(Record::EmptyDone, 1));
    ASSERT_TRUE(client.wait_count(Record::FillDone, 1));
    free_all();
    ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateLoaded));
}

TEST_F(StateTest, FlushReturnsThePortsBuffersThenCompletesOnce)
{
    start("OMX.ZYN.AVC.Decoder");
    to_idle();
    to_state(OMX_StateExecuting);
    for (auto *b : out)
        ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), b));
    client.clear();
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandFlush, 1, nullptr));
    ASSERT_TRUE(client.wait_complete(OMX_CommandFlush, 1));
    Client::settle();
    auto rs = client.records();
    ASSERT_EQ(4u, rs.size());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(out[i], rs[i].hdr);
    EXPECT_EQ(OMX_EventCmdComplete, rs[3].event);
    // Flushing a port with nothing held completes at once; OMX_ALL completes once per port.
    client.clear();
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandFlush, 0, nullptr));
    ASSERT_TRUE(client.wait_complete(OMX_CommandFlush, 0));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandFlush, OMX_ALL, nullptr));
    ASSERT_TRUE(client.wait_complete(OMX_CommandFlush, 0, 2));
    ASSERT_TRUE(client.wait_complete(OMX_CommandFlush, 1));
    Client::settle();
    EXPECT_EQ(3u, client.records().size());
    to_state(OMX_StateIdle);
    to_loaded();
}

TEST_F(StateTest, PortDisableWaitsForTheBuffersToBeFreedAndEnableForNewOnes)
{
    start("OMX.ZYN.AVC.Decoder");
    to_idle();
    to_state(OMX_StateExecuting);
    ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), out[0]));
    client.clear();
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandPortDisable, 1, nullptr));
    ASSERT_TRUE(client.wait_count(Record::FillDone, 1)); // the held buffer comes back first
    EXPECT_FALSE(port_def(1).bEnabled);
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::Event));
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, c()->FillThisBuffer(h(), out[1]));
    for (auto *b : out)
        EXPECT_EQ(OMX_ErrorNone, c()->FreeBuffer(h(), 1, b));
    out.clear();
    ASSERT_TRUE(client.wait_complete(OMX_CommandPortDisable, 1));
    // A disabled port takes a new definition even in Executing.
    auto d = port_def(1);
    d.format.video.nFrameWidth = 320;
    d.format.video.nFrameHeight = 240;
    EXPECT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    // No buffer may come before the enable is asked for.
    OMX_BUFFERHEADERTYPE *b = nullptr;
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, c()->AllocateBuffer(h(), &b, 1, nullptr, kBufferBytes));
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandPortEnable, 1, nullptr));
    allocate_outputs(2);
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::Event, OMX_EventCmdComplete, OMX_CommandPortEnable));
    allocate_outputs(1);
    ASSERT_TRUE(client.wait_complete(OMX_CommandPortEnable, 1));
    EXPECT_TRUE(port_def(1).bEnabled);
    EXPECT_TRUE(port_def(1).bPopulated);
    to_state(OMX_StateIdle);
    to_loaded();
}

TEST_F(StateTest, PortCommandsInLoadedCompleteAtOnce)
{
    start("OMX.ZYN.MPEG4.Encoder");
    for (OMX_U32 p : {0u, 1u}) {
        ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandPortDisable, p, nullptr));
        ASSERT_TRUE(client.wait_complete(OMX_CommandPortDisable, p));
    }
    EXPECT_FALSE(port_def(0).bEnabled);
    // With both ports disabled, Idle needs no buffer at all.
    to_state(OMX_StateIdle);
    to_state(OMX_StateLoaded);
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandPortEnable, OMX_ALL, nullptr));
    ASSERT_TRUE(client.wait_complete(OMX_CommandPortEnable, 0));
    ASSERT_TRUE(client.wait_complete(OMX_CommandPortEnable, 1));
    EXPECT_TRUE(port_def(0).bEnabled);
    EXPECT_TRUE(port_def(1).bEnabled);
}

TEST_F(StateTest, FreeingHeldBuffersIsSafe)
{
    start("OMX.ZYN.AVC.Decoder");
    to_idle();
    for (auto *b : in)
        ASSERT_EQ(OMX_ErrorNone, empty(b));
    for (auto *b : out)
        ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), b));
    // The client frees everything while the component still holds it: nothing comes back for
    // freed buffers, and the handle can still be freed cleanly.
    free_all();
    Client::settle();
    EXPECT_EQ(0u, client.count(Record::EmptyDone) + client.count(Record::FillDone));
}

TEST_F(StateTest, FreeHandleInExecutingReleasesEverything)
{
    start("OMX.ZYN.VP8.Decoder");
    to_idle();
    to_state(OMX_StateExecuting);
    for (auto *b : out)
        ASSERT_EQ(OMX_ErrorNone, c()->FillThisBuffer(h(), b));
    EXPECT_EQ(OMX_ErrorNone, client.close());
    in.clear();
    out.clear();
}

TEST_F(StateTest, UseEglImageOnADecoderOutput)
{
    start("OMX.ZYN.AVC.Decoder");
    int fake_image = 0;
    OMX_BUFFERHEADERTYPE *b = nullptr;
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->UseEGLImage(h(), &b, 1, nullptr, nullptr));
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, c()->UseEGLImage(h(), &b, 0, nullptr, &fake_image));
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->UseEGLImage(h(), &b, 7, nullptr, &fake_image));
    use_inputs(3);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(OMX_ErrorNone, c()->UseEGLImage(h(), &b, 1, nullptr, &fake_image));
        EXPECT_EQ(&fake_image, b->pPlatformPrivate);
        EXPECT_EQ(nullptr, b->pBuffer);
        out.push_back(b);
    }
    ASSERT_TRUE(client.wait_complete(OMX_CommandStateSet, OMX_StateIdle));
    to_loaded();
}

TEST_F(StateTest, EncodersTakeNoEglImage)
{
    start("OMX.ZYN.AVC.Encoder");
    int fake_image = 0;
    OMX_BUFFERHEADERTYPE *b = nullptr;
    ASSERT_EQ(OMX_ErrorNone, c()->SendCommand(h(), OMX_CommandStateSet, OMX_StateIdle, nullptr));
    EXPECT_EQ(OMX_ErrorNotImplemented, c()->UseEGLImage(h(), &b, 1, nullptr, &fake_image));
}

TEST_F(StateTest, StatisticsLineWhenTheHandleIsFreed)
{
    std::string path = ::testing::TempDir() + "refcore_stats_" + std::to_string(getpid()) + ".txt";
    std::remove(path.c_str());
    setenv("ZYN_OMX_STATS", path.c_str(), 1);
    start("OMX.ZYN.H263.Decoder", "* decode none");
    to_idle();
    to_state(OMX_StateExecuting);
    for (auto *b : in)
        ASSERT_EQ(OMX_ErrorNone, empty(b));
    ASSERT_TRUE(client.wait_count(Record::EmptyDone, 3));
    ASSERT_EQ(OMX_ErrorNone, empty(in[0]));
    ASSERT_TRUE(client.wait_count(Record::EmptyDone, 4));
    to_state(OMX_StateIdle);
    to_loaded();
    ASSERT_EQ(OMX_ErrorNone, client.close());
    unsetenv("ZYN_OMX_STATS");
    std::ifstream f(path);
    std::string line;
    ASSERT_TRUE(std::getline(f, line));
    EXPECT_EQ("stats OMX.ZYN.H263.Decoder inputs=4 pictures=0 errors=0 egl=0", line);
    EXPECT_FALSE(std::getline(f, line));
    std::remove(path.c_str());
}

} // namespace
