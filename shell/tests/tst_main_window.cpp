// The main window as a user meets it: start-up files, opening pictures, the picture
// commands, the list's pop-up menu, the settings dialog and the window's bounds.
#include "program_fixture.h"

#include "browse/file_operations.h"
#include "shell/elided_text.h"
#include "shell/properties_window.h"
#include "store/tests/file_size_limit.h"
#include "viewer/brightness_contrast_bar.h"
#include "viewer/magnification_indicator.h"
#include "viewer/page_viewer.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolButton>

#include <csignal>
#include <memory>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Answers the next message window with OK and keeps its text.
void keepMessage(QString& told)
{
    ProgramFixture::whenModal([&told](QWidget* modal) {
        told = modal->findChild<QLabel*>("Label1")->text();
        ProgramFixture::button(modal, "OKBtn")->click();
    });
}

// Answers the next Count message windows with OK, one after the other, keeping their texts.
void keepMessages(QStringList& told, int count)
{
    if (count == 0)
        return;
    ProgramFixture::whenModal([&told, count](QWidget* modal) {
        told << modal->findChild<QLabel*>("Label1")->text();
        // The next one is watched for before this one closes: it may follow at once.
        keepMessages(told, count - 1);
        ProgramFixture::button(modal, "OKBtn")->click();
    });
}

// Answers every message window with OK for the next Milliseconds, keeping their texts.
void keepMessagesFor(QStringList& told, int milliseconds)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer,
                     [timer, &told, left = milliseconds / 10]() mutable {
                         if (QWidget* modal = QApplication::activeModalWidget()) {
                             told << modal->findChild<QLabel*>("Label1")->text();
                             ProgramFixture::button(modal, "OKBtn")->click();
                         }
                         if (--left <= 0)
                             timer->deleteLater();
                     });
    timer->start();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { program = std::make_unique<ProgramFixture>(); }
    void cleanup() { program.reset(); }

    void firstStart_data();
    void firstStart();
    void unreadableDataFileKept_data();
    void unreadableDataFileKept();
    void saveKeepsPreviousFile();
    void fullDiskKeepsBackup();
    void saveAsData();
    void openData();
    void openPicture();
    void notAPicture();
    void refreshAfterFileVanished();
    void brightnessKeptAndResetByRefresh();
    void longNameKeepsTheLayout();
    void longFolderPathShowsWholeLetters();
    void rotateFourTimes();
    void doubleClickCentresGlass();
    void deleteOtherThenShownFile();
    void deleteMovesOn_data();
    void deleteMovesOn();
    void whatThePaneSays_data();
    void whatThePaneSays();
    void openAndProperties();
    void emptyDataFileKept();
    void saveCopyAs();
    void settingsLeftWithCancel();
    void restartKeepsWhatTheUserSet();
    void maximisedWindowClosed();
    void movedWindowStaysAfterAboutBox();

private:
    std::unique_ptr<ProgramFixture> program;
};

void TestMainWindow::firstStart_data()
{
    QTest::addColumn<bool>("picturesFolder");
    QTest::newRow("pictures folder") << true;
    QTest::newRow("no pictures folder") << false;
}

