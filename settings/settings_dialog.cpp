#include "settings/settings_dialog.h"

#include "browse/svg_picture.h"
#include "settings/color_box.h"
#include "settings/history_list.h"
#include "settings/history_merge.h"
#include "settings/illustration_shape.h"
#include "store/text_helpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>
#include <exception>

namespace {

// How many paths the navigation history keeps when the settings do not say.
constexpr int defaultHistoryLimit = 50;

// A held spin arrow repeats its step 400 ms after the press and then every 100 ms.
class SpinRepeatStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_SpinBox_ClickAutoRepeatThreshold)
            return 400;
        if (hint == SH_SpinBox_ClickAutoRepeatRate)
            return 100;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Steps of one only: the wheel and the page keys of QSpinBox would change the value in other
// ways than the arrows and the Up and Down keys.
class SingleStepFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel)
            return true;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_PageUp || key == Qt::Key_PageDown)
                return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

// A spin edit that changes only through its arrows and the Up and Down keys.
QSpinBox* makeSpinEdit(const QString& name, QRect geometry, int minimum, int maximum,
                       int designValue, QWidget* parent)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setGeometry(geometry);
    spin->setRange(minimum, maximum);
    spin->setValue(designValue);
    spin->findChild<QLineEdit*>()->setReadOnly(true);
    spin->installEventFilter(new SingleStepFilter(spin));
    return spin;
}

QLabel* makeLabel(const QString& name, const QString& text, QPoint at, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(at);
    label->adjustSize();
    return label;
}

// The entries of HISTORY/HIT/HIT_FILE, oldest first; none without a HISTORY element.
std::vector<std::string> historyIn(const TreeDocument& settings)
{
    std::vector<std::string> entries;
    const TreeDocument* node = settings.FindChild("HISTORY");
    for (int i = 0; node && i < node->ChildCount(); ++i) {
        const TreeDocument* hit = node->Child(i);
        if (hit->Name() == "HIT")
            entries.push_back(hit->ReadAttribute("HIT_FILE"));
    }
    return entries;
}

void writeHistory(TreeDocument& settings, const std::vector<std::string>& entries)
{
    TreeDocument* node = settings.FindOrAddChild("HISTORY");
    node->Clear();
    node->SetName("HISTORY");
    for (const std::string& entry : entries) {
        auto* hit = new TreeDocument(node);
        hit->SetName("HIT");
        hit->WriteAttribute("HIT_FILE", entry);
    }
}

} // namespace

SettingsDialog::SettingsDialog(HistoryList* history, MainBounds* mainWindow, AskFunction ask,
                               std::string settingsFileName, QWidget* parent)
    : ProgramSettings(std::move(settingsFileName), parent)
    , history_(history)
    , ask_(std::move(ask))
{
    setObjectName(QStringLiteral("D_settings_user"));
    SetClientWidth(468);
    BuildMagnifierPage();
    BuildNavigationPage();

    auto* repeatStyle = new SpinRepeatStyle;
    repeatStyle->setParent(this);
    SE_mgd->setStyle(repeatStyle);
    SE_history->setStyle(repeatStyle);

    connect(CB_border, &QCheckBox::toggled, this, &SettingsDialog::CB_borderClick);
    connect(SB_clear_history, &QPushButton::clicked, this, &SettingsDialog::SB_clear_historyClick);
    CB_borderClick();

    SetMainWindow(mainWindow);
    FormCreate();
}

SettingsDialog::~SettingsDialog()
{
    WriteSettingsFile();
}

void SettingsDialog::BuildMagnifierPage()
{
    TabSheet_mg = new QWidget;
    TabSheet_mg->setObjectName(QStringLiteral("TabSheet_mg"));
    PageControl1->addTab(TabSheet_mg, QStringLiteral("Magnifier"));

    // A fixed picture of a glass over a page; no control changes it.
    auto* shadow = new IllustrationShape(IllustrationShape::Kind::Rectangle, QColor(), Qt::gray,
                                         TabSheet_mg);
    shadow->setObjectName(QStringLiteral("Shape2"));
    shadow->setGeometry(49, 21, 64, 85);
    auto* page = new IllustrationShape(IllustrationShape::Kind::Rectangle, Qt::black, Qt::white,
                                       TabSheet_mg);
    page->setObjectName(QStringLiteral("Shape1"));
    page->setGeometry(42, 14, 64, 85);
    auto* picture = new QLabel(TabSheet_mg);
    picture->setObjectName(QStringLiteral("Image3"));
    picture->setGeometry(21, 21, 100, 68);
    picture->setPixmap(SvgPicture(QStringLiteral(":/glass_illustration.svg"), QSize(100, 68)));
    auto* glass
        = new IllustrationShape(IllustrationShape::Kind::Circle, Qt::black, QColor(), TabSheet_mg);
    glass->setObjectName(QStringLiteral("Shape_mg"));
    glass->setGeometry(24, 24, 62, 61);
    // The shapes are read as the parts of the illustration they are.
    for (IllustrationShape* part : {shadow, page, glass})
        part->setAccessibleName(QStringLiteral("Illustration"));
    picture->setAccessibleName(QStringLiteral("Magnifying glass over a page"));

    makeLabel(QStringLiteral("Label4"), QStringLiteral("Magnifying glass diameter:"),
              QPoint(140, 14), TabSheet_mg);
    SE_mgd
        = makeSpinEdit(QStringLiteral("SE_mgd"), QRect(140, 35, 120, 22), 40, 150, 50, TabSheet_mg);
    SE_mgd->setAccessibleName(QStringLiteral("Magnifying glass diameter"));

    CB_border = new QCheckBox(QStringLiteral("Use border color"), TabSheet_mg);
    CB_border->setObjectName(QStringLiteral("CB_border"));
    // The design width is for the designer's font; a wider caption keeps its width.
    CB_border->setGeometry(294, 14, std::max(127, CB_border->sizeHint().width()), 17);
    CCB1 = new ColorBox(TabSheet_mg);
    CCB1->setObjectName(QStringLiteral("CCB1"));
    CCB1->setAccessibleName(QStringLiteral("Border color"));
    CCB1->setGeometry(294, 35, 106, 22);
}

