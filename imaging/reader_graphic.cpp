#include "imaging/reader_graphic.h"

#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

namespace {

using Bytes = std::span<const uchar>;

constexpr QRgb white = 0xFFFFFFFFu;
// Indices beyond the colour table's end draw black, as in the GIF decoder.
constexpr QRgb missingColour = 0xFF000000u;

// Where a bitmap file's header ends: the file header, the largest info header (124 bytes),
// up to four masks and a 256-entry colour table fit well within this.
constexpr qint64 bitmapPrefix = 4096;

// An icon lists its sizes in a directory of up to 65535 entries; real icons have a dozen.
// Looking further only lets a damaged directory cost time.
constexpr int maxIconImages = 256;

// The whole icon is held in memory while its entries are compared.
constexpr qint64 maxIconBytes = MaxPictureBytes / 2;

quint32 littleEndian(Bytes bytes, qint64 at, int size)
{
    if (at < 0 || at + size > static_cast<qint64>(bytes.size()))
        return 0;
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes[static_cast<std::size_t>(at + i)];
    return value;
}

quint32 bigEndian32(Bytes bytes, qint64 at)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | bytes[static_cast<std::size_t>(at + i)];
    return value;
}

enum Compression : quint32 { plainRows = 0, rle8 = 1, rle4 = 2, bitFields = 3, alphaBitFields = 6 };

// One bit-field channel, scaled to 8 bits exactly: its maximum gives 255.
struct Channel
{
    quint32 mask = 0;
    int shift = 0;
    quint32 max = 0;

    explicit Channel(quint32 bits = 0)
        : mask(bits)
    {
        if (mask) {
            while (!((mask >> shift) & 1))
                ++shift;
            max = mask >> shift;
        }
    }

    quint32 operator()(quint32 pixel) const
    {
        const quint32 value = (pixel & mask) >> shift;
        if (max == 255 || max == 0)
            return value; // a channel without bits is 0
        return static_cast<quint32>((quint64 {value} * 255 + max / 2) / max);
    }
};

struct Dib
{
    qint64 width = 0;
    qint64 height = 0;
    bool topDown = false;
    int bits = 0;
    quint32 compression = plainRows;
    std::array<quint32, 4> masks {}; // red, green, blue, alpha
    std::array<QRgb, 256> palette {};
    qint64 pixelsAt = 0; // from the start of the bytes the header was read from

    qint64 rowBytes() const { return (width * bits + 31) / 32 * 4; }
    bool hasAlpha() const { return bits > 8 && masks[3] != 0; }
};

