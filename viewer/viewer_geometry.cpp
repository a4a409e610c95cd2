#include "viewer/viewer_geometry.h"

#include <algorithm>
#include <cmath>

std::int64_t RoundHalfEven(double value)
{
    constexpr double limit = 4611686018427387904.0; // 2^62
    if (std::isnan(value))
        return 0;
    // nearbyint follows the default rounding mode, round-to-nearest-even.
    return static_cast<std::int64_t>(std::nearbyint(std::clamp(value, -limit, limit)));
}

PictureFit FitToArea(QSize source, QSize working, QSize area, int borderWidth)
{
    const double wi = area.width();
    const double hi = area.height();
    const double ww = working.width();
    const double wh = working.height();

    // The test uses the source size, so a magnified working picture never changes the fit.
    std::int64_t shownWidth = source.width();
    std::int64_t shownHeight = source.height();
    if (source.height() > area.height() || source.width() > area.width()) {
        shownWidth = area.width();
        shownHeight = area.height();
        if (hi / wi > wh / ww)
            shownHeight = RoundHalfEven(wi / (ww / wh));
        else
            shownWidth = RoundHalfEven(hi / (wh / ww));
    }

    PictureFit fit;
    const std::int64_t offX = RoundHalfEven((wi - static_cast<double>(shownWidth)) / 2);
    const std::int64_t offY = RoundHalfEven((hi - static_cast<double>(shownHeight)) / 2);
    fit.shownRect = {offX, offY, offX + shownWidth, offY + shownHeight};
    // An area too small to show a pixel along the measured side would make the ratio
    // infinite; it is taken as one pixel wide instead.
    if (working.width() > working.height())
        fit.shownRatio = ww / static_cast<double>(std::max<std::int64_t>(shownWidth, 1));
    else
        fit.shownRatio = wh / static_cast<double>(std::max<std::int64_t>(shownHeight, 1));
    fit.pictureOrigin
        = QPoint(static_cast<int>(offX) + borderWidth, static_cast<int>(offY) + borderWidth);
    return fit;
}

Rect64 GlassSourceFor(double shownRatio, QPoint pictureOrigin, QPoint glassTopLeft, QSize glassSize)
{
    const double k = shownRatio;
    const double w = glassSize.width();
    const double h = glassSize.height();
    Rect64 r;
    r.left = RoundHalfEven((glassTopLeft.x() - pictureOrigin.x()) * k + w * (k - 1) / 2);
    r.top = RoundHalfEven(k * (glassTopLeft.y() - pictureOrigin.y()) + h * (k - 1) / 2);
    r.right = r.left + glassSize.width();
    r.bottom = r.top + glassSize.height();
    return r;
}

Rect64 PreviewSourceFor(const Rect64& r, double x)
{
    Rect64 s {r.left, r.top, r.left + RoundHalfEven(static_cast<double>(r.width()) * x),
              r.top + RoundHalfEven(static_cast<double>(r.height()) * x)};
    // Integer division truncates toward zero, so a smaller square moves right and down.
    const std::int64_t dx = (s.width() - r.width()) / 2;
    const std::int64_t dy = (s.height() - r.height()) / 2;
    s.left -= dx;
    s.right -= dx;
    s.top -= dy;
    s.bottom -= dy;
    return s;
}

QPoint GlassTopLeftCenteredAt(QPoint areaPoint, int borderWidth, QSize glassSize)
{
    return QPoint(areaPoint.x() + borderWidth - glassSize.width() / 2,
                  areaPoint.y() + borderWidth - glassSize.height() / 2);
}

namespace {

// The disc's span in row y: pixels whose centres lie in the inscribed circle, in doubled
// coordinates so that everything stays integer: (2x + 1 - d)^2 + (2y + 1 - d)^2 <= d^2.
std::pair<int, int> discSpan(int y, int d)
{
    if (y < 0 || y >= d)
        return {0, 0};
    const std::int64_t dy = 2 * std::int64_t {y} + 1 - d;
    const std::int64_t room = std::int64_t {d} * d - dy * dy;
    if (room < 0)
        return {0, 0};
    // The largest odd-or-even distance u = |2x + 1 - d| with u^2 <= room and u = d - 1 (mod 2).
    auto u = static_cast<std::int64_t>(std::sqrt(static_cast<double>(room)));
    while (u * u > room)
        --u;
    while ((u + 1) * (u + 1) <= room)
        ++u;
    if ((u - (d - 1)) % 2 != 0)
        --u;
    if (u < 0)
        return {0, 0};
    // 2x + 1 - d ranges over [-u, u].
    const int begin = static_cast<int>((d - 1 - u) / 2);
    const int end = static_cast<int>((d - 1 + u) / 2) + 1;
    return {begin, end};
}

} // namespace

std::vector<GlassRow> GlassDisc(int d)
{
    std::vector<GlassRow> rows(static_cast<std::size_t>(std::max(d, 0)));
    for (int y = 0; y < d; ++y) {
        const auto [begin, end] = discSpan(y, d);
        const auto [aboveBegin, aboveEnd] = discSpan(y - 1, d);
        const auto [belowBegin, belowEnd] = discSpan(y + 1, d);
        GlassRow& row = rows[static_cast<std::size_t>(y)];
        row.discBegin = begin;
        row.discEnd = end;
        // An inner pixel has its left and right neighbours in this row's span and the
        // pixels above and below in theirs.
        row.innerBegin = std::max({begin + 1, aboveBegin, belowBegin});
        row.innerEnd = std::min({end - 1, aboveEnd, belowEnd});
        if (row.innerEnd <= row.innerBegin)
            row.innerBegin = row.innerEnd = begin;
    }
    return rows;
}
