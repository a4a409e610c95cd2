// The floor for the time from Enter to a picture on screen: the least a Qt program does to
// show a picture file fitted into an area, never enlarged. It decodes with QImageReader
// (with --fitted, asking the reader for the fitted size, which lets it decode a JPEG at a
// reduced scale) and paints the picture scaled into place without smoothing.
//
// Driven by enter_bench over stdin: "select NAME" makes FOLDER/NAME the file the next Enter opens
// and clears the area; "memory" asks for the resident size. Each answer is one line. With
// --open NAME it shows FOLDER/NAME from its start, as a viewer started from a file manager's
// "Open With" would: decoded before its window first appears.
#include "harness.h"

#include <QApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QSocketNotifier>
#include <QWidget>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include <unistd.h>

namespace {

class BareViewer : public QWidget
{
public:
    explicit BareViewer(bool fittedDecode)
        : fitted(fittedDecode)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    QString file;

    void open()
    {
        QImageReader reader(file);
        const QSize size = reader.size();
        shown = size.width() > width() || size.height() > height()
            ? QRect(QPoint(), size.scaled(this->size(), Qt::KeepAspectRatio))
            : QRect(QPoint(), size);
        shown.moveCenter(rect().center());
        if (fitted)
            reader.setScaledSize(shown.size());
        picture = reader.read();
        update();
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return && !file.isEmpty())
            open();
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (!picture.isNull())
            painter.drawImage(shown, picture);
    }

public:
    void clear()
    {
        picture = QImage();
        update();
    }

private:
    bool fitted;
    QImage picture;
    QRect shown;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    // bare_viewer [--fitted] [--open NAME] FOLDER X Y WIDTH HEIGHT: the pictures' folder, the
    // area on screen.
    const bool fitted = args.contains("--fitted");
    QStringList numbers = args.mid(1);
    numbers.removeAll("--fitted");
    QString openName;
    if (const qsizetype at = numbers.indexOf("--open"); at >= 0 && at + 1 < numbers.size()) {
        openName = numbers[at + 1];
        numbers.remove(at, 2);
    }
    if (numbers.size() != 5)
        return 2;
    const QString folder = numbers.takeFirst() + "/";
    BareViewer viewer(fitted);
    viewer.setGeometry(numbers[0].toInt(), numbers[1].toInt(), numbers[2].toInt(),
                       numbers[3].toInt());
    if (!openName.isEmpty()) {
        viewer.file = folder + openName;
        viewer.open();
    }
    viewer.show();
    viewer.activateWindow();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line)) {
            app.quit();
            return;
        }
        if (line.rfind("select ", 0) == 0) {
            viewer.file = folder + QString::fromStdString(line.substr(7));
            viewer.clear();
            viewer.repaint();
            const QPoint centre = viewer.mapToGlobal(viewer.rect().center());
            std::printf("ready %d %d %llu\n", centre.x(), centre.y(),
                        static_cast<unsigned long long>(viewer.winId()));
        } else if (line == "memory") {
            std::printf("memory %ld %ld\n", bench::statusKb("VmRSS"), bench::statusKb("VmHWM"));
        }
        std::fflush(stdout);
    });
    return app.exec();
}
