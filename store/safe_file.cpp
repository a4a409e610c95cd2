#include "store/safe_file.h"

#include "store/path_text.h"

#include <cerrno>
#include <random>

#include <fcntl.h>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

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

void WriteAll(std::FILE* file, const std::string& bytes, const fs::path& target)
{
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        ThrowFileError("cannot write", target, errno);
}

void FlushToDisk(std::FILE* file, const fs::path& target)
{
    if (std::fflush(file) != 0)
        ThrowFileError("cannot write", target, errno);
#if defined(_WIN32)
    const int synced = _commit(_fileno(file));
#else
    const int synced = fsync(fileno(file));
#endif
    if (synced != 0)
        ThrowFileError("cannot write", target, errno);
}

WriteTarget::WriteTarget(const std::string& fileName)
    : Path(fileName)
{
    std::error_code error;
    if (fs::is_symlink(Path, error))
        Path = fs::weakly_canonical(Path);
    Status = fs::status(Path, error);
    Replacing = fs::exists(Status);
    if (!Replacing)
        return;
    if (!fs::is_regular_file(Status))
        ThrowFileError(NotRegularFile, Path, EINVAL);
    // Opening a regular file never blocks.
    FilePtr probe(std::fopen(Path.c_str(), "ab"));
    if (!probe)
        ThrowFileError("cannot write", Path, errno);
}

Replacement::Replacement(const WriteTarget& writeTarget)
    : target(writeTarget)
{
    std::random_device seed;
    std::mt19937 random(seed());
    const size_t suffixBytes = 12;
    std::string base = target.Path.filename().string();
    if (base.size() > MaxFileNameBytes - suffixBytes)
        base.resize(MaxFileNameBytes - suffixBytes);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = target.Path.parent_path()
            / (base + ".~" + std::to_string(random() % 1000000) + ".tmp");
        // "x": never take over a file that someone else created meanwhile.
        file.reset(std::fopen(candidate.c_str(), "wbx"));
        if (file) {
            path = candidate;
            if (target.Replacing) {
                // The new file replaces the old one, so it takes the old one's permissions.
                std::error_code ignored;
                fs::permissions(path, target.Status.permissions(), ignored);
            }
            return;
        }
        if (errno != EEXIST) {
            CreateError = errno;
            return;
        }
    }
    CreateError = EEXIST;
}

Replacement::~Replacement()
{
    file.reset();
    if (!path.empty()) {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
}

void Replacement::Commit()
{
    FlushToDisk(file.get(), target.Path);
    if (std::fclose(file.release()) != 0)
        ThrowFileError("cannot write", target.Path, errno);
    std::error_code error;
    fs::rename(path, target.Path, error);
    if (error)
        ThrowFileError("cannot replace", target.Path, error.value());
    path.clear();
}

void CopyFileOver(const std::string& source, const std::string& target)
{
    FilePtr in(std::fopen(source.c_str(), "rb"));
    if (!in)
        ThrowFileError("cannot open", source, errno);
    const WriteTarget writeTarget(target);
    Replacement replacement(writeTarget);
    if (replacement.CreateError != 0)
        ThrowFileError("cannot create a temporary file for", writeTarget.Path,
                       replacement.CreateError);
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
        if (std::fwrite(buffer, 1, got, replacement.Stream()) != got)
            ThrowFileError("cannot write", writeTarget.Path, errno);
    }
    if (std::ferror(in.get()))
        ThrowFileError("cannot read", source, errno);
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
