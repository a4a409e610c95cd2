// Device-independent bitmaps (BMP, DIB) and icons (ICO) read from their files: the pixels
// are decoded by metafile/dib (the decoder the metafile player's bitmaps go through too),
// a picture's alpha is composited onto white, an icon's entry is chosen and its mask
// applied. A PNG inside an icon goes to the PNG reader.
#pragma once

#include "imaging/graphic.h"

// The picture of a BMP or DIB file; null when there is none.
QImage ReadBitmapFile(const std::string& fileName);

// The picture of an icon file: the entry of the largest size, among those the one with the
// most colours, or where that does not decode the next best that does; null when there is
// none.
QImage ReadIconFile(const std::string& fileName);

// The sizes ReadBitmapFile and ReadIconFile give, from the headers (an icon's: its entries'
// own) without decoding the pixels; invalid when the headers tell none.
QSize ReadBitmapSize(const std::string& fileName);
QSize ReadIconSize(const std::string& fileName);
