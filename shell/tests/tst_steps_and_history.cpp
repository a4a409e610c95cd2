// The magnification steps with their indicator, and the navigation history, driven through
// the main window's controls.
#include "program_fixture.h"

#include "shell/elided_text.h"
#include "shell/history_box.h"

#include "viewer/magnification_indicator.h"
#include "viewer/page_viewer.h"
#include "viewer/shape_bar.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

void turnWheel(QWidget* widget, int delta)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

void click(QAbstractButton* button, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(button, Qt::LeftButton);
}

// Makes the picture area Width x Height by resizing the window around it.
bool setPictureArea(int width, int height)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QSize area = Fmain->O_pgv1->Image1->size();
        if (area == QSize(width, height))
            return true;
        Fmain->resize(Fmain->size() + QSize(width - area.width(), height - area.height()));
        QCoreApplication::processEvents();
    }
    return Fmain->O_pgv1->Image1->size() == QSize(width, height);
}

} // namespace

class TestStepsAndHistory : public QObject
{
    Q_OBJECT

private slots:
    void init() { program = std::make_unique<ProgramFixture>(); }
    void cleanup() { program.reset(); }

    void noPictureNoStep();
    void stepLimitsAndApply();
    void wheelSteps();
    void dragAppliesPendingStep();
    void indicatorPercentages();
    void historyLimit();
    void historyDuplicates();
    void priorAndNextAtBothEnds();
    void deletedPictureEntry();
    void clearedHistory();
    void historyKeepsNameBytes();
    void lostPictureIsAFailedLoad();
    void historyShowsFileNames();

private:
    MagnificationIndicator* indicator() const { return Fmain->O_mg_indicator1; }
    void openPictures(const QStringList& names);
    QString pic(const QString& name) const { return program->path("pics/" + name); }

    std::unique_ptr<ProgramFixture> program;
};

void TestStepsAndHistory::openPictures(const QStringList& names)
{
    for (const QString& name : names) {
        if (!QFile::exists(pic(name)))
            program->writePicture(name, 40, 30);
    }
    Fmain->PRefreshClick();
    for (const QString& name : names)
        program->open(name);
}

void TestStepsAndHistory::noPictureNoStep()
{
    program->Start();
    click(indicator()->SpinButton1Up);
    click(indicator()->SpinButton1Down);
    turnWheel(Fmain, -120);
    click(indicator()->SpeedButton1);
    QCOMPARE(Fmain->PendingFactor(), 1.0);
    QVERIFY(!indicator()->Pending());
    QVERIFY(!indicator()->SpeedButton2->isEnabled());
    QCOMPARE(Fmain->O_pgv1->WorkingScale(), 1.0);
}

void TestStepsAndHistory::stepLimitsAndApply()
{
    program->writePicture("a.bmp", 200, 100);
    program->Start();
    program->open("a.bmp");
    const QString percent = indicator()->Label_absolute->text();

    click(indicator()->SpinButton1Up);
    QVERIFY(indicator()->Pending());
    QVERIFY(indicator()->SpeedButton2->isEnabled());
    QCOMPARE(indicator()->Label_absolute->text(), percent);
    QVERIFY(qFuzzyCompare(Fmain->O_pgv1->PendingInverse(), 1 / 0.9));

    click(indicator()->SpeedButton2);
    QVERIFY(!indicator()->Pending());
    QVERIFY(!indicator()->SpeedButton2->isEnabled());
    QVERIFY(qFuzzyCompare(Fmain->O_pgv1->WorkingScale(), 1 / 0.9));

    click(indicator()->SpinButton1Up, 10);
    QCOMPARE(Fmain->PendingFactor(), 0.1);
    click(indicator()->SpinButton1Down, 30);
    QCOMPARE(Fmain->PendingFactor(), 3.0);

    // "Set default" discards the step and goes back to the picture's own size.
    click(indicator()->SpeedButton1);
    QVERIFY(!indicator()->Pending());
    QCOMPARE(Fmain->PendingFactor(), 1.0);
    QCOMPARE(Fmain->O_pgv1->WorkingScale(), 1.0);
    QCOMPARE(Fmain->O_pgv1->WorkingSize(), QSize(200, 100));
}

