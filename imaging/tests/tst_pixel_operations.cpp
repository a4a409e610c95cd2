#include "imaging/pixel_operations.h"

#include "imaging/tests/plain_stretch.h"

#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <vector>

Q_DECLARE_METATYPE(QImage::Format)

namespace {

// The two formulas, spelled the way a reader checks them by hand.
int contrastRef(int c, int amount)
{
    const long long d = static_cast<long long>(std::abs(127 - c)) * amount / 255;
    const long long v = c > 127 ? c + d : c - d;
    return v > 255 ? 255 : v < 0 ? 0 : int(v);
}

int lightnessRef(int c, int amount)
{
    const long long v = c + static_cast<long long>(255 - c) * amount / 255;
    return v > 255 ? 255 : v < 0 ? 0 : int(v);
}

// A picture whose blue, green and red bytes run through the values at different phases.
// 37 x 7 pixels (259 pixels) give every value; odd widths give padded 24-bit rows.
QImage allValues(QImage::Format format, QSize size = QSize(37, 7))
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int i = y * image.width() + x;
            row[x] = qRgb((i * 7 + 3) & 255, (i * 3 + 1) & 255, i & 255);
        }
    }
    return image.convertToFormat(format);
}

// The fourth bytes of an RGB32 picture, set to a pattern that the operations must keep.
void markFourthBytes(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            row[4 * x + 3] = static_cast<uchar>(x * 11 + y);
    }
}

void compareFourthBytes(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(row[4 * x + 3], static_cast<uchar>(x * 11 + y));
    }
}

// Pixels that differ within every row and column up to 256 x 256 pixels, and from the
// pixels 256 rows away.
QImage numbered(int w, int h, QImage::Format format)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x & 255, y & 255, (x * 31 + y * 17 + (y >> 8) * 7) & 255));
    return image.convertToFormat(format);
}

} // namespace

class tst_pixel_operations : public QObject
{
    Q_OBJECT

private slots:
    void clampToByte_data();
    void clampToByte();
    void valueTable_data();
    void valueTable();
    void everyValue_data();
    void everyValue();
    void fourthByteKept();
    void emptyPicture();
    void quarterTurnCorners_data();
    void quarterTurnCorners();
    void fourTurnsGiveBack_data();
    void fourTurnsGiveBack();
    void turnIntoItself();
    void turnInPlace_data();
    void turnInPlace();
    void stretchMapping();
    void stretchCopiesAtSameSize();
    void stretchOutsideSourceIsWhite();
    void stretchClipsToTarget();
    void gatherIndices();
    void areaAverage_data();
    void areaAverage();
};

void tst_pixel_operations::clampToByte_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("below") << -1 << 0;
    QTest::newRow("far below") << std::numeric_limits<int>::min() << 0;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("inside") << 200 << 200;
    QTest::newRow("top") << 255 << 255;
    QTest::newRow("above") << 272 << 255;
    QTest::newRow("far above") << std::numeric_limits<int>::max() << 255;
}

void tst_pixel_operations::clampToByte()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    QCOMPARE(int(ClampToByte(value)), expected);
}

void tst_pixel_operations::valueTable_data()
{
    QTest::addColumn<bool>("contrast");
    QTest::addColumn<int>("amount");
    QTest::addColumn<std::vector<int>>("after");
    QTest::addColumn<QImage::Format>("format");
    struct Row
    {
        const char* name;
        bool contrast;
        int amount;
        std::vector<int> after;
    };
    const Row rows[] = {
        {"contrast 35", true, 35, {0, 97, 127, 210, 255}},
        {"contrast -35", true, -35, {17, 103, 127, 190, 238}},
        {"contrast 7", true, 7, {0, 100, 127, 202, 255}},
        {"lightness 35", false, 35, {35, 121, 144, 207, 255}},
        {"lightness -35", false, -35, {0, 79, 110, 193, 255}},
        {"lightness -7", false, -7, {0, 96, 124, 199, 255}},
    };
    const std::pair<const char*, QImage::Format> formats[] = {{"rgb32", QImage::Format_RGB32},
                                                              {"bgr888", QImage::Format_BGR888},
                                                              {"rgb888", QImage::Format_RGB888}};
    for (const Row& row : rows)
        for (const auto& [formatName, format] : formats)
            QTest::addRow("%s %s", row.name, formatName)
                << row.contrast << row.amount << row.after << format;
}

