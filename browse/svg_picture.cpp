#include "browse/svg_picture.h"

#include <QPainter>
#include <QSvgRenderer>

QPixmap SvgPicture(const QString& resource, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}
