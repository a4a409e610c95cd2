#include "shell/elided_text.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

NameLabel::NameLabel(QWidget* parent)
    : QLabel(parent)
{
    // The width comes from the layout alone, never from the name.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setAlignment(Qt::AlignCenter);
}

void NameLabel::SetName(const QString& name)
{
    setText(name);
    setToolTip(name);
}

QSize NameLabel::minimumSizeHint() const
{
    return QSize(0, QLabel::minimumSizeHint().height());
}

void NameLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(),
                          ElideFileName(text(), fontMetrics(), area.width()), foregroundRole());
}

PathEdit::PathEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setReadOnly(true);
}

void PathEdit::paintEvent(QPaintEvent* event)
{
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    // The line edit's own text margin beside the contents rectangle.
    constexpr int margin = 2;
    const QRect area = style()
                           ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                           .marginsRemoved(textMargins())
                           .adjusted(margin, 0, -margin, 0);
    const QFontMetrics metrics = fontMetrics();
    if (hasFocus() || metrics.horizontalAdvance(text()) <= area.width()) {
        QLineEdit::paintEvent(event);
        return;
    }
    // Scrolled to its end, a line edit would cut the first visible letter.
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(text(), Qt::ElideLeft, area.width()));
}

QString ElideFileName(const QString& name, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(name) <= width)
        return name;
    const QString elided = metrics.elidedText(name, Qt::ElideMiddle, width);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0)
        return elided;
    const QString extension = name.mid(dot);
    if (elided.endsWith(extension))
        return elided;
    // Too narrow for the middle to go: the name's beginning gives way before its extension.
    const int stemWidth = width - metrics.horizontalAdvance(extension);
    if (stemWidth <= 0)
        return elided;
    return metrics.elidedText(name.left(dot), Qt::ElideRight, stemWidth) + extension;
}
