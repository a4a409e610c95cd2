// The picture files the program knows, by their extension: the one table that the folder
// list's filter, its picture icons and the loader's choice of decoder all read.
#pragma once

#include <array>
#include <string_view>

enum class PictureFormat {
    Bitmap,
    WindowsMetafile,
    EnhancedMetafile,
    Gif,
    Jpeg,
    Icon,
    Png,
    Webp,
    Tiff,
    Svg,
    Heif,
    Jxl,
};

struct PictureExtensionEntry
{
    // Upper case, the dot included.
    std::string_view Extension;
    PictureFormat Format;
    // The folder list offers the file to open; icons are read (a path given at start opens
    // one) but not offered.
    bool Listed;
};

inline constexpr std::array<PictureExtensionEntry, 17> PictureExtensions = {{
    {".BMP", PictureFormat::Bitmap, true},
    {".DIB", PictureFormat::Bitmap, true},
    {".WMF", PictureFormat::WindowsMetafile, true},
    {".EMF", PictureFormat::EnhancedMetafile, true},
    {".GIF", PictureFormat::Gif, true},
    {".JPG", PictureFormat::Jpeg, true},
    {".JPEG", PictureFormat::Jpeg, true},
    {".ICO", PictureFormat::Icon, false},
    {".PNG", PictureFormat::Png, true},
    {".WEBP", PictureFormat::Webp, true},
    {".TIF", PictureFormat::Tiff, true},
    {".TIFF", PictureFormat::Tiff, true},
    {".SVG", PictureFormat::Svg, true},
    {".HEIC", PictureFormat::Heif, true},
    {".HEIF", PictureFormat::Heif, true},
    {".AVIF", PictureFormat::Heif, true},
    {".JXL", PictureFormat::Jxl, true},
}};

// The table's entry for Extension (dot included), ASCII letter case ignored; none when the
// extension is not a picture's.
const PictureExtensionEntry* FindPictureExtension(std::string_view extension);
