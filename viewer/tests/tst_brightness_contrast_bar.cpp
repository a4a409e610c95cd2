#include "viewer/brightness_contrast_bar.h"

#include <QGroupBox>
#include <QLabel>
#include <QTest>

#include <vector>

class TestBrightnessContrastBar : public QObject
{
    Q_OBJECT

private:
    struct Strip
    {
        QLabel* image;
        QWidget* marker;
    };

    static Strip brightness(BrightnessContrastBar& frame) { return {frame.Image1, frame.Shape_br}; }
    static Strip contrast(BrightnessContrastBar& frame) { return {frame.Image2, frame.Shape_cn}; }

    // A shown frame whose strips are stripWidth pixels wide, with both events recorded.
    static void showFrame(BrightnessContrastBar& frame, int stripWidth,
                          std::vector<int>& brightnessEvents, std::vector<int>& contrastEvents)
    {
        frame.resize(stripWidth + 70, 92);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.Image1->width(), stripWidth);
        frame.OnBrightnessChange = [&](int value) {
            brightnessEvents.push_back(value);
        };
        frame.OnContrastChange = [&](int value) {
            contrastEvents.push_back(value);
        };
    }

    static int offset(const Strip& strip) { return strip.marker->x() - strip.image->x(); }

    static bool inside(const Strip& strip)
    {
        return strip.marker->x() >= strip.image->x()
            && strip.marker->x() + strip.marker->width() <= strip.image->x() + strip.image->width();
    }

    // Grabs the marker at its centre, moves it by each of moves in turn and lets it go.
    static void drag(const Strip& strip, const std::vector<int>& moves)
    {
        const QPoint grab(7, 7);
        QTest::mousePress(strip.marker, Qt::LeftButton, {}, grab);
        for (const int dx : moves)
            QTest::mouseMove(strip.marker, grab + QPoint(dx, 3));
        QTest::mouseRelease(strip.marker, Qt::LeftButton, {}, grab);
    }

    static void click(QLabel* label)
    {
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
    }

