// The main window from the keyboard: the focus order, the hidden page, the keys of the
// commands, the glass and the strips, and full screen.
#include "program_fixture.h"

#include "viewer/brightness_contrast_bar.h"
#include "viewer/magnification_indicator.h"
#include "viewer/page_viewer.h"

#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QWheelEvent>

#include <memory>

namespace {

QWidget* focused()
{
    return QApplication::focusWidget();
}

// The object names the focus passes through from the current control, Count presses of Key.
QStringList focusWalk(Qt::Key key, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QTest::keyClick(focused(), key);
        QWidget* widget = focused();
        names << (widget ? widget->objectName() : QString("(none)"));
        if (widget && !widget->isVisible())
            names.last() += " (hidden)";
    }
    return names;
}

// The window's keys work in the active window, which a closed dialog may leave none of.
void focusAfterDialog(QWidget* widget)
{
    Fmain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Fmain));
    widget->setFocus();
    QTRY_COMPARE(focused(), widget);
}

void turnWheel(QWidget* widget, int delta)
{
    const QPointF at = QRectF(widget->rect()).center();
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

} // namespace

class TestKeysAndFocus : public QObject
{
    Q_OBJECT

private slots:
    void init() { program = std::make_unique<ProgramFixture>(); }
    void cleanup() { program.reset(); }

    void focusOrderBothWays();
    void hiddenPageNeverShows();
    void folderStepKeys_data();
    void folderStepKeys();
    void commandKeys();
    void glassAndMarkerKeys();
    void fullScreen();

private:
    std::unique_ptr<ProgramFixture> program;
};

void TestKeysAndFocus::focusOrderBothWays()
{
    program->writePicture("a.bmp", 200, 100);
    program->writePicture("b.bmp", 100, 200);
    program->Start();
    program->open("a.bmp");
    program->open("b.bmp");
    // A pending step enables "Apply"; "Next" has nowhere to go.
    QTest::mouseClick(Fmain->O_mg_indicator1->SpinButton1Up, Qt::LeftButton);
    QVERIFY(Fmain->O_mg_indicator1->SpeedButton2->isEnabled());

    const QStringList order {"TB_prior",     "TB_refresh",   "TB_magnifier",  "TB_rotate_ccw",
                             "TB_rotate_cw", "TB_exit",      "Edit_dir",      "SB_dir",
                             "LV_dir",       "O_pgv1",       "SpinButton1Up", "SpinButton1Down",
                             "SpeedButton1", "SpeedButton2", "Shape_br",      "Shape_cn",
                             "CB_history"};
    Fmain->CB_history->setFocus(Qt::TabFocusReason);
    QCOMPARE(focusWalk(Qt::Key_Tab, int(order.size())), order);

    QStringList backwards;
    for (qsizetype i = order.size() - 2; i >= 0; --i)
        backwards << order[i];
    backwards << "CB_history";
    QCOMPARE(focusWalk(Qt::Key_Backtab, int(backwards.size())), backwards);
}

void TestKeysAndFocus::hiddenPageNeverShows()
{
    program->Start();
    QTabWidget* pages = Fmain->PageControl1;
    for (int delta : {-120, 120, -120}) {
        turnWheel(pages->tabBar(), delta);
        QCOMPARE(pages->currentWidget(), Fmain->TabSheet_dir);
    }
    QTreeView* list = Fmain->O_dir_content1->LV_dir;
    list->setFocus();
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_PageDown, Qt::Key_PageUp}) {
        QTest::keyClick(list, key, Qt::ControlModifier);
        QCOMPARE(pages->currentWidget(), Fmain->TabSheet_dir);
        QVERIFY(Fmain->TabSheet_dir->isVisible());
    }
}

void TestKeysAndFocus::folderStepKeys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("shown");

    const auto row = [](const char* name, const char* focus, Qt::Key key, const char* from,
                        const char* shown) {
        QTest::newRow(name) << QString(focus) << int(key) << QString(from) << QString(shown);
    };
    row("Space in the list", "LV_dir", Qt::Key_Space, "b.bmp", "c.bmp");
    // The page keys page the focused list instead.
    row("Page Down in the list", "LV_dir", Qt::Key_PageDown, "b.bmp", "b.bmp");
    row("Page Up in the list", "LV_dir", Qt::Key_PageUp, "b.bmp", "b.bmp");
    // The history box is no text field: its drop-down does not take Space.
    row("Space on the history box", "CB_history", Qt::Key_Space, "b.bmp", "c.bmp");
    row("Page Up on the history box", "CB_history", Qt::Key_PageUp, "b.bmp", "a.bmp");
    row("Backspace in the list", "LV_dir", Qt::Key_Backspace, "b.bmp", "a.bmp");
    row("Page Up on the picture", "O_pgv1", Qt::Key_PageUp, "b.bmp", "a.bmp");
    row("Space on the picture", "O_pgv1", Qt::Key_Space, "b.bmp", "c.bmp");
    row("Backspace on a button", "TB_magnifier", Qt::Key_Backspace, "b.bmp", "a.bmp");
    row("Space in the path box", "Edit_dir", Qt::Key_Space, "b.bmp", "b.bmp");
    row("Page Down in the path box", "Edit_dir", Qt::Key_PageDown, "b.bmp", "b.bmp");
    row("Space on the last", "LV_dir", Qt::Key_Space, "c.bmp", "c.bmp");
    row("Backspace after a folder", "LV_dir", Qt::Key_Backspace, "a.bmp", "a.bmp");
}

