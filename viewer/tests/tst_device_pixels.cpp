// On a screen of more than one device pixel per logical pixel the pane shows the picture in
// device pixels: a picture as large as the pane's device pixels is shown unreduced, and the
// glass shows one working pixel in one device pixel.
//
// The scale factor is fixed when the application starts, so the ratio of 2 runs here and the
// ratio of 1.5 runs in a second process of this executable.
#include "viewer/page_viewer.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Neighbouring pixels differ everywhere, so a pixel drawn twice as large shows as a pair.
QImage checkerboard(int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

// The device pixels of the widget's rectangle in the viewer's rendering.
QImage devicePixels(const QImage& rendering, const QWidget* widget, qreal ratio)
{
    const QPoint at = widget->mapTo(widget->window(), QPoint(0, 0));
    return rendering.copy(qRound(at.x() * ratio), qRound(at.y() * ratio),
                          qRound(widget->width() * ratio), qRound(widget->height() * ratio));
}

// Runs the test function (and row) Name in a process of its own at the pixel ratio Ratio,
// which is fixed when the application starts; true when it passes.
bool passesAtRatio(double ratio, const QString& name)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_SCALE_FACTOR", QString::number(ratio));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QCoreApplication::applicationFilePath(), {name});
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

} // namespace

class TestDevicePixels : public QObject
{
    Q_OBJECT

private slots:
    void checkerboardShowsDevicePixels();
    void otherRatio();
    void glassLiesOnTheDisplay_data();
    void glassLiesOnTheDisplay();
};

void TestDevicePixels::checkerboardShowsDevicePixels()
{
    const qreal ratio = qApp->devicePixelRatio();
    QVERIFY(ratio > 1);
    QTemporaryDir dir;
    const int pane = 200;
    const int side = qRound(pane * ratio);
    const QString file = dir.filePath("board.bmp");
    QVERIFY(checkerboard(side).save(file));

    PageViewer viewer;
    viewer.resize(pane + 2 * PageViewer::BorderWidth, pane + 2 * PageViewer::BorderWidth);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QVERIFY(viewer.LoadPicture(file.toStdString()));
    viewer.CenterGlassAt(101, 100);

    // The fit rule sees the pane's device pixels: the picture fits them and is not reduced.
    QCOMPARE(viewer.ShownSize(), side);
    QCOMPARE(viewer.DisplayPicture().size(), QSize(side, side));
    const int d = viewer.GlassDiameter();
    QCOMPARE(viewer.GlassPicture().size(), QSize(qRound(d * ratio), qRound(d * ratio)));

    for (const double scale : {1.0, 2.0}) {
        viewer.SetScale(scale);
        const QImage rendering = viewer.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(rendering.devicePixelRatio(), ratio);
        // The display: every device pixel of the picture differs from its right and lower
        // neighbours, outside the glass's square.
        const QImage shown = devicePixels(rendering, viewer.Image1, ratio);
        const QRect glassSquare(qRound((viewer.Image_mg->x() - PageViewer::BorderWidth) * ratio),
                                qRound((viewer.Image_mg->y() - PageViewer::BorderWidth) * ratio),
                                qRound(d * ratio), qRound(d * ratio));
        for (int y = 0; y + 1 < side; ++y)
            for (int x = 0; x + 1 < side; ++x)
                if (!glassSquare.adjusted(-1, -1, 0, 0).contains(x, y)
                    && (shown.pixel(x, y) == shown.pixel(x + 1, y)
                        || shown.pixel(x, y) == shown.pixel(x, y + 1)))
                    QFAIL(qPrintable(QString("display at scale %1: device pixel %2,%3 repeats")
                                         .arg(scale)
                                         .arg(x)
                                         .arg(y)));
        // The glass: its disc shows the working picture of its source square one pixel in
        // one device pixel, at scale 1 a checkerboard again.
        const QImage glass = devicePixels(rendering, viewer.Image_mg, ratio);
        const Rect64 source = viewer.GlassSourceRect();
        const std::vector<GlassRow> disc = GlassDisc(viewer.GlassPicture().width());
        int checked = 0;
        const QPoint beneath = (viewer.Image_mg->pos() - viewer.Image1->pos()) * ratio;
        for (int y = 0; y < glass.height(); ++y) {
            const GlassRow& row = disc[std::size_t(y)];
            // Beyond the disc the glass shows the display picture beneath it.
            for (int x = 0; x < row.discBegin; ++x)
                if (glass.pixel(x, y) != viewer.DisplayPicture().pixel(beneath + QPoint(x, y)))
                    QFAIL(qPrintable(QString("glass corner at scale %1: device pixel %2,%3 wrong")
                                         .arg(scale)
                                         .arg(x)
                                         .arg(y)));
            for (int x = row.innerBegin; x < row.innerEnd; ++x) {
                const qint64 sx = (source.left + x) / qint64(scale);
                const qint64 sy = (source.top + y) / qint64(scale);
                const QRgb expected = (sx + sy) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
                if (glass.pixel(x, y) != expected)
                    QFAIL(qPrintable(QString("glass at scale %1: device pixel %2,%3 wrong")
                                         .arg(scale)
                                         .arg(x)
                                         .arg(y)));
                ++checked;
            }
        }
        QVERIFY(checked > d * d);
    }
}

void TestDevicePixels::otherRatio()
{
    if (qApp->devicePixelRatio() != 2)
        QSKIP("run from the ratio of 2");
    QVERIFY(passesAtRatio(1.5, "checkerboardShowsDevicePixels"));
}

void TestDevicePixels::glassLiesOnTheDisplay_data()
{
    QTest::addColumn<double>("ratio");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QPoint>("glass");
    for (const double ratio : {1.25, 1.5, 1.75, 2.0})
        for (const int offset : {0, 1, 3})
            for (const QPoint glass : {QPoint(60, 41), QPoint(61, 40), QPoint(75, 75)})
                QTest::addRow("ratio %g, pane at %d, glass at %d,%d", ratio, offset, glass.x(),
                              glass.y())
                    << ratio << offset << glass;
}

// A picture at its own size under a glass at magnification 1: the glass shows exactly what
// lies beneath it on the screen, in its disc as around it, wherever the pane lies in its
// window and whatever device pixel its position falls on.
void TestDevicePixels::glassLiesOnTheDisplay()
{
    QFETCH(double, ratio);
    QFETCH(int, offset);
    QFETCH(QPoint, glass);
    if (qApp->devicePixelRatio() != ratio) {
        QVERIFY(passesAtRatio(ratio, QString("glassLiesOnTheDisplay:") + QTest::currentDataTag()));
        return;
    }
    QTemporaryDir dir;
    // Every pixel of its own colour.
    QImage picture(180, 150, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x, y, (x * 7 + y * 13) & 255));
    const QString file = dir.filePath("unique.bmp");
    QVERIFY(picture.save(file));

    QWidget window;
    window.resize(300, 260);
    PageViewer viewer(&window);
    viewer.setGeometry(offset, offset, 240, 220);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(viewer.LoadPicture(file.toStdString()));
    QCOMPARE(viewer.ShownRatio(), 1.0);
    viewer.Image_mg->move(glass);
    viewer.UpdateGlass();

    const QImage seen = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    viewer.Image_mg->hide();
    const QImage beneath = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(seen.size(), beneath.size());
    int differing = 0;
    for (int y = 0; y < seen.height(); ++y)
        for (int x = 0; x < seen.width(); ++x)
            differing += seen.pixel(x, y) != beneath.pixel(x, y);
    QCOMPARE(differing, 0);
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestDevicePixels test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_device_pixels.moc"
