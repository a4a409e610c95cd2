#pragma once

// Answers a modal dialog from inside its own exec(): a timer waits until a visible window
// matching the predicate is the active modal widget and then runs the action on it once.
// The watch lasts as long as the returned handle, so that a watch whose dialog never came
// cannot act on a later test's dialog.

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace modal {

using Watch = std::unique_ptr<QTimer>;

// After a few seconds without a match the open modal window is rejected, so that a test
// whose dialog never matches fails instead of hanging.
[[nodiscard]] inline Watch whenShown(std::function<bool(QWidget*)> matches,
                                     std::function<void(QWidget*)> action)
{
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(5);
    QTimer* raw = timer.get();
    const QDeadlineTimer deadline(5000);
    QObject::connect(raw, &QTimer::timeout, [raw, deadline, matches, action] {
        QWidget* modalWidget = QApplication::activeModalWidget();
        if (modalWidget && modalWidget->isVisible() && matches(modalWidget)) {
            raw->stop();
            action(modalWidget);
        } else if (deadline.hasExpired()) {
            raw->stop();
            if (auto* dialog = qobject_cast<QDialog*>(modalWidget))
                dialog->reject();
        }
    });
    timer->start();
    return timer;
}

[[nodiscard]] inline Watch whenShown(const QString& objectName,
                                     std::function<void(QWidget*)> action)
{
    return whenShown([objectName](QWidget* w) { return w->objectName() == objectName; }, action);
}

} // namespace modal
