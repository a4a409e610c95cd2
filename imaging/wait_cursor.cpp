#include "imaging/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QThread>

namespace {

// The cursor belongs to the GUI thread; pure tests and tools run with no QGuiApplication.
bool canShowCursor()
{
    const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

} // namespace

WaitCursor::WaitCursor()
    : active(canShowCursor())
{
    if (active)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor()
{
    if (active)
        QGuiApplication::restoreOverrideCursor();
}
