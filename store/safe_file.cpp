#include "store/safe_file.h"

#include "store/path_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// As many links as the system itself follows before it gives up.
constexpr int maxLinkHops = 40;
// The copy of the old bytes that a write in place keeps ends with a NUL and its length in this
// many decimal digits.
constexpr size_t lengthDigits = 20;
// A file written in place is read whole first; the program's own files are far smaller.
constexpr off_t maxInPlaceBytes = off_t(1) << 30;
// ".~" + up to six digits + ".tmp"
constexpr size_t replacementSuffixBytes = 12;

// The target's name as its replacements begin, cut so that the suffix still fits.
std::string replacementBase(const fs::path& target)
{
    std::string base = target.filename().string();
    if (base.size() > MaxFileNameBytes - replacementSuffixBytes)
        base.resize(MaxFileNameBytes - replacementSuffixBytes);
    return base;
}

// Exactly the names Replacement gives: base, ".~", one to six digits, ".tmp".
bool isReplacementName(const std::string& name, const std::string& base)
{
    const std::string head = base + ".~";
    const std::string tail = ".tmp";
    if (name.size() <= head.size() + tail.size() || name.compare(0, head.size(), head) != 0
        || name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    return digits.size() <= 6
        && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct FolderCloser
{
    void operator()(DIR* folder) const { closedir(folder); }
};

// Removes the replacements of target that saves killed before they ended left behind: only
// regular files of this user, by the names we give, and none that a running save still holds
// locked.
void removeStaleReplacements(const fs::path& target)
{
    const fs::path folderPath = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::unique_ptr<DIR, FolderCloser> folder(opendir(folderPath.c_str()));
    if (!folder)
        return;
    const int folderFile = dirfd(folder.get());
    const std::string base = replacementBase(target);
    while (const dirent* entry = readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (!isReplacementName(name, base))
            continue;
        const FileDescriptor file(
            openat(folderFile, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened = {};
        if (!file || fstat(file.Get(), &opened) != 0 || !S_ISREG(opened.st_mode)
            || opened.st_uid != geteuid() || flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Still the file that was checked, not one put in its place meanwhile.
        struct stat named = {};
        if (fstatat(folderFile, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            unlinkat(folderFile, name.c_str(), 0);
    }
}

// The steps of a write in place, each telling whether it worked (Error holds why not).
struct InPlaceWriter
{
    int File;
    std::string Old;
    int Error = 0;

    bool Write(std::string_view bytes, size_t at)
    {
        while (!bytes.empty()) {
            const ssize_t wrote = pwrite(File, bytes.data(), bytes.size(), static_cast<off_t>(at));
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0) {
                Error = wrote < 0 ? errno : EIO;
                return false;
            }
            bytes.remove_prefix(static_cast<size_t>(wrote));
            at += static_cast<size_t>(wrote);
        }
        return true;
    }
    bool Sync()
    {
        if (fsync(File) == 0)
            return true;
        Error = errno;
        return false;
    }
    // While the old bytes are untouched: the room taken past them is given back.
    void CutBack()
    {
        [[maybe_unused]] const int cut = ftruncate(File, static_cast<off_t>(Old.size()));
    }
    // Once the first byte is a NUL: the old bytes go back behind it, then the first byte, so
    // that the file reads as the old bytes throughout.
    bool Restore()
    {
        if (!Old.empty()) {
            std::string rest = Old.substr(1);
            rest += '\0';
            if (!Write(rest, 1) || !Sync() || !Write(std::string_view(Old).substr(0, 1), 0))
                return false;
        }
        if (ftruncate(File, static_cast<off_t>(Old.size())) != 0) {
            Error = errno;
            return false;
        }
        return Sync();
    }
};

// Renames without replacing: an earlier kept file of that name is never lost, even to
// another program that keeps a file at the same moment.
bool renameIfFree(const std::string& from, const std::string& to, std::error_code& error)
{
#if defined(__linux__)
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // Some file systems cannot rename without replacing; they get the plain check below.
    if (errno != EINVAL && errno != ENOSYS) {
        error.assign(errno, std::generic_category());
        return false;
    }
#endif
    if (fs::exists(fs::symlink_status(to, error))) {
        error = std::make_error_code(std::errc::file_exists);
        return false;
    }
    fs::rename(from, to, error);
    return !error;
}

} // namespace

void ThrowFileError(const char* what, const fs::path& path, int error)
{
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

void FileDescriptor::Reset(int descriptor)
{
    if (fd >= 0)
        ::close(fd);
    fd = descriptor;
}

void FileDescriptor::Close(const fs::path& target)
{
    const int descriptor = fd;
    fd = -1;
    // Linux releases the descriptor even when close reports an error; EINTR is no failure.
    if (descriptor >= 0 && ::close(descriptor) != 0 && errno != EINTR)
        ThrowFileError("cannot write", target, errno);
}

void WriteAll(int file, std::string_view bytes, const fs::path& target)
{
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(file, bytes.data(), bytes.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            ThrowFileError("cannot write", target, wrote < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<size_t>(wrote));
    }
}

void FlushToDisk(int file, const fs::path& target)
{
    if (fsync(file) != 0)
        ThrowFileError("cannot write", target, errno);
}

WriteTarget::WriteTarget(const std::string& fileName)
    : Path(fileName)
{
    // Followed by hand: a link whose file does not exist yet names the file to create.
    for (int hops = 0; hops < maxLinkHops; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(Path, error)))
            break;
        const fs::path named = fs::read_symlink(Path, error);
        if (error)
            break;
        Path = named.is_absolute() ? named : Path.parent_path() / named;
    }
    std::error_code error;
    Status = fs::status(Path, error);
    Replacing = fs::exists(Status);
    if (!Replacing)
        return;
    if (!fs::is_regular_file(Status))
        ThrowFileError(NotRegularFile, Path, EINVAL);
    // Opening a regular file never blocks; O_NONBLOCK keeps it so should one be swapped in.
    const FileDescriptor probe(open(Path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC));
    if (!probe)
        ThrowFileError("cannot write", Path, errno);
}

Replacement::Replacement(const WriteTarget& writeTarget, unsigned newFileMode)
    : target(writeTarget)
{
    removeStaleReplacements(target.Path);
    const auto oldPermissions = static_cast<mode_t>(target.Status.permissions());
    // Made with at most the permissions it ends with, so that it is never more open meanwhile.
    const mode_t mode = (target.Replacing ? oldPermissions : newFileMode) & 0777;
    std::random_device seed;
    std::mt19937 random(seed());
    const std::string base = replacementBase(target.Path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = target.Path.parent_path()
            / (base + ".~" + std::to_string(random() % 1000000) + ".tmp");
        // O_EXCL: never take over a file that someone else created meanwhile.
        FileDescriptor created(
            open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!created) {
            if (errno == EEXIST)
                continue;
            CreateError = errno;
            return;
        }
        // Another save may have found it unlocked in the moment before the lock and removed
        // it as a killed save's: then a new name is tried.
        struct stat made = {};
        struct stat named = {};
        const bool locked = flock(created.Get(), LOCK_EX) == 0;
        if (!locked || fstat(created.Get(), &made) != 0 || lstat(candidate.c_str(), &named) != 0
            || made.st_ino != named.st_ino || made.st_dev != named.st_dev) {
            if (locked)
                continue;
            CreateError = errno;
            unlink(candidate.c_str());
            return;
        }
        path = candidate;
        file.Reset(created.Release());
        // The umask may have narrowed the old permissions; a failure leaves them narrower,
        // never wider.
        if (target.Replacing)
            fchmod(file.Get(), oldPermissions & 07777);
        return;
    }
    CreateError = EEXIST;
}

Replacement::~Replacement()
{
    // Removed while it is still locked, so that no other save takes it for a killed one's.
    if (!path.empty())
        unlink(path.c_str());
}

void Replacement::Commit()
{
    FlushToDisk(file.Get(), target.Path);
    // Renamed while still open and locked, for the same reason.
    if (rename(path.c_str(), target.Path.c_str()) != 0)
        ThrowFileError("cannot replace", target.Path, errno);
    path.clear();
    file.Close(target.Path);
}

void OverwriteInPlace(const fs::path& target, const std::string& bytes)
{
    FileDescriptor file(open(target.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        ThrowFileError("cannot write", target, errno);
    // Two saves at once would mix their bytes; a file system without locks goes on without.
    flock(file.Get(), LOCK_EX);
    struct stat info = {};
    if (fstat(file.Get(), &info) != 0)
        ThrowFileError("cannot read", target, errno);
    if (!S_ISREG(info.st_mode))
        ThrowFileError(NotRegularFile, target, EINVAL);
    if (info.st_size > maxInPlaceBytes)
        ThrowFileError("the file is too large to read", target, EFBIG);
    std::string content(static_cast<size_t>(info.st_size), '\0');
    size_t got = 0;
    while (got < content.size()) {
        const ssize_t read = pread(file.Get(), content.data() + got, content.size() - got,
                                   static_cast<off_t>(got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            ThrowFileError("cannot read", target, errno);
        if (read == 0)
            break;
        got += static_cast<size_t>(read);
    }
    content.resize(got);

    InPlaceWriter writer {file.Get(), FileBytesToRead(content)};
    const std::string& old = writer.Old;
    // A save cut short before: its old bytes go back in place before anything else moves.
    if (old != content && !writer.Restore())
        ThrowFileError("cannot write", target, writer.Error);

    // The old bytes' copy lies past both the old and the new bytes, after a NUL.
    const size_t keptAt = std::max(old.size(), bytes.size() + 1) + 1;
    std::string kept(1, '\0');
    kept += old;
    char length[lengthDigits + 2];
    std::snprintf(length, sizeof length, "%c%0*zu", '\0', static_cast<int>(lengthDigits),
                  old.size());
    kept.append(length, lengthDigits + 1);
    const off_t end = static_cast<off_t>(keptAt - 1 + kept.size());

    // Room for all of it first: a full disk refuses it here, before an old byte changed.
    const int reserved = posix_fallocate(file.Get(), 0, end);
    if (reserved != 0) {
        writer.CutBack();
        ThrowFileError("cannot write", target, reserved);
    }
    if (!writer.Write(kept, keptAt - 1) || !writer.Sync()) {
        writer.CutBack();
        ThrowFileError("cannot write", target, writer.Error);
    }
    // A NUL as the first byte makes the file read as its kept copy from here on.
    if (!writer.Write(std::string(1, '\0'), 0)) {
        writer.CutBack();
        ThrowFileError("cannot write", target, writer.Error);
    }
    const bool written = bytes.empty()
        || (writer.Write(std::string_view(bytes).substr(1), 1)
            && writer.Write(std::string(1, '\0'), bytes.size())
            && writer.Sync()
            // The one byte that turns the file from the old bytes to the new ones.
            && writer.Write(std::string_view(bytes).substr(0, 1), 0));
    const bool cut = written && ftruncate(file.Get(), static_cast<off_t>(bytes.size())) == 0;
    if (!cut) {
        const int failure = written ? errno : writer.Error;
        // Until the cut, an empty document is not yet in place.
        if (!written || bytes.empty())
            writer.Restore();
        ThrowFileError("cannot write", target, failure);
    }
    FlushToDisk(file.Get(), target);
    file.Close(target);
}

std::string FileBytesToRead(std::string content)
{
    // A reader stops at a NUL: what follows is the rest of a write in place that was cut
    // short after its new bytes were whole, or a kept copy.
    if (content.size() < lengthDigits + 2 || content.front() != '\0') {
        content.resize(std::min(content.size(), content.find('\0')));
        return content;
    }
    const size_t keptEnd = content.size() - lengthDigits - 1;
    // Without a kept copy's end, a reader takes nothing from a file that begins with a NUL.
    if (content[keptEnd] != '\0')
        return {};
    size_t length = 0;
    for (size_t i = keptEnd + 1; i < content.size(); ++i) {
        if (content[i] < '0' || content[i] > '9' || length > content.size())
            return {};
        length = length * 10 + static_cast<size_t>(content[i] - '0');
    }
    if (length >= keptEnd || content[keptEnd - length - 1] != '\0')
        return {};
    return content.substr(keptEnd - length, length);
}

void CopyFileOver(const std::string& source, const std::string& target)
{
    const FileDescriptor in(open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!in)
        ThrowFileError("cannot open", source, errno);
    struct stat info = {};
    if (fstat(in.Get(), &info) != 0)
        ThrowFileError("cannot read", source, errno);
    if (!S_ISREG(info.st_mode))
        ThrowFileError(NotRegularFile, source, EINVAL);
    const WriteTarget writeTarget(target);
    Replacement replacement(writeTarget, info.st_mode & 0777);
    if (replacement.CreateError != 0)
        ThrowFileError("cannot create a temporary file for", writeTarget.Path,
                       replacement.CreateError);
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(in.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ThrowFileError("cannot read", source, errno);
        if (got == 0)
            break;
        WriteAll(replacement.Descriptor(), std::string_view(buffer, static_cast<size_t>(got)),
                 writeTarget.Path);
    }
    replacement.Commit();
}

std::string KeepFileAside(const std::string& fileName, std::error_code& error)
{
    for (int number = 1; number < 10000; ++number) {
        std::string kept = fileName;
        if (number > 1) {
            kept += '.';
            kept += std::to_string(number);
        }
        kept += ".bad";
        error.clear();
        if (renameIfFree(fileName, kept, error))
            return kept;
        if (error != std::errc::file_exists)
            return {};
    }
    return {};
}

UnreadableFile KeepUnreadableFileAside(const std::string& fileName, const std::string& description,
                                       const std::string& reason, const std::string& startsAnew,
                                       const std::string& leftAloneEnd)
{
    std::error_code ec;
    const std::string kept = KeepFileAside(fileName, ec);
    const std::string shown
        = description + " \"" + fileName + "\" could not be read (" + reason + ").";
    if (kept.empty())
        return {true,
                shown + " It could not be kept aside (" + ec.message() + "), so it is left as it is"
                    + leftAloneEnd + "."};
    return {false, shown + " It was kept as \"" + kept + "\"; " + startsAnew + "."};
}

std::string FileErrorReason(const std::exception& error)
{
    if (const auto* fileError = dynamic_cast<const fs::filesystem_error*>(&error)) {
        // Only the words before the path count: a file's name may hold the same words.
        const std::string text = fileError->what();
        const std::string words = text.substr(0, text.find(fileError->path1().string()));
        if (words.find(NotRegularFile) != std::string::npos)
            return "it is not a regular file";
        return fileError->code().message();
    }
    return error.what();
}
