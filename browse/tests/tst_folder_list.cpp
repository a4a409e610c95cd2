#include "browse/folder_list.h"
#include "store/tests/without_file_capabilities.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

bool isPictureName(const std::string& path)
{
    for (const char* extension : {".jpg", ".JPG", ".gif"}) {
        const std::string ext(extension);
        if (path.size() >= ext.size()
            && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
            return true;
    }
    return false;
}

void touch(const std::string& path)
{
    std::ofstream(path) << "x";
}

} // namespace

class TestFolderList : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir temp;
    std::string root; // the temporary folder, with its trailing delimiter

    std::string path(const std::string& name) const { return root + name; }

    static QStringList captions(const FolderList& frame)
    {
        QStringList list;
        const QAbstractItemModel* model = frame.LV_dir->model();
        for (int row = 0; row < model->rowCount(); ++row)
            list << model->index(row, 0).data().toString();
        return list;
    }

    static QModelIndex rowOf(const FolderList& frame, const QString& caption)
    {
        const QAbstractItemModel* model = frame.LV_dir->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, 0).data().toString() == caption)
                return model->index(row, 0);
        }
        return {};
    }

    static void click(FolderList& frame, const QModelIndex& index)
    {
        frame.LV_dir->scrollTo(index);
        QTest::mouseClick(frame.LV_dir->viewport(), Qt::LeftButton, {},
                          frame.LV_dir->visualRect(index).center());
    }

    // The whole sequence a user's double click makes: QTest's double click alone lacks the
    // first press and the last release.
    static void doubleClick(FolderList& frame, const QModelIndex& index)
    {
        frame.LV_dir->scrollTo(index);
        QWidget* viewport = frame.LV_dir->viewport();
        const QPoint at = frame.LV_dir->visualRect(index).center();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    }

    static bool fullyVisible(const FolderList& frame, const QModelIndex& index)
    {
        return frame.LV_dir->viewport()->rect().contains(frame.LV_dir->visualRect(index));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(temp.isValid());
        root = QFile::encodeName(temp.path()).toStdString() + "/";
    }

    void init() { removeAll(); }
    // QTemporaryDir cannot remove names that are not valid UTF-8.
    void cleanupTestCase() { removeAll(); }

private:
    void removeAll()
    {
        for (const auto& entry : fs::directory_iterator(root)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
            fs::remove_all(entry.path());
        }
    }

