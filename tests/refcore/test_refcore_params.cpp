// Parameters, configs and the vendor extension the conformance cases ask for.
#include "refcore_client.h"

using namespace refcore_test;

namespace
{

class ParamTest : public ComponentTest
{
};

TEST_F(ParamTest, PortDefinitionsOfADecoderAndAnEncoder)
{
    start("OMX.ZYN.VP8.Decoder");
    auto in0 = port_def(0), out1 = port_def(1);
    EXPECT_EQ(OMX_DirInput, in0.eDir);
    EXPECT_EQ(OMX_DirOutput, out1.eDir);
    EXPECT_EQ(OMX_PortDomainVideo, in0.eDomain);
    EXPECT_EQ(3u, in0.nBufferCountMin);
    EXPECT_EQ(3u, out1.nBufferCountMin);
    EXPECT_EQ(3u, out1.nBufferCountActual);
    EXPECT_EQ(static_cast<OMX_VIDEO_CODINGTYPE>(9), in0.format.video.eCompressionFormat);
    EXPECT_EQ(OMX_VIDEO_CodingUnused, out1.format.video.eCompressionFormat);
    EXPECT_TRUE(in0.bEnabled);
    EXPECT_FALSE(in0.bPopulated);
    EXPECT_EQ(OMX_ErrorNone, client.close());

    ASSERT_EQ(OMX_ErrorNone, client.open("OMX.ZYN.H263.Encoder"));
    EXPECT_EQ(OMX_VIDEO_CodingH263, port_def(1).format.video.eCompressionFormat);
    EXPECT_EQ(OMX_VIDEO_CodingUnused, port_def(0).format.video.eCompressionFormat);
}

TEST_F(ParamTest, RecordsAreCheckedBeforeUse)
{
    start("OMX.ZYN.AVC.Decoder");
    auto d = record<OMX_PARAM_PORTDEFINITIONTYPE>(0);
    d.nSize = sizeof d - 4;
    EXPECT_EQ(OMX_ErrorBadParameter, c()->GetParameter(h(), OMX_IndexParamPortDefinition, &d));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    d.nSize = sizeof d;
    d.nPortIndex = 2;
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->GetParameter(h(), OMX_IndexParamPortDefinition, &d));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->GetParameter(h(), OMX_IndexParamPortDefinition, nullptr));
    EXPECT_EQ(OMX_ErrorUnsupportedIndex, c()->GetParameter(h(), OMX_IndexParamAudioPcm, &d));
    EXPECT_EQ(OMX_ErrorUnsupportedIndex, c()->SetParameter(h(), OMX_IndexParamAudioPcm, &d));
    auto role = record<OMX_PARAM_COMPONENTROLETYPE>();
    role.nSize = 100;
    EXPECT_EQ(OMX_ErrorBadParameter, c()->GetParameter(h(), OMX_IndexParamStandardComponentRole, &role));
    auto ec = record<OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE>(5);
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->GetParameter(h(), OMX_IndexParamVideoErrorCorrection, &ec));
    auto scale = record<OMX_CONFIG_SCALEFACTORTYPE>(0);
    scale.nSize = 8;
    EXPECT_EQ(OMX_ErrorBadParameter, c()->GetConfig(h(), OMX_IndexConfigCommonScale, &scale));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->GetConfig(h(), OMX_IndexConfigCommonScale, nullptr));
}

TEST_F(ParamTest, PortDefinitionSetKeepsWhatIsSettableAndChecksTheRest)
{
    start("OMX.ZYN.AVC.Decoder");
    auto d = port_def(0);
    d.nBufferCountActual = 5;
    d.nBufferSize = 16384;
    d.format.video.nFrameWidth = 1280;
    d.format.video.nFrameHeight = 720;
    d.format.video.eColorFormat = OMX_COLOR_Format32bitARGB8888; // ignored on the stream port
    d.nBufferCountMin = 1;                                       // read-only
    d.eDir = OMX_DirOutput;                                      // read-only
    ASSERT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    auto back = port_def(0);
    EXPECT_EQ(5u, back.nBufferCountActual);
    EXPECT_EQ(3u, back.nBufferCountMin);
    EXPECT_EQ(OMX_DirInput, back.eDir);
    EXPECT_EQ(16384u, back.nBufferSize);
    EXPECT_EQ(1280u, back.format.video.nFrameWidth);
    EXPECT_EQ(720u, back.format.video.nFrameHeight);
    EXPECT_EQ(OMX_VIDEO_CodingAVC, back.format.video.eCompressionFormat);

    d = port_def(0);
    d.nBufferCountActual = 2; // below the minimum
    EXPECT_EQ(OMX_ErrorBadParameter, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    d = port_def(0);
    d.format.video.nFrameWidth = 0;
    EXPECT_EQ(OMX_ErrorBadParameter, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    d = port_def(0);
    d.format.video.eCompressionFormat = OMX_VIDEO_CodingVPX; // the AVC decoder takes AVC only
    EXPECT_EQ(OMX_ErrorUnsupportedSetting, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    d = port_def(1);
    d.format.video.eColorFormat = OMX_COLOR_Format16bitRGB565;
    EXPECT_EQ(OMX_ErrorUnsupportedSetting, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    d.format.video.eColorFormat = OMX_COLOR_Format32bitARGB8888;
    EXPECT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));

    // Once Idle is reached, an enabled port's definition is fixed.
    to_idle();
    d = port_def(0);
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    EXPECT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamPortDefinition, &d));
    to_loaded();
}

