#include "browse/trash.h"

#include "browse/byte_name.h"

#include "store/path_text.h"

#include <QFile>

#include <cstring>
#include <ctime>
#include <system_error>

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)

namespace {

std::string errorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

// The home trash: under the data folder the desktop names, or ~/.local/share.
fs::path homeTrash()
{
    return XdgBaseFolder("XDG_DATA_HOME", ".local/share") / "Trash";
}

// The device of path, or of its nearest existing folder above; 0 when none can be read.
dev_t deviceOf(fs::path path)
{
    struct stat info = {};
    while (lstat(path.c_str(), &info) != 0) {
        if (!path.has_relative_path())
            return 0;
        path = path.parent_path();
    }
    return info.st_dev;
}

// The folder at the top of the file system that holds path.
fs::path topFolderOf(const fs::path& path, dev_t device)
{
    fs::path top = path;
    while (top.has_relative_path()) {
        struct stat info = {};
        if (lstat(top.parent_path().c_str(), &info) != 0 || info.st_dev != device)
            break;
        top = top.parent_path();
    }
    return top;
}

// Makes folder (and what is missing above it) for the user alone; false with reason set
// when it is not a folder afterwards.
bool makeFolder(const fs::path& folder, std::string& reason)
{
    // The folders above are the user's own data folders; the trash itself is private.
    std::error_code ec;
    fs::create_directories(folder.parent_path(), ec);
    const int made = mkdir(folder.c_str(), 0700) == 0 ? 0 : errno;
    struct stat info = {};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        reason = "the trash folder \"" + folder.string() + "\" cannot be made ("
            + errorText(made != 0 && made != EEXIST ? made : ENOTDIR) + ")";
        return false;
    }
    return true;
}

struct Trash
{
    fs::path folder;
    // The top of the file system, which a trash there names its files from; empty for the
    // home trash, which names them by their whole paths.
    fs::path base;
};

// The trash folder for a file on device: the home trash where it lies on the same file system,
// else the file system's own ".Trash/UID" (a shared folder with the sticky bit, not a link) or
// ".Trash-UID" at its top. No folder, with reason set, when there is none that can be used.
Trash trashFor(const fs::path& file, dev_t device, std::string& reason)
{
    const fs::path home = homeTrash();
    if (deviceOf(home) == device)
        return makeFolder(home, reason) ? Trash {home, {}} : Trash {};
    const fs::path top = topFolderOf(file, device);
    const std::string uid = std::to_string(getuid());
    struct stat shared = {};
    if (lstat((top / ".Trash").c_str(), &shared) == 0 && S_ISDIR(shared.st_mode)
        && (shared.st_mode & S_ISVTX)) {
        std::string ignored;
        if (makeFolder(top / ".Trash" / uid, ignored))
            return {top / ".Trash" / uid, top};
    }
    const fs::path own = top / (".Trash-" + uid);
    const int made = mkdir(own.c_str(), 0700) == 0 ? 0 : errno;
    struct stat info = {};
    if (lstat(own.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        reason = "there is no trash on the file system at \"" + top.string()
            + "\" that can be used (" + errorText(made != 0 && made != EEXIST ? made : ENOTDIR)
            + ")";
        return {};
    }
    return {own, top};
}

// A path as the trash's info file writes it: bytes outside the plain URL set as %XX, whatever
// the locale says is a letter.
std::string encodePath(const std::string& path)
{
    return QByteArray::fromStdString(path).toPercentEncoding("!*'()/").toStdString();
}

// The name a file gets in the trash: its own where it fits beside ".trashinfo", else its start
// (cut between characters) and its extension; number > 1 makes a name not yet taken.
std::string trashName(const std::string& name, int number)
{
    std::string suffix;
    if (number > 1) {
        suffix += '.';
        suffix += std::to_string(number);
    }
    const size_t budget = MaxFileNameBytes - std::strlen(".trashinfo") - suffix.size();
    const size_t dot = name.rfind('.');
    std::string extension = dot != std::string::npos && dot > 0 ? name.substr(dot) : "";
    if (extension.size() > 16)
        extension.clear();
    std::string stem = name.substr(0, name.size() - extension.size());
    if (stem.size() + extension.size() > budget) {
        size_t cut = budget - extension.size();
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
            --cut;
        stem.resize(cut);
    }
    return stem + suffix + extension;
}

std::string deletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

} // namespace

bool MoveToTrash(const fs::path& file, std::string& reason)
{
    struct stat info = {};
    if (lstat(file.c_str(), &info) != 0) {
        reason = errorText(errno);
        return false;
    }
    const auto [trash, base] = trashFor(file, info.st_dev, reason);
    if (trash.empty() || !makeFolder(trash / "files", reason)
        || !makeFolder(trash / "info", reason))
        return false;
    const std::string shownPath
        = base.empty() ? file.string() : file.lexically_relative(base).string();
    const std::string content
        = "[Trash Info]\nPath=" + encodePath(shownPath) + "\nDeletionDate=" + deletionDate() + "\n";
    const std::string name = file.filename().string();
    for (int number = 1; number < 100000; ++number) {
        const std::string candidate = trashName(name, number);
        const fs::path infoFile = trash / "info" / (candidate + ".trashinfo");
        const int descriptor
            = open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (descriptor < 0) {
            if (errno == EEXIST)
                continue;
            reason = "the trash's folder \"" + (trash / "info").string()
                + "\" does not take a new entry (" + errorText(errno) + ")";
            return false;
        }
        const bool written = write(descriptor, content.data(), content.size())
            == static_cast<ssize_t>(content.size());
        const int writeError = errno;
        close(descriptor);
        std::error_code ec;
        const fs::path target = trash / "files" / candidate;
        if (!written || fs::exists(fs::symlink_status(target, ec))) {
            fs::remove(infoFile, ec);
            if (!written) {
                reason = "the trash's entry cannot be written (" + errorText(writeError) + ")";
                return false;
            }
            continue;
        }
        if (rename(file.c_str(), target.c_str()) != 0) {
            reason = errorText(errno);
            fs::remove(infoFile, ec);
            return false;
        }
        return true;
    }
    reason = "the trash holds too many files of that name";
    return false;
}

#else

// Other systems have a recycle bin of their own, which Qt reaches.
bool MoveToTrash(const fs::path& file, std::string& reason)
{
    if (QFile::moveToTrash(TextOfByteName(file.string())))
        return true;
    reason = "the system's recycle bin refused it";
    return false;
}

#endif
