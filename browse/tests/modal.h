#pragma once

// Answers a modal dialog from inside its own exec(): a timer waits until a visible window
// matching the predicate is the active modal widget and then runs the action on it.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>

namespace modal {

// Gives up after a few seconds and rejects whatever modal window is open, so that a test
// whose dialog never appears fails instead of hanging.
inline void whenShown(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, matches, action] {
        QWidget* modalWidget = QApplication::activeModalWidget();
        if (modalWidget && modalWidget->isVisible() && matches(modalWidget)) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            action(modalWidget);
        } else if (clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            if (auto* dialog = qobject_cast<QDialog*>(modalWidget))
                dialog->reject();
        }
    });
    timer->start();
}

inline void whenShown(const QString& objectName, std::function<void(QWidget*)> action)
{
    whenShown([objectName](QWidget* w) { return w->objectName() == objectName; }, action);
}

} // namespace modal
