#include "shell/full_screen_bounds.h"

#include <QEvent>
#include <QWidget>
#include <QWindowStateChangeEvent>

FullScreenBounds::FullScreenBounds(QWidget& window)
    : WidgetBounds(window)
    , window_(window)
{
}

bool FullScreenBounds::fullScreen() const
{
    return window_.windowState() & Qt::WindowFullScreen;
}

bool FullScreenBounds::eventFilter(QObject* watched, QEvent* event)
{
    // Taken as full screen begins, when the window's own request is made and before the
    // window manager has answered any of it.
    if (watched == &window_ && event->type() == QEvent::WindowStateChange && fullScreen()
        && !(static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowFullScreen))
        beforeFullScreen_ = WidgetBounds::Bounds();
    return WidgetBounds::eventFilter(watched, event);
}

QRect FullScreenBounds::Bounds() const
{
    if (fullScreen() && beforeFullScreen_.isValid())
        return beforeFullScreen_;
    return WidgetBounds::Bounds();
}
