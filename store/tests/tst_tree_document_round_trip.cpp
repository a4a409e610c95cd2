// Random trees written and read back must come back whole, except for what the text form
// cannot carry: elements without a name and blanks at the ends of a text. Line breaks in
// values and texts come back exactly, also through a stream or a file.
#include "store/tree_document.h"

#include <QTemporaryDir>
#include <QTest>

#include <random>
#include <sstream>

namespace {

class TreeMaker
{
public:
    explicit TreeMaker(unsigned seed)
        : random(seed)
    {
    }

    void fill(TreeDocument& node, int depth)
    {
        node.SetName(pick(8) == 0 && depth > 0 ? std::string() : name());
        for (int i = pick(5); i > 0; --i)
            node.WriteAttribute(name(), anyBytes(1 + pick(12)));
        if (pick(2) == 0)
            node.SetText(anyBytes(pick(16)));
        if (depth < 4) {
            for (int i = pick(4); i > 0; --i)
                fill(*new TreeDocument(&node), depth + 1);
        }
    }

private:
    int pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random); }

    std::string name()
    {
        static const char chars[]
            = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
        std::string s;
        for (int i = 1 + pick(8); i > 0; --i)
            s += chars[pick(sizeof chars - 1)];
        return s;
    }

    // Every byte value, with the ones the text form treats specially drawn more often.
    std::string anyBytes(int length)
    {
        static const char special[] = "\r\n\t %\"<>=/\x01";
        std::string s;
        for (int i = 0; i < length; ++i) {
            s += pick(2) == 0 ? special[pick(sizeof special - 1)]
                              : static_cast<char>(static_cast<unsigned char>(pick(256)));
        }
        return s;
    }

    std::mt19937 random;
};

std::string trimBlanks(const std::string& s)
{
    const char* blanks = "\t ";
    const size_t first = s.find_first_not_of(blanks);
    return first == std::string::npos ? std::string()
                                      : s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// What reading back should give: the documented losses applied to a copy of the original.
void applyLosses(TreeDocument& node)
{
    node.SetText(trimBlanks(node.Text()));
    for (int i = node.ChildCount() - 1; i >= 0; --i) {
        if (node.Child(i)->Name().empty())
            delete node.Child(i);
    }
    for (int i = 0; i < node.ChildCount(); ++i)
        applyLosses(*node.Child(i));
}

// Compares without the writer, so that a writer fault cannot hide itself.
QString difference(const TreeDocument& a, const TreeDocument& b, const QString& where)
{
    const QString here = where + '/' + QString::fromLatin1(a.Name());
    if (a.Name() != b.Name() || a.Text() != b.Text() || a.AttributeCount() != b.AttributeCount()
        || a.ChildCount() != b.ChildCount())
        return here;
    for (int i = 0; i < a.AttributeCount(); ++i) {
        if (a.AttributeName(i) != b.AttributeName(i) || a.AttributeValue(i) != b.AttributeValue(i))
            return here + " @" + QString::fromLatin1(a.AttributeName(i));
    }
    for (int i = 0; i < a.ChildCount(); ++i) {
        const QString d = difference(*a.Child(i), *b.Child(i), here);
        if (!d.isEmpty())
            return d;
    }
    return {};
}

} // namespace

class TestTreeDocumentRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void randomTrees_data();
    void randomTrees();
};

void TestTreeDocumentRoundTrip::randomTrees_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("string") << "string";
    QTest::newRow("stream") << "stream";
    QTest::newRow("file") << "file";
}

void TestTreeDocumentRoundTrip::randomTrees()
{
    QFETCH(QString, way);
    QTemporaryDir dir;
    const std::string fileName = dir.filePath("tree.set").toStdString();
    TreeMaker maker(20261207);
    const int trees = way == "file" ? 40 : 400;
    for (int i = 0; i < trees; ++i) {
        TreeDocument original;
        maker.fill(original, 0);
        TreeDocument reread;
        if (way == "string") {
            reread.LoadFromString(original.SaveToString());
        } else if (way == "stream") {
            std::stringstream stream;
            original.SaveToStream(stream);
            reread.LoadFromStream(stream);
        } else {
            original.SaveToFile(fileName);
            reread.LoadFromFile(fileName);
        }
        TreeDocument expected;
        expected.Assign(original);
        applyLosses(expected);
        const QString d = difference(expected, reread, QString());
        QVERIFY2(d.isEmpty(), qPrintable(QString("tree %1 differs at %2").arg(i).arg(d)));
    }
}

QTEST_APPLESS_MAIN(TestTreeDocumentRoundTrip)
#include "tst_tree_document_round_trip.moc"
