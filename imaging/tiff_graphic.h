// TIFF pictures through libtiff: the first page, grey (either way round), palette, RGB and
// CMYK samples of 1 to 32 bits (whole numbers, or floating point between 0 and 1),
// interleaved or in planes, in strips or tiles, with their alpha on white; other kinds
// (YCbCr without JPEG, CIE L*a*b*, LogLuv) through libtiff's own RGBA reading. Put upright by
// the orientation tag and converted to sRGB from the embedded ICC profile (a CMYK picture
// without one from the standard press profile).
#pragma once

#include "imaging/reduced_picture.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <string>

// The first page of a TIFF file as RGB32; null when the file holds none readable or the
// page is over the picture limit.
QImage ReadTiffFile(const std::string& fileName);

// ReadTiffFile for a decode that may be given up: keepGoing is asked between rows (between
// tiles for a tiled page), and once it says false the decode stops and gives a null picture.
QImage ReadTiffFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing);

// A first look at a large first page (8 MP and more): the smallest reduced-resolution page
// the file holds of it (in its chain of pages or among its sub-pages) that still covers the
// page fitted into area. Not reduced (a null picture) when the file holds none such.
ReducedPicture ReadTiffReduced(const std::string& fileName, QSize area);

// The first page's upright size, and in decodeBytes the memory the decode holds at its
// peak: the picture, the coded bytes of its largest strip or tile, and a decoded row or tile
// (a strip or tile of every plane where libtiff's RGBA reading decodes it); invalid when the
// file tells none.
QSize ReadTiffHeader(const std::string& fileName, std::int64_t* decodeBytes);