void tst_pixel_operations::valueTable()
{
    QFETCH(bool, contrast);
    QFETCH(int, amount);
    QFETCH(std::vector<int>, after);
    QFETCH(QImage::Format, format);
    const int before[] = {0, 100, 127, 200, 255};
    // Each value in every channel.
    QImage image(40, 1, QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x) {
        const int v = before[x % 5];
        image.setPixel(x, 0, qRgb(v, v, v));
    }
    image.convertTo(format);
    if (contrast)
        AdjustContrast(image, amount);
    else
        AdjustLightness(image, amount);

    const bool own = format == QImage::Format_RGB32 || format == QImage::Format_BGR888;
    QCOMPARE(image.format(),
             own            ? format
                 : contrast ? QImage::Format_BGR888
                            : QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x) {
        const int v = after[static_cast<std::size_t>(x % 5)];
        QCOMPARE(image.pixel(x, 0), qRgb(v, v, v));
    }
}

void tst_pixel_operations::everyValue_data()
{
    QTest::addColumn<int>("contrast");
    QTest::addColumn<int>("lightness");
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QSize>("size");
    // Small and large amounts, around 128 and 255, and far beyond, where the formulas need
    // more than 16 bits.
    const int amounts[] = {-35, -7, 14, 128, -128, 129, 255, -255, 256, 511, -512, -100000};
    for (int a : amounts) {
        for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_BGR888}) {
            const char* fn = f == QImage::Format_RGB32 ? "rgb32" : "bgr888";
            QTest::addRow("contrast %d %s", a, fn) << a << 0 << f << QSize(37, 7);
            QTest::addRow("lightness %d %s", a, fn) << 0 << a << f << QSize(37, 7);
        }
        QTest::addRow("contrast %d bgr888 12x7", a)
            << a << 0 << QImage::Format_BGR888 << QSize(12, 7);
        QTest::addRow("lightness %d rgb32 5x3", a) << 0 << a << QImage::Format_RGB32 << QSize(5, 3);
    }
}

void tst_pixel_operations::everyValue()
{
    QFETCH(int, contrast);
    QFETCH(int, lightness);
    QFETCH(QImage::Format, format);
    QFETCH(QSize, size);
    QImage image = allValues(format, size);
    const QImage before = image.convertToFormat(QImage::Format_RGB32);
    if (contrast != 0)
        AdjustContrast(image, contrast);
    else
        AdjustLightness(image, lightness);
    const auto map = [&](int c) {
        return contrast != 0 ? contrastRef(c, contrast) : lightnessRef(c, lightness);
    };
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb b = before.pixel(x, y);
            QCOMPARE(image.pixel(x, y), qRgb(map(qRed(b)), map(qGreen(b)), map(qBlue(b))));
        }
}

void tst_pixel_operations::fourthByteKept()
{
    QImage image = allValues(QImage::Format_RGB32);
    markFourthBytes(image);
    AdjustLightness(image, -35);
    compareFourthBytes(image);
    AdjustContrast(image, 35);
    compareFourthBytes(image);
}

void tst_pixel_operations::emptyPicture()
{
    QImage empty;
    AdjustContrast(empty, 35);
    AdjustLightness(empty, 35);
    QVERIFY(empty.isNull());
    QImage turned(5, 5, QImage::Format_RGB32);
    RotateQuarterCW(empty, turned);
    QVERIFY(turned.isNull());
}

