#include "imaging/picture_buffer.h"
#include "imaging/picture_formats.h"
#include "imaging/tests/picture_files.h"
#include "store/picture_limits.h"

#include <QBuffer>
#include <QColor>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <fstream>

#include <csignal>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <zlib.h>

using namespace picture_files;

namespace {

const QRgb white = qRgb(255, 255, 255);

// Large flat areas in a few colours, so that lossy JPEG keeps them within a step or two.
QImage blocks(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    const QRgb colours[]
        = {qRgb(200, 30, 40), qRgb(20, 180, 60), qRgb(30, 40, 220), qRgb(128, 128, 128)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, colours[(x / 16 + 2 * (y / 16)) % 4]);
    return image;
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Compares the centre of every 16 x 16 block, away from the JPEG block edges.
bool nearBlocks(const QImage& actual, const QImage& expected, int tolerance)
{
    if (actual.size() != expected.size())
        return false;
    for (int y = 8; y < expected.height(); y += 16)
        for (int x = 8; x < expected.width(); x += 16)
            if (!near(actual.pixel(x, y), expected.pixel(x, y), tolerance)) {
                qWarning("pixel %d,%d: %08x, expected %08x", x, y, actual.pixel(x, y),
                         expected.pixel(x, y));
                return false;
            }
    return true;
}

QByteArray bmpFile(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

// A 24-bit BMP header (file header and BITMAPINFOHEADER) claiming width x height with no
// pixel data behind it.
QByteArray bmpHeaderOnly(qint32 width, qint32 height)
{
    QByteArray bytes("BM");
    const auto put = [&bytes](qint64 v, int size) {
        for (int i = 0; i < size; ++i)
            bytes.append(char((v >> (8 * i)) & 255));
    };
    put(54 + qint64 {width} * 3 * height, 4);
    put(0, 4);
    put(54, 4);
    put(40, 4);
    put(width, 4);
    put(height, 4);
    put(1, 2);
    put(24, 2);
    bytes.append(QByteArray(24, '\0'));
    return bytes;
}

QByteArray savedAs(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// The blocks picture drawn as an SVG of its size.
QByteArray blocksSvg(int w, int h)
{
    QByteArray svg = QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='%1' "
                                    "height='%2'>")
                         .arg(w)
                         .arg(h)
                         .toUtf8();
    const QImage picture = blocks(w, h);
    for (int y = 0; y < h; y += 16)
        for (int x = 0; x < w; x += 16)
            svg += QStringLiteral("<rect x='%1' y='%2' width='16' height='16' fill='%3'/>")
                       .arg(x)
                       .arg(y)
                       .arg(QColor(picture.pixel(x, y)).name())
                       .toUtf8();
    return svg + "</svg>";
}

QByteArray testDataFile(const char* name)
{
    QFile file(qEnvironmentVariable("VISTREL_TEST_DATA") + "/" + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A width x height RGB32 picture of the given pixels, top row first.
QImage pictureOf(int width, int height, const std::vector<QRgb>& pixels)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, pixels[static_cast<std::size_t>(y * width + x)]);
    return image;
}

// A run-length coded 8-bit 4 x 4 BMP of black, red and green.
QByteArray runsFile(const QByteArray& runs, int width = 4, int height = 4)
{
    Dib dib;
    dib.width = width;
    dib.height = height;
    dib.bits = 8;
    dib.compression = 1;
    dib.palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0)};
    dib.pixels = runs;
    return bitmapFile(dib);
}

// An RGBA PNG of 16 bits a channel, every pixel zero, whose data are deflated by hand (one
// literal zero, then copies of the 258 bytes before), so that gigabytes of picture cost
// megabytes and no encoder.
QByteArray zeroRgba64Png(quint32 width, quint32 height, bool interlaced)
{
    const auto bigEndian = [](QByteArray& out, quint32 value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.append(char((value >> shift) & 255));
    };
    const auto chunk = [&bigEndian](const char* type, const QByteArray& body) {
        QByteArray typed = QByteArray(type) + body;
        QByteArray out;
        bigEndian(out, static_cast<quint32>(body.size()));
        bigEndian(out,
                  static_cast<quint32>(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()),
                                             static_cast<uInt>(typed.size()))));
        return out.insert(4, typed);
    };
    // Each row: its filter byte, then 8 bytes a pixel.
    const quint64 length = quint64 {height} * (1 + quint64 {width} * 8);
    QByteArray stream("\x78\x01", 2);
    quint64 buffer = 0;
    int count = 0;
    const auto bits = [&](quint32 value, int size) { // least significant first
        buffer |= quint64 {value} << count;
        for (count += size; count >= 8; count -= 8, buffer >>= 8)
            stream.append(char(buffer & 255));
    };
    bits(3, 3); // the last block, fixed codes
    bits(0x0C, 8); // literal 0
    for (quint64 i = 0; i < (length - 1) / 258; ++i)
        bits(0xA3, 13); // length 258 at distance 1
    for (quint64 i = 0; i < (length - 1) % 258; ++i)
        bits(0x0C, 8);
    bits(0, 7 + 7); // end of block, then up to a byte
    bigEndian(stream, static_cast<quint32>(length % 65521) << 16 | 1); // Adler-32 of zeros
    QByteArray header;
    bigEndian(header, width);
    bigEndian(header, height);
    header.append(QByteArray::fromHex(interlaced ? "1006000001" : "1006000000"));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", stream)
        + chunk("IEND", {});
}

// A lossless WebP's picture inside an extended file whose canvas claims width x height.
QByteArray webpCanvas(const QByteArray& lossless, int width, int height)
{
    const auto little = [](QByteArray& out, quint32 value, int size) {
        for (int i = 0; i < size; ++i)
            out.append(char((value >> (8 * i)) & 255));
    };
    QByteArray body("WEBPVP8X");
    little(body, 10, 4);
    little(body, 0, 4);
    little(body, static_cast<quint32>(width - 1), 3);
    little(body, static_cast<quint32>(height - 1), 3);
    body += lossless.mid(12);
    QByteArray file("RIFF");
    little(file, static_cast<quint32>(body.size()), 4);
    return file + body;
}

// A width x height RGB TIFF of a smooth pattern written by libtiff: compressed as
// compression says, in strips of rowsPerStrip rows (0: tiles of 256 x 256), its samples
// interleaved or in planes.
QByteArray tiffFile(int width, int height, int compression, int rowsPerStrip, bool planes)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("written.tif");
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff)
        return {};
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    const int samples = planes ? 1 : 3;
    const int planeCount = planes ? 3 : 1;
    const auto sample = [](int x, int y, int plane) {
        return static_cast<unsigned char>((x / 7 + y / 5 + 80 * plane) & 255);
    };
    if (rowsPerStrip > 0) {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        std::vector<unsigned char> row(static_cast<std::size_t>(width) * samples);
        for (int plane = 0; plane < planeCount; ++plane)
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x)
                    for (int s = 0; s < samples; ++s)
                        row[static_cast<std::size_t>(x * samples + s)] = sample(x, y, plane + s);
                TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y),
                                  static_cast<std::uint16_t>(plane));
            }
    } else {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 256);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, 256);
        std::vector<unsigned char> tile(std::size_t {256} * 256 * samples);
        for (int plane = 0; plane < planeCount; ++plane)
            for (int top = 0; top < height; top += 256)
                for (int left = 0; left < width; left += 256) {
                    for (int y = 0; y < 256; ++y)
                        for (int x = 0; x < 256; ++x)
                            for (int s = 0; s < samples; ++s)
                                tile[static_cast<std::size_t>((y * 256 + x) * samples + s)]
                                    = sample(left + x, top + y, plane + s);
                    TIFFWriteTile(tiff, tile.data(), static_cast<std::uint32_t>(left),
                                  static_cast<std::uint32_t>(top), 0,
                                  static_cast<std::uint16_t>(plane));
                }
    }
    TIFFClose(tiff);
    QFile written(path);
    return written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
}

