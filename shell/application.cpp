#include "shell/application.h"

#include "store/program_version.h"

#include <QMessageBox>

#include <csignal>
#include <exception>
#include <new>

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName("Vistrel");
    setApplicationVersion(ProgramVersion());
    // Lets the desktop match the windows with the installed entry (its icon and name).
    setDesktopFileName("org.vistrel.Vistrel");
    // Under a file size limit (ulimit -f), a write past it then fails with EFBIG, which a save
    // reports as it does a full disk, instead of ending the program with its files unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    // Qt cannot carry an exception through its event loop; without this, a command that
    // fails (too little memory for a huge picture) would end the whole program.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        QMessageBox::critical(activeWindow(), "Vistrel", "Out of memory.");
    } catch (const std::exception& error) {
        QMessageBox::critical(activeWindow(), "Vistrel", QString::fromLocal8Bit(error.what()));
    }
    return false;
}
