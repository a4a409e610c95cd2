#include "viewer/channel_table.h"
#include "viewer/page_viewer.h"

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
QImage expectedGlass(const PageViewer& viewer, const QImage& working,
                     const QRgb* borderColor = nullptr)
{
    const int d = viewer.GlassDiameter();
    const QPoint beneath
        = viewer.Image_mg->pos() - QPoint(PageViewer::BorderWidth, PageViewer::BorderWidth);
    const Rect64 r = viewer.GlassSourceRect();
    const std::vector<GlassRow> disc = GlassDisc(d);
    QImage glass(d, d, QImage::Format_RGB32);
    for (int y = 0; y < d; ++y) {
        const GlassRow& row = disc[std::size_t(y)];
        for (int x = 0; x < d; ++x) {
            QRgb p = pixelOrWhite(viewer.DisplayPicture(), beneath.x() + x, beneath.y() + y);
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

class TestPageViewer : public QObject
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
    void marginColour_data();
    void marginColour();
    void previewSurvivesResize();
    void failedLoadAfterSuccess();
    void smallPictureGivesTheLargeMemoryBack();
    void reducedFirstThenTheFullPicture();
    void lastPictureAskedForWins_data();
    void lastPictureAskedForWins();
    void brightnessAndContrastStayOutOfTheGlass();
    void smoothDisplay_data();
    void smoothDisplay();
    void reducedFirstStaysSmooth();

private:
    // A frame whose picture area is area, showing a pattern picture of the given size.
    void show(PageViewer& viewer, QSize area, QSize picture);
    QString write(QSize picture);
    // A JPEG of the pattern, large enough (8 MP) to be shown reduced first in small areas.
    QString writeJpeg(QSize picture, const char* name);

    QTemporaryDir dir;
};

void TestPageViewer::initTestCase()
{
    QVERIFY(dir.isValid());
}

QString TestPageViewer::write(QSize picture)
{
    const QString name
        = dir.filePath(QString("p%1x%2.bmp").arg(picture.width()).arg(picture.height()));
    if (!QFile::exists(name) && !pattern(picture.width(), picture.height()).save(name))
        qFatal("cannot write %s", qPrintable(name));
    return name;
}

QString TestPageViewer::writeJpeg(QSize picture, const char* name)
{
    const QString file = dir.filePath(name);
    if (!QFile::exists(file) && !pattern(picture.width(), picture.height()).save(file, "JPEG"))
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

// The display as a synchronous load of the full picture draws it.
QImage displayOf(PageViewer& viewer, const QImage& source)
{
    const Rect64 r = viewer.ShownRect();
    QImage expected(viewer.Image1->size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    StretchDraw(expected, QRect(int(r.left), int(r.top), int(r.width()), int(r.height())), source,
                source.rect());
    return expected;
}

void TestPageViewer::show(PageViewer& viewer, QSize area, QSize picture)
{
    viewer.resize(area + QSize(2, 2) * PageViewer::BorderWidth);
    viewer.show();
    QCOMPARE(viewer.Image1->size(), area);
    QVERIFY(viewer.LoadPicture(write(picture).toStdString()));
    QCOMPARE(viewer.SourcePicture(), pattern(picture.width(), picture.height()));
}

void TestPageViewer::fitRule_data()
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
void TestPageViewer::fitRule()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, area);
    QFETCH(Rect64, shownRect);
    PageViewer viewer;
    viewer.SetExactPixels(true);
    show(viewer, area, picture);
    QCOMPARE(viewer.ShownRect(), shownRect);
    QCOMPARE(viewer.ShownSize(), int(std::max(shownRect.width(), shownRect.height())));
    QCOMPARE(viewer.PictureOrigin(), QPoint(int(shownRect.left) + 20, int(shownRect.top) + 20));
    QImage expected(area, QImage::Format_RGB32);
    expected.fill(Qt::white);
    StretchDraw(expected,
                QRect(int(shownRect.left), int(shownRect.top), int(shownRect.width()),
                      int(shownRect.height())),
                viewer.SourcePicture(), viewer.SourcePicture().rect());
    QCOMPARE(viewer.DisplayPicture(), expected);
    QVERIFY(viewer.Image_mg->isVisible());
}

void TestPageViewer::glassComposition_data()
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

void TestPageViewer::glassComposition()
{
    QFETCH(double, scale);
    QFETCH(int, d);
    QFETCH(QPoint, glass);
    QFETCH(int, contrast);
    Options options;
    options.d = d;
    PageViewer viewer(nullptr, &options);
    show(viewer, QSize(439, 162), QSize(300, 200));
    viewer.SetContrast(contrast);
    viewer.SetScale(scale);
    viewer.Image_mg->move(glass);
    viewer.UpdateGlass();
    QCOMPARE(viewer.GlassSourceRect(),
             GlassSourceFor(viewer.ShownRatio(), viewer.PictureOrigin(), glass, QSize(d, d)));
    const QImage working = materialise(viewer.SourcePicture(), viewer.WorkingSize());
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, working));
}

