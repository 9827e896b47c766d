// The components the reference core offers, in enumeration order.
#pragma once

#include <OMX_Component.h>
#include <OMX_ZYN_Platform.h>

#include <array>
#include <string_view>

namespace zyn
{

enum class ComponentKind {
    Decoder,
    Encoder
};

struct ComponentDesc {
    const char *name;
    const char *role;
    ComponentKind kind;
    OMX_VIDEO_CODINGTYPE coding; // the stream port's coding
};

inline constexpr std::array<ComponentDesc, 8> kStandardComponents{{
    {"OMX.ZYN.AVC.Decoder", "video_decoder.avc", ComponentKind::Decoder, OMX_VIDEO_CodingAVC},
    {"OMX.ZYN.VP8.Decoder", "video_decoder.vpx", ComponentKind::Decoder, OMX_VIDEO_CodingVPX},
    {"OMX.ZYN.MPEG4.Decoder", "video_decoder.mpeg4", ComponentKind::Decoder, OMX_VIDEO_CodingMPEG4},
    {"OMX.ZYN.H263.Decoder", "video_decoder.h263", ComponentKind::Decoder, OMX_VIDEO_CodingH263},
    {"OMX.ZYN.WMV.Decoder", "video_decoder.wmv", ComponentKind::Decoder, OMX_VIDEO_CodingWMV},
    {"OMX.ZYN.AVC.Encoder", "video_encoder.avc", ComponentKind::Encoder, OMX_VIDEO_CodingAVC},
    {"OMX.ZYN.MPEG4.Encoder", "video_encoder.mpeg4", ComponentKind::Encoder, OMX_VIDEO_CodingMPEG4},
    {"OMX.ZYN.H263.Encoder", "video_encoder.h263", ComponentKind::Encoder, OMX_VIDEO_CodingH263},
}};

// Names the core was told to enumerate but does not know get a generic decoder: it takes any
// stream (coding auto-detect) and hands input buffers back unread.
inline constexpr ComponentDesc kGenericComponent{nullptr, "video_decoder.generic", ComponentKind::Decoder,
                                                 OMX_VIDEO_CodingAutoDetect};

inline const ComponentDesc *registry_find(std::string_view name)
{
    for (const auto &d : kStandardComponents)
        if (name == d.name)
            return &d;
    return nullptr;
}

} // namespace zyn
