#include "imaging/picture_formats.h"
#include "metafile/tests/metafile_builder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The picture loader hands metafiles to the metafile player: by their first bytes, whatever
// their names say.
class tst_metafile_loader : public QObject
{
    Q_OBJECT

private slots:
    void loadsByExtension_data();
    void loadsByExtension();
};

void tst_metafile_loader::loadsByExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("size");
    auto wmf = WmfBuilder::placeable(0, 0, 100, 50, 96);
    wmf.solidBrush(colorRef(255, 0, 0)).select(0).rectangle(0, 0, 50, 50);
    EmfBuilder emf(QRect(0, 0, 1000, 500), QSize(1000, 1000), QSize(100, 100));
    emf.solidBrush(1, colorRef(255, 0, 0)).select(1).rectangle(0, 0, 50, 50);
    QTest::newRow("wmf") << "drawing.wmf" << wmf.finish() << QSize(100, 50);
    QTest::newRow("emf, upper case") << "DRAWING.EMF" << emf.finish() << QSize(100, 50);
    QTest::newRow("enhanced metafile named .wmf") << "wrong.wmf" << emf.finish() << QSize(100, 50);
    QTest::newRow("placeable metafile named .emf") << "wrong.emf" << wmf.finish() << QSize(100, 50);
    // No placeable header: the window extent (its record takes y, then x) gives the size.
    auto plain = WmfBuilder::plain();
    plain.words(0x020C, {50, 100})
        .solidBrush(colorRef(255, 0, 0))
        .select(0)
        .rectangle(0, 0, 50, 50);
    QTest::newRow("plain metafile named .png") << "plain.png" << plain.finish() << QSize(100, 50);
    QTest::newRow("damaged header") << "cut.emf" << emf.finish().left(40) << QSize();
}

void tst_metafile_loader::loadsByExtension()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, file);
    QFETCH(QSize, size);
    QTemporaryDir folder;
    QFile out(folder.filePath(name));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();
    const std::string path = QFile::encodeName(out.fileName()).toStdString();
    const QImage picture = LoadImageFile(path);
    QCOMPARE(picture.isNull(), size.isEmpty());
    if (!size.isEmpty()) {
        QCOMPARE(picture.size(), size);
        QCOMPARE(ReadPictureHeader(path).size, size);
        QCOMPARE(picture.format(), QImage::Format_RGB32);
        QCOMPARE(picture.pixel(20, 20) & 0xffffff, 0xff0000u);
        QCOMPARE(picture.pixel(80, 20) & 0xffffff, 0xffffffu);
    }
}

QTEST_MAIN(tst_metafile_loader)
#include "tst_metafile_loader.moc"
