// What the main window adds around the viewer: opening a picture from the folder list (load,
// indicator, history, commands) against the viewer's own LoadPicture of the same file, and
// the navigation history at its longest.
#include "harness.h"

#include "browse/folder_list.h"
#include "shell/main_window.h"
#include "shell/navigation_history.h"
#include "shell/windows.h"
#include "viewer/page_viewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTreeView>

#include <string>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root;
    QDir(root.path()).mkpath("bin");
    QDir(root.path()).mkpath("pics");
    QDir::setCurrent(root.filePath("bin"));

    QImage picture(3000, 2000, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.fillRect(picture.rect(), QLinearGradient(0, 0, 3000, 2000));
    for (int i = 0; i < 200; ++i)
        painter.fillRect(i * 15, (i * 37) % 1900, 12, 90, QColor::fromHsv((i * 7) % 360, 200, 220));
    painter.end();
    const QString file = root.filePath("pics/photo.jpg");
    picture.save(file, "JPG", 90);
    const std::string path = QFile::encodeName(file).toStdString();

    CreateWindows(QFile::encodeName(root.filePath("bin/vistrel")).toStdString());
    ShowMainWindowCentred();
    QCoreApplication::processEvents();
    Fmain->O_dir_content1->ShowFolder(QFile::encodeName(root.filePath("pics")).toStdString());
    QTreeView* list = Fmain->O_dir_content1->LV_dir;
    list->setCurrentIndex(list->model()->index(1, 0));

    const double load = bench::medianMs([&] { Fmain->O_pgv1->LoadPicture(path); });
    const double open = bench::medianMs([&] { Fmain->ShowSelectedFile(); });
    bench::report("open 3000x2000 JPEG from the list", open, "viewer LoadPicture alone", load,
                  1.05);

    NavigationHistory history;
    std::vector<std::string> names;
    for (int i = 0; i < 150; ++i)
        names.push_back("/photos/2004/img_" + std::to_string(i) + ".jpg");
    int next = 0;
    const double add = bench::medianMs([&] {
        for (int i = 0; i < 1000; ++i)
            history.Add(names[(next++ * 7) % 150], 150, false);
    });
    const double copy = bench::medianMs([&] {
        for (int i = 0; i < 1000; ++i) {
            std::vector<std::string> copied = names;
            history.Assign(std::move(copied));
        }
    });
    bench::report("1000 additions to a full history (150)", add, "1000 copies of the list", copy);

    Fmain->close();
    DestroyWindows();

    // Start-up with a long stored history: reading the settings file and filling the list.
    const QString settings = root.filePath("bin/vistrel.set");
    const auto startWith = [&](int entries) {
        QFile stored(settings);
        stored.open(QIODevice::WriteOnly);
        stored.write("\r\n<SETTINGS>\r\n  <HISTORY>");
        for (int i = 0; i < entries; ++i)
            stored.write("\r\n    <HIT HIT_FILE=\"/photos/2004/img_" + QByteArray::number(i)
                         + ".jpg\"/>");
        stored.write("\r\n  </HISTORY>\r\n</SETTINGS>");
        stored.close();
        return bench::medianMs(
            [&] {
                CreateWindows(QFile::encodeName(root.filePath("bin/vistrel")).toStdString());
                DestroyWindows();
            },
            1, 0);
    };
    const double none = startWith(0);
    for (const int entries : {2000, 8000, 50000}) {
        const std::string what = "start-up with " + std::to_string(entries) + " stored entries";
        bench::report(what.c_str(), startWith(entries), "start-up with none", none);
    }
    return 0;
}
