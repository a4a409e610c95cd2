#include "viewer/channel_table.h"

#include "imaging/pixel_operations.h"

#include <QImage>

ChannelTable::ChannelTable(int contrastAmount, int lightnessAmount)
    : contrast(contrastAmount)
    , lightness(lightnessAmount)
{
    // The values come from the two adjustments themselves, contrast first, run over every
    // channel value once, so that the table cannot drift from their formulas (an amount of 0
    // leaves every value as it is).
    QImage ramp(256, 1, QImage::Format_RGB32);
    auto* pixels = reinterpret_cast<QRgb*>(ramp.scanLine(0));
    for (int c = 0; c < 256; ++c)
        pixels[c] = qRgb(c, c, c);
    AdjustContrast(ramp, contrast);
    AdjustLightness(ramp, lightness);
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(qBlue(ramp.pixel(c, 0)));
}

void ChannelTable::MapRow(const QRgb* in, QRgb* out, int count) const
{
    for (int i = 0; i < count; ++i)
        out[i] = Map(in[i]);
}
