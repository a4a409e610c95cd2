// Plays metafiles the builders write through the player and through another renderer at the
// same size (WMF through libwmf's wmf2gd, EMF through Inkscape), and compares where the ink
// falls. The two draw with different fonts and edge
// rules, so pixels are not compared: each rendering's ink must mostly lie within a few
// pixels of the other's.
#include "metafile/metafile_player.h"
#include "metafile/tests/metafile_builder.h"

#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <vector>

class tst_other_renderers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void agreesWithLibwmf_data();
    void agreesWithLibwmf();
    void agreesWithInkscape_data();
    void agreesWithInkscape();
    void cleanupTestCase();

private:
    // Renders file with the other renderer into a PNG of ours' size and compares the ink;
    // gap names what that renderer is known to leave out (then only its ink must lie near
    // ours).
    void compare(
        const QImage& ours, const QByteArray& file, const QString& extension,
        const QString& renderer,
        const std::function<QStringList(const QString& input, const QString& output)>& arguments,
        const QString& gap);

    QString wmf2gd;
    QString inkscape;
    QTemporaryDir scratch;
    QStringList table;
};

namespace {

const std::uint32_t red = colorRef(255, 0, 0);
const std::uint32_t blue = colorRef(0, 0, 255);
const std::uint32_t black = colorRef(0, 0, 0);

// How far, in pixels, ink of one rendering may lie from ink of the other and still agree.
constexpr int nearby = 3;
// The share of each rendering's ink that must agree.
constexpr double agreement = 0.9;

// Black squares in the four corners of the logical rectangle the picture shows, drawn with
// a null pen; the objects are deleted after. libwmf shows the box of what a file draws
// rather than its frame; with these marks the two are the same box.
WmfBuilder& markCorners(WmfBuilder& b, int left, int top, int right, int bottom, int mark)
{
    const int across = right > left ? mark : -mark;
    const int down = bottom > top ? mark : -mark;
    b.solidBrush(black).select(0).pen(5, 0, 0).select(1);
    b.rectangle(left, top, left + across, top + down);
    b.rectangle(right - across, top, right, top + down);
    b.rectangle(left, bottom - down, left + across, bottom);
    b.rectangle(right - across, bottom - down, right, bottom);
    return b.words(0x01F0, {0}).words(0x01F0, {1}); // DELETEOBJECT both
}

// A placeable file with its frame's corners marked.
WmfBuilder framed(int left, int top, int right, int bottom, int inch, int mark)
{
    auto b = WmfBuilder::placeable(left, top, right, bottom, inch);
    markCorners(b, left, top, right, bottom, mark);
    return b;
}

Params font(int height, int weight, const char* face)
{
    Params p;
    p.i16({height, 0, 0, 0, weight}).u16(0).u16(0).u16(0).u16(0);
    p.raw(QByteArray(face).leftJustified(32, '\0'));
    return p;
}

// Ink: a pixel clearly darker or more coloured than white.
std::vector<bool> inkMask(const QImage& picture)
{
    std::vector<bool> ink(static_cast<std::size_t>(picture.width()) * picture.height());
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = picture.pixel(x, y);
            ink[static_cast<std::size_t>(y) * picture.width() + x]
                = std::min({qRed(c), qGreen(c), qBlue(c)}) < 200;
        }
    return ink;
}

struct InkShare
{
    qsizetype ink = 0; // pixels of ink in the first rendering
    double near = 0; // the share of them with ink of the second within `nearby` pixels
};

InkShare inkNear(const QImage& first, const QImage& second)
{
    const int w = first.width();
    const int h = first.height();
    const std::vector<bool> mine = inkMask(first);
    const std::vector<bool> theirs = inkMask(second);
    qsizetype ink = 0;
    qsizetype near = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!mine[static_cast<std::size_t>(y) * w + x])
                continue;
            ++ink;
            bool found = false;
            for (int v = std::max(0, y - nearby); v <= std::min(h - 1, y + nearby) && !found; ++v)
                for (int u = std::max(0, x - nearby); u <= std::min(w - 1, x + nearby); ++u)
                    if (theirs[static_cast<std::size_t>(v) * w + u]) {
                        found = true;
                        break;
                    }
            near += found;
        }
    return {ink, ink ? double(near) / double(ink) : 0};
}

} // namespace

