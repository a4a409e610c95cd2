// The main window on a real X server under a real window manager, where the window manager
// answers a change of state some time later and input arrives as the server sends it: the
// bounds stored for a maximised or full-screen window, the first keys after a start, and the
// wheel turned over the lists.
#include "desktop_session.h"
#include "program_fixture.h"
#include "settings/main_bounds.h"
#include "shell/desktop_start.h"
#include "shell/termination.h"
#include "viewer/page_viewer.h"

#include <QAbstractItemView>
#include <QScreen>

#include <QProcess>
#include <QScrollBar>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

// Moves the server's pointer to Global and presses Button there (4 and 5 are the wheel).
bool pressAt(QPoint global, int button, int times = 1)
{
    QStringList arguments {"mousemove", QString::number(global.x()), QString::number(global.y())};
    for (int i = 0; i < times; ++i)
        arguments << "click" << QString::number(button);
    return QProcess::execute("xdotool", arguments) == 0;
}

// Presses Keys (xdotool's names, "ctrl+q") at the window that has the server's focus.
bool pressKeys(const QString& keys)
{
    return QProcess::execute("xdotool", {"key", keys}) == 0;
}

// Lets the server's events arrive and be handled.
void settle()
{
    QTest::qWait(300);
}

} // namespace

class TestWindowManager : public QObject
{
    Q_OBJECT

private slots:
    void init() { program = std::make_unique<ProgramFixture>(); }
    void cleanup() { program.reset(); }

    void initTestCase() { CloseWindowsOnTermination(); }
    void normalBoundsStored_data();
    void normalBoundsStored();
    void firstKeysStepPictures_data();
    void firstKeysStepPictures();
    void boundsLandAsStored_data();
    void boundsLandAsStored();
    void restartKeepsThePlace();
    void wheelOverTheLists();

private:
    std::unique_ptr<ProgramFixture> program;
};

void TestWindowManager::normalBoundsStored_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("leave");
    QTest::newRow("maximised by the program, closed") << "maximised"
                                                      << "close";
    QTest::newRow("maximised from the title bar, closed") << "title bar"
                                                          << "close";
    QTest::newRow("full screen, Ctrl+Q") << "full screen"
                                         << "ctrl+q";
    QTest::newRow("full screen, the window manager's close") << "full screen"
                                                             << "alt+F4";
    QTest::newRow("full screen, SIGTERM") << "full screen"
                                          << "SIGTERM";
    QTest::newRow("maximised, then full screen, Ctrl+Q") << "maximised, full screen"
                                                         << "ctrl+q";
}

// The bounds stored are the normal window's whatever state the window is left from, and how:
// the next start shows the window at its normal bounds.
void TestWindowManager::normalBoundsStored()
{
    QFETCH(QString, state);
    QFETCH(QString, leave);
    program->Start();
    Fmain->setGeometry(100, 120, 700, 480);
    QTRY_COMPARE(Fmain->geometry().size(), QSize(700, 480));
    settle();
    const QRect normal = Fmain->frameGeometry();
    QVERIFY(normal != Fmain->geometry()); // the window manager framed it
    if (state == "title bar") {
        const QPoint title(normal.center().x(), (normal.top() + Fmain->geometry().top()) / 2);
        QVERIFY(pressAt(title, 1, 2));
    } else if (state.startsWith("maximised")) {
        Fmain->showMaximized();
    }
    if (state != "full screen") {
        QTRY_VERIFY(Fmain->isMaximized());
        QTRY_VERIFY(Fmain->geometry().width() > 1000);
        settle();
    }
    if (state.endsWith("full screen")) {
        QVERIFY(pressKeys("F11"));
        QTRY_VERIFY(Fmain->isFullScreen());
        QTRY_COMPARE(Fmain->geometry(), Fmain->screen()->geometry());
        settle();
    }

    if (leave == "SIGTERM")
        QVERIFY(::raise(SIGTERM) == 0);
    else if (leave != "close")
        QVERIFY(pressKeys(leave));
    if (leave != "close")
        QTRY_VERIFY(!Fmain->isVisible());
    program->Restart();
    settle();
    QVERIFY(!Fmain->isMaximized());
    QVERIFY(!Fmain->isFullScreen());
    QTRY_COMPARE(Fmain->frameGeometry(), normal);
}

void TestWindowManager::boundsLandAsStored_data()
{
    QTest::addColumn<bool>("framed");
    QTest::newRow("applied as the window is shown, before it is framed") << false;
    QTest::newRow("applied to a framed window") << true;
}

