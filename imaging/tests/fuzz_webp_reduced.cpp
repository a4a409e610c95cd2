// The reduced first look at a large WebP picture, on any bytes: it must end in a picture or
// none, never in a crash. A small area makes every readable large picture reduce.
#include "imaging/tests/fuzz_load.h"
#include "imaging/webp_graphic.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzzInputFile(data, size, "-reduced.webp");
    if (!path.empty()) {
        const ReducedPicture reduced = ReadWebpReduced(path, QSize(64, 48));
        if (!reduced.picture.isNull()
            && (reduced.picture.format() != QImage::Format_RGB32
                || reduced.picture.width() > reduced.fullSize.width()
                || reduced.picture.height() > reduced.fullSize.height()))
            __builtin_trap();
    }
    return 0;
}
