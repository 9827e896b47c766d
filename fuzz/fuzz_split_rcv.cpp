// Fuzz target: the rcv splitter through VsParser.
#include "fuzz_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSplit(VC1RCV_DEC, data, size);
    return 0;
}