void tst_pixel_operations::quarterTurnCorners_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QImage::Format>("expectedFormat");
    QTest::newRow("rgb32") << QImage::Format_RGB32 << QImage::Format_RGB32;
    QTest::newRow("bgr888") << QImage::Format_BGR888 << QImage::Format_BGR888;
    QTest::newRow("argb32") << QImage::Format_ARGB32 << QImage::Format_BGR888;
}

void tst_pixel_operations::quarterTurnCorners()
{
    QFETCH(QImage::Format, format);
    QFETCH(QImage::Format, expectedFormat);
    const QImage source = numbered(3, 2, format);
    QImage cw;
    RotateQuarterCW(source, cw);
    QCOMPARE(cw.size(), QSize(2, 3));
    QCOMPARE(cw.format(), expectedFormat);
    // The source's top row becomes the right-hand column, top to bottom.
    for (int x = 0; x < 3; ++x) {
        QCOMPARE(cw.pixel(1, x), source.pixel(x, 0));
        QCOMPARE(cw.pixel(0, x), source.pixel(x, 1));
    }
    QImage ccw;
    RotateQuarterCCW(source, ccw);
    QCOMPARE(ccw.size(), QSize(2, 3));
    QCOMPARE(ccw.format(), expectedFormat);
    // The source's top row becomes the left-hand column, bottom to top.
    for (int x = 0; x < 3; ++x) {
        QCOMPARE(ccw.pixel(0, 2 - x), source.pixel(x, 0));
        QCOMPARE(ccw.pixel(1, 2 - x), source.pixel(x, 1));
    }
}

void tst_pixel_operations::fourTurnsGiveBack_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("clockwise");
    for (bool cw : {true, false}) {
        const char* dir = cw ? "cw" : "ccw";
        // Sizes that end blocks and bands of rows part-way, a single row and column, and
        // padded 24-bit rows.
        for (QSize size :
             {QSize(131, 67), QSize(1, 200), QSize(200, 1), QSize(65, 64), QSize(17, 300)}) {
            QTest::addRow("rgb32 %dx%d %s", size.width(), size.height(), dir)
                << QImage::Format_RGB32 << size << cw;
            QTest::addRow("bgr888 %dx%d %s", size.width(), size.height(), dir)
                << QImage::Format_BGR888 << size << cw;
        }
    }
}

void tst_pixel_operations::fourTurnsGiveBack()
{
    QFETCH(QImage::Format, format);
    QFETCH(QSize, size);
    QFETCH(bool, clockwise);
    const QImage source = numbered(size.width(), size.height(), format);
    QImage a = source;
    QImage b;
    for (int i = 0; i < 4; ++i) {
        if (clockwise)
            RotateQuarterCW(a, b);
        else
            RotateQuarterCCW(a, b);
        std::swap(a, b);
        if (i == 0) {
            QCOMPARE(a.size(), size.transposed());
            // One turn moves a corner: clockwise, the bottom-left ends at the top-left.
            QCOMPARE(a.pixel(0, 0),
                     clockwise ? source.pixel(0, size.height() - 1)
                               : source.pixel(size.width() - 1, 0));
        }
    }
    QCOMPARE(a.format(), format);
    QCOMPARE(a, source);
}

void tst_pixel_operations::turnInPlace_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("clockwise");
    // Sides sharing no factor, sharing some, equal, one a multiple of the other, a single row
    // or column, widths beyond one batch of columns, and pictures large enough for the work
    // to be split over threads.
    for (bool cw : {true, false})
        for (QSize size : {QSize(37, 23), QSize(6, 4), QSize(4, 6), QSize(16, 16), QSize(150, 70),
                           QSize(70, 150), QSize(1, 9), QSize(9, 1), QSize(1, 1), QSize(200, 3),
                           QSize(1283, 819), QSize(1200, 900)})
            QTest::addRow("%dx%d %s", size.width(), size.height(), cw ? "cw" : "ccw") << size << cw;
}

