// Drives the viewer's arithmetic with arbitrary sizes, scales and positions: no overflow or
// out-of-range read anywhere (the sanitizers watch), and wherever the working picture is
// small enough to materialise, the on-demand pixels equal the materialised ones.
#include "imaging/pixel_operations.h"
#include "imaging/tests/plain_stretch.h"
#include "viewer/viewer_geometry.h"
#include "viewer/working_picture.h"

#include <QImage>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

class Bytes
{
public:
    Bytes(const std::uint8_t* data, std::size_t size)
        : at(data)
        , left(size)
    {
    }

    template<typename T> T take()
    {
        T value {};
        const std::size_t n = std::min(sizeof(T), left);
        std::memcpy(&value, at, n);
        at += n;
        left -= n;
        return value;
    }

    int in(int low, int high)
    {
        return low + int(take<std::uint32_t>() % std::uint32_t(high - low + 1));
    }

private:
    const std::uint8_t* at;
    std::size_t left;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Bytes bytes(data, size);
    const QSize sourceSize(bytes.in(1, 12), bytes.in(1, 12));
    const QSize area(bytes.in(0, 64), bytes.in(0, 64));
    const bool small = bytes.take<std::uint8_t>() & 1;
    const QSize workingSize = small ? QSize(bytes.in(1, 40), bytes.in(1, 40))
                                    : QSize(bytes.in(1, 1 << 24), bytes.in(1, 1 << 24));
    const double x = bytes.take<double>();
    const QPoint glass(bytes.in(-100000, 100000), bytes.in(-100000, 100000));
    const int d = bytes.in(1, 40);

    const PictureFit fit = FitToArea(sourceSize, workingSize, area, 20);
    if (!std::isfinite(fit.shownRatio))
        std::abort();
    const Rect64 glassSource
        = GlassSourceFor(fit.shownRatio, fit.pictureOrigin, glass, QSize(d, d));
    // The viewer only previews positive step factors of reasonable size.
    const Rect64 preview
        = std::isfinite(x) && x > 0 && x <= 1e6 ? PreviewSourceFor(glassSource, x) : glassSource;

    QImage source(sourceSize, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int i = 0; i < source.width(); ++i)
            source.setPixel(i, y, qRgb(i * 20, y * 20, (i + y) * 7));
    WorkingPicture working;
    working.Reset(&source, workingSize.width(), workingSize.height());

    QImage target(48, 48, QImage::Format_RGB32);
    QImage expected(48, 48, QImage::Format_RGB32);
    const QRect glassRect(bytes.in(-20, 40), bytes.in(-20, 40), d, d);
    const QRect shown(int(fit.shownRect.left), int(fit.shownRect.top), int(fit.shownRect.width()),
                      int(fit.shownRect.height()));
    const struct
    {
        QRect to;
        Rect64 from;
    } reads[] = {{glassRect, glassSource},
                 {glassRect, preview},
                 {shown, Rect64 {0, 0, workingSize.width(), workingSize.height()}}};

    QImage materialised;
    if (small) {
        materialised = QImage(workingSize, QImage::Format_RGB32);
        StretchDraw(materialised, materialised.rect(), source, source.rect());
    }
    for (const auto& read : reads) {
        target.fill(Qt::black);
        working.Draw(target, read.to, read.from);
        if (!small || read.from.width() > (1 << 20) || read.from.height() > (1 << 20))
            continue;
        const auto narrow = [](std::int64_t v) {
            return v < INT32_MIN / 2 || v > INT32_MAX / 2;
        };
        if (narrow(read.from.left) || narrow(read.from.top))
            continue;
        expected.fill(Qt::black);
        if (read.from.width() > 0 && read.from.height() > 0) {
            StretchDraw(expected, read.to, materialised,
                        QRect(int(read.from.left), int(read.from.top), int(read.from.width()),
                              int(read.from.height())));
        } else {
            // Nothing to take from: the whole rectangle is white, as beyond the picture.
            const QRect white = read.to.intersected(expected.rect());
            for (int y = white.top(); y <= white.bottom(); ++y)
                for (int i = white.left(); i <= white.right(); ++i)
                    expected.setPixel(i, y, 0xFFFFFFFFu);
        }
        if (target != expected)
            std::abort();
    }
    return 0;
}
