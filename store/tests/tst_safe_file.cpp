// The safe writes under the ways a save goes wrong: a full disk while the file is written in
// place, saves killed at any moment, the temporary files they leave, links that name no file
// yet, and the permissions of a copy.
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
#include <random>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string documentText(const char* picture, int entries)
{
    TreeDocument document;
    document.SetName("SETTINGS");
    for (int i = 0; i < entries; ++i) {
        auto* entry = new TreeDocument(&document);
        entry->SetName("HIT");
        entry->WriteAttribute("HIT_FILE", "/photos/" + std::to_string(i) + picture);
    }
    return document.SaveToString();
}

// The text the file reads back as; empty when it cannot be read.
std::string readBack(const std::string& path)
{
    try {
        TreeDocument document;
        document.LoadFromFile(path);
        return document.SaveToString();
    } catch (const std::exception&) {
        return {};
    }
}

void makeReadOnly(const std::string& folder)
{
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
}

} // namespace

class TestSafeFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fullDiskInPlaceKeepsOldFile();
    void staleReplacements_data();
    void staleReplacements();
    void linkToNoFileIsWrittenThrough_data();
    void linkToNoFileIsWrittenThrough();
    void copyKeepsSourcePermissions_data();
    void copyKeepsSourcePermissions();
    void killedSavesLeaveOldOrNew_data();
    void killedSavesLeaveOldOrNew();

private:
    std::string path(const char* name) const { return dir->filePath(name).toStdString(); }
    QStringList folder(const char* name = ".") const
    {
        return QDir(dir->filePath(name)).entryList(QDir::Files | QDir::System);
    }

    std::unique_ptr<QTemporaryDir> dir;
};

void TestSafeFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

// The folder takes no new file, so the file is written in place; the disk has room for the
// old bytes only.
void TestSafeFile::fullDiskInPlaceKeepsOldFile()
{
    RUN_WHERE_PERMISSIONS_BIND();
    fs::create_directory(path("locked"));
    const std::string target = path("locked/vistrel.set");
    const std::string old = documentText(".jpg", 20);
    writeFile(target, old);
    makeReadOnly(path("locked"));
    TreeDocument larger;
    larger.LoadFromString(documentText(".jpg", 200));

    FileSizeLimit limit(4096);
    bool thrown = false;
    try {
        larger.SaveToFile(target);
    } catch (const fs::filesystem_error& error) {
        thrown = error.code() == std::errc::file_too_large;
    }
    limit.Lift();
    fs::permissions(path("locked"), fs::perms::owner_all);
    QVERIFY(thrown);
    QCOMPARE(readFile(target), old);
    QCOMPARE(folder("locked"), QStringList {"vistrel.set"});
}

void TestSafeFile::staleReplacements_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("removed");
    QTest::newRow("a killed save's") << "vistrel.set.~123456.tmp"
                                     << "file" << true;
    QTest::newRow("one a running save holds") << "vistrel.set.~123456.tmp"
                                              << "locked" << false;
    QTest::newRow("another file's") << "other.set.~123456.tmp"
                                    << "file" << false;
    QTest::newRow("not a name we give") << "vistrel.set.~1234567.tmp"
                                        << "file" << false;
    QTest::newRow("a link") << "vistrel.set.~42.tmp"
                            << "link" << false;
    QTest::newRow("another user's") << "vistrel.set.~42.tmp"
                                    << "foreign" << false;
}

void TestSafeFile::staleReplacements()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, removed);
    const std::string planted = path(name.toUtf8().constData());
    writeFile(path("vistrel.set"), "old");
    writeFile(path("elsewhere"), "the file a link names");
    if (kind == "link")
        fs::create_symlink(path("elsewhere"), planted);
    else
        writeFile(planted, "half a settings file");
    if (kind == "foreign" && chown(planted.c_str(), 65534, 65534) != 0)
        QSKIP("needs the superuser to give a file to another user");
    int held = -1;
    if (kind == "locked") {
        held = open(planted.c_str(), O_RDONLY | O_CLOEXEC);
        QCOMPARE(flock(held, LOCK_EX), 0);
    }
    TreeDocument document;
    document.LoadFromString(documentText(".jpg", 3));
    document.SaveToFile(path("vistrel.set"));
    if (held >= 0)
        close(held);
    QCOMPARE(fs::exists(fs::symlink_status(planted)), !removed);
    QCOMPARE(readFile(path("elsewhere")), std::string("the file a link names"));
}