void tst_pixel_operations::turnInPlace()
{
    QFETCH(QSize, size);
    QFETCH(bool, clockwise);
    const QImage source = numbered(size.width(), size.height(), QImage::Format_RGB32);
    QImage expected;
    if (clockwise)
        RotateQuarterCW(source, expected);
    else
        RotateQuarterCCW(source, expected);
    QImage pixels = source.copy();
    RotateQuarterInPlace(reinterpret_cast<std::uint32_t*>(pixels.bits()), size.width(),
                         size.height(), clockwise);
    const QImage turned(pixels.constBits(), size.height(), size.width(), 4 * size.height(),
                        QImage::Format_RGB32);
    QCOMPARE(turned, expected);
}

void tst_pixel_operations::turnIntoItself()
{
    const QImage source = numbered(9, 4, QImage::Format_RGB32);
    QImage expected;
    RotateQuarterCW(source, expected);
    QImage same = source;
    RotateQuarterCW(same, same);
    QCOMPARE(same, expected);
    // A square picture keeps its size, so the target's buffer is reused: the source's
    // shared copy must not change.
    const QImage square = numbered(8, 8, QImage::Format_RGB32);
    QImage target = square;
    RotateQuarterCCW(square, target);
    QCOMPARE(square, numbered(8, 8, QImage::Format_RGB32));
    QCOMPARE(target.pixel(0, 0), square.pixel(7, 0));
}

void tst_pixel_operations::stretchMapping()
{
    // 3 source columns into 7 and back, rows 2 into 5: each target pixel takes source pixel
    // floor((2i + 1) * m / (2n)).
    QCOMPARE((std::vector<int> {StretchIndex(0, 7, 3), StretchIndex(1, 7, 3), StretchIndex(2, 7, 3),
                                StretchIndex(3, 7, 3), StretchIndex(4, 7, 3), StretchIndex(5, 7, 3),
                                StretchIndex(6, 7, 3)}),
             (std::vector<int> {0, 0, 1, 1, 1, 2, 2}));
    QCOMPARE(
        (std::vector<int> {StretchIndex(0, 3, 7), StretchIndex(1, 3, 7), StretchIndex(2, 3, 7)}),
        (std::vector<int> {1, 3, 5}));
    QCOMPARE(StretchIndex(1999999999, 2000000000, 2000000000), 1999999999);

    const QImage source = numbered(3, 2, QImage::Format_RGB32);
    QImage target(7, 5, QImage::Format_RGB32);
    target.fill(Qt::black);
    StretchDraw(target, QRect(0, 0, 7, 5), source, QRect(0, 0, 3, 2));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            QCOMPARE(target.pixel(x, y),
                     source.pixel(StretchIndex(x, 7, 3), StretchIndex(y, 5, 2)));
}

void tst_pixel_operations::stretchCopiesAtSameSize()
{
    const QImage source = numbered(50, 30, QImage::Format_RGB32);
    QImage target(60, 40, QImage::Format_RGB32);
    target.fill(Qt::black);
    StretchDraw(target, QRect(5, 6, 20, 10), source, QRect(11, 12, 20, 10));
    QCOMPARE(target.copy(5, 6, 20, 10), source.copy(11, 12, 20, 10));
    QCOMPARE(target.pixel(4, 6), qRgb(0, 0, 0));
    QCOMPARE(target.pixel(25, 16), qRgb(0, 0, 0));
}

void tst_pixel_operations::stretchOutsideSourceIsWhite()
{
    const QImage source = numbered(4, 4, QImage::Format_RGB32);
    QImage target(8, 8, QImage::Format_RGB32);
    target.fill(Qt::black);
    // Twice the size, from a rectangle hanging off the source's top-left corner by 2.
    StretchDraw(target, QRect(0, 0, 8, 8), source, QRect(-2, -2, 4, 4));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 4 && y >= 4;
            QCOMPARE(target.pixel(x, y),
                     inside ? source.pixel(x / 2 - 2, y / 2 - 2) : qRgb(255, 255, 255));
        }
}