void TestMainWindow::firstStart()
{
    QFETCH(bool, picturesFolder);
    // The user's own folders, the pictures folder by its usual name.
    const QByteArray home = qgetenv("HOME");
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", home);
        qputenv("XDG_CONFIG_HOME", configHome);
    });
    qputenv("HOME", QFile::encodeName(program->path("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(program->path("home/.config")));
    QDir(program->path(".")).mkpath(picturesFolder ? "home/Pictures" : "home");
    program->writeFile(picturesFolder ? "home/Pictures/shot.bmp" : "home/notes.bmp", "");
    program->Start();

    QCOMPARE(program->readFile("bin/vistrel.vsgc"),
             QByteArray("\r\n<VISTREL_DATA VERSION=\"1.4\"/>"));
    QCOMPARE(program->readFile("bin/vistrel.set"), QByteArray("\r\n<SETTINGS/>"));
    QVERIFY(QFileInfo(program->path("collections")).isDir());
    QCOMPARE(Fmain->StatusPanelText(0), QString());
    QCOMPARE(Fmain->StatusPanelText(1), QString());
    QCOMPARE(Fmain->StatusPanelText(2), program->path("bin/vistrel.vsgc"));

    QCOMPARE(Fmain->windowTitle(), QString("Vistrel"));
    QCOMPARE(Fmain->Edit_dir->text(), program->path(picturesFolder ? "home/Pictures/" : "home/"));
    QCOMPARE(program->listed(), QStringList({"..", picturesFolder ? "shot.bmp" : "notes.bmp"}));

    QVERIFY(!Fmain->ImageLoaded());
    QCOMPARE(Fmain->Label_imgname->text(), QString());
    for (const char* name : {"TB_refresh", "TB_rotate_ccw", "TB_rotate_cw", "TB_prior", "TB_next"})
        QVERIFY2(!Fmain->findChild<QToolButton*>(name)->isEnabled(), name);
    for (const char* name : {"N_Refresh", "NRotateclockwise", "NRotatecounterclockwise"})
        QVERIFY2(!Fmain->findChild<QAction*>(name)->isEnabled(), name);
    for (const char* name : {"N_New", "N_Open", "N_Save", "N_Saveas", "NEffects"})
        QVERIFY2(!Fmain->findChild<QAction*>(name)->isVisible(), name);
    QVERIFY(Fmain->TB_magnifier->isEnabled());
    QVERIFY(Fmain->TB_exit->isEnabled());
    QCOMPARE(Fmain->CB_history->count(), 0);

    // Exit closes the window; the settings file then holds the bounds.
    QTest::mouseClick(Fmain->TB_exit, Qt::LeftButton);
    QTRY_VERIFY(!Fmain->isVisible());
    program->Stop();
    const QByteArray settings = program->readFile("bin/vistrel.set");
    for (const char* key : {"WIDTH=", "HEIGHT=", "LEFT=", "TOP=", "<HISTORY"})
        QVERIFY2(settings.contains(key), key);
}

void TestMainWindow::unreadableDataFileKept_data()
{
    QTest::addColumn<bool>("fifo");
    QTest::addColumn<bool>("settingsBroken");
    QTest::addColumn<QByteArray>("content");
    const QByteArray broken = "this is no tree document <";
    QTest::newRow("broken text") << false << false << broken;
    // Opening it to read would block the start for ever.
    QTest::newRow("FIFO") << true << false << broken;
    // Two messages at once: each is shown, the settings' first.
    QTest::newRow("settings file broken too") << false << true << broken;
    // It reads, but would be saved back as an empty file.
    QTest::newRow("element without a name") << false << false << QByteArray("\r\n< />");
}

// A data file that does not read is kept aside and the user told: saves never reach it.
void TestMainWindow::unreadableDataFileKept()
{
    QFETCH(bool, fifo);
    QFETCH(bool, settingsBroken);
    QFETCH(QByteArray, content);
    if (fifo)
        QCOMPARE(mkfifo(program->bytes("bin/vistrel.vsgc").c_str(), 0600), 0);
    else
        program->writeFile("bin/vistrel.vsgc", content);
    if (settingsBroken)
        program->writeFile("bin/vistrel.set", content);
    QStringList told;
    keepMessages(told, settingsBroken ? 2 : 1);
    program->Start();
    QTRY_COMPARE(told.size(), settingsBroken ? 2 : 1);
    if (settingsBroken)
        QVERIFY2(told.takeFirst().contains(program->path("bin/vistrel.set.bad")),
                 qPrintable(told.join('|')));
    QVERIFY2(told.first().contains(program->path("bin/vistrel.vsgc.bad")),
             qPrintable(told.first()));
    QCOMPARE(Fmain->StatusPanelText(2), program->path("bin/vistrel.vsgc"));
    QCOMPARE(Fmain->Data().Name(), std::string("VISTREL_DATA"));
    for (int save = 0; save < 2; ++save)
        QTest::keyClick(Fmain, Qt::Key_S, Qt::ControlModifier);
    struct stat kept = {};
    QCOMPARE(stat(program->bytes("bin/vistrel.vsgc.bad").c_str(), &kept), 0);
    if (fifo)
        QVERIFY(S_ISFIFO(kept.st_mode));
    else
        QCOMPARE(program->readFile("bin/vistrel.vsgc.bad"), content);
    QCOMPARE(program->readFile("bin/vistrel.vsgc"),
             QByteArray("\r\n<VISTREL_DATA VERSION=\"1.4\"/>"));
}

void TestMainWindow::saveKeepsPreviousFile()
{
    program->Start();
    const QByteArray older = "\r\n<VISTREL_DATA VERSION=\"0.9\"/>";
    program->writeFile("bin/vistrel.vsgc", older);
    program->writeFile("bin/vistrel.BAK", "an earlier backup");

    // Save is hidden in this window, but its shortcut works.
    QTest::keyClick(Fmain, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(program->readFile("bin/vistrel.BAK"), older);
    QCOMPARE(program->readFile("bin/vistrel.vsgc"),
             QByteArray("\r\n<VISTREL_DATA VERSION=\"1.4\"/>"));
    QCOMPARE(Fmain->StatusPanelText(1), QString());
}

// A copy cut short by a full disk never replaces the earlier backup.
void TestMainWindow::fullDiskKeepsBackup()
{
    program->Start();
    program->writeFile("bin/vistrel.vsgc",
                       "\r\n<VISTREL_DATA VERSION=\"0.9\">" + QByteArray(4000, 'x')
                           + "</VISTREL_DATA>");
    program->writeFile("bin/vistrel.BAK", "an earlier backup");
    FileSizeLimit limit(1000);
    QString told;
    keepMessage(told);
    QTest::keyClick(Fmain, Qt::Key_S, Qt::ControlModifier);
    limit.Lift();
    QCOMPARE(program->readFile("bin/vistrel.BAK"), QByteArray("an earlier backup"));
    QTRY_VERIFY(!told.isEmpty());
    QVERIFY2(told.contains(program->path("bin/vistrel.BAK")), qPrintable(told));
    QCOMPARE(QDir(program->path("bin")).entryList(QDir::Files),
             QStringList({"vistrel.BAK", "vistrel.set", "vistrel.vsgc"}));
}

void TestMainWindow::saveAsData()
{
    program->Start();
    // A chosen name with another extension: the document goes to the same path as ".vsgc".
    const QString chosen = program->path("collections/mine.txt");
    QString startFolder;
    ProgramFixture::whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        startFolder = dialog->directory().canonicalPath();
        ProgramFixture::chooseFile(dialog, chosen);
    });
    Fmain->N_SaveasClick();
    QCOMPARE(startFolder, QDir(program->path("collections")).canonicalPath());
    const QString stored = program->path("collections/mine.vsgc");
    QCOMPARE(Fmain->StatusPanelText(2), stored);
    QCOMPARE(program->readFile("collections/mine.vsgc"),
             QByteArray("\r\n<VISTREL_DATA VERSION=\"1.4\"/>"));
    QVERIFY(!QFile::exists(chosen));
    QVERIFY(program->readFile("bin/vistrel.set").contains("mine.vsgc"));
}

void TestMainWindow::openData()
{
    program->Start();
    program->writeFile("collections/kept.vsgc",
                       "\r\n<VISTREL_DATA VERSION=\"1.4\">\r\n\t<NOTE/>\r\n</VISTREL_DATA>");
    const auto open = [&](const QString& chosen) {
        ProgramFixture::whenModal(
            [chosen](QWidget* modal) { ProgramFixture::chooseFile(modal, chosen); });
        Fmain->N_OpenClick();
    };

    open(program->path("collections/kept.vsgc"));
    QCOMPARE(Fmain->StatusPanelText(2), program->path("collections/kept.vsgc"));
    QVERIFY(Fmain->Data().FindChild("NOTE"));
    // The document in hand was saved first, keeping the previous file as its backup.
    QVERIFY(QFile::exists(program->path("bin/vistrel.BAK")));

    // Another extension: the document is read from, or made at, the same path as ".vsgc".
    program->writeFile("collections/notes.txt", "not read");
    open(program->path("collections/notes.txt"));
    QCOMPARE(Fmain->StatusPanelText(2), program->path("collections/notes.vsgc"));
    QCOMPARE(program->readFile("collections/notes.vsgc"),
             QByteArray("\r\n<VISTREL_DATA VERSION=\"1.4\"/>"));
    QVERIFY(!Fmain->Data().FindChild("NOTE"));

    program->Restart();
    QCOMPARE(Fmain->StatusPanelText(2), program->path("collections/notes.vsgc"));
}

void TestMainWindow::openPicture()
{
    program->writePicture("a.bmp", 200, 100);
    // TIFF is listed since the program reads it; a text file and a name without an extension
    // are not.
    for (const char* name : {"x.JPEG", "y.gif", "z.Tif", "w.txt", "d"})
        program->writeFile(QString("pics/") + name, "");
    program->Start();

    program->chooseFolder(program->path("pics"));
    QCOMPARE(Fmain->Edit_dir->text(), program->path("pics") + '/');
    QCOMPARE(program->listed(), QStringList({"..", "a.bmp", "x.JPEG", "y.gif", "z.Tif"}));

    program->open("a.bmp");
    QVERIFY(Fmain->ImageLoaded());
    QCOMPARE(Fmain->Label_imgname->text(), QString("a.bmp"));
    QCOMPARE(Fmain->O_pgv1->SourceSize(), QSize(200, 100));
    QCOMPARE(program->history(), QStringList(program->path("pics/a.bmp")));
    QCOMPARE(Fmain->CB_history->currentIndex(), 0);
    for (const char* name : {"TB_refresh", "TB_rotate_ccw", "TB_rotate_cw"})
        QVERIFY2(Fmain->findChild<QToolButton*>(name)->isEnabled(), name);
    for (const char* name : {"N_Refresh", "NRotateclockwise", "NRotatecounterclockwise"})
        QVERIFY2(Fmain->findChild<QAction*>(name)->isEnabled(), name);
    QVERIFY(!Fmain->TB_prior->isEnabled());
    QVERIFY(!Fmain->TB_next->isEnabled());
    QCOMPARE(Fmain->O_mg_indicator1->Label_absolute->text(), QString("100%"));
    QVERIFY(Fmain->O_pgv1->Image_mg->isVisible());

    // Going into a sub-folder inside the list does not change the stored start folder.
    QDir(program->path("pics")).mkdir("sub");
    Fmain->PRefreshClick();
    QVERIFY(program->select("sub"));
    QTest::keyClick(Fmain->O_dir_content1->LV_dir, Qt::Key_Return);
    QCOMPARE(Fmain->Edit_dir->text(), program->path("pics/sub") + '/');
    program->Stop();
    QVERIFY(program->readFile("bin/vistrel.set")
                .contains("DIR_TO_VIEW=\"" + QFile::encodeName(program->path("pics")) + "\""));
}

void TestMainWindow::notAPicture()
{
    program->writePicture("a.bmp", 200, 100);
    program->writeFile("pics/bad.jpg", "no picture in here");
    program->Start();
    program->open("a.bmp");
    program->open("bad.jpg");

    QVERIFY(!Fmain->ImageLoaded());
    QCOMPARE(Fmain->Label_imgname->text(), QString());
    QCOMPARE(Fmain->O_pgv1->SourceSize(), QSize(100, 100));
    QVERIFY(!Fmain->TB_refresh->isEnabled());
    QVERIFY(!Fmain->TB_rotate_cw->isEnabled());
    QCOMPARE(program->history(), QStringList(program->path("pics/a.bmp")));
    QCOMPARE(Fmain->statusBar()->currentMessage(),
             "Cannot read the picture (damaged, of another format, or too large): "
                 + program->path("pics/bad.jpg"));
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainWindow::refreshAfterFileVanished()
{
    program->writePicture("a.bmp", 200, 100);
    program->Start();
    program->open("a.bmp");
    QVERIFY(QFile::remove(program->path("pics/a.bmp")));

    QTest::mouseClick(Fmain->TB_refresh, Qt::LeftButton);
    QVERIFY(!Fmain->ImageLoaded());
    QCOMPARE(Fmain->Label_imgname->text(), QString());
    QVERIFY(!Fmain->TB_refresh->isEnabled());
    QCOMPARE(program->history().size(), 1);
    QCOMPARE(Fmain->statusBar()->currentMessage(), "Not found: " + program->path("pics/a.bmp"));
}

void TestMainWindow::brightnessKeptAndResetByRefresh()
{
    program->writePicture("a.bmp", 200, 100);
    program->writePicture("b.bmp", 50, 80, Qt::green);
    program->Start();
    program->open("a.bmp");

    // As a marker released at +2 reports it.
    Fmain->O_cbs1->SetBrightnessPosition(2);
    Fmain->O_cbs1->OnBrightnessChange(Fmain->O_cbs1->SnapBrightness());
    Fmain->O_cbs1->SetContrastPosition(-1);
    Fmain->O_cbs1->OnContrastChange(Fmain->O_cbs1->SnapContrast());
    QCOMPARE(Fmain->O_pgv1->Lightness(), 14);
    QCOMPARE(Fmain->O_pgv1->Contrast(), -7);

    program->open("b.bmp");
    QCOMPARE(Fmain->O_pgv1->SourceSize(), QSize(50, 80));
    QCOMPARE(Fmain->O_pgv1->Lightness(), 14);
    QCOMPARE(Fmain->O_pgv1->Contrast(), -7);

    QTest::mouseClick(Fmain->TB_refresh, Qt::LeftButton);
    QVERIFY(Fmain->ImageLoaded());
    QCOMPARE(Fmain->O_pgv1->Lightness(), 0);
    QCOMPARE(Fmain->O_pgv1->Contrast(), 0);
    QCOMPARE(Fmain->O_cbs1->SnapBrightness(), 0);
    QCOMPARE(Fmain->O_cbs1->SnapContrast(), 0);
}

// A file name of any length leaves every size as it was: the window, the folder pane, the
// indicator and the brightness and contrast control with its values. The name is shortened
// in the middle, keeping its extension, and shown whole as the tooltip.
void TestMainWindow::longNameKeepsTheLayout()
{
    const QString longName = QString(246, 'n') + ".bmp";
    program->writePicture("a.bmp", 200, 100);
    program->writePicture(longName, 200, 100);
    program->Start();
    program->open("a.bmp");
    Fmain->O_cbs1->SetBrightnessPosition(2);
    Fmain->O_cbs1->OnBrightnessChange(Fmain->O_cbs1->SnapBrightness());
    QCoreApplication::processEvents();
    const QSize window = Fmain->size();
    const int folderPane = Fmain->PageControl1->width();
    const QRect control = Fmain->O_cbs1->geometry();

    program->open(longName);
    QCoreApplication::processEvents();
    QVERIFY(Fmain->ImageLoaded());
    QCOMPARE(Fmain->size(), window);
    QCOMPARE(Fmain->PageControl1->width(), folderPane);
    QCOMPARE(Fmain->O_cbs1->geometry(), control);
    QVERIFY(control.left() > Fmain->O_mg_indicator1->geometry().right());
    QCOMPARE(Fmain->O_pgv1->Lightness(), 14);
    QCOMPARE(Fmain->Label_imgname->text(), longName);
    QCOMPARE(Fmain->Label_imgname->toolTip(), longName);
    const QFontMetrics metrics = Fmain->Label_imgname->fontMetrics();
    const int width = Fmain->Label_imgname->contentsRect().width();
    const QString shown = ElideFileName(longName, metrics, width);
    QVERIFY(shown.startsWith("nnn") && shown.endsWith("n.bmp") && shown.contains(QChar(0x2026)));
    QVERIFY(metrics.horizontalAdvance(shown) <= width);
}

// The path box shows the end of a long path from a whole letter on: nothing is drawn at its
// left edge, where a letter cut in half would show.
void TestMainWindow::longFolderPathShowsWholeLetters()
{
    const QString folder = program->path(QString(200, 'W'));
    QVERIFY(QDir().mkpath(folder));
    program->Start();
    program->chooseFolder(folder);
    QLineEdit* box = Fmain->Edit_dir;
    QCOMPARE(box->text(), folder + '/');
    QVERIFY(box->fontMetrics().horizontalAdvance(box->text()) > box->width());
    const QImage drawn = box->grab().toImage();
    for (int x = 0; x <= 2; ++x) {
        for (int y = 0; y < drawn.height(); ++y)
            QVERIFY2(qGray(drawn.pixel(x, y)) > 160, qPrintable(QString("%1,%2").arg(x).arg(y)));
    }
}

void TestMainWindow::rotateFourTimes()
{
    program->writePicture("a.bmp", 200, 100);
    program->Start();
    program->open("a.bmp");
    const QImage first = Fmain->O_pgv1->SourcePicture().copy();

    QTest::mouseClick(Fmain->O_mg_indicator1->SpinButton1Up, Qt::LeftButton);
    QVERIFY(Fmain->O_mg_indicator1->Pending());
    QTest::mouseClick(Fmain->TB_rotate_cw, Qt::LeftButton);
    QCOMPARE(Fmain->O_pgv1->SourceSize(), QSize(100, 200));
    // A turn discards the pending step.
    QVERIFY(!Fmain->O_mg_indicator1->Pending());
    QCOMPARE(Fmain->PendingFactor(), 1.0);
    // The blue corner went from the top left to the top right.
    QCOMPARE(Fmain->O_pgv1->SourcePicture().pixel(99, 0), qRgb(0, 0, 255));

    for (int i = 0; i < 3; ++i)
        Fmain->findChild<QAction*>("NRotateclockwise")->trigger();
    QCOMPARE(Fmain->O_pgv1->SourcePicture(), first);

    QTest::mouseClick(Fmain->TB_rotate_ccw, Qt::LeftButton);
    QCOMPARE(Fmain->O_pgv1->SourcePicture().pixel(0, 199), qRgb(0, 0, 255));
    Fmain->findChild<QAction*>("NRotatecounterclockwise")->trigger();
    Fmain->NRotateClick(nullptr);
    Fmain->NRotateClick(nullptr);
    QCOMPARE(Fmain->O_pgv1->SourcePicture(), first);
}

void TestMainWindow::doubleClickCentresGlass()
{
    program->writePicture("a.bmp", 200, 100);
    program->Start();
    program->open("a.bmp");
    ImageControl* area = Fmain->O_pgv1->Image1;
    ImageControl* glass = Fmain->O_pgv1->Image_mg;
    QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(150, 40));
    const QPoint centre
        = glass->geometry().topLeft() + QPoint(glass->width() / 2, glass->height() / 2);
    QCOMPARE(centre, area->geometry().topLeft() + QPoint(150, 40));
}

void TestMainWindow::deleteOtherThenShownFile()
{
    program->writePicture("a.bmp", 200, 100);
    program->writePicture("b.bmp", 50, 80);
    program->Start();
    program->open("a.bmp");

    // Answered No: nothing changes.
    QVERIFY(program->select("b.bmp"));
    ProgramFixture::whenModal(
        [](QWidget* modal) { ProgramFixture::button(modal, "CancelBtn")->click(); });
    Fmain->PDelete->trigger();
    QVERIFY(QFile::exists(program->path("pics/b.bmp")));

    ProgramFixture::whenModal(
        [](QWidget* modal) { ProgramFixture::button(modal, "OKBtn")->click(); });
    Fmain->PDelete->trigger();
    QVERIFY(!QFile::exists(program->path("pics/b.bmp")));
    QCOMPARE(program->listed(), QStringList({"..", "a.bmp"}));
    QVERIFY(Fmain->ImageLoaded());
    QCOMPARE(Fmain->Label_imgname->text(), QString("a.bmp"));

    QVERIFY(program->select("a.bmp"));
    ProgramFixture::whenModal(
        [](QWidget* modal) { ProgramFixture::button(modal, "OKBtn")->click(); });
    Fmain->PDelete->trigger();
    QCOMPARE(program->listed(), QStringList({".."}));
    QVERIFY(!Fmain->ImageLoaded());
    QCOMPARE(Fmain->O_pgv1->SourceSize(), QSize(100, 100));
    QVERIFY(!Fmain->TB_refresh->isEnabled());
    QCOMPARE(Fmain->ImageFileName(), program->bytes("pics/a.bmp"));
    QCOMPARE(program->history(), QStringList(program->path("pics/a.bmp")));

    // A folder selected: nothing to delete.
    QVERIFY(program->select(".."));
    Fmain->PDelete->trigger();
    QVERIFY(QFileInfo(program->path("pics")).isDir());
}

void TestMainWindow::deleteMovesOn_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("deleted");
    QTest::addColumn<QString>("removedWhileAsked");
    QTest::addColumn<QStringList>("shownAndSelectedAfter");
    const auto row = [](const char* name, const char* shown, QStringList deleted,
                        const char* removed, QStringList after) {
        QTest::newRow(name) << QString(shown) << deleted << QString(removed) << after;
    };
    row("the shown one: the next", "b.bmp", {"b.bmp"}, "", {"c.bmp", "c.bmp"});
    row("the last one: the one before", "c.bmp", {"c.bmp"}, "", {"b.bmp", "b.bmp"});
    row("Delete, Delete: a folder culled", "a.bmp", {"a.bmp", "b.bmp"}, "", {"c.bmp", "c.bmp"});
    row("another one: the shown one stays", "a.bmp", {"b.bmp"}, "", {"a.bmp", "c.bmp"});
    row("every one: nothing shown", "a.bmp", {"a.bmp", "b.bmp", "c.bmp"}, "", {"", ""});
    row("removed by another program while asked", "b.bmp", {"b.bmp"}, "b.bmp", {"c.bmp", "c.bmp"});
}

