#include "shell/main_window.h"

#include "browse/byte_name.h"
#include "browse/file_operations.h"
#include "browse/folder_list.h"
#include "imaging/picture_formats.h"
#include "imaging/wait_cursor.h"
#include "settings/settings_dialog.h"
#include "shell/desktop_start.h"
#include "shell/elided_text.h"
#include "shell/folder_neighbours.h"
#include "shell/history_box.h"
#include "shell/load_failure.h"
#include "shell/scale_step.h"
#include "shell/settings_bridge.h"
#include "shell/shown_tabs_accessible.h"
#include "shell/windows.h"
#include "store/path_text.h"
#include "viewer/brightness_contrast_bar.h"
#include "viewer/magnification_indicator.h"
#include "viewer/page_viewer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStringListModel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace {

bool fileExists(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// A thin groove between groups of tool buttons.
void addSeparator(QWidget* bar)
{
    auto* line = new QFrame(bar);
    line->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    line->setFixedSize(8, 40);
    bar->layout()->addWidget(line);
}

} // namespace

MainWindow::MainWindow(const std::string& ProgramPath, QWidget* parent)
    : MainWindowBase(ProgramPath, parent)
    , historyList(std::make_unique<HistoryListBridge>(history, [this] { ShowHistory(); }))
    , glassOptions(std::make_unique<SettingsGlassOptions>())
{
    setObjectName("Fmain");
    setWindowTitle("Vistrel");
    resize(695, 462);

    CreateToolBar();
    CreateWorkArea();
    CreateMenus();
    CreateFileCommands();
    CreateKeys();

    BrowseForFolder = [this] {
        const QString chosen = QFileDialog::getExistingDirectory(this, QString(), QDir::homePath(),
                                                                 QFileDialog::ShowDirsOnly);
        return ByteNameOf(chosen);
    };
}

MainWindow::~MainWindow()
{
    // The viewer (a child widget) and the settings object (the base's) outlive the options
    // and the history list that this window owns.
    O_pgv1->SetGlassOptions(nullptr);
    if (D_settings_user)
        D_settings_user->SetHistoryList(nullptr);
}

QToolButton* MainWindow::AddToolButton(QWidget* bar, const char* name, const QString& caption,
                                       const QString& hint, const QString& image)
{
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(QIcon(image));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    // A caption wider than the design size widens its button rather than being cut short.
    button->setMinimumSize(62, 52);
    button->setMaximumHeight(52);
    bar->layout()->addWidget(button);
    return button;
}

