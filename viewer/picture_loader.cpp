#include "viewer/picture_loader.h"

#include "imaging/picture_formats.h"
#include "store/picture_limits.h"
#include "viewer/available_memory.h"
#include "viewer/viewer_geometry.h"
#include "viewer/working_picture.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include <sys/stat.h>

PictureLoader::PictureLoader()
    : AvailableMemory([] { return ::AvailableMemory(); })
    , StartThread([](std::function<void()> run) { return std::thread(std::move(run)); })
{
}

PictureLoader::~PictureLoader()
{
    abandon();
    closing = true;
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

bool PictureLoader::queue(std::function<void()> task, bool first)
{
    {
        const std::lock_guard<std::mutex> lock(queueMutex);
        if (!worker.joinable()) {
            try {
                worker = StartThread([this] { work(); });
            } catch (const std::system_error&) {
                // Nothing may wait in the queue for a worker that never comes.
                return false;
            }
        }
        if (first)
            tasks.push_front(std::move(task));
        else
            tasks.push_back(std::move(task));
    }
    queueChanged.notify_all();
    return true;
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
    Ahead taken = takeAhead(fileName);
    if (!taken.first.picture.isNull())
        return std::move(taken.first);
    if (std::optional<First> begun = StartPicture::Take(fileName, area))
        return std::move(*begun);
    return decodeFirst(fileName, area, availableMemory());
}

PictureLoader::First PictureLoader::decodeFirst(const std::string& fileName, QSize area,
                                                std::int64_t available)
{
    First first;
    // The file's format, by its first bytes, for every step below.
    const PictureFormat* format = FormatOfFile(fileName);
    if (!format)
        return first;
    // A picture whose decode needs more memory than the program may still take is refused
    // before any of it is decoded: within a control group's limit the system would end the
    // program rather than refuse it the memory.
    if (available >= 0 && available < MaxPictureBytes
        && ReadPictureHeader(fileName, format).decodeBytes > available)
        return first;
    if (format->ReadReduced) {
        ReducedPicture reduced = format->ReadReduced(fileName, area);
        if (!reduced.picture.isNull()) {
            first.picture = std::move(reduced.picture);
            first.size = reduced.fullSize;
            return first;
        }
    }
    // Everything else is decoded in full at once, as is a large picture that cannot be
    // reduced; a file the reduced decode could not read ends here as no picture too.
    first.picture = LoadImageFile(fileName, format);
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
    std::function<void()> decodeFull = [work = job, this] {
        if (work->abandoned)
            return;
        QImage picture = decodeWhole(work->fileName, FormatOfFile(work->fileName),
                                     [&work] { return !work->abandoned; });
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
    };
    // Before any picture waiting to be decoded ahead; on this thread when no worker can
    // start, so that no job is left pending.
    if (!queue(decodeFull, true))
        decodeFull();
}

QImage PictureLoader::decodeWhole(const std::string& fileName, const PictureFormat* format,
                                  const std::function<bool()>& keepGoing)
{
    if (!format || !format->DecodeWhile)
        return LoadImageFile(fileName, format);
    try {
        return format->DecodeWhile(fileName, [&] {
            if (BetweenRows)
                BetweenRows(fileName);
            return keepGoing() && !closing;
        });
    } catch (...) {
        return {};
    }
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

void PictureLoader::DecodeAhead(const std::vector<std::string>& fileNames, QSize area, int border)
{
    {
        const std::lock_guard<std::mutex> lock(aheadMutex);
        aheadArea = area;
        aheadBorder = border;
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
            ahead.emplace_back().fileName = fileName;
        }
        if (aheadQueued || std::all_of(ahead.begin(), ahead.end(), [](const Ahead& entry) {
                return entry.done;
            }))
            return;
        aheadQueued = true;
    }
    queueNextAhead();
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
    queueNextAhead();
}

void PictureLoader::queueNextAhead()
{
    if (queue([this] { decodeNextAhead(); }, false))
        return;
    // Without a worker nothing more is decoded ahead.
    const std::lock_guard<std::mutex> lock(aheadMutex);
    std::erase_if(ahead, [](const Ahead& entry) { return !entry.done; });
    aheadQueued = false;
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

bool PictureLoader::aheadWanted(const std::string& fileName)
{
    const std::lock_guard<std::mutex> lock(aheadMutex);
    return std::any_of(ahead.begin(), ahead.end(), [&](const Ahead& entry) {
        return entry.fileName == fileName && !entry.done;
    });
}

void PictureLoader::decodeAhead(const std::string& fileName)
{
    // Dropped (or taken) while it waited in the queue.
    if (!aheadWanted(fileName))
        return;
    // Stamped before it is read, so that a change while it is read counts as a change.
    const Stamp stamp = stampOf(fileName);
    // Only a picture whose header tells its size, and whose decode fits beside the pictures
    // already held, is decoded: a picture too large for the budget must not take the memory
    // first and be dropped after.
    const PictureFormat* format = FormatOfFile(fileName);
    const PictureHeader header = ReadPictureHeader(fileName, format);
    const auto fits = [&](std::int64_t pictureBytes) {
        std::int64_t held = 0;
        for (const Ahead& other : ahead)
            held += other.bytes();
        const std::int64_t available = availableMemory();
        return pictureBytes >= 0 && !shortOfMemory(available)
            && pictureBytes <= budget(available) - held;
    };
    {
        const std::lock_guard<std::mutex> lock(aheadMutex);
        if (!fits(header.decodeBytes)) {
            std::erase_if(ahead, [&](const Ahead& entry) {
                return entry.fileName == fileName && !entry.done;
            });
            return;
        }
    }
    Ahead decoded;
    decoded.fileName = fileName;
    decoded.done = true;
    decoded.stamp = stamp;
    decoded.first.picture = decodeWhole(fileName, format, [&] { return aheadWanted(fileName); });
    decoded.first.size = decoded.first.picture.size();
    decoded.first.complete = true;
    if (!decoded.first.picture.isNull() && aheadWanted(fileName))
        averageForDisplay(decoded.first);
    const std::lock_guard<std::mutex> lock(aheadMutex);
    const auto entry = std::find_if(ahead.begin(), ahead.end(), [&](const Ahead& candidate) {
        return candidate.fileName == fileName && !candidate.done;
    });
    if (entry == ahead.end())
        return;
    if (decoded.first.picture.isNull() || !fits(decoded.bytes())) {
        ahead.erase(entry);
        return;
    }
    *entry = std::move(decoded);
}

void PictureLoader::averageForDisplay(First& first)
{
    QSize area;
    int border = 0;
    {
        const std::lock_guard<std::mutex> lock(aheadMutex);
        area = aheadArea;
        border = aheadBorder;
    }
    const Rect64 shown = FitToArea(first.size, first.size, area, border).shownRect;
    // What the display shows pixel for pixel, or enlarged, it draws on its own at once.
    if (area.isEmpty() || shown.width() < 1 || shown.height() < 1
        || (shown.width() >= first.size.width() && shown.height() >= first.size.height()))
        return;
    QImage averaged(shown.toQRect().size(), QImage::Format_RGB32);
    if (averaged.isNull())
        return;
    WorkingPicture working;
    working.Reset(&first.picture, first.size.width(), first.size.height());
    working.Average(averaged, averaged.rect());
    first.averaged = std::move(averaged);
    first.averagedInto = shown.toQRect();
}

PictureLoader::Ahead PictureLoader::takeAhead(const std::string& fileName)
{
    const std::lock_guard<std::mutex> lock(aheadMutex);
    if (ahead.empty())
        return {};
    if (shortOfMemory(availableMemory())) {
        ahead.clear();
        return {};
    }
    const auto entry = std::find_if(ahead.begin(), ahead.end(), [&](const Ahead& candidate) {
        return candidate.fileName == fileName && candidate.done;
    });
    if (entry == ahead.end())
        return {};
    Ahead taken;
    // A file changed since it was decoded is decoded again.
    if (entry->stamp == stampOf(fileName))
        taken = std::move(*entry);
    ahead.erase(entry);
    return taken;
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
    return Stamp {
        static_cast<std::int64_t>(status.st_size),
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
        static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec,
        static_cast<std::uint64_t>(status.st_ino)};
}

StartPicture* StartPicture::current = nullptr;

StartPicture::StartPicture(const std::string& fileName, QSize area)
    : begunFile(fileName)
    , begunArea(area)
{
    try {
        decoder = std::thread([this] {
            // What fails here fails again, and is told, when Open decodes on its own thread.
            try {
                first = PictureLoader::decodeFirst(begunFile, begunArea, ::AvailableMemory());
            } catch (...) {
                first = PictureLoader::First {};
            }
        });
    } catch (const std::system_error&) {
        return;
    }
    current = this;
}

StartPicture::~StartPicture()
{
    if (current == this)
        current = nullptr;
    if (decoder.joinable())
        decoder.join();
}

std::optional<PictureLoader::First> StartPicture::Take(const std::string& fileName, QSize area)
{
    StartPicture* begun = std::exchange(current, nullptr);
    if (!begun || begun->begunFile != fileName)
        return std::nullopt;
    begun->decoder.join();
    PictureLoader::First first = std::move(begun->first);
    // A reduced picture serves when it covers the picture fitted into the area, with the
    // reduced decode's pixel to spare for rounding.
    const QSize fitted = first.size.scaled(area, Qt::KeepAspectRatio) + QSize(1, 1);
    if (first.picture.isNull()
        || (!first.complete
            && (first.picture.width() < fitted.width()
                || first.picture.height() < fitted.height())))
        return std::nullopt;
    return first;
}
