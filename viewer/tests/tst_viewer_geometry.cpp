#include "viewer/viewer_geometry.h"

#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(Rect64)

class TestViewerGeometry : public QObject
{
    Q_OBJECT

private slots:
    void roundHalfEven_data();
    void roundHalfEven();
    void fitToArea_data();
    void fitToArea();
    void fitToAreaNeverDividesByZero();
    void glassSource_data();
    void glassSource();
    void previewSource_data();
    void previewSource();
    void centeredGlass_data();
    void centeredGlass();
    void glassDiscMatchesThePixelRule_data();
    void glassDiscMatchesThePixelRule();
};

void TestViewerGeometry::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("2.5 to even below") << 2.5 << qint64 {2};
    QTest::newRow("3.5 to even above") << 3.5 << qint64 {4};
    QTest::newRow("negative half") << -2.5 << qint64 {-2};
    QTest::newRow("202.5") << 202.5 << qint64 {202};
    QTest::newRow("118.5") << 118.5 << qint64 {118};
    QTest::newRow("28.28") << 28.28 << qint64 {28};
    QTest::newRow("just under a half") << 0.4999999 << qint64 {0};
    QTest::newRow("NaN") << std::nan("") << qint64 {0};
    QTest::newRow("huge clamps") << 1e300 << (qint64 {1} << 62);
    QTest::newRow("huge negative clamps") << -1e300 << -(qint64 {1} << 62);
}

void TestViewerGeometry::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(qint64, expected);
    QCOMPARE(RoundHalfEven(value), expected);
}

void TestViewerGeometry::fitToArea_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("working");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<Rect64>("shownRect");
    QTest::addColumn<double>("ratio");

    QTest::newRow("too large, height rule, 202.5 to 202")
        << QSize(1000, 800) << QSize(1000, 800) << QSize(439, 162) << Rect64 {118, 0, 320, 162}
        << 1000.0 / 202;
    QTest::newRow("fits, shown at its own size, 119.5 to 120")
        << QSize(200, 100) << QSize(200, 100) << QSize(439, 162) << Rect64 {120, 31, 320, 131}
        << 1.0;
    QTest::newRow("exactly the area")
        << QSize(439, 162) << QSize(439, 162) << QSize(439, 162) << Rect64 {0, 0, 439, 162} << 1.0;
    QTest::newRow("equal aspect takes the height rule")
        << QSize(800, 400) << QSize(800, 400) << QSize(400, 200) << Rect64 {0, 0, 400, 200} << 2.0;
    QTest::newRow("tall picture, width from the height")
        << QSize(100, 1000) << QSize(100, 1000) << QSize(439, 162) << Rect64 {212, 0, 228, 162}
        << 1000.0 / 162;
    QTest::newRow("wide picture, height from the width")
        << QSize(1000, 100) << QSize(1000, 100) << QSize(400, 400) << Rect64 {0, 180, 400, 220}
        << 2.5;
    QTest::newRow("magnified working picture keeps the fit")
        << QSize(1000, 800) << QSize(2000, 1600) << QSize(439, 162) << Rect64 {118, 0, 320, 162}
        << 2000.0 / 202;
    QTest::newRow("fitting picture is never enlarged, whatever the scale")
        << QSize(200, 100) << QSize(400, 200) << QSize(439, 162) << Rect64 {120, 31, 320, 131}
        << 2.0;
}

void TestViewerGeometry::fitToArea()
{
    QFETCH(QSize, source);
    QFETCH(QSize, working);
    QFETCH(QSize, area);
    QFETCH(Rect64, shownRect);
    QFETCH(double, ratio);

    const PictureFit fit = FitToArea(source, working, area, 20);
    QCOMPARE(fit.shownRect, shownRect);
    QCOMPARE(fit.shownRatio, ratio);
    QCOMPARE(fit.pictureOrigin, QPoint(int(shownRect.left) + 20, int(shownRect.top) + 20));
}

void TestViewerGeometry::fitToAreaNeverDividesByZero()
{
    for (const QSize area : {QSize(0, 0), QSize(0, 50), QSize(50, 0), QSize(1, 1)}) {
        for (const QSize picture : {QSize(0, 0), QSize(300, 200), QSize(200, 300)}) {
            const PictureFit fit = FitToArea(picture, picture, area, 20);
            QVERIFY2(std::isfinite(fit.shownRatio),
                     qPrintable(QString("%1x%2 in %3x%4")
                                    .arg(picture.width())
                                    .arg(picture.height())
                                    .arg(area.width())
                                    .arg(area.height())));
            QVERIFY(fit.shownRect.width() >= 0 && fit.shownRect.height() >= 0);
        }
    }
}

