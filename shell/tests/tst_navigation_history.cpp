// The history rules, without a window.
#include "shell/navigation_history.h"

#include <QtTest>

#include <string>
#include <vector>

using Entries = std::vector<std::string>;
Q_DECLARE_METATYPE(Entries)

namespace {

Entries split(const QString& text)
{
    Entries entries;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts))
        entries.push_back(part.toStdString());
    return entries;
}

} // namespace

class TestNavigationHistory : public QObject
{
    Q_OBJECT

private slots:
    void addRules_data();
    void addRules();
    void stepIndex_data();
    void stepIndex();
    void assignSelectsNothing();
};

void TestNavigationHistory::addRules_data()
{
    QTest::addColumn<QString>("opened");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("duplicates");
    QTest::addColumn<QString>("expected");

    QTest::newRow("limit 4 keeps the newest") << "/A,/B,/C,/D,/E" << 4 << false << "/B,/C,/D,/E";
    QTest::newRow("reopening moves to the end")
        << "/A,/B,/C,/D,/E,/C" << 4 << false << "/B,/D,/E,/C";
    QTest::newRow("duplicates: newest not repeated") << "/A,/A,/B,/A" << 50 << true << "/A,/B,/A";
    QTest::newRow("no duplicates: one entry each") << "/A,/B,/A,/B,/A" << 50 << false << "/B,/A";
    // Linux names are case-sensitive, so two spellings are two files.
    QTest::newRow("letter case is another file")
        << "/x/a.jpg,/X/A.JPG" << 50 << false << "/x/a.jpg,/X/A.JPG";
    QTest::newRow("lowered limit trims at the next addition")
        << "/A,/B,/C,/D,/E,/F" << 150 << false << "/A,/B,/C,/D,/E,/F";
}

void TestNavigationHistory::addRules()
{
    QFETCH(QString, opened);
    QFETCH(int, limit);
    QFETCH(bool, duplicates);
    QFETCH(QString, expected);

    NavigationHistory history;
    for (const std::string& path : split(opened))
        history.Add(path, limit, duplicates);
    QCOMPARE(history.Entries(), split(expected));
    QCOMPARE(history.Selected(), history.Count() - 1);

    if (limit == 150) {
        history.Add("/G", 4, duplicates);
        QCOMPARE(history.Entries(), split("/D,/E,/F,/G"));
        QCOMPARE(history.Selected(), 3);
    }
}

void TestNavigationHistory::stepIndex_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("canBack");
    QTest::addColumn<bool>("canForward");

    QTest::newRow("none selected, Next opens the oldest") << 3 << -1 << true << 0 << false << true;
    QTest::newRow("none selected, Prior stays at none") << 3 << -1 << false << -1 << false << true;
    QTest::newRow("first selected, Prior leaves none") << 3 << 0 << false << -1 << false << true;
    QTest::newRow("last selected, Next stays") << 3 << 2 << true << 2 << true << false;
    QTest::newRow("middle") << 3 << 1 << false << 0 << true << true;
    QTest::newRow("empty list") << 0 << -1 << true << -1 << false << false;
}

void TestNavigationHistory::stepIndex()
{
    QFETCH(int, count);
    QFETCH(int, selected);
    QFETCH(bool, forward);

    NavigationHistory history;
    Entries stored;
    for (int i = 0; i < count; ++i)
        stored.push_back("/p" + std::to_string(i));
    history.Assign(stored);
    history.Select(selected);
    QTEST(history.StepIndex(forward), "expected");
    QTEST(history.CanStepBack(), "canBack");
    QTEST(history.CanStepForward(), "canForward");
}

void TestNavigationHistory::assignSelectsNothing()
{
    NavigationHistory history;
    history.Add("/A", 50, false);
    Entries stored;
    for (int i = 0; i < 20; ++i)
        stored.push_back("/h" + std::to_string(i));
    history.Assign(stored);
    QCOMPARE(history.Count(), 20);
    QCOMPARE(history.Selected(), -1);
    QCOMPARE(history.SelectedEntry(), std::string());

    history.Select(25);
    QCOMPARE(history.Selected(), -1);
    history.Add("/new", 4, false);
    QCOMPARE(history.Entries(), split("/h17,/h18,/h19,/new"));
}

QTEST_APPLESS_MAIN(TestNavigationHistory)
#include "tst_navigation_history.moc"
