#include "shell/main_window_base.h"

#include "browse/byte_name.h"
#include "browse/design_font.h"

#include "about/about_box.h"
#include "browse/message_window.h"
#include "browse/yes_no_question.h"
#include "imaging/wait_cursor.h"
#include "settings/main_bounds.h"
#include "settings/settings_dialog.h"
#include "shell/full_screen_bounds.h"
#include "shell/termination.h"
#include "shell/windows.h"
#include "store/path_text.h"
#include "store/program_version.h"
#include "store/safe_file.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr const char* dataRootName = "VISTREL_DATA";
constexpr const char* collectionFilter = "Vistrel graphic collection (*.vsgc)";

} // namespace

MainWindowBase::MainWindowBase(const std::string& ProgramPath, QWidget* parent)
    : QMainWindow(parent)
    , programPath(ProgramPath)
    , files(LocateProgramFiles(ProgramPath))
    , data(std::make_unique<TreeDocument>())
    , bounds(std::make_unique<FullScreenBounds>(*this))
{
    setObjectName("Form_main");
    setWindowTitle("base main form");
    resize(544, 375);
    UseDesignFont(*this);

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName("MainMenu1");
    setMenuBar(MainMenu1);
    N_File = MainMenu1->addMenu("File");
    N_File->setObjectName("N_File");
    const auto addItem = [this](QMenu* menu, const char* name, const QString& caption,
                                void (MainWindowBase::*handler)()) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(name);
        connect(item, &QAction::triggered, this, handler);
        return item;
    };
    N_New = addItem(N_File, "N_New", "New", &MainWindowBase::N_NewClick);
    N_Open = addItem(N_File, "N_Open", "Open", &MainWindowBase::N_OpenClick);
    N_Save = addItem(N_File, "N_Save", "Save", &MainWindowBase::N_SaveClick);
    N_Saveas = addItem(N_File, "N_Saveas", "Save as...", &MainWindowBase::N_SaveasClick);
    N_FileSeparator = N_File->addSeparator();
    N_Exit = addItem(N_File, "N_Exit", "Exit", &MainWindowBase::N_ExitClick);
    N_Help = MainMenu1->addMenu("Help");
    N_Help->setObjectName("N_Help");
    N_About = addItem(N_Help, "N_About", "About", &MainWindowBase::N_AboutClick);

    // The shortcut belongs to the window rather than the item, so hiding Save keeps it.
    SaveShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    SaveShortcut->setObjectName("SaveShortcut");
    connect(SaveShortcut, &QShortcut::activated, this, &MainWindowBase::N_SaveClick);
    N_Save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    N_Save->setShortcutContext(Qt::WidgetShortcut);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    setStatusBar(StatusBar1);
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(StatusBar1);
        StatusPanels[i]->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        StatusPanels[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (i < 2)
            StatusPanels[i]->setFixedWidth(50);
        StatusBar1->addWidget(StatusPanels[i], i < 2 ? 0 : 1);
    }
}

QFileDialog* MainWindowBase::CollectionDialog(QFileDialog*& dialog, const char* name,
                                              QFileDialog::AcceptMode mode)
{
    // Made when first used: a file dialog stores its state in Qt's own settings file as it
    // goes, which a run that never showed one must not write.
    if (!dialog) {
        dialog = new QFileDialog(this, QString(), TextOfByteName(files.CollectionsFolder),
                                 collectionFilter);
        dialog->setObjectName(name);
        dialog->setAcceptMode(mode);
        dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                            : QFileDialog::AnyFile);
    }
    return dialog;
}

MainWindowBase::~MainWindowBase()
{
    // FormDestroy: the settings object writes the settings file as it goes.
    if (D_settings_user) {
        SettingsDialog* settings = D_settings_user;
        D_settings_user = nullptr;
        delete settings;
    }
}

void MainWindowBase::FormCreate()
{
    backupOnSave = true;
    SetModified(false);
    if (!D_settings_user) {
        // Fsure comes later in the start-up; the question reaches it when it is asked.
        const auto ask = [](const std::string& question) {
            return Fsure && Fsure->Ask(question);
        };
        D_settings_user
            = new SettingsDialog(HistoryListForSettings(), bounds.get(), ask, files.SettingsFile);
    }
    data = std::make_unique<TreeDocument>();
    firstActivation = true;
}

