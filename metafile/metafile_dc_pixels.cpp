// The metafile device context's pixel work: single pixels, bitmaps with their raster
// operations, regions and the clipping region.
#include "metafile/metafile_dc.h"

#include "metafile/metafile_limits.h"

#include <QLinearGradient>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr std::uint32_t bsNull = 1;

// How a bitmap is drawn under a raster operation that uses it: the composition mode, and
// whether the bitmap is inverted first.
struct SourceOperation
{
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    bool invert = false;
};

// None for a raster operation that ignores the source.
std::optional<SourceOperation> sourceOperation(std::uint32_t rop)
{
    switch (rop) {
    case 0x00CC0020: // SRCCOPY
        return SourceOperation {};
    case 0x008800C6: // SRCAND
        return SourceOperation {QPainter::RasterOp_SourceAndDestination};
    case 0x00EE0086: // SRCPAINT
        return SourceOperation {QPainter::RasterOp_SourceOrDestination};
    case 0x00660046: // SRCINVERT
        return SourceOperation {QPainter::RasterOp_SourceXorDestination};
    case 0x00440328: // SRCERASE
        return SourceOperation {QPainter::RasterOp_SourceAndNotDestination};
    case 0x00330008: // NOTSRCCOPY
        return SourceOperation {QPainter::CompositionMode_SourceOver, true};
    case 0x001100A6: // NOTSRCERASE
        return SourceOperation {QPainter::RasterOp_NotSourceAndNotDestination};
    case 0x00BB0226: // MERGEPAINT
        return SourceOperation {QPainter::RasterOp_NotSourceOrDestination};
    default:
        return std::nullopt;
    }
}

} // namespace

void MetafileDC::setPixel(QPointF point, const QColor& color)
{
    const QPointF at = toOutput().map(point);
    if (!WithinCoordinateLimit(QRectF(at, QSizeF(1, 1))) || !admit(QRectF(at, QSizeF(1, 1)))
        || !beginPaint())
        return;
    painter.fillRect(QRectF(std::floor(at.x()), std::floor(at.y()), 1, 1), color);
}

void MetafileDC::drawImage(const QImage& picture, const QRectF& source, const QRectF& destination,
                           std::uint32_t rop, double opacity)
{
    if (source.width() == 0 || source.height() == 0 || destination.width() == 0
        || destination.height() == 0)
        return;
    drawImageMapped(picture, source,
                    QTransform::fromScale(destination.width() / source.width(),
                                          destination.height() / source.height())
                        * QTransform::fromTranslate(destination.x(), destination.y()),
                    rop, opacity);
}

void MetafileDC::drawImageMapped(const QImage& picture, const QRectF& source,
                                 const QTransform& sourceToLogical, std::uint32_t rop,
                                 double opacity)
{
    const QRectF within = source.normalized().intersected(QRectF(picture.rect()));
    if (within.isEmpty() || source.width() == 0 || source.height() == 0)
        return;
    const QTransform placement
        = QTransform::fromTranslate(-source.x(), -source.y()) * sourceToLogical * toOutput();
    if (!IsUsableTransform(placement) || !WithinCoordinateLimit(placement.mapRect(within)))
        return;
    const std::optional<SourceOperation> operation = sourceOperation(rop);
    if (!operation) {
        // A raster operation that ignores the source paints the pattern over the box.
        QPainterPath box;
        box.addRect(QRectF(QPointF(0, 0), source.size()));
        patBlt(sourceToLogical.map(box).boundingRect(), rop);
        return;
    }
    // Scaled bitmaps cost a few times a plain fill on each pixel they cover.
    if (!admit(placement.mapRect(within), 4) || !beginPaint())
        return;
    QImage shown = picture;
    if (operation->invert) {
        shown = picture.convertToFormat(QImage::Format_RGB32);
        shown.invertPixels();
    }
    painter.setTransform(placement);
    painter.setCompositionMode(operation->mode);
    painter.setOpacity(opacity);
    painter.drawImage(within.topLeft(), shown, within);
    painter.setOpacity(1);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.resetTransform();
}

