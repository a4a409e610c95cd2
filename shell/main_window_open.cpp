// The main window's File > Open... (a picture through the desktop's file chooser) and
// File > Properties (the shown picture's properties, in a window that follows the picture).
#include "shell/main_window.h"

#include "browse/byte_name.h"
#include "browse/folder_list.h"
#include "imaging/picture_formats.h"
#include "shell/properties_window.h"
#include "viewer/page_viewer.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>

namespace {

// "Pictures (*.bmp *.BMP ...)": every extension the loader reads, in both cases, since the
// chooser compares them exactly on Linux; then every file, for a picture named otherwise.
QString pictureFilter()
{
    QStringList patterns;
    for (const PictureFormat& format : PictureFormats())
        for (std::string_view known : format.Extensions) {
            if (known.empty())
                continue;
            const QString extension
                = QString::fromLatin1(known.data(), static_cast<qsizetype>(known.size()));
            patterns << "*" + extension.toLower() << "*" + extension;
        }
    return QStringLiteral("Pictures (%1);;All files (*)").arg(patterns.join(' '));
}

} // namespace

void MainWindow::CreateFileCommands()
{
    NOpenPicture = new QAction("&Open...", this);
    NOpenPicture->setObjectName("NOpenPicture");
    NOpenPicture->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    N_File->insertAction(N_File->actions().constFirst(), NOpenPicture);
    connect(NOpenPicture, &QAction::triggered, this, &MainWindow::OpenPictureClick);

    NProperties = new QAction("&Properties", this);
    NProperties->setObjectName("NProperties");
    NProperties->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
    N_File->insertAction(N_FileSeparator, NProperties);
    connect(NProperties, &QAction::triggered, this, &MainWindow::PropertiesClick);
    // The window's own too, so that the keys work while the menus are hidden in full screen.
    addAction(NOpenPicture);
    addAction(NProperties);

    // The static function, so that the platform's own chooser (the desktop's file chooser
    // portal, GNOME's or KDE's dialog) is used where there is one.
    ChoosePicture = [this] {
        const QString chosen = QFileDialog::getOpenFileName(
            this, QStringLiteral("Open"), TextOfByteName(O_dir_content1->CurrentFolder()),
            pictureFilter());
        return ByteNameOf(chosen);
    };
}

void MainWindow::OpenPictureClick()
{
    const std::string path = ChoosePicture ? ChoosePicture() : std::string();
    if (path.empty())
        return;
    OpenStartPath(path);
    O_pgv1->setFocus(Qt::OtherFocusReason);
}

void MainWindow::PropertiesClick()
{
    if (!D_properties)
        D_properties = new PropertiesWindow(this);
    D_properties->ShowPicture(imageLoaded ? imageFileName : std::string(), O_pgv1->SourceSize());
    D_properties->show();
    D_properties->raise();
    D_properties->activateWindow();
}

void MainWindow::ShowPropertiesOfPicture()
{
    if (!D_properties || !D_properties->isVisible())
        return;
    D_properties->ShowPicture(imageLoaded ? imageFileName : std::string(), O_pgv1->SourceSize());
}
