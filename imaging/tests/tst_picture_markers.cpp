// What pictures carry beside their pixels: the orientation that puts the picture upright
// (a JPEG's Exif block, a TIFF's tag, a PNG's or a WebP's Exif chunk) and the colour profile
// its pixels are meant in (a JPEG's APP2 chunks, a PNG's iCCP chunk, a TIFF's tag, a WebP's ICCP
// chunk; HEIC through libheif).
#include "display_p3.h"
#include "imaging/heif_graphic.h"
#include "imaging/jpeg_graphic.h"
#include "imaging/picture_formats.h"
#include "imaging/png_graphic.h"
#include "imaging/tiff_graphic.h"
#include "imaging/webp_graphic.h"
#include "picture_files.h"

#include <QColorSpace>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using picture_files::jpegFile;
using picture_files::JpegKind;
using picture_files::JpegMarker;
using picture_files::writeFile;

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

// Where picture is not the six blocks laid out as upright says ("BA/DC/FE": the letters row
// by row), within tolerance; empty when it is.
QString blocksDiffer(const QImage& picture, const QString& upright, int tolerance)
{
    const QStringList rows = upright.split('/');
    const QSize size(static_cast<int>(rows[0].size()) * block,
                     static_cast<int>(rows.size()) * block);
    if (picture.size() != size)
        return QStringLiteral("size %1 x %2").arg(picture.width()).arg(picture.height());
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < rows[row].size(); ++column) {
            const QRgb expected = blockColours[rows[row][column].toLatin1() - 'A'];
            const QRgb actual = picture.pixel(column * block + block / 2, row * block + block / 2);
            if (!near(actual, expected, tolerance))
                return QStringLiteral("block %1,%2").arg(column).arg(row);
        }
    }
    return {};
}

// Display P3 colours and the sRGB ones they are (from the published P3 to sRGB matrix);
// grey stays grey.
struct Swatch
{
    QRgb p3;
    QRgb srgb;
};
const Swatch swatches[] = {{qRgb(200, 100, 50), qRgb(215, 93, 31)},
                           {qRgb(30, 60, 220), qRgb(17, 61, 229)},
                           {qRgb(128, 128, 128), qRgb(128, 128, 128)}};

// The swatches' P3 values side by side, a block each.
QImage p3Swatches()
{
    QImage stored(3 * block, block, QImage::Format_RGB32);
    for (int i = 0; i < 3; ++i) {
        for (int y = 0; y < block; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(stored.scanLine(y)) + i * block, block,
                        swatches[i].p3);
    }
    return stored;
}

// Where picture's swatches are not their sRGB values (converted) or their P3 values as stored,
// within tolerance; empty when they are.
QString swatchesDiffer(const QImage& picture, bool converted, int tolerance = 2)
{
    for (int i = 0; i < 3; ++i) {
        const QRgb expected = converted ? swatches[i].srgb : swatches[i].p3;
        const QRgb actual = picture.pixel(i * block + block / 2, block / 2);
        if (!near(actual, expected, tolerance))
            return QStringLiteral("colour %1: %2 %3 %4")
                .arg(i)
                .arg(qRed(actual))
                .arg(qGreen(actual))
                .arg(qBlue(actual));
    }
    return {};
}

// An Exif block whose first directory holds only the orientation.
QByteArray exifBlock(int orientation, bool bigEndian)
{
    QByteArray bytes("Exif\0\0", 6);
    const auto half = [&](int value) {
        const char high = static_cast<char>((value >> 8) & 0xFF);
        const char low = static_cast<char>(value & 0xFF);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    };
    const auto word = [&](int value) {
        half(bigEndian ? value >> 16 : value & 0xFFFF);
        half(bigEndian ? value & 0xFFFF : value >> 16);
    };
    bytes.append(bigEndian ? "MM" : "II");
    half(42);
    word(8); // the first directory follows the header
    half(1); // one entry: orientation, a SHORT, one value, kept in the entry
    half(0x0112);
    half(3);
    word(1);
    half(orientation);
    half(0);
    word(0); // no next directory
    return bytes;
}

// The profile split into count APP2 chunks, in the order given by numbers (from 1).
std::vector<JpegMarker> iccChunks(const QByteArray& profile, int count, const QList<int>& numbers)
{
    std::vector<JpegMarker> markers;
    const qsizetype part = (profile.size() + count - 1) / count;
    for (int number : numbers) {
        QByteArray payload("ICC_PROFILE\0", 12);
        payload.append(static_cast<char>(number)).append(static_cast<char>(count));
        payload.append(profile.mid((number - 1) * part, part));
        markers.push_back({JPEG_APP0 + 2, payload});
    }
    return markers;
}

