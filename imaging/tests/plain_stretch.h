// The plain stretch of a whole rectangle, as the viewer's pictures must come out: the
// reference the viewer's tests and the benchmarks compare against. The program itself only
// gathers the pixels it shows.
#pragma once

#include "imaging/pixel_operations.h"

#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

// Draws sourceRect of source stretched into targetRect of target with the plain stretch
// (rectangles by position and size; right()/bottom() are never used). Source pixels beyond
// source give white; target pixels beyond target are skipped. Both images 32 bits per pixel.
inline void StretchDraw(QImage& target, const QRect& targetRect, const QImage& source,
                        const QRect& sourceRect)
{
    const int tw = targetRect.width();
    const int th = targetRect.height();
    const int sw = sourceRect.width();
    const int sh = sourceRect.height();
    if (target.isNull() || tw <= 0 || th <= 0 || sw <= 0 || sh <= 0)
        return;

    // Only the target pixels inside target get a table entry, however large the rectangle.
    const auto visible = [](int origin, int length, int limit) {
        const std::int64_t first = std::clamp<std::int64_t>(-std::int64_t {origin}, 0, length);
        const std::int64_t last
            = std::clamp<std::int64_t>(std::int64_t {limit} - origin, first, length);
        return std::pair<int, int>(static_cast<int>(first), static_cast<int>(last));
    };
    const auto table = [](int first, int last, int n, int origin, int m) {
        std::vector<int> indices(static_cast<std::size_t>(last - first));
        for (int i = first; i < last; ++i) {
            const std::int64_t index = std::int64_t {origin} + StretchIndex(i, n, m);
            indices[static_cast<std::size_t>(i - first)]
                = index >= 0 && index <= std::numeric_limits<int>::max() ? int(index) : -1;
        }
        return indices;
    };
    const auto [j0, j1] = visible(targetRect.x(), tw, target.width());
    const auto [k0, k1] = visible(targetRect.y(), th, target.height());
    if (j0 == j1 || k0 == k1)
        return;
    const std::vector<int> columns = table(j0, j1, tw, sourceRect.x(), sw);
    const std::vector<int> rows = table(k0, k1, th, sourceRect.y(), sh);
    GatherPixels(target, QPoint(targetRect.x() + j0, targetRect.y() + k0), source, columns, rows);
}
