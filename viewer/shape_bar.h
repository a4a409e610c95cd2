// A rectangle shape: a filled rectangle with a one-pixel black outline, its fill either
// solid or hatched in the fill colour over whatever lies behind it.
#pragma once

#include <QColor>
#include <QWidget>

class ShapeBar : public QWidget
{
public:
    ShapeBar(QColor fill, QWidget* parent = nullptr);

    void SetBrushStyle(Qt::BrushStyle style);
    Qt::BrushStyle BrushStyle() const { return brushStyle; }
    QColor FillColor() const { return fill; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill;
    Qt::BrushStyle brushStyle = Qt::SolidPattern;
};
