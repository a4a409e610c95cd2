// The program's windows: one object of each class for the whole run, each reachable from
// everywhere through its reference here.
#pragma once

#include <string>

class MainWindow;
class MessageWindow;
class YesNoQuestion;
class AboutBox;
class FileOperations;
class SettingsDialog;

extern MainWindow* Fmain;
extern MessageWindow* Dmsg;
extern YesNoQuestion* Fsure;
extern AboutBox* F_about;
extern FileOperations* D_filer;
// Set by the base main window once the settings object is complete; empty before.
extern SettingsDialog* D_settings_user;

// Creates Fmain (whose creation makes D_settings_user), then Dmsg, Fsure, F_about and
// D_filer, all hidden. ProgramPath names the settings and data files after itself.
void CreateWindows(const std::string& ProgramPath);

// Shows Fmain in its designed size in the centre of its screen.
void ShowMainWindowCentred();

// Destroys the windows in the reverse order, the main window last; the settings file is
// written when the main window takes the settings object with it.
void DestroyWindows();
