#include "browse/file_operations.h"

#include "browse/byte_name.h"
#include "browse/trash.h"
#include "browse/yes_no_question.h"

#include "store/safe_file.h"

#include <QFileDialog>

#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The folder as the save dialog can reach it. Qt spells file names as UTF-8 text, so a folder
// whose name is not UTF-8 has no text that leads the dialog there; it is opened, and the
// dialog reaches it through this process's descriptor of it.
class DialogFolder
{
public:
    explicit DialogFolder(const std::string& folder)
        : bytes(folder)
        , text(TextOfByteName(folder))
    {
        if (ByteNameOf(text) == folder)
            return;
        descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor >= 0)
            text = QStringLiteral("/proc/self/fd/%1").arg(descriptor);
    }
    ~DialogFolder()
    {
        if (descriptor >= 0)
            close(descriptor);
    }
    DialogFolder(const DialogFolder&) = delete;
    DialogFolder& operator=(const DialogFolder&) = delete;

    const QString& Text() const { return text; }

    // The bytes of a name chosen in the dialog, the descriptor's path turned back into the
    // folder's own.
    std::string BytesOf(const QString& chosen) const
    {
        std::string name = ByteNameOf(chosen);
        const std::string through = ByteNameOf(text) + '/';
        if (descriptor >= 0 && name.starts_with(through))
            name = (fs::path(bytes) / name.substr(through.size())).string();
        return name;
    }

private:
    std::string bytes;
    QString text;
    int descriptor = -1;
};

// A name the dialog could only spell with replacement characters stands for the one entry of
// its folder that shows as the same text, when no entry has the name's own bytes.
std::string entryShownAs(const std::string& name)
{
    const fs::path path(name);
    std::error_code ec;
    if (fs::symlink_status(path, ec).type() != fs::file_type::not_found)
        return name;
    const QString shown = TextOfByteName(path.filename().string());
    std::string found;
    int matches = 0;
    fs::directory_iterator entry(path.parent_path(), ec);
    for (; !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
        if (TextOfByteName(entry->path().filename().string()) == shown) {
            found = entry->path().string();
            ++matches;
        }
    }
    return matches == 1 ? found : name;
}

} // namespace

FileOperations::FileOperations(YesNoQuestion& Question, QWidget* parent)
    : QDialog(parent)
    , question(Question)
{
    setObjectName(QStringLiteral("D_filer"));
    setWindowTitle(QStringLiteral("Filer"));
    setFixedSize(338, 262);
}

QFileDialog* FileOperations::SaveDialog()
{
    // Made when first used: a file dialog stores its state in Qt's own settings file as it
    // goes, which a run that never showed one must not write.
    if (!SaveDialog1) {
        // No filter, no default suffix and no title of its own; the overwrite question stays.
        SaveDialog1 = new QFileDialog(this);
        SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
        SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
        SaveDialog1->setFileMode(QFileDialog::AnyFile);
        SaveDialog1->setSizeGripEnabled(true);
    }
    return SaveDialog1;
}

bool FileOperations::DeleteToRecycleBin(const std::string& FileName)
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

    const std::string shown = path.filename().string();
    if (!question.Ask("Move \"" + shown + "\" to the trash?"))
        return false;

    std::string reason;
    if (MoveToTrash(fs::absolute(path, ec), reason))
        return true;
    // Removed by another program while the question was open: what the user asked for has
    // happened, and there is nothing to tell.
    if (fs::symlink_status(path, ec).type() == fs::file_type::not_found)
        return true;
    Tell("\"" + FileName + "\" was not moved to the trash: " + reason + ".");
    return false;
}

bool FileOperations::SaveCopyAs(const std::string& FileName)
{
    if (FileName.empty())
        return false;
    const fs::path source(FileName);
    std::error_code ec;
    if (!fs::is_regular_file(source, ec))
        return false;

    const DialogFolder folder(fs::absolute(source, ec).parent_path().string());
    SaveDialog();
    SaveDialog1->setDirectory(folder.Text());
    SaveDialog1->selectFile(TextOfByteName(source.filename().string()));
    if (SaveDialog1->exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = SaveDialog1->selectedFiles();
    if (chosen.isEmpty())
        return false;
    const std::string typed = folder.BytesOf(chosen.first());
    const std::string target = entryShownAs(typed);
    // The source itself, also through a link: the copy would read what it is writing.
    if (fs::equivalent(source, target, ec))
        return false;
    // The dialog asks before replacing only a file it could see by its own spelling.
    if (target != typed
        && !question.Ask("Replace \"" + fs::path(target).filename().string() + "\"?"))
        return false;
    try {
        // Through a replacement renamed into place, so that a full disk or a failed copy
        // never leaves a half-written target, and a confirmed replacement replaces.
        CopyFileOver(FileName, target);
        return true;
    } catch (const std::exception& error) {
        // The file that failed is named: the source that could not be read, or the target.
        const auto* fileError = dynamic_cast<const fs::filesystem_error*>(&error);
        if (fileError && fileError->path1() == source)
            Tell("The copy \"" + target + "\" was not made: \"" + FileName
                 + "\" could not be read (" + FileErrorReason(error) + ").");
        else
            Tell("The copy \"" + target + "\" was not made: " + FileErrorReason(error) + ".");
        return false;
    }
}

void FileOperations::Tell(const std::string& Text)
{
    if (OnFailure)
        OnFailure(Text);
}
