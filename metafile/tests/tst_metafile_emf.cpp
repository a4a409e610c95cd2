#include "metafile/metafile_dib.h"
#include "metafile/metafile_player.h"
#include "metafile/tests/metafile_builder.h"

#include <QTest>

class tst_metafile_emf : public QObject
{
    Q_OBJECT

private slots:
    void reportedSize_data();
    void reportedSize();
    void drawing_data();
    void drawing();
    void pixelOperations_data();
    void pixelOperations();
    void textAdvances_data();
    void textAdvances();
    void stretchedDibits();
    void bitmapChannelsScaleExactly();
    void codedBitmapsAreBounded();
    void damagedRecords_data();
    void damagedRecords();
    void badHeaderGivesNothing_data();
    void badHeaderGivesNothing();
    void workBudget_data();
    void workBudget();
    void sheetOfEveryRecord();
};

namespace {

const std::uint32_t red = colorRef(255, 0, 0);
const std::int64_t nullPen = 0x80000008;

// 100 x 100 output pixels, one a reference-device pixel; red brush, no pen.
EmfBuilder redCanvas(int width = 1000)
{
    EmfBuilder b(QRect(0, 0, width, 1000), QSize(1000, 1000), QSize(100, 100));
    b.solidBrush(1, red).select(1).select(nullPen);
    return b;
}

Params transform(float m11, float m12, float m21, float m22, float dx, float dy)
{
    Params p;
    p.f32(m11).f32(m12).f32(m21).f32(m22).f32(dx).f32(dy);
    return p;
}

Params regionData(std::initializer_list<QRect> boxes)
{
    Params p;
    p.u32(32).u32(1).u32(std::uint32_t(boxes.size())).u32(std::uint32_t(16 * boxes.size()));
    p.i32({0, 0, 100, 100});
    for (const QRect& box : boxes)
        p.i32({box.left(), box.top(), box.right() + 1, box.bottom() + 1});
    return p;
}

} // namespace

void tst_metafile_emf::reportedSize_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("size");
    QTest::newRow("10 pixels a millimetre")
        << EmfBuilder(QRect(0, 0, 2000, 1000), QSize(1000, 1000), QSize(100, 100)).finish()
        << QSize(200, 100);
    QTest::newRow("96 dpi device")
        << EmfBuilder(QRect(0, 0, 2540, 1270), QSize(960, 960), QSize(254, 254)).finish()
        << QSize(96, 48);
    QTest::newRow("offset frame")
        << EmfBuilder(QRect(500, 500, 1000, 500), QSize(1000, 1000), QSize(100, 100)).finish()
        << QSize(100, 50);
}

void tst_metafile_emf::reportedSize()
{
    QFETCH(QByteArray, file);
    QFETCH(QSize, size);
    QCOMPARE(EnhancedMetafileSize(file), size);
    const QImage picture = PlayEnhancedMetafile(file);
    QCOMPARE(picture.size(), size);
    QCOMPARE(picture.format(), QImage::Format_RGB32);
    QVERIFY(inkBox(picture).isEmpty());
}