void tst_other_renderers::initTestCase()
{
    // The test command installs both renderers; without them this test has nothing to
    // compare against and says so by failing.
    wmf2gd = QStandardPaths::findExecutable(QStringLiteral("wmf2gd"));
    QVERIFY2(!wmf2gd.isEmpty(), "wmf2gd (Debian package libwmf-bin) is not installed");
    inkscape = QStandardPaths::findExecutable(QStringLiteral("inkscape"));
    QVERIFY2(!inkscape.isEmpty(), "inkscape (Debian package inkscape) is not installed");
    QVERIFY(scratch.isValid());
}

void tst_other_renderers::agreesWithLibwmf_data()
{
    QTest::addColumn<QByteArray>("file");
    // What libwmf is known to leave out, so that only its ink must lie near ours.
    QTest::addColumn<QString>("libwmfGap");
    // libwmf 0.2.12's PNG device strokes an ellipse's outline but leaves its inside
    // unfilled; its SVG device fills the same ellipse.
    const QString unfilledEllipse = QStringLiteral("libwmf leaves ellipses unfilled");

    // 2 x 1.5 inches in twips: 192 x 144 pixels.
    QTest::newRow("shapes") << framed(0, 0, 2880, 2160, 1440, 60)
                                   .solidBrush(red)
                                   .select(0)
                                   .pen(0, 30, blue)
                                   .select(1)
                                   .rectangle(200, 200, 1200, 900)
                                   .words(0x081A, {1200, 2400, 1200, 1500, 2000, 2600, 1100, 1500})
                                   .words(0x0324, {3, 200, 2000, 700, 1200, 1200, 2000})
                                   .words(0x0213, {1100, 2700}) // LINETO from the origin
                                   .finish()
                            << QString();
    QTest::newRow("filled ellipse") << framed(0, 0, 2880, 2160, 1440, 60)
                                           .solidBrush(red)
                                           .select(0)
                                           .pen(0, 30, blue)
                                           .select(1)
                                           .ellipse(300, 200, 2600, 1900)
                                           .finish()
                                    << unfilledEllipse;

    auto text = framed(0, 0, 300, 100, 96, 4);
    text.record(0x02FB, font(-48, 700, "Arial")).select(0).words(0x0102, {1});
    text.record(0x0521, Params().u16(6).raw("Vistre").i16({25, 20}));
    QTest::newRow("text") << text.finish() << QString();

    QImage checker(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            checker.setPixel(x, y, (x + y) % 2 ? qRgb(0, 0, 255) : qRgb(255, 255, 0));
    QTest::newRow("stretched bitmap")
        << framed(0, 0, 160, 120, 96, 4)
               // STRETCHDIB: rop, colour usage, source h w y x, destination h w y x, the bitmap
               .record(0x0F43,
                       Params()
                           .u32(0x00CC0020)
                           .u16(0)
                           .i16({4, 4, 0, 0, 80, 100, 20, 30})
                           .raw(packedDib(checker)))
               .finish()
        << QString();

    // An anisotropic window whose y axis points up, over a frame of the same units.
    auto upwards = WmfBuilder::placeable(0, 0, 1000, 600, 480);
    upwards.words(0x0103, {8}).words(0x020B, {600, 0}).words(0x020C, {-600, 1000});
    markCorners(upwards, 0, 600, 1000, 0, 20);
    upwards.solidBrush(red).select(0).pen(5, 0, 0).select(1);
    // The rectangle's top is its larger y: libwmf drops a rectangle whose corners the window
    // turns over (its SVG device writes it with a negative height), where the platform
    // draws either order alike.
    upwards.rectangle(100, 300, 400, 50).words(0x0324, {3, 600, 300, 900, 550, 900, 300});
    QTest::newRow("anisotropic window, y axis up") << upwards.finish() << QString();

    // What equation editors write: a window of their own units, 4416 x 736, and no mapping
    // mode, onto a frame of 1.5 x 0.25 inches.
    auto equation = WmfBuilder::placeable(0, 0, 2160, 360, 1440);
    equation.words(0x020B, {0, 0}).words(0x020C, {736, 4416});
    markCorners(equation, 0, 0, 4416, 736, 60);
    equation.record(0x02FB, font(-600, 400, "Times New Roman")).select(0).words(0x0102, {1});
    equation.record(0x0521, Params().u16(6).raw("x + y ").i16({50, 200}));
    equation.solidBrush(black).select(1).pen(5, 0, 0).select(2);
    equation.rectangle(3000, 340, 4200, 400); // a fraction bar
    QTest::newRow("window without a mapping mode") << equation.finish() << QString();

    // A plain file: its window is the picture, 200 x 100 units at 96 per inch.
    auto plain = WmfBuilder::plain();
    plain.words(0x020B, {0, 0}).words(0x020C, {100, 200});
    markCorners(plain, 0, 0, 200, 100, 6);
    plain.solidBrush(blue).select(0).pen(5, 0, 0).select(1);
    plain.words(0x0324, {4, 100, 10, 190, 50, 100, 90, 10, 50});
    QTest::newRow("plain file with a window") << plain.finish() << QString();
}

void tst_other_renderers::agreesWithLibwmf()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, libwmfGap);
    const QImage ours = PlayWindowsMetafile(file);
    QVERIFY(!ours.isNull());
    compare(
        ours, file, QStringLiteral("wmf"), wmf2gd,
        [&](const QString& input, const QString& output) {
            return QStringList {QStringLiteral("-t"),
                                QStringLiteral("png"),
                                QStringLiteral("--maxwidth=%1").arg(ours.width()),
                                QStringLiteral("--maxheight=%1").arg(ours.height()),
                                QStringLiteral("--maxsize"),
                                QStringLiteral("-o"),
                                output,
                                input};
        },
        libwmfGap);
}

