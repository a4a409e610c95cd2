#include "settings/illustration_shape.h"

#include <QPainter>

IllustrationShape::IllustrationShape(Kind kind, QColor outline, QColor fill, QWidget* parent)
    : QWidget(parent)
    , kind_(kind)
    , outline_(outline)
    , fill_(fill)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void IllustrationShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, kind_ == Kind::Circle);
    painter.setPen(outline_.isValid() ? QPen(outline_, 1) : QPen(Qt::NoPen));
    painter.setBrush(fill_.isValid() ? QBrush(fill_) : QBrush(Qt::NoBrush));
    // The outline runs along the inside of the widget's rectangle.
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (kind_ == Kind::Circle)
        painter.drawEllipse(box);
    else
        painter.drawRect(box);
}
