#include "browse/message_window.h"
#include "browse/tests/modal.h"
#include "browse/yes_no_question.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

enum class Reply { YesButton, EnterKey, NoButton, EscKey, CloseBox };

void reply(QWidget* dialog, Reply how)
{
    switch (how) {
    case Reply::YesButton:
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("OKBtn")), Qt::LeftButton);
        break;
    case Reply::EnterKey:
        QTest::keyClick(dialog, Qt::Key_Return);
        break;
    case Reply::NoButton:
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("CancelBtn")),
                          Qt::LeftButton);
        break;
    case Reply::EscKey:
        QTest::keyClick(dialog, Qt::Key_Escape);
        break;
    case Reply::CloseBox:
        dialog->close();
        break;
    }
}

} // namespace

class TestYesNoQuestion : public QObject
{
    Q_OBJECT
private slots:
    void askAnswers_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Yes") << int(Reply::YesButton) << true;
        QTest::newRow("Enter") << int(Reply::EnterKey) << true;
        QTest::newRow("No") << int(Reply::NoButton) << false;
        QTest::newRow("Esc") << int(Reply::EscKey) << false;
        QTest::newRow("close box") << int(Reply::CloseBox) << false;
    }

    void askAnswers()
    {
        QFETCH(int, how);
        QFETCH(bool, expected);
        YesNoQuestion question;
        QString shownQuestion;
        const auto watch = modal::whenShown(QStringLiteral("Fsure"), [&](QWidget* dialog) {
            shownQuestion = dialog->findChild<QLabel*>(QStringLiteral("Label1"))->text();
            reply(dialog, Reply(how));
        });
        QCOMPARE(question.Ask("Clear navigation history?"), expected);
        QCOMPARE(shownQuestion, QStringLiteral("Clear navigation history?"));
        QCOMPARE(question.isVisible(), false);
    }

    // A Yes to one question must not carry over to the next one.
    void answerStartsFalseForEachQuestion()
    {
        YesNoQuestion question;
        const auto watchYes = modal::whenShown(QStringLiteral("Fsure"),
                                               [](QWidget* d) { reply(d, Reply::YesButton); });
        QVERIFY(question.Ask("first"));
        const auto watchEsc = modal::whenShown(QStringLiteral("Fsure"),
                                               [](QWidget* d) { reply(d, Reply::EscKey); });
        QVERIFY(!question.Ask("second"));
        QVERIFY(!question.Answer);
    }

    // A long file name has no space to wrap at: it breaks at the label's right edge and goes on
    // in the next lines instead of being cut off there.
    void longWordWrapsInsideTheLabel()
    {
        YesNoQuestion question;
        QImage shown;
        int lineHeight = 0;
        const auto watch = modal::whenShown(QStringLiteral("Fsure"), [&](QWidget* dialog) {
            auto* label = dialog->findChild<QLabel*>(QStringLiteral("Label1"));
            shown = label->grab().toImage();
            lineHeight = label->fontMetrics().height();
            reply(dialog, Reply::NoButton);
        });
        question.Ask(std::string(100, 'W'));
        QVERIFY(!shown.isNull());
        const QRgb background = shown.pixel(shown.width() - 1, shown.height() - 1);
        int lowestInk = -1;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) != background)
                    lowestInk = y;
        QVERIFY2(lowestInk > 2 * lineHeight, qPrintable(QString::number(lowestInk)));
    }

    void messageClosesWithOk()
    {
        MessageWindow message;
        QString shownText;
        const auto watch = modal::whenShown(QStringLiteral("Dmsg"), [&](QWidget* dialog) {
            shownText = dialog->findChild<QLabel*>(QStringLiteral("Label1"))->text();
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        message.ShowText("Done.");
        QCOMPARE(shownText, QStringLiteral("Done."));
        QVERIFY(!message.isVisible());
    }
};

QTEST_MAIN(TestYesNoQuestion)
#include "tst_yes_no_question.moc"