void MainWindow::CreateToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(57);
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    // The history panel and the buttons share a splitter, so the user can widen the list.
    Splitter2 = new QSplitter(Qt::Horizontal, ToolBar1);
    Splitter2->setObjectName("Splitter2");
    Splitter2->setHandleWidth(3);
    Splitter2->setChildrenCollapsible(false);
    ToolBar1->addWidget(Splitter2);

    Panel_history = new QWidget(Splitter2);
    Panel_history->setObjectName("Panel_history");
    auto* historyLayout = new QVBoxLayout(Panel_history);
    historyLayout->setContentsMargins(4, 2, 4, 2);
    historyLayout->setSpacing(2);
    Label1 = new QLabel("Navigation history:", Panel_history);
    Label1->setObjectName("Label1");
    CB_history = new HistoryBox(Panel_history);
    CB_history->setObjectName("CB_history");
    CB_history->setAccessibleName("Navigation history");
    // Where a combo box is read by its current entry, the caption names it through its buddy.
    Label1->setBuddy(CB_history);
    CB_history->setMinimumWidth(100);
    CB_history->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    historyLayout->addWidget(Label1);
    historyLayout->addWidget(CB_history);
    historyLayout->addStretch();
    connect(CB_history, &QComboBox::activated, this, &MainWindow::CB_historyChosen);

    auto* buttons = new QWidget(Splitter2);
    buttons->setObjectName("ToolBar1Buttons");
    auto* buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->setContentsMargins(8, 0, 0, 0);
    buttonLayout->setSpacing(0);
    TB_prior = AddToolButton(buttons, "TB_prior", "Prior", QString(), ":/tb_prior.svg");
    TB_next = AddToolButton(buttons, "TB_next", "Next", QString(), ":/tb_next.svg");
    TB_refresh = AddToolButton(buttons, "TB_refresh", "Refresh", "Refresh", ":/tb_refresh.svg");
    addSeparator(buttons);
    TB_magnifier
        = AddToolButton(buttons, "TB_magnifier", "Magnifier", "Magnifier", ":/tb_magnifier.svg");
    TB_rotate_ccw = AddToolButton(buttons, "TB_rotate_ccw", "Rotate ccw", "Rotate counterclockwise",
                                  ":/tb_rotate_ccw.svg");
    TB_rotate_cw = AddToolButton(buttons, "TB_rotate_cw", "Rotate cw", "Rotate clockwise",
                                 ":/tb_rotate_cw.svg");
    // A reader speaks the hint's whole words rather than the caption's abbreviation.
    TB_rotate_ccw->setAccessibleName(TB_rotate_ccw->toolTip());
    TB_rotate_cw->setAccessibleName(TB_rotate_cw->toolTip());
    TB_prior->setAccessibleDescription("Prior picture of the navigation history");
    TB_next->setAccessibleDescription("Next picture of the navigation history");
    addSeparator(buttons);
    TB_exit = AddToolButton(buttons, "TB_exit", "Exit", "Exit", ":/tb_exit.svg");
    buttonLayout->addStretch();

    Splitter2->addWidget(Panel_history);
    Splitter2->addWidget(buttons);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({197, 10000});

    connect(TB_prior, &QToolButton::clicked, this, [this] { NavigationClick(TB_prior); });
    connect(TB_next, &QToolButton::clicked, this, [this] { NavigationClick(TB_next); });
    connect(TB_refresh, &QToolButton::clicked, this, &MainWindow::N_RefreshClick);
    connect(TB_magnifier, &QToolButton::clicked, this, &MainWindow::TB_magnifierClick);
    connect(TB_rotate_ccw, &QToolButton::clicked, this, [this] { NRotateClick(TB_rotate_ccw); });
    connect(TB_rotate_cw, &QToolButton::clicked, this, [this] { NRotateClick(TB_rotate_cw); });
    connect(TB_exit, &QToolButton::clicked, this, &MainWindow::N_ExitClick);
}

void MainWindow::CreateWorkArea()
{
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    setCentralWidget(Splitter1);

    CreateFolderPage();
    CreateFileListMenu();
    CreateViewerPage();

    Splitter1->addWidget(PageControl1);
    Splitter1->addWidget(PC_viewers);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({197, 495});

    BindWorkArea();
}

// The folder side: the folder's path with its browse button above the folder list, and the
// collection page the program does not show.
void MainWindow::CreateFolderPage()
{
    PageControl1 = new QTabWidget(Splitter1);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setTabPosition(QTabWidget::South);
    TabSheet_dir = new QWidget(PageControl1);
    TabSheet_dir->setObjectName("TabSheet_dir");
    TabSheet_col = new QWidget(PageControl1);
    TabSheet_col->setObjectName("TabSheet_col");
    PageControl1->addTab(TabSheet_dir, "Directory");
    PageControl1->addTab(TabSheet_col, "Collection");
    PageControl1->setTabVisible(1, false);
    ReadShownTabsOnly(*PageControl1->tabBar());
    PageControl1->setCurrentWidget(TabSheet_dir);

    auto* dirLayout = new QVBoxLayout(TabSheet_dir);
    dirLayout->setContentsMargins(0, 0, 0, 0);
    dirLayout->setSpacing(0);
    auto* panel = new QFrame(TabSheet_dir);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Panel1 = panel;
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(36);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(4, 2, 4, 2);
    Edit_dir = new PathEdit(Panel1);
    Edit_dir->setObjectName("Edit_dir");
    Edit_dir->setAccessibleName("Folder");
    Edit_dir->setFrame(false);
    QFont bold = Edit_dir->font();
    bold.setBold(true);
    Edit_dir->setFont(bold);
    SB_dir = new QToolButton(Panel1);
    SB_dir->setObjectName("SB_dir");
    SB_dir->setText("...");
    SB_dir->setAccessibleName("Choose folder");
    SB_dir->setAutoRaise(true);
    SB_dir->setFixedSize(23, 22);
    panelLayout->addWidget(Edit_dir);
    panelLayout->addWidget(SB_dir);
    connect(SB_dir, &QToolButton::clicked, this, &MainWindow::SB_dirClick);

    O_dir_content1 = new FolderList(TabSheet_dir);
    O_dir_content1->setObjectName("O_dir_content1");
    O_dir_content1->LV_dir->setAccessibleName("Folder contents");
    dirLayout->addWidget(Panel1);
    dirLayout->addWidget(O_dir_content1, 1);
}