TEST_F(ParamTest, Mpeg4DecoderTakesH263AndEncoderKeepsItsCoding)
{
    start("OMX.ZYN.MPEG4.Decoder");
    auto d = port_def(0);
    d.format.video.eCompressionFormat = OMX_VIDEO_CodingH263;
    EXPECT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    EXPECT_EQ(OMX_VIDEO_CodingH263, port_def(0).format.video.eCompressionFormat);
    ASSERT_EQ(OMX_ErrorNone, client.close());

    // The encoding test names 21 as the stream port's format: the rest of the record still
    // applies, the encoder keeps its coding.
    ASSERT_EQ(OMX_ErrorNone, client.open("OMX.ZYN.AVC.Encoder"));
    d = port_def(1);
    d.format.video.nFrameWidth = 352;
    d.format.video.nFrameHeight = 288;
    d.format.video.eCompressionFormat = static_cast<OMX_VIDEO_CODINGTYPE>(21);
    EXPECT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamPortDefinition, &d));
    EXPECT_EQ(OMX_VIDEO_CodingAVC, port_def(1).format.video.eCompressionFormat);
    EXPECT_EQ(352u, port_def(1).format.video.nFrameWidth);
}

TEST_F(ParamTest, ComponentRole)
{
    start("OMX.ZYN.WMV.Decoder");
    auto role = record<OMX_PARAM_COMPONENTROLETYPE>();
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamStandardComponentRole, &role));
    EXPECT_STREQ("video_decoder.wmv", reinterpret_cast<char *>(role.cRole));
    EXPECT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamStandardComponentRole, &role));
    std::strcpy(reinterpret_cast<char *>(role.cRole), "video_decoder.avc");
    EXPECT_EQ(OMX_ErrorUnsupportedSetting, c()->SetParameter(h(), OMX_IndexParamStandardComponentRole, &role));
    std::memset(role.cRole, 'x', sizeof role.cRole); // no terminating zero
    EXPECT_EQ(OMX_ErrorBadParameter, c()->SetParameter(h(), OMX_IndexParamStandardComponentRole, &role));
    OMX_U8 name[128];
    EXPECT_EQ(OMX_ErrorNone, c()->ComponentRoleEnum(h(), name, 0));
    EXPECT_STREQ("video_decoder.wmv", reinterpret_cast<char *>(name));
    EXPECT_EQ(OMX_ErrorNoMore, c()->ComponentRoleEnum(h(), name, 1));
}

TEST_F(ParamTest, VideoPortFormatListsTheCurrentFormatFirst)
{
    start("OMX.ZYN.MPEG4.Decoder");
    auto f = record<OMX_VIDEO_PARAM_PORTFORMATTYPE>(0);
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoPortFormat, &f));
    EXPECT_EQ(OMX_VIDEO_CodingMPEG4, f.eCompressionFormat);
    f.nIndex = 1;
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoPortFormat, &f));
    EXPECT_EQ(OMX_VIDEO_CodingH263, f.eCompressionFormat);
    f.nIndex = 2;
    EXPECT_EQ(OMX_ErrorNoMore, c()->GetParameter(h(), OMX_IndexParamVideoPortFormat, &f));
    // Setting the second entry makes it the current one.
    f.nIndex = 1;
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoPortFormat, &f));
    ASSERT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamVideoPortFormat, &f));
    f.nIndex = 0;
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoPortFormat, &f));
    EXPECT_EQ(OMX_VIDEO_CodingH263, f.eCompressionFormat);
    f.eCompressionFormat = OMX_VIDEO_CodingAVC;
    EXPECT_EQ(OMX_ErrorUnsupportedSetting, c()->SetParameter(h(), OMX_IndexParamVideoPortFormat, &f));

    auto o = record<OMX_VIDEO_PARAM_PORTFORMATTYPE>(1);
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoPortFormat, &o));
    EXPECT_EQ(OMX_COLOR_Format32bitARGB8888, o.eColorFormat);
    o.nIndex = 4; // ARGB, planar, semi-planar, NV12 tiled
    EXPECT_EQ(OMX_ErrorNoMore, c()->GetParameter(h(), OMX_IndexParamVideoPortFormat, &o));
}

