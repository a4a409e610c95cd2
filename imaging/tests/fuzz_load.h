// The body of the loader's fuzz targets: the input bytes become a file with the format's
// extension, read through LoadImageFile like any picture the user opens.
#pragma once

#include "imaging/graph_convertor.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

inline int fuzzLoad(const std::uint8_t* data, std::size_t size, const char* extension)
{
    if (size > (1u << 20))
        return 0;
    static const std::string path = (std::filesystem::temp_directory_path()
                                     / ("vistrel-fuzz-" + std::to_string(getpid()) + extension))
                                        .string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    std::fclose(file);
    if (written) {
        const QImage picture = LoadImageFile(path);
        if (!picture.isNull() && picture.format() != QImage::Format_RGB32)
            __builtin_trap();
    }
    return 0;
}
