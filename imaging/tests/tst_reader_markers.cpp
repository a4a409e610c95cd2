// What PNG, TIFF and WebP files carry beside the pixels, read through Qt's readers: the
// orientation that puts the picture upright, and the colour profile its pixels are meant in.
#include "display_p3.h"
#include "imaging/image_reader_graphic.h"

#include <QColorSpace>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int block = 16;

// Six flat blocks, two across and three down, lettered A B / C D / E F.
const QRgb blockColours[] = {qRgb(230, 30, 30),  qRgb(30, 200, 40),  qRgb(40, 40, 220),
                             qRgb(240, 220, 30), qRgb(20, 210, 220), qRgb(210, 40, 200)};

QImage sixBlocks()
{
    QImage picture(2 * block, 3 * block, QImage::Format_RGB32);
    for (int i = 0; i < 6; ++i) {
        for (int y = 0; y < block; ++y)
            for (int x = 0; x < block; ++x)
                picture.setPixel((i % 2) * block + x, (i / 2) * block + y, blockColours[i]);
    }
    return picture;
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QImage readAs(const QByteArray& format, const QString& path)
{
    const std::string name = path.toStdString();
    return format == "png" ? ReadPngFile(name)
        : format == "tiff" ? ReadTiffFile(name)
                           : ReadWebpFile(name);
}

} // namespace

class tst_reader_markers : public QObject
{
    Q_OBJECT

private slots:
    void tiffOrientation_data();
    void tiffOrientation();
    void profileGivesSrgb_data();
    void profileGivesSrgb();

private:
    QTemporaryDir folder;
};

void tst_reader_markers::tiffOrientation_data()
{
    QTest::addColumn<int>("transformation"); // as Qt's writer stores it in the TIFF tag
    QTest::addColumn<QString>("upright"); // the blocks' letters, row by row
    // In the order of the tag's values 1 to 8.
    const QImageIOHandler::Transformation transformations[]
        = {QImageIOHandler::TransformationNone,
           QImageIOHandler::TransformationMirror,
           QImageIOHandler::TransformationRotate180,
           QImageIOHandler::TransformationFlip,
           QImageIOHandler::TransformationFlipAndRotate90,
           QImageIOHandler::TransformationRotate90,
           QImageIOHandler::TransformationMirrorAndRotate90,
           QImageIOHandler::TransformationRotate270};
    const char* const layouts[] = {"AB/CD/EF", "BA/DC/FE", "FE/DC/BA", "EF/CD/AB",
                                   "ACE/BDF",  "ECA/FDB",  "FDB/ECA",  "BDF/ACE"};
    for (int value = 1; value <= 8; ++value)
        QTest::addRow("%d", value)
            << static_cast<int>(transformations[value - 1]) << layouts[value - 1];
}

void tst_reader_markers::tiffOrientation()
{
    QFETCH(int, transformation);
    QFETCH(QString, upright);
    const QString path = folder.filePath("oriented.tif");
    QImageWriter writer(path, "tiff");
    writer.setTransformation(QImageIOHandler::Transformations(transformation));
    QVERIFY(writer.write(sixBlocks()));
    const QStringList rows = upright.split('/');
    const QImage picture = ReadTiffFile(path.toStdString());
    QCOMPARE(
        picture.size(),
        QSize(static_cast<int>(rows[0].size()) * block, static_cast<int>(rows.size()) * block));
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < rows[row].size(); ++column) {
            const QRgb expected = blockColours[rows[row][column].toLatin1() - 'A'];
            const QRgb actual = picture.pixel(column * block + block / 2, row * block + block / 2);
            QVERIFY2(actual == expected,
                     qPrintable(QStringLiteral("block %1,%2").arg(column).arg(row)));
        }
    }
}

void tst_reader_markers::profileGivesSrgb_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("profiled");
    QTest::addColumn<QByteArray>("chunk"); // put into a PNG after its header
    for (const char* format : {"png", "tiff", "webp"}) {
        QTest::addRow("%s without a profile", format)
            << QByteArray(format) << false << QByteArray();
        QTest::addRow("%s in Display P3", format) << QByteArray(format) << true << QByteArray();
    }
    // The gamma and chromaticities of sRGB, without a profile, as most programs write a PNG.
    QTest::newRow("png with a gamma and chromaticities")
        << QByteArray("png") << false
        << QByteArray::fromHex("0000000467414d410000b18f0bfc6105000000206348524d00007a2600008084"
                               "0000fa00000080e8000075300000ea6000003a98000017709cba513c");
}

void tst_reader_markers::profileGivesSrgb()
{
    QFETCH(QByteArray, format);
    QFETCH(bool, profiled);
    // Display P3 colours and the sRGB ones they are (from the published P3 to sRGB matrix);
    // grey stays grey.
    struct Colour
    {
        QRgb p3;
        QRgb srgb;
    };
    const Colour colours[] = {{qRgb(200, 100, 50), qRgb(215, 93, 31)},
                              {qRgb(30, 60, 220), qRgb(17, 61, 229)},
                              {qRgb(128, 128, 128), qRgb(128, 128, 128)}};
    QImage stored(3 * block, block, QImage::Format_RGB32);
    for (int i = 0; i < 3; ++i) {
        for (int y = 0; y < block; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(stored.scanLine(y)) + i * block, block,
                        colours[i].p3);
    }
    if (profiled)
        stored.setColorSpace(QColorSpace::fromIccProfile(displayP3Profile()));
    const QString path = folder.filePath("profile." + format);
    QImageWriter writer(path, format);
    writer.setQuality(100); // WebP without loss
    QVERIFY(writer.write(stored));
    QFETCH(QByteArray, chunk);
    if (!chunk.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll().insert(33, chunk); // the signature and IHDR
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
    }
    const QImage picture = readAs(format, path);
    QCOMPARE(picture.size(), stored.size());
    if (!profiled) {
        // Every byte as it was stored, whatever colour space Qt says it is in.
        QImage pixels = picture.convertToFormat(QImage::Format_RGB32);
        pixels.setColorSpace(stored.colorSpace());
        QCOMPARE(pixels, stored);
        return;
    }
    for (int i = 0; i < 3; ++i) {
        const QRgb actual = picture.pixel(i * block + block / 2, block / 2);
        QVERIFY2(near(actual, colours[i].srgb, 2),
                 qPrintable(QStringLiteral("colour %1: %2 %3 %4")
                                .arg(i)
                                .arg(qRed(actual))
                                .arg(qGreen(actual))
                                .arg(qBlue(actual))));
    }
}

QTEST_GUILESS_MAIN(tst_reader_markers)
#include "tst_reader_markers.moc"
