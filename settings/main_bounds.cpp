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
    // The platform's own account of the frame (on X11 the window manager's frame extents):
    // the difference between frameGeometry() and geometry() mixes a frame position and a
    // client position that arrive in separate events, and read between the two it is wrong,
    // even negative.
    const QWindow* handle = window_.windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

bool WidgetBounds::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool geometry = watched == &window_ && (type == QEvent::Move || type == QEvent::Resize);
    // The window manager frames a window before the server maps it; the first exposure of the
    // window is the first moment its frame is surely known.
    const bool exposed = watched == window_.windowHandle() && type == QEvent::Expose;
    if ((geometry || exposed) && isNormal(window_)) {
        const QMargins frame = currentFrame();
        // Bounds applied before the frame was known took it as none: they are applied again
        // with the frame, so that the frame, not the client area, lands where they say.
        if (pending_ && window_.isVisible() && frame != pendingFrame_) {
            const QRect outer = *pending_;
            pending_.reset();
            place(outer, frame);
        }
        if (geometry)
            normalFrame_ = frame;
    }
    if (watched == &window_ && type == QEvent::WindowStateChange && !isNormal(window_))
        pending_.reset();
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
    if (QWindow* handle = window_.windowHandle())
        handle->installEventFilter(this);
    pending_ = outer;
    place(outer, currentFrame());
}

void WidgetBounds::place(const QRect& outer, const QMargins& frame)
{
    pendingFrame_ = frame;
    if (window_.isVisible()) {
        // The client area where the frame around it puts the frame at Outer. QWidget::move()
        // would place the frame with the frame Qt's widget last saw, which trails the
        // window manager's answers, and the window could land a title bar lower than asked.
        window_.setGeometry(outer.marginsRemoved(frame));
        return;
    }
    // Not shown yet: move() asks the window manager to put the frame's corner there itself.
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
