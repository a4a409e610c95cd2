#include "metafile/metafile_player.h"
#include "metafile/tests/metafile_builder.h"

#include <QTest>

class tst_metafile_wmf : public QObject
{
    Q_OBJECT

private slots:
    void reportedSize_data();
    void reportedSize();
    void filledShapes_data();
    void filledShapes();
    void mappingModes_data();
    void mappingModes();
    void hatchBrushFollowsBackgroundMode();
    void textAtItsReferencePoint_data();
    void textAtItsReferencePoint();
    void hugeLetterIsFilled();
    void faceSubstitutes_data();
    void faceSubstitutes();
    void textByCharacterSet_data();
    void textByCharacterSet();
    void stretchedDib();
    void regions();
    void extendedTextOptions();
    void clipping();
    void savedStatesComeBack();
    void damagedRecords();
    void badHeaderGivesNothing_data();
    void badHeaderGivesNothing();
    void objectIndexOutOfRangeIsIgnored();
    void sheetOfEveryRecord();
};

namespace {

const std::uint32_t red = colorRef(255, 0, 0);
const std::uint32_t blue = colorRef(0, 0, 255);

// A 100 x 100 picture whose logical units are its pixels, red brush and no pen selected.
WmfBuilder redCanvas()
{
    auto b = WmfBuilder::placeable(0, 0, 100, 100, 96);
    b.solidBrush(red).select(0).pen(5, 0, 0).select(1);
    return b;
}

// The red canvas after a first drawing (an empty box), which fixes where the frame lies on
// the device: mapping records after it move what follows.
WmfBuilder drawnCanvas()
{
    return redCanvas().rectangle(0, 0, 0, 0);
}

} // namespace

void tst_metafile_wmf::reportedSize_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("size");
    QTest::newRow("placeable twips")
        << WmfBuilder::placeable(0, 0, 1440, 720, 1440).finish() << QSize(96, 48);
    QTest::newRow("placeable with an offset frame")
        << WmfBuilder::placeable(-500, 200, 500, 700, 1000).finish() << QSize(96, 48);
    QTest::newRow("placeable, frame upside down")
        << WmfBuilder::placeable(0, 100, 100, 0, 96).finish() << QSize(100, 100);
    QTest::newRow("plain, window extent")
        << WmfBuilder::plain().words(0x020B, {5, 5}).words(0x020C, {-60, 120}).finish()
        << QSize(120, 60);
    // Without a window extent the picture is the box of what the records draw, here a
    // rectangle whose pen is a white line.
    QTest::newRow("plain, the extent of the drawing") << WmfBuilder::plain()
                                                             .pen(0, 1, colorRef(255, 255, 255))
                                                             .select(0)
                                                             .words(0x0325, {2, 300, 150, 100, 50})
                                                             .finish()
                                                      << QSize(201, 101);
}

void tst_metafile_wmf::reportedSize()
{
    QFETCH(QByteArray, file);
    QFETCH(QSize, size);
    QCOMPARE(WindowsMetafileSize(file), size);
    const QImage picture = PlayWindowsMetafile(file);
    QCOMPARE(picture.size(), size);
    QCOMPARE(picture.format(), QImage::Format_RGB32);
    QVERIFY(inkBox(picture).isEmpty());
}

void tst_metafile_wmf::filledShapes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QPoint>("inside");
    QTest::addColumn<QPoint>("outside");
    QTest::newRow("rectangle leaves out its right and bottom edge")
        << redCanvas().rectangle(10, 10, 50, 50).finish() << QPoint(48, 48) << QPoint(49, 30);
    QTest::newRow("ellipse") << redCanvas().ellipse(10, 10, 90, 90).finish() << QPoint(50, 50)
                             << QPoint(14, 14);
    QTest::newRow("round rectangle") << redCanvas().words(0x061C, {40, 40, 90, 90, 10, 10}).finish()
                                     << QPoint(12, 50) << QPoint(12, 12);
    // Pie from 3 o'clock counter-clockwise to 12 o'clock: the top right quarter.
    QTest::newRow("pie") << redCanvas().words(0x081A, {0, 50, 50, 100, 90, 90, 10, 10}).finish()
                         << QPoint(65, 35) << QPoint(35, 65);
    QTest::newRow("chord") << redCanvas().words(0x0830, {50, 90, 10, 50, 90, 90, 10, 10}).finish()
                           << QPoint(70, 70) << QPoint(75, 25);
    QTest::newRow("polygon") << redCanvas().words(0x0324, {3, 10, 90, 90, 90, 50, 10}).finish()
                             << QPoint(50, 80) << QPoint(20, 20);
    // An old pattern brush of one-bit rows: its 1 bits take the background colour, red.
    Params pattern;
    pattern.u16(0).i16({8, 8, 2}).u8(1).u8(1).u32(0).raw(QByteArray(18, '\0'));
    pattern.raw(QByteArray(16, '\xff'));
    QTest::newRow("old pattern brush") << redCanvas()
                                              .record(0x01F9, pattern)
                                              .select(2)
                                              .words(0x0201, {0x00ff, 0})
                                              .rectangle(10, 10, 50, 50)
                                              .finish()
                                       << QPoint(30, 30) << QPoint(60, 60);
    QTest::newRow("polypolygon with a hole")
        << redCanvas()
               .words(0x0538,
                      {2, 4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 40, 40, 60, 40, 60, 60, 40, 60})
               .finish()
        << QPoint(20, 20) << QPoint(50, 50);
}

