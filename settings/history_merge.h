// Two programs on one settings file (where nothing keeps them apart) each write back the
// history they hold. Merged at each save, neither erases what the other added.
#pragma once

#include <string>
#include <vector>

// The history to write. Read is the history the file held when this program read it (or last
// wrote its own), Stored what it holds now, Ours this program's history. Ours stays as it is,
// but for entries of Read that the file no longer holds (the other program cleared them, or
// let them go past its limit). The entries the other program added since (Stored beyond Read)
// go in their order before the first entry this program added (Ours beyond Read), or last;
// without duplicates, one already there is left out. When the other program added any, the
// oldest entries are dropped down to Limit, as adding an entry does.
std::vector<std::string> MergeHistory(const std::vector<std::string>& Read,
                                      const std::vector<std::string>& Stored,
                                      const std::vector<std::string>& Ours, int Limit,
                                      bool DuplicatesAllowed);
