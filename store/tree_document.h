// The tree document that holds every setting and the collection data: named elements with
// ordered attributes, a block of text and ordered children, and a small text form of its own
// (it looks like XML but is not: names are upper case and values use a percent escape).
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

// A reading fault: the message is "Syntax error" or "Unclosed tag: NAME", and Position is
// the 1-based byte position in the text being read at which the reader stopped.
struct TreeDocumentError : std::runtime_error
{
    TreeDocumentError(const std::string& message, int position);
    int Position;
};

class TreeDocument
{
public:
    explicit TreeDocument(TreeDocument* parent = nullptr);
    virtual ~TreeDocument();
    TreeDocument(const TreeDocument&) = delete;
    TreeDocument& operator=(const TreeDocument&) = delete;

    // Destroys the children and empties name, text and attributes; the node keeps its place.
    virtual void Clear();

    // Stores the name trimmed of bytes 0..32 at both ends, with a..z upper-cased.
    void SetName(const std::string& name);
    const std::string& Name() const { return FName; }
    void SetText(const std::string& text) { FText = text; }
    const std::string& Text() const { return FText; }
    // CR LF and one TAB per Level: what the writer puts before the node's tags (the same
    // function makes both).
    std::string Indent() const;
    TreeDocument* Parent() const { return FParent; }
    int Level() const { return FLevel; }

    // Moves the node to the end of newParent's children (or makes it a root). Attaching a
    // node below itself would make a cycle and throws std::invalid_argument.
    virtual void SetParent(TreeDocument* newParent);

    int ChildCount() const;
    // nullptr when index is out of range.
    TreeDocument* Child(int index) const;
    // Lookups go one level down; the name asked for is upper-cased but not trimmed.
    TreeDocument* FindChild(const std::string& name) const;
    // FindChild, or a new empty child of that name added last (owned by this node, which
    // destroys it with its subtree) when there is none.
    TreeDocument* FindOrAddChild(const std::string& name);
    // The next sibling after child with the same name, for walking a list of equal names.
    TreeDocument* FindNextChild(const TreeDocument* child) const;

    // Every lookup finds the first attribute of a name; an absent one reads as empty.
    std::string ReadAttribute(const std::string& name) const;
    // An empty value deletes the attribute; an existing one keeps its place.
    void WriteAttribute(const std::string& name, const std::string& value);
    void DeleteAttribute(const std::string& name);
    int AttributeCount() const;
    // Empty when index is out of range.
    const std::string& AttributeName(int index) const;
    const std::string& AttributeValue(int index) const;

    // Deep copy; children are made with their own class (see CreateOfSameClass). The source
    // may even lie inside this node's subtree.
    virtual void Assign(const TreeDocument& source);

    // Replaces the content with the document in text; an empty text leaves an empty node.
    // Throws TreeDocumentError; the node then keeps what was read up to the fault.
    virtual void LoadFromString(const std::string& text);
    // The text form of this node and its subtree; empty when the name is empty.
    virtual std::string SaveToString() const;
    // Throws std::ios_base::failure when the stream does not take the bytes.
    void SaveToStream(std::ostream& stream) const;
    // Reads up to the end (or a NUL byte) and turns every line break into CR LF first.
    void LoadFromStream(std::istream& stream);
    // Writes a temporary file beside the target and renames it over the target, so a failure
    // never leaves a truncated document. A link is written through to the file it names.
    // Where the folder refuses a new file but the existing target may be written, the target
    // is overwritten in place instead (OverwriteInPlace), which reads back old or new too. Throws
    // std::filesystem::filesystem_error; a target that is not a regular file is refused.
    void SaveToFile(const std::string& fileName) const;
    // Throws std::filesystem::filesystem_error when the file cannot be read, is not a
    // regular file (a FIFO would block) or is larger than MaxFileSize; the document is then
    // unchanged.
    void LoadFromFile(const std::string& fileName);

    // Deepest element nesting that the reader accepts, so that a hostile document cannot
    // exhaust the stack.
    static constexpr int MaxReadDepth = 1000;
    // Largest file that LoadFromFile reads: the settings and data files are far smaller, and
    // a document's nodes cost many times its bytes.
    static constexpr long long MaxFileSize = 16LL * 1024 * 1024;

protected:
    // A new empty node of this node's own class, used by Assign to copy a child.
    virtual TreeDocument* CreateOfSameClass(TreeDocument* parent) const;
    // Recomputes Level of the whole subtree from this node's own.
    void UpdateLevels();

    // Reading hooks. CreateChild returns the node (normally a new child of this node) that
    // receives the element named tagName, or nullptr to read the element and discard it.
    virtual TreeDocument* CreateChild(const std::string& tagName);
    virtual void ChildLoaded(TreeDocument* child);
    // Whether a decoded, non-empty text run is appended to Text.
    virtual bool AcceptText(const std::string& text);
    [[noreturn]] virtual void RaiseError(const std::string& message, int position);

    // Reads one element from the first "<" at or after position into this node; position
    // (1-based) ends just past the element.
    virtual void ReadElement(const std::string& text, int& position);

    // Reader steps, each moving position through text.
    static void SkipBlanks(const std::string& text, int& position);
    std::string ReadTagName(const std::string& text, int& position);
    bool ParseAttribute(const std::string& text, int& position);
    std::string ParseAttributeValue(const std::string& text, int& position);
    bool ParseContentItem(const std::string& text, int& position);
    void ParseEndTag(const std::string& text, int& position);
    void AddText(const std::string& run);

private:
    // Appends the element to out; flush, when given, takes out's bytes whenever they grow
    // large, so that writing a file never holds the whole text.
    void WriteElement(std::string& out, const std::function<void(std::string&)>* flush) const;
    void WriteFile(int file, const std::filesystem::path& target) const;
    void Detach();
    bool IsInSubtreeOf(const TreeDocument* node) const;

    std::string FName;
    std::string FText;
    TreeDocument* FParent = nullptr;
    std::vector<std::string> FAttrNames;
    std::vector<std::string> FAttrValues;
    std::vector<TreeDocument*> FChildren;
    int FLevel = 0;
};

// The escape of values and texts: reserved bytes become "%" and two upper-case hex digits.
std::string EncodeText(const std::string& text);
// Reverse of EncodeText; a "%" with fewer than two bytes after it stays as it is.
std::string DecodeText(const std::string& text);
// Line breaks of a stream or file as the reader expects them: the bytes before the first
// NUL, with every CR LF, lone CR and lone LF made CR LF, and a final one added when missing.
std::string NormaliseLineBreaks(const std::string& bytes);
