#include "viewer/_pgv.h"

#include "imaging/picture_formats.h"
#include "imaging/pixel_operations.h"
#include "imaging/tests/plain_stretch.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

class Options : public GlassOptions
{
public:
    int d = 100;
    RgbColor color = 0;
    bool border = false;

    int Diameter() const override { return d; }
    RgbColor BorderColor() const override { return color; }
    bool UseBorder() const override { return border; }
};

// Every pixel differs from its neighbours, so a pixel taken from the wrong place shows.
QImage pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           qRgb((x * 37 + y * 11) & 255, (x * 5 + y * 71) & 255, (x ^ y) & 255));
    return image;
}

QImage materialise(const QImage& source, QSize size)
{
    QImage working(size, QImage::Format_RGB32);
    working.fill(Qt::white);
    StretchDraw(working, working.rect(), source, source.rect());
    return working;
}

QRgb pixelOrWhite(const QImage& image, qint64 x, qint64 y)
{
    return x >= 0 && y >= 0 && x < image.width() && y < image.height() ? image.pixel(int(x), int(y))
                                                                       : 0xFFFFFFFFu;
}

// The glass as it must look: inside the disc's outline the working picture's pixels of
// the glass source square, elsewhere the display picture beneath (white beyond it), the
// outline in borderColor when a border is drawn.
QImage expectedGlass(const TO_pgv& pgv, const QImage& working, const QRgb* borderColor = nullptr)
{
    const int d = pgv.GlassDiameter();
    const QPoint beneath = pgv.Image_mg->pos() - QPoint(TO_pgv::BorderWidth, TO_pgv::BorderWidth);
    const Rect64 r = pgv.GlassSourceRect();
    const std::vector<GlassRow> disc = GlassDisc(d);
    QImage glass(d, d, QImage::Format_RGB32);
    for (int y = 0; y < d; ++y) {
        const GlassRow& row = disc[std::size_t(y)];
        for (int x = 0; x < d; ++x) {
            QRgb p = pixelOrWhite(pgv.DisplayPicture(), beneath.x() + x, beneath.y() + y);
            if (x >= row.innerBegin && x < row.innerEnd)
                p = pixelOrWhite(working, r.left + x, r.top + y);
            else if (borderColor && x >= row.discBegin && x < row.discEnd)
                p = *borderColor;
            glass.setPixel(x, y, p);
        }
    }
    return glass;
}

} // namespace

class TestPgv : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fitRule_data();
    void fitRule();
    void glassComposition_data();
    void glassComposition();
    void glassAtScaleOneShowsWhatLiesBeneath();
    void glassSourceAndPreview();
    void borderCircle();
    void drag();
    void centerGlassAt();
    void diameterChangeKeepsTopLeft();
    void rotations();
    void setScaleOneGivesTheSourcePixelForPixel();
    void workingScaleBounds_data();
    void workingScaleBounds();
    void invalidScaleArguments();
    void refitOnResize();
    void failedLoadAfterSuccess();
    void smallPictureGivesTheLargeMemoryBack();
    void reducedFirstThenTheFullPicture();
    void lastPictureAskedForWins_data();
    void lastPictureAskedForWins();
    void brightnessAndContrastStayOutOfTheGlass();

private:
    // A frame whose picture area is area, showing a pattern picture of the given size.
    void show(TO_pgv& pgv, QSize area, QSize picture);
    QString write(QSize picture);
    // A JPEG of the pattern, large enough (8 MP) to be shown reduced first in small areas.
    QString writeJpeg(QSize picture, const char* name);

    QTemporaryDir dir;
};

void TestPgv::initTestCase()
{
    QVERIFY(dir.isValid());
}

QString TestPgv::write(QSize picture)
{
    const QString name
        = dir.filePath(QString("p%1x%2.bmp").arg(picture.width()).arg(picture.height()));
    if (!QFile::exists(name) && !pattern(picture.width(), picture.height()).save(name))
        qFatal("cannot write %s", qPrintable(name));
    return name;
}

