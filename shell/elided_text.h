// Texts that may be longer than their place, shown in whole letters.
#pragma once

#include <QLabel>
#include <QLineEdit>

class QFontMetrics;

// The shown picture's file name under the picture. A name of any length keeps the layout as
// it is: what does not fit is left out in the middle, the extension stays, and the whole
// name is the label's tooltip.
class NameLabel : public QLabel
{
public:
    explicit NameLabel(QWidget* parent = nullptr);

    // The full name; an empty text clears the label.
    void SetName(const QString& name);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A read-only path box. A path longer than the box shows its end, beginning with whole
// letters after an ellipsis; with the focus (to select and copy) the box shows the path as a
// line edit does.
class PathEdit : public QLineEdit
{
public:
    explicit PathEdit(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Name as it fits into width pixels of metrics: whole when it fits; otherwise shortened in
// the middle, keeping the extension whole wherever there is room for it.
QString ElideFileName(const QString& name, const QFontMetrics& metrics, int width);
