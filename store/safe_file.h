// Writing files so that a failure never costs the user what was there before: a new file is
// filled beside its target and renamed over it, a link is written through to the file it
// names, and a file that could not be read is kept aside rather than overwritten.
#pragma once

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
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

// Writes all bytes to file; throws with target's path.
void WriteAll(std::FILE* file, const std::string& bytes, const std::filesystem::path& target);
// Flushes file to the disk; throws with target's path.
void FlushToDisk(std::FILE* file, const std::filesystem::path& target);

// Where a write of fileName must go: a link is followed to the file it names, so that the link
// survives. Replacing tells whether that file exists; then Status is its status. Throws when
// it exists but is not a regular file (a FIFO would block) or may not be written (a
// read-only file stays protected although its folder is writable).
struct WriteTarget
{
    explicit WriteTarget(const std::string& fileName);
    std::filesystem::path Path;
    bool Replacing = false;
    std::filesystem::file_status Status;
};

// The new file beside a target, with a name that fits even beside a target whose name is
// near the longest there is; removed unless it was renamed into place.
class Replacement
{
public:
    // Never throws: CreateError holds the errno of a failed creation, 0 when it was made.
    explicit Replacement(const WriteTarget& target);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    int CreateError = 0;
    std::FILE* Stream() const { return file.get(); }
    // Flushes to the disk, closes and renames over the target; throws on failure.
    void Commit();

private:
    const WriteTarget& target;
    std::filesystem::path path;
    FilePtr file;
};

// Copies source over target through a Replacement: a failed copy (a full disk) never leaves
// target cut short or removed. Throws std::filesystem::filesystem_error.
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