void TestStepsAndHistory::wheelSteps()
{
    program->writePicture("a.bmp", 200, 100);
    program->Start();
    program->open("a.bmp");
    // Towards the user magnifies more, one step per message whatever its size. (The
    // platform passes a wheel turned over the picture on to the window; a synthesised one
    // goes to the window itself.)
    turnWheel(Fmain, -360);
    QVERIFY(qFuzzyCompare(Fmain->PendingFactor(), 0.9));
    turnWheel(Fmain, 120);
    turnWheel(Fmain, 120);
    QVERIFY(qFuzzyCompare(Fmain->PendingFactor(), 1.1));
    QVERIFY(indicator()->Pending());
}

void TestStepsAndHistory::dragAppliesPendingStep()
{
    program->writePicture("a.bmp", 200, 100);
    program->Start();
    program->open("a.bmp");
    click(indicator()->SpinButton1Up);
    ImageControl* glass = Fmain->O_pgv1->Image_mg;
    const QPoint start(glass->width() / 2, glass->height() / 2);
    QTest::mousePress(glass, Qt::LeftButton, {}, start);
    QVERIFY(indicator()->Pending());
    QTest::mouseMove(glass, start + QPoint(5, 3));
    QTRY_VERIFY(!indicator()->Pending());
    QVERIFY(qFuzzyCompare(Fmain->O_pgv1->WorkingScale(), 1 / 0.9));
    QTest::mouseRelease(glass, Qt::LeftButton, {}, start + QPoint(5, 3));
}

void TestStepsAndHistory::indicatorPercentages()
{
    program->writePicture("big.bmp", 1000, 800);
    program->writePicture("small.bmp", 200, 100);
    program->Start();
    QVERIFY(setPictureArea(439, 162));

    program->open("small.bmp");
    QCOMPARE(indicator()->Label_absolute->text(), QString("100%"));

    program->open("big.bmp");
    QCOMPARE(Fmain->O_pgv1->ShownSize(), 202);
    QCOMPARE(indicator()->Label_absolute->text(), QString("500%"));

    click(indicator()->SpinButton1Up, 5);
    QCOMPARE(indicator()->Label_absolute->text(), QString("500%"));
    click(indicator()->SpeedButton2);
    QCOMPARE(Fmain->O_pgv1->WorkingSize(), QSize(2000, 1600));
    QCOMPARE(indicator()->Label_absolute->text(), QString("1000%"));

    // A larger pane shows the picture larger: the bars and the percentage follow.
    QVERIFY(setPictureArea(539, 262));
    QCOMPARE(Fmain->O_pgv1->ShownSize(), 328);
    QCOMPARE(indicator()->Shape_shown->width(), 23); // 140 x 328 / 2000
    QCOMPARE(indicator()->Label_absolute->text(), QString("609%")); // 140 / 23
}

void TestStepsAndHistory::historyLimit()
{
    program->Start();
    // The limit is read from the dialog's control at each addition.
    D_settings_user->SE_history->setValue(4);
    openPictures({"A.bmp", "B.bmp", "C.bmp", "D.bmp", "E.bmp"});
    QCOMPARE(program->history(),
             QStringList({pic("B.bmp"), pic("C.bmp"), pic("D.bmp"), pic("E.bmp")}));
    QCOMPARE(Fmain->CB_history->currentIndex(), 3);

    openPictures({"C.bmp"});
    QCOMPARE(program->history(),
             QStringList({pic("B.bmp"), pic("D.bmp"), pic("E.bmp"), pic("C.bmp")}));
    QCOMPARE(Fmain->CB_history->currentIndex(), 3);
    QCOMPARE(Fmain->CB_history->currentText(), pic("C.bmp"));
}