void tst_metafile_wmf::filledShapes()
{
    QFETCH(QByteArray, file);
    QFETCH(QPoint, inside);
    QFETCH(QPoint, outside);
    const QImage picture = PlayWindowsMetafile(file);
    QCOMPARE(pixel(picture, inside.x(), inside.y()), 0xff0000u);
    QCOMPARE(pixel(picture, outside.x(), outside.y()), 0xffffffu);
    QCOMPARE(pixel(picture, 99, 0), 0xffffffu);
}

void tst_metafile_wmf::mappingModes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QRect>("filled");
    // A frame of 1000 units on a 100-pixel picture: 10 units a pixel.
    auto big = [] {
        auto b = WmfBuilder::placeable(0, 0, 1000, 1000, 960);
        b.solidBrush(red).select(0).pen(5, 0, 0).select(1);
        return b;
    };
    QTest::newRow("placeable frame scales")
        << big().rectangle(500, 0, 1000, 500).finish() << QRect(50, 0, 50, 50);
    QTest::newRow("window flipped upwards") << big()
                                                   .words(0x0103, {8})
                                                   .words(0x020B, {1000, 0})
                                                   .words(0x020C, {-1000, 1000})
                                                   .rectangle(0, 0, 500, 500)
                                                   .finish()
                                            << QRect(0, 50, 50, 50);
    // A viewport of another device set up before drawing: the frame still fills the picture.
    QTest::newRow("window and viewport set before drawing") << big()
                                                                   .words(0x0103, {8})
                                                                   .words(0x020C, {1000, 1000})
                                                                   .words(0x020D, {5000, 5000})
                                                                   .words(0x020E, {20000, 20000})
                                                                   .rectangle(500, 0, 1000, 500)
                                                                   .finish()
                                                            << QRect(50, 0, 50, 50);
    // The text mode ignores a window extent: the anisotropic mode after it starts from unit
    // extents.
    QTest::newRow("window extent before the anisotropic mode")
        << big()
               .words(0x020C, {850, 850})
               .words(0x0103, {8})
               .rectangle(500, 500, 1000, 1000)
               .finish()
        << QRect(50, 50, 50, 50);
    QTest::newRow("window extent in the text mode ignored after drawing")
        << drawnCanvas()
               .words(0x020C, {50, 50})
               .words(0x0103, {8})
               .rectangle(20, 20, 40, 40)
               .finish()
        << QRect(20, 20, 20, 20);
    QTest::newRow("anisotropic window and viewport") << drawnCanvas()
                                                            .words(0x0103, {8})
                                                            .words(0x020C, {10, 10})
                                                            .words(0x020E, {50, 100})
                                                            .rectangle(0, 0, 5, 1)
                                                            .finish()
                                                     << QRect(0, 0, 50, 5);
    QTest::newRow("isotropic takes the smaller scale") << drawnCanvas()
                                                              .words(0x0103, {7})
                                                              .words(0x020C, {10, 10})
                                                              .words(0x020E, {50, 100})
                                                              .rectangle(0, 0, 10, 10)
                                                              .finish()
                                                       << QRect(0, 0, 50, 50);
    // Equation editors write a window of their own units and no mapping mode: the window
    // fills the frame (1440 x 240 twips, 96 x 16 pixels), 46 units a pixel.
    auto equation = [] {
        auto b = WmfBuilder::placeable(0, 0, 1440, 240, 1440);
        b.solidBrush(red).select(0).pen(5, 0, 0).select(1);
        return b;
    };
    QTest::newRow("window without a mapping mode fills the frame")
        << equation()
               .words(0x020B, {2000, 1000})
               .words(0x020C, {736, 4416})
               .rectangle(3208, 2000, 5416, 2368)
               .finish()
        << QRect(48, 0, 48, 8);
    QTest::newRow("window without a mapping mode, y axis up") << equation()
                                                                     .words(0x020B, {736, 0})
                                                                     .words(0x020C, {-736, 4416})
                                                                     .rectangle(0, 0, 2208, 368)
                                                                     .finish()
                                                              << QRect(0, 8, 48, 8);
    QTest::newRow("anisotropic window without a viewport fills the frame")
        << equation()
               .words(0x0103, {8})
               .words(0x020C, {736, 4416})
               .rectangle(2208, 0, 4416, 368)
               .finish()
        << QRect(48, 0, 48, 8);
    QTest::newRow("text mapping with a viewport origin")
        << drawnCanvas().words(0x0103, {1}).words(0x020D, {20, 30}).rectangle(0, 0, 10, 10).finish()
        << QRect(30, 20, 10, 10);
    QTest::newRow("offset window origin")
        << drawnCanvas().words(0x020F, {-10, -20}).rectangle(0, 0, 10, 10).finish()
        << QRect(20, 10, 10, 10);
}

