// The reduced JPEG decode of the viewer's first picture, on any bytes: it must end in a
// picture or none, never in a crash. A small area makes every readable large header reduce.
#include "imaging/jpeg_graphic.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    static const std::string path
        = (std::filesystem::temp_directory_path()
           / ("vistrel-fuzz-reduced-" + std::to_string(getpid()) + ".jpg"))
              .string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    std::fclose(file);
    if (written) {
        const ReducedJpeg reduced = ReadJpegReduced(path, QSize(64, 48));
        if (!reduced.picture.isNull()
            && (reduced.picture.format() != QImage::Format_RGB32
                || reduced.picture.width() > reduced.fullSize.width()
                || reduced.picture.height() > reduced.fullSize.height()))
            __builtin_trap();
    }
    return 0;
}
