#include "imaging/bitmap_graphic.h"

#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "imaging/png_graphic.h"
#include "metafile/dib.h"
#include "store/picture_limits.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

namespace {

using Bytes = std::span<const uchar>;

constexpr QRgb white = 0xFFFFFFFFu;
// Where a bitmap file's header ends: the file header, the largest info header (124 bytes),
// up to four masks and a 256-entry colour table fit well within this.
constexpr qint64 bitmapPrefix = 4096;

// An icon lists its sizes in a directory of up to 65535 entries; real icons have a dozen.
// Looking further only lets a damaged directory cost time.
constexpr int maxIconImages = 256;

// The whole icon is held in memory while its entries are compared.
constexpr qint64 maxIconBytes = MaxPictureBytes / 2;

quint32 bigEndian32(Bytes bytes, qint64 at)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | bytes[static_cast<std::size_t>(at + i)];
    return value;
}

// Pixels that kept an alpha: composited onto white, unless every alpha is zero, which
// writers of bitmap files that do not use the alpha leave; then the picture is opaque. An
// icon's 32-bit entry is always composited by its alpha: one whose alphas are all zero is
// clear, as other programs' icon readers show it. Whether the alpha was used goes back.
bool finishAlpha(QImage& image, bool alwaysAlpha)
{
    bool anyAlpha = alwaysAlpha;
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

QImage decodeRunsPicture(Bytes data, const Dib& dib)
{
    // Checked before anything is allocated: a few damaged bytes cannot cost a large bitmap.
    if (!DecodeDibRuns(data, dib, nullptr))
        return {};
    QImage image = NewPictureBitmap(static_cast<int>(dib.width), static_cast<int>(dib.height));
    if (image.isNull())
        return {};
    image.fill(white);
    DecodeDibRuns(data, dib, &image);
    return image;
}

// Uncompressed rows, each read by nextRow into the start of its picture row. finishAlpha's
// answer goes to alphaUsed.
QImage decodeRows(const Dib& dib, const std::function<bool(uchar*, qint64)>& nextRow,
                  bool* alphaUsed, bool alwaysAlpha = false)
{
    QImage image = NewPictureBitmap(static_cast<int>(dib.width), static_cast<int>(dib.height));
    if (image.isNull() || !DecodeDibRows(dib, image, nextRow))
        return {};
    *alphaUsed = dib.hasAlpha() && finishAlpha(image, alwaysAlpha);
    return image;
}

std::vector<uchar> readAll(PictureFile& file, qint64 count)
{
    std::vector<uchar> bytes(static_cast<std::size_t>(std::max<qint64>(count, 0)));
    bytes.resize(static_cast<std::size_t>(file.read(bytes.data(), count)));
    return bytes;
}

// The bitmap's headers, read from the file's start; false when they do not describe a
// bitmap whose pixels start within the file.
bool readBitmapHeaders(PictureFile& file, Dib* dib)
{
    if (!file.isOpen())
        return false;
    const std::vector<uchar> prefix = readAll(file, std::min(file.size(), bitmapPrefix));
    const Bytes head(prefix);
    // Most programs write a DIB file as a BMP file, behind the file header that says where
    // the pixels start; others write the bitmap alone, its pixels right after the table.
    const bool fileHeader = head.size() >= 2 && head[0] == 'B' && head[1] == 'M';
    const bool parsed = fileHeader
        ? ParseDib(head, 14, DibLittleEndian(head, 10, 4), DibLayout::File, dib)
        : ParseDib(head, 0, -1, DibLayout::Packed, dib);
    return parsed && dib->pixelsAt <= file.size();
}

} // namespace

QSize ReadBitmapSize(const std::string& fileName)
{
    PictureFile file(fileName);
    Dib dib;
    if (!readBitmapHeaders(file, &dib))
        return {};
    return {static_cast<int>(dib.width), static_cast<int>(dib.height)};
}

