// Under a file size limit, a write past it does not end the program: the save fails as on a
// full disk, says so, and leaves no temporary file.
#include "shell/application.h"
#include "store/tree_document.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

class TestFileSizeLimit : public QObject
{
    Q_OBJECT

private slots:
    void saveBeyondTheLimitFails();
};

void TestFileSizeLimit::saveBeyondTheLimitFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string target = dir.filePath("vistrel.set").toStdString();
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // As the program starts under "prlimit --fsize=4096".
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &limit);
        int argc = 1;
        char name[] = "vistrel";
        char* argv[] = {name, nullptr};
        Application application(argc, argv);
        TreeDocument settings;
        settings.SetName("SETTINGS");
        for (int i = 0; i < 200; ++i)
            (new TreeDocument(&settings))->SetName("HIT_WITH_A_LONG_NAME");
        try {
            settings.SaveToFile(target);
        } catch (const fs::filesystem_error& error) {
            _exit(error.code() == std::errc::file_too_large ? 0 : 2);
        }
        _exit(3);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(!WIFSIGNALED(status), "the program was ended by a signal");
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System), QStringList());
}

QTEST_APPLESS_MAIN(TestFileSizeLimit)
#include "tst_file_size_limit.moc"
