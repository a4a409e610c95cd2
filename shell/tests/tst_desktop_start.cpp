// The program as the desktop meets it: where an installed copy keeps its files, the path a
// file manager starts it with, and the signal that ends a session.
#include "program_fixture.h"

#include "shell/desktop_start.h"
#include "shell/program_files.h"
#include "shell/termination.h"
#include "store/program_version.h"
#include "viewer/page_viewer.h"

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <pwd.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Takes the super-user's way past file permissions from this thread while it lives, so that
// a read-only folder refuses the test as it refuses any user (the tests run as root in CI).
class WithoutFileOverride
{
public:
    WithoutFileOverride()
    {
        syscall(SYS_capget, &header, saved);
        __user_cap_data_struct lowered[2] = {saved[0], saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &header, lowered);
    }
    ~WithoutFileOverride() { syscall(SYS_capset, &header, saved); }
    WithoutFileOverride(const WithoutFileOverride&) = delete;
    WithoutFileOverride& operator=(const WithoutFileOverride&) = delete;

private:
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2] = {};
};

constexpr char withoutHomeMark[] = "VISTREL_WITHOUT_HOME";
constexpr char blockedMark[] = "VISTREL_BLOCKED_AFTER_SIGNAL";

// Runs the current test function again in a child of this test program as a user that has no
// entry in the password database, without HOME or the XDG base variables; true when it passed.
bool runAsUserWithoutHome()
{
    uid_t uid = 54321;
    while (getpwuid(uid))
        ++uid;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QString::fromLatin1(withoutHomeMark), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    // A folder that the user may enter: the test program's own stays out of the way.
    child.setWorkingDirectory(QStringLiteral("/"));
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid),
                 QStringLiteral("--clear-groups"), QStringLiteral("--"),
                 QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                 QString::fromUtf8(QTest::currentTestFunction())});
    const bool passed = child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit
        && child.exitCode() == 0;
    if (!passed)
        qWarning("%s", child.readAll().constData());
    return passed;
}

void setWritable(const QString& path, bool writable)
{
    const QFileDevice::Permissions readable
        = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther;
    QFile::setPermissions(path, writable ? readable | QFileDevice::WriteOwner : readable);
}

} // namespace

class TestDesktopStart : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        program = std::make_unique<ProgramFixture>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(program->path("config")));
        qputenv("HOME", QFile::encodeName(program->path("home")));
    }
    void cleanup()
    {
        setWritable(program->path("bin"), true);
        program.reset();
    }

    void programFilesLocation_data();
    void programFilesLocation();
    void readOnlyProgramFolder();
    void noHomeFolder();
    void startPath_data();
    void startPath();
    void terminationSignalWritesSettings();
    void deadlineAfterSignal();
    void commandLine_data();
    void commandLine();
    void programOptions_data();
    void programOptions();

private:
    std::unique_ptr<ProgramFixture> program;
};

void TestDesktopStart::programFilesLocation_data()
{
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<QByteArray>("settingsFile"); // "none", "writable" or "read-only"
    QTest::addColumn<QByteArray>("configHome");
    QTest::addColumn<bool>("beside");
    QTest::addColumn<QByteArray>("installedAt"); // empty: a copy in a folder of the user's own

    QTest::newRow("writable folder")
        << true << QByteArray("none") << QByteArray() << true << QByteArray();
    QTest::newRow("settings file writable in read-only folder")
        << false << QByteArray("writable") << QByteArray() << true << QByteArray();
    QTest::newRow("read-only settings file in writable folder")
        << true << QByteArray("read-only") << QByteArray() << true << QByteArray();
    QTest::newRow("nothing writable")
        << false << QByteArray("read-only") << QByteArray() << false << QByteArray();
    QTest::newRow("no settings file in read-only folder")
        << false << QByteArray("none") << QByteArray() << false << QByteArray();
    QTest::newRow("relative base folder ignored")
        << false << QByteArray("none") << QByteArray("config") << false << QByteArray();
    // Installed, the program keeps its files in the user's folders even where it may write
    // beside itself (as root); nothing is tried or written there.
    for (const char* installed :
         {"/usr/bin/vistrel", "/usr/local/bin/vistrel", "/opt/vistrel/bin/vistrel"})
        QTest::addRow("installed as %s", installed)
            << true << QByteArray("none") << QByteArray() << false << QByteArray(installed);
}