void TestPageViewer::glassAtScaleOneShowsWhatLiesBeneath()
{
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(200, 100));
    QCOMPARE(viewer.ShownRatio(), 1.0);
    viewer.Image_mg->move(150, 40);
    viewer.UpdateGlass();
    QCOMPARE(viewer.GlassPicture(), viewer.DisplayPicture().copy(130, 20, 100, 100));
}

void TestPageViewer::glassSourceAndPreview()
{
    Options options;
    options.d = 50;
    options.border = true;
    PageViewer viewer(nullptr, &options);
    show(viewer, QSize(439, 162), QSize(439, 162));
    viewer.SetScale(2.0);
    QCOMPARE(viewer.PictureOrigin(), QPoint(20, 20));
    QCOMPARE(viewer.ShownRatio(), 2.0);
    viewer.Image_mg->move(45, 45);
    viewer.UpdateGlass();
    QCOMPARE(viewer.GlassSourceRect(), (Rect64 {75, 75, 125, 125}));

    const QImage working = materialise(viewer.SourcePicture(), viewer.WorkingSize());
    const struct
    {
        double x;
        QRect taken;
    } previews[] = {{0.5, QRect(87, 87, 25, 25)}, {3.0, QRect(25, 25, 150, 150)}};
    for (const auto& preview : previews) {
        viewer.PreviewScale(preview.x);
        QCOMPARE(viewer.PendingInverse(), 1 / preview.x);
        QCOMPARE(viewer.GlassSourceRect(), (Rect64 {75, 75, 125, 125}));
        // The previewed square, stretched into the glass, shows in the disc; no border.
        QImage stretched(50, 50, QImage::Format_RGB32);
        StretchDraw(stretched, stretched.rect(), working, preview.taken);
        QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, stretched.copy(-75, -75, 200, 200)));
    }
    // Applying the last preview: the working scale grows by 1/x.
    QVERIFY(viewer.ApplyPendingScale());
    QCOMPARE(viewer.WorkingScale(), 2.0 / 3.0);
    QCOMPARE(viewer.PendingInverse(), 1.0);
}

void TestPageViewer::borderCircle()
{
    Options options;
    options.d = 60;
    options.color = 0x0000FF; // red, in the lowest byte
    PageViewer viewer(nullptr, &options);
    viewer.ApplySettings();
    show(viewer, QSize(300, 200), QSize(200, 150));
    const QImage working = materialise(viewer.SourcePicture(), viewer.WorkingSize());
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, working));
    options.border = true;
    viewer.UpdateGlass();
    const QRgb red = qRgb(255, 0, 0);
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, working, &red));
    QCOMPARE(viewer.BorderColor(), 0x0000FFu);
    // The border colour comes with ApplySettings.
    options.color = 0xFF0000;
    viewer.UpdateGlass();
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, working, &red));
    viewer.ApplySettings();
    viewer.UpdateGlass();
    const QRgb blue = qRgb(0, 0, 255);
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, working, &blue));
}

