// The folder list sorts with LV_dirCompare; a rule that is not a strict weak order makes the
// sort read out of bounds. Checks the rule's laws on entries made of arbitrary bytes.
#include "browse/folder_list.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int sign(int v)
{
    return (v > 0) - (v < 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096)
        return 0;
    // Entries separated by '/', which no name can hold; the first byte of each says whether it
    // is a folder; ".." is mixed in often enough to matter.
    std::vector<FolderEntry> entries;
    std::string current;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != '/') {
            current.push_back(static_cast<char>(data[i]));
            continue;
        }
        if (!current.empty()) {
            const bool folder = static_cast<unsigned char>(current[0]) & 1;
            std::string name = current.substr(1);
            if (name.empty())
                name = "..";
            entries.push_back({name, folder ? FolderEntryKind::Folder : FolderEntryKind::File});
        }
        current.clear();
    }
    if (entries.size() > 64)
        entries.resize(64);

    for (const FolderEntry& a : entries) {
        if (FolderList::LV_dirCompare(a, a) != 0)
            std::abort();
        for (const FolderEntry& b : entries) {
            const int ab = sign(FolderList::LV_dirCompare(a, b));
            if (ab != -sign(FolderList::LV_dirCompare(b, a)))
                std::abort();
            for (const FolderEntry& c : entries) {
                const int bc = sign(FolderList::LV_dirCompare(b, c));
                if (ab == bc && sign(FolderList::LV_dirCompare(a, c)) != ab)
                    std::abort();
            }
        }
    }
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return FolderList::LV_dirCompare(a, b) < 0;
    });
    return 0;
}
