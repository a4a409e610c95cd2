// What a screen reader is told: the accessibility tree of the main window, the settings
// dialog and the about box, walked in-process as an assistive technology walks it.
#include "program_fixture.h"

#include "about/about_box.h"
#include "viewer/brightness_contrast_bar.h"
#include "viewer/magnification_indicator.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QAccessibleValueInterface>
#include <QTabWidget>

namespace {

struct Node
{
    QAccessibleInterface* iface;
    QString path; // the roles and names from the window down, for the failure message
};

// Every node a screen reader can reach from Window that is not marked invisible.
QList<Node> visibleNodes(QWidget* window)
{
    QList<Node> nodes;
    QList<Node> pending {{QAccessible::queryAccessibleInterface(window), window->objectName()}};
    while (!pending.isEmpty()) {
        const Node node = pending.takeFirst();
        if (!node.iface || node.iface->state().invisible)
            continue;
        nodes << node;
        for (int i = 0; i < node.iface->childCount(); ++i) {
            QAccessibleInterface* child = node.iface->child(i);
            if (!child)
                continue;
            const QObject* object = child->object();
            const QString step = object && !object->objectName().isEmpty()
                ? object->objectName()
                : child->text(QAccessible::Name);
            pending << Node {child, node.path + " / " + step};
        }
    }
    return nodes;
}

// The roles a reader announces as something to look at or act on: they need a name. A
// label reads its own text, a pane or a group only holds what is inside it.
bool needsName(const QAccessibleInterface* iface)
{
    switch (iface->role()) {
    case QAccessible::Client: {
        // A plain widget is a control when it takes a click's focus or draws something itself.
        const auto* widget = qobject_cast<const QWidget*>(iface->object());
        return iface->childCount() == 0
            || (widget && (widget->focusPolicy() & Qt::ClickFocus) != 0);
    }
    case QAccessible::Pane:
    case QAccessible::Grouping:
    case QAccessible::Window:
    case QAccessible::Dialog:
    case QAccessible::Separator:
    case QAccessible::Border:
    case QAccessible::StatusBar:
    case QAccessible::LayeredPane:
    case QAccessible::StaticText:
    case QAccessible::PageTabList:
    case QAccessible::Splitter:
    case QAccessible::Grip:
    case QAccessible::ToolBar:
    case QAccessible::MenuBar:
    case QAccessible::ScrollBar:
    case QAccessible::Row:
    case QAccessible::Cell:
    case QAccessible::TreeItem:
    case QAccessible::ListItem:
        return false;
    default:
        return true;
    }
}

QAccessibleInterface* findNode(const QList<Node>& nodes, const QString& path)
{
    for (const Node& node : nodes)
        if (node.path.endsWith(path))
            return node.iface;
    return nullptr;
}

} // namespace

class TestAccessibleNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyControlIsNamed_data();
    void everyControlIsNamed();
    void captionsAndValuesAreRead();

private:
    ProgramFixture program;
};

// The program with a picture open, so that the history, the name and the bars have content.
void TestAccessibleNames::initTestCase()
{
    program.writePicture("a.bmp", 64, 48);
    program.Start();
    program.open("a.bmp");
}

void TestAccessibleNames::everyControlIsNamed_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("page");
    QTest::newRow("main window") << "Fmain" << 0;
    QTest::newRow("settings, magnifier") << "D_settings_user" << 0;
    QTest::newRow("settings, navigation") << "D_settings_user" << 1;
    QTest::newRow("about box") << "F_about" << 0;
}

void TestAccessibleNames::everyControlIsNamed()
{
    QFETCH(QString, window);
    QFETCH(int, page);
    QWidget* shown = window == "Fmain" ? static_cast<QWidget*>(Fmain)
        : window == "D_settings_user"  ? static_cast<QWidget*>(D_settings_user)
                                       : static_cast<QWidget*>(F_about);
    if (auto* pages = shown->findChild<QTabWidget*>("PageControl1"); pages && shown != Fmain)
        pages->setCurrentIndex(page);
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));

    QStringList unnamed;
    QStringList all;
    for (const Node& node : visibleNodes(shown)) {
        const QString name = node.iface->text(QAccessible::Name);
        all << node.path + QString(" [%1] \"%2\"").arg(int(node.iface->role())).arg(name);
        if (needsName(node.iface) && name.trimmed().isEmpty())
            unnamed << node.path;
        // The page the program never shows is not there for a reader either.
        if (name == "Collection" || node.path.contains("TabSheet_col"))
            unnamed << node.path + " is the hidden page";
    }
    if (qEnvironmentVariableIsSet("VISTREL_PRINT_ACCESSIBLE"))
        qInfo().noquote() << all.join('\n');
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join('\n')));
    if (shown != Fmain)
        shown->hide();
}

void TestAccessibleNames::captionsAndValuesAreRead()
{
    const QList<Node> nodes = visibleNodes(Fmain);

    // The folder list's column is read by its caption, not by the section number "1" that
    // the hidden header would otherwise give.
    QAccessibleInterface* listNode = findNode(nodes, "/ LV_dir");
    QVERIFY(listNode && listNode->tableInterface());
    QCOMPARE(listNode->tableInterface()->columnDescription(0), QString("Name"));

    // A combo box reads its current entry as its name here, so the history box is named by
    // the caption that labels it, which holds when the history is still empty.
    QAccessibleInterface* history = findNode(nodes, "/ CB_history");
    QVERIFY(history);
    QStringList labels;
    for (const auto& [label, relation] : history->relations(QAccessible::Label))
        labels << label->text(QAccessible::Name);
    QCOMPARE(labels, QStringList {"Navigation history:"});

    // Each strip's marker is a slider from -5 to +5 that reads the value it stands for.
    BrightnessContrastBar* strips = Fmain->O_cbs1;
    strips->SetBrightnessPosition(3);
    strips->SetContrastPosition(-2);
    for (const auto& [marker, value] :
         {std::pair {"/ Shape_br", 3}, std::pair {"/ Shape_cn", -2}}) {
        QAccessibleInterface* slider = findNode(nodes, marker);
        QVERIFY2(slider, marker);
        QCOMPARE(slider->role(), QAccessible::Slider);
        QAccessibleValueInterface* reading = slider->valueInterface();
        QVERIFY(reading);
        QCOMPARE(reading->currentValue().toInt(), value);
        QCOMPARE(reading->minimumValue().toInt(), -5);
        QCOMPARE(reading->maximumValue().toInt(), 5);
        QCOMPARE(slider->text(QAccessible::Value), QString::number(value));
    }

    // The indicator's bars tell the sizes they stand for.
    Fmain->O_mg_indicator1->UpdateIndicator(640, 1280, 320);
    for (const auto& [bar, size] :
         {std::pair {"/ Shape_original", "640"}, std::pair {"/ Shape_mg", "1280"},
          std::pair {"/ Shape_shown", "320"}}) {
        QAccessibleInterface* shape = findNode(nodes, bar);
        QVERIFY2(shape, bar);
        const QString description = shape->text(QAccessible::Description);
        QVERIFY2(description.startsWith(QString(size) + ' '), qPrintable(description));
    }
}

QTEST_MAIN(TestAccessibleNames)
#include "tst_accessible_names.moc"
