// The picture's metadata as Pillow writes it into JPEG, PNG and WebP files, read by the
// file's content through the Exif reader module.
#include "metadata/picture_metadata.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// Pillow writes a picture of format ("JPEG", "PNG", "WEBP") with an Exif block holding a
// camera, a date, an exposure, a lens and a place.
const char* const writer = R"(
import sys
from PIL import Image
from PIL.TiffImagePlugin import IFDRational as R
path, form, make, model, north, east = sys.argv[1:7]
exif = Image.Exif()
exif[0x010F] = make
exif[0x0110] = model
exif[0x8769] = {0x9003: "2024:05:01 12:34:56", 0x829A: R(1, 250), 0x829D: R(56, 10),
                0x8827: 200, 0x920A: R(35, 1), 0xA434: "EF24-70mm f/2.8L II USM"}
exif[0x8825] = {1: north, 2: (R(48, 1), R(51, 1), R(3013, 100)),
                3: east, 4: (R(2, 1), R(17, 1), R(4073, 100))}
Image.new("RGB", (40, 30), (200, 10, 10)).save(path, form, exif=exif.tobytes())
)";

} // namespace

class TestPictureMetadata : public QObject
{
    Q_OBJECT

private slots:
    void readByContent_data();
    void readByContent();
};

void TestPictureMetadata::readByContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("written"); // Pillow's format, maker, model, N/S, E/W
    QTest::addColumn<QStringList>("read"); // format, camera, place; empty: nothing read
    const QStringList canon {"Canon", "Canon EOS 5D Mark IV", "N", "W"};
    const QString northWest = "48.858369\u00b0 N, 2.294647\u00b0 W";
    const auto row = [](const char* name, const char* file, QStringList written, QStringList read) {
        QTest::newRow(name) << QString(file) << written << read;
    };
    row("JPEG", "a.jpg", QStringList {"JPEG"} + canon,
        {"image/jpeg", "Canon EOS 5D Mark IV", northWest});
    row("PNG", "a.png", {"PNG", "Apple", "iPhone 12", "S", "E"},
        {"image/png", "Apple iPhone 12", "48.858369\u00b0 S, 2.294647\u00b0 E"});
    row("WebP", "a.webp", QStringList {"WEBP"} + canon,
        {"image/webp", "Canon EOS 5D Mark IV", northWest});
    row("JPEG named as a PNG", "jpeg.png", QStringList {"JPEG"} + canon,
        {"image/jpeg", "Canon EOS 5D Mark IV", northWest});
    row("BMP, no Exif", "plain.bmp", {"BMP"}, {});
    row("missing", "missing.jpg", {}, {});
    row("FIFO", "fifo.jpg", {"FIFO"}, {});
}

void TestPictureMetadata::readByContent()
{
    QFETCH(QString, name);
    QFETCH(QStringList, written);
    QFETCH(QStringList, read);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (written == QStringList {"BMP"}) {
        QVERIFY(QImage(20, 10, QImage::Format_RGB32).save(path, "BMP"));
    } else if (written == QStringList {"FIFO"}) {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (!written.isEmpty()) {
        QProcess python;
        python.start("/usr/bin/python3", QStringList {"-c", writer, path} + written);
        QVERIFY(python.waitForFinished());
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    }

    const PictureMetadata metadata = ReadPictureMetadata(QFile::encodeName(path).toStdString());
    QCOMPARE(QString::fromStdString(ExifReaderProblem()), QString());
    const QString all = QString::fromStdString(metadata.DateTaken + metadata.Camera + metadata.Lens
                                               + metadata.Exposure + metadata.Position);
    if (read.isEmpty()) {
        QCOMPARE(all, QString());
        return;
    }
    QCOMPARE(QStringList({QString::fromStdString(metadata.Format),
                          QString::fromStdString(metadata.Camera),
                          QString::fromStdString(metadata.Position)}),
             read);
    QCOMPARE(metadata.DateTaken, std::string("2024-05-01 12:34:56"));
    QCOMPARE(metadata.Lens, std::string("EF24-70mm f/2.8L II USM"));
    QCOMPARE(metadata.Exposure, std::string("1/250 s, F5.6, ISO 200, 35.0 mm"));
}

QTEST_GUILESS_MAIN(TestPictureMetadata)
#include "tst_picture_metadata.moc"
