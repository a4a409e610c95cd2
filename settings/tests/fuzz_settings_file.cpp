// Any bytes as the settings file: the dialog must come up with sane controls and write a
// document that reads back, without crashing.
#include "settings/settings_dialog.h"
#include "settings/tests/settings_fixture.h"

#include <QApplication>
#include <QSpinBox>

#include <cstdint>
#include <cstdlib>

namespace {

std::string settingsFile()
{
    static const QTemporaryDir dir;
    return (std::filesystem::path(dir.path().toStdString()) / "fuzz.set").string();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 16384)
        return 0;
    const std::string file = settingsFile();
    writeFile(file, std::string(reinterpret_cast<const char*>(data), size));
    FakeHistory history;
    FakeWindow window;
    {
        SettingsDialog settings(&history, &window, nullptr, file);
        if (settings.SE_mgd->value() < 40 || settings.SE_mgd->value() > 150
            || settings.SE_history->value() < 4 || settings.SE_history->value() > 150)
            std::abort();
        settings.RestoreMainBounds();
        settings.StoreMainBounds();
        settings.StoreHistory();
        settings.CommitSettings();
    }
    // Something must have been written: an empty file would keep nothing of the next run.
    // (A root name that the file brought along may not read back; the next start then keeps
    // that file as ".bad" and starts anew.)
    if (readFile(file).empty())
        std::abort();
    // Every unreadable file is kept under a new name: clear them, or the names run out.
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(file).parent_path())) {
        if (entry.path().extension() == ".bad")
            std::filesystem::remove(entry.path());
    }
    return 0;
}
