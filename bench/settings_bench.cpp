// The settings dialog's share of start-up and close with a full history (150 entries): the
// dialog is made (file read, controls filled, history loaded into the list), and at
// close the history and bounds are stored and the file written. The anchors are the tree
// document's own reading and writing of the same file, which the dialog cannot avoid.
#include "bench/harness.h"
#include "settings/main_bounds.h"
#include "settings/settings_dialog.h"
#include "settings/tests/settings_fixture.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <string>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("vistrel.set")).toStdString();

    FakeHistory history;
    QWidget window;
    WidgetBounds bounds(window);
    {
        SettingsDialog settings(&history, &bounds, nullptr, file);
        for (int i = 0; i < 150; ++i)
            history.Append("/home/user/Pictures/Holidays 2026/picture " + std::to_string(i)
                           + ".jpg");
        settings.StoreHistory();
        settings.CommitSettings();
    }

    const double readMs = bench::medianMs([&] {
        TreeDocument document;
        document.LoadFromFile(file);
    });
    TreeDocument copy;
    copy.LoadFromFile(file);
    const std::string scratch = file + ".anchor";
    const double writeMs = bench::medianMs([&] { copy.SaveToFile(scratch); });

    // The destruction writes the file.
    const double lifeMs = bench::medianMs([&] {
        SettingsDialog settings(&history, &bounds, nullptr, file);
        settings.RestoreMainBounds();
    });
    bench::report("dialog made and destroyed, 150 entries", lifeMs, "document read + written",
                  readMs + writeMs);

    SettingsDialog settings(&history, &bounds, nullptr, file);
    const double loadMs = bench::medianMs([&] { settings.LoadHistory(); });
    bench::report("150-entry history loaded into the list", loadMs, "document read", readMs);
    const double closeMs = bench::medianMs([&] {
        settings.StoreHistory();
        settings.StoreMainBounds();
        settings.CommitSettings();
    });
    bench::report("history and bounds stored, file written", closeMs, "document written", writeMs);
    return 0;
}