// Delete goes on to the folder's next picture, so that Delete after Delete culls a folder;
// a file that another program removed while the question was open counts as deleted, with
// nothing to tell.
void TestMainWindow::deleteMovesOn()
{
    QFETCH(QString, shown);
    QFETCH(QStringList, deleted);
    QFETCH(QString, removedWhileAsked);
    QFETCH(QStringList, shownAndSelectedAfter);
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        program->writePicture(name, 60, 40);
    program->Start();
    program->open(shown);
    if (deleted.first() != shown)
        QVERIFY(program->select(deleted.first()));
    std::string told;
    D_filer->OnFailure = [&told](const std::string& text) {
        told = text;
    };
    for (int i = 0; i < deleted.size(); ++i) {
        ProgramFixture::whenModal([&](QWidget* modal) {
            if (!removedWhileAsked.isEmpty())
                QFile::remove(program->path("pics/" + removedWhileAsked));
            ProgramFixture::button(modal, "OKBtn")->click();
        });
        // The window's keys work in the active window, which the question may leave none of.
        Fmain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Fmain));
        QTest::keyClick(Fmain->O_pgv1, Qt::Key_Delete);
        QTRY_VERIFY(!QFile::exists(program->path("pics/" + deleted[i])));
    }
    QCOMPARE(told, std::string());
    QCOMPARE(QStringList({Fmain->Label_imgname->text(),
                          QString::fromStdString(Fmain->O_dir_content1->GetSelectedName())}),
             shownAndSelectedAfter);
    QCOMPARE(Fmain->ImageLoaded(), !shownAndSelectedAfter.first().isEmpty());
}

