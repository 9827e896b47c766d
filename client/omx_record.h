// Preparation of the OpenMAX records the tests pass to a component.
#pragma once

#include <cstring>

#include <OMX_Types.h>

// Stamps version 1.0.0.0, or the version OMX_TEST_IL_VERSION names ("1.1.2" is 1.1.2.0).
void omx_set_version(OMX_VERSIONTYPE *nVersion);

// Clears the whole record (fields a test does not set hold zero), then sets nSize and stamps
// nVersion.
template <typename Record> void omx_prepare_record(Record *record)
{
    memset(record, 0, sizeof(*record));
    record->nSize = sizeof(*record);
    omx_set_version(&record->nVersion);
}