void tst_pixel_operations::stretchClipsToTarget()
{
    const QImage source = numbered(10, 10, QImage::Format_RGB32);
    QImage target(6, 6, QImage::Format_RGB32);
    target.fill(Qt::black);
    // A rectangle much larger than the target, reaching out on every side.
    const QRect big(-1000, -3, 3000, 12);
    StretchDraw(target, big, source, QRect(0, 0, 10, 10));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            QCOMPARE(target.pixel(x, y),
                     source.pixel(StretchIndex(x + 1000, 3000, 10), StretchIndex(y + 3, 12, 10)));
    // Empty rectangles draw nothing.
    QImage untouched(6, 6, QImage::Format_RGB32);
    untouched.fill(Qt::black);
    StretchDraw(untouched, QRect(0, 0, 0, 6), source, QRect(0, 0, 10, 10));
    StretchDraw(untouched, QRect(0, 0, 6, 6), source, QRect(0, 0, 10, 0));
    StretchDraw(untouched, QRect(6, 0, 6, 6), source, QRect(0, 0, 10, 10));
    QImage black(6, 6, QImage::Format_RGB32);
    black.fill(Qt::black);
    QCOMPARE(untouched, black);
}

void tst_pixel_operations::gatherIndices()
{
    const QImage source = numbered(5, 5, QImage::Format_ARGB32);
    QImage target(4, 4, QImage::Format_ARGB32);
    target.fill(Qt::black);
    const std::vector<int> columns {4, -1, 0, 5, 2};
    const std::vector<int> rows {1, 1, -1, 3, 3};
    GatherPixels(target, QPoint(-1, 0), source, columns, rows);
    const QRgb white = qRgb(255, 255, 255);
    for (int k = 0; k < 4; ++k)
        for (int j = 1; j < 5; ++j) {
            const int sx = columns[std::size_t(j)];
            const int sy = rows[std::size_t(k)];
            const bool inside = sx >= 0 && sx < 5 && sy >= 0 && sy < 5;
            QCOMPARE(target.pixel(j - 1, k), inside ? source.pixel(sx, sy) : white);
        }
}

void tst_pixel_operations::areaAverage_data()
{
    QTest::addColumn<QImage>("source");
    QTest::addColumn<QSize>("working");
    QTest::addColumn<QSize>("target");
    // 0: no single colour is expected throughout.
    QTest::addColumn<QRgb>("everywhere");
    const auto drawn = [](QSize size, auto&& colour) {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(x, y, colour(x, y));
        return image;
    };
    const auto lines = [](int every, bool across) {
        return [every, across](int x, int y) {
            return x % every == 2 || (across && y % every == 2) ? qRgb(0, 0, 0)
                                                                : qRgb(255, 255, 255);
        };
    };
    const auto flat = [](int, int) {
        return qRgb(7, 200, 131);
    };
    // Every line, none lost, is a grey band of the lines' share: 4/5 of white, 16/25 with the
    // lines across too.
    QTest::newRow("lines every 5, by 5") << drawn(QSize(1000, 10), lines(5, false))
                                         << QSize(1000, 10) << QSize(200, 2) << qRgb(204, 204, 204);
    QTest::newRow("grid every 5, by 5") << drawn(QSize(500, 500), lines(5, true)) << QSize(500, 500)
                                        << QSize(100, 100) << qRgb(163, 163, 163);
    QTest::newRow("lines every 3, by 4.7")
        << drawn(QSize(470, 47), lines(3, true)) << QSize(470, 47) << QSize(100, 10) << QRgb {0};
    QTest::newRow("flat, uneven ratios")
        << drawn(QSize(1000, 777), flat) << QSize(1000, 777) << QSize(239, 161) << flat(0, 0);
    const auto numberedPixels = [](int x, int y) {
        return qRgb((x * 37 + y * 11) & 255, (x * 5 + y * 71) & 255, (x ^ y) & 255);
    };
    QTest::newRow("by 1.03") << drawn(QSize(103, 50), numberedPixels) << QSize(103, 50)
                             << QSize(100, 48) << QRgb {0};
    QTest::newRow("working picture 3 x the source")
        << drawn(QSize(50, 40), numberedPixels) << QSize(150, 120) << QSize(100, 80) << QRgb {0};
    QTest::newRow("working picture 0.4 x the source")
        << drawn(QSize(300, 200), numberedPixels) << QSize(120, 80) << QSize(50, 33) << QRgb {0};
    QTest::newRow("a reduced decode standing in")
        << drawn(QSize(75, 50), numberedPixels) << QSize(600, 400) << QSize(200, 133) << QRgb {0};
    QTest::newRow("one row") << drawn(QSize(5000, 1), numberedPixels) << QSize(5000, 1)
                             << QSize(7, 1) << QRgb {0};
    QTest::newRow("split over the cores") << drawn(QSize(1200, 1000), numberedPixels)
                                          << QSize(1200, 1000) << QSize(251, 209) << QRgb {0};
}

