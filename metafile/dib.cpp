#include "metafile/dib.h"

#include "store/picture_limits.h"

#include <algorithm>

namespace {

using Bytes = std::span<const uchar>;

// Indices beyond the colour table's end draw black, as in the GIF decoder.
constexpr QRgb missingColour = 0xFF000000u;

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

// Widens one stored row, read to the start of its picture row, to RGB32 in place. It goes
// from the right: a pixel's 4 bytes never reach the stored bytes of the pixels to its left.
// With an alpha mask, the alpha is kept in the top byte.
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

} // namespace

quint32 DibLittleEndian(Bytes bytes, qint64 at, int size)
{
    if (at < 0 || at + size > static_cast<qint64>(bytes.size()))
        return 0;
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes[static_cast<std::size_t>(at + i)];
    return value;
}

bool ParseDib(Bytes bytes, qint64 headerAt, qint64 pixelsAt, DibLayout layout, Dib* dib)
{
    const bool icon = layout == DibLayout::IconEntry;
    const qint64 headerSize = DibLittleEndian(bytes, headerAt, 4);
    const auto field = [&](qint64 at, int size) {
        return at + size <= headerSize ? DibLittleEndian(bytes, headerAt + at, size) : 0;
    };
    if (headerSize < 12 || headerAt + headerSize > static_cast<qint64>(bytes.size()))
        return false;
    // A file's or an icon's header is one of Windows' (12, 40, 52, 56, 108, 124 bytes) or
    // OS/2's (12, 16 or 64); any other size is damage, as it is to other readers. The bitmaps
    // inside metafile records are read as they always were.
    static constexpr qint64 knownHeaderSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
    if (layout != DibLayout::Packed
        && std::find(std::begin(knownHeaderSizes), std::end(knownHeaderSizes), headerSize)
            == std::end(knownHeaderSizes))
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
    case dibRgb:
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24
            && bits != 32)
            return false;
        break;
    case dibRle8:
    case dibRle4:
        if (icon || bits != (dib->compression == dibRle8 ? 8 : 4))
            return false;
        break;
    case dibBitFields:
    case dibAlphaBitFields:
        if (os2 || (bits != 16 && bits != 32))
            return false;
        break;
    default:
        return false;
    }

    qint64 tableAt = headerAt + headerSize;
    if (dib->compression == dibBitFields || dib->compression == dibAlphaBitFields) {
        const int count = dib->compression == dibAlphaBitFields ? 4 : 3;
        if (headerSize >= 52) {
            for (int i = 0; i < 4; ++i)
                dib->masks[static_cast<std::size_t>(i)] = field(40 + 4 * i, 4);
        } else {
            // The 40-byte header is followed by the masks.
            for (int i = 0; i < count; ++i)
                dib->masks[static_cast<std::size_t>(i)]
                    = DibLittleEndian(bytes, tableAt + 4 * i, 4);
            tableAt += 4 * count;
        }
        // An icon's 32-bit pixel keeps its alpha in its fourth byte whatever its header's
        // alpha mask says, as the icon readers of other programs take it.
        if (icon && bits == 32)
            dib->masks[3] = 0xFF000000u;
    } else if (bits == 16) {
        dib->masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (bits >= 24) {
        // In an icon, the fourth byte of a 32-bit pixel is its alpha.
        dib->masks = {0xFF0000, 0xFF00, 0xFF, icon && bits == 32 ? 0xFF000000u : 0};
    }

    const int entrySize = core ? 3 : 4;
    const qint64 maxEntries = qint64 {1} << std::min(bits, 8);
    qint64 declared = colours ? colours : bits <= 8 ? maxEntries : 0;
    if (bits <= 8 && declared > maxEntries) {
        // More colours than the indices can name: a file or an icon saying so is damaged.
        if (layout != DibLayout::Packed)
            return false;
        declared = maxEntries;
    }
    // A packed bitmap's colour profile, if any, follows its pixels: they always start right
    // after the table, wherever the header says the profile is. So do a file's whose file
    // header points inside the headers, as other readers take them.
    if (layout != DibLayout::File || pixelsAt < tableAt)
        pixelsAt = tableAt + declared * entrySize;
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
                = missingColour | (DibLittleEndian(bytes, tableAt + i * entrySize, 3) & 0xFFFFFF);
    }
    return true;
}

bool DecodeDibRows(const Dib& dib, QImage& image,
                   const std::function<bool(uchar*, qint64)>& nextRow)
{
    const std::array<Channel, 4> channels {Channel(dib.masks[0]), Channel(dib.masks[1]),
                                           Channel(dib.masks[2]), Channel(dib.masks[3])};
    // A stored row, padded to 4 bytes, is never longer than its RGB32 row.
    const qint64 rowBytes = dib.rowBytes();
    for (qint64 i = 0; i < dib.height; ++i) {
        const qint64 y = dib.topDown ? i : dib.height - 1 - i;
        uchar* line = image.scanLine(static_cast<int>(y));
        if (!nextRow(line, rowBytes))
            return false;
        widenRow(line, dib, channels);
    }
    return true;
}

bool DecodeDibRuns(Bytes data, const Dib& dib, QImage* image)
{
    const qint64 width = dib.width;
    const qint64 height = dib.height;
    // Writers fill rows to their stored length; the pixels past the picture's width are
    // dropped, as other readers drop them.
    const qint64 paddedWidth = dib.rowBytes() * 8 / dib.bits;
    const bool four = dib.compression == dibRle4;
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
            if (y >= height || x + count > paddedWidth)
                return false;
            if (image) {
                QRgb* out = row();
                const qint64 shown = std::min<qint64>(count, width - x);
                for (qint64 k = 0; k < shown; ++k)
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
            if (x > paddedWidth || y > height)
                return false;
        } else {
            if (y >= height || x + code > paddedWidth)
                return false;
            const qint64 stored = four ? (code + 1) / 2 : code;
            const qint64 available = std::min<qint64>(
                {code, (size - i) * (four ? 2 : 1), std::max<qint64>(width - x, 0)});
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