private slots:
    void compareRule_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<bool>("firstIsFolder");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<bool>("secondIsFolder");
        QTest::addColumn<int>("order");

        QTest::newRow("folder before file")
            << QByteArray("z") << true << QByteArray("a") << false << -1;
        QTest::newRow(".. before a folder that sorts lower")
            << QByteArray("..") << true << QByteArray("-") << true << -1;
        QTest::newRow(".. with itself")
            << QByteArray("..") << true << QByteArray("..") << true << 0;
        QTest::newRow("case ignored")
            << QByteArray("abc") << false << QByteArray("ABC") << false << 0;
        QTest::newRow("prefix first")
            << QByteArray("ab") << false << QByteArray("AB.jpg") << false << -1;
        QTest::newRow("high bytes after letters")
            << QByteArray("\xc3\xa9.jpg") << false << QByteArray("z.jpg") << false << 1;
        QTest::newRow("only a to z are folded")
            << QByteArray("\xc3\xa9") << false << QByteArray("\xc3\x89") << false << 1;
    }

    void compareRule()
    {
        QFETCH(QByteArray, first);
        QFETCH(bool, firstIsFolder);
        QFETCH(QByteArray, second);
        QFETCH(bool, secondIsFolder);
        QFETCH(int, order);
        const auto kind = [](bool folder) {
            return folder ? FolderEntryKind::Folder : FolderEntryKind::File;
        };
        const FolderEntry a {first.toStdString(), kind(firstIsFolder)};
        const FolderEntry b {second.toStdString(), kind(secondIsFolder)};
        QCOMPARE(FolderList::LV_dirCompare(a, b), order);
        QCOMPARE(FolderList::LV_dirCompare(b, a), -order);
    }

    void listsInOrderThroughTheFilter()
    {
        fs::create_directory(path("b"));
        fs::create_directory(path("A"));
        fs::create_directory(path("skip.txt")); // a folder, so the filter is not asked
        fs::create_directory(path(".cache"));
        for (const char* name : {"x.JPG", "a.jpg", "_z.gif", "notes.txt", "A.jpg", ".hidden.jpg"})
            touch(path(name));

        FolderList frame;
        std::vector<std::string> asked;
        frame.OnFileFilter = [&](const std::string& fileName) {
            asked.push_back(fileName);
            return isPictureName(fileName);
        };
        frame.ShowFolder(root);
        QCOMPARE(captions(frame),
                 QStringList({"..", ".cache", "A", "b", "skip.txt", ".hidden.jpg", "A.jpg", "a.jpg",
                              "x.JPG", "_z.gif"}));
        std::sort(asked.begin(), asked.end());
        QCOMPARE(asked,
                 std::vector<std::string>({path(".hidden.jpg"), path("A.jpg"), path("_z.gif"),
                                           path("a.jpg"), path("notes.txt"), path("x.JPG")}));

        frame.OnFileFilter = nullptr;
        frame.RefreshFolder();
        QVERIFY(captions(frame).contains("notes.txt"));
    }

    void goingUpSelectsTheFolderLeft()
    {
        // Enough siblings that the folder just left lies far below the first screen.
        for (int i = 0; i < 120; ++i)
            fs::create_directories(path("pics/sub" + std::to_string(1000 + i)));
        touch(path("pics/sub1100/a.jpg"));

        FolderList frame;
        frame.resize(250, 600);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        std::vector<std::string> shown;
        frame.OnFolderShown = [&](FolderList* sender) {
            QCOMPARE(sender, &frame);
            shown.push_back(sender->CurrentFolder());
        };

        frame.ShowFolder(path("pics"));
        QCOMPARE(frame.CurrentFolder(), path("pics/"));
        QCOMPARE(frame.GetSelectedName(), std::string());

        doubleClick(frame, rowOf(frame, "sub1100"));
        QCOMPARE(frame.CurrentFolder(), path("pics/sub1100/"));
        QCOMPARE(frame.GetSelectedName(), std::string()); // going down selects nothing
        QCOMPARE(captions(frame), QStringList({"..", "a.jpg"}));

        click(frame, rowOf(frame, ".."));
        QTest::keyClick(frame.LV_dir, Qt::Key_Return);
        QCOMPARE(frame.CurrentFolder(), path("pics/"));
        QCOMPARE(frame.GetSelectedName(), std::string("sub1100"));
        QVERIFY(fullyVisible(frame, frame.LV_dir->currentIndex()));
        QCOMPARE(frame.LV_dir->currentIndex(), rowOf(frame, "sub1100"));

        QTest::keyClick(frame.LV_dir, Qt::Key_Home);
        QCOMPARE(frame.GetSelectedName(), std::string(".."));
        QTest::keyClick(frame.LV_dir, Qt::Key_Enter, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(frame.CurrentFolder(), root);
        QCOMPARE(frame.GetSelectedName(), std::string("pics"));

        QCOMPARE(
            shown,
            std::vector<std::string>({path("pics/"), path("pics/sub1100/"), path("pics/"), root}));
    }

    void rootHasNoWayUp()
    {
        FolderList frame;
        frame.ShowFolder("");
        QCOMPARE(frame.CurrentFolder(), std::string("/"));
        QVERIFY(!captions(frame).contains(".."));
        QVERIFY(!captions(frame).isEmpty());

        frame.ShowFolder("/tmp/..");
        QVERIFY(!captions(frame).contains(".."));
    }

    void unreadableFolderListsOnlyTheWayUp_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("vanished") << "vanished";
        QTest::newRow("a file, not a folder") << "file";
        QTest::newRow("no read permission") << "permission";
    }

    void unreadableFolderListsOnlyTheWayUp()
    {
        QFETCH(QString, how);
        if (how == "permission")
            RUN_WHERE_PERMISSIONS_BIND();
        const std::string folder = path("gone");
        fs::create_directory(folder);
        touch(folder + "/a.jpg");

        FolderList frame;
        int shown = 0;
        frame.OnFolderShown = [&](FolderList*) {
            ++shown;
        };
        frame.ShowFolder(folder);
        QCOMPARE(captions(frame), QStringList({"..", "a.jpg"}));

        if (how == "vanished") {
            fs::remove_all(folder);
        } else if (how == "file") {
            fs::remove_all(folder);
            touch(folder);
        } else {
            fs::permissions(folder, fs::perms::none);
        }
        frame.RefreshFolder();
        QCOMPARE(captions(frame), QStringList({".."}));
        QCOMPARE(frame.CurrentFolder(), folder + "/");
        QCOMPARE(shown, 2);

        frame.ActivateEntry(frame.LV_dir->model()->index(0, 0));
        QCOMPARE(frame.CurrentFolder(), root);
    }

    void selectedFileAndActivation()
    {
        fs::create_directory(path("sub"));
        touch(path("a.jpg"));
        FolderList frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        std::vector<std::string> activated;
        frame.OnFileActivated = [&](FolderList* sender) {
            activated.push_back(sender->GetSelectedName());
        };
        frame.ShowFolder(root);
        frame.LV_dir->setFocus();
        QTest::keyClick(frame.LV_dir, Qt::Key_Return); // nothing selected: nothing happens
        frame.ActivateEntry(QModelIndex());
        QCOMPARE(frame.CurrentFolder(), root);
        QVERIFY(activated.empty());

        for (const char* folder : {"..", "sub"}) {
            click(frame, rowOf(frame, folder));
            QCOMPARE(frame.GetSelectedName(), std::string(folder));
            QCOMPARE(frame.GetSelectedFile(), std::string());
        }
        click(frame, rowOf(frame, "a.jpg"));
        QCOMPARE(frame.GetSelectedFile(), path("a.jpg"));
        doubleClick(frame, rowOf(frame, "a.jpg"));
        QTest::keyClick(frame.LV_dir, Qt::Key_Enter, Qt::AltModifier);
        QCOMPARE(activated, std::vector<std::string>({"a.jpg", "a.jpg"}));
        QCOMPARE(frame.CurrentFolder(), root);
    }

    void nonUtf8NamesKeepTheirBytes()
    {
        const std::string file = "caf\xe9.jpg"; // Latin-1, not valid UTF-8
        const std::string folder = "d\xff";
        touch(path(file));
        fs::create_directory(path(folder));
        FolderList frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        std::string activated;
        frame.OnFileActivated = [&](FolderList* sender) {
            activated = sender->CurrentFolder() + sender->GetSelectedName();
        };
        frame.ShowFolder(root);
        QCOMPARE(captions(frame).size(), 3);

        const QModelIndex fileRow = frame.LV_dir->model()->index(2, 0);
        QVERIFY(fileRow.data().toString().contains(QChar::ReplacementCharacter));
        doubleClick(frame, fileRow);
        QCOMPARE(activated, path(file));
        QCOMPARE(frame.GetSelectedFile(), path(file));
        QVERIFY(fs::exists(frame.GetSelectedFile()));

        doubleClick(frame, frame.LV_dir->model()->index(1, 0));
        QCOMPARE(frame.CurrentFolder(), path(folder + "/"));
        doubleClick(frame, frame.LV_dir->model()->index(0, 0));
        QCOMPARE(frame.CurrentFolder(), root);
        QCOMPARE(frame.GetSelectedName(), folder);
    }

    void followsTheDisk_data()
    {
        QTest::addColumn<QString>("change"); // what happens on the disk
        QTest::addColumn<QString>("listed"); // an entry then listed, or "" for none new
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("selected");
        QTest::newRow("added") << "add a_new"
                               << "a_new" << 302 << "f150";
        QTest::newRow("removed") << "remove f010"
                                 << "" << 300 << "f150";
        QTest::newRow("renamed") << "rename f010 z_renamed"
                                 << "z_renamed" << 301 << "f150";
        // The selected entry went: the row it held stays selected.
        QTest::newRow("selected renamed") << "rename f150 a_first"
                                          << "a_first" << 301 << "f149";
    }

    // Changes in the listed folder show without a refresh; the selected entry (above it
    // entries came and went) stays selected and the list stays where it was scrolled to.
    void followsTheDisk()
    {
        QFETCH(QString, change);
        QFETCH(QString, listed);
        QFETCH(int, rows);
        QFETCH(QString, selected);
        for (int i = 0; i < 300; ++i)
            touch(path(QStringLiteral("f%1").arg(i, 3, 10, QChar('0')).toStdString()));
        FolderList frame;
        frame.resize(200, 300);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.ShowFolder(root);
        QVERIFY(frame.SelectEntry("f150"));
        const int scrolled = frame.LV_dir->verticalScrollBar()->value();
        QVERIFY(scrolled > 0);

        const QStringList words = change.split(' ');
        if (words[0] == "add")
            touch(path(words[1].toStdString()));
        else if (words[0] == "remove")
            fs::remove(path(words[1].toStdString()));
        else
            fs::rename(path(words[1].toStdString()), path(words[2].toStdString()));
        if (listed.isEmpty())
            QTRY_COMPARE(captions(frame).size(), rows);
        else
            QTRY_VERIFY(captions(frame).contains(listed));
        QCOMPARE(captions(frame).size(), rows);
        QCOMPARE(QString::fromStdString(frame.GetSelectedName()), selected);
        QCOMPARE(frame.LV_dir->verticalScrollBar()->value(), scrolled);
    }

    // Files arriving one after another, as from a download, list the folder again at most
    // once a second: a folder of 100,000 files is not read again at every file.
    void burstListsOncePerSecond()
    {
        FolderList frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.ShowFolder(root);
        QSignalSpy listings(frame.LV_dir->model(), &QAbstractItemModel::modelReset);
        QElapsedTimer clock;
        clock.start();
        QString last;
        for (int i = 0; clock.elapsed() < 1500; ++i) {
            last = QStringLiteral("b%1").arg(i);
            touch(path(last.toStdString()));
            QTest::qWait(20); // the pace of the burst: each file is noticed on its own
        }
        QTRY_VERIFY(captions(frame).contains(last));
        const qint64 took = clock.elapsed();
        QVERIFY2(
            listings.count() <= took / 1000 + 1,
            qPrintable(QStringLiteral("%1 listings in %2 ms").arg(listings.count()).arg(took)));
    }
};

QTEST_MAIN(TestFolderList)
#include "tst_folder_list.moc"
