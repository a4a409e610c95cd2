#include "metafile/tests/fuzz_metafile.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzMetafileInitialize(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzMetafile(data, size, EnhancedMetafileSize, PlayEnhancedMetafile);
}
