#include "store/tree_document.h"

#include "store/safe_file.h"
#include "store/text_helpers.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <istream>
#include <iterator>
#include <memory>
#include <ostream>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

TreeDocumentError::TreeDocumentError(const std::string& message, int position)
    : std::runtime_error(message)
    , Position(position)
{
}

TreeDocument::TreeDocument(TreeDocument* parent)
{
    if (parent)
        SetParent(parent);
}

TreeDocument::~TreeDocument()
{
    Detach();
    Clear();
}

void TreeDocument::Clear()
{
    // Taking the list first spares every child the search for itself in it, which would make
    // clearing a long list quadratic; the children still go in document order.
    std::vector<TreeDocument*> doomed;
    doomed.swap(FChildren);
    for (TreeDocument* child : doomed) {
        child->FParent = nullptr;
        delete child;
    }
    FName.clear();
    FText.clear();
    FAttrNames.clear();
    FAttrValues.clear();
}

void TreeDocument::SetName(const std::string& name)
{
    const auto isBlank = [](char c) {
        return static_cast<unsigned char>(c) <= 32;
    };
    auto first = std::find_if_not(name.begin(), name.end(), isBlank);
    auto last = std::find_if_not(name.rbegin(), std::string::const_reverse_iterator(first), isBlank)
                    .base();
    FName = UpperAsciiText(std::string(first, last));
}

bool TreeDocument::IsInSubtreeOf(const TreeDocument* node) const
{
    for (const TreeDocument* n = this; n; n = n->FParent) {
        if (n == node)
            return true;
    }
    return false;
}

void TreeDocument::Detach()
{
    if (!FParent)
        return;
    auto& siblings = FParent->FChildren;
    siblings.erase(std::find(siblings.begin(), siblings.end(), this));
    FParent = nullptr;
}

void TreeDocument::SetParent(TreeDocument* newParent)
{
    if (newParent == FParent)
        return;
    // Only a node with children can hold newParent below it; a new node skips the walk up,
    // which would make reading a deep document quadratic.
    if (newParent && (newParent == this || (!FChildren.empty() && newParent->IsInSubtreeOf(this))))
        throw std::invalid_argument("a tree node cannot be attached below itself");
    Detach();
    FParent = newParent;
    if (newParent) {
        newParent->FChildren.push_back(this);
        FLevel = newParent->FLevel + 1;
    } else {
        FLevel = 0;
    }
    UpdateLevels();
}

void TreeDocument::UpdateLevels()
{
    for (TreeDocument* child : FChildren) {
        child->FLevel = FLevel + 1;
        child->UpdateLevels();
    }
}

int TreeDocument::ChildCount() const
{
    return static_cast<int>(FChildren.size());
}

TreeDocument* TreeDocument::Child(int index) const
{
    if (index < 0 || index >= ChildCount())
        return nullptr;
    return FChildren[static_cast<size_t>(index)];
}

TreeDocument* TreeDocument::FindChild(const std::string& name) const
{
    const std::string wanted = UpperAsciiText(name);
    for (TreeDocument* child : FChildren) {
        if (child->FName == wanted)
            return child;
    }
    return nullptr;
}

TreeDocument* TreeDocument::FindOrAddChild(const std::string& name)
{
    if (TreeDocument* found = FindChild(name))
        return found;
    auto* made = new TreeDocument(this);
    made->SetName(name);
    return made;
}

TreeDocument* TreeDocument::FindNextChild(const TreeDocument* child) const
{
    if (!child)
        return nullptr;
    auto it = std::find(FChildren.begin(), FChildren.end(), child);
    it = it == FChildren.end() ? FChildren.begin() : it + 1;
    for (; it != FChildren.end(); ++it) {
        if ((*it)->FName == child->FName)
            return *it;
    }
    return nullptr;
}

std::string TreeDocument::ReadAttribute(const std::string& name) const
{
    const auto it = std::find(FAttrNames.begin(), FAttrNames.end(), UpperAsciiText(name));
    if (it == FAttrNames.end())
        return {};
    return FAttrValues[static_cast<size_t>(it - FAttrNames.begin())];
}

void TreeDocument::WriteAttribute(const std::string& name, const std::string& value)
{
    if (value.empty()) {
        DeleteAttribute(name);
        return;
    }
    const std::string key = UpperAsciiText(name);
    const auto it = std::find(FAttrNames.begin(), FAttrNames.end(), key);
    if (it == FAttrNames.end()) {
        FAttrNames.push_back(key);
        FAttrValues.push_back(value);
    } else {
        FAttrValues[static_cast<size_t>(it - FAttrNames.begin())] = value;
    }
}

