// One program per settings file: a second start hands its path to the first, which opens it
// and comes to the front, and ends; a socket is used only in a folder of the user's own, and
// a stale one left by a crash is replaced; clients that fall silent never end the listening.
#include "desktop_session.h"

#include "shell/single_instance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A listening socket at Path whose program never answers; closed with the object. With
// Stale, the program is gone at once and only its socket file is left, as a crash leaves it.
class RawSocket
{
public:
    RawSocket(const std::string& path, bool stale)
        : descriptor(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        bound = ::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            && ::listen(descriptor, 4) == 0;
        if (stale) {
            ::close(descriptor);
            descriptor = -1;
        }
    }
    ~RawSocket()
    {
        if (descriptor >= 0)
            ::close(descriptor);
    }
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    bool Bound() const { return bound; }
    bool ConnectionWaiting() const
    {
        pollfd readable {descriptor, POLLIN, 0};
        return ::poll(&readable, 1, 0) == 1;
    }

private:
    int descriptor;
    bool bound = false;
};

// Count clients of the socket at Path, each of which sends Sent and then nothing more.
struct SilentClients
{
    SilentClients(const std::string& path, int count, const QByteArray& sent)
    {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        for (int i = 0; i < count; ++i) {
            const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
                && ::write(client, sent.data(), size_t(sent.size())) == sent.size())
                descriptors.push_back(client);
            else
                ::close(client);
        }
    }
    ~SilentClients()
    {
        for (const int client : descriptors)
            ::close(client);
    }
    std::vector<int> descriptors;
};

// The descriptors this process holds; counted without opening one, which a full table refuses.
int openDescriptors()
{
    int count = 0;
    for (int descriptor = 0; descriptor < 4096; ++descriptor)
        count += ::fcntl(descriptor, F_GETFD) != -1;
    return count;
}

QString activeWindowName()
{
    QProcess xdotool;
    xdotool.start("xdotool", {"getactivewindow", "getwindowname"});
    xdotool.waitForFinished();
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void socketFolder_data();
    void socketFolder();
    void silentClients_data();
    void silentClients();
    void secondStartHandsOver();

private:
    QTemporaryDir root;
};

void TestSingleInstance::socketFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("listens");
    QTest::newRow("own folder") << "own" << true;
    QTest::newRow("stale socket of a crashed program") << "stale" << true;
    QTest::newRow("folder others can write") << "shared" << false;
    QTest::newRow("folder that is a link") << "link" << false;
    QTest::newRow("no runtime folder") << "" << false;
    QTest::newRow("another user's folder") << "foreign" << false;
    QTest::newRow("another user's socket in the own folder") << "planted" << false;
}

void TestSingleInstance::socketFolder()
{
    QFETCH(QString, folder);
    QFETCH(bool, listens);
    if ((folder == "foreign" || folder == "planted") && ::geteuid() != 0)
        QSKIP("only the super-user can make files of another user");
    const uid_t otherUser = 54321;
    if (!folder.isEmpty())
        QDir(root.path()).mkdir(folder);
    const std::string path = QFile::encodeName(root.filePath(folder)).toStdString();
    ::chmod(path.c_str(), folder == "shared" ? 0777 : 0700);
    if (folder == "link") {
        QDir(root.path()).mkdir("target");
        ::chmod(QFile::encodeName(root.filePath("target")).constData(), 0700);
        QDir(root.path()).rmdir(folder);
        QVERIFY(QFile::link(root.filePath("target"), root.filePath(folder)));
    }
    if (folder == "foreign")
        QCOMPARE(::chown(path.c_str(), otherUser, otherUser), 0);

    const std::string settings = "/opt/vistrel/vistrel.set";
    const std::string runtime = folder.isEmpty() ? std::string() : path;
    std::unique_ptr<RawSocket> other;
    if (folder == "stale" || folder == "planted") {
        const std::string socketPath = SingleInstance(settings, runtime).SocketPath();
        other = std::make_unique<RawSocket>(socketPath, folder == "stale");
        QVERIFY(other->Bound());
        if (folder == "planted")
            QCOMPARE(::lchown(socketPath.c_str(), otherUser, otherUser), 0);
    }
    const QStringList before = QDir(root.filePath(folder)).entryList(QDir::System | QDir::Files);

    SingleInstance instance(settings, runtime);
    const auto start = instance.Begin("/pics/a.bmp");
    QCOMPARE(start, listens ? SingleInstance::Start::Listening : SingleInstance::Start::Alone);
    if (listens)
        QVERIFY(QFileInfo(QFile::decodeName(instance.SocketPath().c_str())).exists());
    else if (other)
        QVERIFY2(!other->ConnectionWaiting(), "the path went to another user's program");
    else
        QCOMPARE(QDir(root.filePath(folder)).entryList(QDir::System | QDir::Files), before);
}

void TestSingleInstance::silentClients_data()
{
    QTest::addColumn<QByteArray>("sent");
    // Whether the program has no descriptor left when they come.
    QTest::addColumn<bool>("tableFull");
    QTest::newRow("clients that send nothing") << QByteArray() << false;
    QTest::newRow("a length and part of its path") << QByteArray("\0\0\0\x10/pics/", 10) << false;
    QTest::newRow("no descriptor left to accept them") << QByteArray() << true;
}

