#include "metafile/metafile_dc.h"

#include "metafile/metafile_limits.h"

#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t psNull = 5;
constexpr std::uint32_t psInsideFrame = 6;
constexpr std::uint32_t psUserStyle = 7;
constexpr std::uint32_t psAlternate = 8;
constexpr std::uint32_t psGeometric = 0x10000;

constexpr std::uint32_t bsSolid = 0;
constexpr std::uint32_t bsNull = 1;
constexpr std::uint32_t bsHatched = 2;

// The 8 x 8 hatch patterns, one byte a row, the highest bit leftmost.
constexpr std::uint8_t hatchRows[6][8] = {
    {0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00}, // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0xff, 0x08, 0x08, 0x08, 0x08}, // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // HS_DIAGCROSS
};

// The parametric angle (degrees) at which the ray from the centre of box towards point
// meets the ellipse inscribed in box, as QPainterPath::arcTo counts it.
double ellipseAngle(const QRectF& box, QPointF point)
{
    const QPointF c = box.center();
    const double rx = box.width() / 2;
    const double ry = box.height() / 2;
    return std::atan2(-(point.y() - c.y()) * rx, (point.x() - c.x()) * ry) * 180 / M_PI;
}

QPainter::CompositionMode ropMode(int rop2, bool& skip, std::optional<QColor>& fixedColor,
                                  bool& invertColor)
{
    skip = false;
    invertColor = false;
    switch (rop2) {
    case 1: // R2_BLACK
        fixedColor = Qt::black;
        return QPainter::CompositionMode_SourceOver;
    case 16: // R2_WHITE
        fixedColor = Qt::white;
        return QPainter::CompositionMode_SourceOver;
    case 4: // R2_NOTCOPYPEN
        invertColor = true;
        return QPainter::CompositionMode_SourceOver;
    case 6: // R2_NOT
        return QPainter::RasterOp_NotDestination;
    case 7: // R2_XORPEN
        return QPainter::RasterOp_SourceXorDestination;
    case 9: // R2_MASKPEN
        return QPainter::RasterOp_SourceAndDestination;
    case 11: // R2_NOP
        skip = true;
        return QPainter::CompositionMode_SourceOver;
    case 15: // R2_MERGEPEN
        return QPainter::RasterOp_SourceOrDestination;
    default:
        return QPainter::CompositionMode_SourceOver;
    }
}

} // namespace

QColor MetafileColor(std::uint32_t colorRef)
{
    return QColor(colorRef & 0xff, (colorRef >> 8) & 0xff, (colorRef >> 16) & 0xff);
}

MetafileDC::MetafileDC(QImage& output, const QTransform& toDeviceOutput, QPointF resolution,
                       int objectSlots)
    : image(output)
    , painter(&output)
    , deviceToOutput(toDeviceOutput)
    , pixelsPerMm(resolution)
    , objects(static_cast<std::size_t>(std::clamp(objectSlots, 0, maxMetafileObjects)))
    , budget(metafileWorkBudget
             + metafileWorkPerPicturePixel * static_cast<double>(output.width()) * output.height())
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

bool MetafileDC::spend(double work)
{
    spent += work;
    return !exhausted();
}

bool MetafileDC::admit(const QRectF& outputArea, double cost)
{
    if (measuring) {
        if (WithinCoordinateLimit(outputArea))
            drawn |= outputArea.normalized();
        return false;
    }
    QRectF shown = outputArea.normalized() & QRectF(image.rect());
    if (current.clipped)
        shown &= QRectF(current.clip.boundingRect());
    return spend(metafileDrawingWork + cost * shown.width() * shown.height());
}

void MetafileDC::saveState()
{
    if (saved.size() < static_cast<std::size_t>(maxSavedStates))
        saved.push_back(current);
}

void MetafileDC::restoreState(int which)
{
    // Negative counts back from the latest save; positive names a save by its number.
    const auto count = static_cast<long long>(saved.size());
    const long long index = which < 0 ? count + which : static_cast<long long>(which) - 1;
    if (which == 0 || index < 0 || index >= count)
        return;
    current = saved[static_cast<std::size_t>(index)];
    saved.resize(static_cast<std::size_t>(index));
}

