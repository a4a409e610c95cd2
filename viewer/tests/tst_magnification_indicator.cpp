#include "viewer/magnification_indicator.h"

#include "viewer/shape_bar.h"

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

class TestMagnificationIndicator : public QObject
{
    Q_OBJECT

private slots:
    void startsFullAndAtHundred();
    void barsAndPercentage_data();
    void barsAndPercentage();
    void pendingHatchesTheBarsAndEnablesApply();
    void buttonsReportThemselves();
    void heldArrowRepeats();
};

void TestMagnificationIndicator::startsFullAndAtHundred()
{
    MagnificationIndicator indicator;
    for (const ShapeBar* bar :
         {indicator.Shape_original, indicator.Shape_shown, indicator.Shape_mg}) {
        QCOMPARE(bar->width(), 140);
        QCOMPARE(bar->BrushStyle(), Qt::SolidPattern);
    }
    QCOMPARE(indicator.Label_absolute->text(), QString("100%"));
    QVERIFY(!indicator.SpeedButton2->isEnabled());
    QVERIFY(indicator.SpeedButton1->isEnabled());
    QCOMPARE(indicator.findChild<QLabel*>("Label3")->text(), QString("Real image size:"));
    QCOMPARE(indicator.findChild<QToolButton*>("SpeedButton2")->text(), QString("Apply"));
    // The captions are narrow and plain; the percentage is in the box's bold face.
    const QFont caption = indicator.Label3->font();
    QVERIFY(!caption.bold());
    QCOMPARE(caption.pixelSize(), 11);
    const QFont percent = indicator.Label_absolute->font();
    QVERIFY(percent.bold());
    QCOMPARE(percent.family(), indicator.GroupBox1->font().family());
    QCOMPARE(percent.pixelSize(), 11);

    // The first caption's letters stand clear of the box's frame line: between the line (the
    // first row drawn across the box beside the captions, below the title) and the letters
    // lies a row or more.
    const QImage drawn = indicator.GroupBox1->grab().toImage();
    const QRect first = indicator.Label3->geometry().translated(
        indicator.Label3->parentWidget()->mapTo(indicator.GroupBox1, QPoint()));
    const int beside = 140;
    int frameLine = 0;
    while (frameLine < first.bottom() && drawn.pixel(beside, frameLine) == drawn.pixel(beside, 0))
        ++frameLine;
    const auto ink = [&](int y) {
        for (int x = first.left(); x <= first.right(); ++x) {
            if (qGray(drawn.pixel(x, y)) < 128)
                return true;
        }
        return false;
    };
    int letters = first.top();
    while (letters < first.bottom() && !ink(letters))
        ++letters;
    QVERIFY2(letters > frameLine + 1,
             qPrintable(QString("line %1, letters %2").arg(frameLine).arg(letters)));
}

void TestMagnificationIndicator::barsAndPercentage_data()
{
    QTest::addColumn<int>("real");
    QTest::addColumn<int>("magnifier");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("originalBar");
    QTest::addColumn<int>("mgBar");
    QTest::addColumn<int>("shownBar");
    QTest::addColumn<QString>("label");
    // 28.28 rounds to 28, and 140 / 28 is exactly 500%, not 495%.
    QTest::newRow("1000x800 shown at 202") << 1000 << 1000 << 202 << 140 << 140 << 28 << "500%";
    QTest::newRow("fitting picture") << 200 << 200 << 200 << 140 << 140 << 140 << "100%";
    QTest::newRow("applied 0.5 step") << 1000 << 2000 << 202 << 70 << 140 << 14 << "1000%";
    QTest::newRow("half size working picture") << 1000 << 500 << 202 << 140 << 70 << 28 << "250%";
    QTest::newRow("all zero") << 0 << 0 << 0 << 140 << 140 << 140 << "100%";
    // A shown picture under 1/280 of the largest size has no bar to divide by.
    QTest::newRow("a glass 100 times the view")
        << 1000 << 482320 << 1000 << 0 << 140 << 0 << "48232%";
    QTest::newRow("shown bar of 0") << 100000 << 100000 << 100 << 140 << 140 << 0 << "100000%";
    QTest::newRow("nothing shown") << 100 << 100 << 0 << 140 << 140 << 0 << "-";
}

