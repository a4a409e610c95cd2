#include "browse/folder_watch.h"

#include <algorithm>

FolderWatch::FolderWatch(QObject* parent)
    : QObject(parent)
{
    timer.setSingleShot(true);
    // A coarse timer may fire a little early, and the interval is a promise.
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &FolderWatch::timerFired);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, &FolderWatch::folderChanged);
}

void FolderWatch::Watch(const QString& Folder)
{
    timer.stop();
    const QStringList watched = watcher.directories();
    if (watched.size() == 1 && watched.first() == Folder)
        return;
    if (!watched.isEmpty())
        watcher.removePaths(watched);
    if (!Folder.isEmpty())
        watcher.addPath(Folder);
}

void FolderWatch::Listed()
{
    sinceListing.start();
}

void FolderWatch::folderChanged()
{
    // A folder that vanished is no longer watched; its last listing still follows, and it
    // shows the folder empty.
    if (timer.isActive())
        return;
    const qint64 waited = sinceListing.isValid() ? sinceListing.elapsed() : Interval;
    timer.start(static_cast<int>(std::max<qint64>(GatherTime, Interval - waited)));
}

void FolderWatch::timerFired()
{
    if (sinceListing.isValid() && sinceListing.elapsed() < Interval) {
        timer.start(static_cast<int>(Interval - sinceListing.elapsed()));
        return;
    }
    sinceListing.start();
    if (OnChanged)
        OnChanged();
}
