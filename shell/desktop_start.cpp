#include "shell/desktop_start.h"

#include "shell/main_window.h"
#include "shell/windows.h"
#include "store/path_text.h"
#include "store/program_version.h"
#include "store/text_helpers.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

CommandLine ReadCommandLine(int argc, const char* const* argv)
{
    CommandLine line;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (options && argument == "--") {
            options = false;
        } else if (options && (argument == "--help" || argument == "-h")) {
            line.Todo = CommandLine::Action::Help;
            return line;
        } else if (options && argument == "--version") {
            line.Todo = CommandLine::Action::Version;
            return line;
        } else if (options && argument.size() > 1 && argument.front() == '-') {
            line.Todo = CommandLine::Action::Error;
            line.Error = "vistrel: unknown option '" + argument
                + "'\nTry 'vistrel --help' for the options.\n";
            return line;
        } else if (line.Path.empty()) {
            line.Path = argument;
        }
    }
    return line;
}

std::string HelpText()
{
    return "Usage: vistrel [OPTION...] [--] [PATH]\n"
           "A picture viewer with a round magnifying glass.\n"
           "\n"
           "PATH is a picture to open or a folder to list, or a file: address. While\n"
           "Vistrel runs, starting it again hands PATH to the running program.\n"
           "\n"
           "  -h, --help     print this help and exit\n"
           "      --version  print the version and exit\n"
           "  --             end of the options: what follows is the path\n"
           "\n"
           "Qt's own options are taken as well, such as -style NAME, -platform NAME\n"
           "and -reverse.\n";
}

std::string VersionText()
{
    return std::string("Vistrel ") + ProgramVersion() + "\n";
}

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

QString FirstStartFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

void OpenHandedOverPath(const std::string& Path)
{
    if (!Path.empty())
        Fmain->OpenStartPath(Path);
    Fmain->setWindowState(Fmain->windowState() & ~Qt::WindowMinimized);
    Fmain->show();
    Fmain->raise();
    Fmain->activateWindow();
}
