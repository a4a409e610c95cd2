// An error that escapes a command is reported and ends only that command.
#include "shell/application.h"

#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <new>
#include <stdexcept>

namespace {

// Throws from its event handler, as a viewer operation may when memory runs out.
class Failing : public QObject
{
public:
    explicit Failing(bool memoryRunsOut)
        : outOfMemory(memoryRunsOut)
    {
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (outOfMemory)
            throw std::bad_alloc();
        throw std::runtime_error("the picture is too large");
    }

private:
    bool outOfMemory;
};

} // namespace

class TestApplication : public QObject
{
    Q_OBJECT

private slots:
    void escapingErrorIsReported_data();
    void escapingErrorIsReported();
};

void TestApplication::escapingErrorIsReported_data()
{
    QTest::addColumn<bool>("outOfMemory");
    QTest::addColumn<QString>("message");
    QTest::newRow("error") << false << "the picture is too large";
    QTest::newRow("memory") << true << "Out of memory.";
}

void TestApplication::escapingErrorIsReported()
{
    QFETCH(bool, outOfMemory);
    QString shown;
    QTimer answer;
    answer.setInterval(10);
    connect(&answer, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    answer.start();

    Failing failing(outOfMemory);
    QEvent event(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&failing, &event));
    QTEST(shown, "message");
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
