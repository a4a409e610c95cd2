// One running program per settings file. A second start hands its path to the program that
// already runs with the same settings file, through a local socket in the user's runtime
// folder, and ends; two copies with different settings files never meet. The socket lives
// only in a folder of the user's own that nobody else can write, and a path is handed only to
// a process of the same user: otherwise the program runs alone. A client that does not send
// its whole path at once is dropped, only a few are served at a time, and a failure to accept
// one (no descriptor left) pauses listening instead of ending it.
#pragma once

#include <QObject>

#include <functional>
#include <string>

#include <sys/types.h>

class QLocalSocket;
class QSocketNotifier;

class SingleInstance : public QObject
{
public:
    // SettingsFile names the instance (an empty one: the program keeps no files and runs
    // alone); RuntimeFolder ($XDG_RUNTIME_DIR) holds the socket.
    SingleInstance(const std::string& SettingsFile, const std::string& RuntimeFolder);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    enum class Start {
        HandedOver, // the running program took Path; this process ends
        Listening, // the first: later starts hand their paths to OnHandedOver
        Alone, // no socket that is safe to use: runs on its own
    };
    // Path is absolute, or empty for none.
    Start Begin(const std::string& Path);

    // A path a later start handed over, or an empty one when it gave none; called from the
    // event loop.
    std::function<void(const std::string&)> OnHandedOver;

    // Where the socket is or would be; empty when the folder is not safe or no settings file
    // names the instance.
    const std::string& SocketPath() const { return socketPath; }

private:
    enum class Handing { Taken, NobodyListens, Refused };
    Handing handOver(const std::string& path) const;
    bool listen();
    void acceptClients();
    void serve(int descriptor);
    void received(QLocalSocket* client, const QByteArray& message);

    std::string socketPath;
    // The listening socket, -1 while there is none; its file is removed at the end only while
    // it is still this socket (its inode).
    int listener = -1;
    ino_t listenerFile = 0;
    QSocketNotifier* incoming = nullptr;
    int clients = 0;
};
