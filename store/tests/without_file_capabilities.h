// Permission cases in a test run by the superuser, whose capabilities let it read and write
// any file: the case runs again in a child of this test program whose capability bounding set
// lacks those two, so that file permissions bind it as they bind any user, and the parent
// takes the child's verdict and shows the figures it gave out (qInfo). Shared by the modules' tests
// (included by path).
#pragma once

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

namespace without_file_capabilities {

constexpr unsigned long long dacOverride = 1ULL << 1;
constexpr unsigned long long dacReadSearch = 1ULL << 2;
constexpr char childMark[] = "VISTREL_WITHOUT_FILE_CAPABILITIES";

// Whether file permissions bind this process: neither capability is in effect.
inline bool PermissionsBind()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("CapEff:")) {
            const unsigned long long effective = line.mid(7).trimmed().toULongLong(nullptr, 16);
            return (effective & (dacOverride | dacReadSearch)) == 0;
        }
    }
    return false;
}

inline bool InChild()
{
    return qEnvironmentVariableIsSet(childMark);
}

// Runs the current test function and data row in the child; true when it passed. The
// child's output is shown when it did not.
inline bool RunCaseInChild()
{
    QString testCase = QString::fromUtf8(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        testCase += ':' + QString::fromUtf8(QTest::currentDataTag());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(childMark), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--bounding-set"), QStringLiteral("-dac_override,-dac_read_search"),
                 QStringLiteral("--inh-caps=-all"), QStringLiteral("--"),
                 QFile::symLinkTarget(QStringLiteral("/proc/self/exe")), testCase});
    const bool passed = child.waitForFinished(240000) && child.exitStatus() == QProcess::NormalExit
        && child.exitCode() == 0;
    const QByteArray output = child.readAll();
    if (!passed)
        qWarning("%s", output.constData());
    // The figures the case gives out are shown as the parent's own.
    for (const QByteArray& line : output.split('\n')) {
        if (passed && line.startsWith("QINFO"))
            qInfo("%s", line.mid(line.indexOf(')') + 1).trimmed().constData());
    }
    return passed;
}

} // namespace without_file_capabilities

// At the start of a test function (or of its permission rows): where permissions do not bind
// this process, the case runs in a child without the capabilities, and this call ends it
// with the child's verdict. A child that still holds them fails instead of passing unbound.
#define RUN_WHERE_PERMISSIONS_BIND()                                                               \
    do {                                                                                           \
        if (!without_file_capabilities::PermissionsBind()) {                                       \
            QVERIFY2(!without_file_capabilities::InChild(),                                        \
                     "the child still holds the capabilities that pass over permissions");         \
            QVERIFY2(without_file_capabilities::RunCaseInChild(),                                  \
                     "the case failed in a child where permissions bind");                         \
            return;                                                                                \
        }                                                                                          \
    } while (false)
