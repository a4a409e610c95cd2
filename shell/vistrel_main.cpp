// The program: the windows are created, the main window is shown in the centre of the
// screen, and the event loop runs until it closes.
#include "shell/application.h"
#include "shell/main.h"
#include "shell/windows.h"

#include <QFile>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    CreateWindows(QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
    ShowMainWindowCentred();
    const int result = app.exec();
    DestroyWindows();
    return result;
}