void tst_metafile_emf::drawing_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QRect>("ink");
    QTest::addColumn<QPoint>("inside");
    QTest::addColumn<QPoint>("outside");
    QTest::newRow("rectangle") << redCanvas().rectangle(10, 20, 50, 60).finish()
                               << QRect(10, 20, 39, 39) << QPoint(30, 40) << QPoint(60, 60);
    QTest::newRow("ellipse") << redCanvas().ellipse(10, 10, 91, 91).finish()
                             << QRect(10, 10, 80, 80) << QPoint(50, 50) << QPoint(15, 15);
    QTest::newRow("frame offset moves the drawing") << [] {
        EmfBuilder b(QRect(200, 300, 1000, 1000), QSize(1000, 1000), QSize(100, 100));
        b.solidBrush(1, red).select(1).select(nullPen).rectangle(20, 30, 41, 51);
        return b.finish();
    }() << QRect(0, 0, 20, 20) << QPoint(10, 10) << QPoint(30, 30);
    QTest::newRow("lometric, y upwards")
        << redCanvas().values(17, {2}).rectangle(0, 0, 51, -51).finish() << QRect(0, 0, 50, 50)
        << QPoint(25, 25) << QPoint(75, 75);
    QTest::newRow("anisotropic window and viewport")
        << redCanvas()
               .values(17, {8})
               .values(9, {10, 10})
               .values(11, {100, 50})
               .values(12, {0, 50})
               .rectangle(0, 0, 5, 11)
               .finish()
        << QRect(0, 50, 49, 50) << QPoint(20, 70) << QPoint(20, 20);
    QTest::newRow("world transform scales and moves")
        << redCanvas().record(35, transform(2, 0, 0, 2, 10, 10)).rectangle(0, 0, 20, 20).finish()
        << QRect(10, 10, 39, 39) << QPoint(40, 40) << QPoint(60, 60);
    QTest::newRow("world transform left-multiplied")
        << redCanvas()
               .record(35, transform(1, 0, 0, 1, 50, 0))
               .record(36, transform(2, 0, 0, 2, 0, 0).u32(2))
               .rectangle(0, 0, 20, 20)
               .finish()
        << QRect(50, 0, 39, 39) << QPoint(60, 10) << QPoint(20, 10);
    QTest::newRow("world transform turns a quarter")
        << redCanvas().record(35, transform(0, 1, -1, 0, 100, 0)).rectangle(0, 0, 50, 20).finish()
        << QRect(80, 0, 20, 50) << QPoint(90, 25) << QPoint(50, 25);
    QTest::newRow("filled path with a curve")
        << redCanvas()
               .values(59, {})
               .values(27, {10, 90})
               .values(54, {90, 90})
               .values(5, {0, 0, 0, 0, 3, 90, 10, 50, 10, 10, 90})
               .values(61, {})
               .values(60, {})
               .values(62, {0, 0, 0, 0})
               .finish()
        << QRect(10, 30, 80, 60) << QPoint(50, 80) << QPoint(50, 5);
    QTest::newRow("stroked path leaves the inside")
        << redCanvas()
               .pen(2, 0, 3, colorRef(0, 0, 255))
               .select(2)
               .values(59, {})
               .values(3, {0, 0, 0, 0, 3, 10, 90, 90, 90, 50, 10})
               .values(60, {})
               .values(64, {0, 0, 0, 0})
               .finish()
        << QRect(8, 8, 84, 84) << QPoint(50, 90) << QPoint(50, 70);
    QTest::newRow("16-bit polygon")
        << redCanvas()
               .record(86, Params().i32({0, 0, 0, 0, 3}).i16({10, 90, 90, 90, 50, 10}))
               .finish()
        << QRect(10, 10, 80, 80) << QPoint(50, 80) << QPoint(20, 20);
    QTest::newRow("clip region and rectangle")
        << redCanvas()
               .record(75, Params().u32(48).u32(5).raw(regionData({QRect(0, 0, 60, 60)}).bytes))
               .values(30, {20, 20, 100, 100})
               .rectangle(0, 0, 101, 101)
               .finish()
        << QRect(20, 20, 40, 40) << QPoint(30, 30) << QPoint(70, 70);
    // Found by fuzzing: edges this far apart overflowed when the rectangle became integers.
    Params farRegion;
    farRegion.u32(32).u32(1).u32(1).u32(16).i32({0, 0, 0, 0});
    farRegion.i32({-2147483647 - 1, -2147483647 - 1, 50, 2147483647});
    QTest::newRow("clip region reaching the integer limits")
        << redCanvas()
               .record(75, Params().u32(48).u32(5).raw(farRegion.bytes))
               .rectangle(0, 0, 101, 101)
               .finish()
        << QRect(0, 0, 50, 100) << QPoint(30, 30) << QPoint(70, 70);
    QTest::newRow("clip path") << redCanvas()
                                      .values(59, {})
                                      .ellipse(0, 0, 100, 100)
                                      .values(60, {})
                                      .values(67, {5})
                                      .rectangle(0, 0, 101, 101)
                                      .finish()
                               << QRect(0, 0, 100, 100) << QPoint(50, 50) << QPoint(3, 3);
    // Found by fuzzing: a clip figure far larger than the picture took seconds to become a
    // region.
    QTest::newRow("clip path far larger than the picture")
        << redCanvas()
               .values(59, {})
               .ellipse(-1000000, -65000, 51, 65101)
               .values(60, {})
               .values(67, {5})
               .rectangle(0, 0, 101, 101)
               .finish()
        << QRect(0, 0, 50, 100) << QPoint(30, 30) << QPoint(70, 70);
    QTest::newRow("EMF+ comment and unknown record skipped")
        << redCanvas()
               .record(70, Params().u32(16).u32(0x2B464D45).u32(0x4001).u32(12).u32(0))
               .values(300, {1, 2, 3})
               .rectangle(10, 20, 50, 60)
               .finish()
        << QRect(10, 20, 39, 39) << QPoint(30, 40) << QPoint(60, 60);
    QTest::newRow("restored state") << redCanvas()
                                           .values(33, {})
                                           .select(0x80000004) // black stock brush
                                           .values(12, {50, 50})
                                           .values(34, {-1})
                                           .rectangle(10, 20, 50, 60)
                                           .finish()
                                    << QRect(10, 20, 39, 39) << QPoint(30, 40) << QPoint(60, 60);
    QTest::newRow("object out of range")
        << redCanvas()
               .solidBrush(500, colorRef(0, 0, 255))
               .select(500)
               .select(7)
               .values(40, {9999})
               .rectangle(10, 20, 50, 60)
               .finish()
        << QRect(10, 20, 39, 39) << QPoint(30, 40) << QPoint(60, 60);
}

void tst_metafile_emf::drawing()
{
    QFETCH(QByteArray, file);
    QFETCH(QRect, ink);
    QFETCH(QPoint, inside);
    QFETCH(QPoint, outside);
    const QImage picture = PlayEnhancedMetafile(file);
    QVERIFY(!picture.isNull());
    const QRect found = inkBox(picture);
    // Curves may differ by a pixel at their edges; boxes of straight shapes are exact.
    QVERIFY2(std::abs(found.left() - ink.left()) <= 1 && std::abs(found.top() - ink.top()) <= 1
                 && std::abs(found.right() - ink.right()) <= 1
                 && std::abs(found.bottom() - ink.bottom()) <= 1,
             qPrintable(QStringLiteral("ink at %1,%2 %3x%4")
                            .arg(found.x())
                            .arg(found.y())
                            .arg(found.width())
                            .arg(found.height())));
    QVERIFY(pixel(picture, inside.x(), inside.y()) != 0xffffffu);
    QCOMPARE(pixel(picture, outside.x(), outside.y()), 0xffffffu);
}

// A STRETCHBLT or ALPHABLEND record (the same layout) of a 2 x 2 bitmap in one colour
// stretched onto (10, 10)-(50, 50).
Params blitRecord(std::uint32_t ropOrBlend, QRgb color)
{
    QImage source(2, 2, QImage::Format_RGB32);
    source.fill(color);
    const QByteArray dib = packedDib(source);
    const std::uint32_t offBmi = 108;
    Params p;
    p.i32({0, 0, 0, 0, 10, 10, 40, 40}).u32(ropOrBlend).i32({0, 0});
    p.f32(1).f32(0).f32(0).f32(1).f32(0).f32(0).u32(0).u32(0);
    p.u32(offBmi).u32(40).u32(offBmi + 40).u32(std::uint32_t(dib.size() - 40));
    return p.i32({2, 2}).raw(dib);
}

// An ALPHABLEND record with per-pixel alpha of a 2 x 1 bit-field bitmap, a transparent pixel
// and an opaque blue one, onto (10, 10)-(50, 50).
Params alphaBitfieldsRecord()
{
    Params p;
    p.i32({0, 0, 0, 0, 10, 10, 40, 40}).u32(0x01FF0000).i32({0, 0});
    p.f32(1).f32(0).f32(0).f32(1).f32(0).f32(0).u32(0).u32(0);
    p.u32(108).u32(52).u32(160).u32(8).i32({2, 1});
    p.u32(40).i32({2, 1}).u16(1).u16(32).u32(3).u32(8).i32({0, 0, 0, 0});
    p.u32(0x00ff0000).u32(0x0000ff00).u32(0x000000ff);
    return p.u32(0).u32(0xff0000ff);
}

