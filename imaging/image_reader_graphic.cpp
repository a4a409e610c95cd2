#include "imaging/image_reader_graphic.h"

#include "imaging/colour_profile.h"
#include "imaging/exif_orientation.h"
#include "imaging/graphic.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <QColorSpace>
#include <QIODevice>
#include <QImageIOHandler>
#include <QImageReader>

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

#include <zlib.h>

namespace {

// Qt refuses pictures above 256 MB by default; the loader's own limit is the one that counts,
// checked on the size the header gives before the picture is read. Qt's limit is global and
// reads run on the interface thread and the decode-ahead thread at once, so the first read to
// begin raises it and the last to end puts the old one back.
class AllocationLimit
{
public:
    explicit AllocationLimit(int megabytes)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (readers++ == 0) {
            previous = QImageReader::allocationLimit();
            QImageReader::setAllocationLimit(megabytes);
        }
    }
    ~AllocationLimit()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (--readers == 0)
            QImageReader::setAllocationLimit(previous);
    }
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;

private:
    static inline std::mutex mutex;
    static inline int readers = 0;
    static inline int previous = 0;
};

// A picture file as a device for Qt's readers, so that they read it through PictureFile's
// rules (regular files only, nothing past the size at opening).
class PictureFileDevice final : public QIODevice
{
public:
    explicit PictureFileDevice(PictureFile& pictureFile)
        : file(pictureFile)
    {
    }

    bool isSequential() const override { return false; }
    qint64 size() const override { return file.size(); }
    bool seek(qint64 offset) override { return QIODevice::seek(offset) && file.seek(offset); }

protected:
    qint64 readData(char* data, qint64 count) override { return file.read(data, count); }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    PictureFile& file;
};

// The Exif orientation (1 to 8) that puts upright a picture Qt's reader says is stored with
// transformation; the turn and mirrors are then applied in the picture's own memory rather
// than in a copy as Qt's own transformation would.
int orientationOf(QImageIOHandler::Transformations transformation)
{
    // Indexed by the transformation's three bits: mirror, flip, quarter turn clockwise.
    static constexpr int orientations[] = {1, 2, 4, 3, 6, 7, 5, 8};
    return orientations[transformation.toInt() & 7];
}

// Far more than any camera's Exif block; a larger chunk is left unread.
constexpr quint32 maxExifBytes = 16u << 20;

// count bytes at offset from where the file starts on device; false when they are not all there.
bool readAt(QIODevice& device, qint64 start, qint64 offset, void* into, qint64 count)
{
    return device.seek(start + offset) && device.read(static_cast<char*>(into), count) == count;
}

// The orientation (1 to 8) that the Exif chunk of the PNG on device records; 1, as stored,
// when there is none before the first pixel data (a later one does not count), or when the
// chunk is damaged. Qt's reader does not tell it.
int pngOrientation(QIODevice& device, qint64 start)
{
    static constexpr unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char header[8];
    if (!readAt(device, start, 0, header, 8) || std::memcmp(header, signature, 8) != 0)
        return 1;
    // Each chunk: its data's length, its type, the data, the checksum of type and data.
    for (qint64 at = 8;;) {
        if (!readAt(device, start, at, header, 8))
            return 1;
        const quint32 length = qFromBigEndian<quint32>(header);
        const char* type = reinterpret_cast<const char*>(header + 4);
        if (length > 0x7FFFFFFFu || std::memcmp(type, "IDAT", 4) == 0
            || std::memcmp(type, "IEND", 4) == 0)
            return 1;
        if (std::memcmp(type, "eXIf", 4) == 0) {
            if (length > maxExifBytes || 12 + qint64 {length} > device.size() - start - at)
                return 1;
            std::vector<unsigned char> chunk(4 + std::size_t {length} + 4);
            if (!readAt(device, start, at + 4, chunk.data(), static_cast<qint64>(chunk.size()))
                || crc32(0, chunk.data(), 4 + length)
                    != qFromBigEndian<quint32>(chunk.data() + 4 + length))
                return 1;
            return ExifBlockOrientation(chunk.data() + 4, length);
        }
        at += 12 + qint64 {length};
    }
}

// The orientation (1 to 8) that the Exif chunk of the extended WebP on device records; 1, as
// stored, when it has none within the length its RIFF header gives, or when the chunk is
// damaged. Qt's reader does not tell it.
int webpOrientation(QIODevice& device, qint64 start)
{
    unsigned char header[12];
    if (!readAt(device, start, 0, header, 12) || std::memcmp(header, "RIFF", 4) != 0
        || std::memcmp(header + 8, "WEBP", 4) != 0)
        return 1;
    const qint64 end
        = std::min(device.size() - start, 8 + qint64 {qFromLittleEndian<quint32>(header + 4)});
    // Each chunk: its type, its data's length, the data, a byte of padding after an odd length.
    // Only the extended format, whose first chunk is VP8X, carries an Exif block.
    for (qint64 at = 12; at + 8 <= end;) {
        if (!readAt(device, start, at, header, 8)
            || (at == 12 && std::memcmp(header, "VP8X", 4) != 0))
            return 1;
        const qint64 length = qFromLittleEndian<quint32>(header + 4);
        if (length > end - at - 8)
            return 1;
        if (std::memcmp(header, "EXIF", 4) == 0) {
            if (length > maxExifBytes)
                return 1;
            std::vector<unsigned char> exif(static_cast<std::size_t>(length));
            if (!readAt(device, start, at + 8, exif.data(), length))
                return 1;
            // Some writers keep the "Exif\0\0" that a JPEG's block starts with.
            const bool jpegHeader = length >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0;
            return jpegHeader ? ExifOrientation(exif.data(), exif.size())
                              : ExifBlockOrientation(exif.data(), exif.size());
        }
        at += 8 + length + (length & 1);
    }
    return 1;
}