QString TestPgv::writeJpeg(QSize picture, const char* name)
{
    const QString file = dir.filePath(name);
    if (!QFile::exists(file) && !pattern(picture.width(), picture.height()).save(file, "JPEG"))
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

// The display as a synchronous load of the full picture draws it.
QImage displayOf(TO_pgv& pgv, const QImage& source)
{
    const Rect64 r = pgv.ShownRect();
    QImage expected(pgv.Image1->size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    StretchDraw(expected, QRect(int(r.left), int(r.top), int(r.width()), int(r.height())), source,
                source.rect());
    return expected;
}

void TestPgv::show(TO_pgv& pgv, QSize area, QSize picture)
{
    pgv.resize(area + QSize(2, 2) * TO_pgv::BorderWidth);
    pgv.show();
    QCOMPARE(pgv.Image1->size(), area);
    QVERIFY(pgv.LoadPicture(write(picture).toStdString()));
    QCOMPARE(pgv.SourcePicture(), pattern(picture.width(), picture.height()));
}

void TestPgv::fitRule_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<Rect64>("shownRect");
    QTest::newRow("1000x800 too large")
        << QSize(1000, 800) << QSize(439, 162) << Rect64 {118, 0, 320, 162};
    QTest::newRow("200x100 fits") << QSize(200, 100) << QSize(439, 162)
                                  << Rect64 {120, 31, 320, 131};
    QTest::newRow("exactly the area")
        << QSize(439, 162) << QSize(439, 162) << Rect64 {0, 0, 439, 162};
    QTest::newRow("same aspect") << QSize(800, 400) << QSize(400, 200) << Rect64 {0, 0, 400, 200};
}

// The display picture is the area, white, with the picture stretched into the shown
// rectangle.
void TestPgv::fitRule()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, area);
    QFETCH(Rect64, shownRect);
    TO_pgv pgv;
    show(pgv, area, picture);
    QCOMPARE(pgv.ShownRect(), shownRect);
    QCOMPARE(pgv.ShownSize(), int(std::max(shownRect.width(), shownRect.height())));
    QCOMPARE(pgv.PictureOrigin(), QPoint(int(shownRect.left) + 20, int(shownRect.top) + 20));
    QImage expected(area, QImage::Format_RGB32);
    expected.fill(Qt::white);
    StretchDraw(expected,
                QRect(int(shownRect.left), int(shownRect.top), int(shownRect.width()),
                      int(shownRect.height())),
                pgv.SourcePicture(), pgv.SourcePicture().rect());
    QCOMPARE(pgv.DisplayPicture(), expected);
    QVERIFY(pgv.Image_mg->isVisible());
}

void TestPgv::glassComposition_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("d");
    QTest::addColumn<QPoint>("glass");
    QTest::addColumn<int>("contrast");
    for (const double scale : {1.0, 2.0, 3.7}) {
        QTest::addRow("scale %g, inside", scale) << scale << 100 << QPoint(189, 49) << 0;
        QTest::addRow("scale %g, half off the right edge", scale)
            << scale << 40 << QPoint(310, 60) << 0;
        QTest::addRow("scale %g, over the margin", scale) << scale << 150 << QPoint(-30, -60) << 0;
        QTest::addRow("scale %g, far outside", scale) << scale << 50 << QPoint(900, 700) << 0;
        QTest::addRow("scale %g, contrast", scale) << scale << 100 << QPoint(130, 10) << -70;
    }
}

void TestPgv::glassComposition()
{
    QFETCH(double, scale);
    QFETCH(int, d);
    QFETCH(QPoint, glass);
    QFETCH(int, contrast);
    Options options;
    options.d = d;
    TO_pgv pgv(nullptr, &options);
    show(pgv, QSize(439, 162), QSize(300, 200));
    pgv.SetContrast(contrast);
    pgv.SetScale(scale);
    pgv.Image_mg->move(glass);
    pgv.UpdateGlass();
    QCOMPARE(pgv.GlassSourceRect(),
             GlassSourceFor(pgv.ShownRatio(), pgv.PictureOrigin(), glass, QSize(d, d)));
    const QImage working = materialise(pgv.SourcePicture(), pgv.WorkingSize());
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, working));
}

void TestPgv::glassAtScaleOneShowsWhatLiesBeneath()
{
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(200, 100));
    QCOMPARE(pgv.ShownRatio(), 1.0);
    pgv.Image_mg->move(150, 40);
    pgv.UpdateGlass();
    QCOMPARE(pgv.GlassPicture(), pgv.DisplayPicture().copy(130, 20, 100, 100));
}

