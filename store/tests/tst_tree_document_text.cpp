#include "store/tree_document.h"

#include <QTest>

#include <sstream>

namespace {

std::string bytes(const QByteArray& a)
{
    return a.toStdString();
}

TreeDocument* addChild(TreeDocument* parent, const char* name)
{
    auto* child = new TreeDocument(parent);
    child->SetName(name);
    return child;
}

// Discards SKIP elements, rejects the text run "no" and notes every child it was handed.
class HookedNode : public TreeDocument
{
public:
    using TreeDocument::TreeDocument;
    std::vector<std::string> loaded;

protected:
    TreeDocument* CreateChild(const std::string& tagName) override
    {
        return tagName == "SKIP" ? nullptr : new HookedNode(this);
    }
    void ChildLoaded(TreeDocument* child) override { loaded.push_back(child->Name()); }
    bool AcceptText(const std::string& text) override { return text != "no"; }
};

} // namespace

class TestTreeDocumentText : public QObject
{
    Q_OBJECT

private slots:
    void writesSettingsExample();
    void writesNewDataFile();
    void escape_data();
    void escape();
    void unescapeOddSequences_data();
    void unescapeOddSequences();
    void reads_data();
    void reads();
    void duplicateAttributesKept();
    void readErrors_data();
    void readErrors();
    void faultKeepsWhatWasRead();
    void hooksDiscardAndFilter();
    void discardedElementFailing();
    void nestingLimit();
    void lineBreaks_data();
    void lineBreaks();
    void streamReadsFromCurrentPosition();
};

void TestTreeDocumentText::writesSettingsExample()
{
    TreeDocument root;
    root.SetName("SETTINGS");
    root.WriteAttribute("TOP", "10");
    root.WriteAttribute("LEFT", "20");
    TreeDocument* history = addChild(&root, "HISTORY");
    addChild(history, "HIT")->WriteAttribute("HIT_FILE", "C:\\a.jpg");
    addChild(history, "HIT")->WriteAttribute("HIT_FILE", "C:\\b.jpg");
    const std::string settings = "\r\n<SETTINGS TOP=\"10\" LEFT=\"20\">"
                                 "\r\n\t<HISTORY>"
                                 "\r\n\t\t<HIT HIT_FILE=\"C:\\a.jpg\"/>"
                                 "\r\n\t\t<HIT HIT_FILE=\"C:\\b.jpg\"/>"
                                 "\r\n\t</HISTORY>"
                                 "\r\n</SETTINGS>";
    QCOMPARE(root.SaveToString(), settings);

    TreeDocument reread;
    reread.LoadFromString(settings);
    QCOMPARE(reread.SaveToString(), settings);

    addChild(&root, "NOTE")->SetText("50% off");
    QCOMPARE(root.SaveToString(),
             settings.substr(0, settings.size() - 13) + "\r\n\t<NOTE>50%25 off\r\n\t</NOTE>"
                 + "\r\n</SETTINGS>");
}

void TestTreeDocumentText::writesNewDataFile()
{
    TreeDocument data;
    data.SetName("VISTREL_DATA");
    data.WriteAttribute("VERSION", "1.4");
    QCOMPARE(data.SaveToString(), std::string("\r\n<VISTREL_DATA VERSION=\"1.4\"/>"));
}

void TestTreeDocumentText::escape_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("reserved printable") << QByteArray("\"%<>") << QByteArray("%22%25%3C%3E");
    QTest::newRow("control bytes")
        << QByteArray("\x01\x08\x0b\x0c\x0e\x1f", 6) << QByteArray("%01%08%0B%0C%0E%1F");
    QTest::newRow("nul") << QByteArray("a\0b", 3) << QByteArray("a%00b");
    QTest::newRow("line breaks escaped, tab and high bytes kept")
        << QByteArray("\t\n\r '/=\x7f\x80\xff") << QByteArray("\t%0A%0D '/=\x7f\x80\xff");
}

void TestTreeDocumentText::escape()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, escaped);
    QCOMPARE(EncodeText(bytes(plain)), bytes(escaped));
    QCOMPARE(DecodeText(bytes(escaped)), bytes(plain));
}

void TestTreeDocumentText::unescapeOddSequences_data()
{
    QTest::addColumn<QByteArray>("escaped");
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("lower-case digit is no hex digit") << QByteArray("%3c") << QByteArray("\\");
    QTest::newRow("percent at the end") << QByteArray("a%") << QByteArray("a%");
    QTest::newRow("one byte after percent") << QByteArray("a%4") << QByteArray("a%4");
    QTest::newRow("bytes below the digits wrap") << QByteArray("%\x01\x01") << QByteArray("\xe1");
}