void TestStepsAndHistory::historyDuplicates()
{
    program->Start();
    D_settings_user->CB_dup_allowed->setChecked(true);
    openPictures({"A.bmp", "A.bmp", "B.bmp", "A.bmp"});
    QCOMPARE(program->history(), QStringList({pic("A.bmp"), pic("B.bmp"), pic("A.bmp")}));
    QCOMPARE(Fmain->CB_history->currentIndex(), 2);
}

void TestStepsAndHistory::priorAndNextAtBothEnds()
{
    program->Start();
    openPictures({"A.bmp", "B.bmp", "C.bmp"});
    QVERIFY(Fmain->TB_prior->isEnabled());
    QVERIFY(!Fmain->TB_next->isEnabled());

    click(Fmain->TB_prior, 2);
    QCOMPARE(Fmain->CB_history->currentIndex(), 0);
    QCOMPARE(Fmain->Label_imgname->text(), QString("A.bmp"));
    QCOMPARE(Fmain->ImageFileName(), program->bytes("pics/A.bmp"));
    QVERIFY(!Fmain->TB_prior->isEnabled());
    QVERIFY(Fmain->TB_next->isEnabled());
    // Choosing entries only moves the selection.
    QCOMPARE(program->history().size(), 3);

    // Stepping back from the first entry selects none and changes nothing else.
    Fmain->NavigationClick(Fmain->TB_prior);
    QCOMPARE(Fmain->CB_history->currentIndex(), -1);
    QCOMPARE(Fmain->Label_imgname->text(), QString("A.bmp"));

    click(Fmain->TB_next);
    QCOMPARE(Fmain->CB_history->currentIndex(), 0);
    click(Fmain->TB_next, 5);
    QCOMPARE(Fmain->CB_history->currentIndex(), 2);
    QCOMPARE(Fmain->Label_imgname->text(), QString("C.bmp"));
    QVERIFY(!Fmain->TB_next->isEnabled());

    // Opening from the list after stepping back appends; later entries stay.
    click(Fmain->TB_prior, 2);
    openPictures({"D.bmp"});
    QCOMPARE(program->history(),
             QStringList({pic("A.bmp"), pic("B.bmp"), pic("C.bmp"), pic("D.bmp")}));
}

void TestStepsAndHistory::deletedPictureEntry()
{
    program->Start();
    openPictures({"A.bmp", "B.bmp"});
    QVERIFY(QFile::remove(pic("A.bmp")));
    program->chooseFolder(program->path("bin"));

    // Chosen with the keyboard on the closed list.
    Fmain->CB_history->setFocus();
    QTest::keyClick(Fmain->CB_history, Qt::Key_Up);
    QCOMPARE(Fmain->CB_history->currentIndex(), 0);
    QCOMPARE(Fmain->Edit_dir->text(), program->path("pics") + '/');
    QVERIFY(!Fmain->ImageLoaded());
    QCOMPARE(Fmain->ImageFileName(), std::string());
    QCOMPARE(Fmain->Label_imgname->text(), QString());
    QVERIFY(!Fmain->TB_refresh->isEnabled());
    QCOMPARE(program->history().size(), 2);
    QCOMPARE(Fmain->statusBar()->currentMessage(), "Not found: " + pic("A.bmp"));

    QTest::keyClick(Fmain->CB_history, Qt::Key_Down);
    QVERIFY(Fmain->ImageLoaded());
    QCOMPARE(Fmain->Label_imgname->text(), QString("B.bmp"));
}

void TestStepsAndHistory::clearedHistory()
{
    program->Start();
    openPictures({"A.bmp", "B.bmp"});
    ProgramFixture::whenModal(
        [](QWidget* modal) { ProgramFixture::button(modal, "OKBtn")->click(); });
    D_settings_user->SB_clear_history->click();
    QCOMPARE(Fmain->CB_history->count(), 0);
    QVERIFY(Fmain->ImageLoaded());
    QCOMPARE(Fmain->Label_imgname->text(), QString("B.bmp"));

    Fmain->NavigationClick(Fmain->TB_next);
    QCOMPARE(Fmain->CB_history->currentIndex(), -1);
    QVERIFY(Fmain->ImageLoaded());

    program->Restart();
    QCOMPARE(Fmain->CB_history->count(), 0);
}

