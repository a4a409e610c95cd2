#include "imaging/picture_formats.h"

#include "imaging/bitmap_graphic.h"
#include "imaging/gif_graphic.h"
#include "imaging/heif_graphic.h"
#include "imaging/jpeg_graphic.h"
#include "imaging/jxl_graphic.h"
#include "imaging/picture_file.h"
#include "imaging/png_graphic.h"
#include "imaging/svg_graphic.h"
#include "imaging/tiff_graphic.h"
#include "imaging/wait_cursor.h"
#include "imaging/webp_graphic.h"
#include "metafile/metafile_player.h"
#include "store/picture_limits.h"
#include "store/text_helpers.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Far more than any real metafile; the whole file is held in memory while it plays.
constexpr qint64 maxMetafileBytes = qint64 {1} << 30;

// The metafile's whole bytes; false when it is no file or too large.
bool readMetafile(const std::string& fileName, QByteArray* bytes)
{
    PictureFile file(fileName);
    if (!file.isOpen() || file.size() > maxMetafileBytes)
        return false;
    bytes->resize(static_cast<qsizetype>(file.size()));
    return file.read(bytes->data(), bytes->size()) == bytes->size();
}

// Windows metafiles and enhanced metafiles, played by our own metafile player: Read keeps
// the file's bytes, ToBitmap plays them at the size their header reports (null when it
// reports none). The header is not looked at in Read: a WMF without a window extent is
// measured by a whole playback, which the play repeats anyway.
class MetafileGraphic final : public Graphic
{
public:
    using Play = QImage (*)(const QByteArray&);

    explicit MetafileGraphic(Play playFile)
        : play(playFile)
    {
    }

    bool Read(const std::string& fileName) override { return readMetafile(fileName, &bytes); }
    QImage ToBitmap() override { return play(bytes); }

private:
    Play play;
    QByteArray bytes;
};

template<QImage (*Read)(const std::string&)> std::unique_ptr<Graphic> raster()
{
    return std::make_unique<RasterGraphic>(Read);
}

template<QImage (*Play)(const QByteArray&)> std::unique_ptr<Graphic> metafile()
{
    return std::make_unique<MetafileGraphic>(Play);
}

// A header reader for a format whose reader tells its size alone: its decode holds
// bytesPerPixel bytes a pixel at its peak.
template<QSize (*ReadSize)(const std::string&), long long bytesPerPixel = 4>
QSize sizeOnly(const std::string& fileName, std::int64_t* decodeBytes)
{
    const QSize size = ReadSize(fileName);
    if (bytesPerPixel != 4 && FitsPictureLimit(size.width(), size.height()))
        *decodeBytes = bytesPerPixel * size.width() * size.height();
    return size;
}

// HEIC/AVIF: libheif's work depends on the picture's bit depth, which the file tells.
QSize heifHeader(const std::string& fileName, std::int64_t* decodeBytes)
{
    long long bytesPerPixel = 4;
    const QSize size = ReadHeifSize(fileName, &bytesPerPixel);
    if (FitsPictureLimit(size.width(), size.height()))
        *decodeBytes = bytesPerPixel * size.width() * size.height();
    return size;
}

// SVG: the drawing process's own picture and libraries beside ours.
QSize svgHeader(const std::string& fileName, std::int64_t* decodeBytes)
{
    const QSize size = ReadSvgSize(fileName);
    *decodeBytes = SvgDecodeBytes(size);
    return size;
}

template<QSize (*SizeOf)(const QByteArray&)>
QSize metafileSize(const std::string& fileName, std::int64_t*)
{
    QByteArray bytes;
    return readMetafile(fileName, &bytes) ? SizeOf(bytes) : QSize();
}

// Signatures: the first bytes that name a format.

bool startsWith(const unsigned char* head, std::size_t size, std::string_view magic,
                std::size_t at = 0)
{
    return size >= at + magic.size() && std::memcmp(head + at, magic.data(), magic.size()) == 0;
}

