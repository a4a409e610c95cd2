// Enhanced-metafile records that carry more than coordinates: bitmaps, text and gradients.
#include "imaging/emf_player.h"

#include "imaging/metafile_charset.h"

#include <cmath>

namespace {

constexpr std::uint32_t etoGlyphIndex = 0x10;

// UTF-16 text of the records.
QString utf16(std::span<const std::uint8_t> bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() / 2));
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(char16_t(bytes[i] | (bytes[i + 1] << 8))));
    return text;
}
constexpr std::uint32_t etoPdy = 0x2000;

} // namespace

QString EmfPlayer::wideText(std::span<const std::uint8_t> bytes)
{
    const QString text = utf16(bytes);
    return charset() == symbolCharset ? SymbolFontText(text) : text;
}

bool EmfPlayer::dibitsToDevice(MetafileReader& r, QPointF at, const QRectF& source,
                               std::uint32_t offBmi, std::uint32_t cbBmi, std::uint32_t offBits,
                               std::uint32_t cbBits)
{
    const double startScan = r.u32();
    if (!r.ok())
        return false;
    const MetafileDib dib = bitmapAt(r, offBmi, cbBmi, offBits, cbBits);
    if (dib.image.isNull())
        return true;
    // The bitmap's rows start at startScan, counted from its bottom like the source's y.
    const double top = dib.bottomUp
        ? dib.image.height() - (source.y() - startScan) - source.height()
        : source.y();
    dc.drawImageAt(dib.image, QRectF(source.x(), top, source.width(), source.height()), at,
                   0x00CC0020);
    return true;
}

bool EmfPlayer::blit(std::uint32_t type, MetafileReader& r)
{
    ReadEmfRect(r);
    if (type == 80 || type == 81) {
        // SETDIBITSTODEVICE and STRETCHDIBITS begin alike.
        const QPointF at = ReadEmfPoint(r);
        const double xSrc = r.i32();
        const double ySrc = r.i32();
        const double cxSrc = r.i32();
        const double cySrc = r.i32();
        const std::uint32_t offBmi = r.u32();
        const std::uint32_t cbBmi = r.u32();
        const std::uint32_t offBits = r.u32();
        const std::uint32_t cbBits = r.u32();
        r.u32();
        if (type == 80)
            return dibitsToDevice(r, at, QRectF(xSrc, ySrc, cxSrc, cySrc), offBmi, cbBmi, offBits,
                                  cbBits);
        const std::uint32_t rop = r.u32();
        const double cxDest = r.i32();
        const double cyDest = r.i32();
        if (!r.ok())
            return false;
        const QRectF destination(at, QSizeF(cxDest, cyDest));
        if (cbBmi == 0) {
            dc.patBlt(destination, rop);
            return true;
        }
        const MetafileDib dib = bitmapAt(r, offBmi, cbBmi, offBits, cbBits);
        if (dib.image.isNull())
            return true;
        // The source counts from the bitmap's bottom-left corner, like its rows.
        const double top = dib.bottomUp ? dib.image.height() - ySrc - cySrc : ySrc;
        dc.drawImage(dib.image, QRectF(xSrc, top, cxSrc, cySrc), destination, rop);
        return true;
    }
    // BITBLT, STRETCHBLT, ALPHABLEND, TRANSPARENTBLT share their first fields.
    const QPointF at = ReadEmfPoint(r);
    const double cxDest = r.i32();
    const double cyDest = r.i32();
    const std::uint32_t rop = r.u32(); // ALPHABLEND: the blend; TRANSPARENTBLT: the key colour
    const double xSrc = r.i32();
    const double ySrc = r.i32();
    QTransform sourceTransform;
    {
        const double m11 = r.f32();
        const double m12 = r.f32();
        const double m21 = r.f32();
        const double m22 = r.f32();
        const double dx = r.f32();
        const double dy = r.f32();
        sourceTransform = QTransform(m11, m12, m21, m22, dx, dy);
    }
    r.u32();
    r.u32();
    const std::uint32_t offBmi = r.u32();
    const std::uint32_t cbBmi = r.u32();
    const std::uint32_t offBits = r.u32();
    const std::uint32_t cbBits = r.u32();
    double cxSrc = cxDest;
    double cySrc = cyDest;
    if (type != 76) {
        cxSrc = r.i32();
        cySrc = r.i32();
    }
    if (!r.ok())
        return false;
    const QRectF destination(at, QSizeF(cxDest, cyDest));
    if (cbBmi == 0) {
        if (type == 76 || type == 77)
            dc.patBlt(destination, rop);
        return true;
    }
    const bool alpha = type == 114 && ((rop >> 24) & 1);
    MetafileDib dib = bitmapAt(r, offBmi, cbBmi, offBits, cbBits, alpha);
    if (dib.image.isNull())
        return true;
    // The source rectangle is in the source device's coordinates; its transform is
    // normally a plain offset.
    const QRectF source = sourceTransform.mapRect(QRectF(xSrc, ySrc, cxSrc, cySrc));
    if (type == 114) {
        dc.drawImage(dib.image, source, destination, 0x00CC0020, ((rop >> 16) & 0xff) / 255.0);
    } else if (type == 116) {
        QImage keyed = dib.image.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = MetafileColor(rop).rgb();
        for (int y = 0; y < keyed.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(keyed.scanLine(y));
            for (int x = 0; x < keyed.width(); ++x)
                if ((row[x] & 0xffffff) == (key & 0xffffff))
                    row[x] = 0;
        }
        dc.drawImage(keyed, source, destination, 0x00CC0020);
    } else {
        dc.drawImage(dib.image, source, destination, rop);
    }
    return true;
}

