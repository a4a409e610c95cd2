#include "imaging/svg_graphic.h"

#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <QByteArray>
#include <QPainter>
#include <QSvgRenderer>

namespace {

// Far more than any drawing; the whole file is held in memory while it is parsed.
constexpr qint64 maxSvgBytes = qint64 {256} << 20;

// The whole drawing; empty when it is no file or too large.
QByteArray readDrawing(const std::string& fileName)
{
    PictureFile file(fileName);
    if (!file.isOpen() || file.size() > maxSvgBytes)
        return {};
    QByteArray bytes(static_cast<qsizetype>(file.size()), Qt::Uninitialized);
    if (file.read(bytes.data(), bytes.size()) != bytes.size())
        return {};
    return bytes;
}

} // namespace

QSize ReadSvgSize(const std::string& fileName)
{
    // A drawing's size is known once it is parsed; parsing is quick beside drawing it.
    const QSvgRenderer renderer(readDrawing(fileName));
    return renderer.isValid() ? renderer.defaultSize() : QSize();
}

QImage ReadSvgFile(const std::string& fileName)
{
    QSvgRenderer renderer(readDrawing(fileName));
    const QSize size = renderer.defaultSize();
    if (!renderer.isValid() || !FitsPictureLimit(size.width(), size.height()))
        return {};
    QImage picture = NewPictureBitmap(size.width(), size.height());
    if (picture.isNull())
        return {};
    picture.fill(Qt::white);
    QPainter painter(&picture);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return picture;
}