// The process's resident memory now and at its peak, in bytes.
std::int64_t residentBytes(const char* which)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(which, 0) == 0)
            return std::stoll(line.substr(std::strlen(which))) * 1024;
    return -1;
}

} // namespace

class tst_picture_formats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void extension_data();
    void extension();
    void decoderTable_data();
    void decoderTable();
    void formatTable_data();
    void formatTable();
    void pictureNames_data();
    void pictureNames();
    void readmeListsTheFormats();
    void opensByContent_data();
    void opensByContent();
    void pictureLimit_data();
    void pictureLimit();
    void readsEveryRasterFormat_data();
    void readsEveryRasterFormat();
    void jpegColourSpaces_data();
    void jpegColourSpaces();
    void jpegCutShortIsShown();
    void gifFrames_data();
    void gifFrames();
    void iconTakesLargestOnWhite();
    void bitmapRowOrders_data();
    void bitmapRowOrders();
    void bitmapChannelsScaleExactly_data();
    void bitmapChannelsScaleExactly();
    void bitmapPixelOffset_data();
    void bitmapPixelOffset();
    void runsEndingEarlyLeaveWhite();
    void runsAsOtherProgramsWriteThem_data();
    void runsAsOtherProgramsWriteThem();
    void iconEntries_data();
    void iconEntries();
    void namesThatAreNotUtf8_data();
    void namesThatAreNotUtf8();
    void regressionFiles();
    void unreadableGivesNone_data();
    void unreadableGivesNone();
    void notAFile();
    void overTheLimitIsRefused_data();
    void overTheLimitIsRefused();
    void decodeFigureCoversPeak_data();
    void decodeFigureCoversPeak();

private:
    QString write(const QString& name, const QByteArray& bytes);
    QTemporaryDir dir;
};

QString tst_picture_formats::write(const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    if (!writeFile(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void tst_picture_formats::initTestCase()
{
    QVERIFY(dir.isValid());
    // libjxl comes with the first JPEG XL picture (the "jxl" row reads one), not with the
    // program: loading it costs every start several milliseconds.
    QFile maps("/proc/self/maps");
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(!maps.readAll().contains("libjxl"));
}

void tst_picture_formats::cleanup()
{
    // Every load, read or not, puts the cursor back.
    QVERIFY(!QGuiApplication::overrideCursor());
}

void tst_picture_formats::extension_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lower") << "/p/photo.jpg"
                           << ".JPG";
    QTest::newRow("upper") << "/p/photo.JPG"
                           << ".JPG";
    QTest::newRow("mixed") << "/p/photo.JpEg"
                           << ".JPEG";
    QTest::newRow("no dot") << "/p/readme"
                            << "";
    QTest::newRow("last dot wins") << "/p/archive.tar.gz"
                                   << ".GZ";
    QTest::newRow("dot in folder only") << "/p.d/readme"
                                        << "";
    QTest::newRow("dot at end") << "/p/name."
                                << ".";
    QTest::newRow("hidden name") << "/p/.gif"
                                 << ".GIF";
    QTest::newRow("non-ASCII kept")
        << QString::fromUtf8("/p/x.j\u00e9pg") << QString::fromUtf8(".J\u00e9PG");
}

void tst_picture_formats::extension()
{
    QFETCH(QString, fileName);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(PictureExtension(fileName.toStdString())), expected);
}

void tst_picture_formats::decoderTable_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("hasDecoder");
    for (const char* known :
         {".BMP", ".DIB", ".WMF", ".EMF", ".GIF", ".JPG", ".JPEG", ".ICO", ".PNG", ".WEBP", ".TIF",
          ".TIFF", ".SVG", ".HEIC", ".HEIF", ".AVIF", ".JXL"})
        QTest::newRow(known) << known << true;
    for (const char* unknown : {"", ".GZ", ".SVGZ", ".jpg", ".JPE", "BMP", ".BMP "})
        QTest::addRow("'%s'", unknown) << unknown << false;
}

void tst_picture_formats::decoderTable()
{
    QFETCH(QString, extension);
    QFETCH(bool, hasDecoder);
    QCOMPARE(CreateGraphicForFile(extension.toStdString()) != nullptr, hasDecoder);
    QVERIFY(GraphicToBitmap(nullptr).isNull());
}

void tst_picture_formats::formatTable_data()
{
    QTest::addColumn<int>("index");
    for (const PictureFormat& format : PictureFormats())
        QTest::newRow(std::string(format.Name).c_str())
            << static_cast<int>(&format - PictureFormats().data());
}

// Everything the program does with a format comes from its entry: its extensions, the
// list's filter, and its signature, checked on the seed files of its fuzz target's corpus
// (other programs' files and our builders'), renamed so that no extension helps.
void tst_picture_formats::formatTable()
{
    QFETCH(int, index);
    const PictureFormat& format = PictureFormats()[static_cast<std::size_t>(index)];
    for (std::string_view extension : format.Extensions) {
        if (extension.empty())
            continue;
        const std::string lower
            = QString::fromLatin1(extension.data(), extension.size()).toLower().toStdString();
        QCOMPARE(FormatOfExtension(lower), &format);
        QVERIFY(CreateGraphicForFile(std::string(extension)) != nullptr);
        QCOMPARE(IsPictureFileName("/f/name" + lower), format.Listed);
    }
    const QString source
        = QFileInfo(qEnvironmentVariable("VISTREL_TEST_DATA") + "/../../..").absoluteFilePath();
    const QString key = QString::fromLatin1(format.Key.data(), format.Key.size());
    QDir corpus(source + "/imaging/tests/fuzz/fuzz_load_" + key);
    if (!corpus.exists())
        corpus.setPath(source + "/metafile/tests/fuzz/fuzz_" + key);
    const QStringList seeds = corpus.entryList({"seed-*"}, QDir::Files);
    QVERIFY2(!seeds.isEmpty(), qPrintable(corpus.path() + " holds no seed"));
    for (const QString& seed : seeds) {
        QFile file(corpus.filePath(seed));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::string path = write("seed", file.readAll()).toStdString();
        QVERIFY2(FormatOfFile(path) == &format, qPrintable(seed));
    }
}

