#include "store/safe_file.h"
#include "store/tests/file_bytes.h"
#include "store/tests/file_size_limit.h"
#include "store/tests/without_file_capabilities.h"
#include "store/tree_document.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>

#if defined(Q_OS_UNIX)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string settingsText
    = "\r\n<SETTINGS TOP=\"10\">\r\n\t<HIT HIT_FILE=\"/a.jpg\"/>\r\n</SETTINGS>";

} // namespace

class TestTreeDocumentFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void savesExactBytesAndReadsThemBack();
    void emptyRootMakesEmptyFile();
    void lineBreaksNormalisedOnLoad();
    void loadFailureKeepsDocument_data();
    void loadFailureKeepsDocument();
    void saveIntoMissingFolderThrows();
    void fullDiskKeepsOldFile();
    void longNameIsSaved();
    void permissionsOfFileAndFolder_data();
    void permissionsOfFileAndFolder();
    void keepsPermissionsAndLinks();
    void errorReasonReadsTheWordsNotThePath();

private:
    std::string path(const char* name) const { return dir->filePath(name).toStdString(); }
    // Everything in the folder, so a stray temporary file is noticed.
    QStringList folder() const { return QDir(dir->path()).entryList(QDir::Files | QDir::System); }

    std::unique_ptr<QTemporaryDir> dir;
};

void TestTreeDocumentFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestTreeDocumentFile::savesExactBytesAndReadsThemBack()
{
    TreeDocument doc;
    doc.LoadFromString(settingsText);
    writeFile(path("vistrel.set"), "an older and much longer settings file that must vanish");
    doc.SaveToFile(path("vistrel.set"));
    QCOMPARE(readFile(path("vistrel.set")), settingsText);
    QCOMPARE(folder(), QStringList {"vistrel.set"});

    TreeDocument reread;
    reread.LoadFromFile(path("vistrel.set"));
    QCOMPARE(reread.SaveToString(), settingsText);
}

void TestTreeDocumentFile::emptyRootMakesEmptyFile()
{
    TreeDocument doc;
    doc.SaveToFile(path("empty.set"));
    QCOMPARE(QFileInfo(dir->filePath("empty.set")).size(), 0);
    TreeDocument reread;
    reread.SetName("OLD");
    reread.LoadFromFile(path("empty.set"));
    QCOMPARE(reread.Name(), std::string());
}

void TestTreeDocumentFile::lineBreaksNormalisedOnLoad()
{
    writeFile(path("unix.set"), "<A V=\"1\n2\r3\r\n4\">\ntext\rmore\n</A>");
    TreeDocument doc;
    doc.LoadFromFile(path("unix.set"));
    QCOMPARE(doc.ReadAttribute("V"), std::string("1\r\n2\r\n3\r\n4"));
    QCOMPARE(doc.Text(), std::string("text\r\nmore"));
}

void TestTreeDocumentFile::loadFailureKeepsDocument_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << "missing.set";
    QTest::newRow("a folder") << ".";
    // Opening it to read would wait for a writer for ever.
    QTest::newRow("a FIFO") << "fifo.set";
    QTest::newRow("larger than the limit") << "large.set";
}

void TestTreeDocumentFile::loadFailureKeepsDocument()
{
    QFETCH(QString, name);
    const std::string target = path(name.toUtf8().constData());
    if (name == "fifo.set")
        QCOMPARE(mkfifo(target.c_str(), 0600), 0);
    if (name == "large.set") {
        writeFile(target, settingsText);
        fs::resize_file(target, TreeDocument::MaxFileSize + 1);
    }
    TreeDocument doc;
    doc.LoadFromString(settingsText);
    try {
        doc.LoadFromFile(target);
        QFAIL("no error raised");
    } catch (const fs::filesystem_error& error) {
        QCOMPARE(error.path1().string(), target);
    }
    QCOMPARE(doc.SaveToString(), settingsText);
}

void TestTreeDocumentFile::saveIntoMissingFolderThrows()
{
    TreeDocument doc;
    doc.LoadFromString(settingsText);
    const std::string target = path("no/such/folder/x.set");
    try {
        doc.SaveToFile(target);
        QFAIL("no error raised");
    } catch (const fs::filesystem_error& error) {
        QCOMPARE(error.path1().string(), target);
    }
}