QString MainWindowBase::StatusPanelText(int index) const
{
    return index >= 0 && index < 3 ? StatusPanels[index]->text() : QString();
}

void MainWindowBase::SetModified(bool Value)
{
    modified = Value;
    StatusPanels[1]->setText(Value ? QStringLiteral("Changed") : QString());
}

void MainWindowBase::SetDataFileName(const std::string& Name)
{
    dataFileName = Name;
    StatusPanels[2]->setText(TextOfByteName(Name));
}

void MainWindowBase::PrepareSave() { }

void MainWindowBase::SaveDataFile(const std::string& FileName)
{
    // No place to keep it: the user was told at the start.
    if (FileName.empty())
        return;
    if (FileName == dataFileLeftAlone) {
        Tell("The collection data file \"" + FileName
             + "\" could not be read, so it is not written over.");
        return;
    }
    std::error_code ec;
    if (backupOnSave && fs::is_regular_file(FileName, ec)) {
        // The previous file is copied, not moved, to its ".BAK": if the new one cannot be
        // written, the file keeps its old content instead of vanishing. The copy replaces
        // the old ".BAK" only once it is whole, so a full disk never costs both.
        const std::string backup = ReplaceFileExtension(FileName, ".BAK");
        try {
            CopyFileOver(FileName, backup);
        } catch (const std::exception& error) {
            Tell("The backup \"" + backup + "\" could not be made (" + FileErrorReason(error)
                 + ").");
        }
    }
    WriteDataFile(FileName);
}

void MainWindowBase::SaveData()
{
    SaveDataFile(GetDataFileName());
}

void MainWindowBase::WriteDataFile(const std::string& FileName)
{
    try {
        data->SaveToFile(FileName);
    } catch (const std::exception& error) {
        // The window goes on with the document in memory.
        Tell("The collection data file \"" + FileName + "\" could not be written ("
             + FileErrorReason(error) + ").");
    }
}

void MainWindowBase::AskSaveChanges()
{
    if (modified && Fsure && Fsure->Ask("Save changes?"))
        N_SaveClick();
}

void MainWindowBase::NewData()
{
    data->Clear();
    data->SetName(dataRootName);
    data->WriteAttribute("VERSION", ProgramVersion());
}

void MainWindowBase::LoadData()
{
    const std::string name = GetDataFileName();
    if (name.empty()) {
        NewData();
        SetDataFileName(name);
        return;
    }
    try {
        ReadDataFile(name);
    } catch (const std::exception& error) {
        NewData();
        std::error_code ec;
        const fs::file_status status = fs::status(name, ec);
        if (fs::exists(status) && !fs::is_directory(status)) {
            // A file that does not read is never written over: it is kept aside, or, where
            // that fails, left alone by every save.
            const UnreadableFile outcome
                = KeepUnreadableFileAside(name, "The collection data file", FileErrorReason(error),
                                          "a new collection begins", "");
            if (outcome.LeftAlone)
                dataFileLeftAlone = name;
            Tell(outcome.Told);
        }
        if (!fs::exists(name, ec))
            SaveDataFile(name);
    }
    SetDataFileName(name);
}

void MainWindowBase::ReadDataFile(const std::string& FileName)
{
    auto loaded = std::make_unique<TreeDocument>();
    loaded->LoadFromFile(FileName);
    // An element without a name reads, but saves back as nothing: such a file is kept aside
    // like one that does not read. An empty file is an empty document, which saves back as
    // the empty file it was.
    std::error_code ec;
    if (loaded->Name().empty() && fs::file_size(FileName, ec) != 0)
        throw std::runtime_error("it holds no collection data");
    data = std::move(loaded);
}

std::string MainWindowBase::GetDataFileName() const
{
    const std::string stored = D_settings_user->ReadDataFileName();
    return stored.empty() ? files.DataFile : stored;
}