TEST_F(ParamTest, ProfileLevelQueryAndErrorCorrection)
{
    start("OMX.ZYN.AVC.Decoder");
    auto pl = record<OMX_VIDEO_PARAM_PROFILELEVELTYPE>(0);
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoProfileLevelQuerySupported, &pl));
    EXPECT_EQ(static_cast<OMX_U32>(OMX_VIDEO_AVCProfileBaseline), pl.eProfile);
    pl.nProfileIndex = 2;
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoProfileLevelQuerySupported, &pl));
    EXPECT_EQ(static_cast<OMX_U32>(OMX_VIDEO_AVCProfileHigh), pl.eProfile);
    pl.nProfileIndex = 3;
    EXPECT_EQ(OMX_ErrorNoMore, c()->GetParameter(h(), OMX_IndexParamVideoProfileLevelQuerySupported, &pl));

    auto ec = record<OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE>(0);
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoErrorCorrection, &ec));
    ec.bEnableHEC = OMX_TRUE;
    ec.nResynchMarkerSpacing = 64;
    ASSERT_EQ(OMX_ErrorNone, c()->SetParameter(h(), OMX_IndexParamVideoErrorCorrection, &ec));
    auto back = record<OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE>(0);
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoErrorCorrection, &back));
    EXPECT_TRUE(back.bEnableHEC);
    EXPECT_EQ(64u, back.nResynchMarkerSpacing);
    auto other = record<OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE>(1);
    ASSERT_EQ(OMX_ErrorNone, c()->GetParameter(h(), OMX_IndexParamVideoErrorCorrection, &other));
    EXPECT_FALSE(other.bEnableHEC);
}

TEST_F(ParamTest, ScaleThumbnailExtensionAndCrop)
{
    start("OMX.ZYN.AVC.Decoder");
    auto scale = record<OMX_CONFIG_SCALEFACTORTYPE>(0);
    ASSERT_EQ(OMX_ErrorNone, c()->GetConfig(h(), OMX_IndexConfigCommonScale, &scale));
    EXPECT_EQ(0x10000, scale.xWidth);
    EXPECT_EQ(0x10000, scale.xHeight);

    int thumbnail = 0;
    EXPECT_EQ(OMX_ErrorNone, c()->SetConfig(h(), OMX_IndexVendorThumbnailMode, &thumbnail));
    thumbnail = 1;
    EXPECT_EQ(OMX_ErrorNone, c()->SetConfig(h(), OMX_IndexVendorThumbnailMode, &thumbnail));
    int back = 0;
    EXPECT_EQ(OMX_ErrorNone, c()->GetConfig(h(), OMX_IndexVendorThumbnailMode, &back));
    EXPECT_EQ(1, back);
    thumbnail = 7;
    EXPECT_EQ(OMX_ErrorBadParameter, c()->SetConfig(h(), OMX_IndexVendorThumbnailMode, &thumbnail));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->SetConfig(h(), OMX_IndexVendorThumbnailMode, nullptr));
    EXPECT_EQ(OMX_ErrorUnsupportedIndex,
              c()->SetConfig(h(), static_cast<OMX_INDEXTYPE>(OMX_IndexVendorStartUnused + 2), &thumbnail));

    OMX_INDEXTYPE index = OMX_IndexMax;
    ASSERT_EQ(OMX_ErrorNone, c()->GetExtensionIndex(h(), const_cast<char *>("OMX.ZYN.index.ThumbnailMode"), &index));
    EXPECT_EQ(0x7F000001u, static_cast<OMX_U32>(index));
    EXPECT_EQ(OMX_ErrorUnsupportedIndex,
              c()->GetExtensionIndex(h(), const_cast<char *>("OMX.ZYN.index.Other"), &index));
    EXPECT_EQ(OMX_ErrorBadParameter, c()->GetExtensionIndex(h(), nullptr, &index));

    auto crop = record<OMX_CONFIG_RECTTYPE>(1);
    ASSERT_EQ(OMX_ErrorNone, c()->GetConfig(h(), OMX_IndexConfigCommonOutputCrop, &crop));
    EXPECT_EQ(176u, crop.nWidth);
    EXPECT_EQ(144u, crop.nHeight);
    crop.nPortIndex = 0;
    EXPECT_EQ(OMX_ErrorBadPortIndex, c()->GetConfig(h(), OMX_IndexConfigCommonOutputCrop, &crop));
    ASSERT_EQ(OMX_ErrorNone, client.close());

    ASSERT_EQ(OMX_ErrorNone, client.open("OMX.ZYN.MPEG4.Encoder"));
    crop.nPortIndex = 1;
    EXPECT_EQ(OMX_ErrorUnsupportedIndex, c()->GetConfig(h(), OMX_IndexConfigCommonOutputCrop, &crop));
}

} // namespace
