// Where the program keeps its own files. A portable copy keeps them beside its executable, as
// it always has; an installed program (under /usr, /opt or the prefix the build was
// configured for) keeps them in the user's configuration and data folders instead, also
// where it could write beside itself.
#pragma once

#include <string>

struct ProgramFiles
{
    std::string SettingsFile;
    // The collection data file used while the settings name none.
    std::string DataFile;
    // Ends in the delimiter.
    std::string CollectionsFolder;
    // Why the program's files cannot be kept anywhere; empty when they can. When it is set,
    // the three names above are empty: the settings and the collection live in memory only.
    std::string NotKept;
};

// Decided once at start. ProgramPath stands for the executable. Its folder is kept when the
// program is not installed and the settings file there can be written, or created (which
// also covers replacing it); otherwise
// both files go to $XDG_CONFIG_HOME/vistrel/ (~/.config/vistrel/ by default), which is
// created, and the collections to $XDG_DATA_HOME/vistrel/collections/
// (~/.local/share/vistrel/collections/ by default). The files keep the executable's name.
// Where no home folder is known either, nothing is kept (never the current folder).
ProgramFiles LocateProgramFiles(const std::string& ProgramPath);
