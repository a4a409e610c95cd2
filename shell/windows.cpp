#include "shell/windows.h"

#include "about/about_box.h"
#include "browse/file_operations.h"
#include "browse/message_window.h"
#include "browse/yes_no_question.h"
#include "settings/settings_dialog.h"
#include "shell/main_window.h"

#include <QScreen>

MainWindow* Fmain = nullptr;
MessageWindow* Dmsg = nullptr;
YesNoQuestion* Fsure = nullptr;
AboutBox* F_about = nullptr;
FileOperations* D_filer = nullptr;
SettingsDialog* D_settings_user = nullptr;

void CreateWindows(const std::string& ProgramPath)
{
    // Fmain is reachable before its creation steps run: the settings object made during them
    // fills its history list.
    Fmain = new MainWindow(ProgramPath);
    Fmain->FormCreate();
    Dmsg = new MessageWindow();
    Fsure = new YesNoQuestion();
    F_about = new AboutBox();
    D_filer = new FileOperations(*Fsure);
    D_filer->OnFailure = [](const std::string& text) {
        Dmsg->ShowText(text);
    };
}

void ShowMainWindowCentred()
{
    const QRect screen = Fmain->screen()->availableGeometry();
    QRect frame(QPoint(), Fmain->size());
    frame.moveCenter(screen.center());
    Fmain->move(frame.topLeft());
    // The window appears at the bounds it was left at from its first frame: shown first and
    // moved later, it would jump, and a start picture would be fitted to a pane about to
    // change. Where a window manager frames it, the first activation corrects for the frame.
    // Made first, so that the frame it will get is known where the platform knows it.
    Fmain->winId();
    Fmain->RestoreWindowBounds();
    Fmain->show();
    // Its first activation loads the data file and the start folder; ask for it rather than
    // wait for a window manager that may never give it.
    Fmain->activateWindow();
}

void DestroyWindows()
{
    delete D_filer;
    D_filer = nullptr;
    delete F_about;
    F_about = nullptr;
    delete Fsure;
    Fsure = nullptr;
    delete Dmsg;
    Dmsg = nullptr;
    delete Fmain;
    Fmain = nullptr;
}
