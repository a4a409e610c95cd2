#include "shell/single_instance.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
// A later start sends its whole path as soon as it is connected. A client that has not within
// this time (one that sends nothing, or a length and never the bytes) is dropped.
constexpr int messageMilliseconds = 2000;
// Clients served at once; the others wait in the listening socket's queue meanwhile, so that
// silent clients never take more descriptors than these.
constexpr int maxClients = 8;
constexpr int queueLength = 16;
// When a client cannot be accepted (no descriptor or memory left), listening pauses this long
// instead of retrying at once; the client waits in the queue.
constexpr int acceptPauseMilliseconds = 250;

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

SingleInstance::~SingleInstance()
{
    if (listener < 0)
        return;
    delete incoming;
    // A later program that found this one gone may have put its own socket there already.
    struct stat status = {};
    if (::lstat(socketPath.c_str(), &status) == 0 && S_ISSOCK(status.st_mode)
        && status.st_ino == listenerFile)
        ::unlink(socketPath.c_str());
    ::close(listener);
}

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
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (descriptor < 0)
        return false;
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(descriptor);
        return false;
    }
    if (::listen(descriptor, queueLength) != 0 || ::lstat(socketPath.c_str(), &status) != 0) {
        ::unlink(socketPath.c_str());
        ::close(descriptor);
        return false;
    }
    listener = descriptor;
    listenerFile = status.st_ino;
    // Our own accepting rather than QLocalServer's, which closes itself and removes its socket
    // for good the first time accept() fails.
    incoming = new QSocketNotifier(listener, QSocketNotifier::Read, this);
    connect(incoming, &QSocketNotifier::activated, this, &SingleInstance::acceptClients);
    return true;
}

void SingleInstance::acceptClients()
{
    while (clients < maxClients) {
        const int descriptor = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (descriptor >= 0) {
            serve(descriptor);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            incoming->setEnabled(false);
            QTimer::singleShot(acceptPauseMilliseconds, this, [this] {
                if (clients < maxClients)
                    incoming->setEnabled(true);
            });
        }
        return;
    }
    incoming->setEnabled(false);
}

void SingleInstance::serve(int descriptor)
{
    auto* client = new QLocalSocket(this);
    if (!peerIsThisUser(descriptor) || !client->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        delete client;
        return;
    }
    ++clients;
    connect(client, &QObject::destroyed, this, [this] {
        --clients;
        incoming->setEnabled(true);
    });
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    auto* deadline = new QTimer(client);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, client, [client] {
        client->abort();
        client->deleteLater();
    });
    deadline->start(messageMilliseconds);

    auto message = std::make_shared<QByteArray>();
    connect(client, &QLocalSocket::readyRead, this, [this, client, deadline, message] {
        if (!deadline->isActive())
            return;
        message->append(client->readAll());
        if (message->size() < 4)
            return;
        const quint32 length = qFromBigEndian<quint32>(message->constData());
        if (length > maxPathBytes) {
            client->abort();
            client->deleteLater();
        } else if (quint32(message->size()) >= 4 + length) {
            deadline->stop();
            received(client, message->mid(4, length));
        }
    });
}

void SingleInstance::received(QLocalSocket* client, const QByteArray& message)
{
    const std::string path = message.toStdString();
    // Only a whole absolute path: the sender made it absolute in its own folder.
    const bool valid
        = path.empty() || (path.front() == '/' && path.find('\0') == std::string::npos);
    if (valid)
        client->putChar(takenByte);
    client->disconnectFromServer();
    if (valid && OnHandedOver)
        QTimer::singleShot(0, this, [this, path] { OnHandedOver(path); });
}
