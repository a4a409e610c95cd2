#include "store/tree_document.h"

#include <QTest>

#include <memory>

namespace {

// A node class of its own, to see that copies keep the class of each child.
class TaggedNode : public TreeDocument
{
public:
    using TreeDocument::TreeDocument;

protected:
    TreeDocument* CreateOfSameClass(TreeDocument* parent) const override
    {
        return new TaggedNode(parent);
    }
};

TreeDocument* addChild(TreeDocument* parent, const char* name)
{
    auto* child = new TreeDocument(parent);
    child->SetName(name);
    return child;
}

} // namespace

class TestTreeDocument : public QObject
{
    Q_OBJECT

private slots:
    void attributesFoldOnlyAsciiLetters();
    void writingKeepsPlaceAndEmptyDeletes();
    void lookupsDoNotTrimButSetNameDoes();
    void attributeAndChildIndexOutOfRange();
    void clearKeepsChildAttached();
    void destroyingChildDetachesIt();
    void findNextChildWalksEqualNames();
    void setParentMovesSubtreeAndIndents();
    void setParentBelowItselfThrows();
    void assignCopiesDeeplyWithChildClasses();
    void assignFromOwnDescendant();
};

void TestTreeDocument::attributesFoldOnlyAsciiLetters()
{
    TreeDocument node;
    QCOMPARE(node.ReadAttribute("NEVER"), std::string());
    node.WriteAttribute("dir_to_view", "v");
    QCOMPARE(node.ReadAttribute("DIR_TO_VIEW"), std::string("v"));
    QCOMPARE(node.AttributeName(0), std::string("DIR_TO_VIEW"));
    node.WriteAttribute("\xe9t\xe9", "x");
    QCOMPARE(node.ReadAttribute("\xe9T\xe9"), std::string("x"));
    QCOMPARE(node.ReadAttribute("\xc9T\xc9"), std::string());
}

void TestTreeDocument::writingKeepsPlaceAndEmptyDeletes()
{
    TreeDocument node;
    node.SetName("R");
    node.WriteAttribute("A", "1");
    node.WriteAttribute("B", "2");
    node.WriteAttribute("C", "3");
    node.WriteAttribute("a", "9");
    QCOMPARE(node.AttributeCount(), 3);
    QCOMPARE(node.AttributeName(0), std::string("A"));
    QCOMPARE(node.AttributeValue(0), std::string("9"));
    node.WriteAttribute("b", "");
    QCOMPARE(node.AttributeCount(), 2);
    QCOMPARE(node.ReadAttribute("B"), std::string());
    QCOMPARE(node.SaveToString(), std::string("\r\n<R A=\"9\" C=\"3\"/>"));
    node.DeleteAttribute("missing");
    QCOMPARE(node.AttributeCount(), 2);
}

void TestTreeDocument::lookupsDoNotTrimButSetNameDoes()
{
    TreeDocument root;
    TreeDocument* hit = addChild(&root, " \t hit\r\n");
    QCOMPARE(hit->Name(), std::string("HIT"));
    QCOMPARE(root.FindChild("hit"), hit);
    QCOMPARE(root.FindChild(" HIT"), nullptr);
    root.WriteAttribute("KEY", "v");
    QCOMPARE(root.ReadAttribute(" KEY"), std::string());
}

void TestTreeDocument::attributeAndChildIndexOutOfRange()
{
    TreeDocument root;
    addChild(&root, "A");
    root.WriteAttribute("K", "v");
    QCOMPARE(root.Child(-1), nullptr);
    QCOMPARE(root.Child(root.ChildCount()), nullptr);
    QCOMPARE(root.AttributeName(1), std::string());
    QCOMPARE(root.AttributeValue(-1), std::string());
}

void TestTreeDocument::clearKeepsChildAttached()
{
    TreeDocument root;
    TreeDocument* child = addChild(&root, "HISTORY");
    addChild(child, "HIT")->WriteAttribute("HIT_FILE", "x");
    child->SetText("t");
    child->Clear();
    QCOMPARE(child->Parent(), &root);
    QCOMPARE(child->Level(), 1);
    QCOMPARE(child->Indent(), std::string("\r\n\t"));
    QCOMPARE(child->Name(), std::string());
    QCOMPARE(child->Text(), std::string());
    QCOMPARE(child->ChildCount(), 0);
    QCOMPARE(root.ChildCount(), 1);
}

void TestTreeDocument::destroyingChildDetachesIt()
{
    TreeDocument root;
    addChild(&root, "A");
    TreeDocument* b = addChild(&root, "B");
    addChild(&root, "C");
    delete b;
    QCOMPARE(root.ChildCount(), 2);
    QCOMPARE(root.Child(1)->Name(), std::string("C"));
}

