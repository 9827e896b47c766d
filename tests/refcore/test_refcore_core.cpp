// The six core entry points and the core-wide settings of the fault file.
#include "refcore_client.h"

#include <chrono>

using namespace refcore_test;

namespace
{

const char *const kNames[] = {"OMX.ZYN.AVC.Decoder",   "OMX.ZYN.VP8.Decoder", "OMX.ZYN.MPEG4.Decoder",
                              "OMX.ZYN.H263.Decoder",  "OMX.ZYN.WMV.Decoder", "OMX.ZYN.AVC.Encoder",
                              "OMX.ZYN.MPEG4.Encoder", "OMX.ZYN.H263.Encoder"};
const char *const kRoles[] = {"video_decoder.avc", "video_decoder.vpx", "video_decoder.mpeg4", "video_decoder.h263",
                              "video_decoder.wmv", "video_encoder.avc", "video_encoder.mpeg4", "video_encoder.h263"};

class CoreTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        core_api().Deinit();
        unsetenv("ZYN_OMX_FAULTS");
    }
    // Names up to the first error; the error that ended the walk in `end`.
    std::vector<std::string> enumerate(OMX_ERRORTYPE *end = nullptr, OMX_U32 limit = 40)
    {
        std::vector<std::string> names;
        char name[128];
        for (OMX_U32 i = 0; i < limit; ++i) {
            OMX_ERRORTYPE e = core_api().ComponentNameEnum(name, sizeof name, i);
            if (e != OMX_ErrorNone) {
                if (end)
                    *end = e;
                return names;
            }
            names.emplace_back(name);
        }
        if (end)
            *end = OMX_ErrorNone;
        return names;
    }
    std::vector<std::string> roles(const char *name, OMX_U32 capacity = 10, OMX_ERRORTYPE *err = nullptr)
    {
        std::vector<std::vector<OMX_U8>> buf(10, std::vector<OMX_U8>(128, 0));
        OMX_U8 *ptrs[10];
        for (int i = 0; i < 10; ++i)
            ptrs[i] = buf[i].data();
        OMX_U32 n = capacity;
        OMX_ERRORTYPE e = core_api().GetRolesOfComponent(const_cast<char *>(name), &n, ptrs);
        if (err)
            *err = e;
        std::vector<std::string> out;
        if (e != OMX_ErrorNone)
            return out;
        EXPECT_LE(n, capacity);
        for (OMX_U32 i = 0; i < n && i < 10; ++i)
            out.emplace_back(reinterpret_cast<char *>(ptrs[i]));
        return out;
    }
};

TEST_F(CoreTest, EnumeratesTheEightComponentsInOrderThenNoMore)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults(""));
    OMX_ERRORTYPE end;
    auto names = enumerate(&end);
    ASSERT_EQ(8u, names.size());
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(kNames[i], names[i]);
    EXPECT_EQ(OMX_ErrorNoMore, end);
}

TEST_F(CoreTest, EveryComponentHasItsStandardRoleAndAHandle)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults(""));
    for (int i = 0; i < 8; ++i) {
        auto r = roles(kNames[i]);
        ASSERT_EQ(1u, r.size()) << kNames[i];
        EXPECT_EQ(kRoles[i], r[0]);
        OMX_U32 n = 0;
        EXPECT_EQ(OMX_ErrorNone, core_api().GetRolesOfComponent(const_cast<char *>(kNames[i]), &n, nullptr));
        EXPECT_EQ(1u, n);
        Client cl;
        ASSERT_EQ(OMX_ErrorNone, cl.open(kNames[i]));
        char name[128];
        OMX_VERSIONTYPE v1, v2;
        OMX_UUIDTYPE uuid;
        EXPECT_EQ(OMX_ErrorNone, cl.c()->GetComponentVersion(cl.handle, name, &v1, &v2, &uuid));
        EXPECT_STREQ(kNames[i], name);
        EXPECT_EQ(OMX_StateLoaded, cl.state());
        EXPECT_EQ(OMX_ErrorNone, cl.close());
    }
}

TEST_F(CoreTest, CallsBeforeInitAndAfterDeinitAreRefused)
{
    char name[128];
    Client cl;
    EXPECT_EQ(OMX_ErrorNotReady, core_api().ComponentNameEnum(name, sizeof name, 0));
    EXPECT_EQ(OMX_ErrorNotReady, cl.open(kNames[0]));
    ASSERT_EQ(OMX_ErrorNone, init_with_faults(""));
    EXPECT_EQ(OMX_ErrorNone, core_api().ComponentNameEnum(name, sizeof name, 0));
    EXPECT_EQ(OMX_ErrorNone, core_api().Deinit());
    EXPECT_EQ(OMX_ErrorNotReady, core_api().ComponentNameEnum(name, sizeof name, 0));
    // A second Deinit harms nothing: the driver's clean-up always calls it.
    EXPECT_EQ(OMX_ErrorNone, core_api().Deinit());
    EXPECT_EQ(OMX_ErrorNone, core_api().Init());
}