void tst_metafile_emf::pixelOperations_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QColor>("expected");
    const std::uint32_t blue = colorRef(0, 0, 255);
    auto xorOverRed = redCanvas().rectangle(0, 0, 60, 60).solidBrush(3, blue).select(3);
    xorOverRed.values(20, {7}).rectangle(30, 30, 90, 90);
    const QByteArray xored = xorOverRed.finish();
    QTest::newRow("XOR pen over red") << xored << QPoint(40, 40) << QColor(255, 0, 255);
    QTest::newRow("XOR pen over white") << xored << QPoint(80, 80) << QColor(255, 255, 0);
    QTest::newRow("no-operation pen")
        << redCanvas().values(20, {11}).rectangle(0, 0, 60, 60).finish() << QPoint(30, 30)
        << QColor(Qt::white);
    QTest::newRow("blit SRCAND of red and cyan")
        << redCanvas()
               .rectangle(0, 0, 30, 100)
               .record(77, blitRecord(0x008800C6, qRgb(0, 255, 255)))
               .finish()
        << QPoint(20, 20) << QColor(0, 0, 0);
    QTest::newRow("blit SRCCOPY replaces")
        << redCanvas()
               .rectangle(0, 0, 30, 100)
               .record(77, blitRecord(0x00CC0020, qRgb(0, 255, 0)))
               .finish()
        << QPoint(20, 20) << QColor(0, 255, 0);
    QTest::newRow("alpha blend at half strength")
        << redCanvas().record(114, blitRecord(0x00800000, qRgb(0, 0, 0))).finish() << QPoint(30, 30)
        << QColor(127, 127, 127);
    const QByteArray alphaFields = redCanvas().record(114, alphaBitfieldsRecord()).finish();
    QTest::newRow("alpha of a bit-field bitmap, clear")
        << alphaFields << QPoint(20, 30) << QColor(Qt::white);
    QTest::newRow("alpha of a bit-field bitmap, opaque")
        << alphaFields << QPoint(40, 30) << QColor(Qt::blue);
    // Newer records: a masked blit showing its source where the mask's bit is set (the left
    // column, scaled 20 times), a blit onto a parallelogram, short text with its opaque box.
    QImage blue2x2(2, 2, QImage::Format_RGB32);
    blue2x2.fill(Qt::blue);
    const QByteArray source = packedDib(blue2x2);
    Params masked;
    masked.i32({0, 0, 0, 0, 1, 1, 2, 2}).u32(0xAACC0020).i32({0, 0});
    masked.f32(1).f32(0).f32(0).f32(1).f32(0).f32(0).u32(0).u32(0);
    masked.u32(128).u32(40).u32(168).u32(16).i32({0, 0}).u32(0);
    masked.u32(184).u32(48).u32(232).u32(8).raw(source);
    masked.u32(40).i32({2, 2}).u16(1).u16(1).u32(0).u32(8).i32({0, 0, 2, 0});
    masked.u32(0).u32(0xffffff).u32(0x80).u32(0x80);
    const QByteArray maskBlit = redCanvas()
                                    .rectangle(0, 0, 101, 101)
                                    .record(35, transform(20, 0, 0, 20, 0, 0))
                                    .record(78, masked)
                                    .finish();
    QTest::newRow("masked blit, mask set") << maskBlit << QPoint(30, 40) << QColor(Qt::blue);
    QTest::newRow("masked blit, mask clear") << maskBlit << QPoint(50, 40) << QColor(Qt::red);
    Params parallelogram;
    parallelogram.i32({0, 0, 0, 0, 10, 10, 90, 10, 10, 50, 0, 0, 2, 2});
    parallelogram.f32(1).f32(0).f32(0).f32(1).f32(0).f32(0).u32(0).u32(0);
    parallelogram.u32(140).u32(40).u32(180).u32(16).i32({0, 0}).u32(0).i32({0, 0, 0, 0});
    parallelogram.raw(source);
    const QByteArray plgBlit = redCanvas().record(79, parallelogram).finish();
    QTest::newRow("parallelogram blit") << plgBlit << QPoint(50, 30) << QColor(Qt::blue);
    QTest::newRow("parallelogram blit, outside") << plgBlit << QPoint(50, 70) << QColor(Qt::white);
    Params shortText;
    shortText.i32({20, 20, 1}).u32(0x200 | 0x2).u32(1).f32(1).f32(1).i32({10, 10, 50, 50});
    shortText.raw(".");
    QTest::newRow("short text, opaque box")
        << redCanvas().values(25, {0xff0000}).record(108, shortText).finish() << QPoint(40, 40)
        << QColor(Qt::blue);
    Params gradient;
    gradient.i32({0, 0, 0, 0, 2, 1, 0}); // bounds, two vertices, one rectangle, left to right
    gradient.i32({0, 0}).u16(0).u16(0).u16(0).u16(0);
    gradient.i32({100, 100}).u16(0xff00).u16(0xff00).u16(0xff00).u16(0);
    gradient.u32(0).u32(1);
    const QByteArray shaded = redCanvas().record(118, gradient).finish();
    QTest::newRow("gradient, left end") << shaded << QPoint(1, 50) << QColor(3, 3, 3);
    QTest::newRow("gradient, middle") << shaded << QPoint(50, 50) << QColor(128, 128, 128);
    // A 10-pixel mitred pen turning sharply at (50, 55): the platform's default limit keeps
    // the point, 20 pixels above the corner; a limit of 2 bevels it.
    auto sharpTurn = [](std::int64_t limit) {
        Params pen;
        pen.i32({5, 0, 0, 0, 0, 0x10000 | 0x2000 | 0x200, 10, 0, 0, 0, 0});
        auto b = redCanvas().record(95, pen).select(5);
        if (limit)
            b.values(58, {limit});
        return b.values(4, {0, 0, 0, 0, 3, 40, 95, 50, 55, 60, 95}).finish();
    };
    QTest::newRow("mitred join") << sharpTurn(0) << QPoint(50, 40) << QColor(Qt::black);
    QTest::newRow("mitre limit bevels") << sharpTurn(2) << QPoint(50, 40) << QColor(Qt::white);
    Params triangle;
    triangle.i32({0, 0, 0, 0, 3, 1, 2}); // bounds, three vertices, one triangle
    triangle.i32({0, 0}).u16(0xff00).u16(0).u16(0).u16(0);
    triangle.i32({100, 0}).u16(0).u16(0xff00).u16(0).u16(0);
    triangle.i32({0, 100}).u16(0).u16(0).u16(0xff00).u16(0);
    triangle.u32(0).u32(1).u32(2);
    const QByteArray mixed = EmfBuilder(QRect(0, 0, 1000, 1000), QSize(1000, 1000), QSize(100, 100))
                                 .record(118, triangle)
                                 .finish();
    QTest::newRow("shaded triangle, top edge") << mixed << QPoint(50, 1) << QColor(122, 129, 4);
    QTest::newRow("shaded triangle, inside") << mixed << QPoint(10, 50) << QColor(99, 27, 129);
    QTest::newRow("shaded triangle, outside") << mixed << QPoint(80, 80) << QColor(Qt::white);
    // A triangle is shaded a band of rows at a time: a row far below the first band.
    Params tall;
    tall.i32({0, 0, 0, 0, 3, 1, 2});
    tall.i32({0, 0}).u16(0xff00).u16(0).u16(0).u16(0);
    tall.i32({100, 0}).u16(0).u16(0xff00).u16(0).u16(0);
    tall.i32({0, 300}).u16(0).u16(0).u16(0xff00).u16(0);
    tall.u32(0).u32(1).u32(2);
    QTest::newRow("shaded triangle, a later band")
        << EmfBuilder(QRect(0, 0, 1000, 3000), QSize(1000, 1000), QSize(100, 100))
               .record(118, tall)
               .finish()
        << QPoint(10, 200) << QColor(58, 27, 170);
}

