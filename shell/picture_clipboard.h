// The picture that Ctrl+C puts on the clipboard. A paste never waits for an encoding on the
// interface thread: the copy is held as a BMP file from the start (the picture's own rows
// behind a header), and a PNG of it is encoded on a thread of its own and offered once it is
// done. Qt would otherwise encode whatever another program asks for, on the interface thread,
// at the moment it asks (12 s for a picture of 23000 x 23000 pixels).
#pragma once

#include <QByteArray>
#include <QMimeData>

#include <cstdint>
#include <memory>
#include <thread>

class QImage;

class ClipboardPicture : public QMimeData
{
public:
    // Picture is copied; with EncodePng, a PNG of it is encoded behind.
    ClipboardPicture(const QImage& Picture, bool EncodePng);
    // Gives up a PNG encoding under way and waits for its thread, which stops at its next
    // write.
    ~ClipboardPicture() override;
    ClipboardPicture(const ClipboardPicture&) = delete;
    ClipboardPicture& operator=(const ClipboardPicture&) = delete;

    // "image/png" once it is encoded, and "image/bmp". No image for Qt to encode itself.
    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // The memory the copy of Picture takes.
    static std::int64_t CopyBytes(const QImage& Picture);

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    struct Encoding;

    QByteArray bmp;
    std::shared_ptr<Encoding> png;
    std::thread encoder;
};

// Puts a copy of Picture on the clipboard, unless the copy would take more than Available bytes
// (-1 when unknown): then it gives false and the clipboard keeps what it held. The PNG is
// encoded only where twice as much again is left, for the PNG and its writing.
bool CopyPictureToClipboard(const QImage& Picture, std::int64_t Available);
