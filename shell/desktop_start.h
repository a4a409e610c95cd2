// How the desktop starts and ends the program: the one argument a file manager passes, and
// the signals with which a session or a terminal asks it to end.
#pragma once

#include <string>

// Argument is a path, or a file: address as a file manager passes it through "%U"
// ("file:///home/me/a%20b.jpg"). Gives the path, byte for byte, made absolute against the
// current folder and normalised. An address of another host is given back unchanged, so
// that it names nothing here.
std::string PathFromArgument(const std::string& Argument);

// From now on SIGTERM, SIGINT and SIGHUP close every window from the event loop, as the user
// would, so that the history, the bounds and the settings file are written instead of
// being lost. Call once, after the application object exists.
void CloseWindowsOnTermination();