void TestMainWindow::whatThePaneSays_data()
{
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<bool>("fullScreen");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("title");
    const QString hint = "Open a picture with Ctrl+O, or choose one from the list";
    const QString broken = "Cannot read the picture (damaged, of another format, or too large): %1";
    QTest::newRow("nothing opened") << QStringList() << false << hint << "Vistrel";
    QTest::newRow("a broken picture") << QStringList {"bad.jpg"} << false << broken << "Vistrel";
    QTest::newRow("a broken picture in full screen")
        << QStringList {"bad.jpg"} << true << broken << "Vistrel";
    QTest::newRow("a good picture after a broken one")
        << QStringList {"bad.jpg", "a.bmp"} << false << QString() << "a.bmp \u2014 Vistrel";
    QTest::newRow("a good one after a good one")
        << QStringList {"b.bmp", "a.bmp"} << false << QString() << "a.bmp \u2014 Vistrel";
}

// The pane says why a picture did not load, in full screen too, and the next picture shown
// takes the message away, from the status bar as well; an empty pane says how to open one;
// the window's title names the picture shown.
void TestMainWindow::whatThePaneSays()
{
    QFETCH(QStringList, opened);
    QFETCH(bool, fullScreen);
    QFETCH(QString, notice);
    QFETCH(QString, title);
    program->writePicture("a.bmp", 200, 100);
    program->writePicture("b.bmp", 50, 80);
    program->writeFile("pics/bad.jpg", "no picture in here");
    program->Start();
    program->chooseFolder(program->path("pics"));
    for (const QString& name : opened)
        program->open(name);
    if (fullScreen)
        Fmain->SetFullScreen(true);
    notice = notice.arg(program->path("pics/bad.jpg"));
    QCOMPARE(Fmain->O_pgv1->Notice(), notice);
    QCOMPARE(Fmain->O_pgv1->Label_notice->isVisible(), !notice.isEmpty());
    QCOMPARE(Fmain->statusBar()->currentMessage(), opened.endsWith("bad.jpg") ? notice : QString());
    QCOMPARE(Fmain->windowTitle(), title);
    QCOMPARE(Fmain->O_mg_indicator1->toolTip(),
             opened.endsWith("a.bmp") ? QString("200 \u00d7 100 pixels") : QString());
}