void tst_picture_formats::pictureNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("picture");

    QTest::newRow("JPEG upper") << "/f/a.JPEG" << true;
    QTest::newRow("gif lower") << "/f/b.gif" << true;
    QTest::newRow("mixed case jpg") << "/f/x.JpG" << true;
    QTest::newRow("all the others") << "/f/a.bmp" << true;
    QTest::newRow("dib") << "/f/a.dib" << true;
    QTest::newRow("wmf") << "/f/a.wmf" << true;
    QTest::newRow("emf") << "/f/a.Emf" << true;
    for (const char* listed : {"/f/c.Tif", "/f/c.tiff", "/f/s.png", "/f/w.WebP", "/f/d.svg",
                               "/f/p.HEIC", "/f/p.heif", "/f/p.avif", "/f/x.jxl"})
        QTest::newRow(listed) << listed << true;
    QTest::newRow("compressed drawings are not read") << "/f/d.svgz" << false;
    QTest::newRow("icons are not listed") << "/f/c.ico" << false;
    QTest::newRow("no extension") << "/f/d" << false;
    QTest::newRow("dot only in the folder") << "/f.jpg/d" << false;
    QTest::newRow("extension after another") << "/f/a.jpg.txt" << false;
}

void tst_picture_formats::pictureNames()
{
    QFETCH(QString, name);
    QTEST(IsPictureFileName(name.toStdString()), "picture");
}

// The README's list of formats is the table's, in its order: a format added to the table
// and not to the README fails here, with the sentence to put there.
void tst_picture_formats::readmeListsTheFormats()
{
    QStringList listed;
    QStringList named;
    for (const PictureFormat& format : PictureFormats()) {
        QString name = QString::fromUtf8(format.Name.data(), format.Name.size());
        if (!format.Shown.empty())
            name += " (" + QString::fromUtf8(format.Shown.data(), format.Shown.size()) + ")";
        (format.Listed ? listed : named) << name;
    }
    const QString last = listed.takeLast();
    QString sentence = "The folder list offers " + listed.join(", ") + " and " + last + " files";
    for (const QString& name : std::as_const(named))
        sentence += "; " + name + " files are not listed but open when you name them";
    QFile readme(qEnvironmentVariable("VISTREL_TEST_DATA") + "/../../../README.md");
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll()).simplified();
    QVERIFY2(text.contains(sentence), qPrintable("README.md should say: " + sentence));
}

void tst_picture_formats::opensByContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("tolerance");
    const QImage picture = blocks(48, 32);
    const QByteArray jpeg = jpegFile(picture, JpegKind::Colour);
    const QByteArray png = savedAs(picture, "PNG");
    QTest::newRow("png named jpg") << "picture.jpg" << png << 0;
    QTest::newRow("jpeg named png") << "picture.png" << jpeg << 4;
    QTest::newRow("jpeg named bmp") << "picture.bmp" << jpeg << 4;
    QTest::newRow("jpeg without extension") << "picture" << jpeg << 4;
    QTest::newRow("jpeg named tar.gz") << "picture.tar.gz" << jpeg << 4;
    QTest::newRow("bmp named jpg") << "picture.jpg" << bmpFile(picture) << 0;
    std::vector<unsigned char> indices;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            indices.push_back(static_cast<unsigned char>((x / 16 + 2 * (y / 16)) % 4));
    const QByteArray gif = gifFile(
        48, 32, {qRgb(200, 30, 40), qRgb(20, 180, 60), qRgb(30, 40, 220), qRgb(128, 128, 128)},
        {GifFrame {0, 0, 48, 32, false, -1, {}, indices}});
    QTest::newRow("gif named ico") << "picture.ico" << gif << 0;
    QTest::newRow("ico named gif") << "picture.gif" << iconFile({picture}) << 0;
    QTest::newRow("webp named png") << "picture.png" << savedAs(picture, "WEBP", 100) << 0;
    QTest::newRow("tiff named jpg") << "picture.jpg" << savedAs(picture, "TIFF") << 0;
    QTest::newRow("svg named txt") << "drawing.txt" << blocksSvg(48, 32) << 0;
    QTest::newRow("heic named jpg") << "photo.jpg" << testDataFile("blocks.heic") << 12;
    QTest::newRow("jxl named png") << "picture.png" << testDataFile("blocks.jxl") << 0;
    // A DIB without its file header has no signature: its extension decides.
    QTest::newRow("dib without file header") << "bare.dib" << bmpFile(picture).mid(14) << 0;
}

// A file is read by the format its first bytes name, whatever its name says; the header
// reading that the decode ahead trusts follows the same choice.
void tst_picture_formats::opensByContent()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, tolerance);
    const std::string path = write(name, bytes).toStdString();
    const QImage loaded = LoadImageFile(path);
    QVERIFY(nearBlocks(loaded, blocks(48, 32), tolerance));
    QCOMPARE(ReadPictureHeader(path).size, loaded.size());
}

void tst_picture_formats::pictureLimit_data()
{
    QTest::addColumn<qint64>("width");
    QTest::addColumn<qint64>("height");
    QTest::addColumn<bool>("fits");
    QTest::newRow("exactly 2 GiB") << qint64 {16384} << qint64 {32768} << true;
    QTest::newRow("one row more") << qint64 {16384} << qint64 {32769} << false;
    QTest::newRow("one column more") << qint64 {16385} << qint64 {32768} << false;
    QTest::newRow("one long row") << qint64 {1} << (qint64 {1} << 29) << true;
    QTest::newRow("empty") << qint64 {0} << qint64 {10} << false;
    QTest::newRow("negative") << qint64 {-4} << qint64 {-4} << false;
    QTest::newRow("product overflows") << (qint64 {1} << 40) << (qint64 {1} << 40) << false;
}

void tst_picture_formats::pictureLimit()
{
    QFETCH(qint64, width);
    QFETCH(qint64, height);
    QFETCH(bool, fits);
    QCOMPARE(FitsPictureLimit(width, height), fits);
}