void tst_metafile_emf::pixelOperations()
{
    QFETCH(QByteArray, file);
    QFETCH(QPoint, at);
    QFETCH(QColor, expected);
    const QColor found = PlayEnhancedMetafile(file).pixelColor(at);
    QVERIFY2(std::abs(found.red() - expected.red()) <= 4
                 && std::abs(found.green() - expected.green()) <= 4
                 && std::abs(found.blue() - expected.blue()) <= 4,
             qPrintable(found.name()));
}

void tst_metafile_emf::textAdvances_data()
{
    QTest::addColumn<bool>("spaced");
    QTest::addColumn<int>("rightAtLeast");
    QTest::addColumn<int>("rightAtMost");
    // "HH" in 40-pixel Liberation Sans from x = 20: 29 pixels an H by the font's own advance.
    QTest::newRow("the font's advances") << false << 70 << 80;
    QTest::newRow("the record's advances, 50 each") << true << 92 << 100;
}

void tst_metafile_emf::textAdvances()
{
    QFETCH(bool, spaced);
    QFETCH(int, rightAtLeast);
    QFETCH(int, rightAtMost);
    auto b = redCanvas(2000);
    Params font;
    font.i32({2, -40, 0, 0, 0, 700}).u32(0).u32(0);
    for (QChar c : QStringLiteral("Arial").leftJustified(32, QChar(0)))
        font.u16(c.unicode());
    b.record(82, font).select(2).values(22, {24}).values(18, {1});
    Params text;
    text.i32({0, 0, 0, 0, 1}).f32(1).f32(1); // bounds, graphics mode, scales
    text.i32({20, 60, 2, 76, 0, 0, 0, 0, 0}).u32(spaced ? 80 : 0); // reference, string, dx
    text.u16('H').u16('H');
    if (spaced)
        text.i32({50, 50});
    b.record(84, text);
    const QImage picture = PlayEnhancedMetafile(b.finish());
    const QRect ink = inkBox(picture);
    QVERIFY(ink.left() >= 20 && ink.left() <= 26);
    QVERIFY(ink.bottom() >= 57 && ink.bottom() <= 60);
    QVERIFY(ink.top() >= 28 && ink.top() <= 34);
    QVERIFY2(ink.right() >= rightAtLeast && ink.right() <= rightAtMost,
             qPrintable(QString::number(ink.right())));
}

void tst_metafile_emf::stretchedDibits()
{
    QImage source(2, 2, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 255, 0));
    source.setPixel(0, 1, qRgb(0, 0, 255));
    source.setPixel(1, 1, qRgb(0, 0, 0));
    const QByteArray dib = packedDib(source);
    auto b = redCanvas();
    Params p;
    p.i32({0, 0, 0, 0, 20, 10, 0, 0, 2, 2});
    p.u32(80).u32(40).u32(120).u32(std::uint32_t(dib.size() - 40));
    p.u32(0).u32(0x00CC0020).i32({60, 40}).raw(dib);
    b.record(81, p);
    const QImage picture = PlayEnhancedMetafile(b.finish());
    QCOMPARE(pixel(picture, 25, 15), 0xff0000u);
    QCOMPARE(pixel(picture, 75, 15), 0x00ff00u);
    QCOMPARE(pixel(picture, 25, 45), 0x0000ffu);
    QCOMPARE(pixel(picture, 75, 45), 0x000000u);
    QCOMPARE(inkBox(picture), QRect(20, 10, 60, 40));
}

// A record's bitmap is decoded as a bitmap file is: a 5-bit channel's maximum gives 255.
void tst_metafile_emf::bitmapChannelsScaleExactly()
{
    Params dib;
    dib.u32(40).i32({2, 1}).u16(1).u16(16).u32(0).u32(4).i32({0, 0, 0, 0});
    dib.u16(0x7FFF).u16(0x001F);
    auto b = redCanvas();
    Params p;
    p.i32({0, 0, 0, 0, 20, 10, 0, 0, 2, 1});
    p.u32(80).u32(40).u32(120).u32(4);
    p.u32(0).u32(0x00CC0020).i32({60, 40}).raw(dib.bytes);
    b.record(81, p);
    const QImage picture = PlayEnhancedMetafile(b.finish());
    QCOMPARE(pixel(picture, 25, 15), 0xffffffu);
    QCOMPARE(pixel(picture, 75, 15), 0x0000ffu);
}

