// Whole append run with the fuzzed bytes as the first input and a valid one-page PDF as the
// other: every failure must end as CPdfException with all shared files closed afterwards.
#include "fuzz/AppendFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return appendfuzz::Run(data, size, true);
}