void MetafileDC::addObject(MetafileObject object)
{
    // Every slot below firstFree is taken, so a file creating many objects into a big table
    // does not search it from the start each time.
    while (firstFree < objects.size() && objects[firstFree])
        ++firstFree;
    if (firstFree < objects.size())
        objects[firstFree] = std::move(object);
}

void MetafileDC::setObject(std::uint32_t index, MetafileObject object)
{
    if (index < objects.size())
        objects[index] = std::move(object);
}

const MetafileObject* MetafileDC::object(std::uint32_t index) const
{
    if (index >= objects.size() || !objects[index])
        return nullptr;
    return &*objects[index];
}

void MetafileDC::deleteObject(std::uint32_t index)
{
    if (index < objects.size()) {
        objects[index].reset();
        firstFree = std::min<std::size_t>(firstFree, index);
    }
}

bool MetafileDC::selectObject(std::uint32_t index, bool regionIsLogical)
{
    const MetafileObject* chosen = object(index);
    if (!chosen)
        return false;
    if (auto* pen = std::get_if<MetafilePen>(chosen))
        current.pen = *pen;
    else if (auto* brush = std::get_if<MetafileBrush>(chosen))
        current.brush = *brush;
    else if (auto* font = std::get_if<MetafileFont>(chosen))
        current.font = *font;
    else if (auto* region = std::get_if<MetafileRegion>(chosen))
        combineClip(regionToOutput(region->region, regionIsLogical), 5);
    return true;
}

void MetafileDC::selectStockObject(std::uint32_t stock)
{
    static const QColor brushGreys[]
        = {Qt::white, QColor(192, 192, 192), QColor(128, 128, 128), QColor(64, 64, 64), Qt::black};
    if (stock <= 4) {
        current.brush = MetafileBrush {bsSolid, brushGreys[stock], 0, {}};
    } else if (stock == 5) {
        current.brush = MetafileBrush {bsNull, Qt::black, 0, {}};
    } else if (stock == 6 || stock == 7) {
        current.pen = MetafilePen {0, 0, stock == 6 ? Qt::white : Qt::black, false, {}};
    } else if (stock == 8) {
        current.pen = MetafilePen {psNull, 0, Qt::black, false, {}};
    } else if (stock >= 10 && stock <= 17 && stock != 15) {
        MetafileFont font;
        font.faceName = (stock == 10 || stock == 11 || stock == 16) ? QStringLiteral("Courier New")
                                                                    : QStringLiteral("Arial");
        font.height = stock == 17 ? -11 : 16;
        current.font = font;
    }
}

void MetafileDC::setLogicalFrame(const QRectF& frame, QSizeF outputSize)
{
    pendingFrame = {frame, outputSize};
}

void MetafileDC::fixFrame() const
{
    if (!pendingFrame)
        return;
    const auto [headerFrame, size] = *pendingFrame;
    pendingFrame.reset();
    const QRectF window(current.windowOrg, QSizeF(current.windowExt.x(), current.windowExt.y()));
    QTransform fitted;
    if (current.windowExtSet && current.mapMode == 1) {
        // A window without a mapping mode (equation editors write these) maps onto the frame
        // as under the player's anisotropic mode, a y axis pointing up included.
        const QPointF corner = pageTransform().map(window.topLeft());
        fitted = QTransform::fromTranslate(-corner.x(), -corner.y())
            * QTransform::fromScale(size.width() / window.width(), size.height() / window.height());
    } else {
        // The frame's box on the device keeps the device's orientation: a window whose y axis
        // points up draws upright, as on the platform.
        const QRectF frame = current.windowExtSet ? window : headerFrame;
        const QRectF box = pageTransform().mapRect(frame.normalized());
        fitted = QTransform::fromTranslate(-box.left(), -box.top())
            * QTransform::fromScale(size.width() / box.width(), size.height() / box.height());
    }
    deviceToOutput = IsUsableTransform(fitted) ? fitted : QTransform();
}

void MetafileDC::setMapMode(int mode)
{
    if (mode < 1 || mode > 8)
        return;
    // A switch from a fixed mode into a scalable one keeps that mode's scale as its extents.
    if (mode >= 7 && current.mapMode < 7) {
        const QTransform page = pageTransform();
        current.windowExt = QPointF(1, 1);
        current.viewportExt = QPointF(page.m11(), page.m22());
    }
    // Between the two scalable modes the extents stay; any other change forgets them.
    if (mode != current.mapMode && (mode < 7 || current.mapMode < 7))
        current.windowExtSet = false;
    current.mapMode = mode;
}

