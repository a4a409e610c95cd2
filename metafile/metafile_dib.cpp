#include "metafile/metafile_dib.h"

#include "metafile/dib.h"
#include "metafile/metafile_limits.h"

#include <algorithm>
#include <cstring>

namespace {

using Bytes = std::span<const std::uint8_t>;

// The header and colour table of a record's bitmap, whose pixels follow the table in a
// packed bitmap or lie apart.
bool parse(Bytes info, Dib* dib)
{
    return ParseDib(info, 0, -1, DibLayout::Packed, dib);
}

// The alpha-carrying form of a 32-bit uncompressed bitmap, which the BMP reader composites
// onto white: AlphaBlend needs it premultiplied, each colour at most its alpha.
void keepAlphaOf(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(row[x]);
            row[x] = qRgba(std::min(qRed(row[x]), a), std::min(qGreen(row[x]), a),
                           std::min(qBlue(row[x]), a), a);
        }
    }
    image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

MetafileDib DecodeDib(Bytes info, Bytes bits, bool keepAlpha)
{
    Dib dib;
    if (!parse(info, &dib) || dib.pixelsAt > static_cast<qint64>(info.size()))
        return {};
    if ((dib.runLength() || dib.bits < 24) && dib.width * dib.height * 4 > metafileCodedBitmapBytes)
        return {};
    // Plain bitmaps keep their alpha in the fourth byte; bit-field bitmaps name their colour
    // masks, and their alpha is the byte those leave free unless a newer header names its mask.
    const bool alpha = keepAlpha && dib.bits == 32 && !dib.runLength();
    if (alpha && dib.masks[3] == 0)
        dib.masks[3] = ~(dib.masks[0] | dib.masks[1] | dib.masks[2]) & 0xFF000000u;
    else if (!alpha)
        dib.masks[3] = 0; // drawn opaque, as the plain raster operations draw
    // The pixels are checked before anything is allocated: damage gives no bitmap.
    const bool complete = dib.runLength() ? DecodeDibRuns(bits, dib, nullptr)
                                          : bits.size() / static_cast<std::uint64_t>(dib.rowBytes())
            >= static_cast<std::uint64_t>(dib.height);
    if (!complete)
        return {};
    QImage image(static_cast<int>(dib.width), static_cast<int>(dib.height), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    if (dib.runLength()) {
        image.fill(Qt::white);
        DecodeDibRuns(bits, dib, &image);
    } else {
        const std::uint8_t* from = bits.data();
        DecodeDibRows(dib, image, [&from](uchar* into, qint64 count) {
            std::memcpy(into, from, static_cast<std::size_t>(count));
            from += count;
            return true;
        });
    }
    if (alpha)
        keepAlphaOf(image);
    MetafileDib decoded;
    decoded.image = std::move(image);
    decoded.bottomUp = !dib.topDown;
    return decoded;
}

MetafileDib DecodePackedDib(Bytes packed)
{
    Dib dib;
    if (!parse(packed, &dib) || dib.pixelsAt > static_cast<qint64>(packed.size()))
        return {};
    const auto split = static_cast<std::size_t>(dib.pixelsAt);
    return DecodeDib(packed.first(split), packed.subspan(split));
}

double DibDecodeWork(Bytes info)
{
    Dib dib;
    if (!parse(info, &dib))
        return 0;
    return metafileDecodeWork * static_cast<double>(dib.width) * static_cast<double>(dib.height);
}

QImage DecodeDibMask(Bytes info, Bytes bits)
{
    Dib dib;
    if (!parse(info, &dib) || dib.bits != 1 || dib.compression != dibRgb)
        return {};
    const int w = static_cast<int>(dib.width);
    const int h = static_cast<int>(dib.height);
    const auto stride = static_cast<std::uint64_t>(dib.rowBytes());
    if (bits.size() / stride < static_cast<std::uint64_t>(h))
        return {};
    QImage mask(w, h, QImage::Format_Alpha8);
    if (mask.isNull())
        return {};
    for (int y = 0; y < h; ++y) {
        const int sourceRow = dib.topDown ? y : h - 1 - y;
        const std::uint8_t* from = bits.data() + stride * static_cast<std::uint64_t>(sourceRow);
        uchar* to = mask.scanLine(y);
        for (int x = 0; x < w; ++x)
            to[x] = (from[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
    }
    return mask;
}
