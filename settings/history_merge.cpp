#include "settings/history_merge.h"

#include "store/path_text.h"

#include <algorithm>
#include <map>

namespace {

// How often each entry occurs: entries are matched one for one, so that a path opened again
// (with duplicates allowed) is a new entry.
std::map<std::string, int> counted(const std::vector<std::string>& entries)
{
    std::map<std::string, int> counts;
    for (const std::string& entry : entries)
        ++counts[entry];
    return counts;
}

// Whether entry is among counts, taking it out when it is.
bool takeFrom(std::map<std::string, int>& counts, const std::string& entry)
{
    const auto found = counts.find(entry);
    if (found == counts.end() || found->second == 0)
        return false;
    --found->second;
    return true;
}

} // namespace

std::vector<std::string> MergeHistory(const std::vector<std::string>& Read,
                                      const std::vector<std::string>& Stored,
                                      const std::vector<std::string>& Ours, int Limit,
                                      bool DuplicatesAllowed)
{
    std::map<std::string, int> unmatchedRead = counted(Read);
    std::vector<std::string> theirs;
    std::map<std::string, int> storedFromRead;
    for (const std::string& entry : Stored) {
        if (takeFrom(unmatchedRead, entry))
            ++storedFromRead[entry];
        else
            theirs.push_back(entry);
    }

    std::map<std::string, int> ourRead = counted(Read);
    std::vector<std::string> merged;
    std::size_t firstOwn = std::string::npos;
    for (const std::string& entry : Ours) {
        if (!takeFrom(ourRead, entry)) {
            if (firstOwn == std::string::npos)
                firstOwn = merged.size();
            merged.push_back(entry);
        } else if (takeFrom(storedFromRead, entry)) {
            merged.push_back(entry);
        }
    }

    std::vector<std::string> added;
    for (const std::string& entry : theirs) {
        const auto same = [&entry](const std::string& other) {
            return SamePath(entry, other);
        };
        if (DuplicatesAllowed
            || (std::none_of(merged.begin(), merged.end(), same)
                && std::none_of(added.begin(), added.end(), same)))
            added.push_back(entry);
    }
    merged.insert(merged.begin() + std::ptrdiff_t(std::min(firstOwn, merged.size())), added.begin(),
                  added.end());
    const std::size_t keep = std::size_t(std::max(Limit, 1));
    if (!added.empty() && merged.size() > keep)
        merged.erase(merged.begin(), merged.end() - std::ptrdiff_t(keep));
    return merged;
}
