// The main window's keys, its focus order and its full screen.
#include "shell/main_window.h"

#include "browse/folder_list.h"
#include "store/path_text.h"
#include "viewer/brightness_contrast_bar.h"
#include "viewer/magnification_indicator.h"
#include "viewer/page_viewer.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <array>
#include <utility>

namespace {

struct KeyDescription
{
    const char* keys;
    const char* does;
};

// What the Help menu's "Keyboard shortcuts" lists; the README lists the same.
constexpr std::array keyDescriptions {
    KeyDescription {"Space, Page Down", "Next picture of the folder"},
    KeyDescription {"Backspace, Page Up", "Previous picture of the folder"},
    KeyDescription {"Enter", "Open the entry selected in the folder list"},
    KeyDescription {"Ctrl+O", "Open a picture with the file chooser"},
    KeyDescription {"Alt+Enter", "The picture's properties"},
    KeyDescription {"Alt+Left, Alt+Right", "Prior and Next of the navigation history"},
    KeyDescription {"Ctrl+R, Ctrl+Shift+R", "Rotate clockwise, counterclockwise"},
    KeyDescription {"F5", "Refresh the picture"},
    KeyDescription {"Ctrl+C", "Copy the picture to the clipboard"},
    KeyDescription {"Delete", "Move the file selected in the folder list to the trash"},
    KeyDescription {"F11, Esc", "Full screen, and back"},
    KeyDescription {"Ctrl+Q", "Exit"},
    KeyDescription {"Alt+F, Alt+V, Alt+H", "Open the File, View and Help menus"},
    KeyDescription {"Shift+F10", "The folder list's menu"},
    KeyDescription {"Arrow keys",
                    "Move the glass while the picture has the focus (with Shift, "
                    "10 pixels)"},
    KeyDescription {"Left, Right, 0",
                    "Step the brightness or contrast marker that has the focus; 0 resets it"},
    KeyDescription {"Tab, Shift+Tab", "The next and the previous control"},
};

// Keys typed into a text field stay there.
bool isTextField(const QWidget* widget)
{
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget)
        || qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget);
}

// 1 for the keys of the folder's next picture, -1 for its previous one, else 0.
int pictureStepOf(const QKeyEvent& event)
{
    if (event.modifiers() & ~Qt::KeypadModifier)
        return 0;
    switch (event.key()) {
    case Qt::Key_Space:
    case Qt::Key_PageDown:
        return 1;
    case Qt::Key_Backspace:
    case Qt::Key_PageUp:
        return -1;
    default:
        return 0;
    }
}