// Reads the info header at headerAt. pixelsAt: where the file header says the pixels
// start, or -1 for an icon's entry, whose pixels follow the colour table and whose height
// counts its mask too.
bool parseDib(Bytes bytes, qint64 headerAt, qint64 pixelsAt, Dib* dib)
{
    const bool icon = pixelsAt < 0;
    const qint64 headerSize = littleEndian(bytes, headerAt, 4);
    const auto field = [&](qint64 at, int size) {
        return at + size <= headerSize ? littleEndian(bytes, headerAt + at, size) : 0;
    };
    if (headerSize < 12 || headerAt + headerSize > static_cast<qint64>(bytes.size()))
        return false;
    const bool core = headerSize == 12;
    // OS/2's second header is 16 to 64 bytes long; its compression codes 3 and 4 are not
    // Windows' bit fields but coding schemes of its own.
    const bool os2 = core || headerSize < 40 || headerSize == 64;
    qint64 height = 0;
    quint32 colours = 0;
    if (core) {
        dib->width = field(4, 2);
        height = field(6, 2);
        dib->bits = static_cast<int>(field(10, 2));
    } else {
        dib->width = static_cast<qint32>(field(4, 4));
        height = static_cast<qint32>(field(8, 4));
        dib->bits = static_cast<int>(field(14, 2));
        dib->compression = field(16, 4);
        colours = field(32, 4);
    }
    if (icon)
        height /= 2;
    dib->topDown = height < 0;
    dib->height = height < 0 ? -height : height;
    if (!FitsPictureLimit(dib->width, dib->height))
        return false;

    const int bits = dib->bits;
    switch (dib->compression) {
    case plainRows:
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24
            && bits != 32)
            return false;
        break;
    case rle8:
    case rle4:
        if (icon || bits != (dib->compression == rle8 ? 8 : 4))
            return false;
        break;
    case bitFields:
    case alphaBitFields:
        if (os2 || (bits != 16 && bits != 32))
            return false;
        break;
    default:
        return false;
    }

    qint64 tableAt = headerAt + headerSize;
    if (dib->compression == bitFields || dib->compression == alphaBitFields) {
        const int count = dib->compression == alphaBitFields ? 4 : 3;
        if (headerSize >= 52) {
            for (int i = 0; i < 4; ++i)
                dib->masks[static_cast<std::size_t>(i)] = field(40 + 4 * i, 4);
        } else {
            // The 40-byte header is followed by the masks.
            for (int i = 0; i < count; ++i)
                dib->masks[static_cast<std::size_t>(i)] = littleEndian(bytes, tableAt + 4 * i, 4);
            tableAt += 4 * count;
        }
    } else if (bits == 16) {
        dib->masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (bits >= 24) {
        // In an icon, the fourth byte of a 32-bit pixel is its alpha.
        dib->masks = {0xFF0000, 0xFF00, 0xFF, icon && bits == 32 ? 0xFF000000u : 0};
    }

    const int entrySize = core ? 3 : 4;
    const qint64 maxEntries = qint64 {1} << std::min(bits, 8);
    const qint64 declared = colours ? colours : bits <= 8 ? maxEntries : 0;
    if (icon) {
        pixelsAt = tableAt + declared * entrySize;
        // A colour profile placed between the table and the pixels.
        if (headerSize >= 124 && field(112, 4) == static_cast<quint32>(pixelsAt - headerAt))
            pixelsAt += field(116, 4);
    } else if (pixelsAt < tableAt) {
        return false; // the pixels would start inside the headers
    }
    dib->pixelsAt = pixelsAt;
    if (bits <= 8) {
        const qint64 tableEnd = std::min(pixelsAt, static_cast<qint64>(bytes.size()));
        const qint64 entries = std::min({declared, maxEntries, (tableEnd - tableAt) / entrySize});
        // Without a colour table the indices mean nothing.
        if (entries <= 0)
            return false;
        dib->palette.fill(missingColour);
        for (qint64 i = 0; i < entries; ++i)
            dib->palette[static_cast<std::size_t>(i)]
                = missingColour | (littleEndian(bytes, tableAt + i * entrySize, 3) & 0xFFFFFF);
    }
    return true;
}

// Widens one stored row, read to the start of its picture row, to RGB32 in place. It goes
// from the right: a pixel's 4 bytes never reach the stored bytes of the pixels to its left.
// With an alpha mask, the alpha is kept for finishAlpha.
void widenRow(uchar* line, const Dib& dib, const std::array<Channel, 4>& channels)
{
    auto* out = reinterpret_cast<QRgb*>(line);
    const int width = static_cast<int>(dib.width);
    switch (dib.bits) {
    case 24:
        for (int x = width - 1; x >= 0; --x) {
            const uchar* p = line + 3 * x;
            out[x] = 0xFF000000u | quint32 {p[2]} << 16 | quint32 {p[1]} << 8 | p[0];
        }
        return;
    case 16:
    case 32:
        if (dib.bits == 32 && dib.masks == std::array<quint32, 4> {0xFF0000, 0xFF00, 0xFF, 0}) {
            for (int x = 0; x < width; ++x)
                out[x] |= 0xFF000000u;
            return;
        }
        for (int x = width - 1; x >= 0; --x) {
            const quint32 pixel
                = dib.bits == 16 ? quint32 {line[2 * x]} | quint32 {line[2 * x + 1]} << 8 : out[x];
            const quint32 alpha = channels[3].mask ? channels[3](pixel) : 255;
            out[x] = alpha << 24 | channels[0](pixel) << 16 | channels[1](pixel) << 8
                | channels[2](pixel);
        }
        return;
    default:
        break;
    }
    const int bits = dib.bits;
    const int perByte = 8 / bits;
    const uint indexMask = (1u << bits) - 1;
    for (int x = width - 1; x >= 0; --x) {
        const int shift = 8 - bits * (x % perByte + 1);
        out[x] = dib.palette[(line[x / perByte] >> shift) & indexMask];
    }
}