void TestTreeDocumentText::unescapeOddSequences()
{
    QFETCH(QByteArray, escaped);
    QFETCH(QByteArray, plain);
    QCOMPARE(DecodeText(bytes(escaped)), bytes(plain));
}

void TestTreeDocumentText::reads_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("written");
    const QByteArray bareA("\r\n<A/>");
    QTest::newRow("empty element") << QByteArray("<A/>") << bareA;
    QTest::newRow("start and end tag") << QByteArray("<A></A>") << bareA;
    QTest::newRow("blanks in tags") << QByteArray("< A >  </A >") << bareA;
    QTest::newRow("case of end tag") << QByteArray("<a></A>") << bareA;
    QTest::newRow("before and after the root") << QByteArray("junk\r\n<A/>trailing<") << bareA;
    QTest::newRow("empty text") << QByteArray("") << QByteArray("");
    QTest::newRow("bare and missing values")
        << QByteArray("<A B C=\"x\" D=y/>") << QByteArray("\r\n<A B=\"\" C=\"x\" D=\"y\"/>");
    QTest::newRow("attributes across lines")
        << QByteArray("<A\r\n b = \"1\"\tC\r\n=2 />") << QByteArray("\r\n<A B=\"1\" C=\"2\"/>");
    QTest::newRow("quoted value spans lines")
        << QByteArray("<A V=\"1\r\n<2>\"/>") << QByteArray("\r\n<A V=\"1%0D%0A%3C2%3E\"/>");
    QTest::newRow("single quote means nothing")
        << QByteArray("<A V='x'/>") << QByteArray("\r\n<A V=\"'x'\"/>");
    QTest::newRow("empty attribute name")
        << QByteArray("<A =\"v\"/>") << QByteArray("\r\n<A =\"v\"/>");
    QTest::newRow("text runs join before children")
        << QByteArray("<A> one <B/> two </A>") << QByteArray("\r\n<A>onetwo\r\n\t<B/>\r\n</A>");
    QTest::newRow("escaped blanks at text ends stay")
        << QByteArray("<A> %01x%20 </A>") << QByteArray("\r\n<A>%01x \r\n</A>");
    QTest::newRow("nested lower-case names")
        << QByteArray("<r><hit f=1/><Hit></hIT></R>")
        << QByteArray("\r\n<R>\r\n\t<HIT F=\"1\"/>\r\n\t<HIT/>\r\n</R>");
}

void TestTreeDocumentText::reads()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, written);
    TreeDocument doc;
    doc.SetName("OLD");
    doc.LoadFromString(bytes(text));
    QCOMPARE(doc.SaveToString(), bytes(written));
}

void TestTreeDocumentText::duplicateAttributesKept()
{
    TreeDocument doc;
    doc.LoadFromString("<A b=\"1\" B=\"2\"/>");
    QCOMPARE(doc.AttributeCount(), 2);
    QCOMPARE(doc.ReadAttribute("B"), std::string("1"));
    QCOMPARE(doc.AttributeValue(1), std::string("2"));
}

void TestTreeDocumentText::readErrors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("position");
    const QByteArray syntax("Syntax error");
    QTest::newRow("no element") << QByteArray("abc") << syntax << 1;
    QTest::newRow("blanks only") << QByteArray("   ") << syntax << 3;
    QTest::newRow("tag name without end") << QByteArray("  <ABC") << syntax << 3;
    QTest::newRow("unclosed quote") << QByteArray("<A B=\"xyz") << syntax << 6;
    QTest::newRow("bare value without end") << QByteArray("<A B= xyz") << syntax << 7;
    QTest::newRow("attribute name without end") << QByteArray("<A B=\"1\"xy") << syntax << 9;
    QTest::newRow("start tag not closed") << QByteArray("<A/x>") << syntax << 4;
    QTest::newRow("text without end tag") << QByteArray("<A>  text") << syntax << 6;
    QTest::newRow("child without end tag") << QByteArray("<A><B>") << syntax << 7;
    QTest::newRow("cut off after blank") << QByteArray("<A ") << syntax << 4;
    QTest::newRow("cut off after line break") << QByteArray("<A B=1\r\n") << syntax << 9;
    QTest::newRow("wrong end tag")
        << QByteArray("<A><B></A>") << QByteArray("Unclosed tag: B") << 7;
    QTest::newRow("end tag not closed")
        << QByteArray("<a>\r\n</A x>") << QByteArray("Unclosed tag: A") << 6;
    QTest::newRow("end tag cut off") << QByteArray("<A></A") << QByteArray("Unclosed tag: A") << 4;
    QTest::newRow("blank inside end tag")
        << QByteArray("<A></ A>") << QByteArray("Unclosed tag: A") << 4;
}