// The folder side's tab widget holds a page that is never shown. Qt 6.4's tab bar steps onto
// hidden tabs with the wheel and the tab widget with Ctrl+Tab, so both are kept from it:
// the wheel over the tab bar steps the magnification as anywhere in the window, the page
// keys do nothing, and whatever else might still show a hidden page turns back at once.
class ShownPagesOnly : public QObject
{
public:
    ShownPagesOnly(QTabWidget& tabs, QWidget& owner)
        : QObject(&tabs)
        , pages(tabs)
        , bar(*tabs.tabBar())
        , window(owner)
    {
        pages.installEventFilter(this);
        bar.installEventFilter(this);
        connect(&pages, &QTabWidget::currentChanged, this, [this](int index) {
            if (index >= 0 && !pages.isTabVisible(index))
                showFirstVisible();
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Compared by address only: the filter also sees the events of the tab widget's own
        // destruction, when it is no longer a tab widget to ask for its bar.
        if (watched == &bar && event->type() == QEvent::Wheel) {
            QCoreApplication::sendEvent(&window, event);
            return true;
        }
        if (watched == &pages && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool pageKey = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab
                || key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown;
            if (pageKey && (key->modifiers() & Qt::ControlModifier)) {
                event->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void showFirstVisible()
    {
        for (int i = 0; i < pages.count(); ++i) {
            if (pages.isTabVisible(i)) {
                pages.setCurrentIndex(i);
                return;
            }
        }
    }

    QTabWidget& pages;
    QTabBar& bar;
    QWidget& window;
};

// The history box is a choose-only list, no text field: the keys that step pictures step
// them there too, rather than open its drop-down (Space) or open another entry (the page
// keys). Alt+Down and F4 still open it.
class PictureStepKeys : public QObject
{
public:
    PictureStepKeys(QWidget& control, MainWindow& owner)
        : QObject(&control)
        , window(owner)
    {
        control.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int direction = pictureStepOf(*static_cast<QKeyEvent*>(event));
            if (direction != 0) {
                window.StepFolderPicture(direction);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    MainWindow& window;
};

QAction* windowAction(QWidget* window, QAction* action, const QKeySequence& key)
{
    action->setShortcut(key);
    // Also the window's own, so that the key works while the menus are hidden in full screen.
    window->addAction(action);
    return action;
}

} // namespace

void MainWindow::CreateKeys()
{
    // Underlined menu letters: Alt+F opens File.
    N_File->setTitle("&File");
    N_View->setTitle("&View");
    N_Help->setTitle("&Help");
    N_Exit->setText("E&xit");
    N_About->setText("&About");
    N_Refresh->setText("&Refresh");
    NRotateclockwise->setText("Rotate &clockwise");
    NRotatecounterclockwise->setText("Rotate c&ounterclickwise");
    PRefresh->setText("&Refresh");
    PSaveAs->setText("Save &As...");
    PDelete->setText("&Delete...");

    windowAction(this, N_Exit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    windowAction(this, N_Refresh, QKeySequence(Qt::Key_F5));
    windowAction(this, NRotateclockwise, QKeySequence(Qt::CTRL | Qt::Key_R));
    windowAction(this, NRotatecounterclockwise, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    // The list's menu shows the key, which the window's own action below takes, so that a
    // text field keeps its Delete.
    PDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    PDelete->setShortcutContext(Qt::WidgetShortcut);
    QAction* deleteKey = windowAction(this, new QAction(this), QKeySequence(Qt::Key_Delete));
    connect(deleteKey, &QAction::triggered, this, [this] {
        if (!isTextField(focusWidget()))
            PDeleteClick();
    });

    N_View->addSeparator();
    NFullScreen = N_View->addAction("&Full screen");
    NFullScreen->setObjectName("NFullScreen");
    NFullScreen->setCheckable(true);
    windowAction(this, NFullScreen, QKeySequence(Qt::Key_F11));
    connect(NFullScreen, &QAction::triggered, this, [this](bool on) { SetFullScreen(on); });
    NLeaveFullScreen = windowAction(this, new QAction(this), QKeySequence(Qt::Key_Escape));
    NLeaveFullScreen->setObjectName("NLeaveFullScreen");
    NLeaveFullScreen->setEnabled(false);
    connect(NLeaveFullScreen, &QAction::triggered, this, [this] { SetFullScreen(false); });

    NHistoryPrior
        = windowAction(this, new QAction("Prior", this), QKeySequence(Qt::ALT | Qt::Key_Left));
    NHistoryPrior->setObjectName("NHistoryPrior");
    connect(NHistoryPrior, &QAction::triggered, this, [this] {
        if (TB_prior->isEnabled())
            NavigationClick(TB_prior);
    });
    NHistoryNext
        = windowAction(this, new QAction("Next", this), QKeySequence(Qt::ALT | Qt::Key_Right));
    NHistoryNext->setObjectName("NHistoryNext");
    connect(NHistoryNext, &QAction::triggered, this, [this] {
        if (TB_next->isEnabled())
            NavigationClick(TB_next);
    });

    NKeyboardShortcuts = new QAction("&Keyboard shortcuts", this);
    NKeyboardShortcuts->setObjectName("NKeyboardShortcuts");
    N_Help->insertAction(N_About, NKeyboardShortcuts);
    connect(NKeyboardShortcuts, &QAction::triggered, this, &MainWindow::ShowKeyboardShortcuts);

    // The list's menu from the keyboard, under its current entry.
    auto* listMenuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), O_dir_content1->LV_dir,
                                      nullptr, nullptr, Qt::WidgetShortcut);
    listMenuKey->setObjectName("ListMenuShortcut");
    connect(listMenuKey, &QShortcut::activated, this, [this] {
        QTreeView* list = O_dir_content1->LV_dir;
        const QRect entry = list->visualRect(list->currentIndex());
        const QPoint at = entry.isValid() ? entry.bottomLeft() : QPoint(0, 0);
        PM_filelist->popup(list->viewport()->mapToGlobal(at));
    });

    O_dir_content1->OnStepKey = [this](int direction) {
        StepFolderPicture(direction);
    };
    // Moved on by keys, the glass takes a pending step as a drag does.
    O_pgv1->OnGlassMovedByKey = [this] {
        if (O_mg_indicator1->Pending())
            ApplyScaleStep();
    };

    new ShownPagesOnly(*PageControl1, *this);
    new PictureStepKeys(*CB_history, *this);
    CreateDropAndCopy();
    SetFocusOrder();
}

void MainWindow::SetFocusOrder()
{
    // The tab bars take no focus: the folder side's has one page to show and the picture
    // side's is hidden, and a hidden focus is a trap.
    for (QTabWidget* pages : {PageControl1, PC_viewers}) {
        pages->setFocusPolicy(Qt::NoFocus);
        pages->tabBar()->setFocusPolicy(Qt::NoFocus);
    }
    // Reading order: the tool bar, the folder side, the picture, the indicator, the strips.
    const QWidget* order[] = {CB_history,
                              TB_prior,
                              TB_next,
                              TB_refresh,
                              TB_magnifier,
                              TB_rotate_ccw,
                              TB_rotate_cw,
                              TB_exit,
                              Edit_dir,
                              SB_dir,
                              O_dir_content1->LV_dir,
                              O_pgv1,
                              O_mg_indicator1->SpinButton1Up,
                              O_mg_indicator1->SpinButton1Down,
                              O_mg_indicator1->SpeedButton1,
                              O_mg_indicator1->SpeedButton2,
                              O_cbs1->Shape_br,
                              O_cbs1->Shape_cn};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // The keys no control took come here.
    const int direction = pictureStepOf(*event);
    if (direction != 0 && !isTextField(focusWidget())) {
        StepFolderPicture(direction);
        return;
    }
    MainWindowBase::keyPressEvent(event);
}

void MainWindow::StepFolderPicture(int Direction)
{
    // The step goes from the picture shown when the list holds it, and the list's
    // selection follows.
    std::string shownFolder = FolderOfPath(imageFileName);
    if (shownFolder.empty() || shownFolder.back() != PathDelimiter)
        shownFolder += PathDelimiter;
    if (imageLoaded && SamePath(shownFolder, O_dir_content1->CurrentFolder()))
        O_dir_content1->SelectEntry(FileNamePart(imageFileName));
    if (O_dir_content1->SelectNeighbourFile(Direction))
        ShowSelectedFile();
}

bool MainWindow::FullScreen() const
{
    return NFullScreen->isChecked();
}

void MainWindow::SetFullScreen(bool On)
{
    NFullScreen->setChecked(On);
    NLeaveFullScreen->setEnabled(On);
    if (On == fullScreenShown)
        return;
    fullScreenShown = On;
    // Given the focus before the rest hides, the viewer shows no keyboard focus frame.
    if (On)
        O_pgv1->setFocus(Qt::OtherFocusReason);
    // The picture pane alone: the rest hides, and the splitter keeps its sizes for later.
    for (QWidget* part :
         {static_cast<QWidget*>(MainMenu1), static_cast<QWidget*>(ToolBar1),
          static_cast<QWidget*>(StatusBar1), static_cast<QWidget*>(PageControl1), Panel_state})
        part->setVisible(!On);
    Splitter1->handle(1)->setVisible(!On);
    // Without its frame the pane reaches the screen's edges.
    PC_viewers->setDocumentMode(On);
    O_pgv1->SetBackground(On ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    if (On) {
        stateBeforeFullScreen = windowState() & ~Qt::WindowFullScreen;
        setWindowState(stateBeforeFullScreen | Qt::WindowFullScreen);
    } else {
        setWindowState(stateBeforeFullScreen);
    }
}

void MainWindow::ShowKeyboardShortcuts()
{
    QDialog dialog(this);
    dialog.setObjectName("D_keys");
    dialog.setWindowTitle("Keyboard shortcuts");
    QString table = "<table cellspacing=\"2\" cellpadding=\"2\">";
    for (const KeyDescription& key : keyDescriptions)
        table += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                     .arg(QString::fromLatin1(key.keys).toHtmlEscaped(),
                          QString::fromLatin1(key.does).toHtmlEscaped());
    table += "</table>";
    auto* text = new QLabel(table, &dialog);
    text->setObjectName("Label_keys");
    text->setTextFormat(Qt::RichText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    dialog.exec();
}
