#include "about/about_box.h"
#include "browse/tests/modal.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestAboutBox : public QObject
{
    Q_OBJECT
private slots:
    void keysThatClose_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }

    // Btn_ok has the focus when the box opens, so Enter and Space close it through Btn_ok.
    void keysThatClose()
    {
        QFETCH(int, key);
        AboutBox about([] { return std::string("1.4"); });
        QWidget* focused = nullptr;
        const auto watch = modal::whenShown(QStringLiteral("F_about"), [&](QWidget*) {
            focused = QApplication::focusWidget();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        });
        about.ShowAbout();
        QCOMPARE(focused, about.findChild<QPushButton*>(QStringLiteral("Btn_ok")));
        QVERIFY(!about.isVisible());
    }

    void escapeDoesNotClose()
    {
        AboutBox about([] { return std::string("1.4"); });
        bool openAfterEscape = false;
        const auto watch = modal::whenShown(QStringLiteral("F_about"), [&](QWidget* box) {
            QTest::keyClick(box, Qt::Key_Escape);
            QApplication::processEvents();
            openAfterEscape = box->isVisible();
            box->findChild<QPushButton*>(QStringLiteral("Btn_ok"))->click();
        });
        about.ShowAbout();
        QVERIFY(openAfterEscape);
    }

    void versionShownAtEveryOpening()
    {
        AboutBox standard;
        QString shownByDefault;
        const auto watchDefault
            = modal::whenShown(QStringLiteral("F_about"), [&shownByDefault](QWidget* box) {
                  shownByDefault = box->findChild<QLabel*>(QStringLiteral("Label_version"))->text();
                  box->findChild<QPushButton*>(QStringLiteral("Btn_ok"))->click();
              });
        standard.ShowAbout();
        QCOMPARE(shownByDefault, QStringLiteral("1.4"));

        int asked = 0;
        AboutBox about([&asked] {
            ++asked;
            return std::string("1.4");
        });
        for (int opening = 1; opening <= 2; ++opening) {
            QString shown;
            const auto watch = modal::whenShown(QStringLiteral("F_about"), [&shown](QWidget* box) {
                shown = box->findChild<QLabel*>(QStringLiteral("Label_version"))->text();
                box->findChild<QPushButton*>(QStringLiteral("Btn_ok"))->click();
            });
            about.ShowAbout();
            QCOMPARE(shown, QStringLiteral("1.4"));
            QCOMPARE(asked, opening);
        }
    }

    void linkOpensTheWebPageAndTheBoxStays()
    {
        AboutBox about([] { return std::string("1.4"); });
        QList<QUrl> opened;
        about.SetUrlOpener([&opened](const QUrl& url) { opened.append(url); });
        bool openAfterClick = false;
        QString shownAddress;
        const auto watch = modal::whenShown(QStringLiteral("F_about"), [&](QWidget* box) {
            auto* link = box->findChild<QLabel*>(QStringLiteral("Label_http"));
            shownAddress = link->text();
            QTest::mouseClick(link, Qt::LeftButton);
            openAfterClick = box->isVisible();
            box->findChild<QPushButton*>(QStringLiteral("Btn_ok"))->click();
        });
        about.ShowAbout();
        QCOMPARE(opened, QList<QUrl> {AboutBox::WebPage()});
        QCOMPARE(shownAddress, AboutBox::WebPage().toString());
        QVERIFY(openAfterClick);
    }
};

QTEST_MAIN(TestAboutBox)
#include "tst_about_box.moc"