void TestDesktopStart::programFilesLocation()
{
    QFETCH(bool, folderWritable);
    QFETCH(QByteArray, settingsFile);
    QFETCH(QByteArray, configHome);
    QFETCH(bool, beside);
    QFETCH(QByteArray, installedAt);

    const QByteArray content("\r\n<SETTINGS HRC=\"7\"/>");
    if (settingsFile != "none") {
        program->writeFile("bin/vistrel.set", content);
        setWritable(program->path("bin/vistrel.set"), settingsFile == "writable");
    }
    setWritable(program->path("bin"), folderWritable);
    if (!configHome.isNull())
        qputenv("XDG_CONFIG_HOME", configHome);
    const QString config = configHome.isNull() ? program->path("config/vistrel/")
                                               : program->path("home/.config/vistrel/");

    ProgramFiles files;
    if (!installedAt.isEmpty()) {
        files = LocateProgramFiles(installedAt.toStdString());
    } else {
        WithoutFileOverride asAnyUser;
        files = LocateProgramFiles(program->programPath());
    }

    if (beside) {
        QCOMPARE(files.SettingsFile, program->bytes("bin/vistrel.set"));
        QCOMPARE(files.DataFile, program->bytes("bin/vistrel.vsgc"));
        QCOMPARE(files.CollectionsFolder, std::string("../collections/"));
    } else {
        QCOMPARE(QString::fromStdString(files.SettingsFile), config + "vistrel.set");
        QCOMPARE(QString::fromStdString(files.DataFile), config + "vistrel.vsgc");
        QCOMPARE(files.CollectionsFolder, program->bytes("share/vistrel/collections/"));
        QVERIFY(QFileInfo(config).isDir());
    }
    // The decision leaves the program's folder as it found it.
    const QStringList expected
        = settingsFile == "none" ? QStringList() : QStringList {"vistrel.set"};
    QCOMPARE(QDir(program->path("bin")).entryList(QDir::Files | QDir::Hidden), expected);
    if (settingsFile != "none")
        QCOMPARE(program->readFile("bin/vistrel.set"), content);
}

void TestDesktopStart::readOnlyProgramFolder()
{
    setWritable(program->path("bin"), false);
    {
        WithoutFileOverride asAnyUser;
        program->Start();
        QCOMPARE(Fmain->StatusPanelText(2), program->path("config/vistrel/vistrel.vsgc"));
        QVERIFY(QFileInfo(program->path("share/vistrel/collections")).isDir());
        program->Stop();
    }
    QVERIFY(program->readFile("config/vistrel/vistrel.set").contains("WIDTH="));
    QCOMPARE(program->readFile("config/vistrel/vistrel.vsgc"),
             QByteArray("\r\n<VISTREL_DATA VERSION=\"1.4\"/>"));
    QVERIFY(QDir(program->path("bin")).isEmpty());
    // The file dialogs, never shown, leave the configuration folder to the program alone.
    QCOMPARE(QDir(program->path("config"))
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList {"vistrel"});
}