void TestPageViewer::drag()
{
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(1000, 800));
    const QPoint start = viewer.Image_mg->pos();
    QTest::mousePress(viewer.Image_mg, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(viewer.Dragging());
    QTest::mouseMove(viewer.Image_mg, QPoint(30, 25));
    QCOMPARE(viewer.Image_mg->pos(), start + QPoint(20, 15));
    // The glass moved under the mouse, so the same spot in the glass moves it no further.
    QTest::mouseMove(viewer.Image_mg, QPoint(10, 10));
    QCOMPARE(viewer.Image_mg->pos(), start + QPoint(20, 15));
    QTest::mouseMove(viewer.Image_mg, QPoint(-400, -300));
    QCOMPARE(viewer.Image_mg->pos(), start + QPoint(-390, -295));
    QCOMPARE(viewer.GlassSourceRect(),
             GlassSourceFor(viewer.ShownRatio(), viewer.PictureOrigin(), viewer.Image_mg->pos(),
                            QSize(100, 100)));
    const QImage working = materialise(viewer.SourcePicture(), viewer.WorkingSize());
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, working));
    QTest::mouseRelease(viewer.Image_mg, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!viewer.Dragging());
    const QPoint released = viewer.Image_mg->pos();
    viewer.Image_mgMouseMove(QMouseEvent(QEvent::MouseMove, QPointF(50, 50), QPointF(50, 50),
                                         Qt::NoButton, Qt::NoButton, Qt::NoModifier));
    QCOMPARE(viewer.Image_mg->pos(), released);
}

void TestPageViewer::centerGlassAt()
{
    Options options;
    options.d = 50;
    PageViewer viewer(nullptr, &options);
    show(viewer, QSize(439, 162), QSize(200, 100));
    viewer.CenterGlassAt(100, 80);
    QCOMPARE(viewer.Image_mg->pos(), QPoint(95, 75));
    QCOMPARE(viewer.GlassPicture(), viewer.DisplayPicture().copy(75, 55, 50, 50));
}

void TestPageViewer::diameterChangeKeepsTopLeft()
{
    Options options;
    options.d = 50;
    PageViewer viewer(nullptr, &options);
    QCOMPARE(viewer.GlassDiameter(), 50);
    show(viewer, QSize(439, 162), QSize(200, 100));
    viewer.Image_mg->move(70, 25);
    options.d = 150;
    viewer.ApplySettings();
    QCOMPARE(viewer.Image_mg->geometry(), QRect(70, 25, 150, 150));
    QCOMPARE(viewer.GlassRect(), QRect(0, 0, 150, 150));
    viewer.UpdateGlass();
    QCOMPARE(viewer.GlassPicture(), viewer.DisplayPicture().copy(50, 5, 150, 150));
}

void TestPageViewer::rotations()
{
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(37, 23));
    const QImage original = viewer.SourcePicture().copy();
    const uchar* memory = viewer.SourcePicture().constBits();
    viewer.SetScale(2.5);
    viewer.RotatePicture(true);
    // Turned in the picture's own memory, not into a second picture.
    QCOMPARE(viewer.SourcePicture().constBits(), memory);
    QCOMPARE(viewer.SourceSize(), QSize(23, 37));
    QCOMPARE(viewer.WorkingSize(), QSize(23, 37));
    QCOMPARE(viewer.WorkingScale(), 1.0);
    QCOMPARE(viewer.SourcePicture().pixel(22, 0), original.pixel(0, 0));
    for (int turn = 0; turn < 3; ++turn)
        viewer.RotatePicture(true);
    QCOMPARE(viewer.SourcePicture(), original);
    viewer.RotatePicture(false);
    QCOMPARE(viewer.SourcePicture().pixel(0, 0), original.pixel(36, 0));
    viewer.RotatePicture(true);
    QCOMPARE(viewer.SourcePicture(), original);
    // The display and the glass follow the turned picture.
    viewer.RotatePicture(false);
    QImage expected(439, 162, QImage::Format_RGB32);
    expected.fill(Qt::white);
    StretchDraw(expected, QRect(208, 62, 23, 37), viewer.SourcePicture(), QRect(0, 0, 23, 37));
    QCOMPARE(viewer.DisplayPicture(), expected);
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, viewer.SourcePicture()));
}