// Pixels that kept an alpha: composited onto white, unless every alpha is zero, which
// writers that do not use the alpha leave; then the picture is opaque and tells whether the
// caller should use another transparency (an icon's mask).
bool finishAlpha(QImage& image)
{
    bool anyAlpha = false;
    for (int y = 0; y < image.height() && !anyAlpha; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            anyAlpha |= (row[x] >> 24) != 0;
    }
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = anyAlpha ? OnWhite(row[x]) : row[x] | 0xFF000000u;
    }
    return anyAlpha;
}

// Run-length coded pixels. With no image, only checks that the data fit the picture: a run
// or a jump beyond its edges is damage and refuses it. Data that end without the end marker
// leave the rest as it is (white).
bool decodeRuns(Bytes data, const Dib& dib, QImage* image)
{
    const qint64 width = dib.width;
    const qint64 height = dib.height;
    const bool four = dib.compression == rle4;
    const auto size = static_cast<qint64>(data.size());
    qint64 x = 0;
    qint64 y = 0;
    const auto row = [&] {
        const qint64 line = dib.topDown ? y : height - 1 - y;
        return reinterpret_cast<QRgb*>(image->scanLine(static_cast<int>(line)));
    };
    qint64 i = 0;
    while (i + 1 < size) {
        const uint count = data[static_cast<std::size_t>(i)];
        const uint code = data[static_cast<std::size_t>(i + 1)];
        i += 2;
        if (count > 0) {
            if (y >= height || x + count > width)
                return false;
            if (image) {
                QRgb* out = row();
                for (uint k = 0; k < count; ++k)
                    out[x + k] = dib.palette[four ? (k % 2 ? code & 15 : code >> 4) : code];
            }
            x += count;
        } else if (code == 0) {
            x = 0;
            if (++y > height)
                return false;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (i + 1 >= size)
                return true;
            x += data[static_cast<std::size_t>(i)];
            y += data[static_cast<std::size_t>(i + 1)];
            i += 2;
            if (x > width || y > height)
                return false;
        } else {
            if (y >= height || x + code > width)
                return false;
            const qint64 stored = four ? (code + 1) / 2 : code;
            const qint64 available = std::min<qint64>(code, (size - i) * (four ? 2 : 1));
            if (image) {
                QRgb* out = row();
                for (qint64 k = 0; k < available; ++k) {
                    const uint byte = data[static_cast<std::size_t>(i + (four ? k / 2 : k))];
                    out[x + k] = dib.palette[four ? (k % 2 ? byte & 15 : byte >> 4) : byte];
                }
            }
            x += code;
            i += (stored + 1) / 2 * 2;
        }
    }
    return true;
}

QImage decodeRunsPicture(Bytes data, const Dib& dib)
{
    // Checked before anything is allocated: a few damaged bytes cannot cost a large bitmap.
    if (!decodeRuns(data, dib, nullptr))
        return {};
    QImage image = NewPictureBitmap(static_cast<int>(dib.width), static_cast<int>(dib.height));
    if (image.isNull())
        return {};
    image.fill(white);
    decodeRuns(data, dib, &image);
    return image;
}

