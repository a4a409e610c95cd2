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
    void pictureNames_data();
    void pictureNames();
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

void TestPathText::pictureNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("picture");

    QTest::newRow("JPEG upper") << "/f/a.JPEG" << true;
    QTest::newRow("gif lower") << "/f/b.gif" << true;
    QTest::newRow("mixed case jpg") << "/f/x.JpG" << true;
    QTest::newRow("all the others") << "/f/a.bmp" << true;
    QTest::newRow("dib") << "/f/a.dib" << true;
    QTest::newRow("wmf") << "/f/a.wmf" << true;
    QTest::newRow("emf") << "/f/a.Emf" << true;
    for (const char* listed : {"/f/c.Tif", "/f/c.tiff", "/f/s.png", "/f/w.WebP", "/f/d.svg",
                               "/f/p.HEIC", "/f/p.heif", "/f/p.avif", "/f/x.jxl"})
        QTest::newRow(listed) << listed << true;
    QTest::newRow("compressed drawings are not read") << "/f/d.svgz" << false;
    QTest::newRow("icons are not listed") << "/f/c.ico" << false;
    QTest::newRow("no extension") << "/f/d" << false;
    QTest::newRow("dot only in the folder") << "/f.jpg/d" << false;
    QTest::newRow("extension after another") << "/f/a.jpg.txt" << false;
}

void TestPathText::pictureNames()
{
    QFETCH(QString, name);
    QTEST(IsPictureFileName(name.toStdString()), "picture");
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
