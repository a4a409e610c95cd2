#include "imaging/metafile_charset.h"

#include <cerrno>
#include <iconv.h>

namespace {

// The symbol font's glyphs at 0x20-0xFF as Unicode characters (0: no glyph).
constexpr char16_t symbolGlyphs[224] = {
    // 0x20
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B,
    0x002C, 0x2212, 0x002E, 0x002F,
    // 0x30
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B,
    0x003C, 0x003D, 0x003E, 0x003F,
    // 0x40
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A,
    0x039B, 0x039C, 0x039D, 0x039F,
    // 0x50
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B,
    0x2234, 0x005D, 0x22A5, 0x005F,
    // 0x60
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA,
    0x03BB, 0x03BC, 0x03BD, 0x03BF,
    // 0x70
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B,
    0x007C, 0x007D, 0x223C, 0,
    // 0x80, 0x90: no glyphs
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xA0
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194,
    0x2190, 0x2191, 0x2192, 0x2193,
    // 0xB0
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248,
    0x2026, 0x23D0, 0x23AF, 0x21B5,
    // 0xC0
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284,
    0x2282, 0x2286, 0x2208, 0x2209,
    // 0xD0
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4,
    0x21D0, 0x21D1, 0x21D2, 0x21D3,
    // 0xE0
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3,
    0x23A7, 0x23A8, 0x23A9, 0x23AA,
    // 0xF0
    0, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6,
    0x23AB, 0x23AC, 0x23AD, 0};

QChar symbolGlyph(std::uint32_t code)
{
    if (code >= 0xF020 && code <= 0xF0FF)
        code -= 0xF000;
    if (code < 0x20 || code > 0xFF || symbolGlyphs[code - 0x20] == 0)
        return QChar(char16_t(code));
    return QChar(symbolGlyphs[code - 0x20]);
}

// Windows-1252, whose 0x80-0x9F row differs from Latin-1.
QString ansiText(std::span<const std::uint8_t> bytes)
{
    static const char16_t row80[32]
        = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
           0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
           0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::uint8_t byte : bytes)
        text.append(QChar(byte >= 0x80 && byte < 0xA0 ? row80[byte - 0x80] : char16_t(byte)));
    return text;
}

// The code page of a font's character set, for iconv; null for the Windows-1252 sets.
const char* codePage(std::uint8_t charset)
{
    switch (charset) {
    case 77:
        return "MACINTOSH";
    case 128:
        return "CP932"; // Shift JIS
    case 129:
        return "CP949"; // Hangul
    case 130:
        return "JOHAB";
    case 134:
        return "CP936"; // GB2312
    case 136:
        return "CP950"; // Big5
    case 161:
        return "CP1253"; // Greek
    case 162:
        return "CP1254"; // Turkish
    case 163:
        return "CP1258"; // Vietnamese
    case 177:
        return "CP1255"; // Hebrew
    case 178:
        return "CP1256"; // Arabic
    case 186:
        return "CP1257"; // Baltic
    case 204:
        return "CP1251"; // Cyrillic
    case 222:
        return "CP874"; // Thai
    case 238:
        return "CP1250"; // Central European
    case 255:
        return "CP437"; // OEM
    default:
        return nullptr;
    }
}

// One character at a time, so that each knows its bytes: a lead byte takes its trail bytes,
// and a byte the code page does not know stands for itself as in Windows-1252.
QString decodeCodePage(iconv_t convert, std::span<const std::uint8_t> bytes,
                       std::vector<std::pair<std::size_t, qsizetype>>& lengths)
{
    QString text;
    std::size_t at = 0;
    while (at < bytes.size()) {
        char16_t units[8];
        std::size_t used = 0;
        std::size_t made = 0;
        for (std::size_t length = 1; length <= 4 && at + length <= bytes.size(); ++length) {
            iconv(convert, nullptr, nullptr, nullptr, nullptr);
            char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data() + at));
            std::size_t inLeft = length;
            char* out = reinterpret_cast<char*>(units);
            std::size_t outLeft = sizeof units;
            std::size_t result = iconv(convert, &in, &inLeft, &out, &outLeft);
            // Code pages with combining marks hold a letter back until they see what follows.
            if (result != static_cast<std::size_t>(-1) && inLeft == 0)
                result = iconv(convert, nullptr, nullptr, &out, &outLeft);
            if (result != static_cast<std::size_t>(-1) && inLeft == 0) {
                used = length;
                made = (sizeof units - outLeft) / 2;
                break;
            }
            if (errno != EINVAL)
                break;
        }
        if (used == 0) {
            text.append(ansiText(bytes.subspan(at, 1)));
            used = 1;
            made = 1;
        } else {
            text.append(QStringView(units, static_cast<qsizetype>(made)));
        }
        lengths.emplace_back(used, static_cast<qsizetype>(made));
        at += used;
    }
    return text;
}

} // namespace

QString DecodeMetafileBytes(std::span<const std::uint8_t> bytes, std::uint8_t charset,
                            std::vector<double>* advances)
{
    if (charset == symbolCharset) {
        QString text;
        text.reserve(static_cast<qsizetype>(bytes.size()));
        for (std::uint8_t byte : bytes)
            text.append(symbolGlyph(byte));
        return text;
    }
    const char* page = codePage(charset);
    if (!page)
        return ansiText(bytes);
    const iconv_t convert = iconv_open("UTF-16LE", page);
    if (convert == reinterpret_cast<iconv_t>(-1))
        return ansiText(bytes);
    std::vector<std::pair<std::size_t, qsizetype>> lengths;
    const QString text = decodeCodePage(convert, bytes, lengths);
    iconv_close(convert);
    if (advances && advances->size() == bytes.size()) {
        // One advance a character, each the sum of its bytes' advances, on the first of the
        // UTF-16 units it became.
        std::vector<double> merged;
        std::size_t from = 0;
        for (const auto& [length, units] : lengths) {
            double sum = 0;
            for (std::size_t i = 0; i < length; ++i)
                sum += (*advances)[from + i];
            from += length;
            merged.push_back(sum);
            merged.insert(merged.end(), static_cast<std::size_t>(units - 1), 0.0);
        }
        *advances = std::move(merged);
    }
    return text;
}

QString SymbolFontText(const QString& text)
{
    QString mapped;
    mapped.reserve(text.size());
    for (QChar c : text)
        mapped.append(symbolGlyph(c.unicode()));
    return mapped;
}
