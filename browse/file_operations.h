#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QFileDialog;
class YesNoQuestion;

// The two file operations on a listed file: move it to the trash, save a copy of it under a
// name the user chooses. The window itself is never shown; it only owns the save dialog, made
// when a copy is first saved.
class FileOperations : public QDialog
{
    Q_OBJECT
public:
    // Question asks the user first, before anything is moved to the trash.
    explicit FileOperations(YesNoQuestion& Question, QWidget* parent = nullptr);

    // Asks first, then moves FileName to the desktop's trash. True when no file of that name
    // exists afterwards (a file that was already gone counts as deleted). A file that cannot
    // be trashed stays where it is (it is never deleted outright), and OnFailure says why.
    bool DeleteToRecycleBin(const std::string& FileName);

    // Lets the user choose a target name and copies FileName there (through a link, to the
    // file it names). True when the copy was made; a missing source, a cancelled dialog or
    // the source itself as the target give false, and a target that may not be written or a
    // failed copy give false with OnFailure saying why.
    bool SaveCopyAs(const std::string& FileName);

    // Raised with a message for the user when a trash or a copy fails.
    std::function<void(const std::string&)> OnFailure;

private:
    void Tell(const std::string& Text);
    // SaveDialog1, made on the first call.
    QFileDialog* SaveDialog();

    YesNoQuestion& question;
    QFileDialog* SaveDialog1 = nullptr;
};
