#include "browse/filer.h"

#include "browse/sure.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The trash is reached through Qt, which takes names as QString; a byte name that is not
// valid UTF-8 would come back as another name, perhaps another file's, so such a name is
// refused rather than guessed.
bool nameSurvivesQt(const std::string& name)
{
    const QString decoded = QFile::decodeName(QByteArray::fromStdString(name));
    return QFile::encodeName(decoded).toStdString() == name;
}

// Moves name to the desktop's trash; true when Qt reports it moved. Qt 6.4 on freedesktop
// systems, when it cannot make a trash folder, moves the file into "files" under the current
// folder and reports success; such a move is undone here and counts as a failure.
bool moveToTrash(const std::string& name)
{
    QString inTrash;
    if (!QFile::moveToTrash(QFile::decodeName(QByteArray::fromStdString(name)), &inTrash))
        return false;
    if (!QDir::isRelativePath(inTrash))
        return true;
    const QFileInfo moved(inTrash);
    const fs::path filesFolder(QFile::encodeName(moved.absolutePath()).toStdString());
    std::error_code ec;
    fs::rename(filesFolder / QFile::encodeName(moved.fileName()).toStdString(), name, ec);
    const fs::path infoFolder = filesFolder.parent_path() / "info";
    fs::remove(infoFolder / (QFile::encodeName(moved.fileName()).toStdString() + ".trashinfo"), ec);
    // Only when empty: the folders may be the user's own.
    fs::remove(filesFolder, ec);
    fs::remove(infoFolder, ec);
    return false;
}

// Removes the temporary copy unless it was renamed into place.
class TemporaryCopy
{
public:
    explicit TemporaryCopy(fs::path path)
        : path_(std::move(path))
    {
    }
    ~TemporaryCopy()
    {
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    TemporaryCopy(const TemporaryCopy&) = delete;
    TemporaryCopy& operator=(const TemporaryCopy&) = delete;

    const fs::path& path() const { return path_; }
    void release() { path_.clear(); }

private:
    fs::path path_;
};

// Copies source to a new file beside target and renames it over target, so that a full disk
// or a failed copy never leaves a half-written target and a confirmed replacement replaces.
bool copyThroughTemporary(const fs::path& source, const fs::path& target)
{
    std::error_code ec;
    if (fs::equivalent(source, target, ec))
        return false;

    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = ".";
        name += target.filename().string();
        name += '.';
        name += std::to_string(random() % 1000000);
        name += ".part";
        const fs::path candidate = folder / name;
        TemporaryCopy temporary(candidate);
        if (!fs::copy_file(source, candidate, fs::copy_options::none, ec)) {
            if (ec == std::errc::file_exists) {
                // Someone else's file: try another name and leave that one alone.
                temporary.release();
                continue;
            }
            return false;
        }
        fs::rename(temporary.path(), target, ec);
        if (ec)
            return false;
        temporary.release();
        return true;
    }
    return false;
}

} // namespace

TD_filer::TD_filer(TFsure& Sure, QWidget* parent)
    : QDialog(parent)
    , Fsure(Sure)
    , SaveDialog1(new QFileDialog(this))
{
    setObjectName(QStringLiteral("D_filer"));
    setWindowTitle(QStringLiteral("Filer"));
    setFixedSize(338, 262);

    // No filter, no default suffix and no title of its own; the overwrite question stays on.
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setSizeGripEnabled(true);
}

bool TD_filer::DeleteToRecycleBin(const std::string& FileName)
{
    if (FileName.empty())
        return false;
    const fs::path path(FileName);
    std::error_code ec;
    const fs::file_type before = fs::symlink_status(path, ec).type();
    if (before == fs::file_type::not_found)
        return true;
    if (before == fs::file_type::none)
        return false;
    if (!nameSurvivesQt(FileName))
        return false;

    const std::string shown = path.filename().string();
    if (!Fsure.Ask("Move \"" + shown + "\" to the trash?"))
        return false;

    moveToTrash(FileName);
    return fs::symlink_status(path, ec).type() == fs::file_type::not_found;
}

bool TD_filer::SaveCopyAs(const std::string& FileName)
{
    if (FileName.empty())
        return false;
    const fs::path source(FileName);
    std::error_code ec;
    if (!fs::is_regular_file(source, ec))
        return false;

    const QString shown = QFile::decodeName(QByteArray::fromStdString(FileName));
    SaveDialog1->setDirectory(QFile::decodeName(
        QByteArray::fromStdString(fs::absolute(source, ec).parent_path().string())));
    SaveDialog1->selectFile(shown);
    if (SaveDialog1->exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = SaveDialog1->selectedFiles();
    if (chosen.isEmpty())
        return false;
    return copyThroughTemporary(source, fs::path(QFile::encodeName(chosen.first()).toStdString()));
}
