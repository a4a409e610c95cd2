#include "viewer/picture_loader.h"

#include "imaging/picture_formats.h"
#include "imaging/svg_graphic.h"
#include "metafile/tests/metafile_builder.h"
#include "viewer/available_memory.h"
#include "viewer/working_picture.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <random>
#include <system_error>

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace {

QImage picture(int seed)
{
    QImage image(3600, 2400, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * seed) & 255, (y * 3 + seed) & 255, (x ^ y) & 255));
    return image;
}

QByteArray jpegBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

bool writeFile(const QString& name, const QByteArray& bytes, QIODevice::OpenMode mode)
{
    QFile file(name);
    return file.open(mode) && file.write(bytes) == bytes.size();
}

// Large enough to be shown reduced first in this area, so that a complete first picture
// can only have come from the decode ahead.
const QSize area(400, 300);

constexpr std::int64_t MiB = std::int64_t {1} << 20;

// A drawing that names a FIFO beside it (by its name and as a file: address), a regular
// picture beside it, and holds a blue picture of its own (a data: address), 10 pixels apart.
QByteArray referencingDrawing(const QString& folder)
{
    QByteArray blue;
    QBuffer buffer(&blue);
    buffer.open(QIODevice::WriteOnly);
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::blue);
    pixel.save(&buffer, "PNG");
    const QString image
        = QStringLiteral("<image x='%1' width='10' height='10' preserveAspectRatio='none' "
                         "xlink:href='%2'/>");
    return (QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' "
                           "xmlns:xlink='http://www.w3.org/1999/xlink' width='40' height='10'>")
            + image.arg(0).arg(QStringLiteral("fifo.png"))
            + image.arg(10).arg(QStringLiteral("file://") + folder + QStringLiteral("/fifo.png"))
            + image.arg(20).arg(QStringLiteral("red.png"))
            + image.arg(30).arg(QStringLiteral("data:image/png;base64,")
                                + QString::fromLatin1(blue.toBase64()))
            + QStringLiteral("</svg>"))
        .toUtf8();
}

// One path of crossing segments over a 2000 x 2000 drawing, filled and stroked: librsvg
// takes about 13 s of processor time for 5000 of them.
QByteArray crossingPath(int segments)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> coordinate(0, 2000);
    QByteArray path = "M0,0";
    for (int i = 0; i < segments; ++i)
        path += 'L' + QByteArray::number(coordinate(random)) + ','
            + QByteArray::number(coordinate(random));
    return "<svg xmlns='http://www.w3.org/2000/svg' width='2000' height='2000'><path d='" + path
        + "Z' fill='red' stroke='blue' stroke-width='3'/></svg>";
}

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void decodeAhead_data();
    void decodeAhead();
    void aheadBudgetFromTheHeader();
    void availableMemory_data();
    void availableMemory();
    void noWorkerThread();
    void firstLook_data();
    void firstLook();
    void abandonedDecodeStops_data();
    void abandonedDecodeStops();
    void heldKeyQueuesOneDecodeAhead();
    void drawings_data();
    void drawings();
    void startPicture_data();
    void startPicture();
};

void TestPictureLoader::decodeAhead_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("complete");
    QTest::newRow("unchanged") << "" << true;
    QTest::newRow("file changed since") << "rewrite" << false;
    QTest::newRow("rewritten in place, size and time kept") << "in place" << false;
    QTest::newRow("system short of memory") << "memory" << false;
    QTest::newRow("no longer a neighbour") << "forget" << false;
}