void TestPgv::glassSourceAndPreview()
{
    Options options;
    options.d = 50;
    options.border = true;
    TO_pgv pgv(nullptr, &options);
    show(pgv, QSize(439, 162), QSize(439, 162));
    pgv.SetScale(2.0);
    QCOMPARE(pgv.PictureOrigin(), QPoint(20, 20));
    QCOMPARE(pgv.ShownRatio(), 2.0);
    pgv.Image_mg->move(45, 45);
    pgv.UpdateGlass();
    QCOMPARE(pgv.GlassSourceRect(), (Rect64 {75, 75, 125, 125}));

    const QImage working = materialise(pgv.SourcePicture(), pgv.WorkingSize());
    const struct
    {
        double x;
        QRect taken;
    } previews[] = {{0.5, QRect(87, 87, 25, 25)}, {3.0, QRect(25, 25, 150, 150)}};
    for (const auto& preview : previews) {
        pgv.PreviewScale(preview.x);
        QCOMPARE(pgv.PendingInverse(), 1 / preview.x);
        QCOMPARE(pgv.GlassSourceRect(), (Rect64 {75, 75, 125, 125}));
        // The previewed square, stretched into the glass, shows in the disc; no border.
        QImage stretched(50, 50, QImage::Format_RGB32);
        StretchDraw(stretched, stretched.rect(), working, preview.taken);
        QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, stretched.copy(-75, -75, 200, 200)));
    }
    // Applying the last preview: the working scale grows by 1/x.
    QVERIFY(pgv.ApplyPendingScale());
    QCOMPARE(pgv.WorkingScale(), 2.0 / 3.0);
    QCOMPARE(pgv.PendingInverse(), 1.0);
}

void TestPgv::borderCircle()
{
    Options options;
    options.d = 60;
    options.color = 0x0000FF; // red, in the lowest byte
    TO_pgv pgv(nullptr, &options);
    pgv.ApplySettings();
    show(pgv, QSize(300, 200), QSize(200, 150));
    const QImage working = materialise(pgv.SourcePicture(), pgv.WorkingSize());
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, working));
    options.border = true;
    pgv.UpdateGlass();
    const QRgb red = qRgb(255, 0, 0);
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, working, &red));
    QCOMPARE(pgv.BorderColor(), 0x0000FFu);
    // The border colour comes with ApplySettings.
    options.color = 0xFF0000;
    pgv.UpdateGlass();
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, working, &red));
    pgv.ApplySettings();
    pgv.UpdateGlass();
    const QRgb blue = qRgb(0, 0, 255);
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, working, &blue));
}

void TestPgv::drag()
{
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(1000, 800));
    const QPoint start = pgv.Image_mg->pos();
    QTest::mousePress(pgv.Image_mg, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(pgv.Dragging());
    QTest::mouseMove(pgv.Image_mg, QPoint(30, 25));
    QCOMPARE(pgv.Image_mg->pos(), start + QPoint(20, 15));
    // The glass moved under the mouse, so the same spot in the glass moves it no further.
    QTest::mouseMove(pgv.Image_mg, QPoint(10, 10));
    QCOMPARE(pgv.Image_mg->pos(), start + QPoint(20, 15));
    QTest::mouseMove(pgv.Image_mg, QPoint(-400, -300));
    QCOMPARE(pgv.Image_mg->pos(), start + QPoint(-390, -295));
    QCOMPARE(pgv.GlassSourceRect(),
             GlassSourceFor(pgv.ShownRatio(), pgv.PictureOrigin(), pgv.Image_mg->pos(),
                            QSize(100, 100)));
    const QImage working = materialise(pgv.SourcePicture(), pgv.WorkingSize());
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, working));
    QTest::mouseRelease(pgv.Image_mg, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!pgv.Dragging());
    const QPoint released = pgv.Image_mg->pos();
    pgv.Image_mgMouseMove(QMouseEvent(QEvent::MouseMove, QPointF(50, 50), QPointF(50, 50),
                                      Qt::NoButton, Qt::NoButton, Qt::NoModifier));
    QCOMPARE(pgv.Image_mg->pos(), released);
}

