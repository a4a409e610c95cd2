#include "store/LumPigger.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>

#if defined(Q_OS_UNIX)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string settingsText
    = "\r\n<SETTINGS TOP=\"10\">\r\n\t<HIT HIT_FILE=\"/a.jpg\"/>\r\n</SETTINGS>";

std::string readBytes(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll().toStdString();
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

} // namespace

class TestLumPiggerFile : public QObject
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
    void readOnlyFileIsNotReplaced();
    void keepsPermissionsAndLinks();

private:
    std::string path(const char* name) const { return dir->filePath(name).toStdString(); }
    // Everything in the folder, so a stray temporary file is noticed.
    QStringList folder() const { return QDir(dir->path()).entryList(QDir::Files | QDir::System); }

    std::unique_ptr<QTemporaryDir> dir;
};

void TestLumPiggerFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestLumPiggerFile::savesExactBytesAndReadsThemBack()
{
    TLumPigger doc;
    doc.LoadFromString(settingsText);
    writeBytes(path("vistrel.set"), "an older and much longer settings file that must vanish");
    doc.SaveToFile(path("vistrel.set"));
    QCOMPARE(readBytes(path("vistrel.set")), settingsText);
    QCOMPARE(folder(), QStringList {"vistrel.set"});

    TLumPigger reread;
    reread.LoadFromFile(path("vistrel.set"));
    QCOMPARE(reread.SaveToString(), settingsText);
}

void TestLumPiggerFile::emptyRootMakesEmptyFile()
{
    TLumPigger doc;
    doc.SaveToFile(path("empty.set"));
    QCOMPARE(QFileInfo(dir->filePath("empty.set")).size(), 0);
    TLumPigger reread;
    reread.SetName("OLD");
    reread.LoadFromFile(path("empty.set"));
    QCOMPARE(reread.Name(), std::string());
}

void TestLumPiggerFile::lineBreaksNormalisedOnLoad()
{
    writeBytes(path("unix.set"), "<A V=\"1\n2\r3\r\n4\">\ntext\rmore\n</A>");
    TLumPigger doc;
    doc.LoadFromFile(path("unix.set"));
    QCOMPARE(doc.ReadAttribute("V"), std::string("1\r\n2\r\n3\r\n4"));
    QCOMPARE(doc.Text(), std::string("text\r\nmore"));
}

void TestLumPiggerFile::loadFailureKeepsDocument_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << "missing.set";
    QTest::newRow("a folder") << ".";
}

void TestLumPiggerFile::loadFailureKeepsDocument()
{
    QFETCH(QString, name);
    const std::string target = path(name.toUtf8().constData());
    TLumPigger doc;
    doc.LoadFromString(settingsText);
    try {
        doc.LoadFromFile(target);
        QFAIL("no error raised");
    } catch (const fs::filesystem_error& error) {
        QCOMPARE(error.path1().string(), target);
    }
    QCOMPARE(doc.SaveToString(), settingsText);
}

void TestLumPiggerFile::saveIntoMissingFolderThrows()
{
    TLumPigger doc;
    doc.LoadFromString(settingsText);
    const std::string target = path("no/such/folder/x.set");
    try {
        doc.SaveToFile(target);
        QFAIL("no error raised");
    } catch (const fs::filesystem_error& error) {
        QCOMPARE(error.path1().string(), target);
    }
}

void TestLumPiggerFile::fullDiskKeepsOldFile()
{
#if defined(Q_OS_UNIX)
    writeBytes(path("vistrel.set"), settingsText);
    TLumPigger big;
    big.SetName("SETTINGS");
    for (int i = 0; i < 200; ++i)
        (new TLumPigger(&big))->SetName("HIT_WITH_A_LONG_NAME");

    // A file size limit makes writing fail the way a full disk does.
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 1000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    bool thrown = false;
    try {
        big.SaveToFile(path("vistrel.set"));
    } catch (const fs::filesystem_error& error) {
        thrown = error.path1().string() == path("vistrel.set");
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(thrown);
    QCOMPARE(readBytes(path("vistrel.set")), settingsText);
    QCOMPARE(folder(), QStringList {"vistrel.set"});
#else
    QSKIP("needs a file size limit");
#endif
}

void TestLumPiggerFile::readOnlyFileIsNotReplaced()
{
#if defined(Q_OS_UNIX)
    if (geteuid() == 0)
        QSKIP("the superuser may write any file");
#endif
    writeBytes(path("locked.set"), settingsText);
    fs::permissions(path("locked.set"), fs::perms::owner_read);
    TLumPigger doc;
    doc.SetName("OTHER");
    QVERIFY_THROWS_EXCEPTION(fs::filesystem_error, doc.SaveToFile(path("locked.set")));
    QCOMPARE(readBytes(path("locked.set")), settingsText);
}

void TestLumPiggerFile::keepsPermissionsAndLinks()
{
    writeBytes(path("real.set"), "old");
    fs::permissions(path("real.set"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(path("real.set"), path("link.set"));
    TLumPigger doc;
    doc.LoadFromString(settingsText);
    doc.SaveToFile(path("link.set"));
    QVERIFY(fs::is_symlink(path("link.set")));
    QCOMPARE(readBytes(path("real.set")), settingsText);
    QCOMPARE(fs::status(path("real.set")).permissions(),
             fs::perms::owner_read | fs::perms::owner_write);
}

QTEST_APPLESS_MAIN(TestLumPiggerFile)
#include "tst_LumPiggerFile.moc"
