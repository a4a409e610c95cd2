#include "browse/trash.h"

#include "browse/byte_name.h"

#include "store/path_text.h"

#include <QFile>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>
#include <utility>

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

// A folder is opened to work inside it, which needs no right to list it where the system can
// open it as a bare place.
#ifdef O_PATH
constexpr int folderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// An open folder, closed when it goes. The trash works inside the folders it opened, so that
// another user who swaps a folder for a link or a folder of their own after it was checked
// can make the move fail but never lead it elsewhere.
class OpenFolder
{
public:
    OpenFolder() = default;
    explicit OpenFolder(int descriptor)
        : fd(descriptor)
    {
    }
    OpenFolder(OpenFolder&& other) noexcept
        : fd(std::exchange(other.fd, -1))
    {
    }
    OpenFolder& operator=(OpenFolder&& other) noexcept
    {
        std::swap(fd, other.fd);
        return *this;
    }
    ~OpenFolder()
    {
        if (fd >= 0)
            close(fd);
    }
    bool IsOpen() const { return fd >= 0; }
    int Descriptor() const { return fd; }

private:
    int fd = -1;
};

// The home trash: under the data folder the desktop names, or ~/.local/share.
fs::path homeTrash()
{
    return XdgBaseFolder("XDG_DATA_HOME", ".local/share") / "Trash";
}

// The device of path (through links), or of its nearest existing folder above; 0 when none
// can be read.
dev_t deviceOf(fs::path path)
{
    struct stat info = {};
    while (stat(path.c_str(), &info) != 0) {
        if (!path.has_relative_path())
            return 0;
        path = path.parent_path();
    }
    return info.st_dev;
}

// The file's real path and the top of the file system it lies on. The file's folder is
// resolved, not the file, which may be a link and is trashed as one; a folder reached
// through a link to another file system is thus found under that file system's top.
std::error_code placeOf(const fs::path& file, dev_t device, fs::path& real, fs::path& top)
{
    std::error_code ec;
    real = fs::canonical(file.parent_path(), ec) / file.filename();
    if (ec)
        return ec;
    top = real;
    while (top.has_relative_path()) {
        struct stat info = {};
        if (lstat(top.parent_path().c_str(), &info) != 0 || info.st_dev != device)
            break;
        top = top.parent_path();
    }
    return {};
}

// The home trash, made for the user alone where missing. It may be a link the user made to
// a folder elsewhere: that is followed.
OpenFolder openHomeTrash(const fs::path& folder, std::string& reason)
{
    // The folders above are the user's own data folders.
    std::error_code ec;
    fs::create_directories(folder.parent_path(), ec);
    const int made = mkdir(folder.c_str(), 0700) == 0 ? 0 : errno;
    OpenFolder opened(open(folder.c_str(), folderFlags));
    const int error = errno;
    if (!opened.IsOpen())
        reason = "the trash folder \"" + folder.string() + "\" cannot be made ("
            + errorText(made != 0 && made != EEXIST ? made : error) + ")";
    return opened;
}

