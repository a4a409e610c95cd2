// The picture formats the program reads, in one table, and reading a picture file into a
// plain RGB32 bitmap by it. A file is read by the format its first bytes name; its extension
// decides only when they name none. The folder list offers files by extension alone.
#pragma once

#include "imaging/graphic.h"
#include "imaging/reduced_picture.h"
#include "store/path_text.h" // PictureExtension, the first step

#include <QImage>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// One format: everything the program knows of it. Adding a format is adding its entry to
// the table (picture_formats.cpp) and its reader.
struct PictureFormat
{
    // How the README's list names it, and what of the file is shown ("first page"; empty
    // when the whole file is).
    std::string_view Name;
    std::string_view Shown;
    // The short name its fuzz target and that target's corpus go by (fuzz_load_png).
    std::string_view Key;
    // Upper case, the dot included; unused places are empty. The first names the fuzz
    // target's input files.
    std::array<std::string_view, 3> Extensions;
    // The folder list offers files with these extensions; icons are read (a path given at
    // start opens one) but not offered.
    bool Listed;
    // Whether the file's first bytes (up to SignatureBytes of them, fewer in a short file)
    // name this format.
    bool (*HasSignature)(const unsigned char* head, std::size_t size);
    // The upright size from the header, without decoding the pixels; invalid when the header
    // tells none. Sets decodeBytes to the memory the decode holds at its peak where that is
    // more than the RGB32 picture alone; left at -1 otherwise.
    QSize (*ReadHeader)(const std::string& fileName, std::int64_t* decodeBytes);
    // A new decoder object (CreateGraphicForFile's).
    std::unique_ptr<Graphic> (*NewDecoder)();
    // The whole picture by a decode that keepGoing, asked between rows, can give up (a null
    // picture then); null for a format whose decode cannot stop.
    QImage (*DecodeWhile)(const std::string& fileName, const std::function<bool()>& keepGoing);
    // A first look at a large picture for display in area (see reduced_picture.h); null for
    // a format that offers none.
    ReducedPicture (*ReadReduced)(const std::string& fileName, QSize area);
};

// How many of a file's first bytes the signatures look at.
constexpr std::size_t SignatureBytes = 4096;

// Every format, in the order their signatures are tried: a format whose signature is also
// another's (camera raw files are TIFF files inside) goes before that one.
std::span<const PictureFormat> PictureFormats();

// The format of that key; none when no format has it.
const PictureFormat* FormatOfKey(std::string_view key);

// The format whose extensions hold extension (dot included, ASCII case ignored); none when
// no format has it.
const PictureFormat* FormatOfExtension(std::string_view extension);

// The format a file is read as: the one its first bytes name, else the one its extension
// names; none when neither names one (or the file cannot be opened). Resolved once per
// open, and handed to the steps below.
const PictureFormat* FormatOfFile(const std::string& fileName);

// True when the folder list offers the file: its extension is a listed format's.
bool IsPictureFileName(const std::string& fileName);

// The picture in the file, RGB32 and white where the decoder draws nothing; a null QImage
// when there is none (missing file, no format, unreadable content, too large). Shows the
// wait cursor while it decodes; never throws. With a format, the file is read as that one.
QImage LoadImageFile(const std::string& fileName);
QImage LoadImageFile(const std::string& fileName, const PictureFormat* format);

// What a file's header tells of the picture LoadImageFile would give, without decoding its
// pixels (a metafile's from its header and records): its size, and the memory its decoder
// holds at its height (the picture and the decoder's own work). An invalid size and -1 when
// the header tells none. Never throws.
struct PictureHeader
{
    QSize size;
    std::int64_t decodeBytes = -1;
};
PictureHeader ReadPictureHeader(const std::string& fileName);
PictureHeader ReadPictureHeader(const std::string& fileName, const PictureFormat* format);

// The steps of LoadImageFile, each usable on its own.

// The decoder object for an upper-cased extension, or none when no decoder reads it.
std::unique_ptr<Graphic> CreateGraphicForFile(const std::string& extension);

// Reads the file into the decoder object; false when it cannot, whatever went wrong.
bool LoadGraphic(Graphic& graphic, const std::string& fileName);

// The picture of a decoder object that has read its file as a new RGB32 bitmap; a null
// QImage for no object or when making the bitmap fails.
QImage GraphicToBitmap(Graphic* graphic);
