#include "viewer/picture_loader.h"

#include "imaging/jpeg_graphic.h"
#include "imaging/picture_formats.h"
#include "store/picture_extensions.h"

#include <algorithm>
#include <fstream>
#include <utility>

#include <sys/stat.h>

namespace {

std::int64_t availableMemoryOfSystem()
{
    std::ifstream info("/proc/meminfo");
    std::string key;
    std::int64_t kb = 0;
    std::string unit;
    while (info >> key >> kb >> unit)
        if (key == "MemAvailable:")
            return kb * 1024;
    return -1;
}

} // namespace

PictureLoader::PictureLoader()
    : AvailableMemory(availableMemoryOfSystem)
{
}

PictureLoader::~PictureLoader()
{
    abandon();
    {
        const std::lock_guard<std::mutex> lock(queueMutex);
        // What waits in the queue is left undone; the task under way ends first.
        tasks.clear();
        stopping = true;
    }
    queueChanged.notify_all();
    if (worker.joinable())
        worker.join();
}

void PictureLoader::queue(std::function<void()> task, bool first)
{
    {
        const std::lock_guard<std::mutex> lock(queueMutex);
        if (first)
            tasks.push_front(std::move(task));
        else
            tasks.push_back(std::move(task));
        if (!worker.joinable())
            worker = std::thread([this] { work(); });
    }
    queueChanged.notify_all();
}

void PictureLoader::work()
{
    std::unique_lock<std::mutex> lock(queueMutex);
    for (;;) {
        queueChanged.wait(lock, [this] { return stopping || !tasks.empty(); });
        if (stopping)
            return;
        std::function<void()> task = std::move(tasks.front());
        tasks.pop_front();
        busy = true;
        lock.unlock();
        task();
        task = nullptr;
        lock.lock();
        busy = false;
        queueChanged.notify_all();
    }
}

void PictureLoader::WaitIdle()
{
    std::unique_lock<std::mutex> lock(queueMutex);
    queueChanged.wait(lock, [this] { return stopping || (tasks.empty() && !busy); });
}

PictureLoader::First PictureLoader::Open(const std::string& fileName, QSize area)
{
    First first;
    first.picture = takeAhead(fileName);
    if (!first.picture.isNull()) {
        first.size = first.picture.size();
        first.complete = true;
        return first;
    }
    const PictureExtensionEntry* extension = FindPictureExtension(PictureExtension(fileName));
    if (extension && extension->Format == PictureFormat::Jpeg) {
        ReducedJpeg reduced = ReadJpegReduced(fileName, area);
        if (!reduced.picture.isNull()) {
            first.picture = std::move(reduced.picture);
            first.size = reduced.fullSize;
            return first;
        }
    }
    // Everything else is decoded in full at once, as is a JPEG that cannot be reduced;
    // a file the reduced decode could not read ends here as no picture too.
    first.picture = LoadImageFile(fileName);
    first.size = first.picture.size();
    first.complete = true;
    return first;
}

void PictureLoader::Follow(const std::string& fileName, bool decodeBehind)
{
    abandon();
    if (!decodeBehind)
        return;
    job = std::make_shared<Job>();
    job->fileName = fileName;
    // Before any picture waiting to be decoded ahead.
    queue(
        [work = job, this] {
            QImage picture;
            {
                const std::lock_guard<std::mutex> lock(work->mutex);
                if (work->abandoned)
                    return;
            }
            picture = LoadImageFile(work->fileName);
            {
                const std::lock_guard<std::mutex> lock(work->mutex);
                // An abandoned picture's memory goes back before the next picture is decoded.
                if (!work->abandoned)
                    work->picture = std::move(picture);
                work->done = true;
            }
            picture = QImage();
            work->finished.notify_all();
            if (OnReady)
                OnReady();
        },
        true);
}

bool PictureLoader::TakeFull(QImage* picture)
{
    if (!job)
        return false;
    {
        const std::lock_guard<std::mutex> lock(job->mutex);
        if (!job->done)
            return false;
        *picture = std::move(job->picture);
    }
    job.reset();
    return true;
}

QImage PictureLoader::WaitFull()
{
    if (!job)
        return QImage();
    {
        std::unique_lock<std::mutex> lock(job->mutex);
        job->finished.wait(lock, [this] { return job->done; });
    }
    QImage picture;
    TakeFull(&picture);
    return picture;
}

void PictureLoader::abandon()
{
    if (!job)
        return;
    {
        const std::lock_guard<std::mutex> lock(job->mutex);
        job->abandoned = true;
        job->picture = QImage();
    }
    job.reset();
}

