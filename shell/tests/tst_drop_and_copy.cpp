// A file or folder dropped on the window, and the picture copied to the clipboard.
#include "program_fixture.h"

#include "shell/picture_clipboard.h"
#include "viewer/page_viewer.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>

#include <memory>
#include <optional>

namespace {

// What a paste in another program gets in Format: read by Qt, or by ImageMagick's convert.
QImage pasted(const QString& format, bool byImageMagick = false)
{
    QByteArray bytes = QGuiApplication::clipboard()->mimeData()->data(format);
    if (byImageMagick) {
        QProcess convert;
        convert.start("convert", {"bmp:-", "ppm:-"});
        convert.write(bytes);
        convert.closeWriteChannel();
        convert.waitForFinished(60000);
        bytes = convert.readAllStandardOutput();
    }
    return QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestDropAndCopy : public QObject
{
    Q_OBJECT

private slots:
    void init() { program = std::make_unique<ProgramFixture>(); }
    void cleanup() { program.reset(); }

    void dropOpens_data();
    void dropOpens();
    void copyPicture();
    void copyWithinMemory_data();
    void copyWithinMemory();

private:
    std::unique_ptr<ProgramFixture> program;
};

void TestDropAndCopy::dropOpens_data()
{
    QTest::addColumn<QString>("address"); // "file:" and a path under the fixture for a file
    QTest::addColumn<int>("offered");
    QTest::addColumn<int>("taken"); // Qt::IgnoreAction when the window refuses the drop
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("opened");
    const int copyOrMove = Qt::CopyAction | Qt::MoveAction;
    QTest::newRow("picture") << "file:pics/sub/b.bmp" << copyOrMove << int(Qt::CopyAction)
                             << "pics/sub/"
                             << "pics/sub/b.bmp";
    QTest::newRow("folder") << "file:pics/sub" << copyOrMove << int(Qt::CopyAction) << "pics/sub/"
                            << "";
    // Taken as a move, the source would remove the file it handed over.
    QTest::newRow("move or link offered")
        << "file:pics/sub/b.bmp" << int(Qt::MoveAction | Qt::LinkAction) << int(Qt::LinkAction)
        << "pics/sub/"
        << "pics/sub/b.bmp";
    QTest::newRow("move only offered")
        << "file:pics/sub/b.bmp" << int(Qt::MoveAction) << int(Qt::IgnoreAction) << ""
        << "";
    QTest::newRow("not a file") << "http://example.org/b.bmp" << copyOrMove << int(Qt::IgnoreAction)
                                << ""
                                << "";
}

void TestDropAndCopy::dropOpens()
{
    QFETCH(QString, address);
    QFETCH(int, offered);
    QFETCH(int, taken);
    QFETCH(QString, listed);
    QFETCH(QString, opened);
    QDir(program->path("pics")).mkdir("sub");
    program->writePicture("sub/b.bmp", 40, 30);
    program->Start();
    const QString listedBefore = Fmain->Edit_dir->text();

    QMimeData data;
    data.setUrls({address.startsWith("file:") ? QUrl::fromLocalFile(program->path(address.mid(5)))
                                              : QUrl(address)});
    const auto actions = Qt::DropActions(offered);
    // On the picture, which takes no drops itself: the window does.
    QWidget* target = Fmain->O_pgv1;
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QCOMPARE(enter.isAccepted(), taken != Qt::IgnoreAction);
    QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QCOMPARE(drop.isAccepted(), taken != Qt::IgnoreAction);
    if (drop.isAccepted())
        QCOMPARE(int(drop.dropAction()), taken);

    QCOMPARE(Fmain->Edit_dir->text(), listed.isEmpty() ? listedBefore : program->path(listed));
    QCOMPARE(Fmain->ImageLoaded(), !opened.isEmpty());
    if (!opened.isEmpty())
        QCOMPARE(Fmain->ImageFileName(), program->bytes(opened));
    QVERIFY(QFile::exists(program->path("pics/sub/b.bmp")));
}

// Ctrl+C puts the picture as turned on the clipboard, not the display with its brightness,
// and a copy of its own that later turns leave alone; a text field keeps its own Ctrl+C. A paste
// gets it as a BMP at once, and as a PNG once that is encoded off the interface thread: no
// paste makes the interface encode.
void TestDropAndCopy::copyPicture()
{
    program->writePicture("a.bmp", 200, 100);
    program->Start();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("before");
    QTreeView* list = Fmain->O_dir_content1->LV_dir;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QString("before"));

    program->open("a.bmp");
    QTest::mouseClick(Fmain->TB_rotate_cw, Qt::LeftButton);
    Fmain->BrightnessChanged(5);
    const QImage turned = Fmain->O_pgv1->SourcePicture().copy();
    QVERIFY(Fmain->O_pgv1->DisplayPicture().pixel(50, 150) != turned.pixel(50, 150));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(pasted("image/bmp"), turned);
    QCOMPARE(pasted("image/bmp", true), turned);
    const QMimeData* copied = clipboard->mimeData();
    QCOMPARE(copied->data("image/bmp").constData(), copied->data("image/bmp").constData());
    QVERIFY(!copied->hasImage());
    QTRY_VERIFY(copied->formats().contains("image/png"));
    QCOMPARE(pasted("image/png"), turned);

    QTest::mouseClick(Fmain->TB_rotate_cw, Qt::LeftButton);
    QCOMPARE(pasted("image/bmp"), turned);
    QCOMPARE(pasted("image/png"), turned);

    Fmain->Edit_dir->setFocus();
    Fmain->Edit_dir->selectAll();
    QTest::keyClick(Fmain->Edit_dir, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), Fmain->Edit_dir->text());
}

void TestDropAndCopy::copyWithinMemory_data()
{
    QTest::addColumn<int>("format");
    // The memory left, in bytes beyond what the copy takes; unknown for none.
    QTest::addColumn<std::optional<int>>("spare");
    QTest::addColumn<bool>("copied");
    const int rgb32 = QImage::Format_RGB32;
    QTest::newRow("memory unknown") << rgb32 << std::optional<int>() << true;
    QTest::newRow("just enough memory") << rgb32 << std::optional<int>(0) << true;
    QTest::newRow("one byte short") << rgb32 << std::optional<int>(-1) << false;
    QTest::newRow("another format, converted")
        << int(QImage::Format_RGB888) << std::optional<int>(0) << true;
}

// A copy that would take more than the memory left is refused like a decode, and the clipboard
// keeps what it held.
void TestDropAndCopy::copyWithinMemory()
{
    QFETCH(int, format);
    QFETCH(std::optional<int>, spare);
    QFETCH(bool, copied);
    QImage picture(301, 7, QImage::Format(format));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x, y * 30, x ^ y));
    QGuiApplication::clipboard()->setText("before");
    const std::int64_t available
        = spare ? ClipboardPicture::CopyBytes(picture) + *spare : std::int64_t {-1};
    QCOMPARE(CopyPictureToClipboard(picture, available), copied);
    if (copied)
        QCOMPARE(pasted("image/bmp"), picture.convertToFormat(QImage::Format_RGB32));
    else
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("before"));
}

QTEST_MAIN(TestDropAndCopy)
#include "tst_drop_and_copy.moc"
