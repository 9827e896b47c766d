/* Additions of the board's OpenMAX IL headers to the standard enumerations.
 * Each value is defined here only where the headers in use do not already
 * have it (the build probes them and defines OMX_HAVE_* accordingly), so the
 * vendor's own headers can replace ours unchanged. */
#pragma once

#include <OMX_Component.h>
#include <OMX_Core.h>
#include <OMX_IVCommon.h>
#include <OMX_Index.h>
#include <OMX_Video.h>

#ifndef OMX_HAVE_VIDEO_CODING_VPX
#define OMX_VIDEO_CodingVPX ((OMX_VIDEO_CODINGTYPE)9)
#endif
#ifndef OMX_HAVE_ZYN_COLOR_NV12TILED
#define OMX_ZYN_COLOR_FormatNV12Tiled ((OMX_COLOR_FORMATTYPE)0x7FC00002)
#endif
#ifndef OMX_HAVE_INDEX_VENDOR_THUMBNAIL
#define OMX_IndexVendorThumbnailMode ((OMX_INDEXTYPE)(OMX_IndexVendorStartUnused + 1))
#endif

/* The record sizes a client passes as nSize: those of the board's 32-bit ABI, and on LP64 those
 * of the standard headers, where OMX_U32 is eight bytes. A header set that disagrees would pass
 * wrong nSize values to the core. */
#if defined(__cplusplus) && __SIZEOF_POINTER__ == 4
static_assert(sizeof(OMX_PARAM_PORTDEFINITIONTYPE) == 96, "OMX_PARAM_PORTDEFINITIONTYPE must be 96 bytes");
static_assert(sizeof(OMX_PARAM_COMPONENTROLETYPE) == 136, "OMX_PARAM_COMPONENTROLETYPE must be 136 bytes");
static_assert(sizeof(OMX_VIDEO_PARAM_PORTFORMATTYPE) == 28, "OMX_VIDEO_PARAM_PORTFORMATTYPE must be 28 bytes");
static_assert(sizeof(OMX_VIDEO_PARAM_PROFILELEVELTYPE) == 24, "OMX_VIDEO_PARAM_PROFILELEVELTYPE must be 24 bytes");
static_assert(sizeof(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE) == 32,
              "OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE must be 32 bytes");
static_assert(sizeof(OMX_CONFIG_SCALEFACTORTYPE) == 20, "OMX_CONFIG_SCALEFACTORTYPE must be 20 bytes");
#elif defined(__cplusplus) && __SIZEOF_POINTER__ == 8 && __SIZEOF_LONG__ == 8
static_assert(sizeof(OMX_PARAM_PORTDEFINITIONTYPE) == 176, "OMX_PARAM_PORTDEFINITIONTYPE must be 176 bytes");
static_assert(sizeof(OMX_PARAM_COMPONENTROLETYPE) == 144, "OMX_PARAM_COMPONENTROLETYPE must be 144 bytes");
static_assert(sizeof(OMX_VIDEO_PARAM_PORTFORMATTYPE) == 48, "OMX_VIDEO_PARAM_PORTFORMATTYPE must be 48 bytes");
static_assert(sizeof(OMX_VIDEO_PARAM_PROFILELEVELTYPE) == 48, "OMX_VIDEO_PARAM_PROFILELEVELTYPE must be 48 bytes");
static_assert(sizeof(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE) == 48,
              "OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE must be 48 bytes");
static_assert(sizeof(OMX_CONFIG_SCALEFACTORTYPE) == 40, "OMX_CONFIG_SCALEFACTORTYPE must be 40 bytes");
static_assert(sizeof(OMX_BUFFERHEADERTYPE) == 136, "OMX_BUFFERHEADERTYPE must be 136 bytes");
#endif
