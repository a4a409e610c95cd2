// How the viewer gets its pictures without keeping the user waiting: a large JPEG, WebP or
// TIFF is first decoded at a reduced scale for the display (where its format offers one),
// and its full picture is decoded behind on a worker thread; a drawing, which may take
// seconds, is drawn behind with white standing in. Knows nothing of widgets, so a test
// drives it directly.
//
// One picture is followed at a time: the picture shown last. Work for a picture shown
// before it is abandoned, and its result is never handed out.
//
// Pictures the user is likely to ask for next (the history's neighbours) are decoded ahead,
// within a memory budget that each picture's size, read from its header, is checked against
// before it is decoded; they are dropped when the system runs short of memory, and one whose
// file has changed since is decoded again. A decode no longer wanted stops between rows.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct PictureFormat;

class PictureLoader
{
public:
    PictureLoader();
    // Waits for the worker to end what it is doing.
    ~PictureLoader();
    PictureLoader(const PictureLoader&) = delete;
    PictureLoader& operator=(const PictureLoader&) = delete;

    struct First
    {
        // Null when the file holds no picture.
        QImage picture;
        // The full picture's size.
        QSize size;
        // picture is the full picture; otherwise a reduced one standing in for it.
        bool complete = false;
        // For a picture decoded ahead that the display reduces: the picture's area average
        // into averagedInto, the rectangle the fit gives it in the area DecodeAhead was last
        // given, made on the worker with the decode. Null otherwise.
        QImage averaged;
        QRect averagedInto;
    };

    // The picture in fileName for display in an area of the given size, decoded on the
    // calling thread. The picture followed so far stays followed; a picture decoded ahead for
    // fileName is handed over and no longer held.
    First Open(const std::string& fileName, QSize area);

    // fileName, opened (successfully) before, becomes the picture followed: the work for the
    // one before is abandoned, and with decodeBehind (its first picture was not complete)
    // its full picture is decoded behind.
    void Follow(const std::string& fileName, bool decodeBehind);

    // Once the full picture decoded behind is ready: gives it (null when it could not be
    // decoded), true, and nothing is pending any more. False while it is not ready or when
    // nothing is pending.
    bool TakeFull(QImage* picture);

    // TakeFull after waiting for the full picture; null when nothing is pending.
    QImage WaitFull();

    // The pictures to have decoded ahead, in order of preference; pictures decoded ahead
    // that are not among them are dropped. Each is decoded behind the work already queued,
    // as long as all of them together stay within AheadBudget. They are queued one at a
    // time, the next when the one before is done: asked again and again (a key held down),
    // the worker never has more than one of them waiting. With an area (the pane's, in the
    // pixels the display is made of, and its border), a picture larger than its fit is also
    // averaged into the fit there, so that showing it costs no reduction.
    void DecodeAhead(const std::vector<std::string>& fileNames, QSize area = {}, int border = 0);
    // How many pictures decoded ahead are held.
    int AheadCount();
    // How many tasks wait in the worker's queue, the one under way not counted.
    int QueuedTasks();

    // The memory the program may still take in bytes (viewer/available_memory: the system's,
    // within its control groups' limits; -1 when unknown). Replaceable, so that a test can
    // play a system short of memory.
    std::function<std::int64_t()> AvailableMemory;
    // Below this much available memory every picture decoded ahead is dropped.
    static constexpr std::int64_t LowMemory = std::int64_t {256} << 20;
    // The most memory pictures decoded ahead may hold; a quarter of the available memory
    // when that is less.
    static constexpr std::int64_t AheadBudget = std::int64_t {512} << 20;

    // Called on the worker thread before each picture decoded ahead, with no lock held; a
    // test holds the worker there.
    std::function<void()> BeforeDecodeAhead;

    // Waits until the worker has nothing left to do.
    void WaitIdle();

    // Called on the worker thread whenever a full picture decoded behind is ready, also an
    // abandoned one; the receiver asks TakeFull on its own thread. Set before any Follow.
    // Called on the calling thread, within Follow, when there is no worker (see StartThread).
    std::function<void()> OnReady;

    // Starts the worker thread; throws std::system_error, as std::thread does, when the
    // system gives no new thread. Replaceable, so that a test can play that. Without a worker
    // the full picture is decoded on the thread that calls Follow, and nothing is decoded
    // ahead; the next task tries to start one again.
    std::function<std::thread(std::function<void()>)> StartThread;