// The folder list's context menu.
void MainWindow::CreateFileListMenu()
{
    PM_filelist = new QMenu(this);
    PM_filelist->setObjectName("PM_filelist");
    PRefresh = PM_filelist->addAction("Refresh");
    PRefresh->setObjectName("PRefresh");
    PSaveAs = PM_filelist->addAction("Save As...");
    PSaveAs->setObjectName("PSaveAs");
    PDelete = PM_filelist->addAction("Delete...");
    PDelete->setObjectName("PDelete");
    connect(PRefresh, &QAction::triggered, this, &MainWindow::PRefreshClick);
    connect(PSaveAs, &QAction::triggered, this, &MainWindow::PSaveAsClick);
    connect(PDelete, &QAction::triggered, this, &MainWindow::PDeleteClick);
    O_dir_content1->LV_dir->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(O_dir_content1->LV_dir, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) {
                PM_filelist->popup(O_dir_content1->LV_dir->viewport()->mapToGlobal(pos));
            });
}

// The picture side: the viewer above the state panel (name, magnification indicator,
// brightness and contrast).
void MainWindow::CreateViewerPage()
{
    PC_viewers = new QTabWidget(Splitter1);
    PC_viewers->setObjectName("PC_viewers");
    TabSheet_pg = new QWidget(PC_viewers);
    TabSheet_pg->setObjectName("TabSheet_pg");
    PC_viewers->addTab(TabSheet_pg, QString());
    auto* pageLayout = new QVBoxLayout(TabSheet_pg);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);

    O_pgv1 = new PageViewer(TabSheet_pg, glassOptions.get());
    O_pgv1->setObjectName("O_pgv1");
    O_pgv1->setAccessibleName("Picture viewer");
    pageLayout->addWidget(O_pgv1, 1);

    Panel_state = new QWidget(TabSheet_pg);
    Panel_state->setObjectName("Panel_state");
    Panel_state->setFixedHeight(110);
    auto* stateLayout = new QGridLayout(Panel_state);
    stateLayout->setContentsMargins(5, 5, 5, 5);
    stateLayout->setSpacing(2);
    Label_imgname = new NameLabel(Panel_state);
    Label_imgname->setObjectName("Label_imgname");
    O_mg_indicator1 = new MagnificationIndicator(Panel_state);
    O_mg_indicator1->setObjectName("O_mg_indicator1");
    O_cbs1 = new BrightnessContrastBar(Panel_state);
    O_cbs1->setObjectName("O_cbs1");
    stateLayout->addWidget(Label_imgname, 0, 0, 1, 2);
    stateLayout->addWidget(O_mg_indicator1, 1, 0);
    stateLayout->addWidget(O_cbs1, 1, 1);
    stateLayout->setColumnStretch(1, 1);
    stateLayout->setRowStretch(1, 1);
    pageLayout->addWidget(Panel_state);
}

// The viewer's and the indicator's events, once every widget they name exists.
void MainWindow::BindWorkArea()
{
    O_pgv1->Image1->OnMouseDown = [this](const QMouseEvent& event) {
        PictureMouseDown(event.position().toPoint());
    };
    O_pgv1->Image1->OnDblClick = [this](const QMouseEvent&) {
        PictureDoubleClick();
    };
    O_pgv1->Image_mg->OnMouseMove = [this](const QMouseEvent& event) {
        O_pgv1->Image_mgMouseMove(event);
        GlassMouseMove();
    };
    // Both watched once every widget that eventFilter names exists. The wheel over the history
    // list steps the magnification as anywhere in the window and never opens another entry; a
    // resized viewer fits its picture again, and the indicator follows.
    CB_history->installEventFilter(this);
    O_pgv1->installEventFilter(this);
    // A picture shown reduced whose full decode then fails ends as a failed load does.
    O_pgv1->OnPictureLost = [this] {
        PictureLost();
    };
    connect(O_mg_indicator1, &MagnificationIndicator::ScaleUpClick, this, &MainWindow::ScaleUp);
    connect(O_mg_indicator1, &MagnificationIndicator::ScaleDnClick, this, &MainWindow::ScaleDn);
    connect(O_mg_indicator1, &MagnificationIndicator::SetDefaultClick, this,
            &MainWindow::SetDefaultScaleClick);
    connect(O_mg_indicator1, &MagnificationIndicator::ApplyClick, this,
            &MainWindow::ApplyScaleClick);
}

