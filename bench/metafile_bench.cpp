// Timing of the metafile player: a generated enhanced metafile of many shapes, played, beside
// QPainter drawing the same shapes.
#include "harness.h"

#include "metafile/metafile_player.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace {

// 2,000 shapes in a 1920 x 1080 enhanced metafile (rectangles, ellipses, five-point polygons
// and three-pixel lines, each in its own colour), played, beside QPainter drawing the same
// shapes onto a white picture.
void metafileShapes()
{
    struct Shape
    {
        int kind;
        QRect box;
        QRgb color;
    };
    std::vector<Shape> shapes;
    std::uint32_t seed = 2024;
    auto next = [&seed](int range) {
        seed = seed * 1664525 + 1013904223;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(range));
    };
    for (int i = 0; i < 2000; ++i) {
        const int w = 10 + next(300);
        const int h = 10 + next(200);
        shapes.push_back({i % 4, QRect(next(1920 - w), next(1080 - h), w, h),
                          qRgb(next(256), next(256), next(256))});
    }
    auto polygonOf = [](const QRect& box) {
        return QPolygon({box.topLeft(), QPoint(box.right(), box.top() + box.height() / 3),
                         box.bottomRight(), QPoint(box.left() + box.width() / 2, box.bottom()),
                         QPoint(box.left(), box.top() + box.height() / 2)});
    };

    // The records: header, then per shape a brush or pen made, selected and drawn.
    QByteArray body;
    auto record = [&body](std::uint32_t type, std::initializer_list<std::int32_t> values) {
        auto put = [&body](std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                body.append(static_cast<char>((v >> (8 * i)) & 0xff));
        };
        put(type);
        put(static_cast<std::uint32_t>(8 + 4 * values.size()));
        for (std::int32_t v : values)
            put(static_cast<std::uint32_t>(v));
    };
    for (const Shape& shape : shapes) {
        const auto ref = static_cast<std::int32_t>(qRed(shape.color) | (qGreen(shape.color) << 8)
                                                   | (qBlue(shape.color) << 16));
        const QRect& b = shape.box;
        if (shape.kind == 3) {
            record(38, {1, 0, 3, 0, ref}); // CREATEPEN
            record(37, {1});
            record(27, {b.left(), b.top()}); // MOVETOEX
            record(54, {b.right(), b.bottom()}); // LINETO
            record(40, {1});
            continue;
        }
        record(39, {1, 0, ref, 0}); // CREATEBRUSHINDIRECT
        record(37, {1});
        record(37, {static_cast<std::int32_t>(0x80000008)}); // NULL_PEN
        if (shape.kind == 0)
            record(43, {b.left(), b.top(), b.right() + 1, b.bottom() + 1});
        else if (shape.kind == 1)
            record(42, {b.left(), b.top(), b.right() + 1, b.bottom() + 1});
        else {
            const QPolygon points = polygonOf(b);
            record(3,
                   {0, 0, 0, 0, 5, points[0].x(), points[0].y(), points[1].x(), points[1].y(),
                    points[2].x(), points[2].y(), points[3].x(), points[3].y(), points[4].x(),
                    points[4].y()});
        }
        record(40, {1});
    }
    record(14, {0, 16, 20});
    QByteArray header;
    auto put = [&header](std::int32_t v) {
        for (int i = 0; i < 4; ++i)
            header.append(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xff));
    };
    // 10 pixels a millimetre: the frame in 0.01 mm is ten times the pixels.
    for (std::int32_t v : {1, 88, 0, 0, 1920, 1080, 0, 0, 19200, 10800, 0x464D4520, 0x10000})
        put(v);
    put(static_cast<std::int32_t>(88 + body.size()));
    put(4 * 2000 + 2);
    put(4); // handles; no palette entries
    for (std::int32_t v : {0, 0, 0, 1920, 1080, 192, 108})
        put(v);
    const QByteArray file = header + body;

    QImage sink;
    const double played = bench::medianMs([&] { sink = PlayEnhancedMetafile(file); });
    const double painted = bench::medianMs([&] {
        QImage picture(1920, 1080, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        for (const Shape& shape : shapes) {
            if (shape.kind == 3) {
                painter.setPen(QPen(QColor(shape.color), 3, Qt::SolidLine, Qt::RoundCap));
                painter.drawLine(shape.box.topLeft(), shape.box.bottomRight());
                continue;
            }
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(shape.color));
            if (shape.kind == 0)
                painter.drawRect(shape.box);
            else if (shape.kind == 1)
                painter.drawEllipse(shape.box);
            else
                painter.drawPolygon(polygonOf(shape.box));
        }
        painter.end();
        sink = picture;
    });
    bench::report("EMF of 2,000 shapes, 1920x1080", played, "QPainter, the same shapes", painted,
                  1.3);
}

} // namespace

int main()
{
    metafileShapes();
    return 0;
}
