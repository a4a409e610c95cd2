// Feeds arbitrary bytes to the reader, both directly and through the stream path. Whatever
// the reader accepts must write out as a text that reads back, and a second pass must not
// change it any more (the first pass only drops what the text form cannot carry).
#include "store/tree_document.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

bool load(TreeDocument& doc, const std::string& text)
{
    try {
        doc.LoadFromString(text);
        return true;
    } catch (const TreeDocumentError&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 65536)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);

    TreeDocument doc;
    if (load(doc, input)) {
        TreeDocument again;
        if (!load(again, doc.SaveToString()))
            std::abort();
        const std::string second = again.SaveToString();
        TreeDocument third;
        if (!load(third, second) || third.SaveToString() != second)
            std::abort();
    }

    std::istringstream stream(input);
    TreeDocument fromStream;
    try {
        fromStream.LoadFromStream(stream);
    } catch (const TreeDocumentError&) {
    }
    return 0;
}