// Neither the program's folder nor a home folder to keep the files in: nothing is written
// to the folder the program was started from, and the user learns that nothing is kept.
void TestDesktopStart::noHomeFolder()
{
    if (!qEnvironmentVariableIsSet(withoutHomeMark)) {
        if (getuid() != 0)
            QSKIP("only the super-user can run the case as a user without a home folder");
        QVERIFY(runAsUserWithoutHome());
        return;
    }
    QVERIFY(!getpwuid(getuid()));
    // The fixture's own variables, which the child was started without.
    qunsetenv("HOME");
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    setWritable(program->path("bin"), false);
    QDir(program->path(".")).mkpath("work");
    QDir::setCurrent(program->path("work"));
    QString told;
    ProgramFixture::whenModal([&told](QWidget* modal) {
        told = modal->findChild<QLabel*>("Label1")->text();
        ProgramFixture::button(modal, "OKBtn")->click();
    });
    program->Start();
    QTRY_VERIFY(!told.isEmpty());
    QVERIFY2(told.contains("cannot be kept"), qPrintable(told));
    QTest::keyClick(Fmain, Qt::Key_S, Qt::ControlModifier);
    program->Stop();
    QCOMPARE(QDir(program->path("work"))
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QVERIFY(QDir(program->path("bin")).isEmpty());
}

void TestDesktopStart::startPath_data()
{
    QTest::addColumn<QString>("argument"); // relative to the test's folder unless an address
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("shown"); // the picture shown, selected or not
    QTest::addColumn<QString>("message");

    QTest::newRow("picture") << "pics/a b.bmp"
                             << "pics/"
                             << "a b.bmp"
                             << "a b.bmp" << QString();
    QTest::newRow("file address") << "file://%1/pics/a%20b.bmp"
                                  << "pics/"
                                  << "a b.bmp"
                                  << "a b.bmp" << QString();
    QTest::newRow("relative to the current folder") << "../pics/a b.bmp"
                                                    << "pics/"
                                                    << "a b.bmp"
                                                    << "a b.bmp" << QString();
    QTest::newRow("folder") << "pics"
                            << "pics/" << QString() << QString() << QString();
    QTest::newRow("missing") << "pics/gone.bmp"
                             << "stored/" << QString() << QString() << "Not found: ";
    QTest::newRow("not a picture") << "pics/notes.txt"
                                   << "pics/" << QString() << QString() << "Not a picture file: ";
    // The list does not offer icons, but the loader reads them.
    QTest::newRow("icon") << "pics/i.ico"
                          << "pics/" << QString() << "i.ico" << QString();
}

void TestDesktopStart::startPath()
{
    QFETCH(QString, argument);
    QFETCH(QString, listed);
    QFETCH(QString, selected);
    QFETCH(QString, shown);
    QFETCH(QString, message);

    program->writePicture("a b.bmp", 40, 30);
    program->writeFile("pics/notes.txt", "text");
    QByteArray icon;
    QBuffer iconBuffer(&icon);
    iconBuffer.open(QIODevice::WriteOnly);
    QImage(40, 30, QImage::Format_RGB32).save(&iconBuffer, "ICO");
    program->writeFile("pics/i.ico", icon);
    QDir(program->path(".")).mkpath("stored");
    program->writeFile("bin/vistrel.set",
                       "<SETTINGS DIR_TO_VIEW=\"" + QFile::encodeName(program->path("stored/"))
                           + "\"/>");
    if (argument.startsWith("file:"))
        argument = argument.arg(QString::fromUtf8(
            QUrl::toPercentEncoding(QDir(program->path(".")).canonicalPath(), "/")));
    else if (!argument.startsWith(".."))
        argument = program->path(argument);

    CreateWindows(program->programPath());
    Fmain->OpenStartPath(PathFromArgument(QFile::encodeName(argument).toStdString()));
    ShowMainWindowCentred();
    QTRY_VERIFY(!Fmain->FirstActivation());

    QString expectedFolder = program->path(listed);
    if (argument.startsWith("file:"))
        expectedFolder = QDir(program->path(".")).canonicalPath() + "/" + listed;
    QCOMPARE(Fmain->Edit_dir->text(), expectedFolder);
    QCOMPARE(QString::fromStdString(Fmain->O_dir_content1->GetSelectedName()), selected);
    QCOMPARE(Fmain->ImageLoaded(), !shown.isEmpty());
    if (!shown.isEmpty()) {
        QCOMPARE(Fmain->O_pgv1->SourceSize(), QSize(40, 30));
        QCOMPARE(Fmain->Label_imgname->text(), shown);
        QCOMPARE(program->history(), QStringList {expectedFolder + shown});
    } else {
        QCOMPARE(program->history(), QStringList());
    }
    QCOMPARE(Fmain->statusBar()->currentMessage().section(": ", 0, 0).append(": "),
             message.isEmpty() ? QStringLiteral(": ") : message);
}

void TestDesktopStart::terminationSignalWritesSettings()
{
    program->Start();
    CloseWindowsOnTermination();
    ::raise(SIGTERM);
    QTRY_VERIFY(!Fmain->isVisible());
    program->Stop();
    QVERIFY(program->readFile("bin/vistrel.set").contains("WIDTH="));
}

// A program whose interface thread does not come back to its event loop after the signal (a
// save to a disk that does not answer) still ends, 2 s later, saying that its files were not
// saved. Run in a child of the test, which ends with it.
void TestDesktopStart::deadlineAfterSignal()
{
    if (qEnvironmentVariableIsSet(blockedMark)) {
        CloseWindowsOnTermination();
        EndWithinDeadlineAfterSignal();
        ::raise(SIGTERM);
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return;
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(blockedMark), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.start(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                {QStringLiteral("deadlineAfterSignal")});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 1);
    QVERIFY(child.readAllStandardError().contains("before its files were saved"));
}

void TestDesktopStart::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("todo");
    QTest::addColumn<QString>("path");
    const int run = int(CommandLine::Action::Run);
    QTest::newRow("nothing") << QStringList() << run << QString();
    QTest::newRow("a path") << QStringList {"a.bmp"} << run << "a.bmp";
    QTest::newRow("the first of several paths") << QStringList {"a.bmp", "b.bmp"} << run << "a.bmp";
    QTest::newRow("a path after --") << QStringList {"--", "-style"} << run << "-style";
    QTest::newRow("help after a path")
        << QStringList {"a.bmp", "-h"} << int(CommandLine::Action::Help) << "a.bmp";
    QTest::newRow("unknown option")
        << QStringList {"a.bmp", "--frobnicate"} << int(CommandLine::Action::Error) << "a.bmp";
}