// File > Open... opens a picture through the file chooser (its folder listed, the picture
// shown; cancelled, nothing changes); File > Properties (Alt+Enter) shows the picture's file
// and size, and follows the picture while it is open: another picture, a turn, none.
void TestMainWindow::openAndProperties()
{
    program->writePicture("a.bmp", 200, 100);
    program->writePicture("b.bmp", 50, 80);
    program->Start();
    ProgramFixture::whenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    QTest::keyClick(Fmain, Qt::Key_O, Qt::ControlModifier);
    QVERIFY(!Fmain->ImageLoaded());
    ProgramFixture::whenModal(
        [this](QWidget* modal) { ProgramFixture::chooseFile(modal, program->path("pics/a.bmp")); });
    Fmain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Fmain));
    QTest::keyClick(Fmain, Qt::Key_O, Qt::ControlModifier);
    QTRY_COMPARE(Fmain->Label_imgname->text(), QString("a.bmp"));
    QCOMPARE(Fmain->Edit_dir->text(), program->path("pics") + '/');
    QCOMPARE(QString::fromStdString(Fmain->O_dir_content1->GetSelectedName()), QString("a.bmp"));
    QCOMPARE(Fmain->focusWidget(), Fmain->O_pgv1);

    Fmain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Fmain));
    QTest::keyClick(Fmain, Qt::Key_Return, Qt::AltModifier);
    PropertiesWindow* properties = Fmain->D_properties;
    QVERIFY(properties && properties->isVisible());
    QCOMPARE(
        QStringList({properties->Value("Name"), properties->Value("Folder"),
                     properties->Value("File size"), properties->Value("Picture"),
                     properties->Value("Camera")}),
        QStringList({"a.bmp", program->path("pics"),
                     QLocale().toString(QFileInfo(program->path("pics/a.bmp")).size()) + " bytes",
                     "200 \u00d7 100 pixels", ""}));
    program->open("b.bmp");
    Fmain->NRotateClick(Fmain->TB_rotate_cw);
    QCOMPARE(properties->Value("Name") + ", " + properties->Value("Picture"),
             QString("b.bmp, 80 \u00d7 50 pixels"));
    Fmain->SetImageLoaded(false);
    QCOMPARE(properties->Value("Name"), QString());
}