void tst_picture_formats::readsEveryRasterFormat_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("tolerance");
    const QImage picture = blocks(48, 32);
    const QByteArray jpeg = jpegFile(picture, JpegKind::Colour);
    QTest::newRow("photo.jpg") << "photo.jpg" << jpeg << 4;
    QTest::newRow("photo.JPG") << "photo.JPG" << jpeg << 4;
    QTest::newRow("photo.JpEg") << "photo.JpEg" << jpeg << 4;
    QTest::newRow("progressive") << "progressive.jpeg" << jpegFile(picture, JpegKind::Progressive)
                                 << 4;
    QTest::newRow("bmp 24-bit") << "picture.bmp" << bmpFile(picture) << 0;
    QTest::newRow("bmp 8-bit") << "picture.BMP"
                               << bmpFile(picture.convertToFormat(QImage::Format_Indexed8)) << 0;
    QTest::newRow("dib") << "picture.dib" << bmpFile(picture) << 0;
    QTest::newRow("dib without file header") << "bare.dib" << bmpFile(picture).mid(14) << 0;

    std::vector<unsigned char> indices;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            indices.push_back(static_cast<unsigned char>((x / 16 + 2 * (y / 16)) % 4));
    const std::vector<QRgb> colours {qRgb(200, 30, 40), qRgb(20, 180, 60), qRgb(30, 40, 220),
                                     qRgb(128, 128, 128)};
    QTest::newRow("gif") << "picture.Gif"
                         << gifFile(48, 32, colours,
                                    {GifFrame {0, 0, 48, 32, false, -1, {}, indices}})
                         << 0;
    QTest::newRow("png") << "picture.png" << savedAs(picture, "PNG") << 0;
    QTest::newRow("png with alpha")
        << "alpha.png" << savedAs(picture.convertToFormat(QImage::Format_ARGB32), "PNG") << 0;
    QTest::newRow("webp") << "picture.webp" << savedAs(picture, "WEBP", 100) << 0;
    QTest::newRow("tiff") << "picture.tif" << savedAs(picture, "TIFF") << 0;
    QTest::newRow("svg") << "drawing.svg" << blocksSvg(48, 32) << 0;
    // Written by ImageMagick through libheif from the same blocks; lossy.
    QTest::newRow("heic") << "photo.heic" << testDataFile("blocks.heic") << 12;
    QTest::newRow("avif") << "photo.avif" << testDataFile("blocks.avif") << 12;
    // Written losslessly by libjxl's encoder.
    QTest::newRow("jxl") << "picture.jxl" << testDataFile("blocks.jxl") << 0;
}

void tst_picture_formats::readsEveryRasterFormat()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, tolerance);
    const int qtLimit = QImageReader::allocationLimit();
    const std::string path = write(name, bytes).toStdString();
    const QImage loaded = LoadImageFile(path);
    QCOMPARE(QImageReader::allocationLimit(), qtLimit);
    QCOMPARE(loaded.format(), QImage::Format_RGB32);
    QVERIFY(nearBlocks(loaded, blocks(48, 32), tolerance));
    // The header tells the same size without the decode.
    QCOMPARE(ReadPictureHeader(path).size, loaded.size());
}

void tst_picture_formats::jpegColourSpaces_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QRgb>("stored");
    QTest::addColumn<QRgb>("expected");
    // Adobe CMYK is stored inverted: (255 - C, 255 - M, 255 - Y, 255 - K) in the test's
    // (red, green, blue, alpha) bytes. Without a profile in the file, the inks go through the
    // standard press profile (SWOP): the colours Pillow's LittleCMS gives them from it.
    QTest::newRow("cmyk red") << int(JpegKind::AdobeCmyk) << qRgba(255, 0, 0, 255)
                              << qRgb(237, 39, 45);
    QTest::newRow("cmyk half black")
        << int(JpegKind::AdobeCmyk) << qRgba(255, 255, 255, 128) << qRgb(149, 151, 154);
    QTest::newRow("cmyk blue") << int(JpegKind::AdobeCmyk) << qRgba(0, 0, 255, 255)
                               << qRgb(53, 55, 148);
    QTest::newRow("ycck green") << int(JpegKind::AdobeYcck) << qRgba(0, 255, 0, 255)
                                << qRgb(0, 167, 84);
    QTest::newRow("ycck dark") << int(JpegKind::AdobeYcck) << qRgba(255, 255, 255, 64)
                               << qRgb(102, 103, 105);
    QTest::newRow("grayscale") << int(JpegKind::Grayscale) << qRgb(90, 90, 90) << qRgb(90, 90, 90);
}

void tst_picture_formats::jpegColourSpaces()
{
    QFETCH(int, kind);
    QFETCH(QRgb, stored);
    QFETCH(QRgb, expected);
    QImage flat(24, 16, QImage::Format_ARGB32);
    flat.fill(stored);
    const QImage loaded
        = LoadImageFile(write("colours.jpg", jpegFile(flat, JpegKind(kind))).toStdString());
    QCOMPARE(loaded.format(), QImage::Format_RGB32);
    QCOMPARE(loaded.size(), flat.size());
    QVERIFY2(near(loaded.pixel(12, 8), expected, 3),
             qPrintable(QString::number(loaded.pixel(12, 8), 16)));
}

void tst_picture_formats::jpegCutShortIsShown()
{
    // A gradient, so that the scan data is most of the file.
    QImage picture(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            picture.setPixel(x, y, qRgb(x * 4, y * 4, (x * y) & 255));
    const QByteArray whole = jpegFile(picture, JpegKind::Colour);
    QVERIFY(whole.indexOf("\xff\xda") < whole.size() / 3);
    // Scan data cut short: libjpeg warns and fills the rest itself; the picture is shown.
    const QImage cut
        = LoadImageFile(write("cut.jpg", whole.left(whole.size() * 2 / 3)).toStdString());
    QCOMPARE(cut.size(), picture.size());
    QVERIFY(near(cut.pixel(1, 1), picture.pixel(1, 1), 4));
    // Cut inside the header: nothing to show.
    QVERIFY(LoadImageFile(write("header.jpg", whole.left(100)).toStdString()).isNull());
}

void tst_picture_formats::gifFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("expected");
    const QRgb red = qRgb(255, 0, 0);
    const QRgb green = qRgb(0, 255, 0);
    const QRgb blue = qRgb(0, 0, 255);
    const std::vector<QRgb> global {red, green, blue, qRgb(0, 0, 0)};

    // A 4 x 3 frame at (2, 1) of an 8 x 5 screen, transparent index 1; a second, full frame
    // in other colours must not show.
    const std::vector<unsigned char> small {0, 1, 2, 0, 2, 2, 1, 0, 0, 0, 0, 0};
    GifFrame first {2, 1, 4, 3, false, 1, {}, small};
    GifFrame second {0, 0, 8, 5, false, -1, {}, std::vector<unsigned char>(40, 3)};
    QImage placed(8, 5, QImage::Format_RGB32);
    placed.fill(white);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const unsigned char i = small[static_cast<std::size_t>(y * 4 + x)];
            if (i != 1)
                placed.setPixel(2 + x, 1 + y, global[i]);
        }
    QTest::newRow("animated, small transparent first frame")
        << gifFile(8, 5, global, {first, second}) << placed;

    // Rows stored in interlaced order: 0, 8, 4, 2, 6, then 1, 3, 5, 7, 9. Row y's colour is
    // y % 3 as stored, so rows out of place show.
    const int stored[] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    std::vector<unsigned char> interlacedRows;
    QImage interlaced(3, 10, QImage::Format_RGB32);
    for (int row : stored)
        for (int x = 0; x < 3; ++x)
            interlacedRows.push_back(static_cast<unsigned char>(row % 3));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 3; ++x)
            interlaced.setPixel(x, y, global[static_cast<std::size_t>(y % 3)]);
    QTest::newRow("interlaced") << gifFile(3, 10, global,
                                           {GifFrame {0, 0, 3, 10, true, -1, {}, interlacedRows}})
                                << interlaced;

    // The frame's own table wins over the screen's.
    QImage local(2, 2, QImage::Format_RGB32);
    local.fill(qRgb(10, 20, 30));
    QTest::newRow("local colour table") << gifFile(
        2, 2, global, {GifFrame {0, 0, 2, 2, false, -1, {qRgb(10, 20, 30), red}, {0, 0, 0, 0}}})
                                        << local;

    // A frame reaching past the screen is cut at the screen's edge.
    QImage clipped(3, 2, QImage::Format_RGB32);
    clipped.fill(white);
    clipped.setPixel(1, 1, blue);
    clipped.setPixel(2, 1, blue);
    QTest::newRow("frame past the screen") << gifFile(
        3, 2, global, {GifFrame {1, 1, 4, 4, false, -1, {}, std::vector<unsigned char>(16, 2)}})
                                           << clipped;

    // Found by fuzzing: a frame that starts beyond the screen's right edge draws nothing.
    QImage blank(3, 2, QImage::Format_RGB32);
    blank.fill(white);
    QTest::newRow("frame beyond the right edge")
        << gifFile(3, 2, global, {GifFrame {64, 0, 2, 2, false, -1, {}, {0, 1, 2, 3}}}) << blank;

    // Rows below the screen are never decoded: a 4 x 2000 frame on a 4 x 2 screen, its data
    // cut after the first sub-block (which holds far more than the two rows shown).
    std::vector<unsigned char> tall;
    std::uint32_t seed = 7;
    for (int i = 0; i < 4 * 2000; ++i) {
        seed = seed * 1103515245u + 12345u;
        tall.push_back(static_cast<unsigned char>((seed >> 16) & 3));
    }
    QByteArray tallFile = gifFile(4, 2, global, {GifFrame {0, 0, 4, 2000, false, -1, {}, tall}});
    // Header and table (25 bytes), descriptor (10), code size (1), then the sub-blocks.
    QCOMPARE(static_cast<uchar>(tallFile[36]), uchar(255));
    tallFile.truncate(36 + 1 + 255 + 50);
    QImage top(4, 2, QImage::Format_RGB32);
    for (int i = 0; i < 8; ++i)
        top.setPixel(i % 4, i / 4, global[tall[static_cast<std::size_t>(i)]]);
    QTest::newRow("frame below the screen, cut short") << tallFile << top;
}