// The frame lands at the stored bounds whenever they are applied: taken as a client position
// before the window manager's frame is known, they put the window a title bar lower (and
// the next start stores that), and a frame read between two of its events made it huge.
void TestWindowManager::boundsLandAsStored()
{
    QFETCH(bool, framed);
    QWidget window;
    WidgetBounds bounds(window);
    window.resize(300, 200);
    window.show();
    if (framed)
        QTRY_VERIFY(window.frameGeometry() != window.geometry());
    const QRect stored(150, 130, 420, 330);
    bounds.SetBounds(stored);
    QTRY_COMPARE(window.frameGeometry(), stored);
    settle();
    QCOMPARE(window.frameGeometry(), stored);
    QCOMPARE(bounds.Bounds(), stored);
}

// A start after a start keeps the window where it was, to the pixel.
void TestWindowManager::restartKeepsThePlace()
{
    program->Start();
    Fmain->setGeometry(100, 120, 700, 480);
    settle();
    const QRect left = Fmain->frameGeometry();
    for (int start = 0; start < 2; ++start) {
        program->Restart();
        settle();
        QCOMPARE(Fmain->frameGeometry(), left);
    }
}

void TestWindowManager::firstKeysStepPictures_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a start with a picture, Space") << "b.bmp"
                                                   << "space"
                                                   << "c.bmp";
    QTest::newRow("a start with a picture, Page Down") << "b.bmp"
                                                       << "Next"
                                                       << "c.bmp";
    QTest::newRow("a start with a picture, Backspace") << "b.bmp"
                                                       << "BackSpace"
                                                       << "a.bmp";
    QTest::newRow("a start without a path, Space") << QString() << "space"
                                                   << "a.bmp";
    QTest::newRow("a start without a path, Page Down") << QString() << "Next"
                                                       << "a.bmp";
    QTest::newRow("opened from the list, Page Down") << "list"
                                                     << "Next"
                                                     << "c.bmp";
    QTest::newRow("opened from the list, Page Up") << "list"
                                                   << "Prior"
                                                   << "a.bmp";
}

// The first key after the start, or after a picture opened from the list, steps pictures
// at once, without a click: it lands on the picture, not on the history box.
void TestWindowManager::firstKeysStepPictures()
{
    QFETCH(QString, start);
    QFETCH(QString, key);
    QFETCH(QString, shown);
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        program->writePicture(name, 60, 40);
    if (start.isEmpty())
        program->writeFile("bin/vistrel.set",
                           "<SETTINGS DIR_TO_VIEW=\"" + QFile::encodeName(program->path("pics"))
                               + "\"/>\n");
    program->Start(start.endsWith(".bmp") ? program->path("pics/" + start) : QString());
    if (start == "list") {
        program->open("b.bmp");
        Fmain->activateWindow();
    }
    QTRY_VERIFY(Fmain->isActiveWindow());
    settle();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Fmain->O_pgv1));
    QVERIFY(pressKeys(key));
    QTRY_COMPARE(Fmain->Label_imgname->text(), shown);
    QVERIFY(!Fmain->CB_history->view()->isVisible());
}

// The wheel over the history list steps the magnification and never opens another entry;
// over the folder list it scrolls, long or short, and never steps the magnification.
void TestWindowManager::wheelOverTheLists()
{
    program->writePicture("a.bmp", 40, 30);
    program->writePicture("b.bmp", 40, 30);
    program->Start();
    program->open("a.bmp");
    program->open("b.bmp");
    settle();
    const std::string shown = Fmain->ImageFileName();
    QComboBox* history = Fmain->CB_history;
    QCOMPARE(history->currentIndex(), 1);

    QVERIFY(pressAt(history->mapToGlobal(history->rect().center()), 4));
    QTRY_VERIFY(qFuzzyCompare(Fmain->PendingFactor(), 1.1));
    QCOMPARE(history->currentIndex(), 1);
    QCOMPARE(Fmain->ImageFileName(), shown);

    QTreeView* list = Fmain->O_dir_content1->LV_dir;
    QWidget* rows = list->viewport();
    const QPoint overRows = rows->mapToGlobal(QPoint(rows->width() / 2, 5));
    QVERIFY(pressAt(overRows, 5));
    settle();
    QVERIFY(qFuzzyCompare(Fmain->PendingFactor(), 1.1));

    for (int i = 0; i < 200; ++i)
        program->writeFile(QString("pics/z%1.bmp").arg(i, 3, 10, QChar('0')), QByteArray());
    Fmain->PRefreshClick();
    settle();
    QScrollBar* bar = list->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QVERIFY(pressAt(overRows, 5));
    QTRY_VERIFY(bar->value() > 0);
    bar->setValue(bar->maximum());
    QVERIFY(pressAt(overRows, 5, 3));
    settle();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(qFuzzyCompare(Fmain->PendingFactor(), 1.1));
}

DESKTOP_TEST_MAIN(TestWindowManager)

#include "tst_window_manager.moc"
