#include "viewer/working_picture.h"

#include "imaging/pixel_operations.h"

#include <algorithm>

void WorkingPicture::Reset(const QImage* newSource, int newWidth, int newHeight)
{
    source = newSource;
    width = newWidth;
    height = newHeight;
}

void WorkingPicture::compose(std::vector<int>& out, int first, int n, std::int64_t begin,
                             std::int64_t m, int workingSize, int sourceSize)
{
    for (std::size_t j = 0; j < out.size(); ++j) {
        const std::int64_t i = first + static_cast<std::int64_t>(j);
        // Target pixel i takes working pixel begin + StretchIndex(i, n, m), which takes
        // source pixel StretchIndex(that, workingSize, sourceSize).
        const std::int64_t w = begin + (2 * i + 1) * m / (2 * std::int64_t {n});
        out[j] = w >= 0 && w < workingSize
            ? StretchIndex(static_cast<int>(w), workingSize, sourceSize)
            : -1;
    }
}

void WorkingPicture::Draw(QImage& target, const QRect& targetRect, const Rect64& sourceRect) const
{
    if (target.isNull() || targetRect.isEmpty())
        return;
    // Only the visible part of targetRect needs indices; the mapping of pixel i does not
    // depend on the others, so the clipped spans keep their positions in the whole.
    const QRect visible = targetRect.intersected(target.rect());
    if (visible.isEmpty())
        return;
    const int skipX = visible.x() - targetRect.x();
    const int skipY = visible.y() - targetRect.y();
    const bool empty = !source || source->isNull() || width < 1 || height < 1
        || sourceRect.width() <= 0 || sourceRect.height() <= 0;

    columns.resize(static_cast<std::size_t>(visible.width()));
    rows.resize(static_cast<std::size_t>(visible.height()));
    if (empty) {
        std::fill(columns.begin(), columns.end(), -1);
        std::fill(rows.begin(), rows.end(), -1);
    } else {
        compose(columns, skipX, targetRect.width(), sourceRect.left, sourceRect.width(), width,
                source->width());
        compose(rows, skipY, targetRect.height(), sourceRect.top, sourceRect.height(), height,
                source->height());
    }
    GatherPixels(target, visible.topLeft(), empty ? QImage() : *source, columns, rows);
}

void WorkingPicture::Average(QImage& target, const QRect& targetRect) const
{
    if (target.isNull() || targetRect.isEmpty())
        return;
    const QRect visible = targetRect.intersected(target.rect());
    if (visible.isEmpty())
        return;
    if (!source || source->isNull() || width < 1 || height < 1) {
        Draw(target, targetRect, Rect64 {});
        return;
    }
    const AreaSpans columnSpans = AreaSpansFor(visible.x() - targetRect.x(), visible.width(),
                                               targetRect.width(), width, source->width());
    const AreaSpans rowSpans = AreaSpansFor(visible.y() - targetRect.y(), visible.height(),
                                            targetRect.height(), height, source->height());
    AveragePixels(target, visible.topLeft(), *source, columnSpans, rowSpans);
}