void tst_metafile_wmf::mappingModes()
{
    QFETCH(QByteArray, file);
    QFETCH(QRect, filled);
    const QImage picture = PlayWindowsMetafile(file);
    QVERIFY(!picture.isNull());
    // A null pen fills one pixel short on the right and bottom.
    QCOMPARE(inkBox(picture), filled.adjusted(0, 0, -1, -1));
    QCOMPARE(pixel(picture, filled.center().x(), filled.center().y()), 0xff0000u);
}

void tst_metafile_wmf::hatchBrushFollowsBackgroundMode()
{
    auto hatched = [](int bkMode) {
        auto b = WmfBuilder::placeable(0, 0, 32, 32, 96);
        b.words(0x0201, {0x00ff, 0x0000}) // green-less red background colour: 0x0000ff
            .hatchBrush(blue, 0)
            .select(0)
            .pen(5, 0, 0)
            .select(1)
            .words(0x0102, {bkMode})
            .rectangle(0, 0, 33, 33);
        return PlayWindowsMetafile(b.finish());
    };
    const QImage opaque = hatched(2);
    const QImage transparent = hatched(1);
    // Horizontal hatch: one line every 8 device rows, the same rows in both pictures.
    int lines = 0;
    for (int y = 0; y < 32; ++y) {
        const bool line = pixel(opaque, 5, y) == 0x0000ffu;
        lines += line;
        QCOMPARE(pixel(transparent, 5, y), line ? 0x0000ffu : 0xffffffu);
        if (!line)
            QCOMPARE(pixel(opaque, 5, y), 0xff0000u);
    }
    QCOMPARE(lines, 4);
}

void tst_metafile_wmf::textAtItsReferencePoint_data()
{
    QTest::addColumn<int>("align");
    QTest::addColumn<QRect>("area"); // where the ink of "HH" must lie, 40 px Arial at (100, 50)
    QTest::newRow("top left") << 0 << QRect(100, 50, 70, 40);
    QTest::newRow("baseline centre") << (24 | 6) << QRect(65, 10, 70, 42);
    QTest::newRow("bottom right") << (8 | 2) << QRect(30, 10, 70, 40);
}

void tst_metafile_wmf::textAtItsReferencePoint()
{
    QFETCH(int, align);
    QFETCH(QRect, area);
    auto b = WmfBuilder::placeable(0, 0, 200, 100, 96);
    Params font;
    font.i16({-40, 0, 0, 0, 400}).u16(0).u16(0).u16(0).u16(0);
    font.raw(QByteArray("Arial").leftJustified(32, '\0'));
    b.record(0x02FB, font).select(0).words(0x012E, {align}).words(0x0102, {1});
    b.record(0x0521, Params().u16(2).raw("HH").i16({50, 100}));
    const QImage picture = PlayWindowsMetafile(b.finish());
    const QRect ink = inkBox(picture);
    QVERIFY2(area.contains(ink),
             qPrintable(QStringLiteral("ink at %1,%2 %3x%4")
                            .arg(ink.x())
                            .arg(ink.y())
                            .arg(ink.width())
                            .arg(ink.height())));
    // Two capitals 40 px high: about 28 px of cap height and 50 px of width.
    QVERIFY(ink.height() > 24 && ink.width() > 40);
}

void tst_metafile_wmf::hugeLetterIsFilled()
{
    // An "I" with a 400-pixel em from (0, -100): its stem runs down the whole picture at
    // about x = 38 to 77.
    auto b = WmfBuilder::placeable(0, 0, 100, 100, 96);
    Params font;
    font.i16({-400, 0, 0, 0, 400}).u16(0).u16(0).u16(0).u16(0);
    font.raw(QByteArray("Arial").leftJustified(32, '\0'));
    b.record(0x02FB, font).select(0).words(0x0102, {1});
    b.record(0x0521, Params().u16(1).raw("I").pad(2).i16({-100, 0}));
    const QImage picture = PlayWindowsMetafile(b.finish());
    QCOMPARE(pixel(picture, 57, 2), 0u);
    QCOMPARE(pixel(picture, 57, 97), 0u);
    QCOMPARE(pixel(picture, 20, 50), 0xffffffu);
    QCOMPARE(pixel(picture, 90, 50), 0xffffffu);
}

