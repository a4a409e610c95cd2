// Small text and colour helpers shared by the settings code and the viewer.
// Texts are byte strings; positions are 1-based, 0 meaning "not found".
#pragma once

#include <cstdint>
#include <string>

// A colour value with red in the lowest byte, green in the next and blue in the third.
// The highest byte carries flags that the text form ignores.
using TColor = std::uint32_t;

// Position of the first occurrence of subStr in s starting at or after offset; 0 when there
// is none, when subStr is empty or when offset is below 1.
int PosFrom(const std::string& subStr, const std::string& s, int offset);

// The larger of a and b (a when they are equal).
int IntMax(int a, int b);

// Replaces every occurrence of oldPattern at or after startPos from left to right; the
// inserted text is never searched again and bytes before startPos never change.
std::string ReplaceAll(const std::string& source, const std::string& oldPattern,
                       const std::string& newPattern, int startPos);

// "#RRGGBB" with upper-case digits, red first.
std::string ColorToText(TColor color);

// Reverse of ColorToText; a text without "#" is read as a decimal or "$"/"0x" hexadecimal
// number. Anything that does not convert gives 0 (black).
TColor TextToColor(const std::string& text);
