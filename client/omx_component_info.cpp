// Which component kinds decode and which encode.
#include "omx_component_info.h"

bool omx_is_encoder(int component_type)
{
    return component_type == OMX_COMPONENT_AVCENC || component_type == OMX_COMPONENT_MPEG4ENC ||
           component_type == OMX_COMPONENT_H263ENC;
}

bool omx_is_decoder(int component_type)
{
    return component_type == OMX_COMPONENT_AVCDEC || component_type == OMX_COMPONENT_MPEG4DEC ||
           component_type == OMX_COMPONENT_H263DEC || component_type == OMX_COMPONENT_WMVDEC ||
           component_type == OMX_COMPONENT_VP8DEC;
}
