// Byte text of metafile records decoded by the character set of the font that draws it.
#pragma once

#include <QString>

#include <cstdint>
#include <span>
#include <vector>

constexpr std::uint8_t symbolCharset = 2;

// bytes in the code page of charset (a font's character set number). advances, when it
// holds one advance a byte, is left with one a character: a character of several bytes
// takes the sum of theirs. The symbol set gives the Unicode characters of the symbol
// font's glyphs.
QString DecodeMetafileBytes(std::span<const std::uint8_t> bytes, std::uint8_t charset,
                            std::vector<double>* advances = nullptr);

// Unicode text drawn with a symbol font: codes below 256, or in the private-use row
// U+F020-U+F0FF where symbol fonts keep them, become the characters of their glyphs.
QString SymbolFontText(const QString& text);