void TestDesktopStart::commandLine()
{
    QFETCH(QStringList, arguments);
    std::vector<QByteArray> bytes {"vistrel"};
    for (const QString& argument : arguments)
        bytes.push_back(argument.toUtf8());
    std::vector<const char*> argv;
    for (const QByteArray& argument : bytes)
        argv.push_back(argument.constData());
    const CommandLine line = ReadCommandLine(int(argv.size()), argv.data());
    QTEST(int(line.Todo), "todo");
    QTEST(QString::fromStdString(line.Path), "path");
}

// The program itself: Qt takes its own options, help and version print and end, any other
// option is an error.
void TestDesktopStart::programOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("error");
    QTest::newRow("help") << QStringList {"--help"} << 0 << "Usage: vistrel [OPTION...]"
                          << QString();
    QTest::newRow("version") << QStringList {"--version"} << 0
                             << QString("Vistrel %1\n").arg(ProgramVersion()) << QString();
    QTest::newRow("Qt's option taken") << QStringList {"-style", "Fusion", "-bogus"} << 2
                                       << QString() << "vistrel: unknown option '-bogus'";
}

void TestDesktopStart::programOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, error);
    QProcess vistrel;
    vistrel.start(VISTREL_PROGRAM, arguments);
    QVERIFY(vistrel.waitForFinished(30000));
    QCOMPARE(vistrel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(vistrel.exitCode(), exitCode);
    const QString printed = QString::fromUtf8(vistrel.readAllStandardOutput());
    const QString complaint = QString::fromUtf8(vistrel.readAllStandardError());
    QVERIFY2(output.isEmpty() ? printed.isEmpty() : printed.startsWith(output),
             qPrintable(printed));
    // Qt may warn on standard error of its own.
    QVERIFY2(error.isEmpty() ? !complaint.contains("vistrel:") : complaint.contains(error),
             qPrintable(complaint));
    QVERIFY2(!complaint.contains("-style"), qPrintable(complaint));
}

QTEST_MAIN(TestDesktopStart)
#include "tst_desktop_start.moc"
