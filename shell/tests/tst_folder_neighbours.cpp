// Which pictures the main window has decoded ahead, without a window.
#include "browse/folder_list_model.h"
#include "shell/folder_neighbours.h"
#include "shell/navigation_history.h"

#include <QtTest>

class TestFolderNeighbours : public QObject
{
    Q_OBJECT

private slots:
    void picturesToDecodeAhead_data();
    void picturesToDecodeAhead();
};

void TestFolderNeighbours::picturesToDecodeAhead_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("history");
    QTest::addColumn<QString>("expected");
    // The folder: "..", sub, a.jpg, notes.txt (no picture), b.bmp, c.jpg.
    QTest::newRow("selected, then next and previous") << 4 << ""
                                                      << ""
                                                      << "b.bmp,c.jpg,a.jpg";
    QTest::newRow("the picture shown is not decoded again") << 4 << "b.bmp"
                                                            << ""
                                                            << "c.jpg,a.jpg";
    QTest::newRow("files that are no pictures passed over") << 2 << "a.jpg"
                                                            << ""
                                                            << "b.bmp";
    QTest::newRow("a folder selected: the next picture") << 1 << ""
                                                         << ""
                                                         << "a.jpg";
    QTest::newRow("last entry: nothing after it") << 5 << "c.jpg"
                                                  << ""
                                                  << "b.bmp";
    QTest::newRow("nothing selected: the history only") << -1 << ""
                                                        << "x.jpg,y.jpg"
                                                        << "x.jpg";
    QTest::newRow("history's Prior after the folder's, once") << 4 << "b.bmp"
                                                              << "x.jpg,a.jpg,b.bmp"
                                                              << "c.jpg,a.jpg";
    QTest::newRow("history's Prior beside the folder's") << 4 << "b.bmp"
                                                         << "x.jpg,b.bmp"
                                                         << "c.jpg,a.jpg,x.jpg";
}

void TestFolderNeighbours::picturesToDecodeAhead()
{
    QFETCH(int, selected);
    QFETCH(QString, shown);
    QFETCH(QString, history);
    QFETCH(QString, expected);
    const std::string folder = "/f/";
    FolderListModel list({}, nullptr);
    list.SetEntries({{"..", FolderEntryKind::Folder},
                     {"sub", FolderEntryKind::Folder},
                     {"a.jpg", FolderEntryKind::Picture},
                     {"notes.txt", FolderEntryKind::File},
                     {"b.bmp", FolderEntryKind::Picture},
                     {"c.jpg", FolderEntryKind::Picture}});
    NavigationHistory opened;
    for (const QString& name : history.split(',', Qt::SkipEmptyParts))
        opened.Add(folder + name.toStdString(), 100, false);
    const std::vector<std::string> pictures = PicturesToDecodeAhead(
        list, selected, folder, shown.isEmpty() ? std::string() : folder + shown.toStdString(),
        opened);
    QStringList names;
    for (const std::string& picture : pictures)
        names << QString::fromStdString(picture.substr(folder.size()));
    QCOMPARE(names.join(','), expected);
}

QTEST_MAIN(TestFolderNeighbours)
#include "tst_folder_neighbours.moc"
