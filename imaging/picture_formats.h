// Reading a picture file into a plain RGB32 bitmap, the decoder chosen by the extension alone.
#pragma once

#include "imaging/graphic.h"
#include "store/path_text.h" // PictureExtension, the first step

#include <QImage>

#include <cstdint>
#include <memory>
#include <string>

// The picture in the file, RGB32 and white where the decoder draws nothing; a null QImage
// when there is none (missing file, unknown extension, unreadable content, too large).
// Shows the wait cursor while it decodes; never throws.
QImage LoadImageFile(const std::string& fileName);

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

// The steps of LoadImageFile, each usable on its own.

// The decoder object for an upper-cased extension, or none when no decoder reads it.
std::unique_ptr<Graphic> CreateGraphicForFile(const std::string& extension);

// Reads the file into the decoder object; false when it cannot, whatever went wrong.
bool LoadGraphic(Graphic& graphic, const std::string& fileName);

// The picture of a decoder object that has read its file as a new RGB32 bitmap; a null
// QImage for no object or when making the bitmap fails.
QImage GraphicToBitmap(Graphic* graphic);