std::uint32_t littleEndian(const unsigned char* bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// "BM", then past the file header a bitmap header of a size some writer uses (12 to 124
// bytes): text that happens to start with "BM" is not taken for a bitmap.
bool isBitmap(const unsigned char* head, std::size_t size)
{
    if (!startsWith(head, size, "BM") || size < 18)
        return false;
    const std::uint32_t header = littleEndian(head + 14, 4);
    return header >= 12 && header <= 124;
}

// The placeable header's key, or a plain header: its type (1 in memory, 2 on disk), its
// size in words (9) and its version (0x0100 or 0x0300).
bool isWindowsMetafile(const unsigned char* head, std::size_t size)
{
    if (startsWith(head, size, "\xD7\xCD\xC6\x9A"))
        return true;
    if (size < 6)
        return false;
    const std::uint32_t type = littleEndian(head, 2);
    const std::uint32_t version = littleEndian(head + 4, 2);
    return (type == 1 || type == 2) && littleEndian(head + 2, 2) == 9
        && (version == 0x0100 || version == 0x0300);
}

// The header record (type 1) with " EMF" at its signature's place.
bool isEnhancedMetafile(const unsigned char* head, std::size_t size)
{
    return startsWith(head, size, std::string_view("\1\0\0\0", 4))
        && startsWith(head, size, " EMF", 40);
}

bool isGif(const unsigned char* head, std::size_t size)
{
    return startsWith(head, size, "GIF87a") || startsWith(head, size, "GIF89a");
}

bool isJpeg(const unsigned char* head, std::size_t size)
{
    return startsWith(head, size, "\xFF\xD8\xFF");
}

// An icon's (1) or a cursor's (2) directory with at least one entry; its first entry's
// reserved byte is 0.
bool isIcon(const unsigned char* head, std::size_t size)
{
    if (size < 22 || littleEndian(head, 2) != 0)
        return false;
    const std::uint32_t type = littleEndian(head + 2, 2);
    return (type == 1 || type == 2) && littleEndian(head + 4, 2) > 0 && head[9] == 0;
}

bool isPng(const unsigned char* head, std::size_t size)
{
    return startsWith(head, size, "\x89PNG\r\n\x1A\n");
}

bool isWebp(const unsigned char* head, std::size_t size)
{
    return startsWith(head, size, "RIFF") && startsWith(head, size, "WEBP", 8);
}

// Classic TIFF and BigTIFF, in either byte order.
bool isTiff(const unsigned char* head, std::size_t size)
{
    return startsWith(head, size, std::string_view("II*\0", 4))
        || startsWith(head, size, std::string_view("MM\0*", 4))
        || startsWith(head, size, std::string_view("II+\0", 4))
        || startsWith(head, size, std::string_view("MM\0+", 4));
}

// Text (after a byte order mark and white space) that opens with markup and has an <svg
// element within the bytes looked at.
bool isSvg(const unsigned char* head, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(head), size);
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '<'
        && text.find("<svg") != std::string_view::npos;
}

// An ISO media file whose type box names a HEIF or AVIF brand, as its major brand or among
// its compatible ones.
bool isHeif(const unsigned char* head, std::size_t size)
{
    if (!startsWith(head, size, "ftyp", 4))
        return false;
    const std::size_t boxSize = std::min<std::size_t>(
        size, static_cast<std::size_t>(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3]);
    static constexpr std::string_view brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                                  "hevm", "hevs", "mif1", "msf1", "avif", "avis"};
    // The major brand at 8, the minor version at 12, the compatible brands from 16.
    for (std::size_t at = 8; at + 4 <= boxSize; at += at == 8 ? 8 : 4) {
        const std::string_view brand(reinterpret_cast<const char*>(head + at), 4);
        if (std::find(std::begin(brands), std::end(brands), brand) != std::end(brands))
            return true;
    }
    return false;
}

// A bare code stream, or the container's signature box.
bool isJxl(const unsigned char* head, std::size_t size)
{
    return startsWith(head, size, "\xFF\x0A")
        || startsWith(head, size, std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12));
}

// What of a file that holds several pictures is shown.
constexpr std::string_view firstFrame = "first frame";

// The table: name, what is shown, key, extensions, listed, signature, header reader, decoder,
// decode that can stop, reduced first look.
// clang-format off
const PictureFormat formats[] = {
    {"BMP/DIB", "", "bmp", {".BMP", ".DIB"}, true, isBitmap,
     sizeOnly<ReadBitmapSize>, raster<ReadBitmapFile>, nullptr, nullptr},
    {"JPEG", "", "jpeg", {".JPG", ".JPEG"}, true, isJpeg,
     sizeOnly<ReadJpegSize>, raster<ReadJpegFile>, ReadJpegFileWhile, ReadJpegReduced},
    {"GIF", firstFrame, "gif", {".GIF"}, true, isGif,
     sizeOnly<ReadGifSize>, raster<ReadGifFile>, nullptr, nullptr},
    {"PNG", "", "png", {".PNG"}, true, isPng,
     ReadPngHeader, raster<ReadPngFile>, ReadPngFileWhile, nullptr},
    {"WebP", firstFrame, "webp", {".WEBP"}, true, isWebp,
     ReadWebpHeader, raster<ReadWebpFile>, ReadWebpFileWhile, ReadWebpReduced},
    {"TIFF", "first page", "tiff", {".TIF", ".TIFF"}, true, isTiff,
     ReadTiffHeader, raster<ReadTiffFile>, ReadTiffFileWhile, ReadTiffReduced},
    {"SVG", "drawn at its own size", "svg", {".SVG"}, true, isSvg,
     svgHeader, raster<ReadSvgFile>, ReadSvgFileWhile, ReadSvgStandIn},
    {"HEIC/HEIF and AVIF", "first picture", "heif", {".HEIC", ".HEIF", ".AVIF"}, true, isHeif,
     heifHeader, raster<ReadHeifFile>, nullptr, nullptr},
    {"JPEG XL", firstFrame, "jxl", {".JXL"}, true, isJxl,
     sizeOnly<ReadJxlSize, JxlDecodeBytesPerPixel>, raster<ReadJxlFile>, nullptr, nullptr},
    {"WMF", "", "wmf", {".WMF"}, true, isWindowsMetafile,
     metafileSize<WindowsMetafileSize>, metafile<PlayWindowsMetafile>, nullptr, nullptr},
    {"EMF", "", "emf", {".EMF"}, true, isEnhancedMetafile,
     metafileSize<EnhancedMetafileSize>, metafile<PlayEnhancedMetafile>, nullptr, nullptr},
    {"ICO", "", "ico", {".ICO"}, false, isIcon,
     sizeOnly<ReadIconSize>, raster<ReadIconFile>, nullptr, nullptr},
};
// clang-format on

