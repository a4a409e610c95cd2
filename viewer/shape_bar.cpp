#include "viewer/shape_bar.h"

#include <QPainter>

ShapeBar::ShapeBar(QColor fillColor, QWidget* parent)
    : QWidget(parent)
    , fill(fillColor)
{
}

void ShapeBar::SetBrushStyle(Qt::BrushStyle style)
{
    brushStyle = style;
    update();
}

void ShapeBar::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(QBrush(fill, brushStyle));
    // A cosmetic pen covers the rectangle's right and bottom edges too; one pixel less
    // keeps the outline inside the shape.
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
