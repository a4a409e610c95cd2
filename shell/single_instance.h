// One running program per settings file. A second start hands its path to the program that
// already runs with the same settings file, through a local socket in the user's runtime
// folder, and ends; two copies with different settings files never meet. The socket lives
// only in a folder of the user's own that nobody else can write, and a path is handed only to
// a process of the same user: otherwise the program runs alone.
#pragma once

#include <QObject>

#include <functional>
#include <string>

class QLocalServer;

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
    void receive();

    std::string socketPath;
    QLocalServer* server = nullptr;
};