// A picture decoded ahead is shown at once and in full, unless its file changed since, the
// system ran short of memory or it is no longer wanted; then it is decoded as usual.
void TestPictureLoader::decodeAhead()
{
    QFETCH(QString, change);
    QFETCH(bool, complete);
    QTemporaryDir dir;
    const std::string file = QFile::encodeName(dir.filePath("a.jpg")).toStdString();
    // Both pictures take the same room: bytes after a JPEG's end are not read.
    QByteArray before = jpegBytes(picture(1));
    QByteArray after = jpegBytes(picture(2));
    const qsizetype room = std::max(before.size(), after.size());
    before.append(room - before.size(), '\0');
    after.append(room - after.size(), '\0');
    QVERIFY(writeFile(QString::fromStdString(file), before, QIODevice::WriteOnly));

    PictureLoader loader;
    std::int64_t available = std::int64_t {4} << 30;
    loader.AvailableMemory = [&available] {
        return available;
    };
    loader.DecodeAhead({file}, area, 20);
    loader.WaitIdle();
    QCOMPARE(loader.AheadCount(), 1);

    if (change == "rewrite") {
        QVERIFY(picture(2).save(QString::fromStdString(file), "JPEG"));
        // A modification time of its own, even where the clock is coarser than two writes.
        QFile rewritten(QString::fromStdString(file));
        QVERIFY(rewritten.open(QIODevice::ReadWrite));
        QVERIFY(rewritten.setFileTime(QDateTime::currentDateTime().addSecs(-100),
                                      QFileDevice::FileModificationTime));
    } else if (change == "in place") {
        struct stat old
        {
        };
        QVERIFY(::stat(file.c_str(), &old) == 0);
        QVERIFY(writeFile(QString::fromStdString(file), after, QIODevice::ReadWrite));
        const timespec times[2] = {old.st_atim, old.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, file.c_str(), times, 0) == 0);
        struct stat now
        {
        };
        QVERIFY(::stat(file.c_str(), &now) == 0);
        QCOMPARE(now.st_ino, old.st_ino);
        QCOMPARE(now.st_size, old.st_size);
        QCOMPARE(now.st_mtim.tv_nsec, old.st_mtim.tv_nsec);
    } else if (change == "memory") {
        available = PictureLoader::LowMemory - 1;
    } else if (change == "forget") {
        loader.DecodeAhead({});
        QCOMPARE(loader.AheadCount(), 0);
    }
    const PictureLoader::First first = loader.Open(file, area);
    QCOMPARE(first.complete, complete);
    QCOMPARE(first.size, QSize(3600, 2400));
    if (complete) {
        QCOMPARE(first.picture, LoadImageFile(file));
        // Averaged on the worker into its fit in the area, which the display then shows.
        QCOMPARE(first.averagedInto, QRect(0, 16, 400, 267));
        QImage averaged(first.averagedInto.size(), QImage::Format_RGB32);
        WorkingPicture working;
        working.Reset(&first.picture, 3600, 2400);
        working.Average(averaged, averaged.rect());
        QCOMPARE(first.averaged, averaged);
    }
    // Taken, or dropped: either way no longer held.
    QCOMPARE(loader.AheadCount(), 0);
}

// A picture too large for the budget is never decoded ahead, nor opened when it is larger
// than the memory left: its header says so first, in every format.
void TestPictureLoader::aheadBudgetFromTheHeader()
{
    QTemporaryDir dir;
    const std::string large = QFile::encodeName(dir.filePath("large.jpg")).toStdString();
    QImage gray(5000, 3500, QImage::Format_Grayscale8); // 70 MB decoded
    gray.fill(128);
    QVERIFY(gray.save(QString::fromStdString(large), "JPEG"));

    PictureLoader loader;
    // A budget of 64 MiB, a quarter of what the program may take.
    loader.AvailableMemory = [] {
        return PictureLoader::LowMemory;
    };
    std::atomic<int> rows = 0;
    loader.BetweenRows = [&rows](const std::string&) {
        ++rows;
    };
    loader.DecodeAhead({large});
    loader.WaitIdle();
    QCOMPARE(loader.AheadCount(), 0);
    QCOMPARE(rows.load(), 0);

    // A format whose size only its own reader tells (a metafile's header) is decoded ahead.
    const QString drawing = dir.filePath("drawing.wmf");
    auto wmf = WmfBuilder::placeable(0, 0, 100, 50, 96);
    wmf.solidBrush(colorRef(255, 0, 0)).select(0).rectangle(0, 0, 50, 50);
    QVERIFY(writeFile(drawing, wmf.finish(), QIODevice::WriteOnly));
    loader.DecodeAhead({QFile::encodeName(drawing).toStdString()});
    loader.WaitIdle();
    QCOMPARE(loader.AheadCount(), 1);

    // Opened, a picture whose decode needs more than the program may take is a failed load,
    // not a reduced first look whose full decode the system would end the program for.
    loader.AvailableMemory = [] {
        return 64 * MiB;
    };
    QVERIFY(loader.Open(large, area).picture.isNull());
}

