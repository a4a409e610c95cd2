// The text form of a tree document: the writer, the reader and the escape.
#include "store/tree_document.h"

#include "store/text_helpers.h"

#include <climits>

namespace {

const char syntaxError[] = "Syntax error";

// How much text the file writer gathers before handing it on.
constexpr size_t flushSize = 1 << 20;

bool isBlank(unsigned char c)
{
    return c <= 32;
}
bool isTagNameEnd(unsigned char c)
{
    return c == ' ' || c == '/' || c == '>' || c == '\r' || c == '\n' || c == '\t';
}
bool isAttrNameEnd(unsigned char c)
{
    return isTagNameEnd(c) || c == '=';
}
bool isBareValueEnd(unsigned char c)
{
    return isTagNameEnd(c);
}
// Line breaks are escaped too: the reader turns every raw one into CR LF, so only an escaped
// LF or CR reads back as itself.
bool isReserved(unsigned char c)
{
    return (c < 32 && c != '\t') || c == '"' || c == '%' || c == '<' || c == '>';
}

// The byte at a 1-based position; 0 outside the text, as a terminator would read.
unsigned char byteAt(const std::string& text, int position)
{
    if (position < 1 || position > static_cast<int>(text.size()))
        return 0;
    return static_cast<unsigned char>(text[static_cast<size_t>(position - 1)]);
}

// Bytes from..to-1 (1-based).
std::string slice(const std::string& text, int from, int to)
{
    return text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from));
}

template<typename Set> int scanFor(const std::string& text, Set inSet, int from)
{
    const int length = static_cast<int>(text.size());
    for (int i = from < 1 ? 1 : from; i <= length; ++i) {
        if (inSet(byteAt(text, i)))
            return i;
    }
    return 0;
}

// Found: the bytes before the delimiter, position moved onto it. Not found: nothing moves.
template<typename Set>
bool readNameToken(const std::string& text, int& position, Set inSet, std::string& name)
{
    const int end = scanFor(text, inSet, position);
    if (end == 0) {
        name.clear();
        return false;
    }
    name = slice(text, position, end);
    position = end;
    return true;
}

std::string trimBlanks(const std::string& s)
{
    size_t first = 0;
    size_t last = s.size();
    while (first < last && isBlank(static_cast<unsigned char>(s[first])))
        ++first;
    while (last > first && isBlank(static_cast<unsigned char>(s[last - 1])))
        --last;
    return s.substr(first, last - first);
}

// Nesting of the elements being read on this thread, across every node's ReadElement.
thread_local int readDepth = 0;

struct DepthGuard
{
    DepthGuard() { ++readDepth; }
    ~DepthGuard() { --readDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

// Appends text escaped, copying the runs between reserved bytes in one piece.
void appendEncoded(std::string& out, const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    size_t runStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!isReserved(c))
            continue;
        out.append(text, runStart, i - runStart);
        out += '%';
        out += hex[c >> 4];
        out += hex[c & 15];
        runStart = i + 1;
    }
    out.append(text, runStart, std::string::npos);
}

// What the writer puts before an element's tags: CR LF and one TAB per level.
void appendIndent(std::string& out, int level)
{
    out += "\r\n";
    out.append(static_cast<size_t>(level), '\t');
}

} // namespace

std::string EncodeText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    appendEncoded(out, text);
    return out;
}

std::string DecodeText(const std::string& text)
{
    // One rule for both digits: 0..9 and A..F decode as hexadecimal; other bytes give other
    // values, which the writer never produces.
    const auto digit = [](unsigned char c) {
        return c >= 65 ? c - 48 - 7 : c - 48;
    };
    size_t percent = text.find('%');
    if (percent == std::string::npos)
        return text;
    std::string out;
    out.reserve(text.size());
    size_t runStart = 0;
    // A "%" with fewer than two bytes after it has no decoding and stays as it is.
    for (; percent != std::string::npos && percent + 2 < text.size();
         percent = text.find('%', runStart)) {
        out.append(text, runStart, percent - runStart);
        const int value = 16 * digit(static_cast<unsigned char>(text[percent + 1]))
            + digit(static_cast<unsigned char>(text[percent + 2]));
        out += static_cast<char>(static_cast<unsigned char>(value & 255));
        runStart = percent + 3;
    }
    out.append(text, runStart, std::string::npos);
    return out;
}

std::string NormaliseLineBreaks(const std::string& bytes)
{
    const std::string text = bytes.substr(0, bytes.find('\0'));
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    if (!text.empty() && text.back() != '\r' && text.back() != '\n')
        out += "\r\n";
    return out;
}

std::string TreeDocument::Indent() const
{
    std::string indent;
    appendIndent(indent, FLevel);
    return indent;
}

std::string TreeDocument::SaveToString() const
{
    std::string out;
    WriteElement(out, nullptr);
    return out;
}