// An empty data file reads as an empty document: it is neither kept aside nor written over,
// and nothing is told.
void TestMainWindow::emptyDataFileKept()
{
    program->writeFile("bin/vistrel.vsgc", QByteArray());
    QStringList told;
    keepMessagesFor(told, 300);
    program->Start();
    QTest::qWait(400);
    QCOMPARE(told, QStringList());
    QVERIFY(!QFile::exists(program->path("bin/vistrel.vsgc.bad")));
    QCOMPARE(Fmain->StatusPanelText(2), program->path("bin/vistrel.vsgc"));
    QCOMPARE(Fmain->Data().Name(), std::string());
    program->Stop();
    QCOMPARE(program->readFile("bin/vistrel.vsgc"), QByteArray());
}

void TestMainWindow::saveCopyAs()
{
    program->writePicture("a.bmp", 200, 100);
    program->Start();
    program->chooseFolder(program->path("pics"));
    QVERIFY(program->select("a.bmp"));
    ProgramFixture::whenModal(
        [&](QWidget* modal) { ProgramFixture::chooseFile(modal, program->path("pics/copy.bmp")); });
    Fmain->PSaveAs->trigger();
    QCOMPARE(program->readFile("pics/copy.bmp"), program->readFile("pics/a.bmp"));
    QCOMPARE(program->listed(), QStringList({"..", "a.bmp", "copy.bmp"}));
}