void TestPictureLoader::availableMemory_data()
{
    // Each file as "path=content", below the test's folder.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<qint64>("expected");
    const QString meminfo
        = QStringLiteral("meminfo=MemTotal: 8000000 kB\nMemAvailable: 4194304 kB\n");
    QTest::newRow("no limit") << QStringList {meminfo, "cgroup=0::/user/app\n",
                                              "fs/cgroup.controllers=memory",
                                              "fs/user/app/memory.max=max",
                                              "fs/user/app/memory.current=1000"}
                              << qint64 {std::int64_t {4} << 30};
    QTest::newRow("own group's limit, its file cache left out")
        << QStringList {meminfo,
                        "cgroup=0::/user/app\n",
                        "fs/cgroup.controllers=memory",
                        "fs/user/app/memory.max=524288000",
                        "fs/user/app/memory.current=314572800",
                        "fs/user/app/memory.stat=anon 1\ninactive_file 104857600\n"}
        << qint64 {300 * MiB};
    // Once the program has read enough files, its group sits at its limit with most of its
    // cache active: all of that cache can be reclaimed.
    QTest::newRow("group at its limit, its cache active")
        << QStringList {meminfo,
                        "cgroup=0::/user/app\n",
                        "fs/cgroup.controllers=memory",
                        "fs/user/app/memory.max=524288000",
                        "fs/user/app/memory.current=524288000",
                        "fs/user/app/memory.stat=anon 104857600\nactive_file 314572800\n"
                        "inactive_file 104857600\n"}
        << qint64 {400 * MiB};
    QTest::newRow("a group above has less room") << QStringList {meminfo,
                                                                 "cgroup=0::/user/app\n",
                                                                 "fs/cgroup.controllers=memory",
                                                                 "fs/user/app/memory.max=max",
                                                                 "fs/user/app/memory.current=1000",
                                                                 "fs/user/memory.max=419430400",
                                                                 "fs/user/memory.current=367001600"}
                                                 << qint64 {50 * MiB};
    QTest::newRow("memory hierarchy of its own")
        << QStringList {meminfo,
                        "cgroup=4:memory:/box\n0::/\n",
                        "fs/unified/cgroup.controllers=",
                        "fs/memory/box/memory.limit_in_bytes=524288000",
                        "fs/memory/box/memory.usage_in_bytes=524288000",
                        "fs/memory/box/memory.stat=active_file 1\ninactive_file 1\n"
                        "total_active_file 209715200\ntotal_inactive_file 104857600\n"}
        << qint64 {300 * MiB};
}

// What the program may take is the least of the system's available memory and the room left
// under the limit of its control group and of every group above it.
void TestPictureLoader::availableMemory()
{
    QFETCH(QStringList, files);
    QFETCH(qint64, expected);
    QTemporaryDir dir;
    for (const QString& file : files) {
        const QString path = dir.filePath(file.section('=', 0, 0));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(writeFile(path, file.section('=', 1).toUtf8(), QIODevice::WriteOnly));
    }
    MemoryFigures figures;
    figures.meminfo = QFile::encodeName(dir.filePath("meminfo")).toStdString();
    figures.ownGroups = QFile::encodeName(dir.filePath("cgroup")).toStdString();
    figures.groupRoot = QFile::encodeName(dir.filePath("fs")).toStdString();
    QCOMPARE(AvailableMemory(figures), expected);
}

// When the system gives no worker thread, the full picture is decoded on the calling thread
// and nothing is left waiting for a worker; the next task starts one.
void TestPictureLoader::noWorkerThread()
{
    QTemporaryDir dir;
    const std::string file = QFile::encodeName(dir.filePath("a.jpg")).toStdString();
    QVERIFY(picture(1).save(QString::fromStdString(file), "JPEG"));
    PictureLoader loader;
    loader.AvailableMemory = [] {
        return std::int64_t {4} << 30;
    };
    const auto start = std::move(loader.StartThread);
    loader.StartThread = [](std::function<void()>) -> std::thread {
        throw std::system_error(EAGAIN, std::generic_category());
    };
    loader.Follow(file, true);
    QImage full;
    QVERIFY(loader.TakeFull(&full));
    QCOMPARE(full, LoadImageFile(file));
    loader.DecodeAhead({file});
    loader.WaitIdle();
    QCOMPARE(loader.AheadCount(), 0);

    loader.StartThread = start;
    loader.DecodeAhead({file});
    loader.WaitIdle();
    QCOMPARE(loader.AheadCount(), 1);
}

// Enter on a large A and at once on B: A's decode stops at its next rows, and B's follows.
void TestPictureLoader::firstLook_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format"); // Qt's writer's, or "ptif": ImageMagick's pyramid
    QTest::addColumn<bool>("reduced");
    QTest::newRow("jpeg") << "a.jpg" << QByteArray("JPEG") << true;
    QTest::newRow("webp") << "a.webp" << QByteArray("WEBP") << true;
    // The format the first bytes name decides, for the first look too.
    QTest::newRow("webp named jpg") << "webp.jpg" << QByteArray("WEBP") << true;
    QTest::newRow("tiff with reduced pages") << "pyramid.tif" << QByteArray("ptif") << true;
    QTest::newRow("tiff of one page") << "page.tif" << QByteArray("TIFF") << false;
    QTest::newRow("png") << "a.png" << QByteArray("PNG") << false;
}

