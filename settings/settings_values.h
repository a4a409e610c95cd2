#pragma once

#include <optional>
#include <string>

// The running executable's full path as bytes.
std::string ExecutablePath();

// path with the extension of its last name replaced by extension (which starts with "."); a
// name without an extension gets it appended: "vistrel" gives "vistrel.set".
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// A stored integer: decimal digits with an optional leading "-" or "+", within 32 bits;
// anything else (empty, "abc", "12x", out of range) is no integer.
std::optional<int> TextToInt(const std::string& text);
