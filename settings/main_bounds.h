#pragma once

#include <QList>
#include <QMargins>
#include <QObject>
#include <QRect>

#include <optional>

class QWidget;

// The main window as the settings store sees it: its outer bounds (frame included, screen
// pixels: left, top, width, height) and its maximised state.
class MainBounds
{
public:
    virtual ~MainBounds() = default;

    // The bounds of the normal (not maximised) window, also while it is maximised.
    virtual QRect Bounds() const = 0;
    virtual void SetBounds(const QRect& outer) = 0;
    virtual bool IsMaximized() const = 0;
    // Leaves the maximised state; the window visibly restores.
    virtual void ShowNormal() = 0;
};

// MainBounds for a top-level widget. The widget is not owned and must outlive this object.
// It watches the widget's moves and resizes for the frame a window manager gives the normal
// window: a maximised window's frame is often thinner.
class WidgetBounds : public QObject, public MainBounds
{
public:
    explicit WidgetBounds(QWidget& window);

    QRect Bounds() const override;
    void SetBounds(const QRect& outer) override;
    bool IsMaximized() const override;
    void ShowNormal() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMargins currentFrame() const;
    // Resizes the client area to Outer less Frame and places the frame's corner.
    void place(const QRect& outer, const QMargins& frame);

    QWidget& window_;
    // The frame around the client area, as last seen while the window was normal.
    QMargins normalFrame_;
    // Bounds applied with a frame that may still change (the window manager frames a window
    // some time after it is shown), and that frame; applied once more when it does.
    std::optional<QRect> pending_;
    QMargins pendingFrame_;
};

// Where stored bounds are applied, given the available areas of the screens: when any part
// of them lies on one of those areas, where they are, no larger than the area they share
// most with; otherwise (a monitor that is gone, a hand-edited value) centred in the primary
// screen's available area, keeping the size where it fits there.
QRect KeepOnScreen(const QRect& bounds, const QList<QRect>& screens, const QRect& primaryAvailable);
