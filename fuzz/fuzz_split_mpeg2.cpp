// Fuzz target: the mpeg2 splitter through VsParser.
#include "fuzz_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSplit(MPEG2_DEC, data, size);
    return 0;
}
