#include "browse/tests/modal.h"
#include "browse/yes_no_question.h"
#include "settings/color_box.h"
#include "settings/settings_dialog.h"
#include "settings/tests/settings_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>

#include <memory>

namespace fs = std::filesystem;

namespace {

void click(QWidget* dialog, const char* buttonName)
{
    QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(buttonName)),
                      Qt::LeftButton);
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        file = freshSettingsFile(dir);
        QVERIFY(dir->isValid());
        writeFile(
            file,
            "\r\n<SETTINGS MG_DIAMETER=\"90\">\r\n\t<HISTORY>\r\n\t\t<HIT HIT_FILE=\"/a.jpg\"/>"
            "\r\n\t\t<HIT HIT_FILE=\"/b.jpg\"/>\r\n\t</HISTORY>\r\n</SETTINGS>");
        settings = std::make_unique<SettingsDialog>(
            &history, &window, [this](const std::string& q) { return sure.Ask(q); }, file.string());
    }

    void cleanup() { settings.reset(); }

    void okStoresTheControlsAndCancelDoesNot_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("OK") << QByteArray("OKBtn") << int(QDialog::Accepted) << QByteArray("80");
        QTest::newRow("Cancel") << QByteArray("CancelBtn") << int(QDialog::Rejected)
                                << QByteArray("90");
    }

    void okStoresTheControlsAndCancelDoesNot()
    {
        QFETCH(QByteArray, button);
        QFETCH(int, result);
        QFETCH(QByteArray, stored);
        const auto watch
            = modal::whenShown(QStringLiteral("D_settings_user"), [&button](QWidget* dialog) {
                  auto* diameter = dialog->findChild<QSpinBox*>(QStringLiteral("SE_mgd"));
                  for (int i = 0; i < 10; ++i)
                      QTest::keyClick(diameter, Qt::Key_Down);
                  click(dialog, button.constData());
              });
        QCOMPARE(settings->exec(), result);
        // Whatever the button, the live control keeps what was entered ...
        QCOMPARE(settings->SE_mgd->value(), 80);
        QCOMPARE(settings->Settings.ReadAttribute("MG_DIAMETER"), stored.toStdString());
        const bool written = readFile(file).find("MG_DIAMETER=\"80\"") != std::string::npos;
        QCOMPARE(written, button == "OKBtn");

        // ... until the dialog is shown again and reloads the stored value.
        int shownOnReopen = 0;
        const auto reopen = modal::whenShown(
            QStringLiteral("D_settings_user"), [&shownOnReopen](QWidget* dialog) {
                shownOnReopen = dialog->findChild<QSpinBox*>(QStringLiteral("SE_mgd"))->value();
                click(dialog, "CancelBtn");
            });
        settings->exec();
        QCOMPARE(shownOnReopen, stored.toInt());
    }

    void spinEditsStayWithinTheirLimits()
    {
        QTest::keyClick(settings->SE_mgd, Qt::Key_End);
        for (int i = 0; i < 70; ++i)
            QTest::keyClick(settings->SE_mgd, Qt::Key_Up);
        QCOMPARE(settings->SE_mgd->value(), 150);
        // Typing is disabled, and there are no steps other than one.
        QTest::keyClicks(settings->SE_mgd, "45");
        QTest::keyClick(settings->SE_mgd, Qt::Key_PageDown);
        QWheelEvent wheel(QPointF(5, 5), settings->SE_mgd->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(settings->SE_mgd, &wheel);
        QCOMPARE(settings->SE_mgd->value(), 150);
        for (int i = 0; i < 200; ++i)
            QTest::keyClick(settings->SE_history, Qt::Key_Down);
        QCOMPARE(settings->SE_history->value(), 4);
    }

    void borderCheckEnablesTheColourListAndKeepsItsColour()
    {
        settings->CB_border->click();
        QVERIFY(settings->CCB1->isEnabled());
        settings->CCB1->setCurrentIndex(12);
        settings->CB_border->click();
        QVERIFY(!settings->CCB1->isEnabled());
        QCOMPARE(settings->CCB1->Color(), RgbColor(0xFF0000));
        settings->CommitSettings();
        QCOMPARE(settings->Settings.ReadAttribute("MG_BORDER_COLOR"), std::string("#0000FF"));
        QCOMPARE(settings->Settings.ReadAttribute("USE_MG_BORDER"), std::string());
    }

    void colourOutsideTheSixteenIsWrittenBackUnchanged_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("not standard") << QByteArray("#123456") << -1 << QByteArray("#123456");
        QTest::newRow("standard") << QByteArray("#808000") << 3 << QByteArray("#808000");
        QTest::newRow("lower case") << QByteArray("#c0c0c0") << 8 << QByteArray("#C0C0C0");
        QTest::newRow("invalid") << QByteArray("red") << 0 << QByteArray("#000000");
    }

    void colourOutsideTheSixteenIsWrittenBackUnchanged()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, entry);
        QFETCH(QByteArray, written);
        settings->Settings.WriteAttribute("MG_BORDER_COLOR", text.toStdString());
        const auto watch = modal::whenShown(QStringLiteral("D_settings_user"),
                                            [](QWidget* dialog) { click(dialog, "OKBtn"); });
        settings->exec();
        QCOMPARE(settings->CCB1->currentIndex(), entry);
        QCOMPARE(settings->Settings.ReadAttribute("MG_BORDER_COLOR"), written.toStdString());
    }

    void pickingAnEntryReplacesAColourOutsideTheList()
    {
        settings->CCB1->SetColor(0x563412);
        settings->CB_border->setChecked(true);
        QTest::keyClick(settings->CCB1, Qt::Key_Down);
        QCOMPARE(settings->CCB1->currentIndex(), 0);
        QCOMPARE(settings->CCB1->Color(), RgbColor(0));
    }

    // While the dialog is open, the question box takes the focus; when it closes the dialog
    // becomes active again and shows the stored values.
    void clearHistoryAsksFirst_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("left");
        QTest::newRow("Yes") << true << 0;
        QTest::newRow("No") << false << 2;
    }

    void clearHistoryAsksFirst()
    {
        QFETCH(bool, yes);
        QFETCH(int, left);
        int diameterAfterQuestion = 0;
        QString question;
        const auto watch = modal::whenShown(
            QStringLiteral("D_settings_user"), [&](QWidget* dialog) {
                dialog->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
                dialog->findChild<QSpinBox*>(QStringLiteral("SE_mgd"))->setValue(80);
                const auto answer
                    = modal::whenShown(QStringLiteral("Fsure"), [&, yes](QWidget* questionWindow) {
                          question = sure.findChild<QLabel*>(QStringLiteral("Label1"))->text();
                          click(questionWindow, yes ? "OKBtn" : "CancelBtn");
                      });
                click(dialog, "SB_clear_history");
                QTRY_VERIFY(dialog->isActiveWindow());
                diameterAfterQuestion
                    = dialog->findChild<QSpinBox*>(QStringLiteral("SE_mgd"))->value();
                click(dialog, "CancelBtn");
            });
        QCOMPARE(history.Count(), 2);
        settings->exec();
        QCOMPARE(question, QStringLiteral("Clear navigation history?"));
        QCOMPARE(history.Count(), left);
        QCOMPARE(diameterAfterQuestion, 90);
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    fs::path file;
    FakeHistory history;
    FakeWindow window;
    YesNoQuestion sure;
    std::unique_ptr<SettingsDialog> settings;
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settings_dialog.moc"
