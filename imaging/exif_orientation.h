// The orientation a camera records in a picture's Exif block, and the picture put upright by it.
#pragma once

#include <QImage>

#include <cstddef>

// The orientation tag (1 to 8) of the Exif block that an APP1 segment holds (data is the
// segment's payload, starting with "Exif\0\0"); 1, the picture as stored, when the segment is
// no Exif block, has no orientation or is damaged. Every offset is checked against size.
int ExifOrientation(const unsigned char* data, std::size_t size);

// The same tag of an Exif block without the "Exif\0\0" before it, from its byte order mark
// ("II" or "MM") on, as a PNG's or a WebP's Exif chunk holds it.
int ExifBlockOrientation(const unsigned char* data, std::size_t size);

// True when orientation swaps the picture's width and height (5 to 8).
bool OrientationTurns(int orientation);

// The picture (RGB32) put upright as orientation says, inside its own memory: mirrors swap
// pixels within the rows or between them, quarter turns move them in place, so a large
// picture never needs a second copy. A turned picture keeps the original's memory alive.
QImage OrientPicture(QImage picture, int orientation);