void tst_metafile_wmf::faceSubstitutes_data()
{
    QTest::addColumn<QByteArray>("face");
    QTest::addColumn<int>("pitchAndFamily");
    QTest::addColumn<int>("width"); // of ten M in a 20-pixel em: 0.6 em each monospaced
    QTest::newRow("Courier New") << QByteArray("Courier New") << 0 << 118;
    QTest::newRow("unknown fixed-pitch face") << QByteArray("Typewriter Nine") << 0x31 << 118;
    QTest::newRow("Arial") << QByteArray("Arial") << 0 << 165;
    QTest::newRow("unknown roman face") << QByteArray("Old Roman Nine") << 0x12 << 175;
}

void tst_metafile_wmf::faceSubstitutes()
{
    QFETCH(QByteArray, face);
    QFETCH(int, pitchAndFamily);
    QFETCH(int, width);
    auto b = WmfBuilder::placeable(0, 0, 200, 40, 96);
    Params font;
    font.i16({-20, 0, 0, 0, 400}).u16(0).u16(0).u16(0).u8(0).u8(pitchAndFamily);
    font.raw(face.leftJustified(32, '\0'));
    b.record(0x02FB, font).select(0).words(0x0102, {1});
    b.record(0x0521, Params().u16(10).raw("MMMMMMMMMM").i16({5, 5}));
    const QRect ink = inkBox(PlayWindowsMetafile(b.finish()));
    QVERIFY2(std::abs(ink.width() - width) <= 4, qPrintable(QString::number(ink.width())));
}