void PictureLoader::DecodeAhead(const std::vector<std::string>& fileNames)
{
    {
        const std::lock_guard<std::mutex> lock(aheadMutex);
        std::erase_if(ahead, [&](const Ahead& entry) {
            return std::find(fileNames.begin(), fileNames.end(), entry.fileName) == fileNames.end();
        });
        if (shortOfMemory(availableMemory())) {
            ahead.clear();
            return;
        }
        for (const std::string& fileName : fileNames) {
            if (std::any_of(ahead.begin(), ahead.end(),
                            [&](const Ahead& entry) { return entry.fileName == fileName; }))
                continue;
            ahead.push_back(Ahead {fileName, false, {}, {}});
        }
        if (aheadQueued || std::all_of(ahead.begin(), ahead.end(), [](const Ahead& entry) {
                return entry.done;
            }))
            return;
        aheadQueued = true;
    }
    queue([this] { decodeNextAhead(); }, false);
}

void PictureLoader::decodeNextAhead()
{
    std::string fileName;
    {
        const std::lock_guard<std::mutex> lock(aheadMutex);
        const auto next = std::find_if(ahead.begin(), ahead.end(),
                                       [](const Ahead& entry) { return !entry.done; });
        if (next == ahead.end()) {
            aheadQueued = false;
            return;
        }
        fileName = next->fileName;
    }
    if (BeforeDecodeAhead)
        BeforeDecodeAhead();
    decodeAhead(fileName);
    {
        const std::lock_guard<std::mutex> lock(aheadMutex);
        if (std::all_of(ahead.begin(), ahead.end(),
                        [](const Ahead& entry) { return entry.done; })) {
            aheadQueued = false;
            return;
        }
    }
    queue([this] { decodeNextAhead(); }, false);
}

int PictureLoader::QueuedTasks()
{
    const std::lock_guard<std::mutex> lock(queueMutex);
    return static_cast<int>(tasks.size());
}

int PictureLoader::AheadCount()
{
    const std::lock_guard<std::mutex> lock(aheadMutex);
    return static_cast<int>(
        std::count_if(ahead.begin(), ahead.end(), [](const Ahead& entry) { return entry.done; }));
}

void PictureLoader::decodeAhead(const std::string& fileName)
{
    {
        const std::lock_guard<std::mutex> lock(aheadMutex);
        // Dropped (or taken) while it waited in the queue.
        if (std::none_of(ahead.begin(), ahead.end(), [&](const Ahead& entry) {
                return entry.fileName == fileName && !entry.done;
            }))
            return;
    }
    // Stamped before it is read, so that a change while it is read counts as a change.
    const Stamp stamp = stampOf(fileName);
    QImage picture = LoadImageFile(fileName);
    const std::lock_guard<std::mutex> lock(aheadMutex);
    const auto entry = std::find_if(ahead.begin(), ahead.end(), [&](const Ahead& candidate) {
        return candidate.fileName == fileName && !candidate.done;
    });
    if (entry == ahead.end())
        return;
    std::int64_t held = 0;
    for (const Ahead& other : ahead)
        held += other.picture.sizeInBytes();
    const std::int64_t available = availableMemory();
    if (picture.isNull() || shortOfMemory(available)
        || held + picture.sizeInBytes() > budget(available)) {
        ahead.erase(entry);
        return;
    }
    entry->done = true;
    entry->stamp = stamp;
    entry->picture = std::move(picture);
}

QImage PictureLoader::takeAhead(const std::string& fileName)
{
    const std::lock_guard<std::mutex> lock(aheadMutex);
    if (ahead.empty())
        return QImage();
    if (shortOfMemory(availableMemory())) {
        ahead.clear();
        return QImage();
    }
    const auto entry = std::find_if(ahead.begin(), ahead.end(), [&](const Ahead& candidate) {
        return candidate.fileName == fileName && candidate.done;
    });
    if (entry == ahead.end())
        return QImage();
    QImage picture;
    // A file changed since it was decoded is decoded again.
    if (entry->stamp == stampOf(fileName))
        picture = std::move(entry->picture);
    ahead.erase(entry);
    return picture;
}

std::int64_t PictureLoader::availableMemory() const
{
    return AvailableMemory ? AvailableMemory() : -1;
}

std::int64_t PictureLoader::budget(std::int64_t available)
{
    return available < 0 ? AheadBudget : std::min(AheadBudget, available / 4);
}

bool PictureLoader::shortOfMemory(std::int64_t available)
{
    return available >= 0 && available < LowMemory;
}

PictureLoader::Stamp PictureLoader::stampOf(const std::string& fileName)
{
    struct stat status
    {
    };
    if (::stat(fileName.c_str(), &status) != 0)
        return Stamp {};
    return Stamp {static_cast<std::int64_t>(status.st_size),
                  static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000
                      + status.st_mtim.tv_nsec,
                  static_cast<std::uint64_t>(status.st_ino)};
}