void tst_picture_formats::gifFrames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, expected);
    const QImage loaded = LoadImageFile(write("frames.gif", bytes).toStdString());
    QCOMPARE(loaded.format(), QImage::Format_RGB32);
    QCOMPARE(loaded, expected);
}

void tst_picture_formats::iconTakesLargestOnWhite()
{
    QImage small(16, 16, QImage::Format_ARGB32);
    small.fill(qRgb(255, 0, 0));
    QImage large(48, 48, QImage::Format_ARGB32);
    large.fill(qRgb(0, 0, 255));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            large.setPixel(x, y, qRgba(0, 0, 0, 0));
    QImage middle(32, 32, QImage::Format_ARGB32);
    middle.fill(qRgb(0, 255, 0));
    const std::string path = write("sizes.ico", iconFile({small, large, middle})).toStdString();
    const QImage loaded = LoadImageFile(path);
    QCOMPARE(loaded.size(), QSize(48, 48));
    QCOMPARE(ReadPictureHeader(path).size, QSize(48, 48));
    QCOMPARE(loaded.format(), QImage::Format_RGB32);
    QCOMPARE(loaded.pixel(2, 2), white);
    QCOMPARE(loaded.pixel(30, 30), qRgb(0, 0, 255));
}

void tst_picture_formats::bitmapRowOrders_data()
{
    QTest::addColumn<QByteArray>("bottomUp");
    QTest::addColumn<QByteArray>("topDown");
    QTest::addColumn<QImage>("expected");
    // 5 x 3, so that every depth's rows need padding.
    const int w = 5;
    const int h = 3;
    for (int header : {40, 108, 124})
        for (int bits : {1, 4, 8, 16, 24, 32}) {
            Dib dib;
            dib.headerSize = header;
            dib.width = w;
            dib.bits = bits;
            std::vector<quint32> values;
            std::vector<QRgb> pixels;
            const int colours = bits <= 8 ? std::min(1 << bits, 16) : 0;
            for (int i = 0; i < colours; ++i)
                dib.palette.push_back(qRgb(i * 13, 255 - i * 37 % 256, i * 71 % 256));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    if (bits <= 8) {
                        values.push_back(static_cast<quint32>((x + 2 * y) % colours));
                        pixels.push_back(dib.palette[values.back()]);
                    } else if (bits == 16) {
                        // 5-5-5 channels at 0 or their maximum.
                        const quint32 r = x & 1, g = (x + y) & 1, b = y & 1;
                        values.push_back(r * 0x7C00 | g * 0x03E0 | b * 0x1F);
                        pixels.push_back(qRgb(int(r) * 255, int(g) * 255, int(b) * 255));
                    } else {
                        const QRgb colour = qRgb(x * 50, y * 80, x * y * 10);
                        values.push_back(colour & 0xFFFFFF);
                        pixels.push_back(colour);
                    }
                }
            dib.height = h;
            dib.pixels = packRows(values, w, bits, false);
            const QByteArray bottomUp = bitmapFile(dib);
            dib.height = -h;
            dib.pixels = packRows(values, w, bits, true);
            QTest::addRow("%d-byte header, %d bits", header, bits)
                << bottomUp << bitmapFile(dib) << pictureOf(w, h, pixels);
        }
}

// Rows stored top row first (a negative height) give the same picture as bottom row first.
void tst_picture_formats::bitmapRowOrders()
{
    QFETCH(QByteArray, bottomUp);
    QFETCH(QByteArray, topDown);
    QFETCH(QImage, expected);
    QCOMPARE(LoadImageFile(write("bottom-up.bmp", bottomUp).toStdString()), expected);
    QCOMPARE(LoadImageFile(write("top-down.bmp", topDown).toStdString()), expected);
}

void tst_picture_formats::bitmapChannelsScaleExactly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("expected");
    // Two pixels a row; each channel's maximum must give 255, any alpha composites on white.
    const auto row
        = [](const char* name, int header, int bits, int compression, std::vector<quint32> masks,
             std::vector<quint32> values, std::vector<QRgb> expected) {
              Dib dib;
              dib.headerSize = header;
              dib.width = 2;
              dib.height = 1;
              dib.bits = bits;
              dib.compression = compression;
              dib.masks = std::move(masks);
              dib.pixels = packRows(values, 2, bits, false);
              QTest::newRow(name) << bitmapFile(dib) << pictureOf(2, 1, expected);
          };
    row("5-5-5", 40, 16, 0, {}, {0x7C00, 0x4210}, {qRgb(255, 0, 0), qRgb(132, 132, 132)});
    row("5-6-5", 40, 16, 3, {0xF800, 0x07E0, 0x001F}, {0xFFFF, 0x0010},
        {qRgb(255, 255, 255), qRgb(0, 0, 132)});
    row("1-bit alpha", 108, 16, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}, {0x83E0, 0x03E0},
        {qRgb(0, 255, 0), white});
    row("10-10-10-2", 124, 32, 3, {0x3FF00000, 0x000FFC00, 0x3FF, 0xC0000000},
        {0xFFF00000, 0x400003FF}, {qRgb(255, 0, 0), qRgb(170, 170, 255)});
    row("8-8-8-8 half alpha", 124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {0x80FF0000, 0xFF0000FF}, {qRgb(255, 127, 127), qRgb(0, 0, 255)});
    row("no green bits", 40, 16, 3, {0xF800, 0, 0x001F}, {0xFFFF, 0x07FF}, // found by fuzzing
        {qRgb(255, 0, 255), qRgb(0, 0, 255)});
    row("alpha field all zero: opaque", 56, 32, 6, {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {0x00FF0000, 0x0000FF00}, {qRgb(255, 0, 0), qRgb(0, 255, 0)});
}

