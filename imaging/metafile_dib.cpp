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

// The alpha-carrying form of a 32-bit uncompressed bitmap, which the BMP reader would make
// opaque; AlphaBlend needs the fourth byte.
QImage readAlphaBits(const DibHeader& header, std::span<const std::uint8_t> bits)
{
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
            const int a = from[3];
            to[x] = qRgba(std::min<int>(from[2], a), std::min<int>(from[1], a),
                          std::min<int>(from[0], a), a);
        }
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
    if (keepAlpha && header.bitCount == 32 && header.compression == biRgb) {
        dib.image = readAlphaBits(header, bits);
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