void TestTreeDocument::findNextChildWalksEqualNames()
{
    TreeDocument root;
    std::vector<TreeDocument*> kids;
    for (const char* name : {"A", "B", "A", "C", "A"})
        kids.push_back(addChild(&root, name));
    QCOMPARE(root.FindChild("a"), kids[0]);
    QCOMPARE(root.FindNextChild(kids[0]), kids[2]);
    QCOMPARE(root.FindNextChild(kids[2]), kids[4]);
    QCOMPARE(root.FindNextChild(kids[4]), nullptr);
    QCOMPARE(root.FindNextChild(nullptr), nullptr);
    // A node from elsewhere starts the search at the first child.
    TreeDocument stranger;
    stranger.SetName("A");
    QCOMPARE(root.FindNextChild(&stranger), kids[0]);
}

void TestTreeDocument::setParentMovesSubtreeAndIndents()
{
    TreeDocument root;
    TreeDocument* first = addChild(&root, "FIRST");
    TreeDocument* second = addChild(&root, "SECOND");
    TreeDocument* deep = addChild(second, "DEEP");
    TreeDocument* deeper = addChild(deep, "DEEPER");
    deep->SetParent(first);
    QCOMPARE(first->Child(0), deep);
    QCOMPARE(second->ChildCount(), 0);
    QCOMPARE(deeper->Level(), 3);
    QCOMPARE(deeper->Indent(), std::string("\r\n\t\t\t"));

    deep->SetParent(nullptr);
    std::unique_ptr<TreeDocument> owner(deep);
    QCOMPARE(first->ChildCount(), 0);
    QCOMPARE(deep->Level(), 0);
    QCOMPARE(deeper->Indent(), std::string("\r\n\t"));
    // Written on its own, a child starts with its own indent.
    QCOMPARE(deeper->SaveToString(), std::string("\r\n\t<DEEPER/>"));

    // Setting the same parent again leaves the node where it is among its siblings.
    addChild(&root, "THIRD");
    first->SetParent(&root);
    QCOMPARE(root.Child(0), first);
}

void TestTreeDocument::setParentBelowItselfThrows()
{
    TreeDocument root;
    TreeDocument* child = addChild(&root, "CHILD");
    TreeDocument* grandChild = addChild(child, "GRAND");
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, child->SetParent(grandChild));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, child->SetParent(child));
    QCOMPARE(child->Parent(), &root);
    QCOMPARE(grandChild->Parent(), child);
}

void TestTreeDocument::assignCopiesDeeplyWithChildClasses()
{
    TreeDocument source;
    source.SetName("ROOT");
    source.SetText("body");
    source.WriteAttribute("A", "1");
    auto* tagged = new TaggedNode(&source);
    tagged->SetName("TAGGED");
    addChild(tagged, "LEAF");

    TreeDocument copy;
    addChild(&copy, "OLD");
    copy.Assign(source);
    QCOMPARE(copy.SaveToString(), source.SaveToString());
    QVERIFY(dynamic_cast<TaggedNode*>(copy.Child(0)));
    QCOMPARE(copy.Child(0)->Parent(), &copy);
    QCOMPARE(copy.Child(0)->Child(0)->Level(), 2);

    copy.WriteAttribute("A", "2");
    copy.Child(0)->SetName("CHANGED");
    addChild(&copy, "EXTRA");
    QCOMPARE(source.ReadAttribute("A"), std::string("1"));
    QCOMPARE(source.Child(0)->Name(), std::string("TAGGED"));
    QCOMPARE(source.ChildCount(), 1);
}

void TestTreeDocument::assignFromOwnDescendant()
{
    TreeDocument root;
    root.SetName("ROOT");
    TreeDocument* child = addChild(&root, "CHILD");
    addChild(child, "LEAF")->WriteAttribute("K", "v");
    root.Assign(*child);
    QCOMPARE(root.SaveToString(), std::string("\r\n<CHILD>\r\n\t<LEAF K=\"v\"/>\r\n</CHILD>"));
    root.Assign(root);
    QCOMPARE(root.Child(0)->ReadAttribute("K"), std::string("v"));

    // From an ancestor: the copy must not take in the copy it is making.
    TreeDocument* inner = root.Child(0);
    inner->Assign(root);
    QCOMPARE(
        root.SaveToString(),
        std::string("\r\n<CHILD>\r\n\t<CHILD>\r\n\t\t<LEAF K=\"v\"/>\r\n\t</CHILD>\r\n</CHILD>"));
}

QTEST_APPLESS_MAIN(TestTreeDocument)
#include "tst_tree_document.moc"