// Each target pixel is within one level of the exact average of the working pixels it
// covers, counted by the part it covers; pixels beside the target rectangle stay.
void tst_pixel_operations::areaAverage()
{
    QFETCH(QImage, source);
    QFETCH(QSize, working);
    QFETCH(QSize, target);
    QFETCH(QRgb, everywhere);
    QImage out(target + QSize(3, 2), QImage::Format_RGB32);
    out.fill(qRgb(1, 2, 3));
    AveragePixels(
        out, QPoint(2, 1), source,
        AreaSpansFor(0, target.width(), target.width(), working.width(), source.width()),
        AreaSpansFor(0, target.height(), target.height(), working.height(), source.height()));
    QImage materialised(working, QImage::Format_RGB32);
    StretchDraw(materialised, materialised.rect(), source, source.rect());
    // The share of working pixel w in target pixel i of n, on a side of m.
    const auto share = [](int i, int n, int w, int m) {
        const double low = double(i) * m / n;
        const double high = double(i + 1) * m / n;
        return std::max(0.0, std::min(high, w + 1.0) - std::max(low, double(w))) * n / m;
    };
    const int m = working.width();
    const int mh = working.height();
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const QRgb got = out.pixel(x, y);
            const int i = x - 2;
            const int k = y - 1;
            if (i < 0 || k < 0 || i >= target.width() || k >= target.height()) {
                QCOMPARE(got, qRgb(1, 2, 3));
                continue;
            }
            if (everywhere != 0)
                QCOMPARE(got, everywhere);
            double sum[3] = {0, 0, 0};
            for (int wy = k * mh / target.height(); wy < mh && wy <= (k + 1) * mh / target.height();
                 ++wy) {
                const double sy = share(k, target.height(), wy, mh);
                for (int wx = i * m / target.width(); wx < m && wx <= (i + 1) * m / target.width();
                     ++wx) {
                    const double a = sy * share(i, target.width(), wx, m);
                    const QRgb p = materialised.pixel(wx, wy);
                    sum[0] += a * qRed(p);
                    sum[1] += a * qGreen(p);
                    sum[2] += a * qBlue(p);
                }
            }
            const int channels[3] = {qRed(got), qGreen(got), qBlue(got)};
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::abs(channels[c] - sum[c]) <= 1,
                         qPrintable(QString("pixel %1,%2 channel %3: %4, exact %5")
                                        .arg(i)
                                        .arg(k)
                                        .arg(c)
                                        .arg(channels[c])
                                        .arg(sum[c])));
            QCOMPARE(qAlpha(got), 255);
        }
    }
}

QTEST_GUILESS_MAIN(tst_pixel_operations)
#include "tst_pixel_operations.moc"
