// The main window's drop of files and folders, and its copy of the picture to the clipboard.
#include "shell/main_window.h"

#include "imaging/wait_cursor.h"
#include "shell/picture_clipboard.h"
#include "viewer/available_memory.h"
#include "viewer/page_viewer.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <string>

namespace {

// The first local file or folder among the dropped addresses, as bytes; empty when none.
std::string droppedPath(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return QFile::encodeName(url.toLocalFile()).toStdString();
    }
    return {};
}

// Takes the drop as a copy, or else as a link: a source offered a move would otherwise remove
// the file it handed over. False when it offers neither.
bool takeWithoutMove(QDropEvent* event)
{
    if (droppedPath(event->mimeData()).empty())
        return false;
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event->possibleActions() & action) {
            event->setDropAction(action);
            event->accept();
            return true;
        }
    }
    return false;
}

} // namespace

void MainWindow::CreateDropAndCopy()
{
    setAcceptDrops(true);
    NCopy = new QAction("&Copy", this);
    NCopy->setObjectName("NCopy");
    NCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    // The window's own, so that the key works in full screen too; a text field with the focus
    // still copies its own text, as it takes its standard keys before the window's.
    addAction(NCopy);
    connect(NCopy, &QAction::triggered, this, &MainWindow::CopyPicture);
}

void MainWindow::CopyPicture()
{
    if (!imageLoaded)
        return;
    // The source picture lives in memory the viewer reuses and turns in place: the
    // clipboard gets a copy of its own, which has to fit in the memory left.
    WaitCursor wait;
    const QImage& picture = O_pgv1->SourcePicture();
    const std::int64_t available = AvailableMemory();
    if (CopyPictureToClipboard(picture, available))
        return;
    const auto megabytes = [](std::int64_t bytes) {
        return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
    };
    Tell("The picture was not copied: its copy needs "
         + megabytes(ClipboardPicture::CopyBytes(picture))
         + (available >= 0 ? ", and only " + megabytes(available) + " of memory are left."
                           : " of memory, which the system did not give."));
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!takeWithoutMove(event))
        event->ignore();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (!takeWithoutMove(event))
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!takeWithoutMove(event)) {
        event->ignore();
        return;
    }
    OpenStartPath(droppedPath(event->mimeData()));
}