void MetafileDC::setWindowExt(QPointF ext)
{
    if ((current.mapMode >= 7 || current.mapMode == 1) && ext.x() != 0 && ext.y() != 0) {
        current.windowExt = ext;
        current.windowExtSet = true;
    }
}

void MetafileDC::setViewportExt(QPointF ext)
{
    if (current.mapMode >= 7 && ext.x() != 0 && ext.y() != 0)
        current.viewportExt = ext;
}

bool MetafileDC::setWorldTransform(const QTransform& transform)
{
    if (!IsUsableTransform(transform) || std::abs(transform.m11()) > 1e6
        || std::abs(transform.m22()) > 1e6 || std::abs(transform.m12()) > 1e6
        || std::abs(transform.m21()) > 1e6)
        return false;
    current.world = transform;
    return true;
}

QTransform MetafileDC::pageTransform() const
{
    // Millimetres per logical unit of the metric and English modes (MM_LOMETRIC to MM_TWIPS),
    // whose y axis points up.
    static constexpr double unitMm[] = {0.1, 0.01, 0.254, 0.0254, 25.4 / 1440};
    double sx = 1;
    double sy = 1;
    if (current.mapMode >= 2 && current.mapMode <= 6) {
        sx = pixelsPerMm.x() * unitMm[current.mapMode - 2];
        sy = -pixelsPerMm.y() * unitMm[current.mapMode - 2];
    } else if (current.mapMode == 7 || current.mapMode == 8) {
        // MM_ISOTROPIC takes the smaller scale on both axes, each keeping its direction.
        sx = current.viewportExt.x() / current.windowExt.x();
        sy = current.viewportExt.y() / current.windowExt.y();
        if (current.mapMode == 7) {
            const double both = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(both, sx);
            sy = std::copysign(both, sy);
        }
    }
    return QTransform(sx, 0, 0, sy, current.viewportOrg.x() - current.windowOrg.x() * sx,
                      current.viewportOrg.y() - current.windowOrg.y() * sy);
}

QTransform MetafileDC::toOutput() const
{
    fixFrame();
    return current.world * pageTransform() * deviceToOutput;
}

double MetafileDC::xScale() const
{
    const QTransform t = toOutput();
    return std::hypot(t.m11(), t.m12());
}

double MetafileDC::yScale() const
{
    const QTransform t = toOutput();
    return std::hypot(t.m21(), t.m22());
}