void MainWindow::CreateMenus()
{
    // The data-file commands belong to other main windows; only Save's shortcut stays.
    N_New->setVisible(false);
    N_Open->setVisible(false);
    N_Save->setVisible(false);
    N_Saveas->setVisible(false);

    N_View = new QMenu("View", MainMenu1);
    N_View->setObjectName("N_View");
    MainMenu1->insertMenu(N_Help->menuAction(), N_View);
    N_Refresh = N_View->addAction("Refresh");
    N_Refresh->setObjectName("N_Refresh");
    N_View->addSeparator();
    NRotateclockwise = N_View->addAction("Rotate clockwise");
    NRotateclockwise->setObjectName("NRotateclockwise");
    NRotatecounterclockwise = N_View->addAction("Rotate counterclickwise");
    NRotatecounterclockwise->setObjectName("NRotatecounterclockwise");
    // Never shown and without a shortcut: there is no way to choose it.
    NEffects = N_View->addAction("Effects");
    NEffects->setObjectName("NEffects");
    NEffects->setVisible(false);
    N_View->addSeparator();
    NExactPixels = N_View->addAction("Exact pixels");
    NExactPixels->setObjectName("NExactPixels");
    NExactPixels->setCheckable(true);
    connect(NExactPixels, &QAction::toggled, this, [this](bool exact) {
        O_pgv1->SetExactPixels(exact);
        if (D_settings_user)
            D_settings_user->StoreExactPixels(exact);
    });

    connect(N_Refresh, &QAction::triggered, this, &MainWindow::N_RefreshClick);
    connect(NRotateclockwise, &QAction::triggered, this,
            [this] { NRotateClick(NRotateclockwise); });
    connect(NRotatecounterclockwise, &QAction::triggered, this,
            [this] { NRotateClick(NRotatecounterclockwise); });
}

void MainWindow::FormCreate()
{
    MainWindowBase::FormCreate();
    imageFileName.clear();
    SetImageLoaded(false);
    PC_viewers->tabBar()->setVisible(false);
    PC_viewers->setCurrentWidget(TabSheet_pg);
    O_dir_content1->OnFolderShown = [this](FolderList*) {
        FolderShown();
    };
    O_dir_content1->OnFileFilter = [this](const std::string& fileName) {
        return IsImageFile(fileName);
    };
    O_dir_content1->OnFileActivated = [this](FolderList*) {
        ShowSelectedFile();
        // The keys that step pictures then step from the picture, as after a start.
        O_pgv1->setFocus(Qt::OtherFocusReason);
    };
    connect(O_dir_content1->LV_dir->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MainWindow::DecodeAheadAround);
    O_cbs1->OnBrightnessChange = [this](int value) {
        BrightnessChanged(value);
    };
    O_cbs1->OnContrastChange = [this](int value) {
        ContrastChanged(value);
    };
}

void MainWindow::AfterLoadData()
{
    MainWindowBase::AfterLoadData();
    O_pgv1->ApplySettings();
    NExactPixels->setChecked(D_settings_user->ReadExactPixels());
    // The first key after the start lands on the picture: Space and the page keys step
    // pictures at once, as they do wherever the user clicked since.
    O_pgv1->setFocus(Qt::OtherFocusReason);
    if (ShowStartPath())
        return;
    std::string folder = D_settings_user->Settings.ReadAttribute("DIR_TO_VIEW");
    if (folder.empty())
        folder = ByteNameOf(FirstStartFolder());
    Edit_dir->setText(TextOfByteName(folder));
    O_dir_content1->ShowFolder(folder);
}