// Two bytes of runs cannot ask for a bitmap of hundreds of megabytes; a small one decodes.
void tst_metafile_emf::codedBitmapsAreBounded()
{
    const auto rle8 = [](int width, int height) {
        Params info;
        info.u32(40).i32({width, height}).u16(1).u16(8).u32(1).u32(0).i32({0, 0}).u32(2).u32(0);
        info.u32(0x000000).u32(0x0000FF);
        return info.bytes;
    };
    const QByteArray runs = Params().u16(0x0102).u16(0x0100).bytes; // two pixels of 1, the end
    const auto span = [](const QByteArray& bytes) {
        return std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                         static_cast<std::size_t>(bytes.size()));
    };
    const QImage small = DecodeDib(span(rle8(4, 2)), span(runs)).image;
    QCOMPARE(small.size(), QSize(4, 2));
    QCOMPARE(small.pixel(1, 1), 0xFF0000FFu); // bottom-up: the first row is the lowest
    QVERIFY(DecodeDib(span(rle8(10000, 10000)), span(runs)).image.isNull());
}

void tst_metafile_emf::damagedRecords_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<bool>("goesOn"); // whether the records after the damaged one are played
    QTest::newRow("size beyond the file")
        << Params().u32(43).u32(4000).i32({50, 50, 99, 99}).bytes << false;
    QTest::newRow("size not a multiple of four")
        << Params().u32(43).u32(26).i32({50, 50, 99, 99}).bytes << false;
    QTest::newRow("rectangle cut short") << Params().u32(43).u32(16).i32({50, 50}).bytes << true;
    QTest::newRow("polygon counting more points than it holds")
        << Params().u32(3).u32(36).i32({0, 0, 0, 0, 100000, 50, 50}).bytes << true;
    QTest::newRow("text string outside the record")
        << Params()
               .u32(84)
               .u32(76)
               .i32({0, 0, 0, 0, 1, 0, 0, 50, 50, 4, 900, 0, 0, 0, 0, 0, 0})
               .bytes
        << true;
}

void tst_metafile_emf::damagedRecords()
{
    QFETCH(QByteArray, damage);
    QFETCH(bool, goesOn);
    auto b = redCanvas();
    b.rectangle(0, 0, 50, 50).rawRecord(damage).rectangle(50, 50, 100, 100);
    const QImage picture = PlayEnhancedMetafile(b.finish());
    QCOMPARE(pixel(picture, 25, 25), 0xff0000u);
    QCOMPARE(pixel(picture, 75, 75), goesOn ? 0xff0000u : 0xffffffu);
}

void tst_metafile_emf::badHeaderGivesNothing_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray good = redCanvas().rectangle(0, 0, 50, 50).finish();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut inside the header") << good.left(60);
    QByteArray signature = good;
    signature[41] = 'X';
    QTest::newRow("wrong signature") << signature;
    QTest::newRow("no device millimetres")
        << EmfBuilder(QRect(0, 0, 1000, 1000), QSize(1000, 1000), QSize(0, 100)).finish();
    QTest::newRow("empty frame")
        << EmfBuilder(QRect(0, 0, 0, 1000), QSize(1000, 1000), QSize(100, 100)).finish();
    QTest::newRow("size over the memory limit")
        << EmfBuilder(QRect(0, 0, 2000000000, 2000000000), QSize(1000, 1000), QSize(1, 1)).finish();
    QTest::newRow("a windows metafile") << WmfBuilder::placeable(0, 0, 10, 10, 96).finish();
}

void tst_metafile_emf::badHeaderGivesNothing()
{
    QFETCH(QByteArray, file);
    QVERIFY(EnhancedMetafileSize(file).isEmpty());
    QVERIFY(PlayEnhancedMetafile(file).isNull());
}

void tst_metafile_emf::workBudget_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("refused");
    auto rectangles = [](int count) {
        auto b = WmfBuilder::placeable(0, 0, 2000, 2000, 96);
        b.solidBrush(red).select(0);
        for (int i = 0; i < count; ++i)
            b.rectangle(0, 0, 2000, 2000);
        return b.finish();
    };
    QTest::newRow("a hundred full-picture rectangles") << rectangles(100) << false;
    QTest::newRow("a thousand full-picture rectangles") << rectangles(1000) << true;

    // 300 letters of a 16000-pixel font, each over the whole picture; the same over a
    // picture too thin to hold much of any (found by fuzzing).
    Params font;
    font.i32({1, -16000, 0, 0, 0, 400}).u32(0).u32(0);
    for (QChar c : QStringLiteral("Arial").leftJustified(32, QChar(0)))
        font.u16(c.unicode());
    Params text;
    text.i32({0, 0, 0, 0, 1}).f32(1).f32(1).i32({-2000, -6000, 300, 76, 0, 0, 0, 0, 0, 676});
    for (int i = 0; i < 300; ++i)
        text.u16('W');
    for (int i = 0; i < 300; ++i)
        text.u32(0);
    for (int width : {20000, 500}) {
        EmfBuilder letters(QRect(0, 0, width, 20000), QSize(1000, 1000), QSize(100, 100));
        QTest::newRow(width > 500 ? "huge letters over each other" : "huge letters, thin picture")
            << letters.record(82, font).select(1).record(84, text).finish() << true;
    }

    // Bitmaps of two bytes of run-length codes claiming 4000 x 4000 pixels.
    Params bitmap;
    bitmap.u32(40).i32({4000, 4000}).u16(1).u16(8).u32(1).u32(2).i32({0, 0, 2, 0});
    bitmap.u32(0xff0000).u32(0x00ff00).u8(0).u8(1);
    Params stretch;
    stretch.i32({0, 0, 0, 0, 0, 0, 0, 0, 4000, 4000});
    stretch.u32(80).u32(48).u32(128).u32(2).u32(0).u32(0x00CC0020).i32({100, 100});
    stretch.raw(bitmap.bytes);
    auto stretched = redCanvas();
    for (int i = 0; i < 100; ++i)
        stretched.record(81, stretch);
    QTest::newRow("small bitmaps claiming a large size") << stretched.finish() << true;
}

void tst_metafile_emf::workBudget()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, refused);
    const bool windows = !WindowsMetafileSize(file).isEmpty();
    const QImage picture = windows ? PlayWindowsMetafile(file) : PlayEnhancedMetafile(file);
    QCOMPARE(picture.isNull(), refused);
}