QImage readAs(const QByteArray& format, const QString& path)
{
    const std::string name = path.toStdString();
    return format == "png" ? ReadPngFile(name)
        : format == "tiff" ? ReadTiffFile(name)
        : format == "heic" ? ReadHeifFile(name)
                           : ReadWebpFile(name);
}

// Runs another program's writer; empty when it succeeded, else what went wrong.
QString runWriter(const QString& program, const QStringList& arguments, const char* package)
{
    QProcess writer;
    writer.start(program, arguments);
    if (!writer.waitForFinished(60000) || writer.exitStatus() != QProcess::NormalExit
        || writer.exitCode() != 0)
        return QStringLiteral("%1 (%2, scripts/install-deps.sh) wrote no file: %3")
            .arg(program, QLatin1String(package),
                 QString::fromLocal8Bit(writer.readAllStandardError()));
    return {};
}

// Writes source again as path (its extension gives the format) with Pillow, the orientation in
// the file's Exif block: another program's idea of where the block goes.
QString writeWithPillow(const QString& source, const QString& path, int orientation)
{
    static const char* const script = "import sys\n"
                                      "from PIL import Image\n"
                                      "exif = Image.Exif()\n"
                                      "exif[0x0112] = int(sys.argv[3])\n"
                                      "Image.open(sys.argv[1]).convert('RGB').save(\n"
                                      "    sys.argv[2], exif=exif.tobytes(), lossless=True)\n";
    return runWriter(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), QString::fromLatin1(script), source, path,
                      QString::number(orientation)},
                     "python3-pil for Debian's python3");
}

// How a row changes the file Pillow wrote.
enum class Edit { None, ChunkChecksumWrong, ExifHeaderBefore, ChunkPastRiffEnd };

// The file's bytes with edit made; empty when the file has no chunk to edit.
QByteArray edited(QByteArray bytes, Edit edit)
{
    const auto riffLength = [&bytes](qsizetype change) {
        qToLittleEndian<quint32>(
            static_cast<quint32>(qFromLittleEndian<quint32>(bytes.constData() + 4) + change),
            bytes.data() + 4);
    };
    const qsizetype type = bytes.indexOf(edit == Edit::ChunkChecksumWrong ? "eXIf" : "EXIF");
    if (edit == Edit::None || type < 4 || type + 8 > bytes.size())
        return edit == Edit::None ? bytes : QByteArray();
    const auto pngLength = qFromBigEndian<quint32>(bytes.constData() + type - 4);
    const auto webpLength = qFromLittleEndian<quint32>(bytes.constData() + type + 4);
    switch (edit) {
    case Edit::ChunkChecksumWrong:
        bytes[type + 4 + pngLength] = static_cast<char>(bytes[type + 4 + pngLength] ^ 0xFF);
        break;
    case Edit::ExifHeaderBefore: // as some writers store it
        bytes.insert(type + 8, QByteArray("Exif\0\0", 6));
        qToLittleEndian<quint32>(webpLength + 6, bytes.data() + type + 4);
        riffLength(6);
        break;
    case Edit::ChunkPastRiffEnd: // the file's own length no longer holds the chunk
        riffLength(-8 - static_cast<qsizetype>(webpLength + (webpLength & 1)));
        break;
    case Edit::None:
        break;
    }
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<JpegMarker>)
Q_DECLARE_METATYPE(Edit)

class tst_picture_markers : public QObject
{
    Q_OBJECT

private slots:
    void jpegOrientation_data();
    void jpegOrientation();
    void reducedFirstLookIsUpright();
    void readerOrientation_data();
    void readerOrientation();
    void jpegProfileGivesSrgb_data();
    void jpegProfileGivesSrgb();
    void readerProfileGivesSrgb_data();
    void readerProfileGivesSrgb();

private:
    QTemporaryDir folder;
};

