/* The size of every OpenMAX IL record the project uses and the offset of each of its fields, as
 * text: compiled once against our headers and once against the standard headers, the two tables
 * must be equal. C, not C++: the two builds define the same record names differently. */
#include <OMX_Component.h>
#include <OMX_Core.h>
#include <OMX_IVCommon.h>
#include <OMX_Video.h>
#include <stddef.h>

/* One record or field per line, which the formatter would run together. */
/* clang-format off */
#define RECORDS(R, F)                                                                                                  \
    R(OMX_VERSIONTYPE) F(OMX_VERSIONTYPE, s.nVersionMajor) F(OMX_VERSIONTYPE, s.nStep)                                 \
    R(OMX_MARKTYPE) F(OMX_MARKTYPE, pMarkData)                                                                         \
    R(OMX_BU32) F(OMX_BU32, nMax)                                                                                      \
    R(OMX_PARAM_PORTDEFINITIONTYPE) F(OMX_PARAM_PORTDEFINITIONTYPE, nVersion)                                         \
    F(OMX_PARAM_PORTDEFINITIONTYPE, nPortIndex) F(OMX_PARAM_PORTDEFINITIONTYPE, eDir)                                  \
    F(OMX_PARAM_PORTDEFINITIONTYPE, nBufferCountActual) F(OMX_PARAM_PORTDEFINITIONTYPE, nBufferCountMin)               \
    F(OMX_PARAM_PORTDEFINITIONTYPE, nBufferSize) F(OMX_PARAM_PORTDEFINITIONTYPE, bEnabled)                             \
    F(OMX_PARAM_PORTDEFINITIONTYPE, bPopulated) F(OMX_PARAM_PORTDEFINITIONTYPE, eDomain)                               \
    F(OMX_PARAM_PORTDEFINITIONTYPE, format) F(OMX_PARAM_PORTDEFINITIONTYPE, bBuffersContiguous)                        \
    F(OMX_PARAM_PORTDEFINITIONTYPE, nBufferAlignment)                                                                  \
    R(OMX_VIDEO_PORTDEFINITIONTYPE) F(OMX_VIDEO_PORTDEFINITIONTYPE, cMIMEType)                                        \
    F(OMX_VIDEO_PORTDEFINITIONTYPE, pNativeRender) F(OMX_VIDEO_PORTDEFINITIONTYPE, nFrameWidth)                        \
    F(OMX_VIDEO_PORTDEFINITIONTYPE, nFrameHeight) F(OMX_VIDEO_PORTDEFINITIONTYPE, nStride)                             \
    F(OMX_VIDEO_PORTDEFINITIONTYPE, nSliceHeight) F(OMX_VIDEO_PORTDEFINITIONTYPE, nBitrate)                            \
    F(OMX_VIDEO_PORTDEFINITIONTYPE, xFramerate) F(OMX_VIDEO_PORTDEFINITIONTYPE, bFlagErrorConcealment)                 \
    F(OMX_VIDEO_PORTDEFINITIONTYPE, eCompressionFormat) F(OMX_VIDEO_PORTDEFINITIONTYPE, eColorFormat)                  \
    F(OMX_VIDEO_PORTDEFINITIONTYPE, pNativeWindow)                                                                     \
    R(OMX_AUDIO_PORTDEFINITIONTYPE) F(OMX_AUDIO_PORTDEFINITIONTYPE, eEncoding)                                        \
    R(OMX_IMAGE_PORTDEFINITIONTYPE) F(OMX_IMAGE_PORTDEFINITIONTYPE, nStride)                                          \
    F(OMX_IMAGE_PORTDEFINITIONTYPE, eColorFormat) F(OMX_IMAGE_PORTDEFINITIONTYPE, pNativeWindow)                       \
    R(OMX_OTHER_PORTDEFINITIONTYPE)                                                                                    \
    R(OMX_PORT_PARAM_TYPE) F(OMX_PORT_PARAM_TYPE, nPorts) F(OMX_PORT_PARAM_TYPE, nStartPortNumber)                     \
    R(OMX_PARAM_COMPONENTROLETYPE) F(OMX_PARAM_COMPONENTROLETYPE, cRole)                                              \
    R(OMX_PRIORITYMGMTTYPE) F(OMX_PRIORITYMGMTTYPE, nGroupID)                                                          \
    R(OMX_PARAM_BUFFERSUPPLIERTYPE) F(OMX_PARAM_BUFFERSUPPLIERTYPE, eBufferSupplier)                                  \
    R(OMX_TUNNELSETUPTYPE) F(OMX_TUNNELSETUPTYPE, eSupplier)                                                           \
    R(OMX_BUFFERHEADERTYPE) F(OMX_BUFFERHEADERTYPE, pBuffer) F(OMX_BUFFERHEADERTYPE, nAllocLen)                       \
    F(OMX_BUFFERHEADERTYPE, nFilledLen) F(OMX_BUFFERHEADERTYPE, nOffset) F(OMX_BUFFERHEADERTYPE, pAppPrivate)          \
    F(OMX_BUFFERHEADERTYPE, pPlatformPrivate) F(OMX_BUFFERHEADERTYPE, pInputPortPrivate)                               \
    F(OMX_BUFFERHEADERTYPE, pOutputPortPrivate) F(OMX_BUFFERHEADERTYPE, hMarkTargetComponent)                          \
    F(OMX_BUFFERHEADERTYPE, pMarkData) F(OMX_BUFFERHEADERTYPE, nTickCount) F(OMX_BUFFERHEADERTYPE, nTimeStamp)         \
    F(OMX_BUFFERHEADERTYPE, nFlags) F(OMX_BUFFERHEADERTYPE, nOutputPortIndex)                                          \
    F(OMX_BUFFERHEADERTYPE, nInputPortIndex)                                                                           \
    R(OMX_CALLBACKTYPE) F(OMX_CALLBACKTYPE, EventHandler) F(OMX_CALLBACKTYPE, EmptyBufferDone)                         \
    F(OMX_CALLBACKTYPE, FillBufferDone)                                                                                \
    R(OMX_COMPONENTREGISTERTYPE) F(OMX_COMPONENTREGISTERTYPE, pInitialize)                                             \
    R(OMX_COMPONENTTYPE) F(OMX_COMPONENTTYPE, nVersion) F(OMX_COMPONENTTYPE, pComponentPrivate)                        \
    F(OMX_COMPONENTTYPE, pApplicationPrivate) F(OMX_COMPONENTTYPE, GetComponentVersion)                                \
    F(OMX_COMPONENTTYPE, SendCommand) F(OMX_COMPONENTTYPE, GetParameter) F(OMX_COMPONENTTYPE, SetParameter)            \
    F(OMX_COMPONENTTYPE, GetConfig) F(OMX_COMPONENTTYPE, SetConfig) F(OMX_COMPONENTTYPE, GetExtensionIndex)            \
    F(OMX_COMPONENTTYPE, GetState) F(OMX_COMPONENTTYPE, ComponentTunnelRequest) F(OMX_COMPONENTTYPE, UseBuffer)        \
    F(OMX_COMPONENTTYPE, AllocateBuffer) F(OMX_COMPONENTTYPE, FreeBuffer) F(OMX_COMPONENTTYPE, EmptyThisBuffer)        \
    F(OMX_COMPONENTTYPE, FillThisBuffer) F(OMX_COMPONENTTYPE, SetCallbacks) F(OMX_COMPONENTTYPE, ComponentDeInit)      \
    F(OMX_COMPONENTTYPE, UseEGLImage) F(OMX_COMPONENTTYPE, ComponentRoleEnum)                                          \
    R(OMX_VIDEO_PARAM_PORTFORMATTYPE) F(OMX_VIDEO_PARAM_PORTFORMATTYPE, nPortIndex)                                   \
    F(OMX_VIDEO_PARAM_PORTFORMATTYPE, nIndex) F(OMX_VIDEO_PARAM_PORTFORMATTYPE, eCompressionFormat)                    \
    F(OMX_VIDEO_PARAM_PORTFORMATTYPE, eColorFormat) F(OMX_VIDEO_PARAM_PORTFORMATTYPE, xFramerate)                      \
    R(OMX_VIDEO_PARAM_PROFILELEVELTYPE) F(OMX_VIDEO_PARAM_PROFILELEVELTYPE, nPortIndex)                               \
    F(OMX_VIDEO_PARAM_PROFILELEVELTYPE, eProfile) F(OMX_VIDEO_PARAM_PROFILELEVELTYPE, eLevel)                          \
    F(OMX_VIDEO_PARAM_PROFILELEVELTYPE, nProfileIndex)                                                                 \
    R(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE) F(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE, bEnableHEC)                         \
    F(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE, bEnableResync) F(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE, nResynchMarkerSpacing) \
    F(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE, bEnableDataPartitioning)                                                    \
    F(OMX_VIDEO_PARAM_ERRORCORRECTIONTYPE, bEnableRVLC)                                                                \
    R(OMX_CONFIG_SCALEFACTORTYPE) F(OMX_CONFIG_SCALEFACTORTYPE, xWidth) F(OMX_CONFIG_SCALEFACTORTYPE, xHeight)         \
    R(OMX_CONFIG_RECTTYPE) F(OMX_CONFIG_RECTTYPE, nLeft) F(OMX_CONFIG_RECTTYPE, nTop) F(OMX_CONFIG_RECTTYPE, nWidth)   \
    F(OMX_CONFIG_RECTTYPE, nHeight)
/* clang-format on */

/* Calls entry once per record ("TYPE", its size) and once per field ("TYPE.field", its offset). */
void LAYOUT_TABLE_FUNCTION(void (*entry)(const char *name, size_t value, void *context), void *context)
{
#define R(type) entry(#type, sizeof(type), context);
#define F(type, field) entry(#type "." #field, offsetof(type, field), context);
    RECORDS(R, F)
#undef R
#undef F
}