void MainWindowBase::BeforeLoadData() { }

void MainWindowBase::AfterLoadData()
{
    const std::string folder = files.CollectionsFolder;
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    const QString dialogFolder = TextOfByteName(folder);
    for (QFileDialog* dialog : {OpenDialog1, SaveDialog1}) {
        if (dialog)
            dialog->setDirectory(dialogFolder);
    }
}

void MainWindowBase::RestoreWindowBounds()
{
    D_settings_user->RestoreMainBounds();
}

void MainWindowBase::N_NewClick() { }

void MainWindowBase::N_OpenClick()
{
    AskSaveChanges();
    CreateFolderOneLevel(files.CollectionsFolder);
    CollectionDialog(OpenDialog1, "OpenDialog1", QFileDialog::AcceptOpen);
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
        return;
    const std::string chosen = ByteNameOf(OpenDialog1->selectedFiles().constFirst());
    N_SaveClick();
    SetDataFileName(chosen);
    D_settings_user->StoreDataFileName(chosen);
    LoadData();
    AfterLoadData();
}

void MainWindowBase::N_SaveClick()
{
    WaitCursor wait;
    PrepareSave();
    SaveDataFile(GetDataFileName());
    SetModified(false);
}

void MainWindowBase::N_SaveasClick()
{
    CreateFolderOneLevel(files.CollectionsFolder);
    CollectionDialog(SaveDialog1, "SaveDialog1", QFileDialog::AcceptSave);
    if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty())
        return;
    const std::string chosen = ByteNameOf(SaveDialog1->selectedFiles().constFirst());
    SetDataFileName(chosen);
    D_settings_user->StoreDataFileName(chosen);
    N_SaveClick();
    BeforeLoadData();
    LoadData();
    AfterLoadData();
}

void MainWindowBase::N_ExitClick()
{
    close();
}

void MainWindowBase::N_AboutClick()
{
    F_about->ShowAbout();
}

bool MainWindowBase::event(QEvent* event)
{
    // Only the first activation does anything, so focus that comes back from another
    // program needs no telling apart from focus that comes back from a dialog.
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

void MainWindowBase::closeEvent(QCloseEvent* event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

void MainWindowBase::FormActivate()
{
    // The stored bounds are applied once: applied at every activation, they would throw the
    // window back to where it was at the last start whenever a dialog over it closes.
    if (!firstActivation)
        return;
    firstActivation = false;
    // The message window exists from here on; what the settings object found while it
    // was made is told now.
    D_settings_user->SetReporter([this](const std::string& text) { Tell(text); });
    if (!files.NotKept.empty())
        Tell("The settings and the collection data cannot be kept: " + files.NotKept
             + ". What changes in this run is lost when the program ends.");
    BeforeLoadData();
    LoadData();
    // Before the start picture is loaded, which then fits the pane it keeps.
    RestoreWindowBounds();
    AfterLoadData();
}

void MainWindowBase::FormClose()
{
    closing = true;
    D_settings_user->StoreMainBounds();
    AskSaveChanges();
    // Written here too, while a failure can still be told; the settings object writes
    // again as it goes.
    D_settings_user->WriteSettingsFile();
    const std::string& failure = D_settings_user->WriteFailure();
    // A failure told in a window earlier in the run is told again where a session that ends
    // the program keeps it.
    if (EndingOnSignal() && !failure.empty())
        WriteToStandardError(failure);
    NoteSaved(failure.empty());
}

void MainWindowBase::Tell(const std::string& Text)
{
    // Shown once the current event is done (a modal window opened inside the main window's
    // activation would take the activation away); at close there is no later. Once the
    // program ends on a signal, no window waits for an answer.
    const auto show = [Text] {
        if (EndingOnSignal())
            WriteToStandardError(Text);
        else if (Dmsg)
            Dmsg->ShowText(Text);
    };
    if (closing || EndingOnSignal())
        show();
    else
        QTimer::singleShot(0, this, show);
}

void MainWindowBase::CreateFolderOneLevel(const std::string& folder)
{
    std::error_code ignored;
    fs::create_directory(folder, ignored);
}
