// The program: the windows are created, the main window is shown in the centre of the
// screen, and the event loop runs until it closes. An argument is a path to open (what a
// file manager's "Open With" passes); the program has no options.
#include "browse/byte_name.h"
#include "shell/application.h"
#include "shell/desktop_start.h"
#include "shell/main_window.h"
#include "shell/windows.h"

int main(int argc, char** argv)
{
    // Qt sees no argument, so none is taken for one of its own options: "-style" may well
    // be the name of a picture.
    int qtArgc = 1;
    Application app(qtArgc, argv);
    CloseWindowsOnTermination();
    CreateWindows(ByteNameOf(QCoreApplication::applicationFilePath()));
    if (argc > 1)
        Fmain->OpenStartPath(PathFromArgument(argv[1]));
    ShowMainWindowCentred();
    const int result = app.exec();
    DestroyWindows();
    return result;
}
