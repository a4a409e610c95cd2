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
        // A picture made for the screen's pixel ratio is drawn 1:1 into the device pixels,
        // clipped to the area painted.
        const qreal ratio = picture->devicePixelRatio();
        shown = area.intersected(QRect(QPoint(0, 0), picture->deviceIndependentSize().toSize()));
        if (!shown.isEmpty() && ratio == 1)
            painter.drawImage(shown.topLeft(), *picture, shown);
        else if (!shown.isEmpty())
            painter.drawImage(QPointF(0, 0), *picture);
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
