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
