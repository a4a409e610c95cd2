// Writing and reading the two kinds of tree document: a full settings file (150 history
// entries) and a 1 MB document. The anchor is a plain copy of the same bytes, the least any
// one-pass reader or writer has to do.
#include "bench/harness.h"
#include "store/tree_document.h"

#include <cstddef>
#include <string>

namespace {

volatile std::size_t sink;

void settingsDocument(TreeDocument& root)
{
    root.SetName("SETTINGS");
    const char* keys[] = {"TOP",       "LEFT",           "WIDTH",       "HEIGHT",
                          "MAXIMIZED", "DIR_TO_VIEW",    "MG_DIAMETER", "MG_BORDER_COLOR",
                          "MG_BORDER", "HISTORY_LENGTH", "DUP_ALLOWED", "SPLITTER"};
    int n = 0;
    for (const char* key : keys)
        root.WriteAttribute(key, std::to_string(100 + n++));
    auto* history = new TreeDocument(&root);
    history->SetName("HISTORY");
    for (int i = 0; i < 150; ++i) {
        auto* hit = new TreeDocument(history);
        hit->SetName("HIT");
        hit->WriteAttribute("HIT_FILE",
                            "/home/user/Pictures/Holidays 2026/100%_crop <" + std::to_string(i)
                                + ">.jpg");
    }
}

void megabyteDocument(TreeDocument& root)
{
    root.SetName("VISTREL_DATA");
    root.WriteAttribute("VERSION", "1.4");
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "Notes about a picture, with 5% of \"special\" <bytes>. ";
    for (int i = 0; i % 32 != 0 || root.SaveToString().size() < 1000000; ++i) {
        auto* item = new TreeDocument(&root);
        item->SetName("ITEM");
        item->WriteAttribute("FILE", "/home/user/Pictures/picture" + std::to_string(i) + ".jpg");
        item->WriteAttribute("RATING", std::to_string(i % 5));
        for (int j = 0; j < 20; ++j) {
            auto* tag = new TreeDocument(item);
            tag->SetName("TAG");
            tag->SetText(text.substr(0, static_cast<std::size_t>(40 + j)));
        }
    }
}

// Nesting near the reader's limit with many siblings at the bottom: each node's indent is
// computed by the writer, and attaching a new node does not walk up its 999 ancestors.
void deepAndWideDocument(TreeDocument& root)
{
    root.SetName("A");
    TreeDocument* bottom = &root;
    for (int i = 1; i < 999; ++i) {
        bottom = new TreeDocument(bottom);
        bottom->SetName("A");
    }
    for (int i = 0; i < 20000; ++i)
        (new TreeDocument(bottom))->SetName("B");
}

void measure(const char* name, TreeDocument& doc)
{
    const std::string bytes = doc.SaveToString();
    const double copyMs = bench::medianMs([&] {
        std::string copy = bytes;
        sink = copy.size();
    });
    const double writeMs = bench::medianMs([&] { sink = doc.SaveToString().size(); });
    const double readMs = bench::medianMs([&] {
        TreeDocument reread;
        reread.LoadFromString(bytes);
        sink = static_cast<std::size_t>(reread.ChildCount());
    });
    const std::string what = std::string(name) + " (" + std::to_string(bytes.size()) + " bytes)";
    bench::report((what + " write").c_str(), writeMs, "std::string copy", copyMs);
    bench::report((what + " read").c_str(), readMs, "std::string copy", copyMs);
}

} // namespace

int main()
{
    TreeDocument settings;
    settingsDocument(settings);
    measure("settings, 150 history entries", settings);
    TreeDocument big;
    megabyteDocument(big);
    measure("1 MB document", big);
    TreeDocument deep;
    deepAndWideDocument(deep);
    measure("999 levels, 20000 siblings", deep);
    return 0;
}
