#pragma once

// Stand-ins for the main window's history list and bounds, and file helpers, shared by the
// settings tests. Every test works on its own settings file in a temporary folder.

#include "settings/history_list.h"
#include "settings/main_bounds.h"
#include "store/tests/file_bytes.h"

#include <QTemporaryDir>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class FakeHistory : public HistoryList
{
public:
    int Count() const override { return static_cast<int>(entries.size()); }
    std::string Item(int index) const override { return entries.at(index); }
    void Append(const std::string& path) { entries.push_back(path); }
    void Assign(std::vector<std::string> paths) override
    {
        entries = std::move(paths);
        selected = -1;
        ++assignments;
    }
    void Clear() override
    {
        entries.clear();
        selected = -1;
    }
    int SelectedIndex() const { return selected; }

    std::vector<std::string> entries;
    int selected = -1;
    int assignments = 0;
};

class FakeWindow : public MainBounds
{
public:
    QRect Bounds() const override { return bounds; }
    void SetBounds(const QRect& outer) override { bounds = outer; }
    bool IsMaximized() const override { return maximized; }
    void ShowNormal() override { maximized = false; }

    QRect bounds {10, 20, 300, 200};
    bool maximized = false;
};

// A new temporary folder in dir (the one before it removed) and the settings file's name there.
inline std::filesystem::path freshSettingsFile(std::unique_ptr<QTemporaryDir>& dir)
{
    dir = std::make_unique<QTemporaryDir>();
    return std::filesystem::path(dir->path().toStdString()) / "vistrel.set";
}

// The written form of a settings document whose root holds attributes only.
inline std::string settingsText(const std::string& attributes)
{
    return "\r\n<SETTINGS" + attributes + "/>";
}
