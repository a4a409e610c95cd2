// Writing files so that a failure never costs the user what was there before: a new file is
// filled beside its target and renamed over it (or, where the folder takes no new file,
// written over the old one so that it reads back old or new at every moment), a link is
// written through to the file it names, and a file that could not be read is kept aside
// rather than overwritten.
#pragma once

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void ThrowFileError(const char* what, const std::filesystem::path& path, int error);
// The words of the error thrown for a file that is not a regular one, which FileErrorReason
// tells apart.
inline constexpr const char* NotRegularFile = "not a regular file";

// The descriptor of an open file, closed when it goes.
class FileDescriptor
{
public:
    explicit FileDescriptor(int descriptor = -1)
        : fd(descriptor)
    {
    }
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd; }
    explicit operator bool() const { return fd >= 0; }
    void Reset(int descriptor = -1);
    // Gives the descriptor up without closing it.
    int Release()
    {
        const int descriptor = fd;
        fd = -1;
        return descriptor;
    }
    // Closes it; throws with target's path when the close reports an error (a write that
    // failed late, on a network file system).
    void Close(const std::filesystem::path& target);

private:
    int fd;
};

// Writes all bytes at the file's position; throws with target's path.
void WriteAll(int file, std::string_view bytes, const std::filesystem::path& target);
// Writes the file's data to the disk; throws with target's path.
void FlushToDisk(int file, const std::filesystem::path& target);

// Where a write of fileName must go: a link, and a link to a link, is followed to the file it
// names, so that the link survives, also when that file does not exist yet. Replacing tells
// whether that file exists; then Status is its status. Throws when it exists but is not a
// regular file (a FIFO would block) or may not be written (a read-only file stays protected
// although its folder is writable).
struct WriteTarget
{
    explicit WriteTarget(const std::string& fileName);
    std::filesystem::path Path;
    bool Replacing = false;
    std::filesystem::file_status Status;
};

// The new file beside a target, with a name that fits even beside a target whose name is
// near the longest there is; removed unless it was renamed into place. It is locked while it
// exists, so that the next save can tell the ones that a killed save left behind, and remove
// them, from one that a save running at the same moment is writing.
class Replacement
{
public:
    // Never throws: CreateError holds the errno of a failed creation, 0 when it was made. A
    // replacement of an existing file takes that file's permissions; a new file gets
    // newFileMode less the process's umask, as any created file does.
    explicit Replacement(const WriteTarget& target, unsigned newFileMode = 0666);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    int CreateError = 0;
    int Descriptor() const { return file.Get(); }
    // Flushes to the disk, renames over the target and closes; throws on failure.
    void Commit();

private:
    const WriteTarget& target;
    std::filesystem::path path;
    FileDescriptor file;
};

// Writes bytes over the existing regular file target, for a folder that takes no new file
// beside it. The old bytes are neither shortened nor overwritten before room for the new ones
// is held, and a copy of them is kept at the file's end until the new bytes are whole, so that
// a full disk, a failed write or a killed program leaves a file that reads back as its old
// bytes (FileBytesToRead) or its new ones. Throws std::filesystem::filesystem_error; the old
// bytes are then back in place as they were, unless the new ones already were.
void OverwriteInPlace(const std::filesystem::path& target, const std::string& bytes);

// The bytes a reader takes from a file's whole content: the content up to its first NUL, or,
// for a file whose writing in place was cut short, the earlier bytes kept at its end.
std::string FileBytesToRead(std::string content);

// Copies source over target through a Replacement: a failed copy (a full disk) never leaves
// target cut short or removed. A new target gets the source's permissions (less the umask),
// as cp gives them; an existing one keeps its own. Throws std::filesystem::filesystem_error.
void CopyFileOver(const std::string& source, const std::string& target);

// Moves fileName to the first free name of "<name>.bad", "<name>.2.bad", "<name>.3.bad", ...,
// never replacing an earlier kept file. Returns the name it now has; empty, with error set,
// when it could not be moved.
std::string KeepFileAside(const std::string& fileName, std::error_code& error);

// What became of a file that could not be read, and the sentence that tells the user so.
struct UnreadableFile
{
    // It could not be kept aside: every later save must leave it alone.
    bool LeftAlone = false;
    std::string Told;
};

// Keeps an unreadable file aside (KeepFileAside). Told reads: Description "fileName" could not
// be read (reason). It was kept as "<kept name>"; startsAnew. Or, when it could not be kept:
// ... It could not be kept aside (<why>), so it is left as it is<leftAloneEnd>.
UnreadableFile KeepUnreadableFileAside(const std::string& fileName, const std::string& description,
                                       const std::string& reason, const std::string& startsAnew,
                                       const std::string& leftAloneEnd);

// Why a file could not be read or written, in words for the user.
std::string FileErrorReason(const std::exception& error);