void tst_picture_markers::jpegOrientation_data()
{
    QTest::addColumn<QByteArray>("exif");
    QTest::addColumn<QString>("upright"); // the blocks' letters, row by row
    const char* const layouts[] = {"AB/CD/EF", "BA/DC/FE", "FE/DC/BA", "EF/CD/AB",
                                   "ACE/BDF",  "ECA/FDB",  "FDB/ECA",  "BDF/ACE"};
    for (int value = 1; value <= 8; ++value) {
        QTest::addRow("%d", value) << exifBlock(value, true) << layouts[value - 1];
        QTest::addRow("%d little-endian", value) << exifBlock(value, false) << layouts[value - 1];
    }
    QTest::newRow("unknown value") << exifBlock(9, true) << "AB/CD/EF";
    QTest::newRow("directory cut short") << exifBlock(6, true).left(24) << "AB/CD/EF";
    QByteArray farDirectory = exifBlock(6, true);
    farDirectory[13] = '\xF0'; // the directory's offset points past the block's end
    QTest::newRow("directory beyond the block") << farDirectory << "AB/CD/EF";
}

void tst_picture_markers::jpegOrientation()
{
    QFETCH(QByteArray, exif);
    QFETCH(QString, upright);
    const QString path = folder.filePath("oriented.jpg");
    QVERIFY(writeFile(path, jpegFile(sixBlocks(), JpegKind::Colour, {{JPEG_APP0 + 1, exif}})));
    const QImage picture = ReadJpegFile(path.toStdString());
    const QString differs = blocksDiffer(picture, upright, 3);
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
    QCOMPARE(ReadJpegSize(path.toStdString()), picture.size());
}

void tst_picture_markers::reducedFirstLookIsUpright()
{
    // Stored lying on its side: red above blue; upright (a quarter turn clockwise), blue left
    // of red.
    QImage stored(4000, 2000, QImage::Format_RGB32);
    stored.fill(qRgb(220, 20, 20));
    for (int y = 1000; y < 2000; ++y)
        std::fill_n(reinterpret_cast<QRgb*>(stored.scanLine(y)), 4000, qRgb(20, 20, 220));
    const QString path = folder.filePath("side.jpg");
    QVERIFY(writeFile(path,
                      jpegFile(stored, JpegKind::Colour, {{JPEG_APP0 + 1, exifBlock(6, false)}})));
    const ReducedPicture reduced = ReadJpegReduced(path.toStdString(), QSize(300, 600));
    QCOMPARE(reduced.fullSize, QSize(2000, 4000));
    QVERIFY(!reduced.picture.isNull());
    const QSize size = reduced.picture.size();
    QVERIFY(size.height() > size.width());
    // Reduced only as far as the upright picture still covers the area.
    QVERIFY(size.height() >= 600 && size.height() < 4000);
    QVERIFY(near(reduced.picture.pixel(size.width() / 4, size.height() / 2), qRgb(20, 20, 220), 8));
    QVERIFY(
        near(reduced.picture.pixel(size.width() * 3 / 4, size.height() / 2), qRgb(220, 20, 20), 8));
}

void tst_picture_markers::readerOrientation_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<int>("orientation"); // the Exif tag's value the file is written with
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("upright"); // the blocks' letters, row by row
    const char* const layouts[] = {"AB/CD/EF", "BA/DC/FE", "FE/DC/BA", "EF/CD/AB",
                                   "ACE/BDF",  "ECA/FDB",  "FDB/ECA",  "BDF/ACE"};
    for (const char* format : {"tiff", "png", "webp"}) {
        for (int value = 1; value <= 8; ++value)
            QTest::addRow("%s %d", format, value)
                << QByteArray(format) << value << Edit::None << layouts[value - 1];
    }
    QTest::newRow("png, chunk's checksum wrong")
        << QByteArray("png") << 6 << Edit::ChunkChecksumWrong << "AB/CD/EF";
    QTest::newRow("webp, Exif header before the block")
        << QByteArray("webp") << 6 << Edit::ExifHeaderBefore << layouts[5];
    QTest::newRow("webp, chunk past the file's length")
        << QByteArray("webp") << 6 << Edit::ChunkPastRiffEnd << "AB/CD/EF";
}

