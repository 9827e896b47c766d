// A core library with OMX_Init only: omx_test names every missing entry point, omx_cases the first.
#include <OMX_Core.h>

extern "C" __attribute__((visibility("default"))) OMX_ERRORTYPE OMX_Init(void)
{
    return OMX_ErrorNone;
}
