#pragma once

#include "store/tree_document.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QPushButton;
class QTabWidget;
class MainBounds;

// The base of the settings dialog and the program's settings store: it owns the settings
// document, reads it from the settings file when it is created, writes it back when the user
// confirms the dialog and when it is destroyed, and keeps the main window's bounds and the
// collection data file's name. Only SettingsDialog is ever made; it runs FormCreate once
// its own controls exist.
class ProgramSettings : public QDialog
{
    Q_OBJECT
public:
    // The program decides where its settings file lives (beside the executable or in the
    // user's configuration folder); tests give their own so that they never touch the real one.
    // An empty name is no file: the settings are neither read nor written.
    explicit ProgramSettings(std::string settingsFileName, QWidget* parent = nullptr);
    // Writes Settings (not the controls) to the settings file.
    ~ProgramSettings() override;

    // The settings document. The main window reads and writes DIR_TO_VIEW in it directly.
    TreeDocument Settings;

    std::string GetSettingsFileName() const;
    // Tells the user of a settings file that could not be read (and was kept aside) or
    // written. What happened before it was given is told as soon as it is.
    void SetReporter(std::function<void(const std::string&)> reporter);
    // Writes Settings to the settings file now, as the destructor does.
    void WriteSettingsFile();
    // What went wrong with the last write of the settings file, as told to the user; empty when
    // it was written (or when it is never written: the user was told why at the start).
    const std::string& WriteFailure() const { return writeFailure_; }
    // ControlsToSettings, then the settings file is written.
    void CommitSettings();
    // DATA_FILE_NAME; empty when missing.
    std::string ReadDataFileName() const;
    // DATA_FILE_NAME := Name with the extension ".vsgc", then CommitSettings.
    virtual void StoreDataFileName(const std::string& Name);

    // EXACT_PIXELS: the display shows the plain stretch also where it reduces the picture.
    // Files from before it lack it, which is off (the smooth display), like any value but "Y".
    bool ReadExactPixels() const;
    // EXACT_PIXELS := "Y", or no attribute when off, so that a file never switched on reads
    // back byte for byte; the file is written later.
    void StoreExactPixels(bool exact);

    // The main window whose bounds are restored and stored; not owned, may be null (then
    // both operations do nothing).
    void SetMainWindow(MainBounds* mainWindow);
    // Applies the stored TOP, LEFT, HEIGHT and WIDTH; a missing or invalid one leaves that
    // bound as it is. Bounds that would lie entirely off every screen are centred on the
    // primary screen instead.
    void RestoreMainBounds();
    // Writes the window's normal-state bounds into Settings and restores a maximised window;
    // the file is written later.
    void StoreMainBounds();

    // Brings page (one of the page control's pages) to the front, where the dialog opens.
    void ShowPage(QWidget* page);

protected:
    // Reads the file, fills the controls, then AfterLoad. Called once by the derived
    // constructor, after its controls exist (a base constructor cannot reach overrides).
    void FormCreate();

    virtual void AfterLoad() { }
    virtual void LoadSettings();
    virtual void SaveSettings(const std::string& FileName);
    virtual void ResetSettings();
    virtual void SettingsToControls() { }
    virtual void ControlsToSettings() { }

    // Sets the client width and keeps the page control and the buttons at the right edge.
    void SetClientWidth(int width);

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

    QTabWidget* PageControl1;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

private:
    void FormActivate();
    void OKBtnClick();
    // A broken settings file is kept beside the new one as "<name>.bad" (or a numbered
    // "<name>.N.bad" when that is taken); reason says why it did not read.
    void KeepUnreadableFile(const std::string& fileName, const std::string& reason);
    void Report(const std::string& text);

    std::string settingsFileName_;
    MainBounds* mainWindow_ = nullptr;
    std::function<void(const std::string&)> reporter_;
    std::vector<std::string> pendingReports_;
    // A file that cannot be written is told once, not at every save.
    bool writeFailureReported_ = false;
    std::string writeFailure_;
    // Set when an unreadable settings file could not be kept aside (it is never overwritten)
    // and when there is no settings file: nothing is written.
    bool leaveFileAlone_ = false;
    // Set when the dialog lost activation to no window of this program: coming back from
    // another program is not an activation that reloads the controls.
    bool deactivatedToOtherProgram_ = false;
};