void MainWindow::ShowHistory()
{
    const QSignalBlocker blocker(CB_history);
    QStringList entries;
    entries.reserve(history.Count());
    for (const std::string& entry : history.Entries())
        entries.append(TextOfByteName(entry));
    static_cast<QStringListModel*>(CB_history->model())->setStringList(entries);
    CB_history->setCurrentIndex(history.Selected());
}

void MainWindow::SetImageLoaded(bool Value)
{
    imageLoaded = Value;
    if (!Value) {
        O_pgv1->ClearPicture();
        ShowPictureName(std::string());
        O_pgv1->SetNotice(
            QStringLiteral("Open a picture with Ctrl+O, or choose one from the list"));
    }
    UpdateControls();
}

void MainWindow::ShowPictureName(const std::string& name)
{
    Label_imgname->SetName(TextOfByteName(name));
    if (name.empty()) {
        setWindowTitle(QStringLiteral("Vistrel"));
        O_mg_indicator1->setToolTip(QString());
        ShowPropertiesOfPicture();
        return;
    }
    setWindowTitle(QStringLiteral("%1 \u2014 Vistrel").arg(TextOfByteName(name)));
    ShowPictureSize();
    // A message about the picture before goes with it.
    StatusBar1->clearMessage();
}

void MainWindow::ShowPictureSize()
{
    const QSize size = O_pgv1->SourceSize();
    O_mg_indicator1->setToolTip(
        QStringLiteral("%1 \u00d7 %2 pixels").arg(size.width()).arg(size.height()));
    ShowPropertiesOfPicture();
}

void MainWindow::TellAboutPicture(const QString& text)
{
    // Where the user looks, also in full screen, and in the status bar for a while.
    O_pgv1->SetNotice(text);
    StatusBar1->showMessage(text, 15000);
}

void MainWindow::UpdateControls()
{
    for (QToolButton* button : {TB_refresh, TB_rotate_ccw, TB_rotate_cw})
        button->setEnabled(imageLoaded);
    for (QAction* item : {N_Refresh, NRotateclockwise, NRotatecounterclockwise})
        item->setEnabled(imageLoaded);
    TB_prior->setEnabled(history.CanStepBack());
    TB_next->setEnabled(history.CanStepForward());
}

void MainWindow::FolderShown()
{
    Edit_dir->setText(TextOfByteName(O_dir_content1->CurrentFolder()));
}

void MainWindow::ShowSelectedFile()
{
    ShowFolderFile(O_dir_content1->GetSelectedName());
}

void MainWindow::ShowFolderFile(const std::string& name)
{
    imageFileName = O_dir_content1->CurrentFolder() + name;
    SetImageLoaded(O_pgv1->LoadPicture(imageFileName));
    ResetScaleStep();
    historyBeforeLoad.reset();
    if (imageLoaded) {
        ShowPictureName(name);
        if (!O_pgv1->PictureComplete())
            historyBeforeLoad = history;
        AddToHistory(imageFileName);
        UpdateControls();
        DecodeAheadAround();
    } else {
        TellAboutPicture(LoadFailureText(imageFileName));
    }
}

void MainWindow::DecodeAheadAround()
{
    if (selectingToOpen)
        return;
    const QTreeView* list = O_dir_content1->LV_dir;
    O_pgv1->DecodeAhead(PicturesToDecodeAhead(
        *static_cast<const FolderListModel*>(list->model()), list->currentIndex().row(),
        O_dir_content1->CurrentFolder(), imageLoaded ? imageFileName : std::string(), history));
}

bool MainWindow::IsImageFile(const std::string& FileName) const
{
    return IsPictureFileName(FileName);
}

void MainWindow::BrightnessChanged(int Value)
{
    if (imageLoaded)
        O_pgv1->SetLightness(Value * 7);
}

void MainWindow::ContrastChanged(int Value)
{
    if (imageLoaded)
        O_pgv1->SetContrast(Value * 7);
}

void MainWindow::AddToHistory(const std::string& FileName)
{
    history.Add(ExpandHistoryPath(FileName), D_settings_user->SE_history->value(),
                D_settings_user->CB_dup_allowed->isChecked());
    ShowHistory();
}

void MainWindow::OpenStartPath(const std::string& Path)
{
    startPath = Path;
    if (!FirstActivation())
        ShowStartPath();
}

