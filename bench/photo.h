// A picture that a JPEG encoder treats the way it treats a camera's photograph: broad soft
// light, objects with hard edges and fine texture, and sensor noise on every pixel. A plain
// gradient compresses to a third of a camera file's size and decodes twice as fast, which
// flatters every decoder figure.
#pragma once

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace bench {

// Deterministic for a seed; the seed also shifts the colours, so that two pictures differ
// at every point.
inline QImage PhotoLike(int width, int height, std::uint32_t seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t noise = 2463534242u ^ (seed * 2654435761u);
    auto next = [&noise] {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return noise;
    };
    const int hue = static_cast<int>(seed * 70 % 256);
    // Objects: discs of their own colour and texture period.
    struct Disc
    {
        int x, y, r, r2;
        int red, green, blue, period;
    };
    Disc discs[40];
    for (Disc& d : discs) {
        d.x = static_cast<int>(next() % static_cast<std::uint32_t>(width));
        d.y = static_cast<int>(next() % static_cast<std::uint32_t>(height));
        d.r = static_cast<int>(next() % static_cast<std::uint32_t>(std::max(1, width / 6))) + 8;
        d.r2 = d.r * d.r;
        d.red = static_cast<int>(next() % 200) + 20;
        d.green = static_cast<int>(next() % 200) + 20;
        d.blue = static_cast<int>(next() % 200) + 20;
        d.period = static_cast<int>(next() % 9) + 3;
    }
    // The soft light: sin(6 fy + 3 fx) split into a row and a column factor.
    std::vector<double> sinX(static_cast<std::size_t>(width));
    std::vector<double> cosX(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        sinX[static_cast<std::size_t>(x)] = std::sin(3.0 * x / width);
        cosX[static_cast<std::size_t>(x)] = std::cos(3.0 * x / width);
    }
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double sinY = std::sin(6.0 * y / height);
        const double cosY = std::cos(6.0 * y / height);
        const int blue = std::clamp(180 - 120 * y / height + (hue >> 2), 0, 255);
        for (int x = 0; x < width; ++x) {
            const auto i = static_cast<std::size_t>(x);
            const double light = sinY * cosX[i] + cosY * sinX[i];
            row[x] = qRgb(std::clamp(60 + 90 * x / width + (hue >> 1), 0, 255),
                          90 + static_cast<int>(60 * light), blue);
        }
        for (const Disc& d : discs) {
            const int dy = y - d.y;
            if (dy * dy >= d.r2)
                continue;
            const int half = static_cast<int>(std::sqrt(double(d.r2 - dy * dy)));
            for (int x = std::max(0, d.x - half); x < std::min(width, d.x + half); ++x) {
                const int texture = ((x / d.period + y / d.period) & 1) * 18;
                row[x] = qRgb(d.red + texture, d.green + texture, d.blue - texture + 18);
            }
        }
        for (int x = 0; x < width; ++x) {
            const int n = static_cast<int>(next() & 15) - 8;
            const int chroma = static_cast<int>((noise >> 8) & 7) - 4;
            const QRgb p = row[x];
            row[x]
                = qRgb(std::clamp(qRed(p) + n + chroma, 0, 255), std::clamp(qGreen(p) + n, 0, 255),
                       std::clamp(qBlue(p) + n - chroma, 0, 255));
        }
    }
    return image;
}

} // namespace bench