QImage ReadBitmapFile(const std::string& fileName)
{
    PictureFile file(fileName);
    Dib dib;
    if (!readBitmapHeaders(file, &dib))
        return {};
    const qint64 stored = file.size() - dib.pixelsAt;
    if (dib.runLength()) {
        const qint64 pixels = dib.width * dib.height;
        if (4 * pixels > MaxSparsePictureBytes && stored / 2 * 255 < pixels)
            return {};
        // Even a picture drawn one pixel a run (2 bytes), or skipped one column a jump (4
        // bytes), into its rows' padding needs less than this.
        const qint64 most = (4 * dib.rowBytes() * 8 / dib.bits + 4) * dib.height + 16;
        if (!file.seek(dib.pixelsAt))
            return {};
        const std::vector<uchar> data = readAll(file, std::min(stored, most));
        return decodeRunsPicture(data, dib);
    }
    // A file cut short is refused rather than shown with rows that were never stored.
    if (stored < dib.rowBytes() * dib.height || !file.seek(dib.pixelsAt))
        return {};
    bool alphaUsed = false;
    return decodeRows(
        dib, [&file](uchar* into, qint64 count) { return file.read(into, count) == count; },
        &alphaUsed);
}

namespace {

// An icon's bitmap entry: its colour rows and, below them, the AND mask that marks the
// transparent pixels of an entry without an alpha channel (a 32-bit entry has one).
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
        &alphaUsed, dib.bits == 32);
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

QImage decodeIconPng(Bytes entry)
{
    return ReadPngBytes(entry.data(), entry.size());
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
    if (!ParseDib(entry, 0, -1, DibLayout::IconEntry, &out->dib))
        return false;
    out->width = out->dib.width;
    out->height = out->dib.height;
    out->bits = out->dib.bits;
    return true;
}

// The icon's entries that tell their size, best first: the largest, among those the most
// colours, the directory's order breaking ties. Empty when the file is no icon.
std::vector<IconEntry> iconEntries(Bytes all)
{
    const quint32 type = DibLittleEndian(all, 2, 2);
    if (all.size() < 6 || DibLittleEndian(all, 0, 2) != 0 || (type != 1 && type != 2))
        return {};
    const int count = std::min<int>(static_cast<int>(DibLittleEndian(all, 4, 2)), maxIconImages);
    std::vector<IconEntry> entries;
    for (int i = 0; i < count; ++i) {
        const qint64 at = 6 + 16 * qint64 {i};
        if (at + 16 > static_cast<qint64>(all.size()))
            break;
        const qint64 offset = DibLittleEndian(all, at + 12, 4);
        const qint64 size = DibLittleEndian(all, at + 8, 4);
        if (offset >= static_cast<qint64>(all.size()))
            continue;
        // The directory's sizes are often wrong: an entry may reach to the file's end.
        const Bytes entry = all.subspan(
            static_cast<std::size_t>(offset),
            static_cast<std::size_t>(std::min(size, static_cast<qint64>(all.size()) - offset)));
        IconEntry candidate;
        if (readIconEntry(entry, &candidate))
            entries.push_back(candidate);
    }
    // The largest first, among those the most colours; the directory's order breaks ties.
    std::stable_sort(entries.begin(), entries.end(), [](const IconEntry& a, const IconEntry& b) {
        const qint64 areaA = a.width * a.height;
        const qint64 areaB = b.width * b.height;
        return areaA != areaB ? areaA > areaB : a.bits > b.bits;
    });
    return entries;
}

// The whole icon file's bytes; empty when it is no file or too large.
std::vector<uchar> readIcon(const std::string& fileName)
{
    PictureFile file(fileName);
    if (!file.isOpen() || file.size() > maxIconBytes)
        return {};
    return readAll(file, file.size());
}

} // namespace

QSize ReadIconSize(const std::string& fileName)
{
    const std::vector<uchar> bytes = readIcon(fileName);
    const std::vector<IconEntry> entries = iconEntries(bytes);
    if (entries.empty())
        return {};
    return {static_cast<int>(entries.front().width), static_cast<int>(entries.front().height)};
}

QImage ReadIconFile(const std::string& fileName)
{
    const std::vector<uchar> bytes = readIcon(fileName);
    const std::vector<IconEntry> entries = iconEntries(bytes);
    // A damaged entry does not hide the others: the best one that decodes is shown. The
    // pixels of entries that fail are counted, so that many large damaged copies of one
    // entry cannot cost many decodes of the largest picture.
    qint64 failedPixels = 0;
    for (const IconEntry& candidate : entries) {
        if (failedPixels > MaxPictureBytes / 4)
            break;
        QImage image = candidate.png ? decodeIconPng(candidate.bytes)
                                     : decodeIconBitmap(candidate.bytes, candidate.dib);
        // A PNG whose pixels disagree with its header is not shown at another size.
        if (!image.isNull() && image.width() == candidate.width
            && image.height() == candidate.height)
            return image;
        failedPixels += candidate.width * candidate.height;
    }
    return {};
}