// Name inside parent (at parentPath), made for the user alone where missing, opened without
// following a link; not open, with reason set, when it is a link, not a folder, or another
// user's.
OpenFolder openOwnFolder(const OpenFolder& parent, const fs::path& parentPath,
                         const std::string& name, std::string& reason)
{
    const std::string shown = "the trash folder \"" + (parentPath / name).string() + "\"";
    const int made = mkdirat(parent.Descriptor(), name.c_str(), 0700) == 0 ? 0 : errno;
    OpenFolder opened(openat(parent.Descriptor(), name.c_str(), folderFlags | O_NOFOLLOW));
    const int error = errno;
    struct stat info = {};
    if (!opened.IsOpen()) {
        if (fstatat(parent.Descriptor(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISLNK(info.st_mode))
            reason = shown + " is a link";
        else
            reason = shown + " cannot be made ("
                + errorText(made != 0 && made != EEXIST ? made : error) + ")";
        return {};
    }
    if (fstat(opened.Descriptor(), &info) != 0 || info.st_uid != getuid()) {
        reason = shown + " is owned by another user";
        return {};
    }
    return opened;
}

struct Trash
{
    OpenFolder folder;
    fs::path path;
};

// The trash of the file system whose top is top: its shared ".Trash/UID" where ".Trash" is a
// folder with the sticky bit, not a link, and UID in it the user's own folder, not a link;
// else ".Trash-UID", which must be the user's own folder. Not open, with reason set, when
// neither can be used.
Trash topTrash(const fs::path& top, std::string& reason)
{
    const std::string refused
        = "there is no trash on the file system at \"" + top.string() + "\" that can be used (";
    const OpenFolder topFolder(open(top.c_str(), folderFlags));
    if (!topFolder.IsOpen()) {
        reason = refused + errorText(errno) + ")";
        return {};
    }
    const std::string uid = std::to_string(getuid());
    const OpenFolder shared(openat(topFolder.Descriptor(), ".Trash", folderFlags | O_NOFOLLOW));
    struct stat info = {};
    if (shared.IsOpen() && fstat(shared.Descriptor(), &info) == 0 && (info.st_mode & S_ISVTX)) {
        std::string ignored;
        OpenFolder own = openOwnFolder(shared, top / ".Trash", uid, ignored);
        if (own.IsOpen())
            return {std::move(own), top / ".Trash" / uid};
    }
    const std::string name = ".Trash-" + uid;
    OpenFolder own = openOwnFolder(topFolder, top, name, reason);
    if (!own.IsOpen()) {
        reason = refused + reason + ")";
        return {};
    }
    return {std::move(own), top / name};
}

// Renames file to name inside folder unless a file of that name is there; where the system or
// the file system cannot refuse to replace, a look just before stands in.
int moveInto(const fs::path& file, const OpenFolder& folder, const std::string& name)
{
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, file.c_str(), folder.Descriptor(), name.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    struct stat existing = {};
    if (fstatat(folder.Descriptor(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return renameat(AT_FDCWD, file.c_str(), folder.Descriptor(), name.c_str()) == 0 ? 0 : errno;
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
    // The home trash where the file lies on its file system, which names its files by their
    // whole paths; else the file system's own, which names them from its top.
    Trash trash;
    std::string shownPath = file.string();
    const fs::path home = homeTrash();
    if (deviceOf(home) == info.st_dev) {
        trash = {openHomeTrash(home, reason), home};
    } else {
        fs::path real;
        fs::path top;
        if (const std::error_code ec = placeOf(file, info.st_dev, real, top)) {
            reason = "its folder cannot be found (" + ec.message() + ")";
            return false;
        }
        trash = topTrash(top, reason);
        shownPath = real.lexically_relative(top).string();
    }
    if (!trash.folder.IsOpen())
        return false;
    const OpenFolder files = openOwnFolder(trash.folder, trash.path, "files", reason);
    const OpenFolder infos
        = files.IsOpen() ? openOwnFolder(trash.folder, trash.path, "info", reason) : OpenFolder();
    if (!infos.IsOpen())
        return false;
    const std::string content
        = "[Trash Info]\nPath=" + encodePath(shownPath) + "\nDeletionDate=" + deletionDate() + "\n";
    const std::string name = file.filename().string();
    for (int number = 1; number < 100000; ++number) {
        const std::string candidate = trashName(name, number);
        const std::string infoName = candidate + ".trashinfo";
        const int descriptor = openat(infos.Descriptor(), infoName.c_str(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor < 0) {
            if (errno == EEXIST)
                continue;
            reason = "the trash's folder \"" + (trash.path / "info").string()
                + "\" does not take a new entry (" + errorText(errno) + ")";
            return false;
        }
        const ssize_t count = write(descriptor, content.data(), content.size());
        bool written = count == static_cast<ssize_t>(content.size());
        // A short write without an error is a full disk.
        int writeError = count < 0 ? errno : ENOSPC;
        if (close(descriptor) != 0 && written) {
            written = false;
            writeError = errno;
        }
        if (!written) {
            unlinkat(infos.Descriptor(), infoName.c_str(), 0);
            reason = "the trash's entry cannot be written (" + errorText(writeError) + ")";
            return false;
        }
        // The info file holds the name; a file of that name left in files by another program
        // makes the next name.
        const int moved = moveInto(file, files, candidate);
        if (moved == 0)
            return true;
        unlinkat(infos.Descriptor(), infoName.c_str(), 0);
        if (moved != EEXIST) {
            reason = errorText(moved);
            return false;
        }
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