bool MainWindow::ShowStartPath()
{
    if (startPath.empty())
        return false;
    const std::string path = std::exchange(startPath, std::string());
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status)) {
        O_dir_content1->ShowFolder(path);
        return true;
    }
    if (!std::filesystem::exists(status)) {
        TellAboutPicture(QStringLiteral("Not found: %1").arg(TextOfByteName(path)));
        return false;
    }
    O_dir_content1->ShowFolder(FolderOfPath(path));
    // Selected to be opened at once: decoded ahead as well, it would be decoded twice.
    bool selected = false;
    {
        const QScopedValueRollback hold(selectingToOpen, true);
        selected = O_dir_content1->SelectEntry(FileNamePart(path));
    }
    if (selected)
        ShowSelectedFile();
    else if (FormatOfExtension(PictureExtension(path)))
        // A picture the loader reads that the list does not offer (an icon) opens by its path.
        ShowFolderFile(FileNamePart(path));
    else
        TellAboutPicture(QStringLiteral("Not a picture file: %1").arg(TextOfByteName(path)));
    return true;
}

void MainWindow::SB_dirClick()
{
    const std::string path = BrowseForFolder ? BrowseForFolder() : std::string();
    if (path.empty())
        return;
    Edit_dir->setText(TextOfByteName(path));
    D_settings_user->Settings.WriteAttribute("DIR_TO_VIEW", path);
    O_dir_content1->ShowFolder(path);
}

void MainWindow::N_RefreshClick()
{
    if (!imageLoaded)
        return;
    WaitCursor wait;
    O_cbs1->ResetBrightness();
    O_cbs1->ResetContrast();
    historyBeforeLoad.reset();
    SetImageLoaded(O_pgv1->LoadPicture(imageFileName));
    if (imageLoaded)
        ShowPictureName(FileNamePart(imageFileName));
    else
        TellAboutPicture(LoadFailureText(imageFileName));
}

void MainWindow::NRotateClick(QObject* Sender)
{
    if (!imageLoaded)
        return;
    const bool clockwise = Sender == NRotateclockwise || Sender == TB_rotate_cw;
    O_pgv1->RotatePicture(clockwise);
    ResetScaleStep();
    ShowPictureSize();
}

void MainWindow::TB_magnifierClick()
{
    D_settings_user->ShowPage(D_settings_user->TabSheet_mg);
    D_settings_user->exec();
    O_pgv1->ApplySettings();
    O_pgv1->UpdateGlass();
}

void MainWindow::PRefreshClick()
{
    O_dir_content1->RefreshFolder();
}

void MainWindow::PSaveAsClick()
{
    const std::string path = O_dir_content1->GetSelectedFile();
    if (path.empty())
        return;
    D_filer->SaveCopyAs(path);
    O_dir_content1->RefreshFolder();
}

void MainWindow::PDeleteClick()
{
    const std::string path = O_dir_content1->GetSelectedFile();
    // The folder's next picture takes the deleted one's place (the one before it when it was
    // the last), so that Delete after Delete culls a folder.
    std::string next = O_dir_content1->NeighbourFileName(1);
    if (next.empty())
        next = O_dir_content1->NeighbourFileName(-1);
    if (!path.empty() && D_filer->DeleteToRecycleBin(path)) {
        const bool wasShown = SamePath(path, imageFileName);
        O_dir_content1->RefreshFolder();
        const bool selected = !next.empty() && O_dir_content1->SelectEntry(next);
        if (wasShown && selected)
            ShowSelectedFile();
        else if (wasShown)
            SetImageLoaded(false);
    }
    UpdateControls();
}

void MainWindow::CB_historyChosen(int Index)
{
    history.Select(Index);
    CB_historyClick();
    O_pgv1->setFocus(Qt::OtherFocusReason);
}

void MainWindow::CB_historyClick()
{
    const std::string entry = history.SelectedEntry();
    if (entry.empty())
        return;
    historyBeforeLoad.reset();
    O_dir_content1->ShowFolder(FolderOfPath(entry));
    if (fileExists(entry)) {
        SetImageLoaded(true);
        imageFileName = entry;
        SetImageLoaded(O_pgv1->LoadPicture(imageFileName));
        if (imageLoaded) {
            ShowPictureName(FileNamePart(entry));
        } else {
            TellAboutPicture(LoadFailureText(imageFileName));
            // The history's entry is named under the pane also when it does not load.
            Label_imgname->SetName(TextOfByteName(FileNamePart(entry)));
        }
        ResetScaleStep();
        DecodeAheadAround();
    } else {
        SetImageLoaded(false);
        imageFileName.clear();
        TellAboutPicture(LoadFailureText(entry));
    }
    ResetScaleStep();
}