// Uncompressed rows, each read by nextRow into the start of its picture row. finishAlpha's
// answer goes to alphaUsed.
QImage decodeRows(const Dib& dib, const std::function<bool(uchar*, qint64)>& nextRow,
                  bool* alphaUsed)
{
    QImage image = NewPictureBitmap(static_cast<int>(dib.width), static_cast<int>(dib.height));
    if (image.isNull())
        return {};
    const std::array<Channel, 4> channels {Channel(dib.masks[0]), Channel(dib.masks[1]),
                                           Channel(dib.masks[2]), Channel(dib.masks[3])};
    // A stored row, padded to 4 bytes, is never longer than its RGB32 row.
    const qint64 rowBytes = dib.rowBytes();
    for (qint64 i = 0; i < dib.height; ++i) {
        const qint64 y = dib.topDown ? i : dib.height - 1 - i;
        uchar* line = image.scanLine(static_cast<int>(y));
        if (!nextRow(line, rowBytes))
            return {};
        widenRow(line, dib, channels);
    }
    *alphaUsed = dib.hasAlpha() && finishAlpha(image);
    return image;
}

std::vector<uchar> readAll(PictureFile& file, qint64 count)
{
    std::vector<uchar> bytes(static_cast<std::size_t>(std::max<qint64>(count, 0)));
    bytes.resize(static_cast<std::size_t>(file.read(bytes.data(), count)));
    return bytes;
}

QImage readBitmapFile(const std::string& fileName)
{
    PictureFile file(fileName);
    if (!file.isOpen())
        return {};
    const std::vector<uchar> prefix = readAll(file, std::min(file.size(), bitmapPrefix));
    const Bytes head(prefix);
    if (head.size() < 18 || head[0] != 'B' || head[1] != 'M')
        return {};
    Dib dib;
    const qint64 pixelsAt = littleEndian(head, 10, 4);
    if (!parseDib(head, 14, pixelsAt, &dib) || pixelsAt > file.size())
        return {};
    if (dib.compression == rle8 || dib.compression == rle4) {
        // Even a picture stored in absolute runs needs less than this.
        const qint64 most = dib.width * dib.height + 4 * dib.height + 16;
        if (!file.seek(pixelsAt))
            return {};
        const std::vector<uchar> data = readAll(file, std::min(file.size() - pixelsAt, most));
        return decodeRunsPicture(data, dib);
    }
    // A file cut short is refused rather than shown with rows that were never stored.
    if (file.size() - pixelsAt < dib.rowBytes() * dib.height || !file.seek(pixelsAt))
        return {};
    bool alphaUsed = false;
    return decodeRows(
        dib, [&file](uchar* into, qint64 count) { return file.read(into, count) == count; },
        &alphaUsed);
}

// An icon's bitmap entry: its colour rows and, below them, the AND mask that marks the
// transparent pixels of an entry without an alpha channel.
QImage decodeIconBitmap(Bytes entry, const Dib& dib)
{
    const qint64 rowBytes = dib.rowBytes();
    const qint64 maskAt = dib.pixelsAt + rowBytes * dib.height;
    if (maskAt > static_cast<qint64>(entry.size()))
        return {};
    qint64 at = dib.pixelsAt;
    bool alphaUsed = false;
    QImage image = decodeRows(
        dib,
        [&](uchar* into, qint64 count) {
            std::memcpy(into, entry.data() + at, static_cast<std::size_t>(count));
            at += count;
            return true;
        },
        &alphaUsed);
    const qint64 maskRowBytes = (dib.width + 31) / 32 * 4;
    if (image.isNull() || alphaUsed
        || maskAt + maskRowBytes * dib.height > static_cast<qint64>(entry.size()))
        return image;
    for (qint64 i = 0; i < dib.height; ++i) {
        const uchar* mask = entry.data() + maskAt + i * maskRowBytes;
        auto* row = reinterpret_cast<QRgb*>(
            image.scanLine(static_cast<int>(dib.topDown ? i : dib.height - 1 - i)));
        for (qint64 x = 0; x < dib.width; ++x)
            if ((mask[x / 8] >> (7 - x % 8)) & 1)
                row[x] = white;
    }
    return image;
}

