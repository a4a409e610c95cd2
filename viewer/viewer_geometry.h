// The page viewer's arithmetic, kept apart from its widgets so that it can be checked on
// its own: the fit-to-area rule, where the glass looks into the working picture, where a
// pending step's preview looks, and the shape of the round glass.
//
// Every rounding here is to the nearest integer with an exact half going to the even
// neighbour; halving an integer truncates toward zero.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <vector>

// Nearest integer, an exact half to the even neighbour (2.5 -> 2, 3.5 -> 4). Values beyond
// +-2^62 (and NaN, as 0) are clamped, so that no caller meets undefined behaviour.
std::int64_t RoundHalfEven(double value);

// A rectangle by its four edges (width = right - left), in 64 bits: in a working picture of
// up to 2^29 pixels a side, glass positions times the shown ratio exceed 32 bits.
struct Rect64
{
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t right = 0;
    std::int64_t bottom = 0;

    std::int64_t width() const { return right - left; }
    std::int64_t height() const { return bottom - top; }
    // For a rectangle in the pane's range, as the widgets take it.
    QRect toQRect() const
    {
        return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width()),
                     static_cast<int>(height()));
    }
    bool operator==(const Rect64&) const = default;
};

// Where and how large a picture is shown in its area.
struct PictureFit
{
    Rect64 shownRect; // in picture-area coordinates
    double shownRatio = 1.0; // working pixels per shown pixel along the longer side
    QPoint pictureOrigin; // the shown rectangle's top-left in panel coordinates
};

// The fit-to-area rule: a source picture that fits the area is shown at its own size;
// otherwise the working picture's aspect is fitted into the area, centred.
PictureFit FitToArea(QSize source, QSize working, QSize area, int borderWidth);

// The square of the working picture that a glass of the given size at glassTopLeft (panel
// coordinates) shows: k times the glass centre's point of the shown picture, then the
// glass-sized square around it.
Rect64 GlassSourceFor(double shownRatio, QPoint pictureOrigin, QPoint glassTopLeft,
                      QSize glassSize);

// The square a pending step factor x (the glass shows an x-times-larger area squeezed into
// itself) takes from the working picture around the glass's own source square r.
Rect64 PreviewSourceFor(const Rect64& r, double x);

// The glass's top-left (panel coordinates) that puts its centre on a point of the picture
// area.
QPoint GlassTopLeftCenteredAt(QPoint areaPoint, int borderWidth, QSize glassSize);

// One row of the round glass of diameter d: the disc covers [discBegin, discEnd); inside
// [innerBegin, innerEnd) the glass shows the magnified picture, and the disc's one-pixel
// outline (the rest of the disc) shows what lies beneath, or the border colour. Rows above
// and below the disc have empty spans.
struct GlassRow
{
    int discBegin = 0;
    int discEnd = 0;
    int innerBegin = 0;
    int innerEnd = 0;
};

// The rows of a glass of diameter d >= 1: the disc holds the pixels whose centres lie in
// the circle inscribed in the d x d square; its inner part holds those whose four
// neighbours are in the disc too.
std::vector<GlassRow> GlassDisc(int d);
