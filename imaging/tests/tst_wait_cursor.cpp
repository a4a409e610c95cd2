#include "imaging/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QTest>

#include <stdexcept>

class tst_wait_cursor : public QObject
{
    Q_OBJECT

private slots:
    void showsAndPutsBack();
    void putsBackWhenAnExceptionEscapes();
};

namespace {

Qt::CursorShape shownShape()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::BlankCursor;
}

} // namespace

void tst_wait_cursor::showsAndPutsBack()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::CrossCursor));
    {
        WaitCursor outer;
        QCOMPARE(shownShape(), Qt::WaitCursor);
        {
            WaitCursor inner;
            QCOMPARE(shownShape(), Qt::WaitCursor);
        }
        QCOMPARE(shownShape(), Qt::WaitCursor);
    }
    QCOMPARE(shownShape(), Qt::CrossCursor);
    QGuiApplication::restoreOverrideCursor();
    QVERIFY(!QGuiApplication::overrideCursor());
}

void tst_wait_cursor::putsBackWhenAnExceptionEscapes()
{
    try {
        WaitCursor guard;
        throw std::runtime_error("decoder failed");
    } catch (const std::runtime_error&) {
    }
    QVERIFY(!QGuiApplication::overrideCursor());
}

QTEST_MAIN(tst_wait_cursor)
#include "tst_wait_cursor.moc"