// A large picture whose format offers a cheap smaller decode is shown from it first, covering
// its fit in the pane; its full picture follows from the worker, as the loader reads it.
void TestPictureLoader::firstLook()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(bool, reduced);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (format == "ptif") {
        const QString source = dir.filePath("source.png");
        QVERIFY(picture(1).save(source));
        QCOMPARE(QProcess::execute("/usr/bin/convert", {source, "PTIF:" + path}), 0);
    } else {
        QVERIFY(picture(1).save(path, format.constData()));
    }
    const std::string file = QFile::encodeName(path).toStdString();
    const QImage full = LoadImageFile(file);
    QCOMPARE(full.size(), QSize(3600, 2400));
    PictureLoader loader;
    const PictureLoader::First first = loader.Open(file, area);
    QCOMPARE(first.size, full.size());
    QCOMPARE(first.complete, !reduced);
    if (!reduced) {
        QCOMPARE(first.picture, full);
        return;
    }
    // Fitted into 400 x 300 the picture is 400 x 267.
    QVERIFY(first.picture.width() >= 400 && first.picture.height() >= 267);
    QVERIFY(first.picture.width() < 3600 && first.picture.format() == QImage::Format_RGB32);
    loader.Follow(file, true);
    QCOMPARE(loader.WaitFull(), full);
}

void TestPictureLoader::abandonedDecodeStops_data()
{
    QTest::addColumn<QString>("extension");
    for (const char* extension : {"jpg", "png", "tif", "webp"})
        QTest::newRow(extension) << extension;
}

void TestPictureLoader::abandonedDecodeStops()
{
    QFETCH(QString, extension);
    QTemporaryDir dir;
    const std::string a = QFile::encodeName(dir.filePath("a." + extension)).toStdString();
    const std::string b = QFile::encodeName(dir.filePath("b." + extension)).toStdString();
    QVERIFY(picture(1).save(QString::fromStdString(a)));
    QVERIFY(picture(2).save(QString::fromStdString(b)));
    PictureLoader loader;
    QSemaphore started;
    QSemaphore carryOn;
    std::atomic<int> rowsOfA = 0;
    loader.BetweenRows = [&](const std::string& fileName) {
        if (fileName == a && ++rowsOfA == 1) {
            started.release();
            carryOn.acquire();
        }
    };
    loader.Follow(a, true);
    started.acquire();
    loader.Follow(b, true);
    carryOn.release();
    QCOMPARE(loader.WaitFull(), LoadImageFile(b));
    // A stopped where it was held when it was given up: not one row more.
    QCOMPARE(rowsOfA.load(), 1);
}

// Stepping with a key held down asks for new neighbours faster than they decode: at most one
// decode ahead ever waits behind the one under way, and once the worker catches up the last
// neighbours asked for are all decoded.
void TestPictureLoader::heldKeyQueuesOneDecodeAhead()
{
    QTemporaryDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i) {
        files.push_back(QFile::encodeName(dir.filePath(QString("%1.bmp").arg(i))).toStdString());
        QImage small(64, 48, QImage::Format_RGB32);
        small.fill(qRgb(i * 30, 0, 0));
        QVERIFY(small.save(QString::fromStdString(files.back()), "BMP"));
    }
    PictureLoader loader;
    // The worker is held before its first decode until the steps are done, so that the
    // steps outrun it whatever the machine's speed.
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool open = false;
    std::atomic<bool> held {false};
    loader.BeforeDecodeAhead = [&] {
        held = true;
        std::unique_lock<std::mutex> lock(gateMutex);
        gateChanged.wait(lock, [&] { return open; });
    };
    loader.DecodeAhead({files[0]});
    QTRY_VERIFY(held);
    for (std::size_t shown = 1; shown + 1 < files.size(); ++shown) {
        loader.DecodeAhead({files[shown + 1], files[shown - 1]});
        QVERIFY2(loader.QueuedTasks() <= 1, qPrintable(QString::number(loader.QueuedTasks())));
    }
    {
        const std::lock_guard<std::mutex> lock(gateMutex);
        open = true;
    }
    gateChanged.notify_all();
    loader.WaitIdle();
    QCOMPARE(loader.AheadCount(), 2);
}

void TestPictureLoader::startPicture_data()
{
    QTest::addColumn<bool>("sameFile");
    QTest::addColumn<QSize>("begunFor");
    // What Open gives in a pane of 700 x 500.
    QTest::addColumn<QSize>("first");
    // A larger area is reduced less; the pane takes that picture instead of decoding again.
    QTest::newRow("begun for a larger area") << true << QSize(1600, 1200) << QSize(1800, 1200);
    QTest::newRow("too small for the pane") << true << QSize(400, 300) << QSize(900, 600);
    QTest::newRow("another file") << false << QSize(1600, 1200) << QSize(900, 600);
}

