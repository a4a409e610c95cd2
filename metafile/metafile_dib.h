// Device-independent bitmaps as metafile records carry them: a BITMAPINFO (header and colour
// table) and the pixel bits, either apart or packed one after the other. Their pixels are
// decoded by dib.h, as a BMP file's are.
#pragma once

#include <QImage>

#include <cstdint>
#include <span>

struct MetafileDib
{
    QImage image; // null when the bitmap cannot be read
    bool bottomUp = true; // rows stored bottom row first, so source y counts from the bottom
};

// info holds the header and colour table, bits the pixels. With keepAlpha, a 32-bit
// uncompressed bitmap (plain or bit-field) keeps its alpha, premultiplied; otherwise every
// bitmap is opaque, as the platform draws it with the plain raster operations.
MetafileDib DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                      bool keepAlpha = false);

// A packed bitmap: the header, its colour table, then the bits, the split found from the
// header.
MetafileDib DecodePackedDib(std::span<const std::uint8_t> packed);

// The playback work of decoding the bitmap, from the pixels its header claims (0 when it
// cannot be read), so that the decoding is charged before it is done.
double DibDecodeWork(std::span<const std::uint8_t> info);

// A one-bit bitmap as a mask: Format_Alpha8, 255 where a bit is 1 and 0 where it is 0; null
// when the bitmap is not one bit a pixel or cannot be read.
QImage DecodeDibMask(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits);