void TestTreeDocumentFile::fullDiskKeepsOldFile()
{
#if defined(Q_OS_UNIX)
    writeFile(path("vistrel.set"), settingsText);
    TreeDocument big;
    big.SetName("SETTINGS");
    for (int i = 0; i < 200; ++i)
        (new TreeDocument(&big))->SetName("HIT_WITH_A_LONG_NAME");

    FileSizeLimit limit(1000);
    bool thrown = false;
    try {
        big.SaveToFile(path("vistrel.set"));
    } catch (const fs::filesystem_error& error) {
        thrown = error.path1().string() == path("vistrel.set");
    }
    limit.Lift();

    QVERIFY(thrown);
    QCOMPARE(readFile(path("vistrel.set")), settingsText);
    QCOMPARE(folder(), QStringList {"vistrel.set"});
#else
    QSKIP("needs a file size limit");
#endif
}

// The temporary name must fit beside a name that is already near the longest there is.
void TestTreeDocumentFile::longNameIsSaved()
{
    const std::string name = std::string(250, 'n') + ".set";
    TreeDocument doc;
    doc.LoadFromString(settingsText);
    doc.SaveToFile(path(name.c_str()));
    QCOMPARE(readFile(path(name.c_str())), settingsText);
    QCOMPARE(folder(), QStringList {QString::fromStdString(name)});
}

void TestTreeDocumentFile::permissionsOfFileAndFolder_data()
{
    QTest::addColumn<bool>("fileWritable");
    QTest::addColumn<bool>("folderWritable");
    QTest::newRow("read-only file") << false << true;
    // The folder refuses the temporary file: the file is written in place.
    QTest::newRow("writable file in a locked folder") << true << false;
    QTest::newRow("read-only file in a locked folder") << false << false;
}

void TestTreeDocumentFile::permissionsOfFileAndFolder()
{
    RUN_WHERE_PERMISSIONS_BIND();
    QFETCH(bool, fileWritable);
    QFETCH(bool, folderWritable);
    const std::string folderPath = path("locked");
    fs::create_directory(folderPath);
    const std::string target = folderPath + "/vistrel.set";
    writeFile(target, "an older and much longer settings file that must be cut off");
    fs::permissions(target,
                    fileWritable ? fs::perms::owner_read | fs::perms::owner_write
                                 : fs::perms::owner_read);
    if (!folderWritable)
        fs::permissions(folderPath, fs::perms::owner_read | fs::perms::owner_exec);
    TreeDocument doc;
    doc.LoadFromString(settingsText);
    bool thrown = false;
    try {
        doc.SaveToFile(target);
    } catch (const fs::filesystem_error& error) {
        thrown = error.path1().string() == target;
    }
    fs::permissions(folderPath, fs::perms::owner_all);
    QCOMPARE(thrown, !fileWritable);
    QCOMPARE(readFile(target) == settingsText, fileWritable);
    QCOMPARE(QDir(QString::fromStdString(folderPath)).entryList(QDir::Files),
             QStringList {"vistrel.set"});
}

void TestTreeDocumentFile::keepsPermissionsAndLinks()
{
    writeFile(path("real.set"), "old");
    fs::permissions(path("real.set"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(path("real.set"), path("link.set"));
    TreeDocument doc;
    doc.LoadFromString(settingsText);
    doc.SaveToFile(path("link.set"));
    QVERIFY(fs::is_symlink(path("link.set")));
    QCOMPARE(readFile(path("real.set")), settingsText);
    QCOMPARE(fs::status(path("real.set")).permissions(),
             fs::perms::owner_read | fs::perms::owner_write);
}

void TestTreeDocumentFile::errorReasonReadsTheWordsNotThePath()
{
    const auto reason = [](const char* what, const char* file, int error) {
        try {
            ThrowFileError(what, file, error);
        } catch (const std::exception& thrown) {
            return FileErrorReason(thrown);
        }
        return std::string();
    };
    QCOMPARE(reason(NotRegularFile, "/tmp/a", EINVAL), std::string("it is not a regular file"));
    QCOMPARE(reason("cannot write", "/tmp/not a regular file", ENOSPC),
             std::error_code(ENOSPC, std::generic_category()).message());
}

QTEST_APPLESS_MAIN(TestTreeDocumentFile)
#include "tst_tree_document_file.moc"
