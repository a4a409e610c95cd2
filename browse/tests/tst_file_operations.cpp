#include "browse/file_operations.h"
#include "browse/tests/modal.h"
#include "browse/tests/trash_info.h"
#include "browse/yes_no_question.h"
#include "store/tests/file_bytes.h"
#include "store/tests/without_file_capabilities.h"

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
#include <functional>
#include <set>

namespace fs = std::filesystem;

namespace {

modal::Watch answerQuestion(bool yes)
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

class CountingQuestion : public YesNoQuestion
{
public:
    bool Ask(const std::string&) override
    {
        ++questions;
        if (whenAsked)
            whenAsked();
        return answer;
    }
    int questions = 0;
    bool answer = false;
    std::function<void()> whenAsked;
};

bool folderHoldsOnly(const fs::path& folder, std::set<std::string> names)
{
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.insert(entry.path().filename().string());
    return found == names;
}

} // namespace

class TestFileOperations : public QObject
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
        const auto watch = answerQuestion(false);
        QVERIFY(!operations.DeleteToRecycleBin(picture.string()));
        QCOMPARE(readFile(picture), std::string("picture bytes"));
    }

    // Every name reaches the trash: one without a UTF-8 spelling, one too long to have an
    // info file of its own name, one whose name the trash already holds.
    void trashAnsweredYesMovesTheFileToTheTrash_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("alreadyInTrash");
        QTest::newRow("plain") << QByteArray("a.jpg") << false;
        QTest::newRow("not UTF-8") << QByteArray("b\xff\xfe.jpg") << false;
        QTest::newRow("246 bytes") << QByteArray(242, 'l') + ".jpg" << false;
        QTest::newRow("241 bytes, already in the trash") << QByteArray(237, 'd') + ".jpg" << true;
    }

    void trashAnsweredYesMovesTheFileToTheTrash()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, alreadyInTrash);
        const fs::path trash = root / "share" / "Trash";
        const fs::path file = root / "pictures" / name.toStdString();
        writeFile(file, "picture bytes");
        if (alreadyInTrash) {
            fs::create_directories(trash / "files");
            fs::create_directories(trash / "info");
            writeFile(trash / "files" / name.toStdString(), "an earlier one");
            writeFile(trash / "info" / (name.toStdString() + ".trashinfo"), "[Trash Info]\n");
        }
        const auto watch = answerQuestion(true);
        QVERIFY(operations.DeleteToRecycleBin(file.string()));
        QVERIFY(!fs::exists(file));
        std::set<std::string> entries;
        for (const auto& entry : fs::directory_iterator(trash / "files")) {
            if (readFile(entry.path()) == "picture bytes")
                entries.insert(entry.path().filename().string());
        }
        QCOMPARE(entries.size(), size_t(1));
        const std::string info = readFile(trash / "info" / (*entries.begin() + ".trashinfo"));
        QCOMPARE(trashedPath(info), file.string());
        if (alreadyInTrash)
            QCOMPARE(readFile(trash / "files" / name.toStdString()), std::string("an earlier one"));
    }

    void trashOfAVanishedFileIsTrue_data()
    {
        QTest::addColumn<bool>("whileAsked");
        QTest::newRow("gone before") << false;
        QTest::newRow("removed by another program while the question is open") << true;
    }

    // A file that is gone counts as deleted: nothing to ask about when it is gone already,
    // nothing to tell when it went while the question was open.
    void trashOfAVanishedFileIsTrue()
    {
        QFETCH(bool, whileAsked);
        CountingQuestion counting;
        counting.answer = whileAsked;
        const fs::path file = root / "pictures" / "gone.jpg";
        if (whileAsked) {
            writeFile(file, "picture bytes");
            counting.whenAsked = [&] {
                fs::remove(file);
            };
        }
        FileOperations countingOperations(counting);
        std::string told;
        countingOperations.OnFailure = [&](const std::string& text) {
            told = text;
        };
        QVERIFY(countingOperations.DeleteToRecycleBin(file.string()));
        QCOMPARE(counting.questions, whileAsked ? 1 : 0);
        QCOMPARE(told, std::string());
    }

    // A refused trash ends at once, leaves the file and tells why.
    void fileThatCannotBeTrashedStays_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("no trash folder can be made") << "blocked";
        QTest::newRow("info folder not writable") << "locked";
    }

    void fileThatCannotBeTrashedStays()
    {
        QFETCH(QString, how);
        if (how == "locked")
            RUN_WHERE_PERMISSIONS_BIND();
        const fs::path trash = root / "share" / "Trash";
        if (how == "blocked") {
            writeFile(root / "blocker", "a file where the trash folder would go");
            qputenv("XDG_DATA_HOME", QByteArray::fromStdString((root / "blocker").string()));
        } else {
            fs::create_directories(trash / "files");
            fs::create_directories(trash / "info");
            fs::permissions(trash / "info", fs::perms::owner_read | fs::perms::owner_exec);
        }
        const fs::path file = root / "pictures" / "b.jpg";
        writeFile(file, "keep me");
        std::string told;
        operations.OnFailure = [&](const std::string& text) {
            told = text;
        };
        const auto watch = answerQuestion(true);
        QVERIFY(!operations.DeleteToRecycleBin(file.string()));
        QCOMPARE(readFile(file), std::string("keep me"));
        QVERIFY2(told.find(file.string()) != std::string::npos, told.c_str());
        QVERIFY2(told.find(how == "blocked" ? "Not a directory" : "Permission denied")
                     != std::string::npos,
                 told.c_str());
        if (how == "locked") {
            fs::permissions(trash / "info", fs::perms::owner_all);
            QVERIFY(fs::is_empty(trash / "files"));
        }
    }

    void saveCopyOfAMissingFileShowsNoDialog()
    {
        QVERIFY(!operations.SaveCopyAs((root / "missing.jpg").string()));
        QVERIFY(!operations.SaveCopyAs(""));
    }

    void saveCopyCancelled()
    {
        const auto watch = modal::whenShown(QStringLiteral("SaveDialog1"), [](QWidget* dialog) {
            static_cast<QDialog*>(dialog)->reject();
        });
        QVERIFY(!operations.SaveCopyAs(picture.string()));
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
        operations.SaveCopyAs(picture.string());
        QCOMPARE(preselected, QStringList {QString::fromStdString(picture.string())});
        QCOMPARE(folder, QString::fromStdString((root / "pictures").string()));
    }

    void saveCopyToANewName()
    {
        const auto watch = chooseInSaveDialog(root / "pictures" / "copy.jpg");
        QVERIFY(operations.SaveCopyAs(picture.string()));
        QCOMPARE(readFile(root / "pictures" / "copy.jpg"), std::string("picture bytes"));
        QVERIFY(folderHoldsOnly(root / "pictures", {"a.jpg", "copy.jpg"}));
    }

    void saveCopyOverAnExistingFileReplacesIt()
    {
        writeFile(root / "pictures" / "old.jpg", "an older and longer content");
        const auto watch = chooseInSaveDialog(root / "pictures" / "old.jpg");
        QVERIFY(operations.SaveCopyAs(picture.string()));
        QCOMPARE(readFile(root / "pictures" / "old.jpg"), std::string("picture bytes"));
        QVERIFY(folderHoldsOnly(root / "pictures", {"a.jpg", "old.jpg"}));
    }

    void saveCopyOntoItselfChangesNothing()
    {
        const auto modified = fs::last_write_time(picture);
        const auto watch = chooseInSaveDialog(picture);
        QVERIFY(!operations.SaveCopyAs(picture.string()));
        QCOMPARE(readFile(picture), std::string("picture bytes"));
        QVERIFY(fs::last_write_time(picture) == modified);
        QVERIFY(folderHoldsOnly(root / "pictures", {"a.jpg"}));
    }

    // A target that may not be written is refused after the overwrite question, a source
    // that cannot be read is named as the one that failed; a link is written through; a name
    // near the longest there is still gets its copy.
    void saveCopyTargets_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("read-only target") << "readonly";
        QTest::newRow("unreadable source") << "unreadable";
        QTest::newRow("link") << "link";
        QTest::newRow("250-byte name") << "long";
    }

    void saveCopyTargets()
    {
        QFETCH(QString, kind);
        if (kind == "readonly" || kind == "unreadable")
            RUN_WHERE_PERMISSIONS_BIND();
        const fs::path folder = root / "pictures";
        fs::path target = folder / "target.jpg";
        if (kind == "readonly") {
            writeFile(target, "protected");
            fs::permissions(target, fs::perms::owner_read);
        } else if (kind == "unreadable") {
            fs::permissions(picture, fs::perms::none);
        } else if (kind == "link") {
            fs::create_directories(root / "elsewhere");
            writeFile(root / "elsewhere" / "real.jpg", "old");
            fs::create_symlink(root / "elsewhere" / "real.jpg", target);
        } else {
            target = folder / (std::string(246, 'n') + ".jpg");
        }
        std::string told;
        operations.OnFailure = [&](const std::string& text) {
            told = text;
        };
        const auto watch = chooseInSaveDialog(target);
        const bool copied = operations.SaveCopyAs(picture.string());
        QCOMPARE(copied, kind != "readonly" && kind != "unreadable");
        if (kind == "unreadable") {
            const std::string named = picture.string() + "\" could not be read (Permission denied)";
            QVERIFY2(told.find(named) != std::string::npos, told.c_str());
            QVERIFY(!fs::exists(target));
            QVERIFY(folderHoldsOnly(folder, {"a.jpg"}));
            return;
        }
        if (kind == "readonly") {
            QCOMPARE(readFile(target), std::string("protected"));
            QVERIFY2(told.find("Permission denied") != std::string::npos, told.c_str());
        } else if (kind == "link") {
            QVERIFY(fs::is_symlink(target));
            QCOMPARE(readFile(root / "elsewhere" / "real.jpg"), std::string("picture bytes"));
        } else {
            QCOMPARE(readFile(target), std::string("picture bytes"));
        }
        QVERIFY(folderHoldsOnly(folder, {"a.jpg", target.filename().string()}));
    }

    // Names that are not UTF-8 keep their bytes through the dialog: the source is read by
    // them, the dialog opens in a folder that Qt cannot spell, and accepting the prefilled
    // name names the source itself, so no second file appears.
    void saveCopyOfANameThatIsNotUtf8_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("chosen"); // empty: the prefilled name accepted
        QTest::addColumn<bool>("copied");
        QTest::newRow("to a plain name")
            << QByteArray("pictures") << QByteArray("plain.jpg") << true;
        QTest::newRow("prefilled name accepted") << QByteArray("pictures") << QByteArray() << false;
        QTest::newRow("in a folder that is not UTF-8")
            << QByteArray("d\xfe") << QByteArray("plain.jpg") << true;
    }

    void saveCopyOfANameThatIsNotUtf8()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, chosen);
        QFETCH(bool, copied);
        const fs::path place = root / folder.toStdString();
        fs::create_directories(place);
        const fs::path source = place / "c\xff.jpg";
        writeFile(source, "odd name");
        writeFile(place / "marker.jpg", "");
        QStringList listed;
        const auto watch = modal::whenShown(QStringLiteral("SaveDialog1"), [&](QWidget* widget) {
            auto* dialog = static_cast<QFileDialog*>(widget);
            listed = dialog->directory().entryList(QDir::Files);
            if (!chosen.isEmpty())
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                    ->setText(QString::fromUtf8(chosen));
            static_cast<QDialog*>(dialog)->accept();
        });
        QCOMPARE(operations.SaveCopyAs(source.string()), copied);
        // The dialog lists the source's own folder (Qt leaves out the names it cannot spell).
        QVERIFY2(listed.contains("marker.jpg"), qPrintable(listed.join('|')));
        std::set<std::string> expected {"c\xff.jpg", "marker.jpg"};
        if (folder == "pictures")
            expected.insert("a.jpg");
        if (copied) {
            expected.insert(chosen.toStdString());
            QCOMPARE(readFile(place / chosen.toStdString()), std::string("odd name"));
        }
        QVERIFY(folderHoldsOnly(place, expected));
        QCOMPARE(readFile(source), std::string("odd name"));
    }

private:
    QTemporaryDir home;
    fs::path root;
    fs::path picture;
    YesNoQuestion question;
    FileOperations operations {question};
};

QTEST_MAIN(TestFileOperations)
#include "tst_file_operations.moc"
