#include "shell/picture_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QIODevice>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>

namespace {

const QString bmpType = QStringLiteral("image/bmp");
const QString pngType = QStringLiteral("image/png");

// The file header (14 bytes) and the information header (40 bytes), then two bytes of gap, so
// that the rows begin on a 4-byte boundary and a picture can be read from them in place.
constexpr int pixelOffset = 56;

// The rows of an RGB32 picture are a BMP's 32-bit rows as they are (bytes blue, green, red and
// an unused one, which Qt keeps at 255); a negative height stores them top row first.
QByteArray bmpFile(const QImage& picture)
{
    const QImage rows = picture.format() == QImage::Format_RGB32
        ? picture
        : picture.convertToFormat(QImage::Format_RGB32);
    const qsizetype rowBytes = qsizetype(rows.width()) * 4;
    const qsizetype pixelBytes = rowBytes * rows.height();
    QByteArray file(pixelOffset + pixelBytes, Qt::Uninitialized);
    uchar* header = reinterpret_cast<uchar*>(file.data());
    std::memset(header, 0, pixelOffset);
    header[0] = 'B';
    header[1] = 'M';
    qToLittleEndian(quint32(file.size()), header + 2);
    qToLittleEndian(quint32(pixelOffset), header + 10);
    qToLittleEndian(quint32(40), header + 14);
    qToLittleEndian(qint32(rows.width()), header + 18);
    qToLittleEndian(qint32(-rows.height()), header + 22);
    qToLittleEndian(quint16(1), header + 26);
    qToLittleEndian(quint16(32), header + 28);
    qToLittleEndian(quint32(pixelBytes), header + 34);
    for (int y = 0; y < rows.height(); ++y)
        std::memcpy(header + pixelOffset + y * rowBytes, rows.constScanLine(y), size_t(rowBytes));
    return file;
}

// Collects the PNG as the writer produces it; a write fails once the encoding is given up,
// which ends the writer at its next write.
class PngSink : public QIODevice
{
public:
    PngSink(QByteArray& into, const std::atomic<bool>& givenUp)
        : bytes(into)
        , abandoned(givenUp)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (abandoned)
            return -1;
        bytes.append(data, size);
        return size;
    }

private:
    QByteArray& bytes;
    const std::atomic<bool>& abandoned;
};

} // namespace

struct ClipboardPicture::Encoding
{
    std::atomic<bool> abandoned = false;
    mutable std::mutex mutex;
    QByteArray bytes;
    bool ready = false;
};

ClipboardPicture::ClipboardPicture(const QImage& Picture, bool EncodePng)
    : bmp(bmpFile(Picture))
    , png(std::make_shared<Encoding>())
{
    if (!EncodePng)
        return;
    const QSize size = Picture.size();
    const auto encode = [state = png, file = bmp, size] {
        // Read in place from the BMP's rows, which nothing writes while the file is shared.
        const QImage picture(reinterpret_cast<const uchar*>(file.constData()) + pixelOffset,
                             size.width(), size.height(), qsizetype(size.width()) * 4,
                             QImage::Format_RGB32);
        QByteArray encoded;
        try {
            PngSink sink(encoded, state->abandoned);
            QImageWriter writer(&sink, "png");
            // zlib's fastest level (Qt maps 0..100 onto 0..9): a paste wants the PNG soon more
            // than small, and on photographs it costs half the time of Qt's own level for
            // about the same size.
            writer.setCompression(11);
            if (!writer.write(picture))
                return;
        } catch (const std::bad_alloc&) {
            // Too little memory for the PNG: a paste gets the BMP.
            return;
        }
        const std::lock_guard lock(state->mutex);
        state->bytes = std::move(encoded);
        state->ready = true;
    };
    try {
        encoder = std::thread(encode);
    } catch (const std::system_error&) {
        // No thread to be had: a paste gets the BMP.
    }
}

ClipboardPicture::~ClipboardPicture()
{
    png->abandoned = true;
    if (encoder.joinable())
        encoder.join();
}

std::int64_t ClipboardPicture::CopyBytes(const QImage& Picture)
{
    const std::int64_t pixels = std::int64_t(Picture.width()) * Picture.height();
    // A picture of another format is converted first, and both are held for a moment.
    const std::int64_t converted = Picture.format() == QImage::Format_RGB32 ? 0 : pixels * 4;
    return pixelOffset + pixels * 4 + converted;
}

QStringList ClipboardPicture::formats() const
{
    const std::lock_guard lock(png->mutex);
    return png->ready ? QStringList {pngType, bmpType} : QStringList {bmpType};
}

bool ClipboardPicture::hasFormat(const QString& mimeType) const
{
    return formats().contains(mimeType);
}

QVariant ClipboardPicture::retrieveData(const QString& mimeType, QMetaType) const
{
    if (mimeType == bmpType)
        return bmp;
    const std::lock_guard lock(png->mutex);
    if (mimeType == pngType && png->ready)
        return png->bytes;
    return {};
}

bool CopyPictureToClipboard(const QImage& Picture, std::int64_t Available)
{
    const std::int64_t needed = ClipboardPicture::CopyBytes(Picture);
    if (Available >= 0 && Available < needed)
        return false;
    // The PNG, with what writing it holds for a while, takes at most as much again.
    const bool encodePng = Available < 0 || Available - needed >= 2 * needed;
    ClipboardPicture* copy = nullptr;
    try {
        copy = new ClipboardPicture(Picture, encodePng);
    } catch (const std::bad_alloc&) {
        return false;
    }
    QGuiApplication::clipboard()->setMimeData(copy);
    return true;
}