void MetafileDC::drawImageAt(const QImage& picture, const QRectF& source, QPointF destination,
                             std::uint32_t rop)
{
    // Unstretched: one bitmap pixel is one device pixel, whatever the logical mapping.
    const QTransform t = toOutput(); // fixes deviceToOutput first
    const QPointF at = t.map(destination);
    const double sx = std::hypot(deviceToOutput.m11(), deviceToOutput.m12());
    const double sy = std::hypot(deviceToOutput.m21(), deviceToOutput.m22());
    const QTransform back = t.inverted();
    const QRectF outputBox(at, QSizeF(source.width() * sx, source.height() * sy));
    drawImage(picture, source, back.mapRect(outputBox), rop);
}

void MetafileDC::patBlt(const QRectF& box, std::uint32_t rop)
{
    const QPainterPath area = toOutput().map([&] {
        QPainterPath p;
        p.addRect(box.normalized());
        return p;
    }());
    if (!WithinCoordinateLimit(area.controlPointRect()) || !admit(area.controlPointRect())
        || !beginPaint())
        return;
    switch (rop) {
    case 0x00F00021: // PATCOPY
        if (current.brush.style != bsNull)
            painter.fillPath(area, outputBrush(current.brush));
        break;
    case 0x005A0049: // PATINVERT
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillPath(area, outputBrush(current.brush));
        break;
    case 0x00550009: // DSTINVERT
        painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        painter.fillPath(area, Qt::black);
        break;
    case 0x00000042: // BLACKNESS
        painter.fillPath(area, Qt::black);
        break;
    case 0x00FF0062: // WHITENESS
        painter.fillPath(area, Qt::white);
        break;
    default:
        break;
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void MetafileDC::gradientRect(const QRectF& box, const QColor& from, const QColor& to,
                              bool vertical)
{
    const QRectF area = toOutput().mapRect(box.normalized());
    if (!WithinCoordinateLimit(area) || !admit(area, 2) || !beginPaint())
        return;
    QLinearGradient shade(area.topLeft(), vertical ? area.bottomLeft() : area.topRight());
    shade.setColorAt(0, from);
    shade.setColorAt(1, to);
    painter.fillRect(area, shade);
}

void MetafileDC::shadedTriangle(const QPolygonF& corners, const QColor (&colors)[3])
{
    const QPolygonF triangle = toOutput().map(corners);
    // Each pixel's colour is worked out on its own, several times a plain fill.
    if (triangle.size() != 3 || !WithinCoordinateLimit(triangle.boundingRect())
        || !admit(triangle.boundingRect(), 8))
        return;
    const QRect area = triangle.boundingRect().toAlignedRect().intersected(image.rect());
    const QPointF a = triangle[0];
    const QPointF b = triangle[1];
    const QPointF c = triangle[2];
    const double det = (b.y() - c.y()) * (a.x() - c.x()) + (c.x() - b.x()) * (a.y() - c.y());
    if (area.isEmpty() || std::abs(det) < 1e-9 || !beginPaint())
        return;
    QPainterPath outline;
    outline.addPolygon(triangle);
    painter.setClipPath(outline, current.clipped ? Qt::IntersectClip : Qt::ReplaceClip);
    // Each pixel centre takes its barycentric mix of the corner colours; the weights are
    // linear along a row, so they are stepped rather than worked out anew. The shade is
    // made a band of rows at a time, so that a triangle over a large picture costs a band,
    // not a second picture.
    const double stepA = (b.y() - c.y()) / det;
    const double stepB = (c.y() - a.y()) / det;
    const double channels[3][3] = {{colors[0].redF(), colors[1].redF(), colors[2].redF()},
                                   {colors[0].greenF(), colors[1].greenF(), colors[2].greenF()},
                                   {colors[0].blueF(), colors[1].blueF(), colors[2].blueF()}};
    constexpr int bandRows = 64;
    QImage shade(area.width(), std::min(bandRows, area.height()), QImage::Format_RGB32);
    if (shade.isNull())
        return;
    for (int top = area.top(); top <= area.bottom(); top += bandRows) {
        const int rows = std::min(bandRows, area.bottom() + 1 - top);
        for (int y = 0; y < rows; ++y) {
            auto* row = reinterpret_cast<QRgb*>(shade.scanLine(y));
            const double px = area.left() + 0.5;
            const double py = top + y + 0.5;
            double weightA
                = ((b.y() - c.y()) * (px - c.x()) + (c.x() - b.x()) * (py - c.y())) / det;
            double weightB
                = ((c.y() - a.y()) * (px - c.x()) + (a.x() - c.x()) * (py - c.y())) / det;
            for (int x = 0; x < shade.width(); ++x, weightA += stepA, weightB += stepB) {
                const double wa = std::clamp(weightA, 0.0, 1.0);
                const double wb = std::clamp(weightB, 0.0, 1.0 - wa);
                const double wc = 1.0 - wa - wb;
                auto mix = [&](const double(&channel)[3]) {
                    return static_cast<int>(
                        255 * (channel[0] * wa + channel[1] * wb + channel[2] * wc) + 0.5);
                };
                row[x] = qRgb(mix(channels[0]), mix(channels[1]), mix(channels[2]));
            }
        }
        painter.drawImage(QPoint(area.left(), top), shade, QRect(0, 0, shade.width(), rows));
    }
}

QRegion MetafileDC::regionToOutput(const QRegion& region, bool regionIsLogical) const
{
    fixFrame();
    const QTransform t = regionIsLogical ? pageTransform() * deviceToOutput : deviceToOutput;
    if (t.isIdentity())
        return region;
    QRegion mapped;
    for (const QRect& box : region) {
        const QRectF area = t.mapRect(QRectF(box));
        if (WithinCoordinateLimit(area))
            mapped += area.toRect();
    }
    return mapped;
}

void MetafileDC::fillRegion(const QRegion& outputRegion, const MetafileBrush& brush)
{
    if (brush.style == bsNull || !admit(outputRegion.boundingRect()) || !beginPaint())
        return;
    const QBrush fill = outputBrush(brush);
    for (const QRect& box : outputRegion)
        painter.fillRect(box, fill);
}

void MetafileDC::frameRegion(const QRegion& outputRegion, const MetafileBrush& brush,
                             QSizeF logical)
{
    // Frame sizes are cut to 64K pixels before they become integers.
    const auto pixels = [](double size) {
        return static_cast<int>(std::clamp(std::round(size), 1.0, 65536.0));
    };
    const int w = pixels(std::abs(logical.width()) * xScale());
    const int h = pixels(std::abs(logical.height()) * yScale());
    // The frame is the region less the region shrunk by the frame's width and height.
    const QRegion inner = outputRegion & outputRegion.translated(w, 0)
        & outputRegion.translated(-w, 0) & outputRegion.translated(0, h)
        & outputRegion.translated(0, -h);
    fillRegion(outputRegion - inner, brush);
}

void MetafileDC::invertRegion(const QRegion& outputRegion)
{
    if (!admit(outputRegion.boundingRect()) || !beginPaint())
        return;
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    for (const QRect& box : outputRegion)
        painter.fillRect(box, Qt::black);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void MetafileDC::intersectClipRect(const QRectF& box)
{
    const QRectF area = toOutput().mapRect(box.normalized());
    if (!WithinCoordinateLimit(area))
        return;
    combineClip(QRegion(area.toRect()), 1);
}

void MetafileDC::excludeClipRect(const QRectF& box)
{
    const QRectF area = toOutput().mapRect(box.normalized());
    if (!WithinCoordinateLimit(area))
        return;
    combineClip(QRegion(area.toRect()), 4);
}

void MetafileDC::combineClip(const std::optional<QRegion>& outputRegion, int mode)
{
    if (!outputRegion) {
        if (mode == 5)
            current.clipped = false;
        return;
    }
    const QRegion base = current.clipped ? current.clip : QRegion(image.rect());
    switch (mode) {
    case 1:
        current.clip = base & *outputRegion;
        break;
    case 2:
        current.clip = base | *outputRegion;
        break;
    case 3:
        current.clip = base ^ *outputRegion;
        break;
    case 4:
        current.clip = base - *outputRegion;
        break;
    case 5:
        current.clip = *outputRegion;
        break;
    default:
        return;
    }
    current.clipped = true;
}

void MetafileDC::offsetClip(QPointF logicalOffset)
{
    if (!current.clipped)
        return;
    const QTransform t = toOutput();
    const QPointF shift = t.map(logicalOffset) - t.map(QPointF(0, 0));
    if (WithinCoordinateLimit(QRectF(shift, QSizeF(1, 1))))
        current.clip.translate(shift.toPoint());
}