void TestMagnificationIndicator::barsAndPercentage()
{
    QFETCH(int, real);
    QFETCH(int, magnifier);
    QFETCH(int, shown);
    QFETCH(int, originalBar);
    QFETCH(int, mgBar);
    QFETCH(int, shownBar);
    QFETCH(QString, label);
    MagnificationIndicator indicator;
    indicator.UpdateIndicator(real, magnifier, shown);
    QCOMPARE(indicator.Shape_original->width(), originalBar);
    QCOMPARE(indicator.Shape_mg->width(), mgBar);
    QCOMPARE(indicator.Shape_shown->width(), shownBar);
    QCOMPARE(indicator.Label_absolute->text(), label);
    // The whole percentage shows, however many digits it has.
    const QLabel* percent = indicator.Label_absolute;
    QVERIFY(percent->fontMetrics().horizontalAdvance(label) <= percent->contentsRect().width());
    QCOMPARE(indicator.Shape_original->geometry().topLeft(), QPoint(105, 14));
    QCOMPARE(indicator.Shape_shown->height(), 8);
}

void TestMagnificationIndicator::pendingHatchesTheBarsAndEnablesApply()
{
    MagnificationIndicator indicator;
    indicator.UpdateIndicator(1000, 1000, 202);
    indicator.SetPending(true);
    QVERIFY(indicator.Pending());
    for (const ShapeBar* bar :
         {indicator.Shape_original, indicator.Shape_shown, indicator.Shape_mg})
        QCOMPARE(bar->BrushStyle(), Qt::BDiagPattern);
    QVERIFY(indicator.SpeedButton2->isEnabled());
    QCOMPARE(indicator.Label_absolute->text(), QString("500%"));
    indicator.SetPending(false);
    for (const ShapeBar* bar :
         {indicator.Shape_original, indicator.Shape_shown, indicator.Shape_mg})
        QCOMPARE(bar->BrushStyle(), Qt::SolidPattern);
    QVERIFY(!indicator.SpeedButton2->isEnabled());
}

void TestMagnificationIndicator::buttonsReportThemselves()
{
    MagnificationIndicator indicator;
    indicator.show();
    QSignalSpy up(&indicator, &MagnificationIndicator::ScaleUpClick);
    QSignalSpy down(&indicator, &MagnificationIndicator::ScaleDnClick);
    QSignalSpy setDefault(&indicator, &MagnificationIndicator::SetDefaultClick);
    QSignalSpy apply(&indicator, &MagnificationIndicator::ApplyClick);
    QTest::mouseClick(indicator.SpinButton1Up, Qt::LeftButton);
    QTest::mouseClick(indicator.SpinButton1Down, Qt::LeftButton);
    QTest::mouseClick(indicator.SpinButton1Down, Qt::LeftButton);
    QTest::mouseClick(indicator.SpeedButton1, Qt::LeftButton);
    QTest::mouseClick(indicator.SpeedButton2, Qt::LeftButton); // disabled: nothing
    QCOMPARE(up.count(), 1);
    QCOMPARE(down.count(), 2);
    QCOMPARE(setDefault.count(), 1);
    QCOMPARE(apply.count(), 0);
    indicator.SetPending(true);
    QTest::mouseClick(indicator.SpeedButton2, Qt::LeftButton);
    QCOMPARE(apply.count(), 1);
}

void TestMagnificationIndicator::heldArrowRepeats()
{
    MagnificationIndicator indicator;
    indicator.show();
    QCOMPARE(indicator.SpinButton1Up->autoRepeatDelay(), 400);
    QCOMPARE(indicator.SpinButton1Up->autoRepeatInterval(), 100);
    QSignalSpy up(&indicator, &MagnificationIndicator::ScaleUpClick);
    QTest::mousePress(indicator.SpinButton1Up, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(up.count() >= 2, 2000);
    QTest::mouseRelease(indicator.SpinButton1Up, Qt::LeftButton);
}

QTEST_MAIN(TestMagnificationIndicator)
#include "tst_magnification_indicator.moc"
