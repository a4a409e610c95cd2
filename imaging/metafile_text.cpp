// Text output of the metafile device context: the record's font matched to an installed
// face, placed by the text alignment, spaced by the record's advances.
#include "imaging/metafile_dc.h"

#include "imaging/metafile_limits.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t etoOpaque = 0x2;
constexpr std::uint32_t etoClipped = 0x4;
// Letters larger than this are filled as outlines: the glyph cache would keep an image of
// each one, which for huge letters costs far more than filling the part that shows.
constexpr int largestCachedGlyph = 256;

// The common Windows faces and their metric-compatible installed substitutes, so that text
// takes the width the metafile's author measured it with.
QString installedFace(const QString& face, std::uint8_t pitchAndFamily)
{
    static const QHash<QString, QString> substitutes = {
        {QStringLiteral("arial"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("helvetica"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("ms sans serif"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("ms shell dlg"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("ms shell dlg 2"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("system"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("tahoma"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("verdana"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("segoe ui"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("calibri"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("arial narrow"), QStringLiteral("Liberation Sans Narrow")},
        {QStringLiteral("times new roman"), QStringLiteral("Liberation Serif")},
        {QStringLiteral("times"), QStringLiteral("Liberation Serif")},
        {QStringLiteral("ms serif"), QStringLiteral("Liberation Serif")},
        {QStringLiteral("georgia"), QStringLiteral("Liberation Serif")},
        {QStringLiteral("cambria"), QStringLiteral("Liberation Serif")},
        {QStringLiteral("courier new"), QStringLiteral("Liberation Mono")},
        {QStringLiteral("courier"), QStringLiteral("Liberation Mono")},
        {QStringLiteral("lucida console"), QStringLiteral("Liberation Mono")},
        {QStringLiteral("consolas"), QStringLiteral("Liberation Mono")},
    };
    const QString key = face.trimmed().toLower();
    if (const auto known = substitutes.find(key); known != substitutes.end())
        return *known;
    if (!key.isEmpty() && QFontDatabase::hasFamily(face.trimmed()))
        return face.trimmed();
    // A face that is not installed takes the substitute of its family: roman faces the
    // serif, modern and fixed-pitch faces the monospaced one, all others the sans serif.
    const int family = pitchAndFamily & 0xf0;
    if (family == 0x30 || (pitchAndFamily & 0x3) == 1)
        return QStringLiteral("Liberation Mono");
    if (family == 0x10)
        return QStringLiteral("Liberation Serif");
    return QStringLiteral("Liberation Sans");
}

} // namespace

void MetafileDC::text(QPointF reference, const QString& text, const std::vector<double>& advances,
                      std::uint32_t options, const std::optional<QRectF>& rect)
{
    const MetafileFont& wanted = current.font;
    const double sx = xScale();
    const double sy = yScale();

    QFont font(installedFace(wanted.faceName, wanted.pitchAndFamily));
    font.setWeight(
        static_cast<QFont::Weight>(std::clamp(wanted.weight == 0 ? 400 : wanted.weight, 1, 1000)));
    font.setItalic(wanted.italic);
    font.setUnderline(wanted.underline);
    font.setStrikeOut(wanted.strikeOut);
    font.setKerning(false);
    // A negative height is the em size, a positive one the cell (ascent plus descent).
    double pixels = wanted.height == 0 ? 16 : std::abs(wanted.height) * sy;
    if (wanted.height > 0) {
        font.setPixelSize(1000);
        const QFontMetricsF probe(font);
        if (probe.height() > 0)
            pixels = pixels * 1000 / probe.height();
    }
    if (!std::isfinite(pixels))
        return;
    // Qt's font metrics overflow a little above 16384 pixels.
    font.setPixelSize(static_cast<int>(std::clamp(std::round(pixels), 1.0, 16000.0)));
    const QFontMetricsF metrics(font);
    double stretch = 1;
    if (wanted.width != 0 && metrics.averageCharWidth() > 0)
        stretch = std::clamp(std::abs(wanted.width) * sx / metrics.averageCharWidth(), 0.01, 100.0);

    // Each character's offset along the baseline, in unstretched font pixels.
    std::vector<double> offsets;
    offsets.reserve(static_cast<std::size_t>(text.size()) + 1);
    double run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        offsets.push_back(run);
        const auto index = static_cast<std::size_t>(i);
        if (index < advances.size())
            run += (advances[index] * sx) / stretch;
        else
            run += metrics.horizontalAdvance(text.at(i)) + current.charExtra * sx / stretch;
    }
    offsets.push_back(run);
    const double total = run * stretch;
    if (!std::isfinite(total) || std::abs(total) > metafileCoordinateLimit)
        return;

    const bool updateCurrent = current.textAlign & 1;
    const QPointF anchor = updateCurrent ? current.current : reference;
    const QTransform t = toOutput();
    const QPointF origin = t.map(anchor);
    // Escapement turns the baseline counter-clockwise on the device, and a rotating world
    // transform turns it with it.
    const double angle = -wanted.escapement / 10.0 + std::atan2(t.m12(), t.m11()) * 180 / M_PI
        - (t.m11() < 0 ? 180 : 0);

    double x = 0;
    switch (current.textAlign & 6) {
    case 6: // TA_CENTER
        x = -total / 2;
        break;
    case 2: // TA_RIGHT
        x = -total;
        break;
    default:
        break;
    }
    double y = metrics.ascent();
    if ((current.textAlign & 24) == 24) // TA_BASELINE
        y = 0;
    else if (current.textAlign & 8) // TA_BOTTOM
        y = -metrics.descent();
    if (updateCurrent && sx > 0)
        current.current = anchor + QPointF(total / sx * (t.m11() < 0 ? -1 : 1), 0);

    if (!std::isfinite(origin.x()) || !std::isfinite(origin.y()) || std::abs(origin.x()) > (1 << 24)
        || std::abs(origin.y()) > (1 << 24))
        return;
    QTransform place;
    place.translate(origin.x(), origin.y());
    place.rotate(angle);
    place.translate(x, y);
    place.scale(stretch, 1);

    // The pieces drawn: the whole text when the font spaces it, else each character (a
    // surrogate pair as one) at its own offset.
    std::vector<std::pair<double, QString>> pieces;
    if (advances.empty()) {
        pieces.emplace_back(0, text);
    } else {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const double offset = offsets[static_cast<std::size_t>(i)];
            if (text.at(i).isHighSurrogate() && i + 1 < text.size()) {
                pieces.emplace_back(offset, text.mid(i, 2));
                ++i;
            } else if (!text.at(i).isLowSurrogate()) {
                pieces.emplace_back(offset, QString(text.at(i)));
            }
        }
    }
    auto outlines = [&] {
        QPainterPath glyphs;
        for (const auto& [offset, piece] : pieces)
            glyphs.addText(offset, 0, font, piece);
        return glyphs;
    };

    if (pathOpen) {
        path.addPath(place.map(outlines()));
        return;
    }
    const QRectF textBox = place.mapRect(
        QRectF(std::min(0.0, run), -metrics.ascent(), std::abs(run), metrics.height()));
    if (!admit(textBox))
        return;
    // Letters drawn over each other cost each time: each one the part of its em square that
    // the picture can hold, and letters filled as outlines a share of their whole square
    // besides, as their outlines are made and laid out in full whatever part shows.
    const double em = font.pixelSize() * std::max(1.0, stretch);
    const double picture = static_cast<double>(image.width()) * image.height();
    const double outline = font.pixelSize() > largestCachedGlyph ? em * em / 16 : 0;
    if (!spend(static_cast<double>(text.size()) * (std::min(em * em, picture) + outline))
        || !beginPaint())
        return;
    painter.setBackgroundMode(Qt::TransparentMode);
    if (rect && (options & etoOpaque)) {
        QPainterPath box;
        box.addRect(rect->normalized());
        box = t.map(box);
        if (WithinCoordinateLimit(box.controlPointRect()))
            painter.fillPath(box, current.bkColor);
    }
    if (rect && (options & etoClipped)) {
        const QRectF mapped = t.mapRect(rect->normalized());
        const QRect area = WithinCoordinateLimit(mapped) ? mapped.toRect() : image.rect();
        if (current.clipped)
            painter.setClipRegion(current.clip & area);
        else
            painter.setClipRect(area);
    }
    painter.setTransform(place);
    if (current.bkMode == 2)
        painter.fillRect(QRectF(0, -metrics.ascent(), run, metrics.height()), current.bkColor);
    if (font.pixelSize() > largestCachedGlyph) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.fillPath(outlines(), current.textColor);
        painter.setRenderHint(QPainter::Antialiasing, false);
    } else {
        painter.setFont(font);
        painter.setPen(current.textColor);
        for (const auto& [offset, piece] : pieces)
            painter.drawText(QPointF(offset, 0), piece);
    }
    painter.resetTransform();
}
