#include "shell/desktop_start.h"

#include "store/path_text.h"
#include "store/text_helpers.h"

#include <QApplication>
#include <QByteArray>
#include <QSocketNotifier>

#include <csignal>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)
// Written by the signal handler, read by the event loop: a handler may do no more than that.
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}
#endif

} // namespace

std::string PathFromArgument(const std::string& Argument)
{
    std::string path = Argument;
    if (EqualIgnoringAsciiCase(std::string_view(Argument).substr(0, 5), "file:")) {
        // A "?" or "#" in a file name arrives escaped; bare, they start a query or fragment.
        std::string rest = Argument.substr(5, Argument.find_first_of("?#") - 5);
        if (rest.compare(0, 2, "//") == 0) {
            const std::size_t slash = rest.find('/', 2);
            const std::string host = rest.substr(2, slash == std::string::npos ? slash : slash - 2);
            if (!host.empty() && host != "localhost")
                return Argument;
            rest = slash == std::string::npos ? std::string("/") : rest.substr(slash);
        }
        path = QByteArray::fromPercentEncoding(QByteArray::fromStdString(rest)).toStdString();
    }
    return path.empty() ? path : AbsoluteNormalPath(path);
}

void CloseWindowsOnTermination()
{
    // Windows ends a program with window messages, which close the windows anyway.
#if !defined(_WIN32)
    if (::pipe(signalPipe) != 0)
        return;
    for (const int end : signalPipe) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) { }
        QApplication::closeAllWindows();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
#endif
}
