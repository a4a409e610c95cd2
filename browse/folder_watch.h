// Keeps an eye on the listed folder: one watch on the folder itself, and a notice to the owner
// when its entries changed, at most once a second however fast the changes come, so that a
// folder of 100,000 files being filled is not read again at every file.
#pragma once

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <functional>

class FolderWatch : public QObject
{
public:
    explicit FolderWatch(QObject* parent = nullptr);

    // Watches Folder from now on instead of the one before; a notice still to come for the
    // one before is dropped. A folder that cannot be watched is simply not followed.
    void Watch(const QString& Folder);
    // The owner listed the folder just now: the next notice waits out the interval from here.
    void Listed();

    // Raised when the watched folder's entries changed since the owner last listed it.
    std::function<void()> OnChanged;

    // The shortest time between two notices, and the time a first change waits for the rest
    // of its burst (a copy of ten files lists once).
    static constexpr int Interval = 1000;
    static constexpr int GatherTime = 100;

private:
    void folderChanged();
    void timerFired();

    QFileSystemWatcher watcher;
    QTimer timer;
    QElapsedTimer sinceListing;
};