bool hasExtension(const PictureFormat& format, std::string_view extension)
{
    return std::any_of(format.Extensions.begin(), format.Extensions.end(),
                       [&](std::string_view known) {
                           return !known.empty() && EqualIgnoringAsciiCase(extension, known);
                       });
}

} // namespace

std::span<const PictureFormat> PictureFormats()
{
    return formats;
}

const PictureFormat* FormatOfKey(std::string_view key)
{
    for (const PictureFormat& format : formats)
        if (format.Key == key)
            return &format;
    return nullptr;
}

const PictureFormat* FormatOfExtension(std::string_view extension)
{
    for (const PictureFormat& format : formats)
        if (hasExtension(format, extension))
            return &format;
    return nullptr;
}

const PictureFormat* FormatOfFile(const std::string& fileName)
{
    PictureFile file(fileName);
    if (!file.isOpen())
        return nullptr;
    unsigned char head[SignatureBytes];
    const qint64 read = file.read(head, sizeof head);
    const std::size_t size = read > 0 ? static_cast<std::size_t>(read) : 0;
    for (const PictureFormat& format : formats)
        if (format.HasSignature(head, size))
            return &format;
    return FormatOfExtension(PictureExtension(fileName));
}

bool IsPictureFileName(const std::string& fileName)
{
    const PictureFormat* format = FormatOfExtension(PictureExtension(fileName));
    return format && format->Listed;
}

PictureHeader ReadPictureHeader(const std::string& fileName)
{
    try {
        return ReadPictureHeader(fileName, FormatOfFile(fileName));
    } catch (...) {
        return {};
    }
}

PictureHeader ReadPictureHeader(const std::string& fileName, const PictureFormat* format)
{
    try {
        if (!format)
            return {};
        // Most decoders hold the RGB32 picture alone; those that hold more say how much.
        std::int64_t readerBytes = -1;
        const QSize size = format->ReadHeader(fileName, &readerBytes);
        if (!size.isValid() || size.isEmpty())
            return {};
        // Past the picture limit every decoder refuses: the count need only say too much, and
        // a header's sizes (up to 2^31 a side) would overflow it.
        if (!FitsPictureLimit(size.width(), size.height()))
            return {size, std::numeric_limits<std::int64_t>::max()};
        const std::int64_t pixels = std::int64_t {size.width()} * size.height();
        return {size, std::max(readerBytes, 4 * pixels)};
    } catch (...) {
        return {};
    }
}

std::unique_ptr<Graphic> CreateGraphicForFile(const std::string& extension)
{
    // Exact: the caller passes the upper-cased extension.
    for (const PictureFormat& format : formats)
        for (std::string_view known : format.Extensions)
            if (!known.empty() && extension == known)
                return format.NewDecoder();
    return nullptr;
}

bool LoadGraphic(Graphic& graphic, const std::string& fileName)
{
    try {
        return graphic.Read(fileName);
    } catch (...) {
        return false;
    }
}

QImage GraphicToBitmap(Graphic* graphic)
{
    if (!graphic)
        return {};
    try {
        QImage bitmap = graphic->ToBitmap();
        if (!bitmap.isNull() && bitmap.format() != QImage::Format_RGB32)
            bitmap = FlattenOnWhite(std::move(bitmap));
        return bitmap;
    } catch (...) {
        return {};
    }
}

QImage LoadImageFile(const std::string& fileName)
{
    try {
        return LoadImageFile(fileName, FormatOfFile(fileName));
    } catch (...) {
        return {};
    }
}

QImage LoadImageFile(const std::string& fileName, const PictureFormat* format)
{
    try {
        if (!format)
            return {};
        const WaitCursor wait;
        const std::unique_ptr<Graphic> graphic = format->NewDecoder();
        if (graphic && LoadGraphic(*graphic, fileName))
            return GraphicToBitmap(graphic.get());
        return {};
    } catch (...) {
        return {};
    }
}