TEST_F(CoreTest, BadArgumentsAreRefused)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults(""));
    char small[8];
    EXPECT_EQ(OMX_ErrorBadParameter, core_api().ComponentNameEnum(small, sizeof small, 0));
    EXPECT_EQ(OMX_ErrorBadParameter, core_api().ComponentNameEnum(nullptr, 128, 0));
    Client cl;
    EXPECT_EQ(OMX_ErrorComponentNotFound, cl.open("OMX.ZYN.Nothing"));
    EXPECT_EQ(nullptr, cl.handle);
    std::string long_name(300, 'x');
    EXPECT_EQ(OMX_ErrorInvalidComponentName, cl.open(long_name.c_str()));
    OMX_ERRORTYPE e;
    roles("OMX.ZYN.Nothing", 10, &e);
    EXPECT_EQ(OMX_ErrorComponentNotFound, e);
    EXPECT_EQ(OMX_ErrorBadParameter, core_api().GetRolesOfComponent(const_cast<char *>(kNames[0]), nullptr, nullptr));
    int not_a_handle = 0;
    EXPECT_EQ(OMX_ErrorBadParameter, core_api().FreeHandle(&not_a_handle));
}

TEST_F(CoreTest, ComponentsSettingEnumeratesNoneOrMoreThanTen)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("core components 0"));
    OMX_ERRORTYPE end;
    EXPECT_TRUE(enumerate(&end).empty());
    EXPECT_EQ(OMX_ErrorNoMore, end);
    core_api().Deinit();

    ASSERT_EQ(OMX_ErrorNone, init_with_faults("core components 12"));
    auto names = enumerate(&end);
    ASSERT_EQ(12u, names.size());
    EXPECT_EQ(kNames[7], names[7]);
    EXPECT_EQ("OMX.ZYN.Extra.8", names[8]);
    EXPECT_EQ("OMX.ZYN.Extra.11", names[11]);
    EXPECT_EQ(OMX_ErrorNoMore, end);
    // The extra names get roles and handles like every enumerated name.
    EXPECT_EQ(1u, roles("OMX.ZYN.Extra.11").size());
    Client cl;
    ASSERT_EQ(OMX_ErrorNone, cl.open("OMX.ZYN.Extra.11"));
    EXPECT_EQ(OMX_StateLoaded, cl.state());
    EXPECT_EQ(OMX_ErrorNone, cl.close());
    core_api().Deinit();

    ASSERT_EQ(OMX_ErrorNone, init_with_faults("core components 3"));
    EXPECT_EQ((std::vector<std::string>{kNames[0], kNames[1], kNames[2]}), enumerate());
}

TEST_F(CoreTest, NamesSettingEnumeratesExactlyThoseNames)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("core names OMX.Foo.Bar OMX.ZYN.VP8.Decoder"));
    EXPECT_EQ((std::vector<std::string>{"OMX.Foo.Bar", "OMX.ZYN.VP8.Decoder"}), enumerate());
    Client unknown, vp8;
    ASSERT_EQ(OMX_ErrorNone, unknown.open("OMX.Foo.Bar"));
    ASSERT_EQ(OMX_ErrorNone, vp8.open("OMX.ZYN.VP8.Decoder"));
    auto r = roles("OMX.Foo.Bar");
    ASSERT_EQ(1u, r.size());
    EXPECT_EQ("video_decoder.generic", r[0]);
}

TEST_F(CoreTest, EnumErrorAtAnIndex)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("core enum_error 3 0x8000100E\ncore enum_error 5 0x80001001"));
    OMX_ERRORTYPE end;
    EXPECT_EQ(3u, enumerate(&end).size());
    EXPECT_EQ(OMX_ErrorNoMore, end);
    char name[128];
    EXPECT_EQ(OMX_ErrorNone, core_api().ComponentNameEnum(name, sizeof name, 4));
    EXPECT_EQ(OMX_ErrorUndefined, core_api().ComponentNameEnum(name, sizeof name, 5));
    EXPECT_EQ(OMX_ErrorNone, core_api().ComponentNameEnum(name, sizeof name, 6));
}

TEST_F(CoreTest, RolesSettingPerComponentAndForAll)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("* roles 2\nOMX.ZYN.WMV.Decoder roles 12\nOMX.ZYN.AVC.Encoder roles 0"));
    EXPECT_EQ((std::vector<std::string>{"video_decoder.avc", "role.1"}), roles(kNames[0]));
    auto wmv = roles("OMX.ZYN.WMV.Decoder");
    ASSERT_EQ(10u, wmv.size()); // never more than the array holds
    EXPECT_EQ("video_decoder.wmv", wmv[0]);
    EXPECT_EQ("role.9", wmv[9]);
    OMX_U32 n = 0;
    EXPECT_EQ(OMX_ErrorNone, core_api().GetRolesOfComponent(const_cast<char *>("OMX.ZYN.WMV.Decoder"), &n, nullptr));
    EXPECT_EQ(12u, n);
    EXPECT_TRUE(roles("OMX.ZYN.AVC.Encoder").empty());
    EXPECT_EQ(2u, roles(kNames[1], 5).size());
    EXPECT_EQ(1u, roles(kNames[1], 1).size());
}