void SettingsDialog::BuildNavigationPage()
{
    TabSheet_navigation = new QWidget;
    TabSheet_navigation->setObjectName(QStringLiteral("TabSheet_navigation"));
    PageControl1->addTab(TabSheet_navigation, QStringLiteral("Navigation"));

    GroupBox1 = new QGroupBox(TabSheet_navigation);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(21, 7, 407, 148);

    makeLabel(QStringLiteral("Label5"), QStringLiteral("Records in history list:"), QPoint(15, 21),
              GroupBox1);
    SE_history
        = makeSpinEdit(QStringLiteral("SE_history"), QRect(14, 42, 120, 22), 4, 150, 4, GroupBox1);
    SE_history->setAccessibleName(QStringLiteral("Records in history list"));
    CB_dup_allowed = new QCheckBox(QStringLiteral("Allow duplicates in history"), GroupBox1);
    CB_dup_allowed->setObjectName(QStringLiteral("CB_dup_allowed"));
    CB_dup_allowed->setGeometry(231, 21, std::max(162, CB_dup_allowed->sizeHint().width()), 17);
    SB_clear_history = new QPushButton(QStringLiteral("Clear navigation history"), GroupBox1);
    SB_clear_history->setObjectName(QStringLiteral("SB_clear_history"));
    SB_clear_history->setGeometry(231, 42, 155, 22);
    SB_clear_history->setFlat(true);
    SB_clear_history->setAutoDefault(false);
}

std::string SettingsDialog::GetCollectionsFolder()
{
    return "../collections/";
}

void SettingsDialog::SetHistoryList(HistoryList* history)
{
    history_ = history;
}

void SettingsDialog::SettingsToControls()
{
    CCB1->SetColor(TextToColor(Settings.ReadAttribute("MG_BORDER_COLOR")));
    CB_border->setChecked(Settings.ReadAttribute("USE_MG_BORDER") == "Y");
    CB_dup_allowed->setChecked(Settings.ReadAttribute("FND") == "Y");
    // The spin edits bring a value outside their limits to the nearer limit.
    SE_mgd->setValue(TextToInt(Settings.ReadAttribute("MG_DIAMETER")).value_or(100));
    SE_history->setValue(TextToInt(Settings.ReadAttribute("HRC")).value_or(defaultHistoryLimit));
}

void SettingsDialog::ControlsToSettings()
{
    Settings.WriteAttribute("MG_BORDER_COLOR", ColorToText(CCB1->Color()));
    Settings.WriteAttribute("MG_DIAMETER", std::to_string(SE_mgd->value()));
    Settings.WriteAttribute("HRC", std::to_string(SE_history->value()));
    // Writing an empty value removes the attribute: off is its absence.
    Settings.WriteAttribute("USE_MG_BORDER", CB_border->isChecked() ? "Y" : "");
    Settings.WriteAttribute("FND", CB_dup_allowed->isChecked() ? "Y" : "");
}

void SettingsDialog::AfterLoad()
{
    LoadHistory();
}

void SettingsDialog::LoadHistory()
{
    Settings.FindOrAddChild("HISTORY");
    historyRead_ = historyIn(Settings);
    // Every stored entry, also beyond the limit: the limit applies when the user adds one,
    // and a start that only reads the settings must write back what it read.
    if (history_)
        history_->Assign(historyRead_);
}

void SettingsDialog::StoreHistory()
{
    if (!history_)
        return;
    std::vector<std::string> entries;
    for (int i = 0; i < history_->Count(); ++i)
        entries.push_back(history_->Item(i));
    writeHistory(Settings, entries);
    historyStored_ = true;
}

void SettingsDialog::SaveSettings(const std::string& FileName)
{
    mergeStoredHistory(FileName);
    ProgramSettings::SaveSettings(FileName);
    if (historyStored_ && WriteFailure().empty())
        historyRead_ = historyIn(Settings);
}

void SettingsDialog::mergeStoredHistory(const std::string& fileName)
{
    // Where two programs share the settings file (no runtime folder keeps them to one), each
    // would otherwise write back only its own history over the other's.
    TreeDocument stored;
    try {
        stored.LoadFromFile(fileName);
    } catch (const std::exception&) {
        // Nothing to merge with: the file is written as this program holds it.
        return;
    }
    if (stored.Name().empty())
        return;
    const std::vector<std::string> merged = MergeHistory(
        historyRead_, historyIn(stored), historyStored_ ? historyIn(Settings) : historyRead_,
        SE_history->value(), CB_dup_allowed->isChecked());
    if (merged != historyIn(Settings))
        writeHistory(Settings, merged);
}

void SettingsDialog::CB_borderClick()
{
    const bool on = CB_border->isChecked();
    CCB1->setEnabled(on);
    // The list shows the window background when it can be used and the button face when not.
    QPalette palette = CCB1->palette();
    const QColor background = QApplication::palette().color(on ? QPalette::Base : QPalette::Button);
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Button, background);
    CCB1->setPalette(palette);
}

void SettingsDialog::SB_clear_historyClick()
{
    if (!ask_ || !history_)
        return;
    const bool clear = ask_("Clear navigation history?");
    // Give the focus back to the dialog: its activation reloads the stored values, and some
    // platforms leave no window active when the question closes.
    if (isVisible())
        activateWindow();
    if (clear)
        history_->Clear();
}
