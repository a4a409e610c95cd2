// The base main window: what any main window of the program shares. It creates the one
// settings object, keeps a collection data document with its file (a ".BAK" kept on every
// save), restores and stores the window's bounds, and carries the File and Help menus and
// the status bar.
#pragma once

#include "shell/program_files.h"
#include "store/tree_document.h"

#include <QFileDialog>
#include <QMainWindow>

#include <memory>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QShortcut;
class QStatusBar;
class HistoryList;
class WidgetBounds;

class MainWindowBase : public QMainWindow
{
    Q_OBJECT

public:
    // ProgramPath stands for the executable: the settings file and the default data file
    // are named after it and kept beside it where they can be written (tests give a path
    // inside a temporary folder).
    explicit MainWindowBase(const std::string& ProgramPath, QWidget* parent = nullptr);
    ~MainWindowBase() override;

    // The creation steps that need the whole window built and reachable as Fmain; a derived
    // window extends them and runs the base first.
    virtual void FormCreate();

    bool Modified() const { return modified; }
    const std::string& DataFileName() const { return dataFileName; }
    bool FirstActivation() const { return firstActivation; }
    const TreeDocument& Data() const { return *data; }
    QString StatusPanelText(int index) const;

    void SetModified(bool Value);
    void SetDataFileName(const std::string& Name);

    virtual void PrepareSave();
    virtual void SaveDataFile(const std::string& FileName);
    virtual void SaveData();
    virtual void WriteDataFile(const std::string& FileName);
    virtual void AskSaveChanges();
    virtual void NewData();
    virtual void LoadData();
    virtual void ReadDataFile(const std::string& FileName);
    virtual std::string GetDataFileName() const;
    virtual void BeforeLoadData();
    virtual void AfterLoadData();
    virtual void RestoreWindowBounds();

    void N_NewClick();
    void N_OpenClick();
    void N_SaveClick();
    void N_SaveasClick();
    void N_ExitClick();
    void N_AboutClick();

    // The collection file dialogs; null until first used.
    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Runs when the main window becomes the program's active window.
    virtual void FormActivate();
    // Runs when the main window closes, before the program ends.
    virtual void FormClose();
    // Tells the user of a file problem in the message window.
    void Tell(const std::string& Text);

    const std::string& ProgramPath() const { return programPath; }
    // The history list that the settings object fills as it is created; none here.
    virtual HistoryList* HistoryListForSettings() { return nullptr; }

    QMenuBar* MainMenu1;
    QMenu* N_File;
    QAction* N_New;
    QAction* N_Open;
    QAction* N_Save;
    QAction* N_Saveas;
    QAction* N_FileSeparator;
    QAction* N_Exit;
    QMenu* N_Help;
    QAction* N_About;
    // Save's Ctrl+S stays alive while a derived window hides the menu item.
    QShortcut* SaveShortcut;
    QStatusBar* StatusBar1;
    QLabel* StatusPanels[3];

private:
    // Dialog, made on the first call in the collections folder.
    QFileDialog* CollectionDialog(QFileDialog*& dialog, const char* name,
                                  QFileDialog::AcceptMode mode);
    void CreateFolderOneLevel(const std::string& folder);

    std::string programPath;
    // Where the settings, the data file and the collections live, decided at creation.
    ProgramFiles files;
    bool modified = false;
    std::string dataFileName;
    bool firstActivation = true;
    bool backupOnSave = true;
    bool closing = false;
    // A data file that could not be read and could not be kept aside: saves leave it alone.
    std::string dataFileLeftAlone;
    std::unique_ptr<TreeDocument> data;
    std::unique_ptr<WidgetBounds> bounds;
};