void MainWindow::NavigationClick(QObject* Sender)
{
    history.Select(history.StepIndex(Sender == TB_next));
    ShowHistory();
    CB_historyClick();
}

void MainWindow::PictureLost()
{
    // As a failed load: no picture, the indicator as for none, and a history that the
    // picture was added to goes back to how it was.
    SetImageLoaded(false);
    TellAboutPicture(LoadFailureText(imageFileName));
    ResetScaleStep();
    if (!historyBeforeLoad)
        return;
    history = std::move(*historyBeforeLoad);
    historyBeforeLoad.reset();
    ShowHistory();
    UpdateControls();
    DecodeAheadAround();
}

void MainWindow::ShowMagnification()
{
    const QSize source = O_pgv1->SourceSize();
    const QSize working = O_pgv1->WorkingSize();
    O_mg_indicator1->UpdateIndicator(std::max(source.width(), source.height()),
                                     std::max(working.width(), working.height()),
                                     O_pgv1->ShownSize());
}

void MainWindow::ResetScaleStep()
{
    pendingFactor = 1.0;
    O_mg_indicator1->SetPending(false);
    ShowMagnification();
}

void MainWindow::ApplyScaleStep()
{
    O_pgv1->ApplyPendingScale();
    ResetScaleStep();
}

void MainWindow::StepScale(int Direction)
{
    if (!imageLoaded)
        return;
    try {
        pendingFactor = NextStepFactor(pendingFactor, Direction);
        O_pgv1->PreviewScale(pendingFactor);
        O_mg_indicator1->SetPending(true);
    } catch (const std::exception&) {
        // A step that cannot be previewed is dropped; the indicator still shows the sizes.
    }
    ShowMagnification();
}

void MainWindow::ScaleUp()
{
    StepScale(-1);
}

void MainWindow::ScaleDn()
{
    StepScale(+1);
}

void MainWindow::FormMouseWheelDown()
{
    StepScale(-1);
}

void MainWindow::FormMouseWheelUp()
{
    StepScale(+1);
}

void MainWindow::SetDefaultScaleClick()
{
    if (!imageLoaded)
        return;
    O_pgv1->SetScale(1.0);
    ResetScaleStep();
}

void MainWindow::ApplyScaleClick()
{
    ApplyScaleStep();
}

void MainWindow::PictureMouseDown(const QPoint& Point)
{
    MouseDownPoint = Point;
}

void MainWindow::PictureDoubleClick()
{
    O_pgv1->CenterGlassAt(MouseDownPoint.x(), MouseDownPoint.y());
}

void MainWindow::GlassMouseMove()
{
    if (O_pgv1->Dragging() && O_mg_indicator1->Pending())
        ApplyScaleStep();
}

HistoryList* MainWindow::HistoryListForSettings()
{
    return historyList.get();
}

void MainWindow::FormClose()
{
    // Full screen is not left first: a window manager answers that later, and until then
    // the window has the screen's geometry in a normal state. Full screen or not, the
    // bounds stored are the normal window's, which the window keeps while full screen.
    D_settings_user->StoreHistory();
    MainWindowBase::FormClose();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == CB_history && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    if (watched == O_pgv1 && event->type() == QEvent::Resize) {
        // The viewer refits the picture as it handles its resize: let it, then show the new
        // shown size.
        static_cast<QObject*>(O_pgv1)->event(event);
        ShowMagnification();
        return true;
    }
    return MainWindowBase::eventFilter(watched, event);
}

void MainWindow::wheelEvent(QWheelEvent* event)
{
    // One step per wheel message, whatever its size; the folder list scrolls with the wheel
    // and never passes it on.
    const int delta = event->angleDelta().y();
    if (delta < 0)
        FormMouseWheelDown();
    else if (delta > 0)
        FormMouseWheelUp();
    event->accept();
}
