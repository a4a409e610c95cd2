#include "shell/history_box.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QStringListModel>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>

namespace {

// Plain texts in one list: a stored history of tens of thousands of entries fills it at
// start in one reset instead of one item object each. Each text is its own tooltip.
class EntryTexts : public QStringListModel
{
public:
    using QStringListModel::QStringListModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        return QStringListModel::data(index, role == Qt::ToolTipRole ? Qt::DisplayRole : role);
    }
};

} // namespace

HistoryBox::HistoryBox(QWidget* parent)
    : QComboBox(parent)
{
    setModel(new EntryTexts(this));
    view()->setTextElideMode(Qt::ElideLeft);
}

bool HistoryBox::event(QEvent* event)
{
    // Asked when it shows, since the entries change with their signals blocked.
    if (event->type() == QEvent::ToolTip) {
        const QString path = currentText();
        if (path.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), path, this);
        return true;
    }
    return QComboBox::event(event);
}

void HistoryBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = ShownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

QString HistoryBox::ShownText() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    // The style draws the label one pixel in from each side of the field, cut at its right.
    const QRect field
        = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return fontMetrics().elidedText(option.currentText, Qt::ElideLeft, field.width() - 2);
}
