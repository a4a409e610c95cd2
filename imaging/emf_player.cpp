// Enhanced metafiles: 32-bit records played into the shared device context. The records'
// device is the reference device of the header; the frame, converted to its pixels, is
// stretched over the output picture.
#include "imaging/metafile_player.h"

#include "imaging/emf_player.h"
#include "imaging/picture_limits.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t emfSignature = 0x464D4520;

struct EmfHeader
{
    QSize size;
    QTransform deviceToOutput;
    QPointF pixelsPerMm;
    int handles = 0;
    std::size_t recordsStart = 0;
};

std::span<const std::uint8_t> asBytes(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

std::optional<EmfHeader> readHeader(std::span<const std::uint8_t> bytes)
{
    MetafileReader reader(bytes);
    const std::uint32_t type = reader.u32();
    const std::uint32_t size = reader.u32();
    ReadEmfRect(reader);
    const std::int64_t frameLeft = reader.i32();
    const std::int64_t frameTop = reader.i32();
    const std::int64_t frameRight = reader.i32();
    const std::int64_t frameBottom = reader.i32();
    const std::uint32_t signature = reader.u32();
    reader.skip(12);
    const int handles = reader.u16();
    reader.skip(14);
    const double devicePixelsX = reader.i32();
    const double devicePixelsY = reader.i32();
    const double deviceMmX = reader.i32();
    const double deviceMmY = reader.i32();
    if (!reader.ok() || type != 1 || signature != emfSignature || size < 88 || size % 4
        || size > bytes.size() || devicePixelsX <= 0 || devicePixelsY <= 0 || deviceMmX <= 0
        || deviceMmY <= 0)
        return std::nullopt;

    EmfHeader header;
    header.pixelsPerMm = QPointF(devicePixelsX / deviceMmX, devicePixelsY / deviceMmY);
    const double frameX = frameLeft * header.pixelsPerMm.x() / 100;
    const double frameY = frameTop * header.pixelsPerMm.y() / 100;
    const double frameW = (frameRight - frameLeft) * header.pixelsPerMm.x() / 100;
    const double frameH = (frameBottom - frameTop) * header.pixelsPerMm.y() / 100;
    const double w = std::round(frameW);
    const double h = std::round(frameH);
    if (!(w > 0 && h > 0 && w < 1e9 && h < 1e9) || !FitsPictureLimit(qint64(w), qint64(h)))
        return std::nullopt;
    header.size = QSize(static_cast<int>(w), static_cast<int>(h));
    header.deviceToOutput = QTransform::fromTranslate(-frameX, -frameY)
        * QTransform::fromScale(w / frameW, h / frameH);
    header.handles = handles;
    header.recordsStart = size;
    return header;
}

// Region data: a 32-byte header, then its rectangles in device units.
std::optional<QRegion> readRegionData(MetafileReader& r, std::uint32_t byteCount)
{
    MetafileReader data(r.take(byteCount));
    data.skip(8);
    const std::uint32_t count = data.u32();
    data.skip(20);
    if (!data.ok() || !data.has(count, 16))
        return std::nullopt;
    std::vector<QRect> boxes;
    boxes.reserve(count);
    // Rectangles reaching past the coordinate limit are cut to it, so no edge overflows.
    const auto limited = [](std::int32_t value) {
        return static_cast<int>(std::clamp<std::int32_t>(value, -(1 << 24), 1 << 24));
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        const int left = limited(data.i32());
        const int top = limited(data.i32());
        const int right = limited(data.i32());
        const int bottom = limited(data.i32());
        if (right > left && bottom > top)
            boxes.emplace_back(QPoint(left, top), QPoint(right - 1, bottom - 1));
    }
    QRegion region;
    region.setRects(boxes.data(), static_cast<int>(boxes.size()));
    return region;
}

} // namespace