void TestPageViewer::setScaleOneGivesTheSourcePixelForPixel()
{
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(37, 23));
    viewer.SetScale(3.3);
    QCOMPARE(viewer.WorkingSize(), QSize(122, 76)); // 122.1 and 75.9 rounded
    QCOMPARE(viewer.WorkingScale(), 3.3);
    viewer.SetScale(1.0);
    QImage working(viewer.WorkingSize(), QImage::Format_RGB32);
    viewer.Working().Draw(working, working.rect(), Rect64 {0, 0, 37, 23});
    QCOMPARE(working, viewer.SourcePicture());
}

void TestPageViewer::workingScaleBounds_data()
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
void TestPageViewer::workingScaleBounds()
{
    QFETCH(QSize, picture);
    QFETCH(double, x);
    QFETCH(bool, accepted);
    PageViewer viewer;
    show(viewer, QSize(439, 162), picture);
    const QImage before = viewer.GlassPicture().copy();
    viewer.PreviewScale(x);
    QCOMPARE(viewer.ApplyPendingScale(), accepted);
    if (accepted) {
        QCOMPARE(viewer.WorkingScale(), 1 / x);
        QCOMPARE(viewer.WorkingSize(),
                 QSize(int(std::nearbyint(picture.width() / x)),
                       int(std::nearbyint(picture.height() / x))));
    } else {
        QCOMPARE(viewer.WorkingScale(), 1.0);
        QCOMPARE(viewer.WorkingSize(), picture);
        QCOMPARE(viewer.GlassPicture(), before);
    }
}

void TestPageViewer::invalidScaleArguments()
{
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(100, 50));
    for (const double scale : {0.0, -1.0, std::nan(""), HUGE_VAL})
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, viewer.SetScale(scale));
    for (const double x : {0.0, -0.5, std::nan(""), HUGE_VAL})
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, viewer.PreviewScale(x));
    QCOMPARE(viewer.WorkingSize(), QSize(100, 50));
    QCOMPARE(viewer.PendingInverse(), 1.0);
}

void TestPageViewer::refitOnResize()
{
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(1000, 800));
    viewer.SetContrast(35);
    viewer.SetScale(2.0);
    viewer.Image_mg->move(60, 30);
    viewer.resize(879, 602);
    QCOMPARE(viewer.Image1->size(), QSize(839, 562));
    QCOMPARE(viewer.DisplayPicture().size(), QSize(839, 562));
    QCOMPARE(viewer.ShownRect(), (Rect64 {68, 0, 770, 562})); // 702.5 and 68.5 rounded to even
    QCOMPARE(viewer.Image_mg->pos(), QPoint(60, 30));
    QCOMPARE(viewer.Contrast(), 35);
    QCOMPARE(viewer.WorkingScale(), 2.0);
    const QImage working = materialise(viewer.SourcePicture(), viewer.WorkingSize());
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, working));
}

void TestPageViewer::marginColour_data()
{
    QTest::addColumn<QRgb>("background");
    QTest::addColumn<int>("contrast");
    QTest::addColumn<int>("lightness");
    QTest::addColumn<QRgb>("margin");
    const QRgb white = qRgb(255, 255, 255);
    const QRgb black = qRgb(0, 0, 0);
    QTest::newRow("white, no adjustment") << white << 0 << 0 << white;
    QTest::newRow("white, contrast down greys it")
        << white << -35 << 0 << ChannelTable(-35, 0).Map(white);
    QTest::newRow("black, brightness up") << black << 0 << 35 << black;
    QTest::newRow("black, contrast down") << black << -35 << 0 << black;
    QTest::newRow("black, both up") << black << 35 << 35 << black;
}

// The white page's margins take the display's adjustments; the black around a picture in
// full screen stays black whatever they are.
void TestPageViewer::marginColour()
{
    QFETCH(QRgb, background);
    QFETCH(int, contrast);
    QFETCH(int, lightness);
    QFETCH(QRgb, margin);
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(200, 100));
    viewer.SetBackground(background);
    viewer.SetContrast(contrast);
    viewer.SetLightness(lightness);
    QCOMPARE(viewer.DisplayPicture().pixel(0, 0), margin);
    QCOMPARE(viewer.DisplayPicture().pixel(438, 161), margin);
}