bool isPng(Bytes entry)
{
    static constexpr uchar signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return entry.size() >= 24
        && std::equal(std::begin(signature), std::end(signature), entry.begin());
}

// Qt refuses pictures above 256 MB by default; the loader's own limit is the one that counts,
// checked on the size the PNG's header gives before it is read. Qt's limit is global, so it
// is put back when the read ends.
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

QImage decodeIconPng(Bytes entry)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(entry.data()),
                                               static_cast<qsizetype>(entry.size()));
    QBuffer device(&bytes);
    if (!device.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&device, "png");
    reader.setAutoDetectImageFormat(false);
    // One MB above the loader's limit, as Qt refuses from its limit on.
    const AllocationLimit limit(static_cast<int>(MaxPictureBytes >> 20) + 1);
    QImage image;
    if (!reader.read(&image))
        return {};
    return FlattenOnWhite(std::move(image));
}

// What an entry offers: its real size (from its own header, not the directory's) and its
// bits a pixel; a PNG counts as the most.
struct IconEntry
{
    Bytes bytes;
    Dib dib;
    bool png = false;
    qint64 width = 0;
    qint64 height = 0;
    int bits = 0;
};

bool readIconEntry(Bytes entry, IconEntry* out)
{
    out->bytes = entry;
    if (isPng(entry)) {
        out->png = true;
        out->width = bigEndian32(entry, 16);
        out->height = bigEndian32(entry, 20);
        out->bits = 64;
        return FitsPictureLimit(out->width, out->height);
    }
    if (!parseDib(entry, 0, -1, &out->dib))
        return false;
    out->width = out->dib.width;
    out->height = out->dib.height;
    out->bits = out->dib.bits;
    return true;
}

QImage readIconFile(const std::string& fileName)
{
    PictureFile file(fileName);
    if (!file.isOpen() || file.size() > maxIconBytes)
        return {};
    const std::vector<uchar> bytes = readAll(file, file.size());
    const Bytes all(bytes);
    const quint32 type = littleEndian(all, 2, 2);
    if (all.size() < 6 || littleEndian(all, 0, 2) != 0 || (type != 1 && type != 2))
        return {};
    const int count = std::min<int>(static_cast<int>(littleEndian(all, 4, 2)), maxIconImages);
    IconEntry best;
    bool found = false;
    for (int i = 0; i < count; ++i) {
        const qint64 at = 6 + 16 * qint64 {i};
        if (at + 16 > static_cast<qint64>(all.size()))
            break;
        const qint64 offset = littleEndian(all, at + 12, 4);
        const qint64 size = littleEndian(all, at + 8, 4);
        if (offset >= static_cast<qint64>(all.size()))
            continue;
        // The directory's sizes are often wrong: an entry may reach to the file's end.
        const Bytes entry = all.subspan(
            static_cast<std::size_t>(offset),
            static_cast<std::size_t>(std::min(size, static_cast<qint64>(all.size()) - offset)));
        IconEntry candidate;
        if (!readIconEntry(entry, &candidate))
            continue;
        const qint64 area = candidate.width * candidate.height;
        const qint64 bestArea = best.width * best.height;
        if (!found || area > bestArea || (area == bestArea && candidate.bits > best.bits)) {
            best = candidate;
            found = true;
        }
    }
    if (!found)
        return {};
    QImage image = best.png ? decodeIconPng(best.bytes) : decodeIconBitmap(best.bytes, best.dib);
    // A PNG whose pixels disagree with its header is not shown at another size.
    if (image.width() != best.width || image.height() != best.height)
        return {};
    return image;
}

} // namespace

bool BitmapGraphic::Read(const std::string& fileName)
{
    picture = readBitmapFile(fileName);
    return !picture.isNull();
}

QImage BitmapGraphic::ToBitmap()
{
    return std::move(picture);
}

bool IconGraphic::Read(const std::string& fileName)
{
    picture = readIconFile(fileName);
    return !picture.isNull();
}

QImage IconGraphic::ToBitmap()
{
    return std::move(picture);
}