TEST_F(CoreTest, InitErrorThenNextInitSucceeds)
{
    ASSERT_EQ(OMX_ErrorUndefined, init_with_faults("core OMX_Init error 0x80001001 times 1"));
    char name[128];
    EXPECT_EQ(OMX_ErrorNotReady, core_api().ComponentNameEnum(name, sizeof name, 0));
    // The file is the same, so the counters go on: the rule has been used up.
    EXPECT_EQ(OMX_ErrorNone, core_api().Init());
    EXPECT_EQ(OMX_ErrorNone, core_api().ComponentNameEnum(name, sizeof name, 0));
}

TEST_F(CoreTest, SecondInitFailsWithAfter)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("core OMX_Init error 2147487744 after 1"));
    EXPECT_EQ(OMX_ErrorNone, core_api().Deinit());
    EXPECT_EQ(OMX_ErrorInsufficientResources, core_api().Init());
    EXPECT_EQ(OMX_ErrorInsufficientResources, core_api().Init());
}

TEST_F(CoreTest, DeinitError)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("* OMX_Deinit error 0x80001011 times 1"));
    EXPECT_EQ(OMX_ErrorTimeout, core_api().Deinit());
    EXPECT_EQ(OMX_ErrorNone, core_api().Deinit());
}

TEST_F(CoreTest, GetHandleErrorScopedToOneComponent)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("OMX.ZYN.VP8.Decoder OMX_GetHandle error 0x80001000"));
    Client avc, vp8;
    EXPECT_EQ(OMX_ErrorNone, avc.open(kNames[0]));
    EXPECT_EQ(OMX_ErrorInsufficientResources, vp8.open(kNames[1]));
    EXPECT_EQ(nullptr, vp8.handle);
}

TEST_F(CoreTest, FreeHandleErrorLeavesTheHandleUsable)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("core OMX_FreeHandle error 0x80001001 times 1"));
    Client cl;
    ASSERT_EQ(OMX_ErrorNone, cl.open(kNames[2]));
    EXPECT_EQ(OMX_ErrorUndefined, core_api().FreeHandle(cl.handle));
    EXPECT_EQ(OMX_StateLoaded, cl.state());
    EXPECT_EQ(OMX_ErrorNone, cl.close());
}

TEST_F(CoreTest, EnumAndRolesErrorsByComponentName)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("OMX.ZYN.MPEG4.Decoder OMX_ComponentNameEnum error 0x80001001\n"
                                              "OMX.ZYN.H263.Decoder OMX_GetRolesOfComponent error 0x80001005"));
    char name[128];
    EXPECT_EQ(OMX_ErrorNone, core_api().ComponentNameEnum(name, sizeof name, 1));
    EXPECT_EQ(OMX_ErrorUndefined, core_api().ComponentNameEnum(name, sizeof name, 2));
    OMX_ERRORTYPE e;
    roles("OMX.ZYN.H263.Decoder", 10, &e);
    EXPECT_EQ(OMX_ErrorBadParameter, e);
    roles("OMX.ZYN.WMV.Decoder", 10, &e);
    EXPECT_EQ(OMX_ErrorNone, e);
}

TEST_F(CoreTest, DelayedRoleQueryTakesAtLeastItsDelay)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("* OMX_GetRolesOfComponent delay 30000"));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(1u, roles(kNames[0]).size());
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::microseconds(30000));
}

TEST_F(CoreTest, MinBuffersSetting)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("* min_buffers 0 5\nOMX.ZYN.VP8.Decoder min_buffers 1 0"));
    for (const char *n : {kNames[0], kNames[1]}) {
        Client cl;
        ASSERT_EQ(OMX_ErrorNone, cl.open(n));
        auto d0 = record<OMX_PARAM_PORTDEFINITIONTYPE>(0);
        auto d1 = record<OMX_PARAM_PORTDEFINITIONTYPE>(1);
        ASSERT_EQ(OMX_ErrorNone, cl.c()->GetParameter(cl.handle, OMX_IndexParamPortDefinition, &d0));
        ASSERT_EQ(OMX_ErrorNone, cl.c()->GetParameter(cl.handle, OMX_IndexParamPortDefinition, &d1));
        EXPECT_EQ(5u, d0.nBufferCountMin);
        EXPECT_EQ(5u, d0.nBufferCountActual);
        OMX_U32 out = std::string(n) == kNames[1] ? 0u : 3u;
        EXPECT_EQ(out, d1.nBufferCountMin);
        EXPECT_EQ(out, d1.nBufferCountActual);
    }
}

TEST_F(CoreTest, FaultFileIsReadAgainAtEveryInit)
{
    ASSERT_EQ(OMX_ErrorNone, init_with_faults("core components 1"));
    EXPECT_EQ(1u, enumerate().size());
    core_api().Deinit();
    ASSERT_EQ(OMX_ErrorNone, init_with_faults(""));
    EXPECT_EQ(8u, enumerate().size());
    unsetenv("ZYN_OMX_FAULTS");
    core_api().Deinit();
    ASSERT_EQ(OMX_ErrorNone, core_api().Init());
    EXPECT_EQ(8u, enumerate().size());
}

} // namespace