// A pending step's preview stays in the glass when the pane is resized, fitted to the new
// pane, as long as the step stays pending.
void TestPageViewer::previewSurvivesResize()
{
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(1000, 800));
    viewer.Image_mg->move(60, 30);
    viewer.PreviewScale(0.5);
    viewer.resize(879, 602);
    QCOMPARE(viewer.PendingInverse(), 2.0);
    const QImage afterResize = viewer.GlassPicture();
    viewer.PreviewScale(0.5);
    QCOMPARE(afterResize, viewer.GlassPicture());
    viewer.UpdateGlass();
    QVERIFY(afterResize != viewer.GlassPicture());
}

void TestPageViewer::failedLoadAfterSuccess()
{
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(200, 100));
    viewer.SetScale(2.0);
    QVERIFY(!viewer.LoadPicture(dir.filePath("missing.bmp").toStdString()));
    QCOMPARE(viewer.WorkingScale(), 1.0);
    QCOMPARE(viewer.SourcePicture(), pattern(200, 100));
    QVERIFY(viewer.ClearPicture());
    QImage white(100, 100, QImage::Format_RGB32);
    white.fill(Qt::white);
    QCOMPARE(viewer.SourcePicture(), white);
    QVERIFY(viewer.Image_mg->isVisible());
    QImage allWhite(439, 162, QImage::Format_RGB32);
    allWhite.fill(Qt::white);
    QCOMPARE(viewer.DisplayPicture(), allWhite);
    // The memory of the pictures before is reused for the next one.
    QVERIFY(viewer.LoadPicture(write(QSize(200, 100)).toStdString()));
    QCOMPARE(viewer.SourcePicture(), pattern(200, 100));
}

void TestPageViewer::smallPictureGivesTheLargeMemoryBack()
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
    PageViewer viewer;
    show(viewer, QSize(300, 200), QSize(64, 64));
    QVERIFY(viewer.LoadPicture(large.toStdString()));
    viewer.WaitForPicture();
    const qint64 showingLarge = residentKb();
    QVERIFY(viewer.LoadPicture(write(QSize(64, 64)).toStdString()));
    // The 16 MB picture's memory, and any kept for the next one, is given back.
    QVERIFY2(residentKb() < showingLarge - 12000,
             qPrintable(QString("%1 kB then %2 kB").arg(showingLarge).arg(residentKb())));
}

// A large JPEG is shown from a reduced decode first, the glass showing nothing of it; once its
// full picture is in, the display, the glass and the sizes are exactly those of a load of the
// full picture.
void TestPageViewer::reducedFirstThenTheFullPicture()
{
    const QString file = writeJpeg(QSize(3600, 2400), "reduced.jpg");
    const QImage full = LoadImageFile(file.toStdString());
    PageViewer viewer;
    viewer.SetExactPixels(true);
    show(viewer, QSize(439, 162), QSize(50, 50));
    viewer.SetContrast(35);
    QVERIFY(viewer.LoadPicture(file.toStdString()));
    QVERIFY(!viewer.PictureComplete());
    QCOMPARE(viewer.SourceSize(), QSize(3600, 2400));
    QCOMPARE(viewer.ShownRect(), (Rect64 {98, 0, 341, 162}));
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, QImage()));
    viewer.SetContrast(0);
    viewer.WaitForPicture();
    QVERIFY(viewer.PictureComplete());
    QCOMPARE(viewer.SourcePicture(), full);
    QCOMPARE(viewer.DisplayPicture(), displayOf(viewer, full));
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, full));
}

void TestPageViewer::lastPictureAskedForWins_data()
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
void TestPageViewer::lastPictureAskedForWins()
{
    QFETCH(QString, second);
    QFETCH(bool, shown);
    const QString first = writeJpeg(QSize(3600, 2400), "first.jpg");
    PageViewer viewer;
    viewer.SetExactPixels(true);
    show(viewer, QSize(439, 162), QSize(50, 50));
    QVERIFY(viewer.LoadPicture(first.toStdString()));
    QCOMPARE(viewer.LoadPicture(second.toStdString()), shown);
    viewer.WaitForBackgroundWork();
    // Every notice of the worker is delivered.
    QCoreApplication::processEvents();
    const QImage expected = LoadImageFile((shown ? second : first).toStdString());
    QVERIFY(viewer.PictureComplete());
    QCOMPARE(viewer.SourcePicture(), expected);
    QCOMPARE(viewer.DisplayPicture(), displayOf(viewer, expected));
}

