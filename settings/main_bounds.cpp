#include "settings/main_bounds.h"

#include <QWidget>

#include <algorithm>

TWidgetBounds::TWidgetBounds(QWidget& window)
    : window_(window)
{
}

QRect TWidgetBounds::Bounds() const
{
    const QRect frame = window_.frameGeometry();
    const QRect client = window_.geometry();
    // While maximised (or before the window manager has answered a restore), geometry() is
    // not the normal one; normalGeometry() is.
    const QRect normal
        = window_.isMaximized() || window_.isFullScreen() ? window_.normalGeometry() : client;
    return QRect(normal.left() - (client.left() - frame.left()),
                 normal.top() - (client.top() - frame.top()),
                 normal.width() + frame.width() - client.width(),
                 normal.height() + frame.height() - client.height());
}

void TWidgetBounds::SetBounds(const QRect& outer)
{
    const QRect frame = window_.frameGeometry();
    const QRect client = window_.geometry();
    // move() places the frame's corner, resize() sets the client size.
    window_.move(outer.topLeft());
    window_.resize(outer.width() - (frame.width() - client.width()),
                   outer.height() - (frame.height() - client.height()));
}

bool TWidgetBounds::IsMaximized() const
{
    return window_.isMaximized();
}

void TWidgetBounds::ShowNormal()
{
    window_.showNormal();
}

QRect KeepOnScreen(const QRect& bounds, const QList<QRect>& screens, const QRect& primaryAvailable)
{
    const bool visible
        = std::any_of(screens.begin(), screens.end(),
                      [&bounds](const QRect& screen) { return screen.intersects(bounds); });
    if (visible)
        return bounds;
    QRect placed(0, 0, std::clamp(bounds.width(), 1, std::max(1, primaryAvailable.width())),
                 std::clamp(bounds.height(), 1, std::max(1, primaryAvailable.height())));
    placed.moveCenter(primaryAvailable.center());
    return placed;
}
