// Listing big folders: ShowFolder on folders of 1,000, 10,000 and 100,000 picture files,
// beside a bare enumeration of the same folder (names only) as the anchor.
#include "harness.h"

#include "browse/folder_list.h"

#include <QApplication>
#include <QTreeView>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The main window's filter: picture extensions, ASCII letters compared as upper case.
bool isPicture(const std::string& fileName)
{
    const auto dot = fileName.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = fileName.substr(dot);
    for (char& c : extension)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return extension == ".JPG" || extension == ".JPEG" || extension == ".GIF"
        || extension == ".BMP";
}

// A camera dump: mostly pictures in mixed case, some side-car files the filter drops, and a
// few sub-folders.
void fill(const std::string& folder, int files)
{
    fs::create_directories(folder);
    for (int i = 0; i < files; ++i) {
        char name[32];
        const char* extension = i % 10 == 9 ? "xmp" : (i % 2 ? "JPG" : "jpg");
        std::snprintf(name, sizeof name, "IMG_%06d.%s", (i * 7919) % 1000003, extension);
        std::ofstream(folder + name);
    }
    for (int i = 0; i < 20; ++i)
        fs::create_directory(folder + "album " + std::to_string(i));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const fs::path base
        = fs::temp_directory_path() / ("vistrel-browse-bench-" + std::to_string(getpid()));
    FolderList frame;
    frame.OnFileFilter = isPicture;
    frame.resize(250, 600);
    frame.show();

    for (const int files : {1000, 10000, 100000}) {
        const std::string folder = (base / std::to_string(files)).native() + "/";
        fill(folder, files);

        const double anchor = bench::medianMs([&] {
            std::size_t names = 0;
            for (const auto& entry : fs::directory_iterator(folder))
                names += entry.path().filename().native().size();
            if (names == 0)
                std::abort();
        });
        // The folder lists itself again, so the walk for the folder left runs in full.
        frame.ShowFolder(folder);
        const double listing = bench::medianMs([&] { frame.RefreshFolder(); });
        const int entries = frame.LV_dir->model()->rowCount();

        const std::string what = "ShowFolder, " + std::to_string(files) + " files";
        bench::report(what.c_str(), listing, "enumeration, names only", anchor);
        std::printf("    %d entries listed, %.3f us per entry\n", entries,
                    1000.0 * listing / entries);
    }
    fs::remove_all(base);
    return 0;
}
