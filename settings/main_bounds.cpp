#include "settings/main_bounds.h"

#include <QWindow>

#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <cstdint>

namespace {

bool isNormal(const QWidget& window)
{
    return !(window.windowState()
             & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized));
}

} // namespace

WidgetBounds::WidgetBounds(QWidget& window)
    : window_(window)
{
    window_.installEventFilter(this);
}

QMargins WidgetBounds::currentFrame() const
{
    const QRect frame = window_.frameGeometry();
    const QRect client = window_.geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
}

bool WidgetBounds::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == &window_ && (type == QEvent::Move || type == QEvent::Resize)
        && isNormal(window_))
        normalFrame_ = currentFrame();
    return QObject::eventFilter(watched, event);
}

QRect WidgetBounds::Bounds() const
{
    if (isNormal(window_))
        return window_.geometry() + currentFrame();
    // While maximised, geometry() and the frame are not the normal ones; normalGeometry() and
    // the frame last seen around the normal window are.
    return window_.normalGeometry() + normalFrame_;
}

void WidgetBounds::SetBounds(const QRect& outer)
{
    // A window not shown yet has no frame in its frame geometry; its platform window, once
    // made, may know the frame it will get.
    const QMargins frame = !window_.isVisible() && window_.windowHandle()
        ? window_.windowHandle()->frameMargins()
        : currentFrame();
    // move() places the frame's corner, resize() sets the client size.
    window_.move(outer.topLeft());
    window_.resize(outer.width() - frame.left() - frame.right(),
                   outer.height() - frame.top() - frame.bottom());
}

bool WidgetBounds::IsMaximized() const
{
    return window_.isMaximized();
}

void WidgetBounds::ShowNormal()
{
    window_.showNormal();
}

QRect KeepOnScreen(const QRect& bounds, const QList<QRect>& screens, const QRect& primaryAvailable)
{
    const QRect* home = nullptr;
    std::int64_t homeShare = 0;
    for (const QRect& screen : screens) {
        const QRect shared = screen.intersected(bounds);
        const std::int64_t share = std::int64_t {shared.width()} * shared.height();
        if (!shared.isEmpty() && share > homeShare) {
            home = &screen;
            homeShare = share;
        }
    }
    // A stored size larger than the screen would cost memory the screen cannot show (and
    // exceed what a window system allows).
    if (home)
        return QRect(bounds.topLeft(), bounds.size().boundedTo(home->size()));
    QRect placed(0, 0, std::clamp(bounds.width(), 1, std::max(1, primaryAvailable.width())),
                 std::clamp(bounds.height(), 1, std::max(1, primaryAvailable.height())));
    placed.moveCenter(primaryAvailable.center());
    return placed;
}