// The orientation of the file that starts at start on device, for the formats whose
// orientation Qt's readers do not tell (PNG, WebP); none for the others, which Qt's reader tells.
std::optional<int> orientationInFile(QIODevice& device, qint64 start, const char* format)
{
    if (qstrcmp(format, "png") == 0)
        return pngOrientation(device, start);
    if (qstrcmp(format, "webp") == 0)
        return webpOrientation(device, start);
    return std::nullopt;
}

// The ICC profile the file carries, as Qt read it with the picture; none when it has none or
// is sRGB already. A colour space Qt builds from a PNG's gamma and chromaticities (as most
// programs write them, for sRGB pictures) has no name, unlike one read from a profile, and
// such a picture is shown as stored.
std::vector<unsigned char> profileOf(const QImage& image)
{
    const QColorSpace space = image.colorSpace();
    if (!space.isValid() || space.description().isEmpty()
        || space == QColorSpace(QColorSpace::SRgb))
        return {};
    const QByteArray icc = space.iccProfile();
    return {icc.begin(), icc.end()};
}

// What read gives of the file as a device for Qt's readers; Result() when it cannot be opened.
template<typename Result, typename Read> Result readDevice(const std::string& fileName, Read read)
{
    PictureFile file(fileName);
    if (!file.isOpen())
        return {};
    PictureFileDevice device(file);
    if (!device.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return read(device);
}

QImage readFile(const std::string& fileName, const char* format)
{
    return readDevice<QImage>(
        fileName, [format](QIODevice& device) { return ReadWithImageReader(device, format); });
}

} // namespace

namespace {

// The memory Qt's reader and the 32-bit copy hold at once for a picture of size: Qt decodes
// into the format the header asks for (a 16-bit PNG into 8 bytes a pixel) and the picture is
// then widened to 32 bits beside it unless it already is. A reader that does not tell its
// format (WebP's) decodes into 32 bits.
qint64 decodeBytes(const QImageReader& reader, QSize size)
{
    // Past the picture limit the count need only say too much; it would overflow.
    if (!FitsPictureLimit(size.width(), size.height()))
        return std::numeric_limits<qint64>::max();
    const QImage::Format format32 = QImage::Format_ARGB32;
    const QImage::Format told = reader.imageFormat();
    const QImage::Format decodedFormat = told == QImage::Format_Invalid ? format32 : told;
    const qint64 pixels = qint64 {size.width()} * size.height();
    const qint64 decoded = pixels * QImage::toPixelFormat(decodedFormat).bitsPerPixel() / 8;
    const bool widened = decodedFormat != QImage::Format_RGB32 && decodedFormat != format32
        && decodedFormat != QImage::Format_ARGB32_Premultiplied;
    return decoded + (widened ? 4 * pixels : 0);
}

} // namespace

QImage ReadWithImageReader(QIODevice& device, const char* format)
{
    const qint64 start = device.pos();
    const std::optional<int> fileOrientation = orientationInFile(device, start, format);
    if (!device.seek(start))
        return {};
    QImageReader reader(&device, format);
    reader.setAutoDetectImageFormat(false);
    // Reckoned from the header, before anything is decoded.
    const QSize size = reader.size();
    if (decodeBytes(reader, size) > MaxPictureBytes)
        return {};
    // One MB above the loader's limit, as Qt refuses from its limit on.
    const AllocationLimit limit(static_cast<int>(MaxPictureBytes >> 20) + 1);
    // The size checked is the stored one; the picture is put upright after it is read.
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image) || image.size() != size)
        return {};
    const int orientation = fileOrientation.value_or(orientationOf(reader.transformation()));
    const std::vector<unsigned char> profile = profileOf(image);
    image = FlattenOnWhite(std::move(image));
    if (ConvertPictureToSrgb(image, profile))
        image.setColorSpace(QColorSpace(QColorSpace::SRgb));
    return OrientPicture(std::move(image), orientation);
}

QImage ReadPngFile(const std::string& fileName)
{
    return readFile(fileName, "png");
}

QImage ReadWebpFile(const std::string& fileName)
{
    return readFile(fileName, "webp");
}

QImage ReadTiffFile(const std::string& fileName)
{
    return readFile(fileName, "tiff");
}

QSize ReadImageReaderSize(const std::string& fileName, const char* format, qint64* decoding)
{
    return readDevice<QSize>(fileName, [&](QIODevice& device) {
        const std::optional<int> fileOrientation = orientationInFile(device, 0, format);
        if (!device.seek(0))
            return QSize();
        QImageReader reader(&device, format);
        reader.setAutoDetectImageFormat(false);
        const QSize size = reader.size();
        if (decoding)
            *decoding = decodeBytes(reader, size);
        // Upright, as ReadWithImageReader gives it.
        const int orientation = fileOrientation.value_or(orientationOf(reader.transformation()));
        return orientation > 4 ? size.transposed() : size;
    });
}
