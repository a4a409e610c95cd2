// Two programs on one settings file keep each other's history: each save merges what the
// other added since this one read the file.
#include "settings/history_merge.h"
#include "settings/settings_dialog.h"
#include "settings/tests/settings_fixture.h"

#include <QTest>

using Entries = std::vector<std::string>;

// "a b c" as three entries.
static Entries entries(const QByteArray& words)
{
    Entries list;
    for (const QByteArray& word : words.split(' '))
        list.push_back(word.toStdString());
    return list;
}

class TestHistoryMerge : public QObject
{
    Q_OBJECT
private slots:
    void merge_data()
    {
        QTest::addColumn<QByteArray>("read");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("ours");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("duplicates");
        QTest::addColumn<QByteArray>("merged");
        QTest::newRow("nobody else wrote")
            << QByteArray("x y") << QByteArray("x y") << QByteArray("x y a") << 50 << false
            << QByteArray("x y a");
        QTest::newRow("the other added pictures too")
            << QByteArray("x y") << QByteArray("x y b1 b2") << QByteArray("y x a") << 50 << false
            << QByteArray("y x b1 b2 a");
        QTest::newRow("the other cleared its history")
            << QByteArray("x y") << QByteArray("b") << QByteArray("x y a") << 50 << false
            << QByteArray("b a");
        QTest::newRow("the merge is held to the limit")
            << QByteArray("x1 x2 x3") << QByteArray("x1 x2 x3 b") << QByteArray("x1 x2 x3 a") << 4
            << false << QByteArray("x2 x3 b a");
        QTest::newRow("nothing added: a long history stays whole")
            << QByteArray("x1 x2 x3") << QByteArray("x1 x2 x3") << QByteArray("x1 x2 x3 a") << 2
            << false << QByteArray("x1 x2 x3 a");
        QTest::newRow("both opened one picture")
            << QByteArray("x") << QByteArray("x p") << QByteArray("x p") << 50 << false
            << QByteArray("x p");
        QTest::newRow("both opened one picture, duplicates allowed")
            << QByteArray("x") << QByteArray("x p") << QByteArray("x p") << 50 << true
            << QByteArray("x p p");
    }

    void merge()
    {
        QFETCH(QByteArray, read);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, ours);
        QFETCH(int, limit);
        QFETCH(bool, duplicates);
        QFETCH(QByteArray, merged);
        QCOMPARE(MergeHistory(entries(read), entries(stored), entries(ours), limit, duplicates),
                 entries(merged));
    }

    // Window A opens one picture, window B another; B confirms its settings dialog after A
    // has closed, then closes too: the file keeps both pictures.
    void twoProgramsOnOneFile()
    {
        std::unique_ptr<QTemporaryDir> dir;
        const std::filesystem::path file = freshSettingsFile(dir);
        writeFile(file,
                  "\r\n<SETTINGS>\r\n\t<HISTORY>\r\n\t\t<HIT HIT_FILE=\"/x.jpg\"/>\r\n\t"
                  "</HISTORY>\r\n</SETTINGS>");
        FakeWindow window;
        FakeHistory historyA, historyB, loaded;
        auto a = std::make_unique<SettingsDialog>(&historyA, &window, nullptr, file.string());
        auto b = std::make_unique<SettingsDialog>(&historyB, &window, nullptr, file.string());
        historyA.Append("/a.jpg");
        historyB.Append("/b.jpg");
        a->StoreHistory();
        a.reset();
        b->CommitSettings();
        b->StoreHistory();
        b.reset();
        SettingsDialog after(&loaded, &window, nullptr, file.string());
        QCOMPARE(loaded.entries, entries("/x.jpg /a.jpg /b.jpg"));
    }
};

QTEST_MAIN(TestHistoryMerge)
#include "tst_history_merge.moc"