void tst_metafile_wmf::textByCharacterSet_data()
{
    QTest::addColumn<QByteArray>("face");
    QTest::addColumn<int>("charset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("symbol: Greek and a bracket piece")
        << QByteArray("Symbol") << 2 << QByteArray("ab\xe6\xe8") << QStringLiteral("αβ⎛⎝");
    QTest::newRow("Shift JIS") << QByteArray("Arial") << 128 << QByteArray("\x93\xfa\x96\x7b")
                               << QStringLiteral("日本");
    QTest::newRow("Cyrillic") << QByteArray("Arial") << 204 << QByteArray("\xcf\xf0\xe8")
                              << QStringLiteral("При");
    QTest::newRow("Greek") << QByteArray("Arial") << 161 << QByteArray("\xc1\xe2\xe3")
                           << QStringLiteral("Αβγ");
    QTest::newRow("Hebrew") << QByteArray("Arial") << 177 << QByteArray("\xf9\xec\xe5\xed")
                            << QStringLiteral("שלום");
    QTest::newRow("Thai") << QByteArray("Tahoma") << 222 << QByteArray("\xca\xc7\xd1\xca\xb4\xd5")
                          << QStringLiteral("สวัสดี");
}

void tst_metafile_wmf::textByCharacterSet()
{
    QFETCH(QByteArray, face);
    QFETCH(int, charset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    // The byte text in a font of that character set, beside the same letters as UTF-16 text
    // of an enhanced metafile with the same font, size and place: the pictures match.
    auto b = WmfBuilder::placeable(0, 0, 200, 60, 96);
    Params font;
    font.i16({-40, 0, 0, 0, 400}).u16(0).u8(0).u8(std::uint32_t(charset)).u16(0).u16(0);
    font.raw(face.leftJustified(32, '\0'));
    b.record(0x02FB, font).select(0).words(0x0102, {1});
    b.record(0x0521, Params().u16(std::uint32_t(bytes.size())).raw(bytes).pad(2).i16({10, 10}));
    const QImage played = PlayWindowsMetafile(b.finish());

    EmfBuilder e(QRect(0, 0, 2000, 600), QSize(1000, 1000), QSize(100, 100));
    Params wide;
    wide.i32({1, -40, 0, 0, 0, 400}).u8(0).u8(0).u8(0).u8(std::uint32_t(charset)).u32(0);
    for (QChar c : QString::fromLatin1(face).leftJustified(32, QChar(0)))
        wide.u16(c.unicode());
    e.record(82, wide).select(1).values(18, {1});
    Params unicode;
    unicode.i32({0, 0, 0, 0, 1}).f32(1).f32(1);
    unicode.i32({10, 10, text.size(), 76, 0, 0, 0, 0, 0, 0});
    for (QChar c : text)
        unicode.u16(c.unicode());
    e.record(84, unicode);
    const QImage expected = PlayEnhancedMetafile(e.finish());
    QVERIFY(!inkBox(expected).isEmpty());
    QCOMPARE(played, expected);
}

void tst_metafile_wmf::stretchedDib()
{
    QImage source(2, 2, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 255, 0));
    source.setPixel(0, 1, qRgb(0, 0, 255));
    source.setPixel(1, 1, qRgb(0, 0, 0));
    auto b = WmfBuilder::placeable(0, 0, 100, 100, 96);
    // STRETCHDIB: rop, colour usage, source h w y x, destination h w y x, the bitmap
    b.record(
        0x0F43,
        Params().u32(0x00CC0020).u16(0).i16({2, 2, 0, 0, 40, 60, 10, 20}).raw(packedDib(source)));
    const QImage picture = PlayWindowsMetafile(b.finish());
    QCOMPARE(pixel(picture, 25, 15), 0xff0000u);
    QCOMPARE(pixel(picture, 75, 15), 0x00ff00u);
    QCOMPARE(pixel(picture, 25, 45), 0x0000ffu);
    QCOMPARE(pixel(picture, 75, 45), 0x000000u);
    QCOMPARE(pixel(picture, 19, 15), 0xffffffu);
    QCOMPARE(pixel(picture, 50, 50), 0xffffffu);
}

void tst_metafile_wmf::regions()
{
    // One band, rows 10 to 30, holding columns 10-30 and 50-70.
    Params region;
    region.u16(0).u16(6).u16(0).i16({40, 1, 4, 10, 10, 70, 30});
    region.u16(4).i16({10, 30, 10, 30, 50, 70}).u16(4);
    auto b = WmfBuilder::placeable(0, 0, 100, 100, 96);
    b.solidBrush(red).record(0x06FF, region).words(0x0228, {1, 0}); // FILLREGION
    const QImage filled = PlayWindowsMetafile(b.finish());
    QCOMPARE(inkBox(filled), QRect(10, 10, 60, 20));
    QCOMPARE(pixel(filled, 20, 20), 0xff0000u);
    QCOMPARE(pixel(filled, 40, 20), 0xffffffu);
    QCOMPARE(pixel(filled, 65, 25), 0xff0000u);

    // The same region as the clipping region: a filled picture shows only its two boxes.
    b.words(0x012C, {1}).select(0).rectangle(0, 0, 101, 101);
    QCOMPARE(inkBox(PlayWindowsMetafile(b.finish())), QRect(10, 10, 60, 20));
}

void tst_metafile_wmf::extendedTextOptions()
{
    auto b = WmfBuilder::placeable(0, 0, 200, 100, 96);
    Params font;
    font.i16({-40, 0, 0, 0, 400}).u16(0).u16(0).u16(0).u16(0);
    font.raw(QByteArray("Times New Roman").leftJustified(32, '\0'));
    b.record(0x02FB, font).select(0).words(0x0201, {0x00ff, 0}).words(0x0102, {1});
    // "WW" at (10, 10): the opaque box spans the first row, the clip box ends at x = 40.
    b.record(0x0A32, Params().i16({10, 10, 2, 2 | 4, 0, 0, 40, 60}).raw("WW"));
    const QImage picture = PlayWindowsMetafile(b.finish());
    QCOMPARE(pixel(picture, 35, 5), 0xff0000u); // the background box, clipped too
    QCOMPARE(pixel(picture, 45, 5), 0xffffffu);
    const QRect ink = inkBox(picture);
    QCOMPARE(ink.left(), 0);
    QCOMPARE(ink.right(), 39);
    // Advances of 60 each put the second W at x = 70, further than the font's own advance.
    auto spaced = WmfBuilder::placeable(0, 0, 200, 100, 96);
    spaced.record(0x02FB, font).select(0).words(0x0102, {1});
    spaced.record(0x0A32, Params().i16({50, 10, 2, 0}).raw("WW").i16({60, 60}));
    const QRect wide = inkBox(PlayWindowsMetafile(spaced.finish()));
    QVERIFY2(wide.left() >= 8 && wide.right() >= 100 && wide.right() <= 110,
             qPrintable(QString::number(wide.right())));
}

void tst_metafile_wmf::clipping()
{
    auto b = redCanvas();
    b.words(0x0416, {60, 60, 20, 20}) // intersect with (20,20)-(60,60)
        .words(0x0415, {40, 40, 30, 30}) // leave out (30,30)-(40,40)
        .rectangle(0, 0, 101, 101);
    const QImage picture = PlayWindowsMetafile(b.finish());
    QCOMPARE(inkBox(picture), QRect(20, 20, 40, 40));
    QCOMPARE(pixel(picture, 25, 25), 0xff0000u);
    QCOMPARE(pixel(picture, 35, 35), 0xffffffu);
}

void tst_metafile_wmf::savedStatesComeBack()
{
    auto b = drawnCanvas();
    b.solidBrush(blue) // slot 2
        .words(0x001E, {}) // SaveDC
        .select(2)
        .words(0x020D, {50, 50}) // viewport origin moved
        .rectangle(0, 0, 10, 10)
        .words(0x0127, {-1}) // RestoreDC: red brush, origin back
        .rectangle(0, 0, 10, 10);
    const QImage picture = PlayWindowsMetafile(b.finish());
    QCOMPARE(pixel(picture, 55, 55), 0x0000ffu);
    QCOMPARE(pixel(picture, 5, 5), 0xff0000u);
}

void tst_metafile_wmf::damagedRecords()
{
    auto b = redCanvas();
    b.rectangle(0, 0, 50, 50);
    // A record claiming more words than the file holds ends the drawing.
    b.rawRecord(Params().u32(5000).u16(0x041B).i16({100, 100, 50, 50}).bytes);
    b.rectangle(50, 50, 100, 100);
    const QImage picture = PlayWindowsMetafile(b.finish());
    QCOMPARE(pixel(picture, 25, 25), 0xff0000u);
    QCOMPARE(pixel(picture, 75, 75), 0xffffffu);

    // Records whose contents do not add up are left out and the drawing goes on: a polygon
    // counting more points than it carries, and a region whose scan runs past its record,
    // which still takes slot 2, so that the blue brush lands in slot 3.
    auto c = redCanvas();
    c.rectangle(0, 0, 50, 50).words(0x0324, {400, 0, 0, 99, 0, 99, 99});
    c.record(0x06FF, Params().u16(0).u16(6).u16(0).i16({40, 1, 50, 10, 10, 70, 30, 400, 10}));
    c.solidBrush(blue).select(3).rectangle(50, 50, 100, 100);
    const QImage skipped = PlayWindowsMetafile(c.finish());
    QCOMPARE(pixel(skipped, 25, 25), 0xff0000u);
    QCOMPARE(pixel(skipped, 75, 75), 0x0000ffu);
}

void tst_metafile_wmf::badHeaderGivesNothing_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray good = redCanvas().rectangle(0, 0, 50, 50).finish();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("placeable header only") << good.left(22);
    QTest::newRow("cut inside the header") << good.left(30);
    QByteArray wrongType = good;
    wrongType[22] = 7;
    QTest::newRow("wrong file type") << wrongType;
    QTest::newRow("zero units per inch") << WmfBuilder::placeable(0, 0, 100, 100, 0).finish();
    QTest::newRow("empty frame") << WmfBuilder::placeable(10, 10, 10, 90, 96).finish();
    QTest::newRow("size over the memory limit")
        << WmfBuilder::placeable(-32000, -32000, 32000, 32000, 1).finish();
    QTest::newRow("plain file without a window extent drawing nothing")
        << WmfBuilder::plain().words(0x0214, {10, 10}).finish();
    QTest::newRow("an enhanced metafile")
        << EmfBuilder(QRect(0, 0, 100, 100), QSize(100, 100), QSize(10, 10)).finish();
}

