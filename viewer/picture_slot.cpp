#include "viewer/picture_slot.h"

#include "imaging/zozIR.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr qsizetype hugePage = qsizetype {2} << 20;

} // namespace

QImage PictureSlot::Shape(int width, int height)
{
    if (width <= 0 || height <= 0)
        return QImage();
    const qsizetype bytes = qsizetype {4} * width * height;
    if (bytes > capacity || bytes < capacity / 4) {
        Release();
        // Small pictures come from the ordinary heap; large ones are aligned to whole huge
        // pages so that the kernel can back them with huge pages.
        const qsizetype alignment = bytes >= hugePage ? hugePage : 64;
        const qsizetype rounded = (bytes + alignment - 1) / alignment * alignment;
        void* block = std::aligned_alloc(static_cast<std::size_t>(alignment),
                                         static_cast<std::size_t>(rounded));
        if (!block)
            throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        if (alignment == hugePage)
            madvise(block, static_cast<std::size_t>(rounded), MADV_HUGEPAGE);
#endif
        allocated.reset(block);
        data = static_cast<uchar*>(block);
        capacity = rounded;
    }
    shapeWidth = width;
    shapeHeight = height;
    return QImage(data, width, height, qsizetype {4} * width, QImage::Format_RGB32);
}

QImage PictureSlot::Adopt(QImage image)
{
    Release();
    if (image.isNull())
        return QImage();
    if (image.format() != QImage::Format_RGB32)
        image.convertTo(QImage::Format_RGB32);
    adopted = std::move(image);
    // bits() detaches a shared picture, so no other picture sees a turn made in place.
    data = adopted.bits();
    capacity = adopted.sizeInBytes();
    shapeWidth = adopted.width();
    shapeHeight = adopted.height();
    // 32-bit rows are never padded, so the turned picture fits the same bytes.
    return QImage(data, shapeWidth, shapeHeight, qsizetype {4} * shapeWidth, QImage::Format_RGB32);
}

QImage PictureSlot::Turn(bool clockwise)
{
    if (!data)
        return QImage();
    RotateQuarterInPlace(reinterpret_cast<std::uint32_t*>(data), shapeWidth, shapeHeight,
                         clockwise);
    std::swap(shapeWidth, shapeHeight);
    return QImage(data, shapeWidth, shapeHeight, qsizetype {4} * shapeWidth, QImage::Format_RGB32);
}

void PictureSlot::Release()
{
    allocated.reset();
    adopted = QImage();
    data = nullptr;
    capacity = 0;
    shapeWidth = 0;
    shapeHeight = 0;
}
