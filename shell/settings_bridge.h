// The settings dialog's live controls and the main window's history, each seen through the
// interface that the page viewer or the settings store was written against.
#pragma once

#include "settings/history_list.h"
#include "viewer/glass_options.h"

#include <functional>

class NavigationHistory;

// The glass options as the settings dialog's controls hold them at this moment (SE_mgd,
// CCB1, CB_border); the defaults while there is no dialog yet.
class SettingsGlassOptions : public GlassOptions
{
public:
    int Diameter() const override;
    std::uint32_t BorderColor() const override;
    bool UseBorder() const override;
};

// The navigation history as the settings store fills, clears and stores it. Every change
// is shown at once through Changed.
class HistoryListBridge : public HistoryList
{
public:
    HistoryListBridge(NavigationHistory& shown, std::function<void()> onChange);

    int Count() const override;
    std::string Item(int index) const override;
    void Assign(std::vector<std::string> paths) override;
    void Clear() override;

private:
    NavigationHistory& history;
    std::function<void()> changed;
};
