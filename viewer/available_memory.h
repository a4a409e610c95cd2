// How much memory the program may still take: what the system has available, and no more than
// the control groups it runs in (a desktop's user slice, a container) leave it under their
// limits. Read afresh at each call, so that it follows the program's own use.
#pragma once

#include <cstdint>
#include <string>

// Where the figures are read; a test points them at files of its own.
struct MemoryFigures
{
    std::string meminfo = "/proc/meminfo";
    // The program's control groups, one "id:controllers:path" line each.
    std::string ownGroups = "/proc/self/cgroup";
    // Where the control groups are mounted: the unified hierarchy at this folder or at its
    // "unified" folder, a separate memory hierarchy at its "memory" folder.
    std::string groupRoot = "/sys/fs/cgroup";
};

// The least of the system's available memory and, for the program's own control group and
// each one above it that sets a memory limit, its limit less what it uses (its file cache,
// active and inactive, not counted: the kernel drops it before it refuses memory); -1 when none of
// them is known.
std::int64_t AvailableMemory(const MemoryFigures& figures = {});
