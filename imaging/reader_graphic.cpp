#include "imaging/reader_graphic.h"

#include "imaging/picture_limits.h"

#include <QFile>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// An icon lists its sizes in a directory of up to 65535 entries; real icons have a dozen.
// Looking further only lets a damaged directory cost time.
constexpr int maxIconImages = 256;

qint64 area(QSize size)
{
    return qint64 {size.width()} * size.height();
}

qint64 littleEndian(const QByteArray& bytes, int at, int size)
{
    qint64 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<uchar>(bytes[at + i]);
    return value;
}

// Qt's bitmap reader paints the rows that a cut-short file lacks black and reports success.
// For uncompressed bitmaps, whose pixel data has a known length, such a file is refused;
// run-length coded ones are left to the reader.
bool bitmapDataComplete(QIODevice& device)
{
    const QByteArray header = device.peek(34);
    if (header.size() < 34 || !header.startsWith("BM"))
        return true; // not for this check to judge: the reader fails on it itself
    const qint64 dataOffset = littleEndian(header, 10, 4);
    const qint64 headerSize = littleEndian(header, 14, 4);
    qint64 width = 0;
    qint64 height = 0;
    qint64 bitsPerPixel = 0;
    qint64 compression = 0;
    if (headerSize == 12) {
        width = littleEndian(header, 18, 2);
        height = littleEndian(header, 20, 2);
        bitsPerPixel = littleEndian(header, 24, 2);
    } else if (headerSize >= 40) {
        width = static_cast<qint32>(littleEndian(header, 18, 4));
        height = static_cast<qint32>(littleEndian(header, 22, 4));
        bitsPerPixel = littleEndian(header, 28, 2);
        compression = littleEndian(header, 30, 4);
    } else {
        return true;
    }
    constexpr qint64 plainRows = 0;
    constexpr qint64 bitFields = 3;
    constexpr qint64 alphaBitFields = 6;
    if (compression != plainRows && compression != bitFields && compression != alphaBitFields)
        return true;
    if (width <= 0 || height == 0 || bitsPerPixel <= 0 || bitsPerPixel > 32)
        return true;
    const qint64 stride = (width * bitsPerPixel + 31) / 32 * 4;
    return device.size() >= dataOffset + stride * std::abs(height);
}

// Qt refuses pictures above 256 MB by default; the loader's own limit is the one that counts,
// checked on the size the file reports before reading. Qt's limit is global, so it is put
// back when the read ends.
class AllocationLimit
{
public:
    explicit AllocationLimit(int megabytes)
        : previous(QImageReader::allocationLimit())
    {
        QImageReader::setAllocationLimit(megabytes);
    }
    ~AllocationLimit() { QImageReader::setAllocationLimit(previous); }
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;

private:
    int previous;
};

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

ReaderGraphic::ReaderGraphic(QByteArray readerFormat, bool largest)
    : format(std::move(readerFormat))
    , largestImage(largest)
{
}

bool ReaderGraphic::Read(const std::string& fileName)
{
    // The name goes to the system as the bytes it is: a name that is not valid UTF-8 would
    // not survive the trip through a QString.
    const std::unique_ptr<std::FILE, FileCloser> handle(std::fopen(fileName.c_str(), "rb"));
    QFile device;
    if (!handle || !device.open(handle.get(), QIODevice::ReadOnly))
        return false;
    if (format == "bmp" && !bitmapDataComplete(device))
        return false;
    QImageReader reader(&device, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);

    if (largestImage) {
        int best = -1;
        QSize bestSize;
        const int count = std::min(reader.imageCount(), maxIconImages);
        for (int i = 0; i < count; ++i) {
            if (!reader.jumpToImage(i))
                break;
            const QSize size = reader.size();
            if (size.isValid() && area(size) > area(bestSize)) {
                best = i;
                bestSize = size;
            }
        }
        if (best < 0 || !reader.jumpToImage(best))
            return false;
    }
    const QSize size = reader.size();
    if (!FitsPictureLimit(size.width(), size.height()))
        return false;
    // One MB above the loader's limit, as Qt refuses from its limit on.
    const AllocationLimit limit(static_cast<int>(MaxPictureBytes >> 20) + 1);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return false;
    picture = std::move(image);
    return true;
}

QImage ReaderGraphic::ToBitmap()
{
    return FlattenOnWhite(std::move(picture));
}
