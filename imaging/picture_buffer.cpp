#include "imaging/picture_buffer.h"

#include "imaging/picture_limits.h"

#include <cstdlib>
#include <new>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#define VISTREL_MMAP_PIXELS 1
#endif

namespace {

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

void releasePixels(void* block)
{
    releaseBlock(block, *static_cast<std::size_t*>(block));
}

} // namespace

QImage NewPictureBitmap(int width, int height)
{
    if (!FitsPictureLimit(width, height))
        return {};
    const qsizetype stride = qsizetype {width} * 4;
    const std::size_t bytes = headerBytes + static_cast<std::size_t>(stride) * height;
    void* block = allocateBlock(bytes);
    if (!block)
        return {};
    *static_cast<std::size_t*>(block) = bytes;
    auto* pixels = static_cast<uchar*>(block) + headerBytes;
    QImage bitmap(pixels, width, height, stride, QImage::Format_RGB32, releasePixels, block);
    if (bitmap.isNull())
        releaseBlock(block, bytes);
    return bitmap;
}