    // Called on the worker thread between the rows of every decode it makes that can be
    // given up, with the picture's file name (tests watch decodes through it).
    std::function<void(const std::string&)> BetweenRows;

private:
    friend class StartPicture;
    // What Open gives for fileName, decoded on the calling thread, with nothing decoded ahead;
    // no picture when its decode would take more than the available memory (-1: unknown).
    // The header is read for that only when less than the picture limit is available: no
    // decoder takes more than the limit.
    static First decodeFirst(const std::string& fileName, QSize area, std::int64_t available);

    struct Job
    {
        std::string fileName;
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        // Read between rows without the mutex.
        std::atomic<bool> abandoned = false;
        QImage picture;
    };

    void abandon();

    // What identifies a file's contents without reading them. The change time is there
    // because it cannot be set back: a file rewritten in place at its old size, with its
    // modification time put back, still has a new one.
    struct Stamp
    {
        std::int64_t size = -1;
        std::int64_t modified = 0; // nanoseconds
        std::int64_t changed = 0; // nanoseconds
        std::uint64_t inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    static Stamp stampOf(const std::string& fileName);

    struct Ahead
    {
        std::string fileName;
        bool done = false;
        Stamp stamp;
        // What Open hands over: the complete picture, averaged for the display where it is
        // reduced there.
        First first;
        std::int64_t bytes() const
        {
            return first.picture.sizeInBytes() + first.averaged.sizeInBytes();
        }
    };
    // The entry decoded ahead for fileName, taken out; an empty one when there is none (or
    // its file changed since).
    Ahead takeAhead(const std::string& fileName);
    // The area and border the last DecodeAhead gave, under aheadMutex.
    QSize aheadArea;
    int aheadBorder = 0;
    // What AvailableMemory gives (-1 when unknown), read once for each decision.
    std::int64_t availableMemory() const;
    static std::int64_t budget(std::int64_t available);
    static bool shortOfMemory(std::int64_t available);
    void decodeAhead(const std::string& fileName);
    // Averages the picture into its fit in the area DecodeAhead gave, where the display
    // reduces it.
    void averageForDisplay(First& first);
    // Whether a picture decoded ahead is still wanted, not yet decoded.
    bool aheadWanted(const std::string& fileName);
    // The whole picture in fileName, read as format; null when it cannot be decoded or
    // keepGoing (asked between rows where the decoder can stop) said false.
    QImage decodeWhole(const std::string& fileName, const PictureFormat* format,
                       const std::function<bool()>& keepGoing);
    // Decodes the first picture wanted ahead that is not yet decoded, then queues itself
    // again while there is another.
    void decodeNextAhead();
    // A decodeNextAhead is queued or under way; under aheadMutex.
    bool aheadQueued = false;
    // Queues decodeNextAhead; without a worker, drops what was still to be decoded ahead.
    void queueNextAhead();

    // One worker thread, so that the pictures are decoded one after the other and an
    // abandoned picture's memory is free before the next one is decoded. Its queue holds the
    // full picture's decode first, then the pictures to decode ahead in order. Started with
    // the first task; plain standard threads, so that a race checker sees every handover.
    // False, with the task not queued, when there is no worker and none can be started.
    bool queue(std::function<void()> task, bool first);
    void work();
    std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::deque<std::function<void()>> tasks;
    bool busy = false;
    bool stopping = false;
    // Set at the end, read between rows: the decode under way stops.
    std::atomic<bool> closing = false;
    std::thread worker;
    std::shared_ptr<Job> job;
    // The pictures decoded ahead, under aheadMutex; the worker fills the entries.
    std::mutex aheadMutex;
    std::vector<Ahead> ahead;
};

// The picture a start with a path shows first, decoded on a thread of its own while the
// program makes and shows its windows. Begun for an area at least as large as the pane it
// will show in (a larger area never asks for more reduction), so that PictureLoader::Open of
// that file, in the pane's own area, takes it instead of decoding again; a reduced picture
// too small for the pane is decoded again. One at a time; made and ended on the thread that
// calls Open.
class StartPicture
{
public:
    // Begins decoding; where the system gives no thread, nothing is begun and Open decodes
    // as it does without one.
    StartPicture(const std::string& fileName, QSize area);
    // Waits for the decode, whose picture then goes unused.
    ~StartPicture();
    StartPicture(const StartPicture&) = delete;
    StartPicture& operator=(const StartPicture&) = delete;

    // The picture begun for fileName when it serves an area of this size, after waiting for
    // it; otherwise nothing. Either way the start picture is then used up.
    static std::optional<PictureLoader::First> Take(const std::string& fileName, QSize area);

private:
    std::string begunFile;
    QSize begunArea;
    PictureLoader::First first;
    std::thread decoder;
    static StartPicture* current;
};
