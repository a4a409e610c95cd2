#pragma once

#include <string>
#include <vector>

// The navigation history as the settings store sees it: the ordered list of picture paths
// that the main window's CB_history shows, oldest first, with a selected index (-1 when no
// entry is selected). The settings store fills it at start-up (LoadHistory), empties it on
// "Clear navigation history" and reads it back at close (StoreHistory); the main window adds
// entries and moves the selection. Paths are byte strings, kept exactly as given.
class HistoryList
{
public:
    virtual ~HistoryList() = default;

    virtual int Count() const = 0;
    // The entry at index, 0 being the oldest; index is within 0..Count() - 1.
    virtual std::string Item(int index) const = 0;
    // Replaces every entry with paths, oldest first, in one change; none is selected.
    virtual void Assign(std::vector<std::string> paths) = 0;
    // Removes every entry; none is selected afterwards.
    virtual void Clear() = 0;
};