void TestPgv::centerGlassAt()
{
    Options options;
    options.d = 50;
    TO_pgv pgv(nullptr, &options);
    show(pgv, QSize(439, 162), QSize(200, 100));
    pgv.CenterGlassAt(100, 80);
    QCOMPARE(pgv.Image_mg->pos(), QPoint(95, 75));
    QCOMPARE(pgv.GlassPicture(), pgv.DisplayPicture().copy(75, 55, 50, 50));
}

void TestPgv::diameterChangeKeepsTopLeft()
{
    Options options;
    options.d = 50;
    TO_pgv pgv(nullptr, &options);
    QCOMPARE(pgv.GlassDiameter(), 50);
    show(pgv, QSize(439, 162), QSize(200, 100));
    pgv.Image_mg->move(70, 25);
    options.d = 150;
    pgv.ApplySettings();
    QCOMPARE(pgv.Image_mg->geometry(), QRect(70, 25, 150, 150));
    QCOMPARE(pgv.GlassRect(), QRect(0, 0, 150, 150));
    pgv.UpdateGlass();
    QCOMPARE(pgv.GlassPicture(), pgv.DisplayPicture().copy(50, 5, 150, 150));
}

void TestPgv::rotations()
{
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(37, 23));
    const QImage original = pgv.SourcePicture().copy();
    const uchar* memory = pgv.SourcePicture().constBits();
    pgv.SetScale(2.5);
    pgv.RotatePicture(true);
    // Turned in the picture's own memory, not into a second picture.
    QCOMPARE(pgv.SourcePicture().constBits(), memory);
    QCOMPARE(pgv.SourceSize(), QSize(23, 37));
    QCOMPARE(pgv.WorkingSize(), QSize(23, 37));
    QCOMPARE(pgv.WorkingScale(), 1.0);
    QCOMPARE(pgv.SourcePicture().pixel(22, 0), original.pixel(0, 0));
    for (int turn = 0; turn < 3; ++turn)
        pgv.RotatePicture(true);
    QCOMPARE(pgv.SourcePicture(), original);
    pgv.RotatePicture(false);
    QCOMPARE(pgv.SourcePicture().pixel(0, 0), original.pixel(36, 0));
    pgv.RotatePicture(true);
    QCOMPARE(pgv.SourcePicture(), original);
    // The display and the glass follow the turned picture.
    pgv.RotatePicture(false);
    QImage expected(439, 162, QImage::Format_RGB32);
    expected.fill(Qt::white);
    StretchDraw(expected, QRect(208, 62, 23, 37), pgv.SourcePicture(), QRect(0, 0, 23, 37));
    QCOMPARE(pgv.DisplayPicture(), expected);
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, pgv.SourcePicture()));
}

void TestPgv::setScaleOneGivesTheSourcePixelForPixel()
{
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(37, 23));
    pgv.SetScale(3.3);
    QCOMPARE(pgv.WorkingSize(), QSize(122, 76)); // 122.1 and 75.9 rounded
    QCOMPARE(pgv.WorkingScale(), 3.3);
    pgv.SetScale(1.0);
    QImage working(pgv.WorkingSize(), QImage::Format_RGB32);
    pgv.Working().Draw(working, working.rect(), Rect64 {0, 0, 37, 23});
    QCOMPARE(working, pgv.SourcePicture());
}

void TestPgv::workingScaleBounds_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<double>("x");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("a side of exactly 2^29") << QSize(100, 50) << 1 / 5368709.12 << true;
    QTest::newRow("a side beyond 2^29") << QSize(100, 50) << 1 / 5368709.13 << false;
    // Every picture the loader accepts can be shown at 100%.
    QTest::newRow("a loaded side beyond 2^24 at 1:1") << QSize(16777217, 1) << 1.0 << true;
    QTest::newRow("both sides under a pixel") << QSize(100, 50) << 1e6 << false;
    QTest::newRow("one side under a pixel") << QSize(1000, 1) << 2.5 << false;
    QTest::newRow("ten times") << QSize(100, 50) << 0.1 << true;
}

