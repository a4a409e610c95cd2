// Device-independent bitmaps, decoded from the format's definition so that every pixel is
// exact: all header kinds (OS/2 and Windows, up to the 124-byte one), both row orders, 1 to
// 32 bits a pixel, colour tables, bit-field channels and run-length coding. The one decoder
// behind BMP and DIB files, icon entries and the bitmaps inside metafile records; it lives
// here, below imaging, because the metafile player needs it too.
#pragma once

#include <QImage>

#include <array>
#include <functional>
#include <span>

enum DibCompression : quint32 {
    dibRgb = 0,
    dibRle8 = 1,
    dibRle4 = 2,
    dibBitFields = 3,
    dibAlphaBitFields = 6
};

// Where a bitmap's pixels are, seen from its header.
enum class DibLayout {
    // A BMP file: its file header says where the pixels start.
    File,
    // An icon's entry: the pixels follow the colour table, the height counts the AND mask
    // below them too, and a 32-bit pixel's fourth byte is its alpha.
    IconEntry,
    // A metafile record's bitmap, or a DIB file without the file header: the pixels follow
    // the colour table, which has at most as many entries as the indices can name.
    Packed,
};

struct Dib
{
    qint64 width = 0;
    qint64 height = 0;
    bool topDown = false;
    int bits = 0;
    quint32 compression = dibRgb;
    std::array<quint32, 4> masks {}; // red, green, blue, alpha
    std::array<QRgb, 256> palette {};
    qint64 pixelsAt = 0; // from the start of the bytes the header was read from

    qint64 rowBytes() const { return (width * bits + 31) / 32 * 4; }
    bool hasAlpha() const { return bits > 8 && masks[3] != 0; }
    bool runLength() const { return compression == dibRle8 || compression == dibRle4; }
};

// The size-byte little-endian number at at, or 0 where bytes end before it.
quint32 DibLittleEndian(std::span<const uchar> bytes, qint64 at, int size);

// Reads the info header at headerAt and the colour table after it. pixelsAt: for
// DibLayout::File where the file header says the pixels start; otherwise not read, as the
// pixels follow the table. False for a bitmap that cannot be read or is beyond
// FitsPictureLimit.
bool ParseDib(std::span<const uchar> bytes, qint64 headerAt, qint64 pixelsAt, DibLayout layout,
              Dib* dib);

// Uncompressed rows into image (RGB32, dib's size), each read by nextRow into the start of
// its picture row and widened there to RGB32. With an alpha mask, a pixel keeps its alpha in
// its top byte for the caller to use; otherwise it is opaque. False when nextRow fails.
bool DecodeDibRows(const Dib& dib, QImage& image,
                   const std::function<bool(uchar*, qint64)>& nextRow);

// Run-length coded pixels into image (RGB32, dib's size). With no image, only checks that
// the data fit the picture, so that damage costs no bitmap: a run or a jump beyond its edges
// refuses it, though a run may reach into a row's padding (its length rounded up to 4
// bytes), where its pixels are dropped. Data that end without the end marker leave the rest
// of image as it is.
bool DecodeDibRuns(std::span<const uchar> data, const Dib& dib, QImage* image);