void tst_picture_formats::bitmapChannelsScaleExactly()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, expected);
    QCOMPARE(LoadImageFile(write("channels.bmp", bytes).toStdString()), expected);
}

void tst_picture_formats::bitmapPixelOffset_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("expected");
    // Pixels that do not start right after the colour table: the file header says where.
    const std::vector<QRgb> colours {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(9, 99, 199)};
    const std::vector<quint32> indices {0, 1, 2, 1, 0, 2};
    std::vector<QRgb> pixels;
    for (quint32 i : indices)
        pixels.push_back(colours[i]);
    for (int header : {12, 16, 40, 64}) {
        Dib dib;
        dib.headerSize = header;
        dib.width = 3;
        dib.height = 2;
        dib.bits = 4;
        dib.palette = colours;
        // The short table ends where the pixels start; the full one is followed by a gap.
        if (header != 12) {
            dib.palette.resize(16, qRgb(1, 2, 3));
            dib.gap = 5;
        }
        dib.pixels = packRows(indices, 3, 4, false);
        QTest::addRow("%d-byte header, 4 bits", header)
            << bitmapFile(dib) << pictureOf(3, 2, pixels);
    }
    Dib rgb;
    rgb.width = 3;
    rgb.height = 2;
    rgb.pixels = packRows({0xFF0000, 0xFF, 0x0963C7, 0xFF, 0xFF0000, 0x0963C7}, 3, 24, false);
    rgb.gap = 7;
    QTest::newRow("40-byte header, 24 bits") << bitmapFile(rgb) << pictureOf(3, 2, pixels);
}

void tst_picture_formats::bitmapPixelOffset()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, expected);
    QCOMPARE(LoadImageFile(write("offset.bmp", bytes).toStdString()), expected);
}

// Run-length data that end without their end marker show what they drew; what they did
// not reach, and what a jump skipped, is white.
void tst_picture_formats::runsEndingEarlyLeaveWhite()
{
    const QByteArray runs = QByteArray::fromHex("0401"
                                                "0000" // bottom row: 4 red
                                                "00020200"
                                                "0202"
                                                "0000" // jump 2, 2 green
                                                "000301020100"); // red, green, red; cut off
    const QRgb r = qRgb(255, 0, 0);
    const QRgb g = qRgb(0, 255, 0);
    const QRgb w = white;
    const QImage expected = pictureOf(4, 4, {w, w, w, w, r, g, r, w, w, w, g, g, r, r, r, r});
    QCOMPARE(LoadImageFile(write("runs.bmp", runsFile(runs)).toStdString()), expected);
}

void tst_picture_formats::runsAsOtherProgramsWriteThem_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("expected");
    const std::vector<QRgb> colours {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0)};
    // Rows of runs of one pixel each (two bytes a pixel, as noisy rows are stored), run to
    // padded pixels long, while the picture shows width of them.
    const auto row = [&colours](const char* name, int bits, int width, int padded) {
        const int height = 8;
        Dib dib;
        dib.width = width;
        dib.height = height;
        dib.bits = bits;
        dib.compression = bits == 8 ? 1 : 2;
        dib.palette = colours;
        std::vector<QRgb> pixels(static_cast<std::size_t>(width * height));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < padded; ++x) {
                const int index = (x + y) % 3;
                dib.pixels.append(char(1)).append(char(bits == 8 ? index : index << 4));
                if (x < width)
                    pixels[static_cast<std::size_t>((height - 1 - y) * width + x)]
                        = colours[static_cast<std::size_t>(index)];
            }
            dib.pixels.append(QByteArray::fromHex("0000"));
        }
        dib.pixels.append(QByteArray::fromHex("0001"));
        QTest::newRow(name) << bitmapFile(dib) << pictureOf(width, height, pixels);
    };
    row("8 bits, two bytes a pixel", 8, 8, 8);
    row("8 bits, into the padding", 8, 5, 8);
    row("4 bits, into the padding", 4, 3, 8);
}

// Runs as other programs write them: longer than the picture's pixels, and reaching into
// each row's padding.
void tst_picture_formats::runsAsOtherProgramsWriteThem()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, expected);
    QCOMPARE(LoadImageFile(write("runs.bmp", bytes).toStdString()), expected);
}

void tst_picture_formats::iconEntries_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("expected");
    const auto flat = [](int size, QRgb colour) {
        QImage image(size, size, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    };
    const QRgb red = qRgb(255, 0, 0);
    const QRgb green = qRgb(0, 160, 0);
    const QRgb blue = qRgb(0, 0, 255);
    const std::vector<QRgb> palette {red, green, blue};
    // Of the 48 x 48 entries the 32-bit one, though listed last.
    QTest::newRow("most colours of the largest") << iconOfEntries(
        {iconEntry(flat(16, blue), 32, {}, {}), iconEntry(flat(48, red), 4, palette, {}),
         iconEntry(flat(48, green), 8, palette, {}),
         iconEntry(flat(48, blue).convertToFormat(QImage::Format_ARGB32), 32, {}, {})})
                                                 << flat(48, blue);

    // Entries without alpha: the AND mask's set bits are transparent, so white.
    std::vector<quint32> mask;
    QImage masked = flat(8, green);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            mask.push_back(x < 3 ? 1 : 0);
            if (x < 3)
                masked.setPixel(x, y, white);
        }
    QTest::newRow("24-bit with mask")
        << iconOfEntries({iconEntry(flat(8, green), 24, {}, mask)}) << masked;
    QImage noAlpha(8, 8, QImage::Format_ARGB32);
    noAlpha.fill(qRgba(0, 160, 0, 0));
    // A 32-bit entry's alpha is its transparency, its mask never: all zero is clear.
    QTest::newRow("32-bit, alpha all zero, with mask")
        << iconOfEntries({iconEntry(noAlpha, 32, {}, mask)}) << flat(8, white);

    // The 124-byte header puts the pixels 84 bytes later than the 40-byte one.
    QImage detailed(8, 8, QImage::Format_ARGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            detailed.setPixel(x, y, qRgb(x * 30, y * 30, 100));
    QTest::newRow("124-byte header") << iconOfEntries({iconEntry(detailed, 32, {}, {}, 124)})
                                     << detailed.convertToFormat(QImage::Format_RGB32);
    // An embedded profile said to start where the pixels do: a packed bitmap's profile
    // follows its pixels, which start right after the table all the same.
    QByteArray profiled = iconEntry(detailed, 32, {}, {}, 124);
    profiled.replace(56, 4, "MBED");
    profiled.replace(112, 8, QByteArray::fromHex("7c00000020000000"));
    QTest::newRow("124-byte header, profile at the pixels")
        << iconOfEntries({profiled}) << detailed.convertToFormat(QImage::Format_RGB32);

    // The largest entry's PNG is damaged: the next best is shown.
    QByteArray damaged;
    QBuffer damagedBuffer(&damaged);
    damagedBuffer.open(QIODevice::WriteOnly);
    blocks(48, 48).save(&damagedBuffer, "PNG");
    damaged.replace(60, damaged.size() - 72, QByteArray(damaged.size() - 72, '\x5a'));
    QTest::newRow("damaged largest entry")
        << iconOfEntries({iconEntry(flat(16, red), 24, {}, {}), damaged}) << flat(16, red);
}

