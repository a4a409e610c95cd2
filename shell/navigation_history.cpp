#include "shell/navigation_history.h"

#include "store/path_text.h"

#include <algorithm>

std::string NavigationHistory::SelectedEntry() const
{
    return selected >= 0 && selected < Count() ? entries[selected] : std::string();
}

void NavigationHistory::Assign(std::vector<std::string> stored)
{
    entries = std::move(stored);
    selected = -1;
}

void NavigationHistory::Clear()
{
    entries.clear();
    selected = -1;
}

void NavigationHistory::Select(int index)
{
    selected = index >= 0 && index < Count() ? index : -1;
}

void NavigationHistory::Add(const std::string& path, int limit, bool duplicatesAllowed)
{
    if (!duplicatesAllowed) {
        std::erase_if(entries, [&](const std::string& entry) { return SamePath(entry, path); });
    }
    if (entries.empty() || entries.back() != path)
        entries.push_back(path);
    const int keep = std::max(limit, 1);
    if (Count() > keep)
        entries.erase(entries.begin(), entries.begin() + (Count() - keep));
    selected = Count() - 1;
}

int NavigationHistory::StepIndex(bool forward) const
{
    const int index = selected + (forward ? 1 : -1);
    return std::clamp(index, -1, Count() - 1);
}
