// Fuzz target: the h264 splitter through VsParser.
#include "fuzz_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSplit(H264_DEC, data, size);
    return 0;
}