void tst_metafile_emf::sheetOfEveryRecord()
{
    // Panels of 100 x 100 pixels, eight a row, each drawing with other records; every one
    // must show ink. With VISTREL_SHEET set, the sheet is written there as a PNG to look at.
    EmfBuilder b(QRect(0, 0, 8000, 7000), QSize(1000, 1000), QSize(100, 100), 16);
    int panels = 0;
    auto next = [&] {
        const QPoint corner(panels % 8 * 100, panels / 8 * 100);
        ++panels;
        return corner;
    };
    const std::uint32_t blue = colorRef(0, 0, 255);
    const std::uint32_t green = colorRef(0, 160, 0);
    QImage checker(4, 4, QImage::Format_RGB32);
    for (int i = 0; i < 16; ++i)
        checker.setPixel(i % 4, i / 4, (i % 4 + i / 4) % 2 ? qRgb(200, 0, 200) : qRgb(255, 220, 0));
    const QByteArray dib = packedDib(checker);
    const auto dibBits = std::uint32_t(dib.size() - 40);
    // A blit record of the checker (BITBLT, STRETCHBLT, ALPHABLEND, TRANSPARENTBLT layout).
    auto blit = [&](std::uint32_t type, QRect to, std::uint32_t rop, bool bitmap = true) {
        const std::uint32_t offBmi = type == 76 ? 100 : 108;
        Params p;
        p.i32({0, 0, 0, 0, to.x(), to.y(), to.width(), to.height()}).u32(rop).i32({0, 0});
        p.f32(1).f32(0).f32(0).f32(1).f32(0).f32(0).u32(0).u32(0);
        if (bitmap)
            p.u32(offBmi).u32(40).u32(offBmi + 40).u32(dibBits);
        else
            p.u32(0).u32(0).u32(0).u32(0);
        if (type != 76)
            p.i32({4, 4});
        b.record(type, bitmap ? p.raw(dib) : p);
    };
    auto regionOf = [](QPoint o) {
        Params r;
        r.u32(32).u32(1).u32(2).u32(32).i32({0, 0, 0, 0});
        return r.i32({o.x() + 10, o.y() + 10, o.x() + 40, o.y() + 90, o.x() + 60, o.y() + 10,
                      o.x() + 90, o.y() + 90});
    };
    auto font = [&](int height, int charset, const QString& face) {
        Params f;
        f.i32({3, height, 0, 0, 0, 700}).u8(0).u8(0).u8(0).u8(std::uint32_t(charset)).u32(0);
        for (QChar c : face.leftJustified(32, QChar(0)))
            f.u16(c.unicode());
        b.record(82, f).select(3);
    };
    auto wideText = [&](QPoint at, const QString& text) {
        Params t;
        t.i32({0, 0, 0, 0, 1})
            .f32(1)
            .f32(1)
            .i32({at.x(), at.y(), text.size(), 76, 0, 0, 0, 0, 0, 0});
        for (QChar c : text)
            t.u16(c.unicode());
        b.record(84, t);
    };
    b.solidBrush(1, red).pen(2, 0, 3, blue).select(1).select(2);

    QPoint o = next();
    b.rectangle(o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90);
    o = next();
    b.ellipse(o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90);
    o = next();
    b.values(44, {o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90, 30, 30});
    for (int type : {45, 46, 47}) { // arc, chord, pie
        o = next();
        b.values(type,
                 {o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90, o.x() + 90, o.y() + 50,
                  o.x() + 50, o.y() + 10});
    }
    o = next(); // arc joined to the current point
    b.values(27, {o.x() + 5, o.y() + 95})
        .values(55,
                {o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90, o.x() + 90, o.y() + 50, o.x() + 50,
                 o.y() + 10});
    o = next(); // angle arc, counter-clockwise by default
    b.values(27, {o.x() + 50, o.y() + 50})
        .record(41, Params().i32({o.x() + 50, o.y() + 50}).u32(40).f32(0).f32(270));
    auto points = [](QPoint corner, std::initializer_list<int> xy) {
        Params p;
        int i = 0;
        for (int v : xy)
            p.i32({v + (i++ % 2 ? corner.y() : corner.x())});
        return p;
    };
    const std::initializer_list<int> zigzag = {10, 90, 30, 10, 70, 90, 90, 10};
    o = next(); // Bezier
    b.record(2, Params().i32({0, 0, 0, 0, 4}).raw(points(o, zigzag).bytes));
    o = next();
    b.record(3, Params().i32({0, 0, 0, 0, 4}).raw(points(o, zigzag).bytes));
    o = next();
    b.record(4, Params().i32({0, 0, 0, 0, 4}).raw(points(o, zigzag).bytes));
    o = next(); // Bezier and lines from the current point
    b.values(27, {o.x() + 10, o.y() + 90});
    b.record(5, Params().i32({0, 0, 0, 0, 3}).raw(points(o, {30, 10, 70, 90, 90, 10}).bytes));
    b.record(6, Params().i32({0, 0, 0, 0, 2}).raw(points(o, {90, 90, 10, 50}).bytes));
    o = next(); // several lines, several polygons
    b.record(7,
             Params()
                 .i32({0, 0, 0, 0, 2, 4, 2, 2})
                 .raw(points(o, {10, 10, 90, 10, 10, 90, 90, 90}).bytes));
    b.record(8,
             Params()
                 .i32({0, 0, 0, 0, 2, 6, 3, 3})
                 .raw(points(o, {10, 20, 45, 80, 10, 80, 55, 20, 90, 20, 90, 80}).bytes));
    auto small = [](QPoint corner, std::initializer_list<int> xy) {
        Params p;
        int i = 0;
        for (int v : xy)
            p.i16({v + (i++ % 2 ? corner.y() : corner.x())});
        return p;
    };
    o = next(); // 16-bit Bezier, polygon, line
    b.record(85,
             Params().i32({0, 0, 0, 0, 4}).raw(small(o, {10, 30, 30, 10, 70, 50, 90, 30}).bytes));
    b.record(86, Params().i32({0, 0, 0, 0, 3}).raw(small(o, {10, 90, 50, 50, 90, 90}).bytes));
    b.record(87, Params().i32({0, 0, 0, 0, 2}).raw(small(o, {10, 40, 90, 40}).bytes));
    o = next(); // 16-bit from the current point, several lines and polygons
    b.values(27, {o.x() + 10, o.y() + 10});
    b.record(88, Params().i32({0, 0, 0, 0, 3}).raw(small(o, {30, 30, 50, 0, 90, 10}).bytes));
    b.record(89, Params().i32({0, 0, 0, 0, 1}).raw(small(o, {90, 40}).bytes));
    b.record(90, Params().i32({0, 0, 0, 0, 1, 2, 2}).raw(small(o, {10, 50, 90, 50}).bytes));
    b.record(91, Params().i32({0, 0, 0, 0, 1, 3, 3}).raw(small(o, {10, 90, 50, 60, 90, 90}).bytes));
    o = next(); // point-type drawing, 32- and 16-bit
    b.values(27, {o.x() + 10, o.y() + 10});
    b.record(56,
             Params()
                 .i32({0, 0, 0, 0, 3})
                 .raw(points(o, {90, 10, 90, 50, 10, 50}).bytes)
                 .u8(2)
                 .u8(2)
                 .u8(3));
    b.record(92, Params().i32({0, 0, 0, 0, 2}).raw(small(o, {10, 90, 90, 90}).bytes).u8(6).u8(2));
    o = next(); // pixels and a line
    for (int i = 10; i < 90; i += 4)
        b.record(15, Params().i32({o.x() + i, o.y() + 100 - i}).u32(blue));
    b.values(27, {o.x() + 10, o.y() + 10}).values(54, {o.x() + 90, o.y() + 90});
    for (int type : {62, 63, 64}) { // fill, stroke and fill, stroke a path
        o = next();
        b.values(59, {}).values(27, {o.x() + 10, o.y() + 90}).values(54, {o.x() + 50, o.y() + 10});
        b.values(54, {o.x() + 90, o.y() + 90}).values(61, {}).values(60, {});
        b.values(type, {0, 0, 0, 0});
    }
    o = next(); // a mitred wide pen, an abandoned path
    b.record(95,
             Params().i32({4, 0, 0, 0, 0, 0x10000 | 0x2000 | 0x200, 8, 0}).u32(green).i32({0, 0}));
    b.select(4).values(58, {4});
    b.values(
        4, {0, 0, 0, 0, 3, o.x() + 10, o.y() + 80, o.x() + 50, o.y() + 20, o.x() + 90, o.y() + 80});
    b.values(59, {}).rectangle(0, 0, 800, 700).values(68, {}).select(2).values(40, {4});
    o = next(); // clip path, saved and restored
    b.values(33, {}).values(59, {}).ellipse(o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90);
    b.values(60, {}).values(67, {5}).rectangle(o.x(), o.y(), o.x() + 101, o.y() + 101);
    b.values(34, {-1});
    o = next(); // region filled
    b.solidBrush(4, green).record(71, Params().i32({0, 0, 0, 0, 64, 4}).raw(regionOf(o).bytes));
    o = next(); // region framed
    b.record(72, Params().i32({0, 0, 0, 0, 64, 4, 4, 4}).raw(regionOf(o).bytes));
    o = next(); // region inverted
    b.record(73, Params().i32({0, 0, 0, 0, 64}).raw(regionOf(o).bytes)).values(40, {4});
    o = next(); // region painted
    b.record(74, Params().i32({0, 0, 0, 0, 64}).raw(regionOf(o).bytes));
    o = next(); // clip region, moved; clip rectangles
    b.values(33, {}).record(75, Params().u32(64).u32(5).raw(regionOf(o).bytes));
    b.values(26, {5, 5}).rectangle(o.x(), o.y(), o.x() + 101, o.y() + 101).values(34, {-1});
    o = next();
    b.values(33, {}).values(30, {o.x() + 20, o.y() + 20, o.x() + 80, o.y() + 80});
    b.values(29, {o.x() + 40, o.y() + 40, o.x() + 60, o.y() + 60});
    b.rectangle(o.x(), o.y(), o.x() + 101, o.y() + 101).values(34, {-1});
    o = next(); // blits: plain, without a bitmap, stretched
    blit(76, QRect(o.x() + 10, o.y() + 10, 4, 4), 0x00CC0020);
    blit(76, QRect(o.x() + 20, o.y() + 20, 60, 60), 0x00F00021, false);
    o = next();
    blit(77, QRect(o.x() + 10, o.y() + 10, 80, 80), 0x00CC0020);
    o = next(); // bits to the device, then stretched
    Params toDevice;
    toDevice.i32({0, 0, 0, 0, o.x() + 48, o.y() + 48, 0, 0, 4, 4}).u32(76).u32(40).u32(116);
    b.record(80, toDevice.u32(dibBits).u32(0).u32(0).u32(4).raw(dib));
    o = next();
    Params stretched;
    stretched.i32({0, 0, 0, 0, o.x() + 10, o.y() + 10, 0, 0, 4, 4}).u32(80).u32(40).u32(120);
    b.record(81, stretched.u32(dibBits).u32(0).u32(0x00CC0020).i32({80, 80}).raw(dib));
    o = next(); // half-strength blend over a shape, transparent colour
    b.rectangle(o.x() + 30, o.y() + 30, o.x() + 70, o.y() + 70);
    blit(114, QRect(o.x() + 10, o.y() + 10, 80, 80), 0x00800000);
    o = next();
    blit(116, QRect(o.x() + 10, o.y() + 10, 80, 80), colorRef(255, 220, 0));
    o = next(); // masked blit of the checker's left half; parallelogram blit
    Params masked;
    masked.i32({0, 0, 0, 0, o.x() + 48, o.y() + 48, 4, 4}).u32(0xAACC0020).i32({0, 0});
    masked.f32(1).f32(0).f32(0).f32(1).f32(0).f32(0).u32(0).u32(0);
    masked.u32(128).u32(40).u32(128 + 40).u32(dibBits).i32({0, 0}).u32(0);
    masked.u32(std::uint32_t(128 + dib.size()))
        .u32(48)
        .u32(std::uint32_t(128 + dib.size() + 48))
        .u32(16)
        .raw(dib);
    masked.u32(40).i32({4, 4}).u16(1).u16(1).u32(0).u32(16).i32({0, 0, 2, 0});
    masked.u32(0).u32(0xffffff).u32(0xc0).u32(0xc0).u32(0xc0).u32(0xc0);
    b.record(35, transform(10, 0, 0, 10, float(-9 * (o.x() + 48)), float(-9 * (o.y() + 48))));
    b.record(78, masked).record(35, transform(1, 0, 0, 1, 0, 0));
    o = next();
    Params parallelogram;
    parallelogram.i32({0, 0, 0, 0, o.x() + 30, o.y() + 10, o.x() + 90, o.y() + 30, o.x() + 10,
                       o.y() + 70, 0, 0, 4, 4});
    parallelogram.f32(1).f32(0).f32(0).f32(1).f32(0).f32(0).u32(0).u32(0);
    parallelogram.u32(140).u32(40).u32(180).u32(dibBits).i32({0, 0}).u32(0).i32({0, 0, 0, 0});
    b.record(79, parallelogram.raw(dib));
    o = next(); // gradients: a rectangle, a triangle
    Params shade;
    shade.i32({0, 0, 0, 0, 2, 1, 1, o.x() + 10, o.y() + 10}).u16(0xff00).u16(0).u16(0).u16(0);
    shade.i32({o.x() + 90, o.y() + 90}).u16(0).u16(0).u16(0xff00).u16(0).u32(0).u32(1);
    b.record(118, shade);
    o = next();
    Params triangle;
    triangle.i32({0, 0, 0, 0, 3, 1, 2, o.x() + 50, o.y() + 5}).u16(0xff00).u16(0).u16(0).u16(0);
    triangle.i32({o.x() + 95, o.y() + 95}).u16(0).u16(0xff00).u16(0).u16(0);
    triangle.i32({o.x() + 5, o.y() + 95}).u16(0).u16(0).u16(0xff00).u16(0).u32(0).u32(1).u32(2);
    b.record(118, triangle);
    o = next(); // wide text, transparent
    font(-40, 0, QStringLiteral("Arial"));
    b.values(18, {1});
    wideText(o + QPoint(5, 20), QStringLiteral("Ab"));
    o = next(); // byte text in Greek
    font(-40, 161, QStringLiteral("Arial"));
    Params greek;
    greek.i32({0, 0, 0, 0, 1}).f32(1).f32(1).i32({o.x() + 5, o.y() + 20, 3, 76, 0, 0, 0, 0, 0, 0});
    b.record(83, greek.raw("\xc1\xe2\xe3"));
    o = next(); // short text
    font(-40, 0, QStringLiteral("Courier New"));
    b.record(
        108,
        Params().i32({o.x() + 5, o.y() + 20, 2}).u32(0x200 | 0x100).u32(1).f32(1).f32(1).raw("Cd"));
    o = next(); // aligned text on an opaque background, coloured
    font(-24, 0, QStringLiteral("Times New Roman"));
    b.values(22, {6 | 24}).values(24, {colorRef(0, 0, 128)}).values(25, {colorRef(255, 255, 192)});
    b.values(18, {2});
    wideText(o + QPoint(50, 50), QStringLiteral("Mid"));
    b.values(22, {0}).values(24, {0}).values(18, {1});
    o = next(); // symbol font
    font(-30, 2, QStringLiteral("Symbol"));
    wideText(o + QPoint(5, 5), QStringLiteral("ab\u00e6"));
    wideText(o + QPoint(5, 50), QString(QChar(0xF070)) + QChar(0xF071) + QChar(0xF0E8));
    o = next(); // anisotropic window onto a viewport, extents scaled
    b.values(33, {}).values(17, {8}).values(10, {0, 0}).values(9, {10, 10});
    b.values(12, {o.x(), o.y()}).values(11, {100, 100}).values(31, {1, 2, 1, 2});
    b.values(32, {1, 2, 1, 2}).rectangle(1, 1, 9, 9).values(34, {-1});
    o = next(); // world transform turned, then moved
    b.record(35, transform(0.7071f, 0.7071f, -0.7071f, 0.7071f, 0, 0));
    b.record(36, transform(1, 0, 0, 1, float(o.x() + 50), float(o.y() + 15)).u32(3));
    b.rectangle(0, 0, 45, 45).record(36, transform(1, 0, 0, 1, 0, 0).u32(1));
    o = next(); // exclusive-or pen, winding star, clockwise arc
    b.values(20, {7}).rectangle(o.x() + 5, o.y() + 5, o.x() + 60, o.y() + 60).values(20, {13});
    b.values(19, {2}).values(3,
                             {0, 0, 0, 0, 5, o.x() + 50, o.y() + 30, o.x() + 75, o.y() + 95,
                              o.x() + 15, o.y() + 55, o.x() + 85, o.y() + 55, o.x() + 25,
                              o.y() + 95});
    b.values(57, {2}).values(45,
                             {o.x() + 60, o.y() + 5, o.x() + 95, o.y() + 40, o.x() + 95, o.y() + 20,
                              o.x() + 80, o.y() + 5});
    b.values(57, {1});
    o = next(); // bitmap pattern brush, one-bit brush, palette, stock brush
    Params pattern;
    pattern.u32(5).u32(0).u32(32).u32(40).u32(72).u32(dibBits).raw(dib);
    b.record(94, pattern).select(5).rectangle(o.x() + 10, o.y() + 10, o.x() + 50, o.y() + 90);
    Params mono;
    mono.u32(6).u32(0).u32(32).u32(48).u32(80).u32(32);
    mono.u32(40).i32({8, 8}).u16(1).u16(1).u32(0).u32(32).i32({0, 0, 2, 0}).u32(0).u32(0xffffff);
    for (int row = 0; row < 8; ++row)
        mono.u32(row % 2 ? 0xff : 0x0f);
    b.record(93, mono).select(6).rectangle(o.x() + 50, o.y() + 10, o.x() + 90, o.y() + 90);
    b.record(49, Params().u32(7).u16(0x300).u16(1).u32(0xff)).values(40, {7});
    o = next();
    b.select(0x80000004).rectangle(o.x() + 30, o.y() + 30, o.x() + 70, o.y() + 70);

    const QImage sheet = PlayEnhancedMetafile(b.finish());
    QCOMPARE(sheet.size(), QSize(800, 700));
    if (const QString out = qEnvironmentVariable("VISTREL_SHEET"); !out.isEmpty())
        sheet.save(out + QStringLiteral("/emf_sheet.png"));
    for (int p = 0; p < panels; ++p)
        QVERIFY2(!inkBox(sheet.copy(p % 8 * 100, p / 8 * 100, 100, 100)).isEmpty(),
                 qPrintable(QStringLiteral("panel %1 is blank").arg(p)));
}

QTEST_MAIN(tst_metafile_emf)
#include "tst_metafile_emf.moc"
