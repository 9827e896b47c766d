// Fuzz target: the vc1ap splitter through VsParser.
#include "fuzz_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSplit(VC1AP_DEC, data, size);
    return 0;
}