// The picture a start with a path decodes while the windows are made serves the first Open
// of that file where it covers the pane, and only once.
void TestPictureLoader::startPicture()
{
    QFETCH(bool, sameFile);
    QFETCH(QSize, begunFor);
    QFETCH(QSize, first);
    QTemporaryDir dir;
    const std::string file = QFile::encodeName(dir.filePath("a.jpg")).toStdString();
    const std::string other = QFile::encodeName(dir.filePath("b.jpg")).toStdString();
    for (const std::string& name : {file, other})
        QVERIFY(picture(1).save(QString::fromStdString(name), "JPEG"));
    const QSize pane(700, 500);
    PictureLoader loader;
    StartPicture begun(sameFile ? file : other, begunFor);
    const PictureLoader::First opened = loader.Open(file, pane);
    QCOMPARE(opened.picture.size(), first);
    QVERIFY(!opened.complete);
    QCOMPARE(opened.size, QSize(3600, 2400));
    QCOMPARE(loader.Open(file, pane).picture.size(), QSize(900, 600));
    // Where three eighths would cover the pane, a half is decoded: libjpeg-turbo reduces by a
    // quarter or a half with vector code, by three eighths without, more slowly.
    QCOMPARE(loader.Open(file, QSize(1000, 700)).picture.size(), QSize(1800, 1200));
}

// A drawing is drawn behind, away from the thread that opens it; it loads nothing it does not
// hold itself, whether opened or decoded ahead, so a FIFO it names cannot hold the program;
// past its budget it fails as a damaged picture does; and a drawing under way when the
// loader ends is stopped, not waited for.
void TestPictureLoader::drawings_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("opened, naming a FIFO") << "open";
    QTest::newRow("decoded ahead, naming a FIFO") << "ahead";
    QTest::newRow("crossing path past the budget") << "budget";
    QTest::newRow("crossing path under way at the end") << "end";
}

void TestPictureLoader::drawings()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString folder = dir.path();
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo.png")).constData(), 0600) == 0);
    QImage red(10, 10, QImage::Format_RGB32);
    red.fill(Qt::red);
    QVERIFY(red.save(dir.filePath("red.png")));
    const std::string drawing = QFile::encodeName(dir.filePath("drawing.svg")).toStdString();
    const bool crossing = how == QLatin1String("budget") || how == QLatin1String("end");
    QVERIFY(writeFile(QString::fromStdString(drawing),
                      crossing ? crossingPath(5000) : referencingDrawing(folder),
                      QIODevice::WriteOnly));
    // The test's own budget: the end row's drawing must outlast any test that waits for it.
    SetDrawingSeconds(how == QLatin1String("end") ? 100000 : 1);
    const auto checkReferences = [](const QImage& drawn) {
        QCOMPARE(drawn.size(), QSize(40, 10));
        for (int x : {5, 15, 25})
            QCOMPARE(drawn.pixel(x, 5), qRgb(255, 255, 255));
        QCOMPARE(drawn.pixel(35, 5), qRgb(0, 0, 255));
    };
    {
        PictureLoader loader;
        QSemaphore drawingStarted;
        loader.BetweenRows = [&](const std::string&) {
            drawingStarted.release();
        };
        if (how == QLatin1String("ahead")) {
            loader.DecodeAhead({drawing}, area);
            loader.WaitIdle();
            QCOMPARE(loader.AheadCount(), 1);
            const PictureLoader::First first = loader.Open(drawing, area);
            QVERIFY(first.complete);
            checkReferences(first.picture);
        } else {
            // White stands in at the drawing's size while it is drawn behind.
            const PictureLoader::First first = loader.Open(drawing, area);
            QVERIFY(!first.complete);
            QCOMPARE(first.size, crossing ? QSize(2000, 2000) : QSize(40, 10));
            QCOMPARE(first.picture.pixel(0, 0), qRgb(255, 255, 255));
            loader.Follow(drawing, true);
            if (how == QLatin1String("open"))
                checkReferences(loader.WaitFull());
            else if (how == QLatin1String("budget"))
                QVERIFY(loader.WaitFull().isNull());
            else
                drawingStarted.acquire();
        }
    }
    SetDrawingSeconds(DrawingSeconds);
}

QTEST_MAIN(TestPictureLoader)
#include "tst_picture_loader.moc"