void tst_picture_markers::readerOrientation()
{
    QFETCH(QByteArray, format);
    QFETCH(int, orientation);
    QFETCH(Edit, edit);
    QFETCH(QString, upright);
    const QString path = folder.filePath("oriented." + format);
    if (format == "tiff") {
        // Qt's writer stores the tag from the transformation, in the order of its values.
        const QImageIOHandler::Transformation transformations[]
            = {QImageIOHandler::TransformationNone,
               QImageIOHandler::TransformationMirror,
               QImageIOHandler::TransformationRotate180,
               QImageIOHandler::TransformationFlip,
               QImageIOHandler::TransformationFlipAndRotate90,
               QImageIOHandler::TransformationRotate90,
               QImageIOHandler::TransformationMirrorAndRotate90,
               QImageIOHandler::TransformationRotate270};
        QImageWriter writer(path, "tiff");
        writer.setTransformation(transformations[orientation - 1]);
        QVERIFY(writer.write(sixBlocks()));
    } else {
        const QString source = folder.filePath("blocks.png");
        QVERIFY(sixBlocks().save(source));
        const QString failure = writeWithPillow(source, path, orientation);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = edited(file.readAll(), edit);
        QVERIFY(!bytes.isEmpty() && file.seek(0) && file.write(bytes) == bytes.size());
    }
    const QImage read = readAs(format, path);
    const QString differs = blocksDiffer(read, upright, 0);
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
    QCOMPARE(ReadPictureHeader(path.toStdString()).size, read.size());
}

void tst_picture_markers::jpegProfileGivesSrgb_data()
{
    QTest::addColumn<std::vector<JpegMarker>>("markers");
    QTest::addColumn<bool>("converted");
    const QByteArray p3 = displayP3Profile();
    QTest::newRow("no profile") << std::vector<JpegMarker> {} << false;
    QTest::newRow("Display P3, one chunk") << iccChunks(p3, 1, {1}) << true;
    QTest::newRow("Display P3, three chunks out of order") << iccChunks(p3, 3, {2, 3, 1}) << true;
    QTest::newRow("chunk missing") << iccChunks(p3, 3, {1, 3}) << false;
    QTest::newRow("chunk repeated") << iccChunks(p3, 2, {1, 2, 2}) << false;
    QTest::newRow("chunk numbered past the count") << iccChunks(p3, 2, {1, 3}) << false;
    QTest::newRow("not a profile") << iccChunks(QByteArray(300, 'x'), 1, {1}) << false;
}

void tst_picture_markers::jpegProfileGivesSrgb()
{
    QFETCH(std::vector<JpegMarker>, markers);
    QFETCH(bool, converted);
    const QImage stored = p3Swatches();
    const QString path = folder.filePath("profile.jpg");
    QVERIFY(writeFile(path, jpegFile(stored, JpegKind::Colour, markers)));
    const QImage picture = ReadJpegFile(path.toStdString());
    QCOMPARE(picture.size(), stored.size());
    const QString differs = swatchesDiffer(picture, converted);
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
}

void tst_picture_markers::readerProfileGivesSrgb_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("profiled");
    QTest::addColumn<QByteArray>("chunk"); // put into a PNG after its header
    for (const char* format : {"png", "tiff", "webp"}) {
        QTest::addRow("%s without a profile", format)
            << QByteArray(format) << false << QByteArray();
        QTest::addRow("%s in Display P3", format) << QByteArray(format) << true << QByteArray();
    }
    QTest::newRow("heic in Display P3") << QByteArray("heic") << true << QByteArray();
    // The gamma and chromaticities of sRGB, without a profile, as most programs write a PNG.
    QTest::newRow("png with a gamma and chromaticities")
        << QByteArray("png") << false
        << QByteArray::fromHex("0000000467414d410000b18f0bfc6105000000206348524d00007a2600008084"
                               "0000fa00000080e8000075300000ea6000003a98000017709cba513c");
}

void tst_picture_markers::readerProfileGivesSrgb()
{
    QFETCH(QByteArray, format);
    QFETCH(bool, profiled);
    QImage stored = p3Swatches();
    if (profiled)
        stored.setColorSpace(QColorSpace::fromIccProfile(displayP3Profile()));
    const QString path = folder.filePath("profile." + format);
    // Nothing in the project writes HEIC: libheif's own encoder makes it from a PNG, keeping
    // the PNG's profile.
    const bool heic = format == "heic";
    const QString written = heic ? folder.filePath("profile-source.png") : path;
    QImageWriter writer(written, heic ? "png" : format.constData());
    writer.setQuality(100); // WebP without loss
    QVERIFY(writer.write(stored));
    if (heic) {
        const QString failure = runWriter(
            QStringLiteral("/usr/bin/heif-enc"),
            {QStringLiteral("-q"), QStringLiteral("90"), written, QStringLiteral("-o"), path},
            "libheif-examples");
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
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
    // HEIC is lossy: within 4, where the coloured swatches stored as P3 are 13 and more off.
    const QString differs = swatchesDiffer(picture, true, heic ? 4 : 2);
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
}

QTEST_GUILESS_MAIN(tst_picture_markers)
#include "tst_picture_markers.moc"
