#include "shell/single_instance.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A path is sent as its length (4 bytes, big-endian) and its bytes; the running program
// answers with this byte once it has taken it.
constexpr char takenByte = '\x06';
constexpr quint32 maxPathBytes = 64 * 1024;
constexpr int connectMilliseconds = 5000;
// A running program that is busy (decoding a huge picture) answers late; past this the new
// start runs on its own rather than not at all.
constexpr int answerMilliseconds = 20000;

// A real folder (no link) of this user's that no other user can write: only this user (or
// the super-user) can then put a socket into it.
bool ownFolder(const std::string& folder)
{
    struct stat status = {};
    return !folder.empty() && folder.front() == '/' && ::lstat(folder.c_str(), &status) == 0
        && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid()
        && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool peerIsThisUser(qintptr descriptor)
{
    ucred peer = {};
    socklen_t size = sizeof peer;
    return descriptor >= 0
        && ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
        && peer.uid == ::geteuid();
}

class FileLock
{
public:
    explicit FileLock(const std::string& path)
        : descriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600))
    {
        if (descriptor >= 0 && ::flock(descriptor, LOCK_EX) != 0) {
            ::close(descriptor);
            descriptor = -1;
        }
    }
    ~FileLock()
    {
        if (descriptor >= 0)
            ::close(descriptor);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return descriptor >= 0; }

private:
    int descriptor;
};

} // namespace

SingleInstance::SingleInstance(const std::string& SettingsFile, const std::string& RuntimeFolder)
{
    if (SettingsFile.empty() || !ownFolder(RuntimeFolder))
        return;
    // The same settings file reached by another path (a link to the program's folder) is
    // the same instance.
    std::error_code error;
    std::filesystem::path settings = std::filesystem::weakly_canonical(SettingsFile, error);
    if (error)
        settings = SettingsFile;
    const QByteArray name = QCryptographicHash::hash(QByteArray::fromStdString(settings.string()),
                                                     QCryptographicHash::Sha256)
                                .toHex()
                                .left(16);
    socketPath = RuntimeFolder + (RuntimeFolder.back() == '/' ? "" : "/") + "vistrel-"
        + name.toStdString();
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Start SingleInstance::Begin(const std::string& Path)
{
    if (socketPath.empty())
        return Start::Alone;
    // Two starts at the same moment: one of them becomes the first, and the other finds it
    // listening instead of removing its socket as a stale one.
    const FileLock lock(socketPath + ".lock");
    if (!lock.Held())
        return Start::Alone;
    switch (handOver(Path)) {
    case Handing::Taken:
        return Start::HandedOver;
    case Handing::Refused:
        return Start::Alone;
    case Handing::NobodyListens:
        break;
    }
    return listen() ? Start::Listening : Start::Alone;
}

SingleInstance::Handing SingleInstance::handOver(const std::string& path) const
{
    struct stat status = {};
    if (::lstat(socketPath.c_str(), &status) != 0)
        return errno == ENOENT ? Handing::NobodyListens : Handing::Refused;
    if (!S_ISSOCK(status.st_mode) || status.st_uid != ::geteuid())
        return Handing::Refused;

    QLocalSocket socket;
    socket.connectToServer(QFile::decodeName(QByteArray::fromStdString(socketPath)));
    if (!socket.waitForConnected(connectMilliseconds)) {
        // The socket of a program that ended without removing it (a crash) answers nobody.
        const auto error = socket.error();
        return error == QLocalSocket::ConnectionRefusedError
                || error == QLocalSocket::ServerNotFoundError
            ? Handing::NobodyListens
            : Handing::Refused;
    }
    if (!peerIsThisUser(socket.socketDescriptor()))
        return Handing::Refused;

    QByteArray message(4, '\0');
    qToBigEndian(quint32(path.size()), message.data());
    message.append(path.data(), qsizetype(path.size()));
    socket.write(message);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(answerMilliseconds))
            return Handing::Refused;
    while (socket.bytesAvailable() == 0) {
        if (socket.waitForReadyRead(answerMilliseconds))
            continue;
        // Closed without an answer: the program ended meanwhile.
        return socket.state() == QLocalSocket::UnconnectedState ? Handing::NobodyListens
                                                                : Handing::Refused;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == takenByte ? Handing::Taken : Handing::Refused;
}

bool SingleInstance::listen()
{
    struct stat status = {};
    if (::lstat(socketPath.c_str(), &status) == 0) {
        if (!S_ISSOCK(status.st_mode) || status.st_uid != ::geteuid())
            return false;
        ::unlink(socketPath.c_str());
    }
    server = new QLocalServer(this);
    if (!server->listen(QFile::decodeName(QByteArray::fromStdString(socketPath)))) {
        delete server;
        server = nullptr;
        return false;
    }
    connect(server, &QLocalServer::newConnection, this, &SingleInstance::receive);
    return true;
}

void SingleInstance::receive()
{
    while (QLocalSocket* client = server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        if (!peerIsThisUser(client->socketDescriptor())) {
            client->abort();
            client->deleteLater();
            continue;
        }
        auto received = std::make_shared<QByteArray>();
        connect(client, &QLocalSocket::readyRead, this, [this, client, received] {
            received->append(client->readAll());
            if (received->size() < 4)
                return;
            const quint32 length = qFromBigEndian<quint32>(received->constData());
            if (length > maxPathBytes) {
                client->abort();
                client->deleteLater();
                return;
            }
            if (quint32(received->size()) < 4 + length)
                return;
            const std::string path(received->constData() + 4, length);
            received->clear();
            client->readAll();
            client->disconnect(this);
            // Only a whole absolute path: the sender made it absolute in its own folder.
            const bool valid
                = path.empty() || (path.front() == '/' && path.find('\0') == std::string::npos);
            if (valid)
                client->putChar(takenByte);
            client->disconnectFromServer();
            if (valid && OnHandedOver)
                QTimer::singleShot(0, this, [this, path] { OnHandedOver(path); });
        });
    }
}
