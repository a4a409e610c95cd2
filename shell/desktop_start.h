// How the desktop starts the program: its command line, the one argument a file manager
// passes, and a path handed over by a later start.
#pragma once

#include <QString>

#include <string>

struct CommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action Todo = Action::Run;
    // The path (or file: address) to open, as given; empty for none.
    std::string Path;
    // For Error: what is wrong, for standard error.
    std::string Error;
};

// The command line left once the application object has taken Qt's own options ("-style
// Fusion"): "--help" ("-h") and "--version", then the path; "--" ends the options, so that
// "vistrel -- -style" opens a file of that name. Any other option is an error. A file manager
// may pass several paths; the first is opened.
CommandLine ReadCommandLine(int argc, const char* const* argv);

// What "--help" and "--version" print.
std::string HelpText();
std::string VersionText();

// Argument is a path, or a file: address as a file manager passes it through "%U"
// ("file:///home/me/a%20b.jpg"). Gives the path, byte for byte, made absolute against the
// current folder and normalised. An address of another host is given back unchanged, so
// that it names nothing here.
std::string PathFromArgument(const std::string& Argument);

// The folder listed while no folder is stored: the user's pictures folder where there is
// one, else the home folder.
QString FirstStartFolder();

// A later start handed Path over (absolute, or empty for none): it is opened as the start path
// is, and the main window comes to the front.
void OpenHandedOverPath(const std::string& Path);
