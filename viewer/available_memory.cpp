#include "viewer/available_memory.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace {

// The first word of a file as a number; -1 when there is none ("max", no file).
std::int64_t numberIn(const std::string& path)
{
    std::ifstream file(path);
    std::string word;
    std::int64_t value = -1;
    if (!(file >> word)
        || std::from_chars(word.data(), word.data() + word.size(), value).ec != std::errc())
        return -1;
    return value;
}

// The value of key in a file of "key value [unit]" lines; 0 when it is not there.
std::int64_t valueIn(const std::string& path, const std::string& key)
{
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string name;
        std::int64_t value = 0;
        if (words >> name >> value && name == key)
            return value;
    }
    return 0;
}

std::int64_t least(std::int64_t a, std::int64_t b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

bool exists(const std::string& path)
{
    struct stat status
    {
    };
    return ::stat(path.c_str(), &status) == 0;
}

// The names a hierarchy gives its limit, its usage and the file cache it can drop. All of the
// file cache counts, active and inactive alike, as the system's MemAvailable counts it: the
// kernel reclaims active cache as well before it fails an allocation, and after a few pictures
// have been read most of a group's cache is active.
struct GroupFiles
{
    const char* limit;
    const char* usage;
    const char* statistics;
    const char* activeFiles;
    const char* inactiveFiles;
};
constexpr GroupFiles unifiedFiles {"memory.max", "memory.current", "memory.stat", "active_file",
                                   "inactive_file"};
constexpr GroupFiles memoryFiles {"memory.limit_in_bytes", "memory.usage_in_bytes", "memory.stat",
                                  "total_active_file", "total_inactive_file"};

// The least room left under a limit in the group at path below root and in every group
// above it; -1 when none of them sets one. A group folder that is not there (a container
// that sees its own group as the root) is passed over.
std::int64_t roomInGroups(const std::string& root, std::string path, const GroupFiles& files)
{
    std::int64_t room = -1;
    for (;;) {
        const std::string folder = root + path + '/';
        const std::int64_t limit = numberIn(folder + files.limit);
        const std::int64_t usage = numberIn(folder + files.usage);
        if (limit >= 0 && usage >= 0) {
            const std::string statistics = folder + files.statistics;
            const std::int64_t cache
                = valueIn(statistics, files.activeFiles) + valueIn(statistics, files.inactiveFiles);
            const std::int64_t used = std::max<std::int64_t>(0, usage - cache);
            room = least(room, std::max<std::int64_t>(0, limit - used));
        }
        if (path.empty() || path == "/")
            return room;
        const std::size_t slash = path.rfind('/');
        path.erase(slash == std::string::npos ? 0 : slash);
    }
}

} // namespace

std::int64_t AvailableMemory(const MemoryFigures& figures)
{
    const std::int64_t systemKb = valueIn(figures.meminfo, "MemAvailable:");
    std::int64_t available = systemKb > 0 ? systemKb * 1024 : -1;
    std::ifstream groups(figures.ownGroups);
    std::string line;
    while (std::getline(groups, line)) {
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (controllers.empty()) {
            const std::string root = exists(figures.groupRoot + "/cgroup.controllers")
                ? figures.groupRoot
                : figures.groupRoot + "/unified";
            available = least(available, roomInGroups(root, path, unifiedFiles));
        } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
            available
                = least(available, roomInGroups(figures.groupRoot + "/memory", path, memoryFiles));
        }
    }
    return available;
}
