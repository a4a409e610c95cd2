#include "imaging/picture_formats.h"

#include "imaging/bitmap_graphic.h"
#include "imaging/gif_graphic.h"
#include "imaging/heif_graphic.h"
#include "imaging/image_reader_graphic.h"
#include "imaging/jpeg_graphic.h"
#include "imaging/jxl_graphic.h"
#include "imaging/picture_file.h"
#include "imaging/svg_graphic.h"
#include "imaging/wait_cursor.h"
#include "metafile/metafile_player.h"
#include "store/picture_extensions.h"
#include "store/picture_limits.h"

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

std::unique_ptr<Graphic> decoderFor(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Bitmap:
        return std::make_unique<RasterGraphic>(ReadBitmapFile);
    case PictureFormat::WindowsMetafile:
        return std::make_unique<MetafileGraphic>(PlayWindowsMetafile);
    case PictureFormat::EnhancedMetafile:
        return std::make_unique<MetafileGraphic>(PlayEnhancedMetafile);
    case PictureFormat::Gif:
        return std::make_unique<RasterGraphic>(ReadGifFile);
    case PictureFormat::Jpeg:
        return std::make_unique<RasterGraphic>(ReadJpegFile);
    case PictureFormat::Icon:
        return std::make_unique<RasterGraphic>(ReadIconFile);
    case PictureFormat::Png:
        return std::make_unique<RasterGraphic>(ReadPngFile);
    case PictureFormat::Webp:
        return std::make_unique<RasterGraphic>(ReadWebpFile);
    case PictureFormat::Tiff:
        return std::make_unique<RasterGraphic>(ReadTiffFile);
    case PictureFormat::Svg:
        return std::make_unique<RasterGraphic>(ReadSvgFile);
    case PictureFormat::Heif:
        return std::make_unique<RasterGraphic>(ReadHeifFile);
    case PictureFormat::Jxl:
        return std::make_unique<RasterGraphic>(ReadJxlFile);
    }
    return nullptr;
}

QSize metafileSize(const std::string& fileName, QSize (*sizeOf)(const QByteArray&))
{
    QByteArray bytes;
    return readMetafile(fileName, &bytes) ? sizeOf(bytes) : QSize();
}

} // namespace

PictureHeader ReadPictureHeader(const std::string& fileName)
{
    try {
        const PictureExtensionEntry* known = FindPictureExtension(PictureExtension(fileName));
        if (!known)
            return {};
        // Most decoders hold the RGB32 picture alone; those that hold more say how much.
        long long bytesPerPixel = 4;
        qint64 readerBytes = -1;
        QSize size;
        switch (known->Format) {
        case PictureFormat::Bitmap:
            size = ReadBitmapSize(fileName);
            break;
        case PictureFormat::WindowsMetafile:
            size = metafileSize(fileName, WindowsMetafileSize);
            break;
        case PictureFormat::EnhancedMetafile:
            size = metafileSize(fileName, EnhancedMetafileSize);
            break;
        case PictureFormat::Gif:
            size = ReadGifSize(fileName);
            break;
        case PictureFormat::Jpeg:
            size = ReadJpegSize(fileName);
            break;
        case PictureFormat::Icon:
            size = ReadIconSize(fileName);
            break;
        case PictureFormat::Png:
            size = ReadImageReaderSize(fileName, "png", &readerBytes);
            break;
        case PictureFormat::Webp:
            size = ReadImageReaderSize(fileName, "webp", &readerBytes);
            break;
        case PictureFormat::Tiff:
            size = ReadImageReaderSize(fileName, "tiff", &readerBytes);
            break;
        case PictureFormat::Svg:
            size = ReadSvgSize(fileName);
            readerBytes = SvgDecodeBytes(size);
            break;
        case PictureFormat::Heif:
            size = ReadHeifSize(fileName, &bytesPerPixel);
            break;
        case PictureFormat::Jxl:
            size = ReadJxlSize(fileName);
            bytesPerPixel = JxlDecodeBytesPerPixel;
            break;
        }
        if (!size.isValid() || size.isEmpty())
            return {};
        // Past the picture limit every decoder refuses: the count need only say too much, and
        // a header's sizes (up to 2^31 a side) would overflow it.
        if (!FitsPictureLimit(size.width(), size.height()))
            return {size, std::numeric_limits<std::int64_t>::max()};
        const std::int64_t pixels = std::int64_t {size.width()} * size.height();
        return {size, readerBytes >= 0 ? readerBytes : bytesPerPixel * pixels};
    } catch (...) {
        return {};
    }
}

std::unique_ptr<Graphic> CreateGraphicForFile(const std::string& extension)
{
    // Exact: the caller passes the upper-cased extension.
    for (const PictureExtensionEntry& known : PictureExtensions)
        if (extension == known.Extension)
            return decoderFor(known.Format);
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
        const WaitCursor wait;
        const std::unique_ptr<Graphic> graphic = CreateGraphicForFile(PictureExtension(fileName));
        if (graphic && LoadGraphic(*graphic, fileName))
            return GraphicToBitmap(graphic.get());
        return {};
    } catch (...) {
        return {};
    }
}
