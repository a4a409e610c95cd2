#include "shell/program_files.h"

#include "browse/byte_name.h"
#include "settings/settings_dialog.h"
#include "store/path_text.h"

#include <QTemporaryFile>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Opened for update, which neither creates nor truncates it; only a regular file, so that a
// FIFO in its place cannot hold up the start.
bool fileWritable(const std::string& file)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return false;
    std::FILE* stream = std::fopen(file.c_str(), "r+");
    if (!stream)
        return false;
    std::fclose(stream);
    return true;
}

// A trial file tells what the folder allows better than its mode bits do: a read-only mount,
// an access list or a super-user without the override capability all refuse it alike.
bool folderTakesNewFile(const std::string& folder)
{
    QTemporaryFile trial(TextOfByteName(folder.empty() ? "." : folder)
                         + QStringLiteral("/.vistrel-XXXXXX"));
    return trial.open();
}

// Installed by a package or by "cmake --install": under the system's prefixes or the one the
// build was configured for. Such a program keeps its files in the user's folders even where
// it could write beside itself (run as root), since its folder is the system's.
bool installedProgram(const std::string& folder)
{
    const std::string within = folder + '/';
    for (const std::string prefix : {"/usr/", "/opt/", "/bin/", VISTREL_INSTALL_PREFIX "/"}) {
        if (within.compare(0, prefix.size(), prefix) == 0)
            return true;
    }
    return false;
}

} // namespace

ProgramFiles LocateProgramFiles(const std::string& ProgramPath)
{
    const std::string settingsFile = ReplaceFileExtension(ProgramPath, ".set");
    const std::string programFolder = FolderOfPath(ProgramPath);
    if (!installedProgram(programFolder)
        && (fileWritable(settingsFile) || folderTakesNewFile(programFolder)))
        return {settingsFile,
                ReplaceFileExtension(ProgramPath, ".vsgc"),
                SettingsDialog::GetCollectionsFolder(),
                {}};

    const fs::path configFolder = XdgBaseFolder("XDG_CONFIG_HOME", ".config") / "vistrel";
    const fs::path collections
        = XdgBaseFolder("XDG_DATA_HOME", ".local/share") / "vistrel" / "collections";
    // Without a home folder the base folders come out relative: the files would land in
    // whatever folder the program was started from.
    if (!configFolder.is_absolute() || !collections.is_absolute())
        return {{},
                {},
                {},
                "the program's folder \"" + programFolder
                    + "\" cannot be written and no home folder is known"};
    std::error_code ec;
    // The user's own files: nobody else needs to read them.
    if (fs::create_directories(configFolder, ec))
        fs::permissions(configFolder, fs::perms::owner_all, ec);
    const std::string programName = FileNamePart(ProgramPath);
    return {(configFolder / ReplaceFileExtension(programName, ".set")).string(),
            (configFolder / ReplaceFileExtension(programName, ".vsgc")).string(),
            collections.string() + '/',
            {}};
}
