// The magnification step arithmetic, without a window.
#include "shell/scale_step.h"

#include <QtTest>

class TestScaleStep : public QObject
{
    Q_OBJECT

private slots:
    void scaleStepLimits();
};

void TestScaleStep::scaleStepLimits()
{
    double x = 1.0;
    for (int i = 0; i < 9; ++i)
        x = NextStepFactor(x, -1);
    QVERIFY(x > 0.1 && x < 0.1 + 1e-9);
    x = NextStepFactor(x, -1);
    QCOMPARE(x, 0.1);
    for (int i = 0; i < 40; ++i)
        x = NextStepFactor(x, +1);
    QCOMPARE(x, 3.0);
    QVERIFY(qFuzzyCompare(NextStepFactor(1.0, -1), 0.9));
}

QTEST_APPLESS_MAIN(TestScaleStep)
#include "tst_scale_step.moc"
