// How the program ends when the desktop or a terminal asks it to (SIGTERM at logout, Ctrl+C,
// SIGHUP): it saves what it can at once and ends, with nobody there to answer a window. What a
// message window would show goes to standard error, and the exit status says whether
// everything was saved.
#pragma once

#include <string>

// From now on SIGTERM, SIGINT and SIGHUP close every window from the event loop, as the user
// would, so that the history, the bounds and the settings file are written, and then end the
// event loop. A message window open at that moment is closed, and every message window
// opened after it closes at once: their texts go to standard error. Call once, after the
// application object exists.
void CloseWindowsOnTermination();

// The process ends 2 s after the first of those signals at the latest, whatever it is still
// doing (a save to a disk that does not answer, a decode that cannot be given up), with the
// exit status 1 unless everything was saved by then. Call once, after
// CloseWindowsOnTermination; the program's own entry does, tests that raise the signals in
// their own process do not.
void EndWithinDeadlineAfterSignal();

// True once one of the signals asked the program to end.
bool EndingOnSignal();

// Writes Text on a line of its own to standard error, after "vistrel: ", once: a text already
// written is not written again.
void WriteToStandardError(const std::string& Text);

// At the end of the closing saves: whether everything reached its file.
void NoteSaved(bool AllSaved);

// The exit status of the program whose event loop ended with Status: 1 when something could
// not be saved at the end, Status otherwise.
int ExitStatus(int Status);