bool EmfPlayer::maskedBlit(std::uint32_t type, MetafileReader& r)
{
    ReadEmfRect(r);
    // MASKBLT: a destination rectangle the size of the source; PLGBLT: the parallelogram's
    // upper-left, upper-right and lower-left corners and a source rectangle.
    QPointF corners[3];
    double cxSrc = 0;
    double cySrc = 0;
    std::uint32_t rop = 0x00CC0020;
    if (type == 78) {
        corners[0] = ReadEmfPoint(r);
        cxSrc = r.i32();
        cySrc = r.i32();
        rop = r.u32();
    } else {
        for (QPointF& corner : corners)
            corner = ReadEmfPoint(r);
    }
    const double xSrc = r.i32();
    const double ySrc = r.i32();
    if (type == 79) {
        cxSrc = r.i32();
        cySrc = r.i32();
    }
    r.skip(24 + 8); // the source transform (a plain offset), background colour and usage
    const std::uint32_t offBmi = r.u32();
    const std::uint32_t cbBmi = r.u32();
    const std::uint32_t offBits = r.u32();
    const std::uint32_t cbBits = r.u32();
    const double xMask = r.i32();
    const double yMask = r.i32();
    r.u32();
    const std::uint32_t offMaskBmi = r.u32();
    const std::uint32_t cbMaskBmi = r.u32();
    const std::uint32_t offMaskBits = r.u32();
    const std::uint32_t cbMaskBits = r.u32();
    if (!r.ok())
        return false;
    if (type == 78) {
        corners[1] = corners[0] + QPointF(cxSrc, 0);
        corners[2] = corners[0] + QPointF(0, cySrc);
    }
    if (cbBmi == 0 || cxSrc == 0 || cySrc == 0)
        return true;
    const MetafileDib dib = bitmapAt(r, offBmi, cbBmi, offBits, cbBits);
    if (dib.image.isNull())
        return true;
    const QRectF source(xSrc, ySrc, cxSrc, cySrc);
    // The source's own rectangle onto the parallelogram.
    const QPointF across = corners[1] - corners[0];
    const QPointF down = corners[2] - corners[0];
    const QTransform placement(across.x() / cxSrc, across.y() / cxSrc, down.x() / cySrc,
                               down.y() / cySrc, corners[0].x(), corners[0].y());
    // The mask's 1 bits take the foreground operation (the low three bytes of a MASKBLT's
    // code), its 0 bits the background one (the high byte); a background that keeps the
    // destination, the usual case, shows the source only where the mask is set.
    const std::uint32_t foreground = type == 78 ? rop & 0x00FFFFFF : 0x00CC0020;
    const bool keepBackground = type == 79 || (rop >> 24) == 0xAA;
    const auto maskInfo = part(r, offMaskBmi, cbMaskBmi);
    const auto maskBits = part(r, offMaskBits, cbMaskBits);
    QImage mask;
    if (cbMaskBmi != 0 && maskInfo && maskBits && keepBackground)
        mask = DecodeDibMask(*maskInfo, *maskBits);
    if (mask.isNull()) {
        dc.drawImageMapped(dib.image, source, placement, foreground);
        return true;
    }
    const QRect area = source.toRect();
    QImage masked = dib.image.copy(area).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < masked.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(masked.scanLine(y));
        const int maskY = static_cast<int>(yMask) + y;
        for (int x = 0; x < masked.width(); ++x) {
            const int maskX = static_cast<int>(xMask) + x;
            const bool set = maskX >= 0 && maskY >= 0 && maskX < mask.width()
                && maskY < mask.height() && mask.constScanLine(maskY)[maskX];
            if (!set)
                row[x] = 0;
        }
    }
    // Raster operations mix colours, which transparent pixels would take part in: the
    // masked source is copied.
    dc.drawImageMapped(masked, QRectF(QPointF(0, 0), QSizeF(area.size())), placement, 0x00CC0020);
    return true;
}

