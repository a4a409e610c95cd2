#include "settings/program_settings.h"

#include "browse/design_font.h"

#include "settings/main_bounds.h"
#include "store/path_text.h"
#include "store/safe_file.h"
#include "store/text_helpers.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>

#include <exception>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const int clientHeight = 255;

} // namespace

ProgramSettings::ProgramSettings(std::string settingsFileName, QWidget* parent)
    : QDialog(parent)
    , PageControl1(new QTabWidget(this))
    , OKBtn(new QPushButton(QStringLiteral("OK"), this))
    , CancelBtn(new QPushButton(QStringLiteral("Cancel"), this))
    , settingsFileName_(std::move(settingsFileName))
{
    setObjectName(QStringLiteral("D_settings"));
    setWindowTitle(QStringLiteral("Settings"));
    UseDesignFont(*this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    SetClientWidth(375);

    connect(OKBtn, &QPushButton::clicked, this, &ProgramSettings::OKBtnClick);
    // Esc and the close box reach QDialog::reject as well: Cancel writes nothing.
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

ProgramSettings::~ProgramSettings()
{
    WriteSettingsFile();
}

void ProgramSettings::SetClientWidth(int width)
{
    setFixedSize(width, clientHeight);
    PageControl1->setGeometry(7, 14, width - 18, 197);
    OKBtn->setGeometry(width - 164, 222, 75, 25);
    CancelBtn->setGeometry(width - 84, 222, 75, 25);
}

void ProgramSettings::ShowPage(QWidget* page)
{
    PageControl1->setCurrentWidget(page);
}

std::string ProgramSettings::GetSettingsFileName() const
{
    return settingsFileName_;
}

void ProgramSettings::FormCreate()
{
    LoadSettings();
    SettingsToControls();
    AfterLoad();
}

void ProgramSettings::LoadSettings()
{
    const std::string fileName = GetSettingsFileName();
    if (fileName.empty()) {
        // Nowhere to keep them (the program says why): the settings live for this run only.
        ResetSettings();
        leaveFileAlone_ = true;
        return;
    }
    std::string reason;
    try {
        Settings.LoadFromFile(fileName);
        // A 0-byte file reads as a document without a root name, which would be written
        // back as 0 bytes: nothing changed during the run would ever be kept.
        if (!Settings.Name().empty())
            return;
        reason = "it holds no settings document";
    } catch (const std::exception& error) {
        // Missing, unreadable or not a tree document: start anew below.
        reason = FileErrorReason(error);
    }
    KeepUnreadableFile(fileName, reason);
    ResetSettings();
    SaveSettings(fileName);
}

void ProgramSettings::KeepUnreadableFile(const std::string& fileName, const std::string& reason)
{
    std::error_code ec;
    const fs::file_status status = fs::status(fileName, ec);
    // A missing or empty file holds nothing worth keeping. A FIFO or a device holds nothing
    // either, but it would refuse every save, so it is moved aside as well.
    const bool regular = fs::is_regular_file(status);
    if (!fs::exists(status) || fs::is_directory(status)
        || (regular && (fs::file_size(fileName, ec) == 0 || ec)))
        return;
    const UnreadableFile outcome
        = KeepUnreadableFileAside(fileName, "The settings file", reason, "the settings start anew",
                                  " and the settings will not be written");
    // Writing over a file left where it is would lose whatever it holds.
    if (outcome.LeftAlone)
        leaveFileAlone_ = true;
    Report(outcome.Told);
}

void ProgramSettings::SetReporter(std::function<void(const std::string&)> reporter)
{
    reporter_ = std::move(reporter);
    std::vector<std::string> pending;
    pending.swap(pendingReports_);
    for (const std::string& text : pending)
        Report(text);
}

void ProgramSettings::Report(const std::string& text)
{
    if (reporter_)
        reporter_(text);
    else
        pendingReports_.push_back(text);
}

void ProgramSettings::WriteSettingsFile()
{
    SaveSettings(GetSettingsFileName());
}

void ProgramSettings::SaveSettings(const std::string& FileName)
{
    if (leaveFileAlone_)
        return;
    try {
        Settings.SaveToFile(FileName);
        writeFailure_.clear();
    } catch (const std::exception& error) {
        // The program goes on with what it holds in memory; the user learns once that it
        // will not be kept.
        writeFailure_ = "The settings file \"" + FileName + "\" could not be written ("
            + FileErrorReason(error) + "). Changes to the settings will not be kept.";
        if (writeFailureReported_)
            return;
        writeFailureReported_ = true;
        Report(writeFailure_);
    }
}

void ProgramSettings::ResetSettings()
{
    Settings.Clear();
    Settings.SetName("SETTINGS");
}

void ProgramSettings::CommitSettings()
{
    ControlsToSettings();
    SaveSettings(GetSettingsFileName());
}

std::string ProgramSettings::ReadDataFileName() const
{
    return Settings.ReadAttribute("DATA_FILE_NAME");
}

void ProgramSettings::StoreDataFileName(const std::string& Name)
{
    Settings.WriteAttribute("DATA_FILE_NAME", ReplaceFileExtension(Name, ".vsgc"));
    CommitSettings();
}

bool ProgramSettings::ReadExactPixels() const
{
    return Settings.ReadAttribute("EXACT_PIXELS") == "Y";
}

void ProgramSettings::StoreExactPixels(bool exact)
{
    // Writing an empty value removes the attribute.
    Settings.WriteAttribute("EXACT_PIXELS", exact ? "Y" : "");
}

void ProgramSettings::SetMainWindow(MainBounds* mainWindow)
{
    mainWindow_ = mainWindow;
}

void ProgramSettings::RestoreMainBounds()
{
    if (!mainWindow_)
        return;
    const std::string top = Settings.ReadAttribute("TOP");
    const std::string left = Settings.ReadAttribute("LEFT");
    const std::string height = Settings.ReadAttribute("HEIGHT");
    const std::string width = Settings.ReadAttribute("WIDTH");

    QRect bounds = mainWindow_->Bounds();
    if (const auto value = TextToInt(top))
        bounds.moveTop(*value);
    if (const auto value = TextToInt(left))
        bounds.moveLeft(*value);
    if (const auto value = TextToInt(height))
        bounds.setHeight(*value);
    if (const auto value = TextToInt(width))
        bounds.setWidth(*value);

    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        bounds = KeepOnScreen(bounds, screens, primary->availableGeometry());
    mainWindow_->SetBounds(bounds);
}

void ProgramSettings::StoreMainBounds()
{
    if (!mainWindow_)
        return;
    // Read before the restore: a window manager answers it later, and until then the
    // window still has its maximised geometry.
    const QRect bounds = mainWindow_->Bounds();
    if (mainWindow_->IsMaximized())
        mainWindow_->ShowNormal();
    Settings.WriteAttribute("WIDTH", std::to_string(bounds.width()));
    Settings.WriteAttribute("HEIGHT", std::to_string(bounds.height()));
    Settings.WriteAttribute("LEFT", std::to_string(bounds.left()));
    Settings.WriteAttribute("TOP", std::to_string(bounds.top()));
}

void ProgramSettings::FormActivate()
{
    SettingsToControls();
}

void ProgramSettings::OKBtnClick()
{
    CommitSettings();
    accept();
}

void ProgramSettings::showEvent(QShowEvent* event)
{
    // Every showing starts from the stored values, also where the window manager does not
    // activate a window that it maps.
    deactivatedToOtherProgram_ = false;
    FormActivate();
    QDialog::showEvent(event);
}

bool ProgramSettings::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate) {
        // Qt names the new active window before it sends the deactivation.
        deactivatedToOtherProgram_ = QApplication::activeWindow() == nullptr;
    } else if (event->type() == QEvent::WindowActivate) {
        if (!deactivatedToOtherProgram_)
            FormActivate();
        deactivatedToOtherProgram_ = false;
    }
    return QDialog::event(event);
}
