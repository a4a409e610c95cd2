// An image control: shows a picture unscaled at its top-left corner (a picture with a device
// pixel ratio in device pixels, one picture pixel in one) and reports its mouse
// events to whoever set the matching handler (an unset handler is simply not called).
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class QMouseEvent;

class ImageControl : public QWidget
{
public:
    explicit ImageControl(QWidget* parent = nullptr);

    // The picture shown; not owned, and read at every paint, so its owner redraws it in
    // place and calls update(). Where the picture does not reach, the control is white.
    void SetPicture(const QImage* picture);

    using MouseHandler = std::function<void(const QMouseEvent&)>;
    MouseHandler OnMouseDown;
    MouseHandler OnMouseMove;
    MouseHandler OnMouseUp;
    MouseHandler OnDblClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    const QImage* picture = nullptr;
};
