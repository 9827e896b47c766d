// The version stamp of every OpenMAX record the program fills.
#include "omx_record.h"

void omx_set_version(OMX_VERSIONTYPE *nVersion)
{
    nVersion->s.nVersionMajor = 1;
    nVersion->s.nVersionMinor = 0;
    nVersion->s.nRevision = 0;
    nVersion->s.nStep = 0;
}