void TestKeysAndFocus::folderStepKeys()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, from);
    QFETCH(QString, shown);

    QDir(program->path("pics")).mkdir("sub");
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        program->writePicture(name, 60, 40);
    program->Start();
    program->open(from);
    // The list's selection elsewhere: the step goes from the picture shown, and the
    // selection follows it.
    QVERIFY(program->select("sub"));
    QWidget* target = Fmain->findChild<QWidget*>(focus);
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key));

    QCOMPARE(Fmain->Label_imgname->text(), shown);
    if (shown != from)
        QCOMPARE(QString::fromStdString(Fmain->O_dir_content1->GetSelectedName()), shown);
}

void TestKeysAndFocus::commandKeys()
{
    program->writePicture("a.bmp", 200, 100);
    program->writePicture("b.bmp", 50, 80);
    program->Start();
    program->open("a.bmp");
    program->open("b.bmp");
    QTreeView* list = Fmain->O_dir_content1->LV_dir;
    list->setFocus();

    QTest::keyClick(list, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(Fmain->Label_imgname->text(), QString("a.bmp"));
    QTest::keyClick(list, Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(Fmain->Label_imgname->text(), QString("b.bmp"));

    QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(Fmain->O_pgv1->SourceSize(), QSize(80, 50));
    QCOMPARE(Fmain->O_pgv1->SourcePicture().pixel(79, 0), qRgb(0, 0, 255));
    QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(Fmain->O_pgv1->SourcePicture().pixel(0, 0), qRgb(0, 0, 255));

    // F5 loads the picture again with the display's amounts reset.
    Fmain->O_cbs1->Shape_br->setFocus();
    QTest::keyClick(Fmain->O_cbs1->Shape_br, Qt::Key_Right);
    QCOMPARE(Fmain->O_pgv1->Lightness(), 7);
    QTest::keyClick(Fmain->O_cbs1->Shape_br, Qt::Key_F5);
    QCOMPARE(Fmain->O_pgv1->Lightness(), 0);

    // Delete asks about the selected file; a text field keeps its own Delete.
    int asked = 0;
    const auto answerNo = [&asked](QWidget* modal) {
        ++asked;
        ProgramFixture::button(modal, "CancelBtn")->click();
    };
    QVERIFY(program->select("a.bmp"));
    ProgramFixture::whenModal(answerNo);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(asked, 1);
    ProgramFixture::whenModal(answerNo);
    focusAfterDialog(Fmain->Edit_dir);
    QTest::keyClick(Fmain->Edit_dir, Qt::Key_Delete);
    QCOMPARE(asked, 1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(asked, 2);
    QVERIFY(QFile::exists(program->path("pics/a.bmp")));

    // The list's menu from the keyboard, and a menu by its underlined letter.
    focusAfterDialog(list);
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(Fmain->PM_filelist->isVisible());
    Fmain->PM_filelist->close();
    QTest::keyClick(list, Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(Fmain->findChild<QMenu*>("N_File")->isVisible());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!Fmain->findChild<QMenu*>("N_File")->isVisible());

    // Help lists the keys.
    QString listed;
    ProgramFixture::whenModal([&listed](QWidget* modal) {
        listed = modal->findChild<QLabel*>("Label_keys")->text();
        static_cast<QDialog*>(modal)->reject();
    });
    Fmain->NKeyboardShortcuts->trigger();
    for (const char* key :
         {"Space", "Alt+Left", "Ctrl+R", "F5", "Ctrl+C", "Delete", "F11", "Ctrl+Q"})
        QVERIFY2(listed.contains(key), key);

    focusAfterDialog(list);
    QTest::keyClick(list, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!Fmain->isVisible());
}

void TestKeysAndFocus::glassAndMarkerKeys()
{
    program->writePicture("a.bmp", 300, 200);
    program->Start();
    program->open("a.bmp");

    PageViewer* viewer = Fmain->O_pgv1;
    // A click on the picture gives the viewer the focus.
    QTest::mouseClick(viewer->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(focused(), viewer);
    QWidget* glass = viewer->Image_mg;
    const QPoint start = glass->pos();
    QTest::keyClick(viewer, Qt::Key_Right);
    QTest::keyClick(viewer, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(glass->pos(), start + QPoint(1, 10));
    QTest::keyClick(viewer, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(viewer, Qt::Key_Up);
    QCOMPARE(glass->pos(), start + QPoint(-9, 9));
    // A pending step is taken as the glass moves on.
    QTest::mouseClick(Fmain->O_mg_indicator1->SpinButton1Up, Qt::LeftButton);
    QVERIFY(Fmain->O_mg_indicator1->Pending());
    QTest::keyClick(viewer, Qt::Key_Left);
    QVERIFY(!Fmain->O_mg_indicator1->Pending());
    QVERIFY(viewer->WorkingScale() > 1.0);

    BrightnessContrastBar* strips = Fmain->O_cbs1;
    strips->Shape_cn->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 7; ++i)
        QTest::keyClick(strips->Shape_cn, Qt::Key_Left);
    QCOMPARE(viewer->Contrast(), -35);
    QTest::keyClick(strips->Shape_cn, Qt::Key_Right);
    QCOMPARE(viewer->Contrast(), -28);
    QTest::keyClick(strips->Shape_cn, Qt::Key_0);
    QCOMPARE(viewer->Contrast(), 0);
    strips->Shape_br->setFocus(Qt::TabFocusReason);
    QTest::keyClick(strips->Shape_br, Qt::Key_Up);
    QCOMPARE(viewer->Lightness(), 7);
    QCOMPARE(viewer->Contrast(), 0);
}

void TestKeysAndFocus::fullScreen()
{
    program->writePicture("a.bmp", 3000, 2000);
    program->Start();
    program->open("a.bmp");
    Fmain->resize(700, 500);
    const int listWidth = Fmain->PageControl1->width();
    PageViewer* viewer = Fmain->O_pgv1;
    QTRY_COMPARE(viewer->DisplayPicture().size(), viewer->Image1->size());
    const int shownBefore = viewer->ShownSize();

    QTest::keyClick(Fmain->O_dir_content1->LV_dir, Qt::Key_F11);
    QVERIFY(Fmain->windowState() & Qt::WindowFullScreen);
    QVERIFY(Fmain->FullScreen());
    QTRY_COMPARE(Fmain->geometry(), Fmain->screen()->geometry());
    QTRY_COMPARE(viewer->geometry(), QRect(QPoint(0, 0), Fmain->size()));
    for (QWidget* part :
         {static_cast<QWidget*>(Fmain->menuBar()), static_cast<QWidget*>(Fmain->ToolBar1),
          static_cast<QWidget*>(Fmain->statusBar()), static_cast<QWidget*>(Fmain->PageControl1),
          Fmain->Panel_state})
        QVERIFY2(!part->isVisible(), qPrintable(part->objectName()));
    QCOMPARE(focused(), viewer);
    // The picture is fitted to the whole screen, black around it.
    QVERIFY(viewer->ShownSize() > shownBefore);
    const QSize area = viewer->Image1->size();
    QCOMPARE(viewer->DisplayPicture().size(), area);
    const Rect64& shown = viewer->ShownRect();
    QVERIFY(shown.width() <= area.width() && shown.height() <= area.height());
    QVERIFY(shown.width() >= area.width() - 1 || shown.height() >= area.height() - 1);
    QCOMPARE(viewer->DisplayPicture().pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(viewer->DisplayPicture().pixel(area.width() - 1, area.height() - 1), qRgb(0, 0, 0));
    // The glass works, also over the margin, where its corners show the black around.
    viewer->CenterGlassAt(0, 0);
    QTest::keyClick(viewer, Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(viewer->GlassPicture().pixel(0, 0), qRgb(0, 0, 0));
    const int middle = viewer->GlassDiameter() / 2;
    QCOMPARE(viewer->GlassPicture().pixel(middle, middle), qRgb(0, 0, 0));

    QTest::keyClick(viewer, Qt::Key_Escape);
    QTRY_VERIFY(!(Fmain->windowState() & Qt::WindowFullScreen));
    QVERIFY(!Fmain->FullScreen());
    QVERIFY(Fmain->PageControl1->isVisible());
    QVERIFY(Fmain->Panel_state->isVisible());
    QTRY_COMPARE(Fmain->PageControl1->width(), listWidth);
    QTRY_COMPARE(viewer->ShownSize(), shownBefore);
    QCOMPARE(viewer->DisplayPicture().pixel(0, 0), qRgb(255, 255, 255));
}

QTEST_MAIN(TestKeysAndFocus)
#include "tst_keys_and_focus.moc"
