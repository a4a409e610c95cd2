// The main window's bounds as the settings store takes them, kept through full screen.
#pragma once

#include "settings/main_bounds.h"

#include <QRect>

// While the window is full screen, Qt's normal geometry of it is what the window manager's
// answers left there: going full screen from a maximised window, openbox's steps through the
// states may leave the maximised size in it. The bounds as full screen begins are kept, and
// given as the window's bounds while full screen lasts.
class FullScreenBounds : public WidgetBounds
{
public:
    explicit FullScreenBounds(QWidget& window);

    QRect Bounds() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool fullScreen() const;

    QWidget& window_;
    QRect beforeFullScreen_;
};
