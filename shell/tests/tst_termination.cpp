// One signal ends the real program within moments, whatever it was showing or saving: its
// messages go to standard error, and its exit status says whether everything was saved.
#include "desktop_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>

namespace {

bool windowShown(const QString& name)
{
    QProcess xdotool;
    xdotool.start("xdotool", {"search", "--onlyvisible", "--name", name});
    xdotool.waitForFinished();
    return !xdotool.readAllStandardOutput().trimmed().isEmpty();
}

// Clicks OK in each message window shown (its button's middle), as its user would; true once
// none is shown.
bool answerMessages()
{
    for (QDeadlineTimer deadline(30000); !deadline.hasExpired(); QTest::qWait(100)) {
        if (!windowShown("^Message:$"))
            return true;
        QProcess::execute("xdotool",
                          {"search", "--onlyvisible", "--name", "^Message:$", "mousemove",
                           "--window", "%1", "291", "143", "click", "1"});
    }
    return false;
}

} // namespace

class TestTermination : public QObject
{
    Q_OBJECT

private slots:
    void oneSignalEnds_data();
    void oneSignalEnds();
};

void TestTermination::oneSignalEnds_data()
{
    // The settings and data files beside the program at its start.
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("data");
    // The largest file the program may write, in bytes; 0 for no limit.
    QTest::addColumn<int>("fileSizeLimit");
    // The window shown when the signal comes; with answered, the message windows shown at
    // the start are answered first.
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<int>("status");

    QTest::newRow("start-up messages waiting")
        << QByteArray("not a settings file") << QByteArray("not collection data") << 0
        << "^Message:$" << false << QStringList {"The settings file", "The collection data file"}
        << 0;
    const QByteArray settings = "\r\n<SETTINGS>\r\n\t<HISTORY>\r\n\t\t<HIT HIT_FILE=\"/pictures/"
                                "first.jpg\"/>\r\n\t\t<HIT HIT_FILE=\"/pictures/second.jpg\"/>"
                                "\r\n\t</HISTORY>\r\n</SETTINGS>";
    const QByteArray data = "\r\n<VISTREL_DATA VERSION=\"1.4\"/>";
    QTest::newRow("a save that fails")
        << settings << data << 64 << "^Vistrel$" << false
        << QStringList {"could not be written (File too large)"} << 1;
    QTest::newRow("a save that failed earlier in the run, told in a window")
        << QByteArray("x") << data << 8 << "^Message:$" << true
        << QStringList {"could not be written (File too large)"} << 1;
}

void TestTermination::oneSignalEnds()
{
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, data);
    QFETCH(int, fileSizeLimit);
    QFETCH(QString, shown);
    QFETCH(bool, answered);
    QFETCH(QStringList, told);
    QFETCH(int, status);

    QTemporaryDir work;
    QDir folder(work.path());
    QVERIFY(folder.mkpath("bin") && folder.mkpath("home"));
    QVERIFY(QFile::copy(VISTREL_PROGRAM, work.filePath("bin/vistrel")));
    for (const auto& [name, content] :
         {std::pair {"bin/vistrel.set", settings}, std::pair {"bin/vistrel.vsgc", data}}) {
        QFile file(work.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", work.filePath("home"));
    environment.insert("XDG_CONFIG_HOME", work.filePath("home/.config"));
    environment.insert("XDG_DATA_HOME", work.filePath("home/.local/share"));
    environment.remove("XDG_RUNTIME_DIR");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(work.filePath("bin"));
    if (fileSizeLimit > 0) {
        // As "prlimit --fsize": a write past the limit fails as on a full disk.
        program.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit {rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    program.start(work.filePath("bin/vistrel"), QStringList());
    QTRY_VERIFY_WITH_TIMEOUT(windowShown(shown), 30000);
    if (answered)
        QVERIFY(answerMessages());

    QCOMPARE(::kill(pid_t(program.processId()), SIGTERM), 0);
    QVERIFY2(program.waitForFinished(15000), "the program did not end");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    const QByteArray error = program.readAllStandardError();
    for (const QString& text : told)
        QVERIFY2(error.contains(text.toUtf8()), error.constData());
    QCOMPARE(program.exitCode(), status);
    // A save that failed leaves the file as it was.
    QFile kept(work.filePath("bin/vistrel.set"));
    if (fileSizeLimit > 0 && !answered && kept.open(QIODevice::ReadOnly))
        QCOMPARE(kept.readAll(), settings);
}

DESKTOP_TEST_MAIN(TestTermination)

#include "tst_termination.moc"
