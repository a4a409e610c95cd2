// Path texts as the program handles them: byte strings with the platform's delimiter.
#pragma once

#include <filesystem>
#include <string>

// The platform's path delimiter.
inline constexpr char PathDelimiter = static_cast<char>(std::filesystem::path::preferred_separator);

// True for a byte that ends a folder in a path: the delimiter, and on Windows also "/" and the
// drive's ":"; elsewhere a backslash is an ordinary byte of a name.
constexpr bool IsPathDelimiter(char c)
{
    return c == PathDelimiter || (PathDelimiter == '\\' && (c == '/' || c == ':'));
}

// True when both texts name the same file as the file system compares names: byte for byte
// where names are case-sensitive (Linux), ignoring ASCII letter case elsewhere.
bool SamePath(const std::string& a, const std::string& b);

// The folder holding Path: the text up to its last delimiter, without that delimiter unless
// it is the root ("/a/b.jpg" gives "/a", "/b.jpg" gives "/"); empty when there is none.
std::string FolderOfPath(const std::string& path);

// The name after the last delimiter ("/a/b.jpg" gives "b.jpg").
std::string FileNamePart(const std::string& path);

// The file name's extension: from the last "." of its last path component on, dot included,
// with a-z upper-cased ("photo.JpEg" gives ".JPEG"); empty when there is no dot.
std::string PictureExtension(const std::string& fileName);

// The folder an XDG base-folder variable (XDG_CONFIG_HOME, XDG_DATA_HOME, ...) names when it
// is absolute; an empty or relative one gives way to defaultUnderHome below the home folder
// ($HOME, or the user's own entry in the password database when that is not set).
std::filesystem::path XdgBaseFolder(const char* variable, const char* defaultUnderHome);

// The longest file name the usual file systems take, in bytes.
constexpr std::size_t MaxFileNameBytes = 255;

// The path made absolute (against the working folder) and normalised; as given, normalised,
// when the working folder cannot be known.
std::string AbsoluteNormalPath(const std::string& path);

// Leading and trailing blanks and control bytes removed, then AbsoluteNormalPath.
std::string ExpandHistoryPath(const std::string& fileName);

// Path with the extension of its name (from the last ".") replaced by Extension, which is
// appended when the name has none ("/a/vistrel" gives "/a/vistrel.set").
std::string ReplaceFileExtension(const std::string& path, const std::string& extension);