void TestStepsAndHistory::historyKeepsNameBytes()
{
    // A name that is not valid UTF-8 must come back byte for byte, also after a restart.
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::yellow);
    QVERIFY(picture.save(program->path("pics/plain.jpg"), "JPG"));
    const std::string odd = program->bytes("pics") + "/caf\xe9.jpg";
    std::filesystem::rename(program->bytes("pics/plain.jpg"), odd);
    program->Start();
    program->open(QString::fromUtf8("caf\xe9.jpg"));
    QVERIFY(Fmain->ImageLoaded());
    QCOMPARE(Fmain->History().Entries(), std::vector<std::string>({odd}));

    program->Restart();
    QCOMPARE(Fmain->History().Entries(), std::vector<std::string>({odd}));
    QTest::mouseClick(Fmain->TB_next, Qt::LeftButton);
    QVERIFY(Fmain->ImageLoaded());
    QCOMPARE(Fmain->ImageFileName(), odd);
}

// A picture shown reduced whose full decode fails, as the viewer reports it, ends as a failed
// load: the history as before the load, the indicator as for no picture.
void TestStepsAndHistory::lostPictureIsAFailedLoad()
{
    program->writePicture("a.bmp", 40, 30);
    program->writeFile("pics/bad.jpg", QByteArray("\xFF\xD8\xFF\xC0\x00\x02garbage", 13));
    QVERIFY(QImage(3600, 2400, QImage::Format_RGB32).save(pic("big.jpg"), "JPEG"));
    program->Start();
    openPictures({"a.bmp", "bad.jpg"});
    const QStringList history = program->history();
    const QString percent = indicator()->Label_absolute->text();
    const int bar = indicator()->Shape_original->width();

    program->open("big.jpg");
    QCOMPARE(program->history(), QStringList({pic("a.bmp"), pic("big.jpg")}));
    Fmain->O_pgv1->ClearPicture();
    Fmain->O_pgv1->OnPictureLost();
    QVERIFY(!Fmain->ImageLoaded());
    QCOMPARE(program->history(), history);
    QCOMPARE(Fmain->CB_history->currentIndex(), 0);
    QVERIFY(!Fmain->TB_next->isEnabled());
    QCOMPARE(indicator()->Label_absolute->text(), percent);
    QCOMPARE(indicator()->Shape_original->width(), bar);
}

// A path longer than the box shows its end, the file name, and the whole path in the tooltip.
void TestStepsAndHistory::historyShowsFileNames()
{
    const QString folder = program->path("pics/" + QString(60, 'f'));
    QVERIFY(QDir().mkpath(folder));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(folder + "/A.bmp", "BMP"));
    program->Start();
    program->chooseFolder(folder);
    QVERIFY(program->select("A.bmp"));
    QTest::keyClick(Fmain->O_dir_content1->LV_dir, Qt::Key_Return);

    auto* box = dynamic_cast<HistoryBox*>(Fmain->CB_history);
    QVERIFY(box);
    const QString path = folder + "/A.bmp";
    QCOMPARE(box->currentText(), path);
    QVERIFY2(box->ShownText().startsWith(QChar(0x2026)), qPrintable(box->ShownText()));
    QVERIFY2(box->ShownText().endsWith("f/A.bmp"), qPrintable(box->ShownText()));
    QCOMPARE(box->view()->textElideMode(), Qt::ElideLeft);
    QCOMPARE(box->model()->index(0, 0).data(Qt::ToolTipRole).toString(), path);
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), box->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(box, &help);
    QTRY_COMPARE(QToolTip::text(), path);
}

QTEST_MAIN(TestStepsAndHistory)
#include "tst_steps_and_history.moc"