void tst_picture_formats::iconEntries()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, expected);
    QCOMPARE(LoadImageFile(write("entries.ico", bytes).toStdString()), expected);
}

void tst_picture_formats::namesThatAreNotUtf8_data()
{
    QTest::addColumn<QByteArray>("extension");
    QTest::addColumn<QByteArray>("bytes");
    const QImage picture = blocks(48, 32);
    QTest::newRow("bmp") << QByteArray(".bmp") << bmpFile(picture);
    QTest::newRow("ico") << QByteArray(".ico") << iconFile({picture});
    QTest::newRow("jpg") << QByteArray(".jpg") << jpegFile(picture, JpegKind::Colour);
}

// File names are byte strings: a name in another character set opens like any other.
void tst_picture_formats::namesThatAreNotUtf8()
{
    QFETCH(QByteArray, extension);
    QFETCH(QByteArray, bytes);
    const std::string path = dir.path().toStdString() + "/caf\xe9" + extension.toStdString();
    std::ofstream(path, std::ios::binary).write(bytes.constData(), bytes.size());
    const QImage loaded = LoadImageFile(path);
    // QTemporaryDir cannot remove a name that does not decode.
    std::remove(path.c_str());
    QCOMPARE(loaded.size(), QSize(48, 32));
}

void tst_picture_formats::regressionFiles()
{
    const QString file
        = qEnvironmentVariable("VISTREL_TEST_DATA") + "/empty_frame_beyond_screen.gif";
    QVERIFY(QFileInfo::exists(file));
    const QImage empty = LoadImageFile(file.toStdString());
    QImage white16x12(16, 12, QImage::Format_RGB32);
    white16x12.fill(white);
    QCOMPARE(empty, white16x12);
}

void tst_picture_formats::unreadableGivesNone_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    const QImage picture = blocks(32, 32);
    const QByteArray jpeg = jpegFile(picture, JpegKind::Colour);
    const QByteArray bmp = bmpFile(picture);
    const QByteArray gif
        = gifFile(32, 32, {qRgb(0, 0, 0), white},
                  {GifFrame {0, 0, 32, 32, false, -1, {}, std::vector<unsigned char>(1024, 1)}});
    const QByteArray ico = iconFile({picture});
    // Bytes no format's signature names are read as the extension says, and fail.
    QTest::newRow("text named jpg") << "text.jpg" << QByteArray("not a picture");
    QTest::newRow("bmp header cut before its size") << "short.bmp" << bmp.left(15);
    for (const char* name :
         {"empty.bmp", "empty.dib", "empty.gif", "empty.jpg", "empty.jpeg", "empty.ico"})
        QTest::newRow(name) << name << QByteArray();
    QTest::newRow("bmp truncated") << "cut.bmp" << bmp.left(bmp.size() / 2);
    QTest::newRow("gif truncated") << "cut.gif" << gif.left(gif.size() / 2);
    QTest::newRow("gif without frames") << "none.gif" << gifFile(4, 4, {white, white}, {});
    QTest::newRow("ico truncated") << "cut.ico" << ico.left(ico.size() / 2);
    QTest::newRow("jpeg garbage") << "garbage.jpg" << QByteArray(5000, '\x5a');
    Dib noTable;
    noTable.width = 32;
    noTable.height = 32;
    noTable.bits = 4;
    noTable.pixels = QByteArray(32 * 16, '\1');
    QTest::newRow("4-bit without colour table") << "no-table.bmp" << bitmapFile(noTable);
    QTest::newRow("runs past the right edge")
        << "run.bmp" << runsFile(QByteArray::fromHex("05010001"));
    QTest::newRow("absolute run past the right edge")
        << "absolute.bmp"
        << runsFile(QByteArray::fromHex("0005010101010100"
                                        "0001"));
    QTest::newRow("jump beyond the top")
        << "jump.bmp" << runsFile(QByteArray::fromHex("000200050001"));
}

void tst_picture_formats::unreadableGivesNone()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QVERIFY(LoadImageFile(write(name, bytes).toStdString()).isNull());
}

