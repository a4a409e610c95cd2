#pragma once

#include <optional>
#include <string>

// The running executable's full path as bytes.
std::string ExecutablePath();

// A stored integer: decimal digits with an optional leading "-" or "+", within 32 bits;
// anything else (empty, "abc", "12x", out of range) is no integer.
std::optional<int> TextToInt(const std::string& text);
