#include "settings/settings_dialog.h"
#include "settings/tests/settings_fixture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <memory>

namespace fs = std::filesystem;

class TestMainBounds : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        file = freshSettingsFile(dir);
        QVERIFY(dir->isValid());
        window = FakeWindow();
    }

    void keepOnScreen_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<QRect>("placed");
        // The available areas: the primary 0,0 1920x1080 without a 40-pixel panel, a second
        // screen to its right.
        QTest::newRow("on the primary") << QRect(100, 50, 800, 600) << QRect(100, 50, 800, 600);
        QTest::newRow("on the second") << QRect(2000, 100, 800, 600) << QRect(2000, 100, 800, 600);
        QTest::newRow("partly on a screen")
            << QRect(-790, -590, 800, 600) << QRect(-790, -590, 800, 600);
        QTest::newRow("monitor gone") << QRect(4000, 100, 800, 600) << QRect(560, 220, 800, 600);
        QTest::newRow("negative") << QRect(-5000, -5000, 400, 300) << QRect(760, 370, 400, 300);
        QTest::newRow("too big and off") << QRect(-9000, 0, 5000, 3000) << QRect(0, 0, 1920, 1040);
        QTest::newRow("no size") << QRect(-9000, 0, 0, -10) << QRect(959, 519, 1, 1);
        QTest::newRow("larger than its screen")
            << QRect(100, 50, 100000, 100000) << QRect(100, 50, 1920, 1040);
        QTest::newRow("mostly on the second")
            << QRect(1800, 0, 1500, 1500) << QRect(1800, 0, 1280, 1024);
    }

    void keepOnScreen()
    {
        QFETCH(QRect, stored);
        QFETCH(QRect, placed);
        const QList<QRect> screens = {QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1024)};
        QCOMPARE(KeepOnScreen(stored, screens, QRect(0, 0, 1920, 1040)), placed);
    }

    // Each missing or invalid key leaves its own bound alone.
    void restoreAppliesTheValidBounds_data()
    {
        QTest::addColumn<QByteArray>("attributes");
        QTest::addColumn<QRect>("bounds");
        QTest::newRow("all four") << QByteArray(
            " TOP=\"30\" LEFT=\"40\" HEIGHT=\"250\" WIDTH=\"350\"")
                                  << QRect(40, 30, 350, 250);
        QTest::newRow("top invalid")
            << QByteArray(" TOP=\"abc\" LEFT=\"40\" HEIGHT=\"250\" WIDTH=\"350\"")
            << QRect(40, 20, 350, 250);
        QTest::newRow("none stored") << QByteArray() << QRect(10, 20, 300, 200);
        QTest::newRow("width only") << QByteArray(" WIDTH=\"120\"") << QRect(10, 20, 120, 200);
    }

    void restoreAppliesTheValidBounds()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(QRect, bounds);
        writeFile(file, settingsText(attributes.toStdString()));
        SettingsDialog settings(&history, &window, nullptr, file.string());
        settings.RestoreMainBounds();
        QCOMPARE(window.bounds, bounds);
    }

    void restoreCentresBoundsThatAreOffEveryScreen()
    {
        writeFile(file,
                  settingsText(" TOP=\"-20000\" LEFT=\"-20000\" HEIGHT=\"100\" WIDTH=\"200\""));
        SettingsDialog settings(&history, &window, nullptr, file.string());
        settings.RestoreMainBounds();
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(window.bounds.size(), QSize(200, 100));
        QCOMPARE(window.bounds.center(), available.center());
        // The stored values stay as they were.
        QCOMPARE(settings.Settings.ReadAttribute("TOP"), std::string("-20000"));
    }

    void restoreLimitsTheSizeToTheScreen()
    {
        writeFile(file, settingsText(" TOP=\"30\" LEFT=\"40\" HEIGHT=\"100000\" WIDTH=\"100000\""));
        SettingsDialog settings(&history, &window, nullptr, file.string());
        settings.RestoreMainBounds();
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(window.bounds, QRect(QPoint(40, 30), available.size()));
    }

    void storeWritesTheNormalBoundsInOrder()
    {
        SettingsDialog settings(&history, &window, nullptr, file.string());
        window.maximized = true;
        window.bounds = QRect(-4, 5, 640, 480);
        settings.StoreMainBounds();
        QVERIFY(!window.maximized);
        const TreeDocument& stored = settings.Settings;
        QCOMPARE(stored.AttributeCount(), 4);
        const std::vector<std::pair<std::string, std::string>> expected
            = {{"WIDTH", "640"}, {"HEIGHT", "480"}, {"LEFT", "-4"}, {"TOP", "5"}};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(stored.AttributeName(i), expected[i].first);
            QCOMPARE(stored.AttributeValue(i), expected[i].second);
        }
    }

    void widgetBoundsRoundTrip()
    {
        QWidget widget;
        WidgetBounds bounds(widget);
        widget.show();
        bounds.SetBounds(QRect(30, 40, 320, 240));
        QTRY_COMPARE(bounds.Bounds(), QRect(30, 40, 320, 240));
        QVERIFY(!bounds.IsMaximized());
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    fs::path file;
    FakeHistory history;
    FakeWindow window;
};

QTEST_MAIN(TestMainBounds)
#include "tst_main_bounds.moc"