void TestMainWindow::settingsLeftWithCancel()
{
    program->writePicture("a.bmp", 200, 100);
    program->Start();
    program->open("a.bmp");
    QCOMPARE(Fmain->O_pgv1->GlassDiameter(), 100);

    ProgramFixture::whenModal([](QWidget* modal) {
        QCOMPARE(modal, static_cast<QWidget*>(D_settings_user));
        D_settings_user->SE_mgd->setValue(80);
        ProgramFixture::button(modal, "CancelBtn")->click();
    });
    QTest::mouseClick(Fmain->TB_magnifier, Qt::LeftButton);
    QVERIFY(D_settings_user->TabSheet_mg->isVisibleTo(D_settings_user));
    QCOMPARE(Fmain->O_pgv1->GlassDiameter(), 80);
    QCOMPARE(Fmain->O_pgv1->Image_mg->width(), 80);
    program->Stop();
    QVERIFY(!program->readFile("bin/vistrel.set").contains("MG_DIAMETER"));
}

void TestMainWindow::restartKeepsWhatTheUserSet()
{
    program->writePicture("a.bmp", 200, 100);
    program->writePicture("b.bmp", 50, 80);
    program->Start();
    program->open("a.bmp");
    program->open("b.bmp");
    Fmain->setGeometry(40, 50, 720, 500);
    QVERIFY(!Fmain->NExactPixels->isChecked());
    Fmain->NExactPixels->trigger();
    QVERIFY(Fmain->O_pgv1->ExactPixels());
    // The window appears at its stored bounds: it never shows elsewhere first and jumps.
    struct FirstShown : QObject
    {
        QRect geometry;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Show && watched == Fmain && geometry.isNull())
                geometry = Fmain->geometry();
            return false;
        }
    } firstShown;
    qApp->installEventFilter(&firstShown);
    program->Restart();
    qApp->removeEventFilter(&firstShown);
    QCOMPARE(firstShown.geometry, QRect(40, 50, 720, 500));

    QCOMPARE(program->history(),
             QStringList({program->path("pics/a.bmp"), program->path("pics/b.bmp")}));
    QCOMPARE(Fmain->CB_history->currentIndex(), -1);
    QVERIFY(!Fmain->TB_prior->isEnabled());
    QVERIFY(Fmain->TB_next->isEnabled());
    QVERIFY(!Fmain->ImageLoaded());
    QCOMPARE(Fmain->Edit_dir->text(), program->path("pics") + '/');
    QCOMPARE(Fmain->geometry(), QRect(40, 50, 720, 500));
    QVERIFY(Fmain->NExactPixels->isChecked());
    QVERIFY(Fmain->O_pgv1->ExactPixels());
}