// A refused scale changes nothing and the glass drops the refused preview.
void TestPgv::workingScaleBounds()
{
    QFETCH(QSize, picture);
    QFETCH(double, x);
    QFETCH(bool, accepted);
    TO_pgv pgv;
    show(pgv, QSize(439, 162), picture);
    const QImage before = pgv.GlassPicture().copy();
    pgv.PreviewScale(x);
    QCOMPARE(pgv.ApplyPendingScale(), accepted);
    if (accepted) {
        QCOMPARE(pgv.WorkingScale(), 1 / x);
        QCOMPARE(pgv.WorkingSize(),
                 QSize(int(std::nearbyint(picture.width() / x)),
                       int(std::nearbyint(picture.height() / x))));
    } else {
        QCOMPARE(pgv.WorkingScale(), 1.0);
        QCOMPARE(pgv.WorkingSize(), picture);
        QCOMPARE(pgv.GlassPicture(), before);
    }
}

void TestPgv::invalidScaleArguments()
{
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(100, 50));
    for (const double scale : {0.0, -1.0, std::nan(""), HUGE_VAL})
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, pgv.SetScale(scale));
    for (const double x : {0.0, -0.5, std::nan(""), HUGE_VAL})
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, pgv.PreviewScale(x));
    QCOMPARE(pgv.WorkingSize(), QSize(100, 50));
    QCOMPARE(pgv.PendingInverse(), 1.0);
}

void TestPgv::refitOnResize()
{
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(1000, 800));
    pgv.SetContrast(35);
    pgv.SetScale(2.0);
    pgv.Image_mg->move(60, 30);
    pgv.resize(879, 602);
    QCOMPARE(pgv.Image1->size(), QSize(839, 562));
    QCOMPARE(pgv.DisplayPicture().size(), QSize(839, 562));
    QCOMPARE(pgv.ShownRect(), (Rect64 {68, 0, 770, 562})); // 702.5 and 68.5 rounded to even
    QCOMPARE(pgv.Image_mg->pos(), QPoint(60, 30));
    QCOMPARE(pgv.Contrast(), 35);
    QCOMPARE(pgv.WorkingScale(), 2.0);
    const QImage working = materialise(pgv.SourcePicture(), pgv.WorkingSize());
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, working));
}

void TestPgv::failedLoadAfterSuccess()
{
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(200, 100));
    pgv.SetScale(2.0);
    QVERIFY(!pgv.LoadPicture(dir.filePath("missing.bmp").toStdString()));
    QCOMPARE(pgv.WorkingScale(), 1.0);
    QCOMPARE(pgv.SourcePicture(), pattern(200, 100));
    QVERIFY(pgv.ClearPicture());
    QImage white(100, 100, QImage::Format_RGB32);
    white.fill(Qt::white);
    QCOMPARE(pgv.SourcePicture(), white);
    QVERIFY(pgv.Image_mg->isVisible());
    QImage allWhite(439, 162, QImage::Format_RGB32);
    allWhite.fill(Qt::white);
    QCOMPARE(pgv.DisplayPicture(), allWhite);
    // The memory of the pictures before is reused for the next one.
    QVERIFY(pgv.LoadPicture(write(QSize(200, 100)).toStdString()));
    QCOMPARE(pgv.SourcePicture(), pattern(200, 100));
}

void TestPgv::smallPictureGivesTheLargeMemoryBack()
{
    const auto residentKb = [] {
        QFile status("/proc/self/status");
        if (!status.open(QIODevice::ReadOnly))
            return qint64 {0};
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        return qint64 {0};
    };
    // A JPEG, whose decoder draws into the large blocks kept from picture to picture.
    const QString large = dir.filePath("large.jpg");
    QVERIFY(pattern(2000, 2000).save(large, "JPEG"));
    TO_pgv pgv;
    show(pgv, QSize(300, 200), QSize(64, 64));
    QVERIFY(pgv.LoadPicture(large.toStdString()));
    pgv.WaitForPicture();
    const qint64 showingLarge = residentKb();
    QVERIFY(pgv.LoadPicture(write(QSize(64, 64)).toStdString()));
    // The 16 MB picture's memory, and any kept for the next one, is given back.
    QVERIFY2(residentKb() < showingLarge - 12000,
             qPrintable(QString("%1 kB then %2 kB").arg(showingLarge).arg(residentKb())));
}

