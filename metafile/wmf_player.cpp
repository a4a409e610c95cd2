// Windows metafiles: 16-bit records played into the shared device context. Record
// parameters mostly come last-first (y before x, bottom before top).
#include "metafile/metafile_player.h"

#include "metafile/metafile_charset.h"
#include "metafile/metafile_dc.h"
#include "metafile/metafile_dib.h"
#include "metafile/metafile_reader.h"
#include "metafile/wmf_records.h"
#include "store/picture_limits.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace {

constexpr std::uint32_t placeableKey = 0x9AC6CDD7;
constexpr std::uint32_t etoOpaque = 0x2;
constexpr std::uint32_t etoClipped = 0x4;

struct WmfHeader
{
    QSize size;
    QRectF frame; // logical units: what the picture shows
    // A plain file without a window extent: the frame is the box, on the device, of what
    // the records draw (measured by playing them without drawing).
    bool drawnExtent = false;
    int objects = 0;
    std::size_t recordsStart = 0;
};

std::span<const std::uint8_t> asBytes(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

// Calls visit(function, parameters) for each record until EOF, a record whose size does
// not fit in the file, or visit returning false.
template<typename Visit>
void forEachRecord(std::span<const std::uint8_t> bytes, std::size_t start, Visit visit)
{
    MetafileReader reader(bytes);
    reader.seek(start);
    while (reader.remaining() >= 6) {
        const std::uint64_t words = reader.u32();
        const std::uint16_t function = reader.u16();
        if (words < 3 || !reader.has(words * 2 - 6))
            return;
        MetafileReader parameters(reader.take(static_cast<std::size_t>(words * 2 - 6)));
        if (function == 0 || !visit(function, parameters))
            return;
    }
}

// The records that create an object in the lowest free slot.
bool createsObject(std::uint16_t function)
{
    switch (function) {
    case wmf::CREATEPENINDIRECT:
    case wmf::CREATEBRUSHINDIRECT:
    case wmf::CREATEFONTINDIRECT:
    case wmf::DIBCREATEPATTERNBRUSH:
    case wmf::CREATEPATTERNBRUSH:
    case wmf::CREATEPALETTE:
    case wmf::CREATEREGION:
        return true;
    default:
        return false;
    }
}

std::optional<WmfHeader> readHeader(std::span<const std::uint8_t> bytes)
{
    MetafileReader reader(bytes);
    WmfHeader header;
    bool placeable = false;
    if (reader.has(4) && reader.u32() == placeableKey) {
        placeable = true;
        reader.u16();
        const int left = reader.i16();
        const int top = reader.i16();
        const int right = reader.i16();
        const int bottom = reader.i16();
        const int inch = reader.u16();
        reader.skip(6);
        if (!reader.ok() || inch == 0)
            return std::nullopt;
        header.frame = QRectF(left, top, right - left, bottom - top);
        header.size = QSize(static_cast<int>(std::lround(std::abs(right - left) * 96.0 / inch)),
                            static_cast<int>(std::lround(std::abs(bottom - top) * 96.0 / inch)));
    } else {
        reader.seek(0);
    }
    const std::uint16_t type = reader.u16();
    const std::uint16_t headerWords = reader.u16();
    reader.u16();
    reader.u32();
    header.objects = reader.u16();
    reader.u32();
    reader.u16();
    if (!reader.ok() || (type != 1 && type != 2) || headerWords != 9)
        return std::nullopt;
    header.recordsStart = reader.position();

    if (!placeable) {
        // Without a placeable header the window the records set up is the picture.
        std::optional<QPointF> origin;
        std::optional<QPointF> extent;
        forEachRecord(bytes, header.recordsStart, [&](std::uint16_t function, MetafileReader& r) {
            if (function == wmf::SETWINDOWORG && !origin) {
                const double y = r.i16();
                origin = QPointF(r.i16(), y);
            } else if (function == wmf::SETWINDOWEXT) {
                const double y = r.i16();
                extent = QPointF(r.i16(), y);
            }
            return r.ok() && !extent;
        });
        if (!extent) {
            header.drawnExtent = true;
            return header;
        }
        const QPointF from = origin.value_or(QPointF(0, 0));
        header.frame = QRectF(from.x(), from.y(), extent->x(), extent->y());
        header.size = QSize(static_cast<int>(std::abs(extent->x())),
                            static_cast<int>(std::abs(extent->y())));
    }
    if (!FitsPictureLimit(header.size.width(), header.size.height()))
        return std::nullopt;
    return header;
}

QPointF readPoint(MetafileReader& r)
{
    const double y = r.i16();
    return QPointF(r.i16(), y);
}

QRectF readBox(MetafileReader& r)
{
    const double bottom = r.i16();
    const double right = r.i16();
    const double top = r.i16();
    const double left = r.i16();
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QPolygonF readPoints(MetafileReader& r, std::uint64_t count)
{
    QPolygonF points;
    if (!r.has(count, 4)) {
        r.skip(r.remaining() + 1);
        return points;
    }
    points.reserve(static_cast<qsizetype>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const double x = r.i16();
        points.append(QPointF(x, r.i16()));
    }
    return points;
}

// A region object: scans of left/right pairs between a top and a bottom.
std::optional<QRegion> readRegion(MetafileReader& r)
{
    r.skip(8);
    const int scans = r.i16();
    r.skip(10);
    if (!r.ok() || scans < 0)
        return std::nullopt;
    QRegion region;
    std::vector<QRect> boxes;
    for (int s = 0; s < scans; ++s) {
        const int count = r.u16();
        const int top = r.i16();
        const int bottom = r.i16();
        if (!r.has(count / 2, 4))
            return std::nullopt;
        for (int i = 0; i < count / 2; ++i) {
            const int left = r.i16();
            const int right = r.i16();
            if (right > left && bottom > top)
                boxes.emplace_back(QPoint(left, top), QPoint(right - 1, bottom - 1));
        }
        r.u16();
    }
    if (!r.ok())
        return std::nullopt;
    region.setRects(boxes.data(), static_cast<int>(boxes.size()));
    return region;
}

MetafileFont readFont(MetafileReader& r)
{
    MetafileFont font;
    font.height = r.i16();
    font.width = r.i16();
    font.escapement = r.i16();
    r.i16();
    font.weight = r.i16();
    font.italic = r.u8();
    font.underline = r.u8();
    font.strikeOut = r.u8();
    font.charset = r.u8();
    r.skip(3); // precisions and quality
    font.pitchAndFamily = r.u8();
    const auto face = r.take(std::min<std::size_t>(32, r.remaining()));
    std::size_t length = 0;
    while (length < face.size() && face[length] != 0)
        ++length;
    font.faceName = DecodeMetafileBytes(face.first(length), font.charset);
    return font;
}

// The old pattern brush: a device bitmap's header (type, width, height, bytes a row, planes,
// bits a pixel, a pointer) and 18 reserved bytes, then its rows top down. One-bit patterns
// paint in the text and background colours; 24- and 32-bit ones in their own. A depth
// that needs the device's palette gives an empty brush.
MetafileBrush oldPatternBrush(MetafileReader& r)
{
    MetafileBrush brush {1, Qt::black, 0, {}};
    r.u16();
    const int width = r.i16();
    const int height = r.i16();
    const int rowBytes = r.i16();
    const int planes = r.u8();
    const int depth = r.u8();
    r.skip(4 + 18);
    if (!r.ok() || width <= 0 || height <= 0 || planes != 1 || width > 4096 || height > 4096
        || (depth != 1 && depth != 24 && depth != 32) || rowBytes < (width * depth + 7) / 8
        || !r.has(static_cast<std::uint64_t>(rowBytes) * height))
        return brush;
    QImage pattern(width, height, depth == 1 ? QImage::Format_Mono : QImage::Format_RGB32);
    if (pattern.isNull())
        return brush;
    for (int y = 0; y < height; ++y) {
        const auto row = r.take(static_cast<std::size_t>(rowBytes));
        if (depth == 1) {
            std::memcpy(pattern.scanLine(y), row.data(), static_cast<std::size_t>((width + 7) / 8));
            continue;
        }
        auto* to = reinterpret_cast<QRgb*>(pattern.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* at = row.data() + x * depth / 8;
            to[x] = qRgb(at[2], at[1], at[0]);
        }
    }
    brush.style = 3;
    brush.pattern = pattern;
    brush.monochrome = depth == 1;
    return brush;
}

class WmfPlayer
{
public:
    WmfPlayer(MetafileDC& context)
        : dc(context)
    {
    }

    // A damaged record (its contents inconsistent with its size) is left out; one that
    // creates an object still takes its slot.
    void play(std::uint16_t function, MetafileReader& r)
    {
        if (!record(function, r) && createsObject(function))
            dc.addObject(MetafileUnusable {});
    }

private:
    // False when the record is damaged.
    bool record(std::uint16_t function, MetafileReader& r);
    // Each group plays the records it knows (false when one is damaged) and gives nothing for
    // the others.
    std::optional<bool> statesAndMapping(std::uint16_t function, MetafileReader& r);
    std::optional<bool> drawing(std::uint16_t function, MetafileReader& r);
    std::optional<bool> clippingAndRegions(std::uint16_t function, MetafileReader& r);
    std::optional<bool> objects(std::uint16_t function, MetafileReader& r);
    const MetafileRegion* regionAt(std::uint32_t index)
    {
        const MetafileObject* found = dc.object(index);
        return found ? std::get_if<MetafileRegion>(found) : nullptr;
    }
    const MetafileBrush* brushAt(std::uint32_t index)
    {
        const MetafileObject* found = dc.object(index);
        return found ? std::get_if<MetafileBrush>(found) : nullptr;
    }
    MetafileDib packedBitmap(std::span<const std::uint8_t> packed)
    {
        if (!dc.spend(DibDecodeWork(packed)))
            return {};
        return DecodePackedDib(packed);
    }
    bool bitmap(std::uint16_t function, MetafileReader& r);
    bool text(MetafileReader& r, bool extended);

    MetafileDC& dc;
};

bool WmfPlayer::record(std::uint16_t function, MetafileReader& r)
{
    for (auto group : {&WmfPlayer::statesAndMapping, &WmfPlayer::drawing,
                       &WmfPlayer::clippingAndRegions, &WmfPlayer::objects})
        if (const std::optional<bool> played = (this->*group)(function, r))
            return *played;
    // Escapes, palettes, flood fills and what is unknown draw nothing.
    return r.ok();
}

// The mapping between the picture's logical and output coordinates, the saved states, the
// drawing modes and colours.
std::optional<bool> WmfPlayer::statesAndMapping(std::uint16_t function, MetafileReader& r)
{
    MetafileState& s = dc.state();
    switch (function) {
    case wmf::SETMAPMODE:
        dc.setMapMode(r.u16());
        break;
    case wmf::SETWINDOWORG:
        s.windowOrg = readPoint(r);
        break;
    case wmf::SETWINDOWEXT:
        dc.setWindowExt(readPoint(r));
        break;
    case wmf::SETVIEWPORTORG:
        s.viewportOrg = readPoint(r);
        break;
    case wmf::SETVIEWPORTEXT:
        dc.setViewportExt(readPoint(r));
        break;
    case wmf::OFFSETWINDOWORG:
        s.windowOrg += readPoint(r);
        break;
    case wmf::OFFSETVIEWPORTORG:
        s.viewportOrg += readPoint(r);
        break;
    case wmf::SCALEWINDOWEXT:
    case wmf::SCALEVIEWPORTEXT: {
        const double yDenom = r.i16();
        const double yNum = r.i16();
        const double xDenom = r.i16();
        const double xNum = r.i16();
        if (r.ok() && xDenom != 0 && yDenom != 0) {
            QPointF& ext = function == wmf::SCALEWINDOWEXT ? s.windowExt : s.viewportExt;
            const QPointF scaled(ext.x() * xNum / xDenom, ext.y() * yNum / yDenom);
            function == wmf::SCALEWINDOWEXT ? dc.setWindowExt(scaled) : dc.setViewportExt(scaled);
        }
        break;
    }
    case wmf::SAVEDC:
        dc.saveState();
        break;
    case wmf::RESTOREDC:
        dc.restoreState(r.i16());
        break;
    case wmf::SETBKMODE:
        s.bkMode = r.u16();
        break;
    case wmf::SETROP2:
        s.rop2 = r.u16();
        break;
    case wmf::SETPOLYFILLMODE:
        s.polyFillMode = r.u16();
        break;
    case wmf::SETTEXTCHAREXTRA:
        s.charExtra = r.i16();
        break;
    case wmf::SETTEXTALIGN:
        s.textAlign = r.u16();
        break;
    case wmf::SETBKCOLOR:
        s.bkColor = MetafileColor(r.u32());
        break;
    case wmf::SETTEXTCOLOR:
        s.textColor = MetafileColor(r.u32());
        break;
    default:
        return std::nullopt;
    }
    return r.ok();
}

// Lines, shapes, text and bitmaps.
std::optional<bool> WmfPlayer::drawing(std::uint16_t function, MetafileReader& r)
{
    switch (function) {
    case wmf::MOVETO:
        dc.moveTo(readPoint(r));
        break;
    case wmf::LINETO:
        dc.lineTo(readPoint(r));
        break;
    case wmf::POLYLINE:
    case wmf::POLYGON: {
        const QPolygonF points = readPoints(r, r.u16());
        if (!r.ok())
            return false;
        if (function == wmf::POLYLINE)
            dc.polyline(points);
        else
            dc.polygons({points});
        break;
    }
    case wmf::POLYPOLYGON: {
        const int count = r.u16();
        std::vector<int> sizes;
        for (int i = 0; i < count && r.ok(); ++i)
            sizes.push_back(r.u16());
        std::vector<QPolygonF> polygons;
        for (int size : sizes)
            polygons.push_back(readPoints(r, static_cast<std::uint64_t>(size)));
        if (!r.ok())
            return false;
        dc.polygons(polygons);
        break;
    }
    case wmf::RECTANGLE:
    case wmf::ELLIPSE: {
        const QRectF box = readBox(r);
        if (!r.ok())
            return false;
        function == wmf::RECTANGLE ? dc.rectangle(box) : dc.ellipse(box);
        break;
    }
    case wmf::ROUNDRECT: {
        const double h = r.i16();
        const double w = r.i16();
        const QRectF box = readBox(r);
        if (!r.ok())
            return false;
        dc.roundRect(box, QSizeF(w, h));
        break;
    }
    case wmf::ARC:
    case wmf::PIE:
    case wmf::CHORD: {
        const QPointF end = readPoint(r);
        const QPointF start = readPoint(r);
        const QRectF box = readBox(r);
        if (!r.ok())
            return false;
        dc.arc(function == wmf::ARC       ? ArcKind::Arc
                   : function == wmf::PIE ? ArcKind::Pie
                                          : ArcKind::Chord,
               box, start, end);
        break;
    }
    case wmf::SETPIXEL: {
        const QColor color = MetafileColor(r.u32());
        const QPointF at = readPoint(r);
        if (!r.ok())
            return false;
        dc.setPixel(at, color);
        break;
    }
    case wmf::PATBLT: {
        const std::uint32_t rop = r.u32();
        const double h = r.i16();
        const double w = r.i16();
        const QPointF at = readPoint(r);
        if (!r.ok())
            return false;
        dc.patBlt(QRectF(at, QSizeF(w, h)), rop);
        break;
    }
    case wmf::TEXTOUT:
        return text(r, false);
    case wmf::EXTTEXTOUT:
        return text(r, true);
    case wmf::STRETCHDIB:
    case wmf::DIBSTRETCHBLT:
    case wmf::DIBBITBLT:
    case wmf::SETDIBTODEV:
        return bitmap(function, r);
    default:
        return std::nullopt;
    }
    return r.ok();
}

// The clipping area and the records that paint a region object.
std::optional<bool> WmfPlayer::clippingAndRegions(std::uint16_t function, MetafileReader& r)
{
    MetafileState& s = dc.state();
    switch (function) {
    case wmf::INTERSECTCLIPRECT:
    case wmf::EXCLUDECLIPRECT: {
        const QRectF box = readBox(r);
        if (!r.ok())
            return false;
        function == wmf::INTERSECTCLIPRECT ? dc.intersectClipRect(box) : dc.excludeClipRect(box);
        break;
    }
    case wmf::OFFSETCLIPRGN:
        dc.offsetClip(readPoint(r));
        break;
    case wmf::SELECTCLIPREGION: {
        const std::uint32_t index = r.u16();
        if (!r.ok())
            return false;
        const MetafileRegion* region = regionAt(index);
        dc.combineClip(
            region ? std::optional(dc.regionToOutput(region->region, true)) : std::nullopt, 5);
        break;
    }
    case wmf::FILLREGION: {
        const MetafileRegion* region = regionAt(r.u16());
        const MetafileBrush* brush = brushAt(r.u16());
        if (region && brush)
            dc.fillRegion(dc.regionToOutput(region->region, true), *brush);
        break;
    }
    case wmf::FRAMEREGION: {
        const MetafileRegion* region = regionAt(r.u16());
        const MetafileBrush* brush = brushAt(r.u16());
        const double h = r.i16();
        const double w = r.i16();
        if (r.ok() && region && brush)
            dc.frameRegion(dc.regionToOutput(region->region, true), *brush, QSizeF(w, h));
        break;
    }
    case wmf::INVERTREGION:
    case wmf::PAINTREGION: {
        const MetafileRegion* region = regionAt(r.u16());
        if (!region)
            break;
        const QRegion area = dc.regionToOutput(region->region, true);
        function == wmf::INVERTREGION ? dc.invertRegion(area) : dc.fillRegion(area, s.brush);
        break;
    }
    default:
        return std::nullopt;
    }
    return r.ok();
}

// Pens, brushes, fonts, palettes and regions made, selected and deleted.
std::optional<bool> WmfPlayer::objects(std::uint16_t function, MetafileReader& r)
{
    switch (function) {
    case wmf::SELECTOBJECT:
        dc.selectObject(r.u16(), true);
        break;
    case wmf::DELETEOBJECT:
        dc.deleteObject(r.u16());
        break;
    case wmf::CREATEPENINDIRECT: {
        MetafilePen pen;
        pen.style = r.u16();
        pen.width = r.i16();
        r.i16();
        pen.color = MetafileColor(r.u32());
        if (!r.ok())
            return false;
        dc.addObject(pen);
        break;
    }
    case wmf::CREATEBRUSHINDIRECT: {
        MetafileBrush brush;
        brush.style = r.u16();
        brush.color = MetafileColor(r.u32());
        brush.hatch = r.u16();
        if (!r.ok())
            return false;
        dc.addObject(brush);
        break;
    }
    case wmf::CREATEFONTINDIRECT: {
        const MetafileFont font = readFont(r);
        if (!r.ok())
            return false;
        dc.addObject(font);
        break;
    }
    case wmf::DIBCREATEPATTERNBRUSH: {
        r.u16();
        r.u16();
        MetafileBrush brush;
        brush.style = 3;
        brush.pattern = packedBitmap(r.take(r.remaining())).image;
        if (brush.pattern.isNull())
            brush.style = 1;
        dc.addObject(brush);
        break;
    }
    case wmf::CREATEPATTERNBRUSH:
        dc.addObject(oldPatternBrush(r));
        break;
    case wmf::CREATEPALETTE:
        dc.addObject(MetafilePalette {});
        break;
    case wmf::CREATEREGION: {
        const auto region = readRegion(r);
        if (!region)
            return false;
        dc.addObject(MetafileRegion {*region});
        break;
    }
    default:
        return std::nullopt;
    }
    return r.ok();
}

bool WmfPlayer::bitmap(std::uint16_t function, MetafileReader& r)
{
    // The record without a bitmap has one spare word and is a pattern operation.
    const bool withoutBitmap = r.size() == static_cast<std::size_t>(function >> 8) * 2;
    if (function == wmf::SETDIBTODEV) {
        r.skip(4); // colour usage and scan count: the bitmap's own height counts
        const int startScan = r.u16();
        const double ySrc = r.i16();
        const double xSrc = r.i16();
        const double h = r.i16();
        const double w = r.i16();
        const QPointF at = readPoint(r);
        if (!r.ok())
            return false;
        const MetafileDib dib = packedBitmap(r.take(r.remaining()));
        if (!dib.image.isNull()) {
            // The bitmap holds scans rows from startScan up, counted from the bottom.
            const double top = dib.bottomUp ? dib.image.height() - (ySrc - startScan) - h : ySrc;
            dc.drawImageAt(dib.image, QRectF(xSrc, top, w, h), at, 0x00CC0020);
        }
        return true;
    }
    const std::uint32_t rop = r.u32();
    if (function == wmf::STRETCHDIB)
        r.u16();
    double srcH = 0;
    double srcW = 0;
    if (function != 0x0940) {
        srcH = r.i16();
        srcW = r.i16();
    }
    const double ySrc = r.i16();
    const double xSrc = r.i16();
    if (withoutBitmap)
        r.u16();
    const double h = r.i16();
    const double w = r.i16();
    const QPointF at = readPoint(r);
    if (!r.ok())
        return false;
    const QRectF destination(at, QSizeF(w, h));
    if (withoutBitmap) {
        dc.patBlt(destination, rop);
        return true;
    }
    if (function == wmf::DIBBITBLT) {
        srcW = w;
        srcH = h;
    }
    const MetafileDib dib = packedBitmap(r.take(r.remaining()));
    if (dib.image.isNull())
        return true;
    // StretchDIB counts its source from the bitmap's bottom-left corner, like the bitmap's
    // rows; the blit records count from the top of the source device.
    const double top
        = function == wmf::STRETCHDIB && dib.bottomUp ? dib.image.height() - ySrc - srcH : ySrc;
    dc.drawImage(dib.image, QRectF(xSrc, top, srcW, srcH), destination, rop);
    return true;
}

bool WmfPlayer::text(MetafileReader& r, bool extended)
{
    QPointF at;
    int length = 0;
    std::uint32_t options = 0;
    std::optional<QRectF> box;
    if (extended) {
        at = readPoint(r);
        length = r.i16();
        options = r.u16();
        if (options & (etoOpaque | etoClipped)) {
            const double left = r.i16();
            const double top = r.i16();
            const double right = r.i16();
            const double bottom = r.i16();
            box = QRectF(QPointF(left, top), QPointF(right, bottom));
        }
    } else {
        length = r.i16();
    }
    if (!r.ok() || length < 0)
        return false;
    const auto bytes = r.take(static_cast<std::size_t>(length));
    r.skip(static_cast<std::size_t>(length & 1));
    if (!extended)
        at = readPoint(r);
    if (!r.ok())
        return false;
    std::vector<double> advances;
    if (extended && r.has(static_cast<std::uint64_t>(length), 2)) {
        for (int i = 0; i < length; ++i)
            advances.push_back(r.i16());
    }
    const QString decoded = DecodeMetafileBytes(bytes, dc.state().font.charset, &advances);
    dc.text(at, decoded, advances, options, box);
    return true;
}

// 96 pixels per inch for the fixed mapping modes.
const QPointF wmfPixelsPerMm(96 / 25.4, 96 / 25.4);

// The header with the frame and size of a file that sets no window extent found by
// playing its records without drawing.
std::optional<WmfHeader> readFrame(std::span<const std::uint8_t> bytes)
{
    auto header = readHeader(bytes);
    if (!header || !header->drawnExtent)
        return header;
    QImage scratch(1, 1, QImage::Format_RGB32);
    MetafileDC dc(scratch, QTransform(), wmfPixelsPerMm, header->objects);
    dc.measureOnly();
    WmfPlayer player(dc);
    forEachRecord(bytes, header->recordsStart, [&](std::uint16_t function, MetafileReader& r) {
        player.play(function, r);
        return dc.spend(metafileRecordWork);
    });
    const QRectF box = dc.drawnBox();
    const double width = std::ceil(box.width());
    const double height = std::ceil(box.height());
    if (dc.exhausted() || !(width >= 1 && height >= 1)
        || !FitsPictureLimit(static_cast<qint64>(width), static_cast<qint64>(height)))
        return std::nullopt;
    header->frame = box;
    header->size = QSize(static_cast<int>(width), static_cast<int>(height));
    return header;
}

} // namespace

QSize WindowsMetafileSize(const QByteArray& bytes)
{
    const auto header = readFrame(asBytes(bytes));
    return header ? header->size : QSize();
}

QImage PlayWindowsMetafile(const QByteArray& bytes)
{
    const auto data = asBytes(bytes);
    const auto header = readFrame(data);
    if (!header)
        return {};
    QImage picture(header->size, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    picture.fill(Qt::white);
    {
        // Playback starts in the text mode with unit extents, as on the platform.
        MetafileDC dc(picture,
                      header->drawnExtent
                          ? QTransform::fromTranslate(-header->frame.left(), -header->frame.top())
                          : QTransform(),
                      wmfPixelsPerMm, header->objects);
        if (!header->drawnExtent)
            dc.setLogicalFrame(header->frame, QSizeF(header->size));
        WmfPlayer player(dc);
        forEachRecord(data, header->recordsStart, [&](std::uint16_t function, MetafileReader& r) {
            player.play(function, r);
            return dc.spend(metafileRecordWork);
        });
        if (dc.exhausted())
            return {};
    }
    return picture;
}
