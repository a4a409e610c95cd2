#include "store/text_helpers.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

int PosFrom(const std::string& subStr, const std::string& s, int offset)
{
    if (offset < 1 || subStr.empty())
        return 0;
    const auto start = static_cast<long long>(offset) - 1;
    if (static_cast<long long>(s.size()) - start < static_cast<long long>(subStr.size()))
        return 0;
    const size_t found = s.find(subStr, static_cast<size_t>(start));
    return found == std::string::npos ? 0 : static_cast<int>(found) + 1;
}

std::string UpperAsciiText(std::string s)
{
    for (char& c : s)
        c = UpperAscii(c);
    return s;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return UpperAscii(x) == UpperAscii(y);
           });
}

std::string ReplaceAll(const std::string& source, const std::string& oldPattern,
                       const std::string& newPattern, int startPos)
{
    std::string result = source;
    int at = PosFrom(oldPattern, result, startPos);
    while (at > 0) {
        result.replace(static_cast<size_t>(at - 1), oldPattern.size(), newPattern);
        const long long next
            = static_cast<long long>(at) + static_cast<long long>(newPattern.size());
        if (next > INT32_MAX)
            break;
        at = PosFrom(oldPattern, result, static_cast<int>(next));
    }
    return result;
}

std::string ColorToText(RgbColor color)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%2X%2X%2X", static_cast<unsigned>(color & 255),
                  static_cast<unsigned>((color >> 8) & 255),
                  static_cast<unsigned>((color >> 16) & 255));
    return ReplaceAll(text, " ", "0", 1);
}

namespace {

// The runtime's text-to-integer rule: leading spaces, an optional sign, then decimal digits
// or "$", "x" or "0x" and hexadecimal digits, and nothing after them. Decimal values must fit
// a signed 32-bit integer, hexadecimal ones 32 bits.
bool textToInt32(const std::string& text, std::uint32_t& result)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0'
               && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return false;
    const std::uint64_t limit
        = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > limit)
            return false;
    }
    const auto magnitude = static_cast<std::uint32_t>(value);
    result = negative ? 0u - magnitude : magnitude;
    return true;
}

} // namespace

std::optional<int> TextToInt(const std::string& text)
{
    std::uint32_t value = 0;
    if (!textToInt32(text, value))
        return std::nullopt;
    return static_cast<int>(value);
}

RgbColor TextToColor(const std::string& text)
{
    if (text.size() < 7)
        return 0;
    std::string converted = text;
    if (converted[0] == '#') {
        // #RRGGBB becomes $BBGGRR: the number's lowest byte is red.
        converted[0] = '$';
        std::swap(converted[1], converted[5]);
        std::swap(converted[2], converted[6]);
    }
    RgbColor color = 0;
    return textToInt32(converted, color) ? color : 0;
}