// A large JPEG is shown from a reduced decode first; once its full picture is in, the
// display, the glass and the sizes are exactly those of a load of the full picture.
void TestPgv::reducedFirstThenTheFullPicture()
{
    const QString file = writeJpeg(QSize(3600, 2400), "reduced.jpg");
    const QImage full = LoadImageFile(file.toStdString());
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(50, 50));
    pgv.SetContrast(35);
    QVERIFY(pgv.LoadPicture(file.toStdString()));
    QVERIFY(!pgv.PictureComplete());
    QCOMPARE(pgv.SourceSize(), QSize(3600, 2400));
    QCOMPARE(pgv.ShownRect(), (Rect64 {98, 0, 341, 162}));
    pgv.SetContrast(0);
    pgv.WaitForPicture();
    QVERIFY(pgv.PictureComplete());
    QCOMPARE(pgv.SourcePicture(), full);
    QCOMPARE(pgv.DisplayPicture(), displayOf(pgv, full));
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, full));
}

void TestPgv::lastPictureAskedForWins_data()
{
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("shown");
    // Another large JPEG (shown reduced too), a picture loaded at once, a damaged file.
    QTest::newRow("jpeg") << writeJpeg(QSize(2400, 3600), "second.jpg") << true;
    QTest::newRow("bmp") << write(QSize(200, 100)) << true;
    QFile damaged(dir.filePath("damaged.jpg"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("\xFF\xD8\xFF\xC0\x00\x02garbage", 13));
    damaged.close();
    QTest::newRow("damaged") << damaged.fileName() << false;
}

// Enter on one picture and at once on the next: whatever the first picture's decode behind
// delivers later, the second is the one shown; a damaged second changes nothing.
void TestPgv::lastPictureAskedForWins()
{
    QFETCH(QString, second);
    QFETCH(bool, shown);
    const QString first = writeJpeg(QSize(3600, 2400), "first.jpg");
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(50, 50));
    QVERIFY(pgv.LoadPicture(first.toStdString()));
    QCOMPARE(pgv.LoadPicture(second.toStdString()), shown);
    pgv.WaitForBackgroundWork();
    // Every notice of the worker is delivered.
    QCoreApplication::processEvents();
    const QImage expected = LoadImageFile((shown ? second : first).toStdString());
    QVERIFY(pgv.PictureComplete());
    QCOMPARE(pgv.SourcePicture(), expected);
    QCOMPARE(pgv.DisplayPicture(), displayOf(pgv, expected));
}

void TestPgv::brightnessAndContrastStayOutOfTheGlass()
{
    TO_pgv pgv;
    show(pgv, QSize(439, 162), QSize(200, 100));
    pgv.Image_mg->move(100, 20);
    pgv.UpdateGlass();
    const QImage working = materialise(pgv.SourcePicture(), pgv.WorkingSize());

    pgv.SetContrast(-35);
    QCOMPARE(pgv.DisplayPicture().pixel(0, 0), qRgb(238, 238, 238)); // the margin greys
    QImage adjusted = pgv.SourcePicture().copy();
    AdjustContrast(adjusted, -35);
    QCOMPARE(pgv.DisplayPicture().copy(120, 31, 200, 100).convertToFormat(QImage::Format_RGB32),
             adjusted.convertToFormat(QImage::Format_RGB32));
    // The disc keeps the working picture; the corners show the adjusted display at once.
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, working));

    pgv.SetContrast(0);
    pgv.SetLightness(-35);
    QCOMPARE(pgv.DisplayPicture().pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(pgv.GlassPicture(), expectedGlass(pgv, working));

    // A pending step's preview survives a brightness change.
    pgv.PreviewScale(0.5);
    const QImage preview = pgv.GlassPicture().copy();
    pgv.SetLightness(-70);
    const int middle = pgv.GlassDiameter() / 2;
    QCOMPARE(pgv.GlassPicture().copy(middle - 10, middle - 10, 20, 20),
             preview.copy(middle - 10, middle - 10, 20, 20));

    // The next redraw after a new scale stretches the new working picture.
    pgv.SetScale(0.37);
    pgv.SetLightness(0);
    QImage expected(439, 162, QImage::Format_RGB32);
    expected.fill(Qt::white);
    StretchDraw(expected, QRect(120, 31, 200, 100),
                materialise(pgv.SourcePicture(), pgv.WorkingSize()), QRect(0, 0, 74, 37));
    QCOMPARE(pgv.DisplayPicture(), expected);
}

QTEST_MAIN(TestPgv)
#include "tst_pgv.moc"
