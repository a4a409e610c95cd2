// The whole program in a temporary folder: the settings and data files beside a stand-in
// executable path, a folder of pictures, and the trash and current folder kept inside.
#pragma once

#include "browse/folder_list.h"
#include "settings/settings_dialog.h"
#include "shell/elided_text.h"
#include "shell/main_window.h"
#include "shell/windows.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <functional>
#include <string>

class ProgramFixture
{
public:
    ProgramFixture()
    {
        QVERIFY(root.isValid());
        QDir(root.path()).mkpath("bin");
        QDir(root.path()).mkpath("pics");
        QDir(root.path()).mkpath("share");
        // The trash lies under the data folder; keep it in here too.
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("share")));
        previousFolder = QDir::currentPath();
        // "../collections/" is made relative to the current folder: keep it in here.
        QDir::setCurrent(path("bin"));
    }
    ~ProgramFixture()
    {
        Stop();
        QDir::setCurrent(previousFolder);
    }
    ProgramFixture(const ProgramFixture&) = delete;
    ProgramFixture& operator=(const ProgramFixture&) = delete;

    QString path(const QString& relative) const { return root.filePath(relative); }
    std::string bytes(const QString& relative) const
    {
        return QFile::encodeName(path(relative)).toStdString();
    }
    std::string programPath() const { return bytes("bin/vistrel"); }

    // Starts the program as the entry does, with StartPath when it is given, and waits for
    // its first activation.
    void Start(const QString& StartPath = QString())
    {
        CreateWindows(programPath());
        if (!StartPath.isEmpty())
            Fmain->OpenStartPath(QFile::encodeName(StartPath).toStdString());
        ShowMainWindowCentred();
        Fmain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Fmain));
        QTRY_VERIFY(!Fmain->FirstActivation());
        Fmain->BrowseForFolder = [this] {
            return chosenFolder;
        };
    }

    // Closes the main window as the user would and ends the program.
    void Stop()
    {
        if (!Fmain)
            return;
        if (Fmain->isVisible())
            Fmain->close();
        DestroyWindows();
    }

    void Restart()
    {
        Stop();
        Start();
    }

    QString writePicture(const QString& name, int width, int height,
                         const QColor& colour = Qt::red) const
    {
        QImage picture(width, height, QImage::Format_RGB32);
        picture.fill(colour);
        // A marked corner makes turns visible.
        for (int y = 0; y < height / 4; ++y)
            for (int x = 0; x < width / 4; ++x)
                picture.setPixel(x, y, qRgb(0, 0, 255));
        const QString file = path("pics/" + name);
        picture.save(file, "BMP");
        return file;
    }

    void writeFile(const QString& relative, const QByteArray& content) const
    {
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray readFile(const QString& relative) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The "..." button, answered with Folder.
    void chooseFolder(const QString& folder)
    {
        chosenFolder = QFile::encodeName(folder).toStdString();
        QTest::mouseClick(Fmain->SB_dir, Qt::LeftButton);
    }

    // Selects the entry captioned Name in the folder list; false when there is none.
    bool select(const QString& name)
    {
        QTreeView* list = Fmain->O_dir_content1->LV_dir;
        QAbstractItemModel* model = list->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, 0);
            if (index.data().toString() == name) {
                list->setCurrentIndex(index);
                return true;
            }
        }
        return false;
    }

    QStringList listed() const
    {
        QStringList names;
        QAbstractItemModel* model = Fmain->O_dir_content1->LV_dir->model();
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, 0).data().toString();
        return names;
    }

    // Selects Name in the list of the pictures folder and presses Enter on it.
    void open(const QString& name)
    {
        if (Fmain->Edit_dir->text() != path("pics") + '/')
            chooseFolder(path("pics"));
        QVERIFY2(select(name), qPrintable(name));
        QTest::keyClick(Fmain->O_dir_content1->LV_dir, Qt::Key_Return);
    }

    QStringList history() const
    {
        QStringList entries;
        for (int i = 0; i < Fmain->CB_history->count(); ++i)
            entries << Fmain->CB_history->itemText(i);
        return entries;
    }

    // Runs Answer on the next modal window that opens, from the event loop.
    static void whenModal(std::function<void(QWidget*)> answer)
    {
        auto* timer = new QTimer(qApp);
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, ticks = 0]() mutable {
            // Answered once it is active, since a window may reload its controls when it is
            // activated; a window that the platform never activates is answered all the same.
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && (modal->isActiveWindow() || ++ticks > 20)) {
                timer->stop();
                timer->deleteLater();
                answer(modal);
            }
        });
        timer->start();
    }

    // Types FileName into an open file dialog and confirms it, as a user would.
    static void chooseFile(QWidget* dialog, const QString& fileName)
    {
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        edit->setText(fileName);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    static QAbstractButton* button(QWidget* window, const char* name)
    {
        return window->findChild<QAbstractButton*>(name);
    }

private:
    QTemporaryDir root;
    QString previousFolder;
    std::string chosenFolder;
};
