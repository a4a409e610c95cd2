#include "viewer/working_picture.h"

#include "imaging/pixel_operations.h"
#include "imaging/tests/plain_stretch.h"

#include <QRandomGenerator>
#include <QTest>

// The working picture is never allocated; these tests prove that reading it through the
// composed mappings gives exactly the pixels of a materialised one.
class TestWorkingPicture : public QObject
{
    Q_OBJECT

private slots:
    void sameAsMaterialised_data();
    void sameAsMaterialised();
    void emptyGivesWhite();
};

namespace {

QImage noise(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, 0xFF000000u | (random.generate() & 0xFFFFFF));
    return image;
}

QImage materialise(const QImage& source, int width, int height)
{
    QImage working(width, height, QImage::Format_RGB32);
    working.fill(Qt::white);
    StretchDraw(working, working.rect(), source, source.rect());
    return working;
}

QRect qrect(const Rect64& r)
{
    return QRect(int(r.left), int(r.top), int(r.width()), int(r.height()));
}

} // namespace

void TestWorkingPicture::sameAsMaterialised_data()
{
    QTest::addColumn<QSize>("sourceSize");
    QTest::addColumn<double>("scale");
    const QList<QSize> sizes {QSize(1, 1), QSize(7, 5), QSize(13, 29), QSize(40, 23)};
    for (const QSize size : sizes)
        for (const double scale : {1.0, 0.37, 0.5, 1.11, 2.0, 3.3, 10.0})
            QTest::addRow("%dx%d at %g", size.width(), size.height(), scale) << size << scale;
}

// Three kinds of read, as the viewer makes them: the whole working picture stretched into
// a display rectangle (partly outside the target too), a glass-sized square copied 1:1 at
// positions inside, across the edges and outside, and a preview square of another size
// stretched into the glass. Target pixels outside the drawn rectangle must stay untouched.
void TestWorkingPicture::sameAsMaterialised()
{
    QFETCH(QSize, sourceSize);
    QFETCH(double, scale);
    const QImage source = noise(sourceSize.width(), sourceSize.height(), 7);
    const int ww = std::max(1, int(std::lround(sourceSize.width() * scale)));
    const int wh = std::max(1, int(std::lround(sourceSize.height() * scale)));
    const QImage materialised = materialise(source, ww, wh);
    WorkingPicture working;
    working.Reset(&source, ww, wh);

    const QImage background = noise(64, 48, 11);
    const auto check = [&](const QRect& targetRect, const Rect64& sourceRect) {
        QImage expected = background.copy();
        StretchDraw(expected, targetRect, materialised, qrect(sourceRect));
        QImage actual = background.copy();
        working.Draw(actual, targetRect, sourceRect);
        if (actual != expected)
            QFAIL(qPrintable(QString("target %1,%2 %3x%4 from %5,%6 %7x%8")
                                 .arg(targetRect.x())
                                 .arg(targetRect.y())
                                 .arg(targetRect.width())
                                 .arg(targetRect.height())
                                 .arg(sourceRect.left)
                                 .arg(sourceRect.top)
                                 .arg(sourceRect.width())
                                 .arg(sourceRect.height())));
    };

    const Rect64 whole {0, 0, ww, wh};
    for (const QRect& display :
         {QRect(3, 2, 50, 40), QRect(0, 0, 64, 48), QRect(-5, 10, 30, 70), QRect(20, 30, 7, 3)})
        check(display, whole);

    for (const int d : {1, 4, 9, 16}) {
        for (const int left : {-d - 3, -d / 2, 0, ww / 2, ww - d / 2, ww + 2}) {
            for (const int top : {-d / 2, 0, wh / 3, wh - 1}) {
                const Rect64 glass {left, top, left + d, top + d};
                check(QRect(5, 4, d, d), glass);
                // A preview takes a square of another size around the glass's own.
                for (const double x : {0.1, 0.5, 1.7, 3.0}) {
                    const int side = int(std::nearbyint(d * x));
                    const int shift = (side - d) / 2;
                    const Rect64 preview {left - shift, top - shift, left - shift + side,
                                          top - shift + side};
                    if (side > 0)
                        check(QRect(5, 4, d, d), preview);
                }
            }
        }
    }
}

void TestWorkingPicture::emptyGivesWhite()
{
    QImage target(8, 8, QImage::Format_RGB32);
    target.fill(Qt::black);
    WorkingPicture working;
    working.Draw(target, QRect(2, 2, 4, 4), Rect64 {0, 0, 4, 4});
    QImage expected(8, 8, QImage::Format_RGB32);
    expected.fill(Qt::black);
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x)
            expected.setPixel(x, y, 0xFFFFFFFFu);
    QCOMPARE(target, expected);
}

QTEST_APPLESS_MAIN(TestWorkingPicture)
#include "tst_working_picture.moc"
