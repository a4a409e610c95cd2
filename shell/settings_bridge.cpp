#include "shell/settings_bridge.h"

#include "settings/color_box.h"
#include "settings/settings_dialog.h"
#include "shell/navigation_history.h"
#include "shell/windows.h"

#include <QCheckBox>
#include <QSpinBox>

int SettingsGlassOptions::Diameter() const
{
    return D_settings_user ? D_settings_user->SE_mgd->value() : DefaultGlassDiameter;
}

std::uint32_t SettingsGlassOptions::BorderColor() const
{
    return D_settings_user ? D_settings_user->CCB1->Color() : DefaultGlassBorderColor;
}

bool SettingsGlassOptions::UseBorder() const
{
    return D_settings_user ? D_settings_user->CB_border->isChecked() : DefaultGlassUseBorder;
}

HistoryListBridge::HistoryListBridge(NavigationHistory& shown, std::function<void()> onChange)
    : history(shown)
    , changed(std::move(onChange))
{
}

int HistoryListBridge::Count() const
{
    return history.Count();
}

std::string HistoryListBridge::Item(int index) const
{
    return index >= 0 && index < history.Count() ? history.Entries()[index] : std::string();
}

void HistoryListBridge::Assign(std::vector<std::string> paths)
{
    history.Assign(std::move(paths));
    changed();
}

void HistoryListBridge::Clear()
{
    history.Clear();
    changed();
}