QRectF ReadEmfRect(MetafileReader& r)
{
    const double left = r.i32();
    const double top = r.i32();
    const double right = r.i32();
    const double bottom = r.i32();
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QPointF ReadEmfPoint(MetafileReader& r)
{
    const double x = r.i32();
    return QPointF(x, r.i32());
}

QPolygonF ReadEmfPoints(MetafileReader& r, std::uint64_t count, bool small)
{
    QPolygonF points;
    if (!r.has(count, small ? 4 : 8)) {
        r.skip(r.remaining() + 1);
        return points;
    }
    points.reserve(static_cast<qsizetype>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        if (small) {
            const double x = r.i16();
            points.append(QPointF(x, r.i16()));
        } else {
            points.append(ReadEmfPoint(r));
        }
    }
    return points;
}

bool EmfPlayer::polys(std::uint32_t type, MetafileReader& r, bool small)
{
    ReadEmfRect(r);
    if (type == 7 || type == 8) { // POLYPOLYLINE, POLYPOLYGON
        const std::uint32_t count = r.u32();
        const std::uint32_t total = r.u32();
        if (!r.ok() || !r.has(count, 4))
            return false;
        std::vector<std::uint32_t> sizes(count);
        std::uint64_t sum = 0;
        for (auto& size : sizes) {
            size = r.u32();
            sum += size;
        }
        if (sum != total)
            return false;
        const QPolygonF all = ReadEmfPoints(r, total, small);
        if (!r.ok())
            return false;
        std::vector<QPolygonF> polygons;
        qsizetype at = 0;
        for (std::uint32_t size : sizes) {
            polygons.push_back(all.mid(at, static_cast<qsizetype>(size)));
            at += static_cast<qsizetype>(size);
        }
        if (type == 8) {
            dc.polygons(polygons);
        } else {
            for (const QPolygonF& line : polygons)
                dc.polyline(line);
        }
        return true;
    }
    const QPolygonF points = ReadEmfPoints(r, r.u32(), small);
    if (!r.ok())
        return false;
    switch (type) {
    case 2: // POLYBEZIER
        dc.polyBezier(points, false);
        break;
    case 3: // POLYGON
        dc.polygons({points});
        break;
    case 4: // POLYLINE
        dc.polyline(points);
        break;
    case 5: // POLYBEZIERTO
        dc.polyBezier(points, true);
        break;
    case 6: // POLYLINETO
        dc.polylineTo(points);
        break;
    default:
        break;
    }
    return true;
}

bool EmfPlayer::pen(MetafileReader& r, bool extended)
{
    const std::uint32_t index = r.u32();
    MetafilePen created;
    created.extended = extended;
    if (extended) {
        r.skip(16); // a pattern bitmap: the pen draws in its colour
        created.style = r.u32();
        created.width = r.u32();
        const std::uint32_t brushStyle = r.u32();
        created.color = MetafileColor(r.u32());
        r.u32();
        const std::uint32_t dashes = r.u32();
        if (!r.ok() || !r.has(dashes, 4))
            return false;
        for (std::uint32_t i = 0; i < dashes; ++i)
            created.userDashes.push_back(r.u32());
        if (brushStyle == 1) // BS_NULL
            created.style = (created.style & ~0xfu) | 5;
    } else {
        created.style = r.u32();
        created.width = r.i32();
        r.i32();
        created.color = MetafileColor(r.u32());
    }
    if (!r.ok())
        return false;
    dc.setObject(index, created);
    return true;
}

bool EmfPlayer::font(MetafileReader& r)
{
    const std::uint32_t index = r.u32();
    MetafileFont created;
    created.height = r.i32();
    created.width = r.i32();
    created.escapement = r.i32();
    r.i32();
    created.weight = r.i32();
    created.italic = r.u8();
    created.underline = r.u8();
    created.strikeOut = r.u8();
    created.charset = r.u8();
    r.skip(3); // precisions and quality
    created.pitchAndFamily = r.u8();
    QString face;
    for (int i = 0; i < 32 && r.ok(); ++i) {
        const char16_t unit = r.u16();
        if (unit == 0)
            break;
        face.append(QChar(unit));
    }
    if (!r.ok())
        return false;
    created.faceName = face;
    dc.setObject(index, created);
    return true;
}

void EmfPlayer::play(std::uint32_t type, MetafileReader& r)
{
    if (record(type, r))
        return;
    switch (type) {
    case 38: // CREATEPEN
    case 39: // CREATEBRUSHINDIRECT
    case 49: // CREATEPALETTE
    case 82: // EXTCREATEFONTINDIRECTW
    case 93: // CREATEMONOBRUSH
    case 94: // CREATEDIBPATTERNBRUSHPT
    case 95: // EXTCREATEPEN
        if (r.size() >= 4) {
            MetafileReader index(r.bytes().first(4));
            dc.setObject(index.u32(), MetafileUnusable {});
        }
        break;
    default:
        break;
    }
}

bool EmfPlayer::record(std::uint32_t type, MetafileReader& r)
{
    MetafileState& s = dc.state();
    switch (type) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
        return polys(type, r, false);
    case 85:
    case 86:
    case 87:
    case 88:
    case 89:
    case 90:
    case 91:
        return polys(type - 83, r, true);
    case 56: // POLYDRAW
    case 92: { // POLYDRAW16
        ReadEmfRect(r);
        const std::uint32_t count = r.u32();
        const QPolygonF points = ReadEmfPoints(r, count, type == 92);
        const auto types = r.take(count);
        if (!r.ok())
            return false;
        dc.polyDraw(points, std::vector<std::uint8_t>(types.begin(), types.end()));
        return true;
    }
    case 9: // SETWINDOWEXTEX
        dc.setWindowExt(ReadEmfPoint(r));
        break;
    case 10: // SETWINDOWORGEX
        s.windowOrg = ReadEmfPoint(r);
        break;
    case 11: // SETVIEWPORTEXTEX
        dc.setViewportExt(ReadEmfPoint(r));
        break;
    case 12: // SETVIEWPORTORGEX
        s.viewportOrg = ReadEmfPoint(r);
        break;
    case 31: // SCALEVIEWPORTEXTEX
    case 32: { // SCALEWINDOWEXTEX
        const double xNum = r.i32();
        const double xDenom = r.i32();
        const double yNum = r.i32();
        const double yDenom = r.i32();
        if (r.ok() && xDenom != 0 && yDenom != 0) {
            const QPointF& ext = type == 32 ? s.windowExt : s.viewportExt;
            const QPointF scaled(ext.x() * xNum / xDenom, ext.y() * yNum / yDenom);
            type == 32 ? dc.setWindowExt(scaled) : dc.setViewportExt(scaled);
        }
        break;
    }
    case 15: { // SETPIXELV
        const QPointF at = ReadEmfPoint(r);
        const QColor color = MetafileColor(r.u32());
        if (!r.ok())
            return false;
        dc.setPixel(at, color);
        break;
    }
    case 17: // SETMAPMODE
        dc.setMapMode(static_cast<int>(r.u32()));
        break;
    case 18: // SETBKMODE
        s.bkMode = static_cast<int>(r.u32());
        break;
    case 19: // SETPOLYFILLMODE
        s.polyFillMode = static_cast<int>(r.u32());
        break;
    case 20: // SETROP2
        s.rop2 = static_cast<int>(r.u32());
        break;
    case 22: // SETTEXTALIGN
        s.textAlign = r.u32();
        break;
    case 24: // SETTEXTCOLOR
        s.textColor = MetafileColor(r.u32());
        break;
    case 25: // SETBKCOLOR
        s.bkColor = MetafileColor(r.u32());
        break;
    case 26: // OFFSETCLIPRGN
        dc.offsetClip(ReadEmfPoint(r));
        break;
    case 27: // MOVETOEX
        dc.moveTo(ReadEmfPoint(r));
        break;
    case 54: // LINETO
        dc.lineTo(ReadEmfPoint(r));
        break;
    case 29: // EXCLUDECLIPRECT
    case 30: { // INTERSECTCLIPRECT
        const QRectF box = ReadEmfRect(r);
        if (!r.ok())
            return false;
        type == 30 ? dc.intersectClipRect(box) : dc.excludeClipRect(box);
        break;
    }
    case 33: // SAVEDC
        dc.saveState();
        break;
    case 34: // RESTOREDC
        dc.restoreState(r.i32());
        break;
    case 35: // SETWORLDTRANSFORM
    case 36: { // MODIFYWORLDTRANSFORM
        const double m11 = r.f32();
        const double m12 = r.f32();
        const double m21 = r.f32();
        const double m22 = r.f32();
        const double dx = r.f32();
        const double dy = r.f32();
        const std::uint32_t mode = type == 36 ? r.u32() : 4;
        if (!r.ok())
            return false;
        const QTransform given(m11, m12, m21, m22, dx, dy);
        switch (mode) {
        case 1: // MWT_IDENTITY
            dc.setWorldTransform(QTransform());
            break;
        case 2: // MWT_LEFTMULTIPLY: the given transform first
            dc.setWorldTransform(given * s.world);
            break;
        case 3: // MWT_RIGHTMULTIPLY
            dc.setWorldTransform(s.world * given);
            break;
        case 4: // MWT_SET
            dc.setWorldTransform(given);
            break;
        default:
            break;
        }
        break;
    }
    case 37: { // SELECTOBJECT
        const std::uint32_t index = r.u32();
        if (!r.ok())
            return false;
        if (index & 0x80000000u)
            dc.selectStockObject(index & 0x7fffffffu);
        else
            dc.selectObject(index, false);
        break;
    }
    case 40: // DELETEOBJECT
        dc.deleteObject(r.u32());
        break;
    case 38: // CREATEPEN
        return pen(r, false);
    case 95: // EXTCREATEPEN
        return pen(r, true);
    case 39: { // CREATEBRUSHINDIRECT
        const std::uint32_t index = r.u32();
        MetafileBrush brush;
        brush.style = r.u32();
        brush.color = MetafileColor(r.u32());
        brush.hatch = r.u32();
        if (!r.ok())
            return false;
        dc.setObject(index, brush);
        break;
    }
    case 93: // CREATEMONOBRUSH
    case 94: { // CREATEDIBPATTERNBRUSHPT
        const std::uint32_t index = r.u32();
        r.u32();
        const std::uint32_t offBmi = r.u32();
        const std::uint32_t cbBmi = r.u32();
        const std::uint32_t offBits = r.u32();
        const std::uint32_t cbBits = r.u32();
        if (!r.ok())
            return false;
        MetafileBrush brush;
        brush.style = 3;
        brush.pattern = bitmapAt(r, offBmi, cbBmi, offBits, cbBits).image;
        if (brush.pattern.isNull())
            brush.style = 1;
        dc.setObject(index, brush);
        break;
    }
    case 82: // EXTCREATEFONTINDIRECTW
        return font(r);
    case 49: // CREATEPALETTE
        dc.setObject(r.u32(), MetafilePalette {});
        break;
    case 42: // ELLIPSE
    case 43: { // RECTANGLE
        const QRectF box = ReadEmfRect(r);
        if (!r.ok())
            return false;
        type == 42 ? dc.ellipse(box) : dc.rectangle(box);
        break;
    }
    case 44: { // ROUNDRECT
        const QRectF box = ReadEmfRect(r);
        const QPointF corner = ReadEmfPoint(r);
        if (!r.ok())
            return false;
        dc.roundRect(box, QSizeF(corner.x(), corner.y()));
        break;
    }
    case 45: // ARC
    case 46: // CHORD
    case 47: // PIE
    case 55: { // ARCTO
        const QRectF box = ReadEmfRect(r);
        const QPointF start = ReadEmfPoint(r);
        const QPointF end = ReadEmfPoint(r);
        if (!r.ok())
            return false;
        dc.arc(type == 45       ? ArcKind::Arc
                   : type == 46 ? ArcKind::Chord
                   : type == 47 ? ArcKind::Pie
                                : ArcKind::ArcTo,
               box, start, end);
        break;
    }
    case 41: { // ANGLEARC
        const QPointF center = ReadEmfPoint(r);
        const double radius = r.u32();
        const double start = r.f32();
        const double sweep = r.f32();
        if (!r.ok())
            return false;
        dc.angleArc(center, radius, start, sweep);
        break;
    }
    case 58: { // SETMITERLIMIT
        const double limit = r.u32();
        if (r.ok() && limit >= 1)
            s.miterLimit = std::min(limit, 1000.0);
        break;
    }
    case 57: // SETARCDIRECTION
        s.arcDirection = static_cast<int>(r.u32());
        break;
    case 59: // BEGINPATH
        dc.beginPath();
        break;
    case 60: // ENDPATH
        dc.endPath();
        break;
    case 61: // CLOSEFIGURE
        dc.closeFigure();
        break;
    case 62: // FILLPATH
        dc.fillPath(false, true);
        break;
    case 63: // STROKEANDFILLPATH
        dc.fillPath(true, true);
        break;
    case 64: // STROKEPATH
        dc.fillPath(true, false);
        break;
    case 67: // SELECTCLIPPATH
        dc.selectClipPath(static_cast<int>(r.u32()));
        break;
    case 68: // ABORTPATH
        dc.abortPath();
        break;
    case 71: // FILLRGN
    case 72: { // FRAMERGN
        ReadEmfRect(r);
        const std::uint32_t size = r.u32();
        const std::uint32_t brushIndex = r.u32();
        QSizeF frame;
        if (type == 72) {
            const QPointF w = ReadEmfPoint(r);
            frame = QSizeF(w.x(), w.y());
        }
        const auto region = readRegionData(r, size);
        if (!r.ok() || !region)
            return false;
        const MetafileObject* found = dc.object(brushIndex);
        const MetafileBrush* brush = found ? std::get_if<MetafileBrush>(found) : nullptr;
        if (brush) {
            const QRegion area = dc.regionToOutput(*region, false);
            type == 71 ? dc.fillRegion(area, *brush) : dc.frameRegion(area, *brush, frame);
        }
        break;
    }
    case 73: // INVERTRGN
    case 74: { // PAINTRGN
        ReadEmfRect(r);
        const auto region = readRegionData(r, r.u32());
        if (!r.ok() || !region)
            return false;
        const QRegion area = dc.regionToOutput(*region, false);
        type == 73 ? dc.invertRegion(area) : dc.fillRegion(area, s.brush);
        break;
    }
    case 75: { // EXTSELECTCLIPRGN
        const std::uint32_t size = r.u32();
        const int mode = static_cast<int>(r.u32());
        if (!r.ok())
            return false;
        if (size == 0) {
            dc.combineClip(std::nullopt, mode);
            break;
        }
        const auto region = readRegionData(r, size);
        if (!r.ok() || !region)
            return false;
        dc.combineClip(dc.regionToOutput(*region, false), mode);
        break;
    }
    case 76: // BITBLT
    case 77: // STRETCHBLT
    case 80: // SETDIBITSTODEVICE
    case 81: // STRETCHDIBITS
    case 114: // ALPHABLEND
    case 116: // TRANSPARENTBLT
        return blit(type, r);
    case 78: // MASKBLT
    case 79: // PLGBLT
        return maskedBlit(type, r);
    case 108: // SMALLTEXTOUT
        return smallText(r);
    case 118: // GRADIENTFILL
        return gradient(r);
    case 83: // EXTTEXTOUTA
    case 84: // EXTTEXTOUTW
        return text(type, r);
    default: // comments (EMF+ among them), palettes and what is unknown draw nothing
        break;
    }
    return r.ok();
}

QSize EnhancedMetafileSize(const QByteArray& bytes)
{
    const auto header = readHeader(asBytes(bytes));
    return header ? header->size : QSize();
}

QImage PlayEnhancedMetafile(const QByteArray& bytes)
{
    const auto data = asBytes(bytes);
    const auto header = readHeader(data);
    if (!header)
        return {};
    QImage picture(header->size, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    picture.fill(Qt::white);
    {
        MetafileDC dc(picture, header->deviceToOutput, header->pixelsPerMm, header->handles);
        EmfPlayer player(dc);
        MetafileReader reader(data);
        reader.seek(header->recordsStart);
        while (reader.remaining() >= 8) {
            const std::uint32_t type = reader.u32();
            const std::uint32_t size = reader.u32();
            if (size < 8 || size % 4 || !reader.has(size - 8))
                break;
            MetafileReader record(reader.take(size - 8));
            if (type == 14) // EOF
                break;
            player.play(type, record);
            if (!dc.spend(metafileRecordWork))
                return {};
        }
    }
    return picture;
}
