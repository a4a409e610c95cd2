#include "browse/filer.h"
#include "browse/sure.h"
#include "browse/tests/modal.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

modal::Watch answerSure(bool yes)
{
    return modal::whenShown(QStringLiteral("Fsure"), [yes](QWidget* dialog) {
        const auto name = yes ? QStringLiteral("OKBtn") : QStringLiteral("CancelBtn");
        QTest::mouseClick(dialog->findChild<QPushButton*>(name), Qt::LeftButton);
    });
}

// Chooses target in the save dialog as a user would, once the dialog has listed its folder
// (its list otherwise may still select the prefilled name late); when the dialog asks
// whether to replace an existing file, the answer is Yes.
modal::Watch chooseInSaveDialog(const fs::path& target)
{
    const auto listed = [](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        auto* model = w->findChild<QFileSystemModel*>();
        return dialog && w->objectName() == QStringLiteral("SaveDialog1") && model
            && model->rowCount(model->index(dialog->directory().absolutePath())) > 0;
    };
    return modal::whenShown(listed, [target](QWidget* widget) {
        auto* dialog = static_cast<QFileDialog*>(widget);
        const auto overwrite = modal::whenShown(
            [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
            [](QWidget* w) { static_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
        dialog->findChild<QListView*>(QStringLiteral("listView"))->clearSelection();
        // selectFile() would leave a focused name field alone: type the name instead.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name->setFocus();
        name->setText(QFile::decodeName(QByteArray::fromStdString(target.string())));
        static_cast<QDialog*>(dialog)->accept();
    });
}

class CountingSure : public TFsure
{
public:
    bool Ask(const std::string&) override
    {
        ++questions;
        return false;
    }
    int questions = 0;
};

bool folderHoldsOnly(const fs::path& folder, std::set<std::string> names)
{
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.insert(entry.path().filename().string());
    return found == names;
}

} // namespace

class TestFiler : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(home.isValid());
        // The trash lives under the home folder: keep it inside the test's own folder.
        root = fs::path(home.path().toStdString()) / QTest::currentTestFunction();
        fs::remove_all(root);
        fs::create_directories(root / "pictures");
        fs::create_directories(root / "share");
        qputenv("HOME", QByteArray::fromStdString(root.string()));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((root / "share").string()));
        picture = root / "pictures" / "a.jpg";
        writeFile(picture, "picture bytes");
    }

    // QTemporaryDir cannot remove the names that are not UTF-8.
    void cleanup() { fs::remove_all(root); }

    void trashAnsweredNoKeepsTheFile()
    {
        const auto watch = answerSure(false);
        QVERIFY(!filer.DeleteToRecycleBin(picture.string()));
        QCOMPARE(readFile(picture), std::string("picture bytes"));
    }

    void trashAnsweredYesMovesTheFileToTheTrash()
    {
        const auto watch = answerSure(true);
        QVERIFY(filer.DeleteToRecycleBin(picture.string()));
        QVERIFY(!fs::exists(picture));
        QCOMPARE(readFile(root / "share" / "Trash" / "files" / "a.jpg"),
                 std::string("picture bytes"));
    }

    // Nothing to ask about: a file that is already gone counts as deleted.
    void trashOfAVanishedFileIsTrueWithoutAQuestion()
    {
        CountingSure counting;
        TD_filer countingFiler(counting);
        QVERIFY(countingFiler.DeleteToRecycleBin((root / "gone.jpg").string()));
        QCOMPARE(counting.questions, 0);
    }

    void fileThatCannotBeTrashedStays_data()
    {
        QTest::addColumn<bool>("trashBlocked");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("no trash folder can be made") << true << QByteArray("b.jpg");
        QTest::newRow("name that is not UTF-8") << false << QByteArray("b\xff\xfe.jpg");
    }

    void fileThatCannotBeTrashedStays()
    {
        QFETCH(bool, trashBlocked);
        QFETCH(QByteArray, name);
        // Qt 6.4 then moves the file into "files" under the current folder.
        fs::create_directories(root / "current");
        QDir::setCurrent(QString::fromStdString((root / "current").string()));
        if (trashBlocked) {
            writeFile(root / "blocker", "a file where the trash folder would go");
            qputenv("XDG_DATA_HOME", QByteArray::fromStdString((root / "blocker").string()));
        }
        const fs::path file = root / "pictures" / name.toStdString();
        writeFile(file, "keep me");
        const auto watch = answerSure(true);
        QVERIFY(!filer.DeleteToRecycleBin(file.string()));
        QCOMPARE(readFile(file), std::string("keep me"));
        QVERIFY(fs::is_empty(root / "current"));
        QDir::setCurrent(QString::fromStdString(root.parent_path().string()));
    }

    void saveCopyOfAMissingFileShowsNoDialog()
    {
        QVERIFY(!filer.SaveCopyAs((root / "missing.jpg").string()));
        QVERIFY(!filer.SaveCopyAs(""));
    }

    void saveCopyCancelled()
    {
        const auto watch = modal::whenShown(QStringLiteral("SaveDialog1"), [](QWidget* dialog) {
            static_cast<QDialog*>(dialog)->reject();
        });
        QVERIFY(!filer.SaveCopyAs(picture.string()));
        QVERIFY(folderHoldsOnly(root / "pictures", {"a.jpg"}));
    }

    void saveCopyOpensOnTheSourceName()
    {
        QStringList preselected;
        QString folder;
        const auto watch = modal::whenShown(QStringLiteral("SaveDialog1"), [&](QWidget* widget) {
            auto* dialog = static_cast<QFileDialog*>(widget);
            preselected = dialog->selectedFiles();
            folder = dialog->directory().absolutePath();
            dialog->reject();
        });
        filer.SaveCopyAs(picture.string());
        QCOMPARE(preselected, QStringList {QString::fromStdString(picture.string())});
        QCOMPARE(folder, QString::fromStdString((root / "pictures").string()));
    }

    void saveCopyToANewName()
    {
        const auto watch = chooseInSaveDialog(root / "pictures" / "copy.jpg");
        QVERIFY(filer.SaveCopyAs(picture.string()));
        QCOMPARE(readFile(root / "pictures" / "copy.jpg"), std::string("picture bytes"));
        QVERIFY(folderHoldsOnly(root / "pictures", {"a.jpg", "copy.jpg"}));
    }

    void saveCopyOverAnExistingFileReplacesIt()
    {
        writeFile(root / "pictures" / "old.jpg", "an older and longer content");
        const auto watch = chooseInSaveDialog(root / "pictures" / "old.jpg");
        QVERIFY(filer.SaveCopyAs(picture.string()));
        QCOMPARE(readFile(root / "pictures" / "old.jpg"), std::string("picture bytes"));
        QVERIFY(folderHoldsOnly(root / "pictures", {"a.jpg", "old.jpg"}));
    }

    void saveCopyOntoItselfChangesNothing()
    {
        const auto modified = fs::last_write_time(picture);
        const auto watch = chooseInSaveDialog(picture);
        QVERIFY(!filer.SaveCopyAs(picture.string()));
        QCOMPARE(readFile(picture), std::string("picture bytes"));
        QVERIFY(fs::last_write_time(picture) == modified);
        QVERIFY(folderHoldsOnly(root / "pictures", {"a.jpg"}));
    }

    // The copy reads the source by its bytes, also when Qt cannot spell its name.
    void saveCopyOfANameThatIsNotUtf8()
    {
        const fs::path source = root / "pictures" / "c\xff.jpg";
        writeFile(source, "odd name");
        const auto watch = chooseInSaveDialog(root / "pictures" / "plain.jpg");
        QVERIFY(filer.SaveCopyAs(source.string()));
        QCOMPARE(readFile(root / "pictures" / "plain.jpg"), std::string("odd name"));
    }

private:
    QTemporaryDir home;
    fs::path root;
    fs::path picture;
    TFsure sure;
    TD_filer filer {sure};
};

QTEST_MAIN(TestFiler)
#include "tst_filer.moc"
