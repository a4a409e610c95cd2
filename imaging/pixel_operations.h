// Pixel operations of the viewer: contrast and lightness in place, quarter turns, the plain
// (non-averaging) stretch's mapping and pixel gathering that the glass and every picture
// shown at its own size or larger are drawn with, and the area average that reduces a
// picture smoothly for the display.
//
// Every operation gives exactly the pixels of its integer formula. 32-bit pictures are
// QImage::Format_RGB32 (bytes B, G, R, X; the fourth byte is never read or changed),
// 24-bit pictures QImage::Format_BGR888 (bytes B, G, R). An operation works in place on
// either of these two formats without converting; a picture in any other format is first
// converted (to 24 bits for contrast and the turns, to 32 bits for lightness), which does
// not change the picture.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <span>
#include <vector>

// 255 above 255, 0 below 0, otherwise the value.
std::uint8_t ClampToByte(int value);

// Each channel c: d = (|127 - c| * amount) / 255; c + d above 127, c - d otherwise; clamped.
void AdjustContrast(QImage& bitmap, int amount);

// Each channel c: c + ((255 - c) * amount) / 255, clamped.
void AdjustLightness(QImage& bitmap, int amount);

// target becomes source turned a quarter turn clockwise (source's top-left pixel ends at
// target's top-right) or counter-clockwise (source's top-right ends at target's top-left).
// target takes source's format when that is RGB32 or BGR888, else BGR888.
void RotateQuarterCW(const QImage& source, QImage& target);
void RotateQuarterCCW(const QImage& source, QImage& target);

// The same turns done inside the picture's own memory: pixels holds width x height 32-bit
// pixels row after row (no padding) and ends holding height x width. Needs only a few rows
// of scratch memory for each core it uses, never a second picture, at the price of three
// passes over the pixels.
void RotateQuarterInPlace(std::uint32_t* pixels, int width, int height, bool clockwise);

// The plain stretch's pixel mapping: target pixel i of a span of n pixels takes source pixel
// floor((2i + 1) * m / (2n)) of a span of m pixels. Exact for m == n (a plain copy).
constexpr int StretchIndex(int i, int n, int m)
{
    return static_cast<int>((2 * static_cast<std::int64_t>(i) + 1) * m
                            / (2 * static_cast<std::int64_t>(n)));
}

// Gathers pixels: target pixel (at.x + j, at.y + k) := source pixel (columns[j], rows[k]),
// for every j < columns.size() and k < rows.size(). An index of -1 (or any index outside
// source) gives a white pixel there; target pixels outside target are skipped. Both images
// are 32 bits per pixel (RGB32/ARGB32 layouts); rows that repeat the row above are copied.
void GatherPixels(QImage& target, QPoint at, const QImage& source, std::span<const int> columns,
                  std::span<const int> rows);

// The smooth reduction along one side: target pixel i is the weighted sum of the count[i]
// source pixels from first[i] on, with the weights from weights[offset[i]] on, which sum to
// One exactly (so that a flat picture stays exactly flat).
struct AreaSpans
{
    static constexpr int WeightBits = 14;
    static constexpr int One = 1 << WeightBits;
    std::vector<int> first;
    std::vector<int> count;
    std::vector<int> offset;
    std::vector<std::int16_t> weights;
};

// The spans of target pixels from .. from + count - 1 of a span of n pixels that shows a whole
// span of m pixels, each pixel w of which is pixel StretchIndex(w, m, s) of a span of s source
// pixels (m == s: the source itself). Each target pixel covers m / n of those pixels and is
// their area average: a pixel it covers in part counts by the part it covers. The weights are
// the covered parts rounded so that their running sums are exact. n, s >= 1; m >= 1 below 2^31.
AreaSpans AreaSpansFor(int from, int count, int n, std::int64_t m, int s);

// target pixel (at.x + j, at.y + k) := the area average, by columns' span j and rows' span k, of
// source's pixels, each channel averaged in the stored values and rounded. Both images are 32
// bits per pixel (RGB32 layout: the fourth byte comes out 0xFF); every target pixel must lie
// inside target and every source index inside source, else nothing is drawn. Rows are split
// over the machine's cores for a large source.
void AveragePixels(QImage& target, QPoint at, const QImage& source, const AreaSpans& columns,
                   const AreaSpans& rows);
