// A first look at a large picture, decoded smaller than its own size where its format offers
// a cheap way to (a JPEG's reduced scales, a WebP's scaled decode, a TIFF's reduced page).
#pragma once

#include <QImage>
#include <QSize>

struct ReducedPicture
{
    QImage picture; // RGB32, upright; null when the file is unreadable or is not reduced
    QSize fullSize; // the picture's own upright size, once the header was read
};

// Pictures of at least this many pixels are worth a first look before their full decode:
// below it, a second decode costs more than the reduced one saves.
constexpr long long MinReducedPixels = 8'000'000;

// The size a picture of size full is shown at when fitted into area (never enlarged), one
// pixel more for rounding; a first look must cover it.
inline QSize ShownSize(QSize full, QSize area)
{
    if (full.width() <= area.width() && full.height() <= area.height())
        return full;
    return full.scaled(area, Qt::KeepAspectRatio) + QSize(1, 1);
}
