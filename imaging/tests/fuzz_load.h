// The body of the loader's fuzz targets, one for each format of the table (named by its key):
// the input bytes become a file with the format's first extension, read through
// ReadPictureHeader and LoadImageFile like any picture the user opens (by its first bytes,
// so that a target's inputs reach every reader). The other imaging fuzz targets write their
// input the same way.
#pragma once

#include "imaging/picture_formats.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

// Writes the input (at most 1 MiB) to this process's own temporary file, whose name ends in
// extension and stays the same for every input; empty when there is nothing to read.
inline std::string fuzzInputFile(const std::uint8_t* data, std::size_t size, const char* extension)
{
    if (size > (1u << 20))
        return {};
    const std::string path = (std::filesystem::temp_directory_path()
                              / ("vistrel-fuzz-" + std::to_string(getpid()) + extension))
                                 .string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return {};
    const bool written = std::fwrite(data, 1, size, file) == size;
    std::fclose(file);
    return written ? path : std::string();
}

inline int fuzzLoad(const std::uint8_t* data, std::size_t size, std::string_view key)
{
    const PictureFormat* format = FormatOfKey(key);
    if (!format)
        __builtin_trap();
    const std::string path = fuzzInputFile(data, size, std::string(format->Extensions[0]).c_str());
    if (!path.empty()) {
        // The header reading that decides what is decoded ahead sees the same files.
        ReadPictureHeader(path);
        const QImage picture = LoadImageFile(path);
        if (!picture.isNull() && picture.format() != QImage::Format_RGB32)
            __builtin_trap();
    }
    return 0;
}
