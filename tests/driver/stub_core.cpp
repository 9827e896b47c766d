// A core library that lacks OMX_GetRolesOfComponent: the driver must name the
// missing entry point and stop before calling any of the others.
#include <OMX_Core.h>

extern "C" {
__attribute__((visibility("default"))) OMX_ERRORTYPE OMX_Init(void)
{
    return OMX_ErrorNone;
}
__attribute__((visibility("default"))) OMX_ERRORTYPE OMX_Deinit(void)
{
    return OMX_ErrorNone;
}
__attribute__((visibility("default"))) OMX_ERRORTYPE OMX_ComponentNameEnum(OMX_STRING, OMX_U32, OMX_U32)
{
    return OMX_ErrorNoMore;
}
__attribute__((visibility("default"))) OMX_ERRORTYPE OMX_GetHandle(OMX_HANDLETYPE *, OMX_STRING, OMX_PTR,
                                                                   OMX_CALLBACKTYPE *)
{
    return OMX_ErrorComponentNotFound;
}
__attribute__((visibility("default"))) OMX_ERRORTYPE OMX_FreeHandle(OMX_HANDLETYPE)
{
    return OMX_ErrorNone;
}
}
