#include "store/path_text.h"

#include "store/text_helpers.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#if defined(__unix__) || defined(__APPLE__)
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

std::size_t lastDelimiter(const std::string& path)
{
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsPathDelimiter(path[i - 1]))
            return i - 1;
    }
    return std::string::npos;
}

} // namespace

bool SamePath(const std::string& a, const std::string& b)
{
#if defined(_WIN32) || defined(__APPLE__)
    return EqualIgnoringAsciiCase(a, b);
#else
    return a == b;
#endif
}

std::string FolderOfPath(const std::string& path)
{
    const std::size_t pos = lastDelimiter(path);
    if (pos == std::string::npos)
        return {};
    // A root keeps its delimiter: "/" on Linux, "C:\" on Windows.
    const bool driveRoot
        = PathDelimiter == '\\' && (path[pos] == ':' || (pos > 0 && path[pos - 1] == ':'));
    if (pos == 0 || driveRoot)
        return path.substr(0, pos + 1);
    return path.substr(0, pos);
}

std::string FileNamePart(const std::string& path)
{
    const std::size_t pos = lastDelimiter(path);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string PictureExtension(const std::string& fileName)
{
    const std::string name = FileNamePart(fileName);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : UpperAsciiText(name.substr(dot));
}

std::string ExpandHistoryPath(const std::string& fileName)
{
    const auto isBlank = [](char c) {
        return static_cast<unsigned char>(c) <= ' ';
    };
    const auto first = std::find_if_not(fileName.begin(), fileName.end(), isBlank);
    const auto last = std::find_if_not(fileName.rbegin(), fileName.rend(), isBlank).base();
    if (first >= last)
        return {};
    return AbsoluteNormalPath(std::string(first, last));
}

std::string AbsoluteNormalPath(const std::string& path)
{
    const std::filesystem::path given(path);
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(given, error);
    return (error ? given : full).lexically_normal().string();
}

std::filesystem::path XdgBaseFolder(const char* variable, const char* defaultUnderHome)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    std::string home;
    if (const char* fromEnvironment = std::getenv("HOME"))
        home = fromEnvironment;
#if defined(__unix__) || defined(__APPLE__)
    if (home.empty()) {
        if (const passwd* user = getpwuid(getuid()))
            home = user->pw_dir;
    }
#endif
    return std::filesystem::path(home) / defaultUnderHome;
}

std::string ReplaceFileExtension(const std::string& path, const std::string& extension)
{
    const std::size_t nameStart
        = lastDelimiter(path) == std::string::npos ? 0 : lastDelimiter(path) + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return path + extension;
    return path.substr(0, dot) + extension;
}