void TreeDocument::DeleteAttribute(const std::string& name)
{
    const auto it = std::find(FAttrNames.begin(), FAttrNames.end(), UpperAsciiText(name));
    if (it == FAttrNames.end())
        return;
    const auto index = it - FAttrNames.begin();
    FAttrNames.erase(it);
    FAttrValues.erase(FAttrValues.begin() + index);
}

int TreeDocument::AttributeCount() const
{
    return static_cast<int>(FAttrNames.size());
}

const std::string& TreeDocument::AttributeName(int index) const
{
    static const std::string none;
    return index >= 0 && index < AttributeCount() ? FAttrNames[static_cast<size_t>(index)] : none;
}

const std::string& TreeDocument::AttributeValue(int index) const
{
    static const std::string none;
    return index >= 0 && index < AttributeCount() ? FAttrValues[static_cast<size_t>(index)] : none;
}

TreeDocument* TreeDocument::CreateOfSameClass(TreeDocument* parent) const
{
    return new TreeDocument(parent);
}

void TreeDocument::Assign(const TreeDocument& source)
{
    if (source.IsInSubtreeOf(this) || IsInSubtreeOf(&source)) {
        // Clearing first would destroy a source inside this node; copying a source that
        // holds this node would copy the growing copy without end: copy it out before.
        TreeDocument copy;
        copy.Assign(source);
        Assign(copy);
        return;
    }
    Clear();
    SetName(source.FName);
    FText = source.FText;
    FAttrNames = source.FAttrNames;
    FAttrValues = source.FAttrValues;
    for (const TreeDocument* child : source.FChildren)
        child->CreateOfSameClass(this)->Assign(*child);
}

void TreeDocument::SaveToStream(std::ostream& stream) const
{
    const std::string text = SaveToString();
    if (text.empty())
        return;
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!stream)
        throw std::ios_base::failure("cannot write the document to the stream");
}

void TreeDocument::LoadFromStream(std::istream& stream)
{
    const std::string bytes {std::istreambuf_iterator<char>(stream),
                             std::istreambuf_iterator<char>()};
    if (stream.bad())
        throw std::ios_base::failure("cannot read the document from the stream");
    LoadFromString(NormaliseLineBreaks(bytes));
}

void TreeDocument::SaveToFile(const std::string& fileName) const
{
    const WriteTarget target(fileName);
    Replacement replacement(target);
    if (replacement.CreateError != 0) {
        // A writable file in a folder that refuses new files is written in place: the
        // alternative is never keeping anything at all.
        if (target.Replacing
            && (replacement.CreateError == EACCES || replacement.CreateError == EPERM)) {
            OverwriteInPlace(target.Path, SaveToString());
            return;
        }
        ThrowFileError("cannot create a temporary file for", target.Path, replacement.CreateError);
    }
    WriteFile(replacement.Descriptor(), target.Path);
    replacement.Commit();
}

void TreeDocument::WriteFile(int file, const fs::path& target) const
{
    std::string out;
    const std::function<void(std::string&)> flush = [file, &target](std::string& bytes) {
        WriteAll(file, bytes, target);
        bytes.clear();
    };
    WriteElement(out, &flush);
    WriteAll(file, out, target);
}

void TreeDocument::LoadFromFile(const std::string& fileName)
{
    std::string bytes;
    {
#if defined(_WIN32)
        FilePtr file(std::fopen(fileName.c_str(), "rb"));
        if (!file)
            ThrowFileError("cannot open", fileName, errno);
        struct _stat64 info
        {
        };
        if (_fstat64(_fileno(file.get()), &info) != 0)
#else
        // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
        const int descriptor = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0)
            ThrowFileError("cannot open", fileName, errno);
        FilePtr file(fdopen(descriptor, "rb"));
        if (!file) {
            const int failure = errno;
            close(descriptor);
            ThrowFileError("cannot open", fileName, failure);
        }
        struct stat info = {};
        if (fstat(descriptor, &info) != 0)
#endif
            ThrowFileError("cannot read", fileName, errno);
        if (!S_ISREG(info.st_mode))
            ThrowFileError(NotRegularFile, fileName, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        // The size is checked on the bytes read too: a file may grow, or claim a size of 0
        // and yet hold bytes.
        if (info.st_size > MaxFileSize)
            ThrowFileError("the file is too large to read", fileName, EFBIG);
        char buffer[65536];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
            if (bytes.size() + got > static_cast<size_t>(MaxFileSize))
                ThrowFileError("the file is too large to read", fileName, EFBIG);
            bytes.append(buffer, got);
        }
        if (std::ferror(file.get()))
            ThrowFileError("cannot read", fileName, errno);
    }
    LoadFromString(NormaliseLineBreaks(FileBytesToRead(std::move(bytes))));
}
