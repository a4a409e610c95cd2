#include "imaging/metafile_dib.h"

#include "imaging/metafile_reader.h"
#include "imaging/picture_limits.h"

#include <QByteArray>

namespace {

constexpr std::uint32_t biRgb = 0;
constexpr std::uint32_t biBitfields = 3;

struct DibHeader
{
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // negative: top-down rows
    std::uint32_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    bool core = false; // the old 12-byte header with 3-byte colour entries

    // Bytes of the header, masks and colour table, where the bits start in a packed bitmap.
    std::uint64_t tableEnd() const
    {
        std::uint64_t end = headerSize;
        if (compression == biBitfields && headerSize == 40)
            end += 12;
        std::uint64_t colours = colorsUsed;
        if (bitCount <= 8 && (colours == 0 || colours > (1u << bitCount)))
            colours = 1u << bitCount;
        if (bitCount > 8)
            colours = colorsUsed;
        return end + colours * (core ? 3 : 4);
    }

    std::uint64_t stride() const
    {
        return ((static_cast<std::uint64_t>(width) * bitCount + 31) / 32) * 4;
    }
};

bool readHeader(std::span<const std::uint8_t> info, DibHeader& header)
{
    MetafileReader reader(info);
    header.headerSize = reader.u32();
    if (header.headerSize == 12) {
        header.core = true;
        header.width = reader.u16();
        header.height = reader.u16();
        reader.u16();
        header.bitCount = reader.u16();
    } else if (header.headerSize >= 40) {
        header.width = reader.i32();
        header.height = reader.i32();
        reader.u16();
        header.bitCount = reader.u16();
        header.compression = reader.u32();
        reader.skip(12);
        header.colorsUsed = reader.u32();
    } else {
        return false;
    }
    if (!reader.ok() || header.width <= 0 || header.height == 0)
        return false;
    switch (header.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return false;
    }
    return FitsPictureLimit(header.width, header.height < 0 ? -header.height : header.height);
}

// One channel of a 32-bit pixel under its bit mask, scaled to 0-255.
struct Channel
{
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t top = 0; // the mask's largest value

    explicit Channel(std::uint32_t bits)
        : mask(bits)
    {
        if (mask == 0)
            return;
        while (!((mask >> shift) & 1))
            ++shift;
        top = mask >> shift;
    }
    int operator()(std::uint32_t pixel) const
    {
        return top == 0 ? 0 : static_cast<int>(((pixel & mask) >> shift) * 255 / top);
    }
};

// The alpha-carrying form of a 32-bit uncompressed bitmap, which the BMP reader would make
// opaque; AlphaBlend needs the alpha. Plain bitmaps keep it in the fourth byte; bit-field
// bitmaps name their colour masks, and their alpha is the byte those leave free unless a
// newer header names its mask.
QImage readAlphaBits(const DibHeader& header, std::span<const std::uint8_t> info,
                     std::span<const std::uint8_t> bits)
{
    std::uint32_t masks[4] = {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000};
    if (header.compression == biBitfields) {
        MetafileReader reader(info);
        reader.seek(40);
        for (int i = 0; i < 3; ++i)
            masks[i] = reader.u32();
        const std::uint32_t alpha = header.headerSize >= 56 ? reader.u32() : 0;
        if (!reader.ok())
            return {};
        masks[3] = alpha ? alpha : ~(masks[0] | masks[1] | masks[2]) & 0xff000000;
    }
    const Channel red(masks[0]);
    const Channel green(masks[1]);
    const Channel blue(masks[2]);
    const Channel opacity(masks[3]);

    const int w = static_cast<int>(header.width);
    const int h = static_cast<int>(header.height < 0 ? -header.height : header.height);
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    const std::uint64_t stride = header.stride();
    for (int y = 0; y < h; ++y) {
        const int sourceRow = header.height < 0 ? y : h - 1 - y;
        const std::uint8_t* from = bits.data() + stride * static_cast<std::uint64_t>(sourceRow);
        auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x, from += 4) {
            const std::uint32_t value = std::uint32_t(from[0]) | (std::uint32_t(from[1]) << 8)
                | (std::uint32_t(from[2]) << 16) | (std::uint32_t(from[3]) << 24);
            const int a = opacity(value);
            to[x] = qRgba(std::min(red(value), a), std::min(green(value), a),
                          std::min(blue(value), a), a);
        }
    }
    return image;
}