void tst_other_renderers::agreesWithInkscape_data()
{
    QTest::addColumn<QByteArray>("file");

    // 20 x 10 mm on a reference device of 10 pixels a millimetre: 200 x 100 pixels.
    auto canvas = [] {
        EmfBuilder b(QRect(0, 0, 2000, 1000), QSize(1000, 1000), QSize(100, 100));
        b.solidBrush(1, red).select(1).pen(2, 0, 3, blue).select(2);
        return b;
    };
    Params polygon;
    polygon.i32({0, 0, 0, 0, 3}).i16({20, 95, 60, 65, 100, 95}); // bounds, count, points
    QTest::newRow("shapes") << canvas()
                                   .rectangle(10, 10, 90, 55)
                                   .ellipse(110, 10, 190, 55)
                                   .values(47, {110, 40, 190, 100, 190, 70, 150, 40}) // PIE
                                   .record(86, polygon) // POLYGON16
                                   .finish();

    auto text = canvas();
    Params font;
    font.i32({3, -48, 0, 0, 0, 700}).u32(0).u32(0);
    for (QChar c : QStringLiteral("Arial").leftJustified(32, QChar(0)))
        font.u16(c.unicode());
    text.record(82, font).select(3).values(18, {1}); // transparent background
    Params words;
    words.i32({0, 0, 0, 0, 1}).f32(1).f32(1); // bounds, graphics mode, scales
    words.i32({15, 25, 6, 76, 0, 0, 0, 0, 0}).u32(0); // reference, string, no advances
    for (QChar c : QStringLiteral("Vistre"))
        words.u16(c.unicode());
    QTest::newRow("text") << text.record(84, words).finish();

    QImage checker(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            checker.setPixel(x, y, (x + y) % 2 ? qRgb(0, 0, 255) : qRgb(255, 255, 0));
    const QByteArray dib = packedDib(checker);
    Params stretch; // bounds, destination x y, source x y w h, where the bitmap lies
    stretch.i32({0, 0, 0, 0, 30, 10, 0, 0, 4, 4});
    stretch.u32(80).u32(40).u32(120).u32(std::uint32_t(dib.size() - 40));
    stretch.u32(0).u32(0x00CC0020).i32({120, 80}).raw(dib); // usage, rop, destination w h
    QTest::newRow("stretched bitmap") << canvas().record(81, stretch).finish();

    // An anisotropic window of 1000 x 500 units, its y axis up, onto the whole picture.
    QTest::newRow("anisotropic window, y axis up") << canvas()
                                                          .values(17, {8}) // SETMAPMODE
                                                          .values(10, {0, 500}) // window origin
                                                          .values(9, {1000, -500}) // extent
                                                          .values(11, {200, 100}) // viewport
                                                          .rectangle(100, 450, 400, 100)
                                                          .ellipse(600, 400, 900, 50)
                                                          .finish();

    // A world transform turning the drawing by 30 degrees about the picture's centre.
    Params turn;
    turn.f32(0.866f).f32(0.5f).f32(-0.5f).f32(0.866f).f32(38.4f).f32(-43.3f);
    QTest::newRow("world transform") << canvas()
                                            .values(98, {2}) // SETGRAPHICSMODE advanced
                                            .record(35, turn) // SETWORLDTRANSFORM
                                            .rectangle(60, 30, 140, 70)
                                            .finish();
}

void tst_other_renderers::agreesWithInkscape()
{
    QFETCH(QByteArray, file);
    const QImage ours = PlayEnhancedMetafile(file);
    QVERIFY(!ours.isNull());
    compare(
        ours, file, QStringLiteral("emf"), inkscape,
        [&](const QString& input, const QString& output) {
            return QStringList {QStringLiteral("--export-type=png"),
                                QStringLiteral("--export-filename=") + output,
                                QStringLiteral("--export-width=%1").arg(ours.width()),
                                QStringLiteral("--export-height=%1").arg(ours.height()), input};
        },
        QString());
}

void tst_other_renderers::compare(
    const QImage& ours, const QByteArray& file, const QString& extension, const QString& renderer,
    const std::function<QStringList(const QString& input, const QString& output)>& arguments,
    const QString& gap)
{
    const QString name = extension + QLatin1Char('_')
        + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
    const QString input = scratch.filePath(name + QLatin1Char('.') + extension);
    const QString output = scratch.filePath(name + QStringLiteral(".png"));
    QFile out(input);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(file), file.size());
    out.close();
    QProcess process;
    process.start(renderer, arguments(input, output));
    QVERIFY(process.waitForFinished(60000));
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             process.readAllStandardError().constData());
    const QImage drawn(output);
    QVERIFY2(!drawn.isNull(), "the other renderer wrote no picture");
    QCOMPARE(drawn.size(), ours.size());
    // Its picture may be transparent where nothing is drawn: seen over white.
    QImage reference(drawn.size(), QImage::Format_RGB32);
    reference.fill(Qt::white);
    QPainter(&reference).drawImage(0, 0, drawn);

    const InkShare oursNear = inkNear(ours, reference);
    const InkShare theirsNear = inkNear(reference, ours);
    const double overlap = !oursNear.ink ? 0
        : gap.isEmpty()                  ? std::min(oursNear.near, theirsNear.near)
                                         : theirsNear.near;
    const bool agrees = theirsNear.ink > 0 && overlap >= agreement;
    table << QStringLiteral("%1 %2 x %3  ink %4 / %5  overlap %6  %7")
                 .arg(extension + QLatin1Char(' ') + QString::fromLatin1(QTest::currentDataTag()),
                      -36)
                 .arg(ours.width(), 4)
                 .arg(ours.height(), -4)
                 .arg(oursNear.ink, 6)
                 .arg(theirsNear.ink, -6)
                 .arg(overlap, 5, 'f', 3)
                 .arg(agrees ? QStringLiteral("agree") : QStringLiteral("DIFFER"))
            + (gap.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(gap));
    QVERIFY2(theirsNear.ink > 0, "the other renderer drew nothing");
    QVERIFY2(oursNear.ink > 0, "the player drew nothing where the other renderer draws");
    QVERIFY2(agrees,
             qPrintable(QStringLiteral("ink overlap %1 (ours near theirs %2, theirs near "
                                       "ours %3)")
                            .arg(overlap)
                            .arg(oursNear.near)
                            .arg(theirsNear.near)));
}

void tst_other_renderers::cleanupTestCase()
{
    qInfo("%-36s %9s  ink ours / theirs  overlap  verdict", "file", "size");
    for (const QString& row : std::as_const(table))
        qInfo("%s", qPrintable(row));
}

QTEST_MAIN(tst_other_renderers)
#include "tst_other_renderers.moc"