void TestPageViewer::brightnessAndContrastStayOutOfTheGlass()
{
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(200, 100));
    viewer.Image_mg->move(100, 20);
    viewer.UpdateGlass();
    const QImage working = materialise(viewer.SourcePicture(), viewer.WorkingSize());

    viewer.SetContrast(-35);
    QCOMPARE(viewer.DisplayPicture().pixel(0, 0), qRgb(238, 238, 238)); // the margin greys
    QImage adjusted = viewer.SourcePicture().copy();
    AdjustContrast(adjusted, -35);
    QCOMPARE(viewer.DisplayPicture().copy(120, 31, 200, 100).convertToFormat(QImage::Format_RGB32),
             adjusted.convertToFormat(QImage::Format_RGB32));
    // The disc keeps the working picture; the corners show the adjusted display at once.
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, working));

    viewer.SetContrast(0);
    viewer.SetLightness(-35);
    QCOMPARE(viewer.DisplayPicture().pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(viewer.GlassPicture(), expectedGlass(viewer, working));

    // A pending step's preview survives a brightness change.
    viewer.PreviewScale(0.5);
    const QImage preview = viewer.GlassPicture().copy();
    viewer.SetLightness(-70);
    const int middle = viewer.GlassDiameter() / 2;
    QCOMPARE(viewer.GlassPicture().copy(middle - 10, middle - 10, 20, 20),
             preview.copy(middle - 10, middle - 10, 20, 20));

    // The next redraw after a new scale still shows the picture at its own size: the
    // working scale is the glass's.
    viewer.SetScale(0.37);
    viewer.SetLightness(0);
    QImage expected(439, 162, QImage::Format_RGB32);
    expected.fill(Qt::white);
    StretchDraw(expected, QRect(120, 31, 200, 100), viewer.SourcePicture(), QRect(0, 0, 200, 100));
    QCOMPARE(viewer.DisplayPicture(), expected);
}

void TestPageViewer::smoothDisplay_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("contrast");
    QTest::addColumn<int>("lightness");
    QTest::addColumn<QString>("ahead");
    QTest::addColumn<double>("scale");
    QImage lines(2195, 810, QImage::Format_RGB32);
    for (int y = 0; y < lines.height(); ++y)
        for (int x = 0; x < lines.width(); ++x)
            lines.setPixel(x, y, x % 5 == 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const QString linesFile = dir.filePath("lines.bmp");
    QVERIFY(lines.save(linesFile));
    QTest::newRow("lines every 5, reduced by 5") << linesFile << 0 << 0 << QString() << 1.0;
    QTest::newRow("own size") << write(QSize(200, 100)) << 0 << 0 << QString() << 1.0;
    QTest::newRow("reduced by 2.3") << write(QSize(1000, 800)) << 0 << 0 << QString() << 1.0;
    QTest::newRow("reduced, contrast and lightness")
        << write(QSize(1000, 800)) << 35 << -21 << QString() << 1.0;
    // Decoded ahead, the average comes made for the pane: it must be the one the display
    // would make, and not serve a pane that changed since.
    QTest::newRow("decoded ahead") << write(QSize(1000, 800)) << 35 << -21 << "ahead" << 1.0;
    QTest::newRow("decoded ahead, pane changed since")
        << write(QSize(1000, 800)) << 0 << 0 << "ahead, resized" << 1.0;
    QTest::newRow("decoded ahead at own size")
        << write(QSize(200, 100)) << 0 << 0 << "ahead" << 1.0;
    // A magnified working picture (a step applied) changes the glass, never the display
    // drawn again after it: a picture that fits stays pixel for pixel, not averaged.
    QTest::newRow("own size, a step up applied")
        << write(QSize(200, 100)) << 0 << 0 << QString() << 1 / 0.9;
    QTest::newRow("own size, magnified twice")
        << write(QSize(200, 100)) << 7 << 0 << QString() << 2.0;
    QTest::newRow("reduced, a step up applied")
        << write(QSize(1000, 800)) << 0 << 0 << QString() << 1 / 0.9;
}

