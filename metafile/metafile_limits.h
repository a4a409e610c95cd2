// The bounds a metafile is played within, so that no file can make the player take
// unbounded memory or time.
#pragma once

#include <QRectF>
#include <QTransform>

#include <cmath>

// More object slots than either format can name: both count their objects in 16 bits.
constexpr int maxMetafileObjects = 65536;
// Saved device-context states kept at once; deeper saves are ignored like a failing SaveDC.
constexpr int maxSavedStates = 1024;

// The work one playback may do, counted in output pixels: each drawing's box cut to the
// picture (weighted by what its pixels cost beside a plain fill), a fixed charge for each
// drawing and each record, and the pixels of each bitmap decoded. Counting work rather than
// time gives the same verdict on every machine. A playback that would pass it gives no
// picture. The budget grows with the picture, so that a large drawing may paint its whole
// area several times over, while a small file that paints a large picture hundreds of
// times is refused within a second or two.
constexpr double metafileWorkBudget = 1e9;
constexpr double metafileWorkPerPicturePixel = 8;
constexpr double metafileRecordWork = 256;
constexpr double metafileDrawingWork = 1024;
// Decoding a bitmap (reading, converting) costs a few plain fills of its pixels.
constexpr double metafileDecodeWork = 4;
// The largest picture, in RGB32 bytes, of a record's bitmap whose pixels are stored smaller
// than the picture (coded in runs, as colour indices or 16-bit pixels): a few bytes of runs
// could otherwise
// ask for a bitmap of gigabytes. Uncompressed 24- and 32-bit bitmaps are bounded by the
// bytes the file holds.
constexpr long long metafileCodedBitmapBytes = 256LL << 20;

// Output coordinates beyond this are not drawn: the rasteriser works in fixed point, and no
// sensible picture places a shape millions of pixels away.
constexpr double metafileCoordinateLimit = 1 << 24;

// Whether every corner of box is a finite point within the coordinate limit.
inline bool WithinCoordinateLimit(const QRectF& box)
{
    return std::isfinite(box.left()) && std::isfinite(box.top()) && std::isfinite(box.right())
        && std::isfinite(box.bottom()) && std::abs(box.left()) < metafileCoordinateLimit
        && std::abs(box.right()) < metafileCoordinateLimit
        && std::abs(box.top()) < metafileCoordinateLimit
        && std::abs(box.bottom()) < metafileCoordinateLimit;
}

// Whether the transform is finite and can be inverted.
inline bool IsUsableTransform(const QTransform& t)
{
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21())
        && std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy())
        && std::abs(t.determinant()) > 1e-12;
}