void TestMainWindow::maximisedWindowClosed()
{
    program->Start();
    Fmain->setGeometry(30, 40, 700, 480);
    Fmain->showMaximized();
    QTRY_VERIFY(Fmain->isMaximized());
    program->Restart();
    QVERIFY(!Fmain->isMaximized());
    QCOMPARE(Fmain->geometry(), QRect(30, 40, 700, 480));
}

void TestMainWindow::movedWindowStaysAfterAboutBox()
{
    program->Start();
    Fmain->setGeometry(30, 40, 700, 480);
    program->Restart();
    Fmain->move(60, 70);

    ProgramFixture::whenModal(
        [](QWidget* modal) { ProgramFixture::button(modal, "Btn_ok")->click(); });
    Fmain->findChild<QAction*>("N_About")->trigger();
    QVERIFY(!Fmain->isActiveWindow());
    Fmain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Fmain));
    QCOMPARE(Fmain->pos(), QPoint(60, 70));

    ProgramFixture::whenModal(
        [](QWidget* modal) { ProgramFixture::button(modal, "OKBtn")->click(); });
    QTest::mouseClick(Fmain->TB_magnifier, Qt::LeftButton);
    Fmain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Fmain));
    QCOMPARE(Fmain->pos(), QPoint(60, 70));
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
