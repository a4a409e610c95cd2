#include "imaging/graph_convertor.h"

#include "imaging/gif_graphic.h"
#include "imaging/jpeg_graphic.h"
#include "imaging/picture_file.h"
#include "imaging/reader_graphic.h"
#include "imaging/wait_cursor.h"
#include "metafile/metafile_player.h"

namespace {

// Windows metafiles and enhanced metafiles, played by our own metafile player: Read keeps
// the file's bytes once their header reports a size, ToBitmap plays them at that size.
class MetafileGraphic final : public Graphic
{
public:
    using SizeOf = QSize (*)(const QByteArray&);
    using Play = QImage (*)(const QByteArray&);

    MetafileGraphic(SizeOf sizeOfFile, Play playFile)
        : sizeOf(sizeOfFile)
        , play(playFile)
    {
    }

    bool Read(const std::string& fileName) override
    {
        PictureFile file(fileName);
        if (!file.isOpen() || file.size() > maxMetafileBytes)
            return false;
        bytes.resize(static_cast<qsizetype>(file.size()));
        return file.read(bytes.data(), bytes.size()) == bytes.size() && !sizeOf(bytes).isEmpty();
    }
    QImage ToBitmap() override { return play(bytes); }

private:
    // Far more than any real metafile; the whole file is held in memory while it plays.
    static constexpr qint64 maxMetafileBytes = qint64 {1} << 30;

    SizeOf sizeOf;
    Play play;
    QByteArray bytes;
};

struct Decoder
{
    const char* extension;
    std::unique_ptr<Graphic> (*create)();
};

// Tested in this order; the first match wins.
const Decoder decoders[] = {
    {".BMP",
     [] {
         return std::unique_ptr<Graphic>(new BitmapGraphic);
     }},
    {".DIB",
     [] {
         return std::unique_ptr<Graphic>(new BitmapGraphic);
     }},
    {".WMF",
     [] {
         return std::unique_ptr<Graphic>(
             new MetafileGraphic(WindowsMetafileSize, PlayWindowsMetafile));
     }},
    {".EMF",
     [] {
         return std::unique_ptr<Graphic>(
             new MetafileGraphic(EnhancedMetafileSize, PlayEnhancedMetafile));
     }},
    {".GIF",
     [] {
         return std::unique_ptr<Graphic>(new GifGraphic);
     }},
    {".JPG",
     [] {
         return std::unique_ptr<Graphic>(new JpegGraphic);
     }},
    {".JPEG",
     [] {
         return std::unique_ptr<Graphic>(new JpegGraphic);
     }},
    {".ICO",
     [] {
         return std::unique_ptr<Graphic>(new IconGraphic);
     }},
};

bool isPathDelimiter(char c)
{
#if defined(_WIN32)
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

} // namespace

std::string PictureExtension(const std::string& fileName)
{
    for (std::size_t i = fileName.size(); i-- > 0;) {
        if (isPathDelimiter(fileName[i]))
            break;
        if (fileName[i] == '.') {
            std::string extension = fileName.substr(i);
            for (char& c : extension)
                if (c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 'a' + 'A');
            return extension;
        }
    }
    return {};
}

std::unique_ptr<Graphic> CreateGraphicForFile(const std::string& extension)
{
    for (const Decoder& decoder : decoders)
        if (extension == decoder.extension)
            return decoder.create();
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