void TestTreeDocumentText::readErrors()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, message);
    QFETCH(int, position);
    TreeDocument doc;
    try {
        doc.LoadFromString(bytes(text));
        QFAIL("no error raised");
    } catch (const TreeDocumentError& error) {
        QCOMPARE(QByteArray(error.what()), message);
        QCOMPARE(error.Position, position);
    }
}

void TestTreeDocumentText::faultKeepsWhatWasRead()
{
    TreeDocument doc;
    QVERIFY_THROWS_EXCEPTION(TreeDocumentError,
                             doc.LoadFromString("<R K=\"1\"><C1/>text<C2 X=\"y\"><G/></R>"));
    QCOMPARE(doc.SaveToString(),
             std::string("\r\n<R K=\"1\">text\r\n\t<C1/>\r\n\t<C2 X=\"y\">"
                         "\r\n\t\t<G/>\r\n\t</C2>\r\n</R>"));
}

void TestTreeDocumentText::hooksDiscardAndFilter()
{
    HookedNode doc;
    doc.LoadFromString("<R>keep<SKIP A=\"1\"><X>lost</X></SKIP>no<C>more</C><skip/></R>");
    QCOMPARE(doc.SaveToString(), std::string("\r\n<R>keep\r\n\t<C>more\r\n\t</C>\r\n</R>"));
    QCOMPARE(doc.loaded, std::vector<std::string> {"C"});
}

void TestTreeDocumentText::discardedElementFailing()
{
    HookedNode doc;
    try {
        doc.LoadFromString("<R><C/><SKIP><X></SKIP></R>");
        QFAIL("no error raised");
    } catch (const TreeDocumentError& error) {
        QCOMPARE(QByteArray(error.what()), QByteArray("Unclosed tag: X"));
        QCOMPARE(error.Position, 17);
    }
    QCOMPARE(doc.ChildCount(), 1);
}

void TestTreeDocumentText::nestingLimit()
{
    const auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "<A>";
        for (int i = 0; i < depth; ++i)
            text += "</A>";
        return text;
    };
    TreeDocument doc;
    doc.LoadFromString(nested(TreeDocument::MaxReadDepth));
    try {
        doc.LoadFromString(nested(TreeDocument::MaxReadDepth + 1));
        QFAIL("no error raised");
    } catch (const TreeDocumentError& error) {
        QCOMPARE(error.Position, 3 * TreeDocument::MaxReadDepth + 1);
    }
}

void TestTreeDocumentText::lineBreaks_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("normalised");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("final break added") << QByteArray("a") << QByteArray("a\r\n");
    QTest::newRow("lone LF") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR LF kept") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n");
    QTest::newRow("LF CR is two breaks") << QByteArray("\n\r") << QByteArray("\r\n\r\n");
    QTest::newRow("stops at NUL") << QByteArray("a\0<b>", 5) << QByteArray("a\r\n");
    QTest::newRow("NUL first") << QByteArray("\0a", 2) << QByteArray("");
}

void TestTreeDocumentText::lineBreaks()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, normalised);
    QCOMPARE(NormaliseLineBreaks(bytes(raw)), bytes(normalised));
}

void TestTreeDocumentText::streamReadsFromCurrentPosition()
{
    std::istringstream in("<X/>\n<A V=\"1\n2\"/>");
    in.ignore(5);
    TreeDocument doc;
    doc.LoadFromStream(in);
    QCOMPARE(doc.Name(), std::string("A"));
    QCOMPARE(doc.ReadAttribute("V"), std::string("1\r\n2"));

    std::ostringstream out;
    out << "head";
    doc.SaveToStream(out);
    QCOMPARE(out.str(), "head" + doc.SaveToString());
    const std::string before = out.str();
    doc.Clear();
    doc.SaveToStream(out);
    QCOMPARE(out.str(), before);
}

QTEST_APPLESS_MAIN(TestTreeDocumentText)
#include "tst_tree_document_text.moc"
