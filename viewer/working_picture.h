// The working picture: the source picture resampled to Ww x Wh with the plain stretch.
//
// It is never allocated. Everything reads it through the plain stretch (into the display,
// the glass and the preview), and a stretch of a stretch is again a pixel-for-pixel
// choice of source pixels, so each read composes the two mappings and gathers straight
// from the source. The pixels are exactly those a materialised working picture would give,
// and the memory no longer grows with the magnification.
#pragma once

#include "store/picture_limits.h"
#include "viewer/viewer_geometry.h"

#include <QImage>

#include <cstdint>
#include <vector>

class WorkingPicture
{
public:
    // The largest side a working picture may have: the longest side a loaded picture can
    // have, so that every picture that opens can be shown pixel for pixel. Nothing holds
    // the working picture's pixels, and its arithmetic is 64-bit throughout.
    static constexpr std::int64_t MaxSide = MaxPictureBytes / 4;

    // The working picture becomes source stretched to width x height. The source (32 bits
    // per pixel) is not copied and must outlive every later read; 0 x 0 means empty.
    void Reset(const QImage* source, int width, int height);

    int Width() const { return width; }
    int Height() const { return height; }
    QSize Size() const { return QSize(width, height); }

    // Draws sourceRect of the working picture stretched into targetRect of target with the
    // plain stretch; the parts of sourceRect beyond the working picture give white (an
    // empty sourceRect gives white throughout), target pixels beyond target are skipped.
    // With equal sizes this is a 1:1 copy.
    void Draw(QImage& target, const QRect& targetRect, const Rect64& sourceRect) const;
    // Draws the whole working picture reduced into targetRect of target with the area
    // average (target pixels beyond target are skipped): each pixel is the average of the
    // working pixels it covers, which are source pixels, so a picture the working picture
    // stands in for at a larger size (a reduced decode) gives nearly what the full one would.
    // For a targetRect smaller than the working picture; an empty working picture gives white.
    void Average(QImage& target, const QRect& targetRect) const;

private:
    // The source index for target pixels first .. first + out.size() - 1 of a span of n
    // that takes the working span [begin, begin + m) (m below 2^31), on a working side of
    // workingSize pixels made from sourceSize source pixels; -1 is white.
    static void compose(std::vector<int>& out, int first, int n, std::int64_t begin, std::int64_t m,
                        int workingSize, int sourceSize);

    const QImage* source = nullptr;
    int width = 0;
    int height = 0;
    // Kept between reads, so that a glass redraw allocates nothing.
    mutable std::vector<int> columns;
    mutable std::vector<int> rows;
};