void tst_metafile_wmf::badHeaderGivesNothing()
{
    QFETCH(QByteArray, file);
    QVERIFY(WindowsMetafileSize(file).isEmpty());
    QVERIFY(PlayWindowsMetafile(file).isNull());
}

void tst_metafile_wmf::objectIndexOutOfRangeIsIgnored()
{
    auto b = redCanvas();
    b.select(7).select(60000).words(0x01F0, {60000}).rectangle(0, 0, 50, 50);
    // Creating more objects than the table holds leaves them out, and the table stays whole.
    for (int i = 0; i < 10; ++i)
        b.solidBrush(blue);
    b.select(3).rectangle(50, 50, 100, 100);
    const QImage picture = PlayWindowsMetafile(b.finish(4));
    QCOMPARE(pixel(picture, 25, 25), 0xff0000u);
    QCOMPARE(pixel(picture, 75, 75), 0x0000ffu);
}

void tst_metafile_wmf::sheetOfEveryRecord()
{
    // Panels of 100 x 100 pixels, eight a row, each drawing with other records; every one
    // must show ink. With VISTREL_SHEET set, the sheet is written there as a PNG to look at.
    auto b = WmfBuilder::placeable(0, 0, 800, 500, 96);
    int panels = 0;
    auto next = [&] {
        const QPoint corner(panels % 8 * 100, panels / 8 * 100);
        ++panels;
        return corner;
    };
    // A brush and pen made current; their slots are freed at once, so every panel starts with
    // an empty object table.
    auto use = [&](std::uint32_t fill, int penStyle, int penWidth, std::uint32_t line) {
        b.solidBrush(fill).pen(penStyle, penWidth, line).select(0).select(1);
        b.words(0x01F0, {0}).words(0x01F0, {1});
    };
    auto font = [&](int height, int charset, const QByteArray& face) {
        Params f;
        f.i16({height, 0, 0, 0, 700}).u16(0).u8(0).u8(std::uint32_t(charset)).u16(0).u16(0);
        b.record(0x02FB, f.raw(face.leftJustified(32, '\0'))).select(0).words(0x01F0, {0});
    };
    auto text = [&](QPoint at, const QByteArray& bytes) {
        b.record(0x0521,
                 Params().u16(std::uint32_t(bytes.size())).raw(bytes).pad(2).i16({at.y(), at.x()}));
    };
    const std::uint32_t green = colorRef(0, 160, 0);
    QImage checker(4, 4, QImage::Format_RGB32);
    for (int i = 0; i < 16; ++i)
        checker.setPixel(i % 4, i / 4, (i % 4 + i / 4) % 2 ? qRgb(200, 0, 200) : qRgb(255, 220, 0));
    const QByteArray dib = packedDib(checker);
    Params region; // a region of two boxes, offset by (x, y) when made
    auto regionAt = [](QPoint o) {
        Params r;
        r.u16(0).u16(6).u16(0).i16({40, 1, 4, o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 80});
        return r.u16(4)
            .i16({o.y() + 10, o.y() + 80, o.x() + 10, o.x() + 40, o.x() + 60, o.x() + 90})
            .u16(4);
    };

    QPoint o = next(); // rectangle
    use(red, 0, 3, blue);
    b.rectangle(o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90);
    o = next(); // ellipse
    b.ellipse(o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90);
    o = next(); // round rectangle
    b.words(0x061C, {30, 30, o.y() + 90, o.x() + 90, o.y() + 10, o.x() + 10});
    for (int function : {0x0817, 0x081A, 0x0830}) { // arc, pie, chord
        o = next();
        b.words(function,
                {o.y() + 10, o.x() + 50, o.y() + 50, o.x() + 90, o.y() + 90, o.x() + 90, o.y() + 10,
                 o.x() + 10});
    }
    o = next(); // polyline
    b.words(0x0325, {3, o.x() + 10, o.y() + 90, o.x() + 50, o.y() + 10, o.x() + 90, o.y() + 90});
    o = next(); // polygon
    b.words(0x0324, {3, o.x() + 10, o.y() + 90, o.x() + 50, o.y() + 10, o.x() + 90, o.y() + 90});
    o = next(); // polypolygon with a hole
    b.words(0x0538,
            {2, 4, 4, o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 10, o.x() + 90, o.y() + 90,
             o.x() + 10, o.y() + 90, o.x() + 40, o.y() + 40, o.x() + 60, o.y() + 40, o.x() + 60,
             o.y() + 60, o.x() + 40, o.y() + 60});
    o = next(); // move and line
    b.words(0x0214, {o.y() + 10, o.x() + 10}).words(0x0213, {o.y() + 90, o.x() + 90});
    o = next(); // pixels
    for (int i = 10; i < 90; i += 4)
        b.record(0x041F, Params().u32(blue).i16({o.y() + i, o.x() + i}));
    o = next(); // pattern blit
    b.record(0x061D, Params().u32(0x00F00021).i16({60, 60, o.y() + 20, o.x() + 20}));
    o = next(); // text
    font(-40, 0, "Arial");
    text(o + QPoint(5, 20), "Ab");
    o = next(); // extended text with an opaque box
    b.words(0x0201, {0xff, 0x00ff})
        .record(
            0x0A32,
            Params()
                .i16({o.y() + 20, o.x() + 5, 2, 2, o.x() + 5, o.y() + 20, o.x() + 95, o.y() + 80})
                .raw("Cd"));
    o = next(); // clipping: intersect, then exclude, saved and restored
    b.words(0x001E, {}).words(0x0416, {o.y() + 90, o.x() + 90, o.y() + 30, o.x() + 30});
    b.words(0x0415, {o.y() + 60, o.x() + 60, o.y() + 40, o.x() + 40});
    b.rectangle(o.x(), o.y(), o.x() + 100, o.y() + 100).words(0x0127, {-1});
    o = next(); // regions: fill
    b.record(0x06FF, regionAt(o)).solidBrush(green).words(0x0228, {0, 1});
    b.words(0x01F0, {0}).words(0x01F0, {1});
    o = next(); // frame
    b.record(0x06FF, regionAt(o)).solidBrush(blue).words(0x0429, {0, 1, 4, 4});
    b.words(0x01F0, {0}).words(0x01F0, {1});
    o = next(); // invert
    b.record(0x06FF, regionAt(o)).words(0x012A, {0}).words(0x01F0, {0});
    o = next(); // paint
    b.record(0x06FF, regionAt(o)).words(0x012B, {0}).words(0x01F0, {0});
    o = next(); // clip region, moved
    b.record(0x06FF, regionAt(o)).words(0x001E, {}).words(0x012C, {0}).words(0x0220, {10, 5});
    b.rectangle(o.x(), o.y(), o.x() + 100, o.y() + 100).words(0x0127, {-1}).words(0x01F0, {0});
    o = next(); // bitmap pattern brush
    b.record(0x0142, Params().u16(0).u16(0).raw(dib)).select(0).words(0x01F0, {0});
    b.rectangle(o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90);
    o = next(); // old one-bit pattern brush, in the text and background colours
    Params old;
    old.u16(0).i16({8, 8, 2}).u8(1).u8(1).u32(0).raw(QByteArray(18, '\0'));
    for (int row = 0; row < 8; ++row)
        old.u16(row % 2 ? 0xffff : 0x0f0f);
    b.words(0x0209, {0xff, 0}).record(0x01F9, old).select(0).words(0x01F0, {0});
    b.rectangle(o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90);
    o = next(); // hatched brush
    b.hatchBrush(blue, 5).select(0).words(0x01F0, {0});
    b.rectangle(o.x() + 10, o.y() + 10, o.x() + 90, o.y() + 90);
    o = next(); // stretched bitmap
    b.record(
        0x0F43,
        Params().u32(0x00CC0020).u16(0).i16({4, 4, 0, 0, 80, 80, o.y() + 10, o.x() + 10}).raw(dib));
    o = next(); // stretched blit
    b.record(0x0B41,
             Params().u32(0x00CC0020).i16({4, 4, 0, 0, 80, 80, o.y() + 10, o.x() + 10}).raw(dib));
    o = next(); // blit
    b.record(0x0940, Params().u32(0x00CC0020).i16({0, 0, 4, 4, o.y() + 48, o.x() + 48}).raw(dib));
    o = next(); // bits to the device
    b.record(0x0D33,
             Params().u16(0).u16(4).u16(0).i16({0, 0, 4, 4, o.y() + 48, o.x() + 48}).raw(dib));
    use(green, 0, 1, 0);
    o = next(); // anisotropic window onto a viewport
    b.words(0x001E, {}).words(0x0103, {8}).words(0x020B, {0, 0}).words(0x020C, {10, 10});
    b.words(0x020D, {o.y(), o.x()})
        .words(0x020E, {100, 100})
        .rectangle(1, 1, 9, 9)
        .words(0x0127, {-1});
    o = next(); // origins offset, extents scaled
    b.words(0x001E, {}).words(0x0103, {8}).words(0x020C, {100, 100}).words(0x020E, {100, 100});
    b.words(0x0211, {o.y(), o.x()}).words(0x020F, {-10, -10}).words(0x0410, {1, 2, 1, 2});
    b.words(0x0412, {1, 2, 1, 2}).ellipse(0, 0, 80, 80).words(0x0127, {-1});
    o = next(); // exclusive-or pen over a shape
    use(blue, 5, 0, 0);
    b.rectangle(o.x() + 10, o.y() + 10, o.x() + 70, o.y() + 70).words(0x0104, {7});
    b.rectangle(o.x() + 30, o.y() + 30, o.x() + 90, o.y() + 90).words(0x0104, {13});
    o = next(); // winding fill of a star
    b.words(0x0106, {2})
        .words(0x0324,
               {5, o.x() + 50, o.y() + 5, o.x() + 78, o.y() + 95, o.x() + 5, o.y() + 38, o.x() + 95,
                o.y() + 38, o.x() + 22, o.y() + 95});
    o = next(); // aligned, spaced text on an opaque background
    font(-24, 0, "Times New Roman");
    b.words(0x012E, {6 | 24}).words(0x0108, {4}).words(0x0102, {2}).words(0x0201, {0xffff, 0x00c0});
    b.words(0x0209, {0, 0x0080});
    text(o + QPoint(50, 50), "Mid");
    b.words(0x012E, {0}).words(0x0108, {0}).words(0x0102, {1}).words(0x0209, {0, 0});
    o = next(); // symbol font: Greek and the pieces of a tall bracket
    font(-30, 2, "Symbol");
    text(o + QPoint(5, 5), "ab\xe6");
    text(o + QPoint(5, 35), "pq\xe7");
    text(o + QPoint(5, 65), "\xe5\xf2\xe8");
    o = next(); // Cyrillic and Shift JIS text
    font(-30, 204, "Arial");
    text(o + QPoint(5, 5), "\xcf\xf0\xe8");
    font(-30, 128, "MS Gothic");
    text(o + QPoint(5, 50), "\x93\xfa\x96\x7b");
    o = next(); // palette made and deleted beside a shape
    b.record(0x00F7, Params().u16(0x300).u16(1).u32(0xff)).words(0x01F0, {0});
    b.rectangle(o.x() + 30, o.y() + 30, o.x() + 70, o.y() + 70);

    const QImage sheet = PlayWindowsMetafile(b.finish());
    QCOMPARE(sheet.size(), QSize(800, 500));
    if (const QString out = qEnvironmentVariable("VISTREL_SHEET"); !out.isEmpty())
        sheet.save(out + QStringLiteral("/wmf_sheet.png"));
    for (int p = 0; p < panels; ++p)
        QVERIFY2(!inkBox(sheet.copy(p % 8 * 100, p / 8 * 100, 100, 100)).isEmpty(),
                 qPrintable(QStringLiteral("panel %1 is blank").arg(p)));
}

QTEST_MAIN(tst_metafile_wmf)
#include "tst_metafile_wmf.moc"