private slots:
    void markerGrid_data()
    {
        QTest::addColumn<int>("stripWidth");
        QTest::addColumn<int>("step");
        QTest::newRow("main window, 116") << 116 << 10;
        QTest::newRow("design, 245") << 245 << 22;
    }

    void markerGrid()
    {
        QFETCH(int, stripWidth);
        QFETCH(int, step);
        BrightnessContrastBar frame;
        std::vector<int> brightnessEvents, contrastEvents;
        showFrame(frame, stripWidth, brightnessEvents, contrastEvents);
        QCOMPARE(frame.Image2->width(), stripWidth);
        for (int value = -5; value <= 5; ++value) {
            frame.SetBrightnessPosition(value);
            frame.SetContrastPosition(-value);
            QCOMPARE(offset(brightness(frame)), (value + 5) * step);
            QCOMPARE(offset(contrast(frame)), (5 - value) * step);
            QCOMPARE(frame.SnapBrightness(), value);
            QCOMPARE(frame.SnapContrast(), -value);
            QVERIFY(inside(brightness(frame)));
        }
        QVERIFY(brightnessEvents.empty());
        QVERIFY(contrastEvents.empty());
    }

    // The design widths, and widths where a plain grid would read +6 at the right end
    // (120, 251), read +1 after a reset, creep along at every snap or never reach -5 (95, 60, 30).
    void dragsAndResetsAtEveryWidth_data()
    {
        QTest::addColumn<int>("stripWidth");
        for (const int width : {116, 245, 120, 251, 95, 60, 30})
            QTest::addRow("%d", width) << width;
    }

    void dragsAndResetsAtEveryWidth()
    {
        QFETCH(int, stripWidth);
        BrightnessContrastBar frame;
        std::vector<int> brightnessEvents, contrastEvents;
        showFrame(frame, stripWidth, brightnessEvents, contrastEvents);
        const int step = std::max(1, stripWidth / 11);

        drag(brightness(frame), {4, 40, 400, 4000});
        QCOMPARE(brightnessEvents, std::vector<int>({5}));
        QVERIFY(inside(brightness(frame)));
        drag(contrast(frame), {-3, -30, -300, -3000});
        QCOMPARE(contrastEvents, std::vector<int>({-5}));
        QCOMPARE(offset(contrast(frame)), 0);

        // The values the markers stand for do not change by being snapped again.
        QCOMPARE(frame.SnapBrightness(), 5);
        QCOMPARE(frame.SnapBrightness(), 5);
        QCOMPARE(frame.SnapContrast(), -5);

        // Each caption resets its own value only.
        click(frame.Label1);
        QCOMPARE(brightnessEvents, std::vector<int>({5, 0}));
        QCOMPARE(contrastEvents, std::vector<int>({-5}));
        QCOMPARE(offset(brightness(frame)), 5 * step);
        QCOMPARE(offset(contrast(frame)), 0);
        click(frame.Label2);
        QCOMPARE(brightnessEvents, std::vector<int>({5, 0}));
        QCOMPARE(contrastEvents, std::vector<int>({-5, 0}));
        QCOMPARE(frame.SnapBrightness(), 0);
        QCOMPARE(frame.SnapContrast(), 0);
    }

    void movesSnapAndReportOnlyOnRelease()
    {
        BrightnessContrastBar frame;
        std::vector<int> brightnessEvents, contrastEvents;
        showFrame(frame, 116, brightnessEvents, contrastEvents);
        const Strip strip = brightness(frame);
        const QPoint grab(7, 7);
        QTest::mousePress(strip.marker, Qt::LeftButton, {}, grab);
        QTest::mouseMove(strip.marker, grab + QPoint(2, 0));
        QCOMPARE(offset(strip), 50); // two pixels stay within the step
        QTest::mouseMove(strip.marker, grab + QPoint(6, 20));
        QCOMPARE(offset(strip), 60); // the centre entered the next step
        QTest::mouseMove(strip.marker, grab + QPoint(-25, 0));
        QCOMPARE(offset(strip), 40);
        QVERIFY(brightnessEvents.empty());
        QTest::mouseRelease(strip.marker, Qt::LeftButton, {}, grab);
        QCOMPARE(brightnessEvents, std::vector<int>({-1}));

        // Once let go, the marker no longer follows the mouse.
        QTest::mouseMove(strip.marker, grab + QPoint(40, 0));
        QCOMPARE(offset(strip), 40);
        QVERIFY(contrastEvents.empty());
    }

    void pressAndReleaseReportTheUnchangedValue()
    {
        BrightnessContrastBar frame;
        std::vector<int> brightnessEvents, contrastEvents;
        showFrame(frame, 245, brightnessEvents, contrastEvents);
        frame.SetBrightnessPosition(3);
        frame.SetContrastPosition(-2);
        drag(brightness(frame), {});
        QTest::mouseClick(frame.Shape_cn, Qt::RightButton);
        QCOMPARE(brightnessEvents, std::vector<int>({3}));
        QCOMPARE(contrastEvents, std::vector<int>({-2}));
        QCOMPARE(offset(brightness(frame)), 8 * 22);
    }

    // A new size moves the markers to their values' places on the new grid and reports
    // nothing: brightness and contrast stay in force, also through a moment in which the
    // layout squeezes the strips narrower than a marker.
    void resizeKeepsBoth()
    {
        BrightnessContrastBar frame;
        std::vector<int> brightnessEvents, contrastEvents;
        showFrame(frame, 116, brightnessEvents, contrastEvents);
        frame.SetBrightnessPosition(5);
        frame.SetContrastPosition(-2);
        frame.resize(75, 92);
        frame.resize(315, 92);
        QVERIFY(brightnessEvents.empty());
        QVERIFY(contrastEvents.empty());
        QCOMPARE(frame.Image1->width(), 245);
        QCOMPARE(frame.SnapBrightness(), 5);
        QCOMPARE(frame.SnapContrast(), -2);
        QCOMPARE(offset(contrast(frame)), 3 * 22);
    }

    // A quick second press reaches the marker as a double click; it grabs like a press.
    void secondQuickPressGrabs()
    {
        BrightnessContrastBar frame;
        std::vector<int> brightnessEvents, contrastEvents;
        showFrame(frame, 245, brightnessEvents, contrastEvents);
        const Strip strip = brightness(frame);
        const QPoint grab(7, 7);
        drag(strip, {22});
        QTest::mouseEvent(QTest::MouseDClick, strip.marker, Qt::LeftButton, {}, grab);
        QTest::mouseMove(strip.marker, grab + QPoint(22, 0));
        QTest::mouseRelease(strip.marker, Qt::LeftButton, {}, grab);
        QCOMPARE(brightnessEvents, std::vector<int>({1, 2}));
    }

    void worksWithNoEventSet()
    {
        BrightnessContrastBar frame;
        frame.resize(186, 92);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        drag(brightness(frame), {1000});
        QCOMPARE(offset(brightness(frame)), 100);
        drag(contrast(frame), {-1000});
        QCOMPARE(frame.SnapContrast(), -5);
        click(frame.Label1);
        QCOMPARE(offset(brightness(frame)), 50);
        frame.resize(315, 92);
        QCOMPARE(offset(contrast(frame)), 0);
        frame.ResetBrightness();
        QCOMPARE(frame.SnapBrightness(), 0);
    }

    void stripShowsTheGradient()
    {
        BrightnessContrastBar frame;
        frame.resize(186, 92);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const QImage strip = frame.Image1->pixmap().toImage();
        QCOMPARE(strip.size(), QSize(116, 8));
        QCOMPARE(QColor(strip.pixel(0, 4)), QColor(Qt::black));
        QCOMPARE(QColor(strip.pixel(115, 0)), QColor(Qt::black));
        QCOMPARE(QColor(strip.pixel(1, 6)), QColor(0, 0, 128));
        QCOMPARE(QColor(strip.pixel(114, 1)), QColor(246, 246, 250));
        QCOMPARE(frame.GroupBox1->title(), QStringLiteral("Display:"));
    }
};

QTEST_MAIN(TestBrightnessContrastBar)
#include "tst_brightness_contrast_bar.moc"
