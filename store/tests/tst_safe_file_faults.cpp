// Every write path of the program's own files, with each of its file calls failing in turn:
// whatever fails, the old file is there byte for byte or the new one is whole, no temporary
// file stays behind, and a save that did not keep its bytes says so.
#include "store/safe_file.h"
#include "store/tests/fault_injection.h"
#include "store/tests/file_bytes.h"
#include "store/tests/without_file_capabilities.h"
#include "store/tree_document.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <functional>
#include <random>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// A document of about the given size, so that its file takes several writes.
std::string documentText(const char* name, int entries)
{
    TreeDocument document;
    document.SetName(name);
    for (int i = 0; i < entries; ++i) {
        auto* entry = new TreeDocument(&document);
        entry->SetName("HIT");
        entry->WriteAttribute("HIT_FILE",
                              "/photos/2024/holiday/picture_" + std::to_string(i) + ".jpg");
    }
    return document.SaveToString();
}

bool readsAs(const std::string& path, const std::string& text)
{
    try {
        TreeDocument document;
        document.LoadFromFile(path);
        return document.SaveToString() == text;
    } catch (const std::exception&) {
        return false;
    }
}

std::string randomBytes(size_t size)
{
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

} // namespace

class TestSafeFileFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyFailureKeepsOldOrNew_data();
    void everyFailureKeepsOldOrNew();

private:
    std::string oldSettings;
    std::string newSettings;
    TreeDocument newDocument;
    std::string picture;
};

void TestSafeFileFaults::initTestCase()
{
    umask(022);
    oldSettings = documentText("SETTINGS", 100);
    // Past the writer's 1 MiB flush, so that it takes several writes.
    newSettings = documentText("SETTINGS", 25000);
    newDocument.LoadFromString(newSettings);
    picture = randomBytes(200000);
}

void TestSafeFileFaults::everyFailureKeepsOldOrNew_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("settings, replacement renamed into place") << "renamed";
    QTest::newRow("settings, written in place") << "in place";
    QTest::newRow("data file and its backup") << "data and backup";
    QTest::newRow("save as, a new file") << "save as new";
    QTest::newRow("save as, over a file") << "save as over";
}

void TestSafeFileFaults::everyFailureKeepsOldOrNew()
{
    QFETCH(QString, path);
    if (path == "in place")
        RUN_WHERE_PERMISSIONS_BIND();

    int tried = 0;
    for (const int error : {ENOSPC, EIO, EFBIG, EACCES}) {
        for (int failAt = 1;; ++failAt) {
            QTemporaryDir dir;
            QVERIFY(dir.isValid());
            const std::string folder = dir.path().toStdString();
            const std::string settings = folder + "/vistrel.set";
            const std::string data = folder + "/vistrel.vsgc";
            const std::string backup = folder + "/vistrel.BAK";
            const std::string source = folder + "/private.jpg";
            const std::string copy = folder + "/copy.jpg";

            // What the program does on each path; each call that throws counts one report.
            std::function<void()> save;
            QStringList files;
            if (path == "renamed" || path == "in place") {
                writeFile(settings, oldSettings);
                files = {"vistrel.set"};
                save = [&] {
                    newDocument.SaveToFile(settings);
                };
            } else if (path == "data and backup") {
                writeFile(data, oldSettings);
                writeFile(backup, "the backup before");
                files = {"vistrel.BAK", "vistrel.vsgc"};
                save = [&] {
                    newDocument.SaveToFile(data);
                };
            } else {
                writeFile(source, picture);
                fs::permissions(
                    source, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
                files = {"copy.jpg", "private.jpg"};
                if (path == "save as over")
                    writeFile(copy, "the file before");
                save = [&] {
                    CopyFileOver(source, copy);
                };
            }
            if (path == "in place")
                fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);

            bool backupReported = false;
            bool saveReported = false;
            fault_injection::Start(failAt, error);
            if (path == "data and backup") {
                try {
                    CopyFileOver(data, backup);
                } catch (const fs::filesystem_error&) {
                    backupReported = true;
                }
            }
            try {
                save();
            } catch (const fs::filesystem_error&) {
                saveReported = true;
            }
            fault_injection::Stop();
            fs::permissions(folder, fs::perms::owner_all);
            if (!fault_injection::Failed())
                break;
            ++tried;

            const QByteArray step = QByteArray::number(error) + " at call "
                + QByteArray::number(failAt) + " (" + fault_injection::FailedCall() + ")";
            if (path == "renamed" || path == "in place" || path == "data and backup") {
                const std::string& target = path == "data and backup" ? data : settings;
                const std::string bytes = readFile(target);
                // Not told: the new bytes are there exactly. Told: the old ones are, or the
                // new ones read back whole.
                QVERIFY2(
                    bytes == newSettings
                        || (saveReported && (bytes == oldSettings || readsAs(target, newSettings))),
                    step);
            }
            if (path == "data and backup") {
                const std::string bytes = readFile(backup);
                QVERIFY2(bytes == oldSettings || (backupReported && bytes == "the backup before"),
                         step);
            }
            if (path.startsWith("save as")) {
                const std::string bytes = readFile(copy);
                const std::string before = path == "save as new" ? "" : "the file before";
                QVERIFY2(bytes == picture || (saveReported && bytes == before), step);
                if (!saveReported && path == "save as new")
                    QCOMPARE(fs::status(copy).permissions(),
                             fs::perms::owner_read | fs::perms::owner_write
                                 | fs::perms::group_read);
                if (saveReported && bytes == before)
                    files.removeAll(path == "save as new" ? "copy.jpg" : "");
            }
            QVERIFY2(QDir(dir.path()).entryList(QDir::Files | QDir::System) == files, step);
        }
    }
    qInfo("%s: %d injected failures", qPrintable(path), tried);
    QVERIFY(tried > 0);
}

QTEST_APPLESS_MAIN(TestSafeFileFaults)
#include "tst_safe_file_faults.moc"
