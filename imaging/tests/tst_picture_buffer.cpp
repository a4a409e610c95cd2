#include "imaging/picture_buffer.h"

#include <QTest>

class tst_picture_buffer : public QObject
{
    Q_OBJECT

private slots:
    void keptBlockGoesToOnePictureOnly();
    void refusesWhatDoesNotFit();
    void slotTurnsInTheBlockAndGivesItBack();
};

void tst_picture_buffer::keptBlockGoesToOnePictureOnly()
{
    // Large enough for blocks of their own.
    QImage first = NewPictureBitmap(1000, 700);
    QImage second = NewPictureBitmap(1000, 700);
    QCOMPARE(first.format(), QImage::Format_RGB32);
    QVERIFY(first.constBits() != second.constBits());
    first.fill(0xFF102030u);
    second.fill(0xFF405060u);
    const uchar* firstPixels = first.constBits();
    first = QImage();
    // The released block comes back once, to a picture of about its size.
    QImage third = NewPictureBitmap(1000, 690);
    QImage fourth = NewPictureBitmap(1000, 690);
    QCOMPARE(third.constBits(), firstPixels);
    QVERIFY(fourth.constBits() != firstPixels);
    third.fill(0xFFFFFFFFu);
    fourth.fill(0xFF000000u);
    QCOMPARE(second.pixel(999, 699), 0xFF405060u);
    QCOMPARE(third.pixel(999, 689), 0xFFFFFFFFu);
    // A copy that is written detaches from the shared block.
    QImage copy = second;
    copy.setPixel(0, 0, 0xFF000000u);
    QCOMPARE(second.pixel(0, 0), 0xFF405060u);
}

void tst_picture_buffer::refusesWhatDoesNotFit()
{
    QVERIFY(NewPictureBitmap(0, 10).isNull());
    QVERIFY(NewPictureBitmap(16385, 32768).isNull());
    QCOMPARE(NewPictureBitmap(3, 2).size(), QSize(3, 2));
}

void tst_picture_buffer::slotTurnsInTheBlockAndGivesItBack()
{
    TrimKeptPictureMemory(0, 0);
    QImage decoded = NewPictureBitmap(1000, 700);
    for (int y = 0; y < decoded.height(); ++y)
        for (int x = 0; x < decoded.width(); ++x)
            decoded.setPixel(x, y, qRgb(x & 255, y & 255, (x + y) >> 3));
    const QImage expected = decoded.transformed(QTransform().rotate(90));
    const uchar* block = decoded.constBits();

    PictureSlot slot;
    QImage shown = slot.Adopt(std::move(decoded));
    QCOMPARE(shown.constBits(), block);
    shown = slot.Turn(true);
    QCOMPARE(shown.constBits(), block);
    QCOMPARE(shown, expected);

    // The block goes back to the keep, ready for the next picture of its size.
    shown = QImage();
    slot.Release();
    QCOMPARE(NewPictureBitmap(700, 1000).constBits(), block);

    // A picture shared with another one is copied before it is turned.
    const QImage other = expected;
    shown = slot.Adopt(other);
    QVERIFY(shown.constBits() != other.constBits());
    slot.Turn(false);
    QCOMPARE(other, expected);
}

QTEST_GUILESS_MAIN(tst_picture_buffer)
#include "tst_picture_buffer.moc"
