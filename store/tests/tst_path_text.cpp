// Path texts: folder and name, the picture names the folder list offers, the history's
// path form.
#include "store/path_text.h"

#include <QTest>

class TestPathText : public QObject
{
    Q_OBJECT

private slots:
    void folderAndName_data();
    void folderAndName();
    void expandedPath();
};

void TestPathText::folderAndName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");

    QTest::newRow("nested") << "/photos/2004/img.jpg"
                            << "/photos/2004"
                            << "img.jpg";
    QTest::newRow("at the root") << "/img.jpg"
                                 << "/"
                                 << "img.jpg";
    QTest::newRow("no folder") << "img.jpg"
                               << ""
                               << "img.jpg";
    QTest::newRow("backslash is a name byte") << "/a\\b.jpg"
                                              << "/"
                                              << "a\\b.jpg";
}

void TestPathText::folderAndName()
{
    QFETCH(QString, path);
    QTEST(QString::fromStdString(FolderOfPath(path.toStdString())), "folder");
    QTEST(QString::fromStdString(FileNamePart(path.toStdString())), "name");
}

void TestPathText::expandedPath()
{
    QCOMPARE(ExpandHistoryPath(" \t/a/./b/../c.jpg\r\n"), std::string("/a/c.jpg"));
    QCOMPARE(ExpandHistoryPath("  "), std::string());
    QVERIFY(SamePath("/a/b.jpg", "/a/b.jpg"));
    QVERIFY(!SamePath("/a/b.jpg", "/A/B.JPG"));
}

QTEST_APPLESS_MAIN(TestPathText)
#include "tst_path_text.moc"