void TreeDocument::WriteElement(std::string& out,
                                const std::function<void(std::string&)>* flush) const
{
    if (FName.empty())
        return;
    appendIndent(out, FLevel);
    out += '<';
    out += FName;
    for (size_t i = 0; i < FAttrNames.size(); ++i) {
        out += ' ';
        out += FAttrNames[i];
        out += "=\"";
        appendEncoded(out, FAttrValues[i]);
        out += '"';
    }
    if (FChildren.empty() && FText.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    appendEncoded(out, FText);
    for (const TreeDocument* child : FChildren) {
        child->WriteElement(out, flush);
        if (flush && out.size() >= flushSize)
            (*flush)(out);
    }
    appendIndent(out, FLevel);
    out += "</";
    out += FName;
    out += '>';
}

void TreeDocument::LoadFromString(const std::string& text)
{
    Clear();
    if (text.empty())
        return;
    // Positions are 32-bit; a longer text could not be addressed.
    if (text.size() > static_cast<size_t>(INT_MAX - 2))
        throw std::length_error("the document is too large to read");
    int position = 1;
    SkipBlanks(text, position);
    ReadElement(text, position);
}

void TreeDocument::SkipBlanks(const std::string& text, int& position)
{
    while (position < static_cast<int>(text.size()) && isBlank(byteAt(text, position)))
        ++position;
}

std::string TreeDocument::ReadTagName(const std::string& text, int& position)
{
    const int start = position;
    const int open = scanFor(
        text, [](unsigned char c) { return c == '<'; }, position);
    if (open == 0)
        RaiseError(syntaxError, position);
    position = open + 1;
    SkipBlanks(text, position);
    const int end = scanFor(text, isTagNameEnd, position);
    if (end == 0)
        RaiseError(syntaxError, start);
    std::string name = slice(text, position, end);
    position = end;
    name = UpperAsciiText(std::move(name));
    return name;
}

void TreeDocument::ReadElement(const std::string& text, int& position)
{
    const DepthGuard depth;
    if (readDepth > MaxReadDepth)
        RaiseError(syntaxError, position);
    SetName(ReadTagName(text, position));
    while (ParseAttribute(text, position)) { }

    SkipBlanks(text, position);
    if (byteAt(text, position) == '/' && byteAt(text, position + 1) == '>') {
        position += 2;
        return;
    }
    const unsigned char stepped = byteAt(text, position);
    ++position;
    if (stepped != '>')
        RaiseError(syntaxError, position);

    while (ParseContentItem(text, position)) { }
    ParseEndTag(text, position);
}

bool TreeDocument::ParseAttribute(const std::string& text, int& position)
{
    SkipBlanks(text, position);
    const unsigned char c = byteAt(text, position);
    if (c == '/' || c == '>')
        return false;
    const int start = position;
    std::string name;
    if (!readNameToken(text, position, isAttrNameEnd, name))
        RaiseError(syntaxError, start);
    SkipBlanks(text, position);
    std::string value;
    if (byteAt(text, position) == '=') {
        ++position;
        value = ParseAttributeValue(text, position);
    } else if (name.empty()) {
        // Only blanks are left of a start tag cut off at the end of the text: no attribute
        // follows, and the end of the start tag reports the fault instead of this loop
        // adding empty attributes for ever.
        return false;
    }
    name = UpperAsciiText(std::move(name));
    FAttrNames.push_back(name);
    FAttrValues.push_back(DecodeText(value));
    return true;
}

std::string TreeDocument::ParseAttributeValue(const std::string& text, int& position)
{
    SkipBlanks(text, position);
    if (byteAt(text, position) == '"') {
        const int close = scanFor(
            text, [](unsigned char c) { return c == '"'; }, position + 1);
        if (close == 0)
            RaiseError(syntaxError, position);
        std::string value = slice(text, position + 1, close);
        position = close + 1;
        return value;
    }
    const int end = scanFor(text, isBareValueEnd, position);
    if (end == 0)
        RaiseError(syntaxError, position);
    std::string value = slice(text, position, end);
    position = end;
    return value;
}

bool TreeDocument::ParseContentItem(const std::string& text, int& position)
{
    SkipBlanks(text, position);
    const int open = scanFor(
        text, [](unsigned char c) { return c == '<'; }, position);
    if (open == 0)
        RaiseError(syntaxError, position);
    if (open > position)
        AddText(slice(text, position, open));
    position = open;
    if (byteAt(text, open + 1) == '/')
        return false;

    int ahead = position;
    const std::string tagName = ReadTagName(text, ahead);
    if (TreeDocument* child = CreateChild(tagName)) {
        child->ReadElement(text, position);
        ChildLoaded(child);
    } else {
        TreeDocument discarded;
        discarded.ReadElement(text, position);
    }
    return true;
}

void TreeDocument::ParseEndTag(const std::string& text, int& position)
{
    SkipBlanks(text, position);
    const int start = position;
    position += 2;
    std::string name;
    readNameToken(text, position, isAttrNameEnd, name);
    if (!EqualIgnoringAsciiCase(name, FName))
        RaiseError("Unclosed tag: " + FName, start);
    SkipBlanks(text, position);
    if (byteAt(text, position) != '>')
        RaiseError("Unclosed tag: " + FName, start);
    ++position;
}

void TreeDocument::AddText(const std::string& run)
{
    const std::string decoded = DecodeText(trimBlanks(run));
    if (!decoded.empty() && AcceptText(decoded))
        FText += decoded;
}

TreeDocument* TreeDocument::CreateChild(const std::string&)
{
    return new TreeDocument(this);
}

void TreeDocument::ChildLoaded(TreeDocument*) { }

bool TreeDocument::AcceptText(const std::string&)
{
    return true;
}

void TreeDocument::RaiseError(const std::string& message, int position)
{
    throw TreeDocumentError(message, position);
}
