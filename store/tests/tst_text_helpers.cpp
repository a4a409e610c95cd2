#include "store/text_helpers.h"

#include <QTest>

class TestTextHelpers : public QObject
{
    Q_OBJECT

private slots:
    void posFrom_data();
    void posFrom();
    void replaceAll_data();
    void replaceAll();
    void colorToText_data();
    void colorToText();
    void textToColor_data();
    void textToColor();
};

void TestTextHelpers::posFrom_data()
{
    QTest::addColumn<QByteArray>("subStr");
    QTest::addColumn<QByteArray>("s");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("expected");
    QTest::newRow("later occurrence") << QByteArray("b") << QByteArray("abcb") << 3 << 4;
    QTest::newRow("offset past the end") << QByteArray("b") << QByteArray("abcb") << 5 << 0;
    QTest::newRow("first occurrence") << QByteArray("b") << QByteArray("abcb") << 1 << 2;
    QTest::newRow("offset below 1") << QByteArray("a") << QByteArray("abc") << 0 << 0;
    QTest::newRow("empty sub") << QByteArray("") << QByteArray("abc") << 1 << 0;
    QTest::newRow("too few bytes left") << QByteArray("bc") << QByteArray("abc") << 3 << 0;
    QTest::newRow("exactly at the end") << QByteArray("bc") << QByteArray("abc") << 2 << 2;
    QTest::newRow("huge offset") << QByteArray("a") << QByteArray("abc") << INT_MAX << 0;
}

void TestTextHelpers::posFrom()
{
    QFETCH(QByteArray, subStr);
    QFETCH(QByteArray, s);
    QFETCH(int, offset);
    QTEST(PosFrom(subStr.toStdString(), s.toStdString(), offset), "expected");
}

void TestTextHelpers::replaceAll_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("oldPattern");
    QTest::addColumn<QByteArray>("newPattern");
    QTest::addColumn<int>("startPos");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("inserted text not searched")
        << QByteArray("aaa") << QByteArray("a") << QByteArray("aa") << 1 << QByteArray("aaaaaa");
    QTest::newRow("bytes before start kept")
        << QByteArray("aaa") << QByteArray("a") << QByteArray("aa") << 2 << QByteArray("aaaaa");
    QTest::newRow("no overlap") << QByteArray("aaaa") << QByteArray("aa") << QByteArray("b") << 1
                                << QByteArray("bb");
    QTest::newRow("remove") << QByteArray("a-b-c") << QByteArray("-") << QByteArray("") << 1
                            << QByteArray("abc");
    QTest::newRow("empty pattern")
        << QByteArray("abc") << QByteArray("") << QByteArray("x") << 1 << QByteArray("abc");
    QTest::newRow("start below 1")
        << QByteArray("abc") << QByteArray("a") << QByteArray("x") << 0 << QByteArray("abc");
}

void TestTextHelpers::replaceAll()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, oldPattern);
    QFETCH(QByteArray, newPattern);
    QFETCH(int, startPos);
    QFETCH(QByteArray, expected);
    QCOMPARE(ReplaceAll(source.toStdString(), oldPattern.toStdString(), newPattern.toStdString(),
                        startPos),
             expected.toStdString());
}

void TestTextHelpers::colorToText_data()
{
    QTest::addColumn<uint>("color");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("black") << 0u << QByteArray("#000000");
    QTest::newRow("red first") << 0x563412u << QByteArray("#123456");
    QTest::newRow("single digits padded") << 655615u << QByteArray("#FF000A");
    QTest::newRow("high byte ignored") << 0xFF563412u << QByteArray("#123456");
    QTest::newRow("white") << 0xFFFFFFu << QByteArray("#FFFFFF");
}

void TestTextHelpers::colorToText()
{
    QFETCH(uint, color);
    QFETCH(QByteArray, expected);
    QCOMPARE(ColorToText(color), expected.toStdString());
}

void TestTextHelpers::textToColor_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("expected");
    QTest::newRow("colour text") << QByteArray("#123456") << 0x563412u;
    QTest::newRow("lower-case digits") << QByteArray("#abcdef") << 0xEFCDABu;
    QTest::newRow("padded digits") << QByteArray("#FF000A") << 655615u;
    QTest::newRow("empty") << QByteArray("") << 0u;
    QTest::newRow("six bytes") << QByteArray("#12345") << 0u;
    QTest::newRow("not hexadecimal") << QByteArray("#GGGGGG") << 0u;
    QTest::newRow("plain decimal") << QByteArray("0655615") << 655615u;
    QTest::newRow("leading blanks") << QByteArray("   1234") << 1234u;
    QTest::newRow("dollar hexadecimal") << QByteArray("$00FF00") << 0xFF00u;
    QTest::newRow("0x hexadecimal") << QByteArray("0x0000ff") << 0xFFu;
    QTest::newRow("negative decimal") << QByteArray("-000001") << 0xFFFFFFFFu;
    QTest::newRow("trailing garbage") << QByteArray("1234567z") << 0u;
    QTest::newRow("decimal overflow") << QByteArray("2147483648") << 0u;
    QTest::newRow("hexadecimal overflow") << QByteArray("#123456789") << 0u;
    QTest::newRow("sign only") << QByteArray("      -") << 0u;
    QTest::newRow("round trip of white") << QByteArray("#FFFFFF") << 0xFFFFFFu;
}

void TestTextHelpers::textToColor()
{
    QFETCH(QByteArray, text);
    QTEST(TextToColor(text.toStdString()), "expected");
}

QTEST_APPLESS_MAIN(TestTextHelpers)
#include "tst_text_helpers.moc"
