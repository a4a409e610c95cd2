#include "viewer/image_control.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

ImageControl::ImageControl(QWidget* parent)
    : QWidget(parent)
{
    // Every pixel is painted below, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageControl::SetPicture(const QImage* newPicture)
{
    picture = newPicture;
    update();
}

void ImageControl::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    QRect shown;
    if (picture && !picture->isNull()) {
        shown = area.intersected(picture->rect());
        if (!shown.isEmpty())
            painter.drawImage(shown.topLeft(), *picture, shown);
    }
    const QRegion rest = QRegion(area).subtracted(shown);
    for (const QRect& r : rest)
        painter.fillRect(r, Qt::white);
}

void ImageControl::mousePressEvent(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(*event);
}

void ImageControl::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(*event);
}

void ImageControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(*event);
}

// A double click is also a press, as the second press of the pair.
void ImageControl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(*event);
    if (OnDblClick)
        OnDblClick(*event);
}