void tst_picture_formats::notAFile()
{
    QVERIFY(LoadImageFile(dir.filePath("missing.jpg").toStdString()).isNull());
    QVERIFY(QDir(dir.path()).mkdir("folder.jpg"));
    QVERIFY(LoadImageFile(dir.filePath("folder.jpg").toStdString()).isNull());
    // A pipe would block the reader for ever.
    const QString fifo = dir.filePath("pipe.gif");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(LoadImageFile(fifo.toStdString()).isNull());

    // A /proc entry says it is empty and yet gives bytes, without end or after a wait for
    // some: the reader stops at the size. A child's environment is such an entry whose
    // bytes the test chooses (the strings, each ended by a zero byte): here a whole GIF.
    const QByteArray gif = gifFile(2, 2, {white, qRgb(0, 0, 0)},
                                   {GifFrame {0, 0, 2, 2, false, -1, {}, {0, 1, 1, 0}}});
    QList<QByteArray> strings = (gif + '\0').split('\0');
    strings.removeLast();
    std::vector<char*> environment;
    for (QByteArray& string : strings)
        environment.push_back(string.data());
    environment.push_back(nullptr);
    char sleep[] = "sleep";
    char seconds[] = "60";
    char* arguments[] = {sleep, seconds, nullptr};
    pid_t child = 0;
    QCOMPARE(posix_spawn(&child, "/bin/sleep", nullptr, nullptr, arguments, environment.data()), 0);
    const QString entry = QString("/proc/%1/environ").arg(child);
    const auto entryBytes = [&entry] {
        QFile file(entry);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTRY_COMPARE(entryBytes(), gif + '\0');
    const QString link = dir.filePath("environment.gif");
    QVERIFY(QFile::link(entry, link));
    const bool none = LoadImageFile(link.toStdString()).isNull();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    QVERIFY(none);
}

void tst_picture_formats::overTheLimitIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    // Just over 2 GiB of RGB32 pixels, claimed by headers with almost nothing behind them.
    QTest::newRow("bmp") << "huge.bmp" << bmpHeaderOnly(16384, 32769);
    QTest::newRow("gif screen") << "huge.gif"
                                << gifFile(65535, 8193, {white, white},
                                           {GifFrame {0, 0, 1, 1, false, -1, {}, {0}}});
    // A JPEG's frame header gives its size: patch a small JPEG's to 65500 x 8198.
    QByteArray jpeg = jpegFile(blocks(16, 16), JpegKind::Colour);
    const qsizetype sof = jpeg.indexOf("\xff\xc0");
    QVERIFY(sof > 0);
    jpeg[sof + 5] = char(0x20);
    jpeg[sof + 6] = char(0x06);
    jpeg[sof + 7] = char(0xff);
    jpeg[sof + 8] = char(0xdc);
    QTest::newRow("jpeg") << "huge.jpg" << jpeg;
    // Within the limit, but a progressive file's coefficients (two bytes a sample, kept for
    // the whole picture) would take it far beyond.
    QByteArray progressive = jpegFile(blocks(16, 16), JpegKind::Progressive);
    const qsizetype sof2 = progressive.indexOf("\xff\xc2");
    QVERIFY(sof2 > 0);
    progressive.replace(sof2 + 5, 4, QByteArray::fromHex("5a825a82")); // 23170 x 23170
    QTest::newRow("progressive jpeg") << "coefficients.jpg" << progressive;
    // The directory says 16 x 16; the PNG inside says 23171 x 23171.
    QByteArray png;
    QBuffer pngBuffer(&png);
    pngBuffer.open(QIODevice::WriteOnly);
    blocks(16, 16).save(&pngBuffer, "PNG");
    png.replace(16, 8, QByteArray::fromHex("00005a8300005a83"));
    QTest::newRow("ico with a larger png") << "huge.ico" << iconOfEntries({png}, 16);
    // An interlaced 16-bit PNG is decoded whole at 8 bytes a pixel, within the limit, and
    // narrowed into its 32-bit picture beside that.
    const QByteArray deepPng = zeroRgba64Png(14000, 14000, true);
    QTest::newRow("ico with an interlaced 16-bit png") << "deep.ico" << iconOfEntries({deepPng}, 0);
    QTest::newRow("interlaced 16-bit png") << "deep.png" << deepPng;
    // Tiny files whose headers claim 2^30 pixels.
    QByteArray tinyPng = savedAs(blocks(16, 16), "PNG");
    tinyPng.replace(16, 8, QByteArray::fromHex("0000800000008000"));
    QTest::newRow("png") << "huge.png" << tinyPng;
    QTest::newRow("webp") << "huge.webp"
                          << webpCanvas(savedAs(blocks(16, 16), "WEBP", 100), 32768, 32768);
    QTest::newRow("svg") << "huge.svg"
                         << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='32768' "
                                       "height='32768'><rect width='9' height='9'/></svg>");
    // A HEIC's picture is a grid of tiles, composed on a canvas of the grid's size: the grid
    // (one tile, 48 x 32) and its size property patched to 20000 x 20000, within libheif's own
    // limit but past ours once libheif's picture and ours are both held.
    QByteArray heic = testDataFile("blocks.heic");
    const qsizetype grid = heic.indexOf(QByteArray::fromHex("696461740000000000300020"));
    const qsizetype property
        = heic.indexOf(QByteArray::fromHex("69737065000000000000003000000020"));
    QVERIFY(grid > 0 && property > 0);
    heic.replace(grid + 8, 4, QByteArray::fromHex("4e204e20"));
    heic.replace(property + 8, 8, QByteArray::fromHex("00004e2000004e20"));
    QTest::newRow("heic grid") << "huge.heic" << heic;
    // The size property still says 48 x 32, which libheif reports, and the grid 20000 x 20000,
    // which it allocates.
    heic.replace(property + 8, 8, QByteArray::fromHex("0000003000000020"));
    QTest::newRow("heic grid larger than its size") << "grid.heic" << heic;
    // An 8 x 8 frame on a canvas of 12000 x 12000, whose decoding would take libjxl's planes
    // beside the picture.
    QTest::newRow("jxl canvas") << "huge.jxl" << testDataFile("canvas_beyond_limit.jxl");
    // Runs too few to draw more than a corner of a picture of gigabytes.
    QTest::newRow("few runs") << "few.bmp"
                              << runsFile(QByteArray::fromHex("ff010001"), 23170, 23170);
    Dib noRuns;
    noRuns.width = 20000;
    noRuns.height = 20000;
    noRuns.bits = 4;
    noRuns.compression = 2;
    noRuns.palette = {white, white};
    QTest::newRow("no runs") << "none.bmp" << bitmapFile(noRuns);
    // Eleven runs of 255 in a row 2554 wide: refused before the bitmap exists.
    QTest::newRow("damaged runs") << "damaged.bmp"
                                  << runsFile(QByteArray("\xff\x01").repeated(11), 2554, 18803);
}

void tst_picture_formats::overTheLimitIsRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    // Refused from the header alone: the process's peak memory does not grow by the 2 GiB
    // that decoding would have filled.
    const auto peakKiB = [] {
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKiB();
    QVERIFY(LoadImageFile(write(name, bytes).toStdString()).isNull());
    QVERIFY(peakKiB() - before < 64 * 1024);
}

void tst_picture_formats::decodeFigureCoversPeak_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    // 4000 x 4000: a 64 MB picture, a strip of all its rows 48 MB decoded.
    QTest::newRow("tiff, deflate in one strip")
        << "one-strip.tif" << tiffFile(4000, 4000, COMPRESSION_ADOBE_DEFLATE, 4000, false);
    QTest::newRow("tiff, lzw in one strip a plane")
        << "planes.tif" << tiffFile(4000, 4000, COMPRESSION_LZW, 4000, true);
    QTest::newRow("tiff, uncompressed in one strip")
        << "plain.tif" << tiffFile(4000, 4000, COMPRESSION_NONE, 4000, false);
    QTest::newRow("tiff, deflate tiles")
        << "tiles.tif" << tiffFile(4000, 4000, COMPRESSION_ADOBE_DEFLATE, 0, false);
    QTest::newRow("webp, lossless") << "lossless.webp" << savedAs(blocks(3000, 3000), "WEBP", 100);
}

// The memory a decode holds at its peak, which the refusal of a picture and the budget of
// the decode ahead trust, is what ReadPictureHeader says it is (within a few megabytes of
// the libraries' own state).
void tst_picture_formats::decodeFigureCoversPeak()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QVERIFY(!bytes.isEmpty());
    const std::string path = write(name, bytes).toStdString();
    const PictureHeader header = ReadPictureHeader(path);
    QVERIFY(header.decodeBytes > 0);
    TrimKeptPictureMemory(1, 1);
    // The peak starts again from what is resident now.
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
    }
    const std::int64_t before = residentBytes("VmRSS:");
    QImage picture = LoadImageFile(path);
    const std::int64_t peak = residentBytes("VmHWM:") - before;
    QCOMPARE(picture.size(), header.size);
    picture = QImage();
    TrimKeptPictureMemory(1, 1);
    QVERIFY2(
        peak <= header.decodeBytes + (std::int64_t {16} << 20),
        qPrintable(
            QString("peak %1 MB, figure %2 MB").arg(peak >> 20).arg(header.decodeBytes >> 20)));
}

QTEST_MAIN(tst_picture_formats)
#include "tst_picture_formats.moc"