void TestViewerGeometry::glassSource_data()
{
    QTest::addColumn<double>("k");
    QTest::addColumn<QPoint>("origin");
    QTest::addColumn<QPoint>("glass");
    QTest::addColumn<int>("d");
    QTest::addColumn<Rect64>("expected");

    QTest::newRow("k 2, d 50") << 2.0 << QPoint(20, 20) << QPoint(45, 45) << 50
                               << Rect64 {75, 75, 125, 125};
    QTest::newRow("k 1 looks straight down")
        << 1.0 << QPoint(138, 20) << QPoint(189, 49) << 100 << Rect64 {51, 29, 151, 129};
    QTest::newRow("glass left of the picture")
        << 3.0 << QPoint(20, 20) << QPoint(0, 10) << 40 << Rect64 {-20, 10, 20, 50};
    // 2^24 working pixels per shown pixel and a glass far away: well beyond 32 bits.
    QTest::newRow("far beyond 32 bits")
        << 16777216.0 << QPoint(20, 20) << QPoint(-5000, 3000) << 150
        << Rect64 {-82963333195, 51254394805, -82963333195 + 150, 51254394805 + 150};
}

void TestViewerGeometry::glassSource()
{
    QFETCH(double, k);
    QFETCH(QPoint, origin);
    QFETCH(QPoint, glass);
    QFETCH(int, d);
    QFETCH(Rect64, expected);
    QCOMPARE(GlassSourceFor(k, origin, glass, QSize(d, d)), expected);
}

void TestViewerGeometry::previewSource_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<Rect64>("expected");
    // From the d = 50 source square (75, 75, 125, 125).
    QTest::newRow("0.5: -12.5 truncates to -12") << 0.5 << Rect64 {87, 87, 112, 112};
    QTest::newRow("3.0") << 3.0 << Rect64 {25, 25, 175, 175};
    QTest::newRow("1.0 is the glass's own square") << 1.0 << Rect64 {75, 75, 125, 125};
    QTest::newRow("0.1") << 0.1 << Rect64 {97, 97, 102, 102};
}

void TestViewerGeometry::previewSource()
{
    QFETCH(double, x);
    QFETCH(Rect64, expected);
    QCOMPARE(PreviewSourceFor(Rect64 {75, 75, 125, 125}, x), expected);
}

void TestViewerGeometry::centeredGlass_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("d");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("d 50") << QPoint(100, 80) << 50 << QPoint(95, 75);
    QTest::newRow("odd d halves down") << QPoint(100, 80) << 51 << QPoint(95, 75);
    QTest::newRow("in the margin") << QPoint(-20, -20) << 40 << QPoint(-20, -20);
}

void TestViewerGeometry::centeredGlass()
{
    QFETCH(QPoint, at);
    QFETCH(int, d);
    QFETCH(QPoint, topLeft);
    QCOMPARE(GlassTopLeftCenteredAt(at, 20, QSize(d, d)), topLeft);
}

void TestViewerGeometry::glassDiscMatchesThePixelRule_data()
{
    QTest::addColumn<int>("d");
    for (const int d : {1, 2, 3, 4, 7, 40, 50, 99, 100, 150})
        QTest::addRow("d %d", d) << d;
}

// The spans must give exactly the pixels of the rule they stand for, checked pixel by
// pixel: in the disc when the centre lies in the inscribed circle, inner when the four
// neighbours are in the disc too.
void TestViewerGeometry::glassDiscMatchesThePixelRule()
{
    QFETCH(int, d);
    const auto inDisc = [d](int x, int y) {
        if (x < 0 || y < 0 || x >= d || y >= d)
            return false;
        const qint64 dx = 2 * x + 1 - d;
        const qint64 dy = 2 * y + 1 - d;
        return dx * dx + dy * dy <= qint64 {d} * d;
    };
    const std::vector<GlassRow> rows = GlassDisc(d);
    QCOMPARE(int(rows.size()), d);
    int discPixels = 0;
    for (int y = 0; y < d; ++y) {
        const GlassRow& row = rows[std::size_t(y)];
        QVERIFY(row.discBegin <= row.innerBegin && row.innerBegin <= row.innerEnd
                && row.innerEnd <= row.discEnd);
        for (int x = 0; x < d; ++x) {
            const bool disc = inDisc(x, y);
            const bool inner = disc && inDisc(x - 1, y) && inDisc(x + 1, y) && inDisc(x, y - 1)
                && inDisc(x, y + 1);
            discPixels += disc;
            QVERIFY2(disc == (x >= row.discBegin && x < row.discEnd),
                     qPrintable(QString("disc at %1,%2").arg(x).arg(y)));
            QVERIFY2(inner == (x >= row.innerBegin && x < row.innerEnd),
                     qPrintable(QString("inner at %1,%2").arg(x).arg(y)));
        }
    }
    // A round glass: the disc covers about pi/4 of its square.
    if (d >= 40)
        QVERIFY(std::abs(discPixels / double(d * d) - M_PI / 4) < 0.02);
}

QTEST_APPLESS_MAIN(TestViewerGeometry)
#include "tst_viewer_geometry.moc"
