// PNG pictures through libspng: every colour type and bit depth, interlaced or not, with
// their transparency (tRNS as well as an alpha channel) composited onto white, put upright by
// the Exif chunk before the pixels and converted to sRGB from an embedded ICC profile.
#pragma once

#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The picture of a PNG file as RGB32; null when the file holds no readable PNG or the
// picture is over the picture limit.
QImage ReadPngFile(const std::string& fileName);

// ReadPngFile for a decode that may be given up: keepGoing is asked between rows, and once
// it says false the decode stops and gives a null picture.
QImage ReadPngFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing);

// The same for a PNG held in memory (an icon's entry).
QImage ReadPngBytes(const unsigned char* bytes, std::size_t size);

// The upright size from the header chunks, and in decodeBytes the memory the decode holds
// at its peak (an interlaced picture of 16 bits a sample is decoded whole before it is
// narrowed); invalid when the file holds no PNG header.
QSize ReadPngHeader(const std::string& fileName, std::int64_t* decodeBytes);
