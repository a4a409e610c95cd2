// The memory a file's header says its decode takes (ReadPictureHeader's decodeBytes), which the
// refusal of a picture too large for the memory left and the decode-ahead budget both trust,
// held to what each decoder really takes at its peak: the rise of the process's resident
// memory over one decode (the peak the kernel counts, reset before it), plus the drawing
// process's own peak for a drawing. Each format's picture is 2000 x 1200, written by the
// program that writes the format (ImageMagick, libheif's and libjxl's encoders), so that
// the decoders' fixed costs are small beside it.
#include "imaging/picture_buffer.h"
#include "imaging/picture_formats.h"
#include "metafile/tests/metafile_builder.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <malloc.h>
#include <sys/resource.h>

namespace {

constexpr int width = 2000;
constexpr int height = 1200;
// What a decode may take beyond its figure: the libraries' own small buffers, the file's
// read buffer, thread stacks.
constexpr std::int64_t slack = std::int64_t {2} << 20;

// A field of /proc/self/status in bytes.
std::int64_t statusBytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(qstrlen(field)))
                       .trimmed()
                       .split(' ')[0]
                       .toLongLong()
                * 1024;
    return -1;
}

// The peak of the drawing processes ended so far, in bytes.
std::int64_t childrenPeak()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return std::int64_t {usage.ru_maxrss} * 1024;
}

// Written in the folder from the sources before the test; $IM is ImageMagick.
struct Written
{
    const char* file;
    const char* command;
};

const Written writtenFiles[] = {
    {"photo.jpg", "$IM plasma.ppm -quality 90 photo.jpg"},
    {"photo.gif", "$IM plasma.ppm photo.gif"},
    {"photo.bmp", "$IM plasma.ppm bmp3:photo.bmp"},
    {"photo.png", "$IM plasma.ppm photo.png"},
    {"photo.webp", "$IM plasma.ppm -quality 90 photo.webp"},
    // One Deflate strip: a reader that holds the decoded strip beside the picture peaks at
    // 1.75 times the picture.
    {"photo.tiff", "$IM plasma.ppm -compress zip -define tiff:rows-per-strip=1200 photo.tiff"},
    {"photo8.heic", "$IM plasma.ppm -quality 90 photo8.heic"},
    {"photo10.heic",
     "$IM plasma.ppm -depth 16 plasma16.png && heif-enc -b 10 -q 90 "
     "plasma16.png -o photo10.heic"},
    {"photo.avif", "$IM plasma.ppm -quality 90 photo.avif"},
    {"photo.jxl", "cjxl -d 1 plasma.png photo.jxl"},
};

} // namespace

class tst_decode_memory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void figureCoversPeak_data();
    void figureCoversPeak();
    void cleanupTestCase();

private:
    QTemporaryDir folder;
    QStringList table;
};

void tst_decode_memory::initTestCase()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address sanitizer's allocator holds freed memory back");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    QSKIP("the address sanitizer's allocator holds freed memory back");
#endif
#endif
    QVERIFY(folder.isValid());
    QVERIFY2(statusBytes("VmHWM:") > 0, "no peak of resident memory in /proc/self/status");
    const QString sources = QStringLiteral("convert -seed 1 -size %1x%2 plasma:fractal plasma.ppm "
                                           "&& convert plasma.ppm plasma.png")
                                .arg(width)
                                .arg(height);
    QStringList commands {sources};
    for (const Written& written : writtenFiles)
        commands << QString::fromUtf8(written.command)
                        .replace(QLatin1String("$IM"), QLatin1String("convert"));
    // Written by a shell this process never waits for: the peak of the processes it waits for
    // is the drawing process's alone.
    QProcess::execute(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"),
         QStringLiteral(
             "cd '%1' && ((%2) > written.log 2>&1; echo $? > status; mv status written) &")
             .arg(folder.path(), commands.join(QLatin1String(" && ")))});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder.filePath(QStringLiteral("written"))), 600000);
    QFile written(folder.filePath(QStringLiteral("written")));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QFile log(folder.filePath(QStringLiteral("written.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY2(written.readAll().trimmed() == "0", log.readAll().constData());

    QByteArray drawing = QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='%1' "
                                        "height='%2'><defs><linearGradient id='g'><stop "
                                        "offset='0' stop-color='red'/><stop offset='1' "
                                        "stop-color='blue'/></linearGradient></defs>")
                             .arg(width)
                             .arg(height)
                             .toUtf8();
    for (int i = 0; i < 50; ++i)
        drawing += QStringLiteral("<circle cx='%1' cy='%2' r='%3' fill='url(#g)' stroke='black' "
                                  "opacity='0.7'/>")
                       .arg(i * 47 % width)
                       .arg(i * 31 % height)
                       .arg(40 + i * 7)
                       .toUtf8();
    auto wmf = WmfBuilder::placeable(0, 0, width, height, 96);
    wmf.solidBrush(colorRef(255, 0, 0)).select(0).rectangle(0, 0, width / 2, height / 2);
    EmfBuilder emf(QRect(0, 0, width * 10, height * 10), QSize(1000, 1000), QSize(100, 100));
    emf.solidBrush(1, colorRef(0, 0, 255)).select(1).rectangle(0, 0, width / 2, height / 2);
    for (const auto& [name, bytes] :
         {std::pair {"drawing.svg", drawing + "</svg>"}, std::pair {"drawing.wmf", wmf.finish()},
          std::pair {"drawing.emf", emf.finish()}}) {
        QFile file(folder.filePath(QString::fromUtf8(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
}

void tst_decode_memory::figureCoversPeak_data()
{
    QTest::addColumn<QString>("file");
    for (const Written& written : writtenFiles)
        QTest::newRow(written.file) << QString::fromUtf8(written.file);
    for (const char* drawing : {"drawing.svg", "drawing.wmf", "drawing.emf"})
        QTest::newRow(drawing) << QString::fromUtf8(drawing);
}

void tst_decode_memory::figureCoversPeak()
{
    QFETCH(QString, file);
    const std::string path = QFile::encodeName(folder.filePath(file)).toStdString();
    const PictureHeader header = ReadPictureHeader(path);
    QCOMPARE(header.size, QSize(width, height));
    // Once before, so that the libraries are loaded and their first allocations made; then
    // every free page is given back, so that the decode measured touches new memory only.
    QVERIFY(!LoadImageFile(path).isNull());
    TrimKeptPictureMemory(1, 1);
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    QVERIFY(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1);
    clear.close();
    const std::int64_t before = statusBytes("VmRSS:");
    const QImage picture = LoadImageFile(path);
    std::int64_t peak = statusBytes("VmHWM:") - before;
    if (file.endsWith(QLatin1String(".svg")))
        peak += childrenPeak();
    QVERIFY(!picture.isNull());
    table << QStringLiteral("%1 | %2 MB | %3 MB | %4")
                 .arg(file)
                 .arg(double(header.decodeBytes) / 1e6, 0, 'f', 1)
                 .arg(double(peak) / 1e6, 0, 'f', 1)
                 .arg(double(peak) / double(header.decodeBytes), 0, 'f', 2);
    QVERIFY2(
        header.decodeBytes + slack >= peak,
        qPrintable(QStringLiteral("figure %1 bytes, peak %2").arg(header.decodeBytes).arg(peak)));
}

void tst_decode_memory::cleanupTestCase()
{
    qInfo("file | figure | peak | peak / figure");
    for (const QString& line : std::as_const(table))
        qInfo("%s", qPrintable(line));
}

QTEST_MAIN(tst_decode_memory)
#include "tst_decode_memory.moc"