// A 24- or 32-bit uncompressed bitmap read straight into RGB32: large pictures are mostly
// of this kind, and the BMP reader would want a copy of the bits and a conversion after.
QImage readDirectBits(const DibHeader& header, std::span<const std::uint8_t> bits)
{
    const int w = static_cast<int>(header.width);
    const int h = static_cast<int>(header.height < 0 ? -header.height : header.height);
    const int step = static_cast<int>(header.bitCount / 8);
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    const std::uint64_t stride = header.stride();
    for (int y = 0; y < h; ++y) {
        const int sourceRow = header.height < 0 ? y : h - 1 - y;
        const std::uint8_t* from = bits.data() + stride * static_cast<std::uint64_t>(sourceRow);
        auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x, from += step)
            to[x] = qRgb(from[2], from[1], from[0]);
    }
    return image;
}

} // namespace

MetafileDib DecodeDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                      bool keepAlpha)
{
    DibHeader header;
    if (!readHeader(info, header) || header.tableEnd() > info.size())
        return {};
    const bool uncompressed = header.compression == biRgb || header.compression == biBitfields;
    const std::uint64_t rows
        = static_cast<std::uint64_t>(header.height < 0 ? -header.height : header.height);
    if (uncompressed && bits.size() / header.stride() < rows)
        return {};
    MetafileDib dib;
    dib.bottomUp = header.height > 0;
    if (keepAlpha && header.bitCount == 32) {
        dib.image = readAlphaBits(header, info, bits);
        return dib;
    }

    if (header.compression == biRgb && (header.bitCount == 24 || header.bitCount == 32)) {
        dib.image = readDirectBits(header, bits);
        return dib;
    }

    // The BMP reader already knows every depth and compression; it only lacks the file
    // header in front.
    const std::uint64_t infoSize = header.tableEnd();
    QByteArray file;
    const std::uint64_t total = 14 + infoSize + bits.size();
    if (total > 0x7fffffff)
        return {};
    file.reserve(static_cast<qsizetype>(total));
    auto put32 = [&file](std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            file.append(static_cast<char>((value >> (8 * i)) & 0xff));
    };
    file.append("BM", 2);
    put32(static_cast<std::uint32_t>(total));
    put32(0);
    put32(static_cast<std::uint32_t>(14 + infoSize));
    file.append(reinterpret_cast<const char*>(info.data()), static_cast<qsizetype>(infoSize));
    file.append(reinterpret_cast<const char*>(bits.data()), static_cast<qsizetype>(bits.size()));
    QImage image = QImage::fromData(file, "BMP");
    if (image.isNull())
        return {};
    dib.image = image.convertToFormat(QImage::Format_RGB32);
    return dib;
}

MetafileDib DecodePackedDib(std::span<const std::uint8_t> packed)
{
    DibHeader header;
    if (!readHeader(packed, header) || header.tableEnd() > packed.size())
        return {};
    const auto split = static_cast<std::size_t>(header.tableEnd());
    return DecodeDib(packed.first(split), packed.subspan(split));
}

double DibPixels(std::span<const std::uint8_t> info)
{
    DibHeader header;
    if (!readHeader(info, header))
        return 0;
    return static_cast<double>(header.width)
        * static_cast<double>(header.height < 0 ? -header.height : header.height);
}

QImage DecodeDibMask(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits)
{
    DibHeader header;
    if (!readHeader(info, header) || header.bitCount != 1 || header.compression != biRgb)
        return {};
    const int w = static_cast<int>(header.width);
    const int h = static_cast<int>(header.height < 0 ? -header.height : header.height);
    const std::uint64_t stride = header.stride();
    if (bits.size() / stride < static_cast<std::uint64_t>(h))
        return {};
    QImage mask(w, h, QImage::Format_Alpha8);
    if (mask.isNull())
        return {};
    for (int y = 0; y < h; ++y) {
        const int sourceRow = header.height < 0 ? y : h - 1 - y;
        const std::uint8_t* from = bits.data() + stride * static_cast<std::uint64_t>(sourceRow);
        uchar* to = mask.scanLine(y);
        for (int x = 0; x < w; ++x)
            to[x] = (from[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
    }
    return mask;
}