// A reduced display is the area average of the picture (a line every 5 pixels reduced by 5
// becomes an even grey, no line lost), a picture at its own size is copied pixel for pixel,
// and brightness and contrast apply to the average as to the plain stretch.
void TestPageViewer::smoothDisplay()
{
    QFETCH(QString, file);
    QFETCH(int, contrast);
    QFETCH(int, lightness);
    QFETCH(QString, ahead);
    QFETCH(double, scale);
    PageViewer viewer;
    viewer.resize(QSize(439, 162) + QSize(2, 2) * PageViewer::BorderWidth);
    viewer.show();
    if (!ahead.isEmpty()) {
        viewer.DecodeAhead({file.toStdString()});
        viewer.WaitForBackgroundWork();
        if (ahead.contains("resized"))
            viewer.resize(QSize(300, 200) + QSize(2, 2) * PageViewer::BorderWidth);
    }
    viewer.SetContrast(contrast);
    viewer.SetLightness(lightness);
    QVERIFY(viewer.LoadPicture(file.toStdString()));
    if (scale != 1.0) {
        viewer.SetScale(scale);
        viewer.RedrawPicture();
    }
    const QImage& source = viewer.SourcePicture();
    const Rect64 r = viewer.ShownRect();
    const QRect shown(int(r.left), int(r.top), int(r.width()), int(r.height()));
    QImage expected(viewer.Image1->size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    AveragePixels(
        expected, shown.topLeft(), source,
        AreaSpansFor(0, shown.width(), shown.width(), source.width(), source.width()),
        AreaSpansFor(0, shown.height(), shown.height(), source.height(), source.height()));
    if (shown.size() == source.size())
        QCOMPARE(expected.copy(shown), source);
    if (source.width() == 5 * shown.width()) {
        QImage grey(shown.size(), QImage::Format_RGB32);
        grey.fill(qRgb(204, 204, 204));
        QCOMPARE(expected.copy(shown), grey);
    }
    AdjustContrast(expected, contrast);
    AdjustLightness(expected, lightness);
    QCOMPARE(viewer.DisplayPicture(), expected.convertToFormat(QImage::Format_RGB32));
    // Exact pixels give the plain stretch back.
    viewer.SetExactPixels(true);
    QImage plain(viewer.Image1->size(), QImage::Format_RGB32);
    plain.fill(Qt::white);
    StretchDraw(plain, shown, source, source.rect());
    AdjustContrast(plain, contrast);
    AdjustLightness(plain, lightness);
    QCOMPARE(viewer.DisplayPicture(), plain.convertToFormat(QImage::Format_RGB32));
}

// The first display of a large JPEG, averaged from its reduced decode, stays when the full
// picture arrives, and is what an average of the full picture gives, within a level or two.
void TestPageViewer::reducedFirstStaysSmooth()
{
    const QString file = writeJpeg(QSize(3600, 2400), "reduced.jpg");
    PageViewer viewer;
    show(viewer, QSize(439, 162), QSize(50, 50));
    QVERIFY(viewer.LoadPicture(file.toStdString()));
    QVERIFY(!viewer.PictureComplete());
    const QImage first = viewer.DisplayPicture().copy();
    viewer.WaitForPicture();
    QVERIFY(viewer.PictureComplete());
    QCOMPARE(viewer.DisplayPicture(), first);
    // Drawn again from the full picture.
    viewer.SetExactPixels(true);
    viewer.SetExactPixels(false);
    const QImage full = viewer.DisplayPicture();
    QVERIFY(full != first);
    qint64 difference = 0;
    for (int y = 0; y < full.height(); ++y)
        for (int x = 0; x < full.width(); ++x) {
            const QRgb a = full.pixel(x, y);
            const QRgb b = first.pixel(x, y);
            difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
                + std::abs(qBlue(a) - qBlue(b));
        }
    const double mean = double(difference) / (3.0 * full.width() * full.height());
    QVERIFY2(mean < 2, qPrintable(QString("mean difference %1").arg(mean)));
}

QTEST_MAIN(TestPageViewer)
#include "tst_page_viewer.moc"
