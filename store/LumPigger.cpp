#include "store/LumPigger.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <istream>
#include <iterator>
#include <memory>
#include <ostream>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string rootIndent = "\r\n";

std::string upperAscii(std::string s)
{
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void throwFileError(const char* what, const fs::path& path, int error)
{
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// The temporary file that SaveToFile fills; removed unless it was renamed into place.
class TempFile
{
public:
    explicit TempFile(const std::string& target)
    {
        std::random_device seed;
        std::mt19937 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string candidate
                = target + ".~" + std::to_string(random() % 1000000) + ".tmp";
            // "x": never take over a file that someone else created meanwhile.
            file.reset(std::fopen(candidate.c_str(), "wbx"));
            if (file) {
                path = candidate;
                return;
            }
            if (errno != EEXIST)
                throwFileError("cannot create a temporary file for", target, errno);
        }
        throwFileError("cannot create a temporary file for", target, EEXIST);
    }
    ~TempFile()
    {
        file.reset();
        if (!path.empty()) {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Writes, flushes to the disk and closes; throws with the target's path on failure.
    void write(const std::string& bytes, const fs::path& target)
    {
        if (!bytes.empty()
            && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
            throwFileError("cannot write", target, errno);
        if (std::fflush(file.get()) != 0)
            throwFileError("cannot write", target, errno);
#if defined(_WIN32)
        const int synced = _commit(_fileno(file.get()));
#else
        const int synced = fsync(fileno(file.get()));
#endif
        if (synced != 0)
            throwFileError("cannot write", target, errno);
        if (std::fclose(file.release()) != 0)
            throwFileError("cannot write", target, errno);
    }

    // Renames the written file over the target.
    void commit(const fs::path& target)
    {
        std::error_code error;
        fs::rename(path, target, error);
        if (error)
            throwFileError("cannot replace", target, error.value());
        path.clear();
    }

    fs::path path;

private:
    FilePtr file;
};

} // namespace

ELumPiggerError::ELumPiggerError(const std::string& message, int position)
    : std::runtime_error(message)
    , Position(position)
{
}

TLumPigger::TLumPigger(TLumPigger* parent)
    : FIndent(rootIndent)
{
    if (parent)
        SetParent(parent);
}

TLumPigger::~TLumPigger()
{
    Detach();
    Clear();
}

void TLumPigger::Clear()
{
    // Taking the list first spares every child the search for itself in it, which would make
    // clearing a long list quadratic; the children still go in document order.
    std::vector<TLumPigger*> doomed;
    doomed.swap(FChildren);
    for (TLumPigger* child : doomed) {
        child->FParent = nullptr;
        delete child;
    }
    FName.clear();
    FText.clear();
    FAttrNames.clear();
    FAttrValues.clear();
}

void TLumPigger::SetName(const std::string& name)
{
    const auto isBlank = [](char c) {
        return static_cast<unsigned char>(c) <= 32;
    };
    auto first = std::find_if_not(name.begin(), name.end(), isBlank);
    auto last = std::find_if_not(name.rbegin(), std::string::const_reverse_iterator(first), isBlank)
                    .base();
    FName = upperAscii(std::string(first, last));
}

bool TLumPigger::IsInSubtreeOf(const TLumPigger* node) const
{
    for (const TLumPigger* n = this; n; n = n->FParent) {
        if (n == node)
            return true;
    }
    return false;
}

void TLumPigger::Detach()
{
    if (!FParent)
        return;
    auto& siblings = FParent->FChildren;
    siblings.erase(std::find(siblings.begin(), siblings.end(), this));
    FParent = nullptr;
}

void TLumPigger::SetParent(TLumPigger* newParent)
{
    if (newParent == FParent)
        return;
    if (newParent && newParent->IsInSubtreeOf(this))
        throw std::invalid_argument("a tree node cannot be attached below itself");
    Detach();
    FParent = newParent;
    if (newParent) {
        newParent->FChildren.push_back(this);
        FLevel = newParent->FLevel + 1;
        FIndent = newParent->FIndent + '\t';
    } else {
        FLevel = 0;
        FIndent = rootIndent;
    }
    UpdateLevels();
}

void TLumPigger::UpdateLevels()
{
    for (TLumPigger* child : FChildren) {
        child->FLevel = FLevel + 1;
        child->FIndent = FIndent + '\t';
        child->UpdateLevels();
    }
}

int TLumPigger::ChildCount() const
{
    return static_cast<int>(FChildren.size());
}

TLumPigger* TLumPigger::Child(int index) const
{
    if (index < 0 || index >= ChildCount())
        return nullptr;
    return FChildren[static_cast<size_t>(index)];
}

TLumPigger* TLumPigger::FindChild(const std::string& name) const
{
    const std::string wanted = upperAscii(name);
    for (TLumPigger* child : FChildren) {
        if (child->FName == wanted)
            return child;
    }
    return nullptr;
}

TLumPigger* TLumPigger::FindNextChild(const TLumPigger* child) const
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

std::string TLumPigger::ReadAttribute(const std::string& name) const
{
    const auto it = std::find(FAttrNames.begin(), FAttrNames.end(), upperAscii(name));
    if (it == FAttrNames.end())
        return {};
    return FAttrValues[static_cast<size_t>(it - FAttrNames.begin())];
}

void TLumPigger::WriteAttribute(const std::string& name, const std::string& value)
{
    if (value.empty()) {
        DeleteAttribute(name);
        return;
    }
    const std::string key = upperAscii(name);
    const auto it = std::find(FAttrNames.begin(), FAttrNames.end(), key);
    if (it == FAttrNames.end()) {
        FAttrNames.push_back(key);
        FAttrValues.push_back(value);
    } else {
        FAttrValues[static_cast<size_t>(it - FAttrNames.begin())] = value;
    }
}

void TLumPigger::DeleteAttribute(const std::string& name)
{
    const auto it = std::find(FAttrNames.begin(), FAttrNames.end(), upperAscii(name));
    if (it == FAttrNames.end())
        return;
    const auto index = it - FAttrNames.begin();
    FAttrNames.erase(it);
    FAttrValues.erase(FAttrValues.begin() + index);
}

int TLumPigger::AttributeCount() const
{
    return static_cast<int>(FAttrNames.size());
}

const std::string& TLumPigger::AttributeName(int index) const
{
    static const std::string none;
    return index >= 0 && index < AttributeCount() ? FAttrNames[static_cast<size_t>(index)] : none;
}

const std::string& TLumPigger::AttributeValue(int index) const
{
    static const std::string none;
    return index >= 0 && index < AttributeCount() ? FAttrValues[static_cast<size_t>(index)] : none;
}

TLumPigger* TLumPigger::CreateOfSameClass(TLumPigger* parent) const
{
    return new TLumPigger(parent);
}

void TLumPigger::Assign(const TLumPigger& source)
{
    if (source.IsInSubtreeOf(this)) {
        // Clearing first would destroy the source: copy it out before.
        TLumPigger copy;
        copy.Assign(source);
        Assign(copy);
        return;
    }
    Clear();
    SetName(source.FName);
    FText = source.FText;
    FAttrNames = source.FAttrNames;
    FAttrValues = source.FAttrValues;
    for (const TLumPigger* child : source.FChildren)
        child->CreateOfSameClass(this)->Assign(*child);
}

void TLumPigger::SaveToStream(std::ostream& stream) const
{
    const std::string text = SaveToString();
    if (text.empty())
        return;
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!stream)
        throw std::ios_base::failure("cannot write the document to the stream");
}

void TLumPigger::LoadFromStream(std::istream& stream)
{
    const std::string bytes {std::istreambuf_iterator<char>(stream),
                             std::istreambuf_iterator<char>()};
    if (stream.bad())
        throw std::ios_base::failure("cannot read the document from the stream");
    LoadFromString(NormaliseLineBreaks(bytes));
}

void TLumPigger::SaveToFile(const std::string& fileName) const
{
    std::string target = fileName;
    // Save through a link into the file it names, so that the link survives.
    std::error_code error;
    if (fs::is_symlink(target, error))
        target = fs::weakly_canonical(target).string();
    const bool replacing = fs::exists(target, error);
    if (replacing) {
        // A file that may not be written stays protected although its folder is writable.
        FilePtr probe(std::fopen(target.c_str(), "ab"));
        if (!probe)
            throwFileError("cannot write", target, errno);
    }
    TempFile temp(target);
    if (replacing) {
        // The new file replaces the old one, so it takes the old one's permissions.
        fs::permissions(temp.path, fs::status(target, error).permissions(), error);
    }
    temp.write(SaveToString(), target);
    temp.commit(target);
}

void TLumPigger::LoadFromFile(const std::string& fileName)
{
    std::string bytes;
    {
        FilePtr file(std::fopen(fileName.c_str(), "rb"));
        if (!file)
            throwFileError("cannot open", fileName, errno);
        char buffer[65536];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
            bytes.append(buffer, got);
        if (std::ferror(file.get()))
            throwFileError("cannot read", fileName, errno);
    }
    LoadFromString(NormaliseLineBreaks(bytes));
}