// Clients that connect and fall silent are dropped, only a few of them are held at once, and a
// program out of descriptors goes on listening: a later start still hands its path over.
void TestSingleInstance::silentClients()
{
    QFETCH(QByteArray, sent);
    QFETCH(bool, tableFull);
    const QString folder = root.filePath(QStringLiteral("silent-%1").arg(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    const std::string runtime = QFile::encodeName(folder).toStdString();
    ::chmod(runtime.c_str(), 0700);
    const std::string settings = "/opt/vistrel/vistrel.set";
    SingleInstance instance(settings, runtime);
    QCOMPARE(instance.Begin(std::string()), SingleInstance::Start::Listening);
    QStringList handed;
    instance.OnHandedOver = [&handed](const std::string& path) {
        handed << path.c_str();
    };
    const int before = openDescriptors();
    {
        const SilentClients silent(instance.SocketPath(), 20, sent);
        int most = 0;
        const auto held = [&] {
            most = std::max(most, openDescriptors() - before - int(silent.descriptors.size()));
            return openDescriptors() - before - int(silent.descriptors.size());
        };
        if (tableFull) {
            rlimit saved = {};
            ::getrlimit(RLIMIT_NOFILE, &saved);
            const int lowestFree = ::dup(0);
            ::close(lowestFree);
            const rlimit full = {rlim_t(lowestFree), saved.rlim_max};
            ::setrlimit(RLIMIT_NOFILE, &full);
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            ::setrlimit(RLIMIT_NOFILE, &saved);
            QCOMPARE(held(), 0);
        }
        QTRY_VERIFY(held() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(held(), 0, 20000);
        QVERIFY2(most <= 8, qPrintable(QStringLiteral("%1 clients held at once").arg(most)));
    }
    auto second = std::async(
        std::launch::async, [&] { return SingleInstance(settings, runtime).Begin("/pics/b.bmp"); });
    QTRY_VERIFY_WITH_TIMEOUT(second.wait_for(std::chrono::seconds(0)) == std::future_status::ready,
                             30000);
    QCOMPARE(second.get(), SingleInstance::Start::HandedOver);
    QTRY_COMPARE(handed, QStringList {"/pics/b.bmp"});
}

// Two processes of the real program under a window manager: the second start hands its
// path over, relative to its own folder, and ends; the first opens the picture and comes to
// the front. A copy with a settings file of its own runs beside them.
void TestSingleInstance::secondStartHandsOver()
{
    QTemporaryDir work;
    QDir folder(work.path());
    for (const char* name : {"bin", "copy", "run", "pics", "home"})
        QVERIFY(folder.mkpath(name));
    ::chmod(QFile::encodeName(work.filePath("run")).constData(), 0700);
    // Two portable copies, each with the settings file beside it.
    for (const char* copy : {"bin/vistrel", "copy/vistrel"})
        QVERIFY(QFile::copy(VISTREL_PROGRAM, work.filePath(copy)));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        QVERIFY(picture.save(work.filePath("pics/") + name, "BMP"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", work.filePath("run"));
    environment.insert("HOME", work.filePath("home"));
    environment.insert("XDG_CONFIG_HOME", work.filePath("home/.config"));
    environment.insert("XDG_DATA_HOME", work.filePath("home/.local/share"));
    const auto start = [&](const char* program, const QString& argument) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(work.filePath("pics"));
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(work.filePath(program),
                       argument.isEmpty() ? QStringList() : QStringList {argument});
        return process;
    };
    const auto sockets = [&] {
        return QDir(work.filePath("run"))
            .entryList({"vistrel-*"}, QDir::System)
            .filter(QRegularExpression("^vistrel-[0-9a-f]+$"));
    };

    const auto first = start("bin/vistrel", "a.bmp");
    QTRY_COMPARE_WITH_TIMEOUT(sockets().size(), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(activeWindowName(), QString("a.bmp \u2014 Vistrel"), 30000);
    QWidget other;
    other.setWindowTitle("Other");
    other.resize(300, 200);
    other.show();
    other.activateWindow();
    QTRY_COMPARE(activeWindowName(), QString("Other"));

    const auto second = start("bin/vistrel", "b.bmp");
    QVERIFY(second->waitForFinished(30000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QTRY_COMPARE(activeWindowName(), QString("b.bmp \u2014 Vistrel"));
    const auto third = start("bin/vistrel", QString());
    QVERIFY(third->waitForFinished(30000));
    QCOMPARE(third->exitCode(), 0);

    const auto beside = start("copy/vistrel", "c.bmp");
    QTRY_COMPARE_WITH_TIMEOUT(sockets().size(), 2, 30000);
    // Its first loading (which writes the data file) takes up its path.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(work.filePath("copy/vistrel.vsgc")), 30000);
    for (QProcess* running : {first.get(), beside.get()}) {
        QCOMPARE(running->state(), QProcess::Running);
        running->terminate();
        QVERIFY(running->waitForFinished(30000));
        QCOMPARE(running->exitCode(), 0);
    }
    QCOMPARE(sockets(), QStringList());

    const auto stored = [&](const char* settings) {
        QFile file(work.filePath(settings));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto path = [&](const char* name) {
        return QFile::encodeName(work.filePath("pics/") + name);
    };
    QVERIFY(stored("bin/vistrel.set").contains(path("a.bmp")));
    QVERIFY(stored("bin/vistrel.set").contains(path("b.bmp")));
    QVERIFY(!stored("bin/vistrel.set").contains(path("c.bmp")));
    QVERIFY(stored("copy/vistrel.set").contains(path("c.bmp")));
    QVERIFY(!stored("copy/vistrel.set").contains(path("a.bmp")));
}

DESKTOP_TEST_MAIN(TestSingleInstance)

#include "tst_single_instance.moc"
