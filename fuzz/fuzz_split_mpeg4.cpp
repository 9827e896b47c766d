// Fuzz target: the mpeg4 splitter through VsParser.
#include "fuzz_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSplit(MPEG4_DEC, data, size);
    return 0;
}
