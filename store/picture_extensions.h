// The picture files the program knows, by their extension: the one table that the folder
// list's filter, its picture icons and the loader's choice of decoder all read.
#pragma once

#include <array>
#include <string_view>

enum class TPictureFormat {
    Bitmap,
    WindowsMetafile,
    EnhancedMetafile,
    Gif,
    Jpeg,
    Icon,
};

struct TPictureExtension
{
    // Upper case, the dot included.
    std::string_view Extension;
    TPictureFormat Format;
    // The folder list offers the file to open; icons are read but not offered.
    bool Listed;
};

inline constexpr std::array<TPictureExtension, 8> PictureExtensions = {{
    {".BMP", TPictureFormat::Bitmap, true},
    {".DIB", TPictureFormat::Bitmap, true},
    {".WMF", TPictureFormat::WindowsMetafile, true},
    {".EMF", TPictureFormat::EnhancedMetafile, true},
    {".GIF", TPictureFormat::Gif, true},
    {".JPG", TPictureFormat::Jpeg, true},
    {".JPEG", TPictureFormat::Jpeg, true},
    {".ICO", TPictureFormat::Icon, false},
}};

// The table's entry for Extension (dot included), ASCII letter case ignored; none when the
// extension is not a picture's.
const TPictureExtension* FindPictureExtension(std::string_view extension);
