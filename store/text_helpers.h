// Small text and colour helpers shared by the settings code and the viewer.
// Texts are byte strings; positions are 1-based, 0 meaning "not found".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A colour value with red in the lowest byte, green in the next and blue in the third.
// The highest byte carries flags that the text form ignores.
using RgbColor = std::uint32_t;

// Position of the first occurrence of subStr in s starting at or after offset; 0 when there
// is none, when subStr is empty or when offset is below 1.
int PosFrom(const std::string& subStr, const std::string& s, int offset);

// c with a-z upper-cased; every other byte, non-ASCII ones included, as it is.
constexpr char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Every byte of s through UpperAscii.
std::string UpperAsciiText(std::string s);

// True when a and b have the same bytes once a-z are upper-cased.
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

// Replaces every occurrence of oldPattern at or after startPos from left to right; the
// inserted text is never searched again and bytes before startPos never change.
std::string ReplaceAll(const std::string& source, const std::string& oldPattern,
                       const std::string& newPattern, int startPos);

// "#RRGGBB" with upper-case digits, red first.
std::string ColorToText(RgbColor color);

// An integer by the runtime's text-to-integer rule: leading spaces, an optional sign, then
// decimal digits, or "$", "x" or "0x" and hexadecimal digits, and nothing after them; decimal
// values within a signed 32-bit integer, hexadecimal ones within 32 bits (read as their
// two's complement). Anything else ("", "abc", "12x", out of range) is no integer.
std::optional<int> TextToInt(const std::string& text);

// Reverse of ColorToText; a text without "#" is read as a decimal or "$"/"0x" hexadecimal
// number. Anything that does not convert gives 0 (black).
RgbColor TextToColor(const std::string& text);
