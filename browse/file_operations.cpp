#include "browse/file_operations.h"

#include "browse/byte_name.h"
#include "browse/trash.h"
#include "browse/yes_no_question.h"

#include "store/safe_file.h"

#include <QFileDialog>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

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

    const QString shown = TextOfByteName(FileName);
    SaveDialog();
    SaveDialog1->setDirectory(TextOfByteName(fs::absolute(source, ec).parent_path().string()));
    SaveDialog1->selectFile(shown);
    if (SaveDialog1->exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = SaveDialog1->selectedFiles();
    if (chosen.isEmpty())
        return false;
    const std::string target = ByteNameOf(chosen.first());
    // The source itself, also through a link: the copy would read what it is writing.
    if (fs::equivalent(source, target, ec))
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
