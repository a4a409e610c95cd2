// The program: the windows are created, the main window is shown in the centre of the
// screen, and the event loop runs until it closes. An argument is a path to open (what a
// file manager's "Open With" passes); while the program runs with the same settings file, a
// new start hands its path over to it and ends.
#include "browse/byte_name.h"
#include "imaging/picture_formats.h"
#include "shell/application.h"
#include "shell/desktop_start.h"
#include "shell/main_window.h"
#include "shell/program_files.h"
#include "shell/single_instance.h"
#include "shell/termination.h"
#include "shell/windows.h"
#include "store/path_text.h"
#include "viewer/picture_loader.h"

#include <QByteArray>
#include <QScreen>

#include <cstdio>
#include <optional>

int main(int argc, char** argv)
{
    // Help and version are answered before the application object, which needs a display.
    const CommandLine asGiven = ReadCommandLine(argc, argv);
    if (asGiven.Todo == CommandLine::Action::Help || asGiven.Todo == CommandLine::Action::Version) {
        const std::string text
            = asGiven.Todo == CommandLine::Action::Help ? HelpText() : VersionText();
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    // Takes Qt's own options ("-style Fusion") out of the arguments.
    Application app(argc, argv);
    const CommandLine commandLine = ReadCommandLine(argc, argv);
    if (commandLine.Todo == CommandLine::Action::Error) {
        std::fputs(commandLine.Error.c_str(), stderr);
        return 2;
    }
    const std::string programPath = ByteNameOf(QCoreApplication::applicationFilePath());
    const std::string startPath
        = commandLine.Path.empty() ? std::string() : PathFromArgument(commandLine.Path);

    SingleInstance instance(LocateProgramFiles(programPath).SettingsFile,
                            qgetenv("XDG_RUNTIME_DIR").toStdString());
    if (instance.Begin(startPath) == SingleInstance::Start::HandedOver)
        return 0;
    instance.OnHandedOver = OpenHandedOverPath;

    // The start picture is decoded while the windows are made and shown; its pane is no
    // larger than the screen.
    std::optional<StartPicture> startPicture;
    if (!startPath.empty() && IsPictureFileName(startPath) && app.primaryScreen())
        startPicture.emplace(startPath, app.primaryScreen()->availableGeometry().size());
    CloseWindowsOnTermination();
    EndWithinDeadlineAfterSignal();
    CreateWindows(programPath);
    if (!startPath.empty())
        Fmain->OpenStartPath(startPath);
    ShowMainWindowCentred();
    const int result = app.exec();
    DestroyWindows();
    return ExitStatus(result);
}
