// The display's contrast and lightness as one table per channel value, so that mapping a
// picture costs one lookup per channel in a single pass, whatever the two amounts.
#pragma once

#include <QRgb>

#include <array>
#include <cstdint>

class ChannelTable
{
public:
    // The table of AdjustContrast(contrast) followed by AdjustLightness(lightness).
    ChannelTable(int contrast, int lightness);

    int Contrast() const { return contrast; }
    int Lightness() const { return lightness; }

    QRgb Map(QRgb pixel) const
    {
        return 0xFF000000u | table[pixel & 0xFF] | std::uint32_t {table[(pixel >> 8) & 0xFF]} << 8
            | std::uint32_t {table[(pixel >> 16) & 0xFF]} << 16;
    }

    // out[i] := Map(in[i]) for i < count.
    void MapRow(const QRgb* in, QRgb* out, int count) const;

private:
    int contrast;
    int lightness;
    std::array<std::uint8_t, 256> table {};
};