void TestSafeFile::linkToNoFileIsWrittenThrough_data()
{
    QTest::addColumn<bool>("copy");
    QTest::addColumn<bool>("chain");
    QTest::newRow("settings file") << false << false;
    QTest::newRow("save as target") << true << false;
    QTest::newRow("a link to such a link") << false << true;
}

void TestSafeFile::linkToNoFileIsWrittenThrough()
{
    QFETCH(bool, copy);
    QFETCH(bool, chain);
    fs::create_directory(path("real"));
    // Relative, as a user makes them: counted from the link's own folder.
    fs::create_symlink("real/named.set", path("link.set"));
    if (chain)
        fs::create_symlink("link.set", path("outer.set"));
    const std::string written = path(chain ? "outer.set" : "link.set");
    const std::string text = documentText(".jpg", 3);
    if (copy) {
        writeFile(path("source.set"), text);
        CopyFileOver(path("source.set"), written);
    } else {
        TreeDocument document;
        document.LoadFromString(text);
        document.SaveToFile(written);
    }
    QVERIFY(fs::is_symlink(path("link.set")));
    QCOMPARE(readFile(path("real/named.set")), text);
    QCOMPARE(folder("real"), QStringList {"named.set"});
}

void TestSafeFile::copyKeepsSourcePermissions_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("private") << 0600;
    QTest::newRow("a program of the group") << 0750;
}

void TestSafeFile::copyKeepsSourcePermissions()
{
    QFETCH(int, mode);
    const mode_t oldMask = umask(022);
    writeFile(path("private.jpg"), "picture bytes");
    QCOMPARE(chmod(path("private.jpg").c_str(), static_cast<mode_t>(mode)), 0);
    CopyFileOver(path("private.jpg"), path("copy.jpg"));
    umask(oldMask);
    struct stat copied = {};
    QCOMPARE(stat(path("copy.jpg").c_str(), &copied), 0);
    QCOMPARE(static_cast<int>(copied.st_mode & 07777), mode);
    QCOMPARE(readFile(path("copy.jpg")), std::string("picture bytes"));
}

void TestSafeFile::killedSavesLeaveOldOrNew_data()
{
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("replacement renamed into place") << false;
    QTest::newRow("written in place") << true;
}

// A child saves two large documents by turns until it is killed, at moments drawn from a fixed
// seed; each time the file must read back as one of the two, whole.
void TestSafeFile::killedSavesLeaveOldOrNew()
{
    QFETCH(bool, inPlace);
    if (inPlace)
        RUN_WHERE_PERMISSIONS_BIND();
    const int kills = 100;
    const std::string folderPath = path("settings");
    fs::create_directory(folderPath);
    const std::string target = folderPath + "/vistrel.set";
    const std::string texts[2]
        = {documentText("_first.jpg", 20000), documentText("_second.jpg", 20000)};
    TreeDocument documents[2];
    documents[0].LoadFromString(texts[0]);
    documents[1].LoadFromString(texts[1]);
    documents[0].SaveToFile(target);
    if (inPlace)
        makeReadOnly(folderPath);

    std::mt19937 random(2024);
    // Microseconds: every other kill comes early, where the first save's writes are, the
    // others anywhere in the saves that follow.
    std::uniform_int_distribution<int> early(0, 8000);
    std::uniform_int_distribution<int> late(0, 30000);
    int midWrite = 0;
    for (int kill = 0; kill < kills; ++kill) {
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            for (int turn = 1;; ++turn) {
                try {
                    documents[turn % 2].SaveToFile(target);
                } catch (...) {
                    _exit(1);
                }
            }
        }
        usleep(static_cast<useconds_t>(kill % 2 == 0 ? early(random) : late(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status), "the saving child stopped before it was killed");
        const std::string bytes = readFile(target);
        if ((bytes != texts[0] && bytes != texts[1]) || folder("settings").size() > 1)
            ++midWrite;
        const std::string text = readBack(target);
        QVERIFY2(text == texts[0] || text == texts[1],
                 qPrintable(QString("kill %1 left a file that reads as neither").arg(kill)));
    }
    // The next save clears what the killed ones left.
    documents[0].SaveToFile(target);
    fs::permissions(folderPath, fs::perms::owner_all);
    QCOMPARE(readFile(target), texts[0]);
    QCOMPARE(folder("settings"), QStringList {"vistrel.set"});
    qInfo("%s: %d kills, %d of them left the file or its folder mid-write",
          inPlace ? "in place" : "renamed", kills, midWrite + 0);
}

QTEST_APPLESS_MAIN(TestSafeFile)
#include "tst_safe_file.moc"