QPen MetafileDC::outputPen() const
{
    const MetafilePen& pen = current.pen;
    const std::uint32_t style = pen.style & 0xf;
    if (style == psNull)
        return Qt::NoPen;
    const bool geometric = !pen.extended || (pen.style & psGeometric);
    double width = geometric ? pen.width * xScale() : 1;
    width = std::clamp(std::round(width), 1.0, metafileCoordinateLimit);
    QPen result(pen.color, width);
    switch (pen.style & 0xf00) {
    case 0x100:
        result.setCapStyle(Qt::SquareCap);
        break;
    case 0x200:
        result.setCapStyle(Qt::FlatCap);
        break;
    default:
        result.setCapStyle(Qt::RoundCap);
        break;
    }
    switch (pen.style & 0xf000) {
    case 0x1000:
        result.setJoinStyle(Qt::BevelJoin);
        break;
    case 0x2000:
        result.setJoinStyle(Qt::MiterJoin);
        // Qt counts the limit from the join point in pen widths, half the platform's ratio.
        result.setMiterLimit(current.miterLimit / 2);
        break;
    default:
        result.setJoinStyle(Qt::RoundJoin);
        break;
    }
    // Dashes: one-pixel pens have the device's fixed pixel pattern; wide old-style pens
    // draw solid; wide extended pens scale the pattern with their width (Qt's unit).
    if (style >= 1 && style <= 4 && (width <= 1 || pen.extended)) {
        static const QList<qreal> pixelDashes[]
            = {{18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
        static const QList<qreal> widthDashes[]
            = {{3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
        result.setDashPattern(width <= 1 ? pixelDashes[style - 1] : widthDashes[style - 1]);
        result.setCapStyle(Qt::FlatCap);
    } else if (style == psAlternate) {
        result.setDashPattern({1, 1});
    } else if (style == psUserStyle && !pen.userDashes.empty()) {
        QList<qreal> dashes;
        for (double length : pen.userDashes)
            dashes.append(std::max(0.1, length * xScale() / width));
        if (dashes.size() % 2)
            dashes.append(dashes.back());
        result.setDashPattern(dashes);
    }
    return result;
}

QBrush MetafileDC::outputBrush(const MetafileBrush& brush) const
{
    switch (brush.style) {
    case bsSolid:
        return brush.color;
    case bsHatched: {
        // The hatch is an 8 x 8 device pattern from the device origin; its gaps take the
        // background colour only while the background mode is opaque.
        QImage tile(8, 8, QImage::Format_ARGB32);
        tile.fill(current.bkMode == 2 ? current.bkColor : QColor(Qt::transparent));
        const auto& rows = hatchRows[brush.hatch < 6 ? brush.hatch : 0];
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                if (rows[y] & (0x80 >> x))
                    tile.setPixelColor(x, y, brush.color);
        return QBrush(tile);
    }
    default:
        if (brush.monochrome) {
            QImage pattern = brush.pattern;
            pattern.setColorTable({current.textColor.rgb(), current.bkColor.rgb()});
            return QBrush(pattern);
        }
        if (!brush.pattern.isNull())
            return QBrush(brush.pattern);
        return Qt::NoBrush;
    }
}

bool MetafileDC::beginPaint()
{
    if (current.rop2 == 11)
        return false;
    painter.resetTransform();
    if (current.clipped)
        painter.setClipRegion(current.clip);
    else
        painter.setClipping(false);
    painter.setBackgroundMode(current.bkMode == 2 ? Qt::OpaqueMode : Qt::TransparentMode);
    painter.setBackground(current.bkColor);
    painter.setOpacity(1);
    return true;
}

void MetafileDC::paint(const QPainterPath& outputPath, bool fill, bool stroke)
{
    const QRectF box = outputPath.controlPointRect();
    const double reach = stroke ? outputPen().widthF() / 2 : 0;
    if (!WithinCoordinateLimit(box) || !admit(box.adjusted(-reach, -reach, reach, reach))
        || !beginPaint())
        return;
    bool skip = false;
    bool invert = false;
    std::optional<QColor> fixed;
    painter.setCompositionMode(ropMode(current.rop2, skip, fixed, invert));
    auto paintColor = [&](QColor color) {
        if (fixed)
            return *fixed;
        if (invert)
            return QColor(255 - color.red(), 255 - color.green(), 255 - color.blue());
        return color;
    };
    if (fill && current.brush.style != bsNull) {
        QPainterPath filled = outputPath;
        filled.setFillRule(current.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        QBrush brush = outputBrush(current.brush);
        if (brush.style() == Qt::SolidPattern)
            brush.setColor(paintColor(brush.color()));
        painter.fillPath(filled, brush);
    }
    if (stroke) {
        QPen pen = outputPen();
        if (pen.style() != Qt::NoPen) {
            pen.setColor(paintColor(pen.color()));
            painter.strokePath(outputPath, pen);
        }
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void MetafileDC::shape(const QPainterPath& outputPath, bool fill)
{
    if (pathOpen)
        path.addPath(outputPath);
    else
        paint(outputPath, fill, true);
}

void MetafileDC::moveTo(QPointF point)
{
    current.current = point;
    if (pathOpen)
        path.moveTo(toOutput().map(point));
}

void MetafileDC::lineTo(QPointF point)
{
    const QTransform t = toOutput();
    if (pathOpen) {
        if (path.elementCount() == 0)
            path.moveTo(t.map(current.current));
        path.lineTo(t.map(point));
    } else {
        QPainterPath line(t.map(current.current));
        line.lineTo(t.map(point));
        paint(line, false, true);
    }
    current.current = point;
}

void MetafileDC::polyline(const QPolygonF& points)
{
    if (points.size() < 2)
        return;
    QPainterPath line;
    line.addPolygon(toOutput().map(points));
    shape(line, false);
}

void MetafileDC::polylineTo(const QPolygonF& points)
{
    if (points.isEmpty())
        return;
    if (pathOpen) {
        for (QPointF point : points)
            lineTo(point);
        return;
    }
    QPolygonF all;
    all.reserve(points.size() + 1);
    all.append(current.current);
    all.append(points);
    polyline(all);
    current.current = points.back();
}

void MetafileDC::polygons(const std::vector<QPolygonF>& polygons)
{
    QPainterPath outline;
    const QTransform t = toOutput();
    for (const QPolygonF& polygon : polygons) {
        if (polygon.size() < 2)
            continue;
        outline.addPolygon(t.map(polygon));
        outline.closeSubpath();
    }
    if (!outline.isEmpty())
        shape(outline, true);
}

void MetafileDC::polyBezier(const QPolygonF& points, bool fromCurrent)
{
    const QTransform t = toOutput();
    QPainterPath curve;
    qsizetype next = 0;
    if (fromCurrent) {
        curve.moveTo(t.map(current.current));
    } else {
        if (points.isEmpty())
            return;
        curve.moveTo(t.map(points[0]));
        next = 1;
    }
    for (; next + 2 < points.size(); next += 3)
        curve.cubicTo(t.map(points[next]), t.map(points[next + 1]), t.map(points[next + 2]));
    if (fromCurrent && next > 0)
        current.current = points[next - 1];
    if (pathOpen && fromCurrent) {
        // Continue the open figure rather than starting a new one at the current point.
        if (path.elementCount() == 0)
            path.moveTo(curve.elementAt(0));
        for (int i = 1; i < curve.elementCount(); i += 3)
            path.cubicTo(curve.elementAt(i), curve.elementAt(i + 1), curve.elementAt(i + 2));
        return;
    }
    shape(curve, false);
}

void MetafileDC::polyDraw(const QPolygonF& points, const std::vector<std::uint8_t>& types)
{
    const QTransform t = toOutput();
    QPainterPath figure(t.map(current.current));
    QPointF start = current.current;
    for (qsizetype i = 0; i < points.size(); ++i) {
        const std::uint8_t type = types[static_cast<std::size_t>(i)];
        switch (type & ~1u) {
        case 6: // PT_MOVETO
            figure.moveTo(t.map(points[i]));
            start = points[i];
            break;
        case 2: // PT_LINETO
            figure.lineTo(t.map(points[i]));
            break;
        case 4: // PT_BEZIERTO, three points
            if (i + 2 >= points.size())
                return;
            figure.cubicTo(t.map(points[i]), t.map(points[i + 1]), t.map(points[i + 2]));
            i += 2;
            break;
        default:
            return;
        }
        current.current = points[i];
        if (type & 1) { // PT_CLOSEFIGURE
            figure.closeSubpath();
            current.current = start;
        }
    }
    shape(figure, false);
}

// The box in output pixels when the mapping keeps axes apart (then rest is identity), or
// the box as given with rest mapping it; either way shapes are built in the box's space.
QRectF MetafileDC::boxToOutput(const QRectF& box, QTransform& rest) const
{
    const QTransform t = toOutput();
    if (t.m12() == 0 && t.m21() == 0) {
        rest = QTransform();
        QRectF mapped = t.mapRect(box.normalized());
        // The platform leaves out the right and bottom edge of a box.
        if (mapped.width() >= 1 && mapped.height() >= 1)
            mapped.adjust(0, 0, -1, -1);
        return mapped;
    }
    rest = t;
    return box.normalized();
}

void MetafileDC::rectangle(const QRectF& box)
{
    QTransform rest;
    const QRectF area = boxToOutput(box, rest);
    QPainterPath outline;
    outline.addRect(area);
    if ((current.pen.style & 0xf) == psInsideFrame) {
        outline = QPainterPath();
        const double inset = std::max(0.0, outputPen().widthF() / 2 - 0.5);
        outline.addRect(area.adjusted(inset, inset, -inset, -inset));
    }
    shape(rest.map(outline), true);
}

void MetafileDC::ellipse(const QRectF& box)
{
    QTransform rest;
    QPainterPath outline;
    outline.addEllipse(boxToOutput(box, rest));
    shape(rest.map(outline), true);
}

void MetafileDC::roundRect(const QRectF& box, QSizeF corner)
{
    QTransform rest;
    const QRectF area = boxToOutput(box, rest);
    QSizeF radius(std::abs(corner.width()) / 2, std::abs(corner.height()) / 2);
    if (rest.isIdentity()) {
        const QTransform t = toOutput();
        radius = QSizeF(radius.width() * std::abs(t.m11()), radius.height() * std::abs(t.m22()));
    }
    radius = radius.boundedTo(QSizeF(area.width() / 2, area.height() / 2));
    QPainterPath outline;
    outline.addRoundedRect(area, radius.width(), radius.height());
    shape(rest.map(outline), true);
}

void MetafileDC::arc(ArcKind kind, const QRectF& box, QPointF start, QPointF end)
{
    QTransform rest;
    const QRectF area = boxToOutput(box, rest);
    if (area.width() <= 0 || area.height() <= 0)
        return;
    const QTransform toArea = rest.isIdentity() ? toOutput() : QTransform();
    double from = ellipseAngle(area, toArea.map(start));
    double to = ellipseAngle(area, toArea.map(end));
    // The direction counts on the device; a mirroring transform left to `rest` turns it.
    bool clockwise = current.arcDirection == 2;
    if (!rest.isIdentity() && rest.determinant() < 0)
        clockwise = !clockwise;
    double sweep = clockwise ? from - to : to - from;
    sweep = std::fmod(sweep, 360.0);
    if (sweep <= 0)
        sweep += 360;
    if (clockwise)
        sweep = -sweep;

    QPainterPath outline;
    if (kind == ArcKind::Pie) {
        outline.moveTo(area.center());
        outline.arcTo(area, from, sweep);
        outline.closeSubpath();
    } else {
        outline.arcMoveTo(area, from);
        outline.arcTo(area, from, sweep);
        if (kind == ArcKind::Chord)
            outline.closeSubpath();
    }
    const QPainterPath mapped = rest.map(outline);
    if (kind == ArcKind::ArcTo) {
        const QTransform t = toOutput();
        QPainterPath joined(t.map(current.current));
        joined.connectPath(mapped);
        current.current = t.inverted().map(joined.currentPosition());
        if (pathOpen) {
            if (path.elementCount() == 0)
                path.moveTo(joined.elementAt(0));
            path.connectPath(joined);
        } else {
            paint(joined, false, true);
        }
        return;
    }
    shape(mapped, kind != ArcKind::Arc);
}

void MetafileDC::angleArc(QPointF center, double radius, double startAngle, double sweepAngle)
{
    if (!std::isfinite(startAngle) || !std::isfinite(sweepAngle) || radius <= 0)
        return;
    const QRectF box(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
    QPainterPath circle;
    circle.arcMoveTo(box, startAngle);
    circle.arcTo(box, startAngle, std::clamp(sweepAngle, -360.0 * 4, 360.0 * 4));
    const QTransform t = toOutput();
    QPainterPath joined(t.map(current.current));
    joined.connectPath(t.map(circle));
    current.current = circle.currentPosition();
    if (pathOpen) {
        if (path.elementCount() == 0)
            path.moveTo(joined.elementAt(0));
        path.connectPath(joined);
    } else {
        paint(joined, false, true);
    }
}

void MetafileDC::beginPath()
{
    pathOpen = true;
    path = QPainterPath();
}

void MetafileDC::abortPath()
{
    pathOpen = false;
    path = QPainterPath();
}

void MetafileDC::closeFigure()
{
    if (pathOpen)
        path.closeSubpath();
}

void MetafileDC::fillPath(bool stroke, bool fill)
{
    pathOpen = false;
    paint(path, fill, stroke);
    path = QPainterPath();
}

void MetafileDC::selectClipPath(int mode)
{
    pathOpen = false;
    const bool winding = current.polyFillMode == 2;
    const QPainterPath area = path;
    path = QPainterPath();
    if (!WithinCoordinateLimit(area.controlPointRect()))
        return;
    // Each closed figure becomes a region; overlapping figures cancel under the alternate
    // fill mode and join under the winding one.
    QRegion clip;
    // Figures are first cut to the picture: a region is made scan line by scan line, and a
    // figure far larger than the picture would take that many lines.
    const QPolygonF picture(QRectF(image.rect()).adjusted(-2, -2, 2, 2));
    for (const QPolygonF& figure : area.toSubpathPolygons()) {
        const QPolygonF visible = picture.boundingRect().contains(figure.boundingRect())
            ? figure
            : figure.intersected(picture);
        const QRegion part(visible.toPolygon(), winding ? Qt::WindingFill : Qt::OddEvenFill);
        clip = winding ? clip.united(part) : clip.xored(part);
    }
    combineClip(clip, mode);
}
