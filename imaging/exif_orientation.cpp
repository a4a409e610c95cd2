#include "imaging/exif_orientation.h"

#include "imaging/pixel_operations.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint16_t orientationTag = 0x0112;
constexpr std::uint16_t shortType = 3;

// Reads the TIFF structure of an Exif block in either byte order.
class TiffReader
{
public:
    TiffReader(const unsigned char* data, std::size_t size)
        : bytes(data)
        , length(size)
    {
    }

    bool ReadByteOrder()
    {
        if (length < 8)
            return false;
        if (bytes[0] == 'I' && bytes[1] == 'I')
            bigEndian = false;
        else if (bytes[0] == 'M' && bytes[1] == 'M')
            bigEndian = true;
        else
            return false;
        return Half(2) == 42;
    }

    bool Fits(std::size_t at, std::size_t count) const
    {
        return at <= length && count <= length - at;
    }

    // Callers check Fits first.
    std::uint16_t Half(std::size_t at) const
    {
        return bigEndian ? static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1])
                         : static_cast<std::uint16_t>(bytes[at + 1] << 8 | bytes[at]);
    }
    std::uint32_t Word(std::size_t at) const
    {
        const std::uint32_t high = Half(at);
        const std::uint32_t low = Half(at + 2);
        return bigEndian ? high << 16 | low : low << 16 | high;
    }

private:
    const unsigned char* bytes;
    std::size_t length;
    bool bigEndian = false;
};

void mirrorRows(QImage& picture)
{
    const int width = picture.width();
    for (int y = 0; y < picture.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(picture.scanLine(y));
        std::reverse(row, row + width);
    }
}

void mirrorColumns(QImage& picture)
{
    const auto bytes = static_cast<std::size_t>(picture.bytesPerLine());
    for (int top = 0, bottom = picture.height() - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(picture.scanLine(top), picture.scanLine(top) + bytes,
                         picture.scanLine(bottom));
}

void deleteHolder(void* holder)
{
    delete static_cast<QImage*>(holder);
}

// A quarter turn in the picture's own memory: 32-bit rows are never padded, so the
// turned picture fits the same bytes, and the turned view owns the original from then on.
QImage turnQuarter(QImage picture, bool clockwise)
{
    const int width = picture.width();
    const int height = picture.height();
    uchar* pixels = picture.bits();
    RotateQuarterInPlace(reinterpret_cast<std::uint32_t*>(pixels), width, height, clockwise);
    auto* holder = new QImage(std::move(picture));
    QImage turned(pixels, height, width, qsizetype {4} * height, QImage::Format_RGB32, deleteHolder,
                  holder);
    if (turned.isNull())
        delete holder;
    return turned;
}

} // namespace

int ExifOrientation(const unsigned char* data, std::size_t size)
{
    constexpr unsigned char exifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
    if (!data || size < sizeof exifHeader || std::memcmp(data, exifHeader, sizeof exifHeader) != 0)
        return 1;
    return ExifBlockOrientation(data + sizeof exifHeader, size - sizeof exifHeader);
}

int ExifBlockOrientation(const unsigned char* data, std::size_t size)
{
    if (!data)
        return 1;
    TiffReader tiff(data, size);
    if (!tiff.ReadByteOrder())
        return 1;
    const std::size_t directory = tiff.Word(4);
    if (!tiff.Fits(directory, 2))
        return 1;
    const int entries = tiff.Half(directory);
    for (int i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + 12 * static_cast<std::size_t>(i);
        if (!tiff.Fits(entry, 12))
            return 1;
        if (tiff.Half(entry) != orientationTag)
            continue;
        if (tiff.Half(entry + 2) != shortType || tiff.Word(entry + 4) != 1)
            return 1;
        const int value = tiff.Half(entry + 8);
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

bool OrientationTurns(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

QImage OrientPicture(QImage picture, int orientation)
{
    if (picture.isNull() || orientation <= 1 || orientation > 8)
        return picture;
    if (picture.format() != QImage::Format_RGB32)
        picture.convertTo(QImage::Format_RGB32);
    switch (orientation) {
    case 2:
        mirrorRows(picture);
        return picture;
    case 3:
        mirrorRows(picture);
        mirrorColumns(picture);
        return picture;
    case 4:
        mirrorColumns(picture);
        return picture;
    default:
        break;
    }
    QImage turned = turnQuarter(std::move(picture), orientation != 8);
    if (orientation == 5)
        mirrorRows(turned);
    else if (orientation == 7)
        mirrorColumns(turned);
    return turned;
}
