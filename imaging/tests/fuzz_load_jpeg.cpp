#include "imaging/tests/fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzLoad(data, size, "jpeg");
}