bool EmfPlayer::smallText(MetafileReader& r)
{
    constexpr std::uint32_t etoNoRect = 0x100;
    constexpr std::uint32_t etoSmallChars = 0x200;
    const QPointF at = ReadEmfPoint(r);
    const std::uint32_t count = r.u32();
    const std::uint32_t options = r.u32();
    r.skip(12); // graphics mode and scales: the device context's mapping already applies
    std::optional<QRectF> clip;
    if (!(options & etoNoRect))
        clip = ReadEmfRect(r);
    if (!r.ok() || count > (1u << 20))
        return false;
    const bool narrow = options & etoSmallChars;
    const auto chars = r.take(count * (narrow ? 1 : 2));
    if (!r.ok())
        return false;
    if (options & etoGlyphIndex)
        return true;
    dc.text(at, narrow ? DecodeMetafileBytes(chars, charset()) : wideText(chars), {}, options,
            clip);
    return true;
}

bool EmfPlayer::text(std::uint32_t type, MetafileReader& r)
{
    ReadEmfRect(r);
    r.skip(12); // graphics mode and scales: the device context's mapping already applies
    const QPointF at = ReadEmfPoint(r);
    const std::uint32_t count = r.u32();
    const std::uint32_t offString = r.u32();
    const std::uint32_t options = r.u32();
    const QRectF box = ReadEmfRect(r);
    const std::uint32_t offDx = r.u32();
    if (!r.ok())
        return false;
    // Glyph indices name glyphs of the author's font, which the installed substitute numbers
    // differently; such text is left out rather than drawn as the wrong letters.
    if (options & etoGlyphIndex)
        return true;
    const bool wide = type == 84;
    if (count > (1u << 20))
        return false;
    const auto chars = part(r, offString, count * (wide ? 2 : 1));
    if (!chars)
        return false;
    std::vector<double> advances;
    const std::uint32_t step = options & etoPdy ? 2 : 1;
    if (offDx != 0) {
        if (const auto dx = part(r, offDx, count * 4 * step)) {
            MetafileReader values(*dx);
            for (std::uint32_t i = 0; i < count; ++i) {
                advances.push_back(values.i32());
                if (step == 2)
                    values.i32();
            }
        }
    }
    const QString string
        = wide ? wideText(*chars) : DecodeMetafileBytes(*chars, charset(), &advances);
    std::optional<QRectF> clip;
    if (!box.isEmpty() || (options & 0x6))
        clip = box;
    dc.text(at, string, advances, options, clip);
    return true;
}

bool EmfPlayer::gradient(MetafileReader& r)
{
    ReadEmfRect(r);
    const std::uint32_t vertexCount = r.u32();
    const std::uint32_t shapeCount = r.u32();
    const std::uint32_t mode = r.u32();
    if (!r.ok() || !r.has(vertexCount, 16))
        return false;
    std::vector<QPointF> points;
    std::vector<QColor> colors;
    for (std::uint32_t i = 0; i < vertexCount; ++i) {
        points.push_back(ReadEmfPoint(r));
        const int red = r.u16() >> 8;
        const int green = r.u16() >> 8;
        const int blue = r.u16() >> 8;
        r.u16();
        colors.emplace_back(red, green, blue);
    }
    const std::uint32_t corners = mode == 2 ? 3 : 2;
    if (!r.has(shapeCount, 4 * corners))
        return false;
    for (std::uint32_t i = 0; i < shapeCount; ++i) {
        std::uint32_t index[3] = {};
        for (std::uint32_t c = 0; c < corners; ++c)
            index[c] = r.u32();
        if (index[0] >= vertexCount || index[1] >= vertexCount
            || (corners == 3 && index[2] >= vertexCount))
            continue;
        if (corners == 2) {
            dc.gradientRect(QRectF(points[index[0]], points[index[1]]), colors[index[0]],
                            colors[index[1]], mode == 1);
        } else {
            const QColor cornerColors[3] = {colors[index[0]], colors[index[1]], colors[index[2]]};
            dc.shadedTriangle(QPolygonF({points[index[0]], points[index[1]], points[index[2]]}),
                              cornerColors);
        }
    }
    return r.ok();
}
