#include "shell/termination.h"

#include "browse/byte_name.h"
#include "browse/message_window.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <set>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the signal handler, read by the event loop and by the deadline's thread: a
// handler may do no more than that.
int signalPipe[2] = {-1, -1};
int deadlinePipe[2] = {-1, -1};

bool ending = false;

enum class Saves { NotYet, AllSaved, NotAllSaved };
std::atomic<Saves> saves = Saves::NotYet;

void onTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    for (const int end : {signalPipe[1], deadlinePipe[1]}) {
        if (end >= 0) [[maybe_unused]]
            const auto written = ::write(end, &byte, 1);
    }
    errno = savedErrno;
}

// The text of a message window or a message box; empty for any other window.
std::string messageOf(QDialog* dialog)
{
    if (const auto* box = qobject_cast<QMessageBox*>(dialog))
        return ByteNameOf(box->text());
    if (qobject_cast<MessageWindow*>(dialog)) {
        if (const auto* label = dialog->findChild<QLabel*>("Label1"))
            return ByteNameOf(label->text());
    }
    return {};
}

// A window that would wait for the user: its message goes to standard error, and it closes
// as Cancel or No would close it.
void endDialog(QDialog* dialog)
{
    const std::string text = messageOf(dialog);
    if (!text.empty())
        WriteToStandardError(text);
    // Queued: a dialog that is being shown has not begun its own loop yet, which a direct
    // reject would leave running.
    QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
}

// Once the program ends on a signal, every dialog ends as it is shown.
class NoWaitingWindows : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog && dialog->isWindow())
                endDialog(dialog);
        }
        return false;
    }
};

void endOnSignal()
{
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) { }
    if (ending)
        return;
    ending = true;
    qApp->installEventFilter(new NoWaitingWindows(qApp));
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog && dialog->isVisible())
            endDialog(dialog);
    }
    QApplication::closeAllWindows();
    // Every loop ends, the loops of dialogs too, and no later dialog runs one.
    QCoreApplication::exit(0);
}

} // namespace

void CloseWindowsOnTermination()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, endOnSignal);
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

void EndWithinDeadlineAfterSignal()
{
    if (::pipe2(deadlinePipe, O_CLOEXEC) != 0)
        return;
    std::thread([] {
        char byte = 0;
        while (::read(deadlinePipe[0], &byte, 1) < 0 && errno == EINTR) { }
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const Saves outcome = saves;
        if (outcome == Saves::NotYet) {
            static const char text[] = "vistrel: ended 2 s after the signal, before its files "
                                       "were saved\n";
            [[maybe_unused]] const auto written = ::write(STDERR_FILENO, text, sizeof text - 1);
        }
        ::_exit(outcome == Saves::AllSaved ? 0 : 1);
    }).detach();
}

bool EndingOnSignal()
{
    return ending;
}

void WriteToStandardError(const std::string& Text)
{
    static std::set<std::string> written;
    if (!written.insert(Text).second)
        return;
    const std::string line = "vistrel: " + Text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void NoteSaved(bool AllSaved)
{
    saves = AllSaved ? Saves::AllSaved : Saves::NotAllSaved;
}

int ExitStatus(int Status)
{
    return saves == Saves::NotAllSaved ? 1 : Status;
}
