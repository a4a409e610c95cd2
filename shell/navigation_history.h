// The navigation history: the pictures opened from the folder list, oldest first, with the
// entry the user stands on. The main window's CB_history shows it; the settings object
// loads and stores it.
#pragma once

#include <string>
#include <vector>

class NavigationHistory
{
public:
    const std::vector<std::string>& Entries() const { return entries; }
    int Count() const { return static_cast<int>(entries.size()); }
    // -1 when no entry is selected.
    int Selected() const { return selected; }
    // Empty text when no entry is selected.
    std::string SelectedEntry() const;

    // Stored entries as they are, with none selected and no rule applied.
    void Assign(std::vector<std::string> stored);
    void Clear();
    // -1, or an index out of range, selects none.
    void Select(int index);

    // A picture opened from the folder list. Without duplicates every entry naming the same
    // file goes first, so the path moves to the end; with them, only a repeat of the newest
    // entry (exactly, letter case counting) adds nothing. The newest entry ends up selected
    // and the oldest ones are dropped down to the limit.
    void Add(const std::string& path, int limit, bool duplicatesAllowed);

    // The index Prior (forward false) or Next (forward true) moves to, held within
    // -1 .. Count() - 1.
    int StepIndex(bool forward) const;

    bool CanStepBack() const { return selected > 0; }
    bool CanStepForward() const { return selected < Count() - 1; }

private:
    std::vector<std::string> entries;
    int selected = -1;
};
