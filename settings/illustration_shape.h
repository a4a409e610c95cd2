#pragma once

#include <QColor>
#include <QWidget>

// A plain rectangle or circle drawn with an outline and a fill, part of a fixed picture.
class IllustrationShape : public QWidget
{
    Q_OBJECT
public:
    enum class Kind { Rectangle, Circle };

    // An invalid QColor draws no outline or no fill.
    IllustrationShape(Kind kind, QColor outline, QColor fill, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
    QColor outline_;
    QColor fill_;
};
