#pragma once

#include "settings/program_settings.h"

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QSpinBox;
class QWidget;
class ColorBox;
class HistoryList;

// The settings dialog the user sees, with the "Magnifier" and "Navigation" pages. Its
// controls hold the live values that the glass and the history read (SE_mgd, CCB1,
// CB_border, SE_history, CB_dup_allowed); the document holds what was last committed. It
// also loads the navigation history into the main window's list and stores it back.
class SettingsDialog : public ProgramSettings
{
    Q_OBJECT
public:
    // Asks a Yes/No question; true for Yes (the program's Fsure).
    using AskFunction = std::function<bool(const std::string& question)>;

    // Reads the settings file at once, fills the controls and loads the history into
    // history. history may be null and given later with SetHistoryList (then LoadHistory is
    // run again by whoever sets it); without ask, "Clear navigation history" does nothing.
    SettingsDialog(HistoryList* history, MainBounds* mainWindow, AskFunction ask,
                   std::string settingsFileName, QWidget* parent = nullptr);
    // Writes the settings file with the history merged (the base then writes the same again).
    ~SettingsDialog() override;

    // "../collections/", relative to the current folder.
    static std::string GetCollectionsFolder();

    void SetHistoryList(HistoryList* history);
    // Fills the history list from HISTORY/HIT/HIT_FILE in one change, none selected: every
    // entry as stored (the history limit, HRC, applies when an entry is added).
    void LoadHistory();
    // Rebuilds HISTORY from the history list; the file is written later. Each write of the
    // file merges what another program on the same file added to its history meanwhile.
    void StoreHistory();

    QWidget* TabSheet_mg;
    QWidget* TabSheet_navigation;
    QSpinBox* SE_mgd;
    QCheckBox* CB_border;
    ColorBox* CCB1;
    QGroupBox* GroupBox1;
    QSpinBox* SE_history;
    QCheckBox* CB_dup_allowed;
    QPushButton* SB_clear_history;

protected:
    void AfterLoad() override;
    void SettingsToControls() override;
    void ControlsToSettings() override;
    void SaveSettings(const std::string& FileName) override;

private:
    void BuildMagnifierPage();
    void BuildNavigationPage();
    void CB_borderClick();
    void SB_clear_historyClick();

    // HISTORY's entries merged with those the settings file holds now.
    void mergeStoredHistory(const std::string& fileName);

    HistoryList* history_;
    AskFunction ask_;
    // The history the settings file held when it was read, or when this program last wrote
    // a history of its own into it: what another program added since is what the file holds
    // beyond it.
    std::vector<std::string> historyRead_;
    // Set once the history list was stored: until then this program adds nothing of its own.
    bool historyStored_ = false;
};
