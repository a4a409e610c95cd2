#include "imaging/graphic.h"

#include <algorithm>

Graphic::~Graphic() = default;

QRgb OnWhite(QRgb argb)
{
    const quint32 alpha = qAlpha(argb);
    const quint32 behind = 255 * (255 - alpha) + 127;
    const auto channel = [&](int value) {
        return (static_cast<quint32>(value) * alpha + behind) / 255;
    };
    return 0xFF000000u | channel(qRed(argb)) << 16 | channel(qGreen(argb)) << 8
        | channel(qBlue(argb));
}

QImage FlattenOnWhite(QImage image)
{
    if (image.isNull() || image.format() == QImage::Format_RGB32)
        return image;
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    // In place where the pixels already are 32-bit ARGB: a large picture is not copied.
    if (image.format() != QImage::Format_ARGB32
        && image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            // Premultiplied channels already hold colour times alpha.
            const quint32 behind = 255 - qAlpha(row[x]);
            const auto over = [behind](int value) {
                return std::min<quint32>(static_cast<quint32>(value) + behind, 255);
            };
            row[x] = premultiplied ? 0xFF000000u | over(qRed(row[x])) << 16
                    | over(qGreen(row[x])) << 8 | over(qBlue(row[x]))
                                   : OnWhite(row[x]);
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}
