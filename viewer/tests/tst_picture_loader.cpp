#include "viewer/picture_loader.h"

#include "imaging/picture_formats.h"

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
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

// Large enough to be shown reduced first in this area, so that a complete first picture
// can only have come from the decode ahead.
const QSize area(400, 300);

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void decodeAhead_data();
    void decodeAhead();
    void heldKeyQueuesOneDecodeAhead();
};

void TestPictureLoader::decodeAhead_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("complete");
    QTest::newRow("unchanged") << "" << true;
    QTest::newRow("file changed since") << "rewrite" << false;
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
    QVERIFY(picture(1).save(QString::fromStdString(file), "JPEG"));

    PictureLoader loader;
    std::int64_t available = std::int64_t {4} << 30;
    loader.AvailableMemory = [&available] {
        return available;
    };
    loader.DecodeAhead({file});
    loader.WaitIdle();
    QCOMPARE(loader.AheadCount(), 1);

    if (change == "rewrite") {
        QVERIFY(picture(2).save(QString::fromStdString(file), "JPEG"));
        // A modification time of its own, even where the clock is coarser than two writes.
        QFile rewritten(QString::fromStdString(file));
        QVERIFY(rewritten.open(QIODevice::ReadWrite));
        QVERIFY(rewritten.setFileTime(QDateTime::currentDateTime().addSecs(-100),
                                      QFileDevice::FileModificationTime));
    } else if (change == "memory") {
        available = PictureLoader::LowMemory - 1;
    } else if (change == "forget") {
        loader.DecodeAhead({});
        QCOMPARE(loader.AheadCount(), 0);
    }
    const PictureLoader::First first = loader.Open(file, area);
    QCOMPARE(first.complete, complete);
    QCOMPARE(first.size, QSize(3600, 2400));
    if (complete)
        QCOMPARE(first.picture, LoadImageFile(file));
    // Taken, or dropped: either way no longer held.
    QCOMPARE(loader.AheadCount(), 0);
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

QTEST_MAIN(TestPictureLoader)
#include "tst_picture_loader.moc"
