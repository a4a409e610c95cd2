#include "imaging/picture_buffer.h"

#include "imaging/pixel_operations.h"
#include "store/picture_limits.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#define VISTREL_MMAP_PIXELS 1
#endif

namespace {

// Small pictures come from the C library's heap like any QImage.
constexpr std::size_t ownBlockBytes = std::size_t {1} << 20;

// The last released block is kept for the next picture, which in a viewer is most often of
// a similar size: its pages are already there, so filling it costs no page faults. Blocks
// above this size are given back at once.
constexpr std::size_t keptBlockBytes = std::size_t {512} << 20;

// The pixels start one cache line into the block; the block's first bytes hold its length,
// so that the cleanup function needs nothing but the block's address.
constexpr std::size_t headerBytes = 64;

#if defined(VISTREL_MMAP_PIXELS)

void* allocateBlock(std::size_t bytes)
{
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return nullptr;
#if defined(MADV_HUGEPAGE)
    // Only a hint: without huge pages the bitmap is just slower to fill the first time.
    madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

void releaseBlock(void* block, std::size_t bytes)
{
    munmap(block, bytes);
}

#else

void* allocateBlock(std::size_t bytes)
{
    return std::malloc(bytes);
}

void releaseBlock(void* block, std::size_t)
{
    std::free(block);
}

#endif

std::size_t blockBytes(void* block)
{
    return *static_cast<std::size_t*>(block);
}

// The one kept block; the last QImage holding a picture may go on any thread.
struct KeptBlock
{
    std::mutex mutex;
    void* block = nullptr;
};

KeptBlock& keptBlock()
{
    // Never destroyed: a picture that outlives the program's static objects still releases
    // its block through it.
    static KeptBlock* kept = new KeptBlock;
    return *kept;
}

// The bytes of the block a width x height picture takes: the header, then the pixels.
std::size_t pictureBlockBytes(int width, int height)
{
    return headerBytes
        + std::size_t {4} * static_cast<std::size_t>(std::max(width, 0))
        * static_cast<std::size_t>(std::max(height, 0));
}

// Whether a block fits a picture of bytes: at least as large and at most twice as large.
bool blockFits(void* block, std::size_t bytes)
{
    return blockBytes(block) >= bytes && blockBytes(block) / 2 <= bytes;
}

// The kept block when it fits a picture of bytes, or null.
void* takeKeptBlock(std::size_t bytes)
{
    KeptBlock& kept = keptBlock();
    const std::lock_guard<std::mutex> lock(kept.mutex);
    if (!kept.block || !blockFits(kept.block, bytes))
        return nullptr;
    return std::exchange(kept.block, nullptr);
}

void releasePixels(void* block)
{
    if (blockBytes(block) <= keptBlockBytes) {
        KeptBlock& kept = keptBlock();
        const std::lock_guard<std::mutex> lock(kept.mutex);
        block = std::exchange(kept.block, block);
    }
    if (block)
        releaseBlock(block, blockBytes(block));
}

} // namespace

QImage NewPictureBitmap(int width, int height)
{
    if (!FitsPictureLimit(width, height))
        return {};
    const std::size_t bytes = pictureBlockBytes(width, height);
    if (bytes < ownBlockBytes) {
        try {
            return QImage(width, height, QImage::Format_RGB32);
        } catch (const std::bad_alloc&) {
            return {};
        }
    }
    void* block = takeKeptBlock(bytes);
    if (!block) {
        block = allocateBlock(bytes);
        if (!block)
            return {};
        *static_cast<std::size_t*>(block) = bytes;
    }
    auto* pixels = static_cast<uchar*>(block) + headerBytes;
    QImage bitmap(pixels, width, height, qsizetype {width} * 4, QImage::Format_RGB32, releasePixels,
                  block);
    if (bitmap.isNull())
        releasePixels(block);
    return bitmap;
}

void TrimKeptPictureMemory(int width, int height)
{
    const std::size_t bytes = pictureBlockBytes(width, height);
    KeptBlock& kept = keptBlock();
    void* block = nullptr;
    {
        const std::lock_guard<std::mutex> lock(kept.mutex);
        if (kept.block && !blockFits(kept.block, bytes))
            block = std::exchange(kept.block, nullptr);
    }
    if (block)
        releaseBlock(block, blockBytes(block));
}

QImage PictureSlot::Adopt(QImage picture)
{
    Release();
    if (picture.isNull())
        return QImage();
    if (picture.format() != QImage::Format_RGB32)
        picture.convertTo(QImage::Format_RGB32);
    held = std::move(picture);
    width = held.width();
    height = held.height();
    // bits() detaches a shared picture, so no other picture sees a turn made in place.
    return QImage(held.bits(), width, height, qsizetype {4} * width, QImage::Format_RGB32);
}

QImage PictureSlot::Turn(bool clockwise)
{
    if (held.isNull())
        return QImage();
    // 32-bit rows are never padded, so the turned picture fits the same bytes.
    RotateQuarterInPlace(reinterpret_cast<std::uint32_t*>(held.bits()), width, height, clockwise);
    std::swap(width, height);
    return QImage(held.bits(), width, height, qsizetype {4} * width, QImage::Format_RGB32);
}

void PictureSlot::Release()
{
    held = QImage();
    width = 0;
    height = 0;
}
