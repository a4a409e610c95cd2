#pragma once

#include <QDialog>
#include <string>

class QFileDialog;
class TFsure;

// The two file operations on a listed file: move it to the trash, save a copy of it under a
// name the user chooses. The window itself is never shown; it only owns the save dialog.
class TD_filer : public QDialog
{
    Q_OBJECT
public:
    // Sure asks the Yes/No question before anything is moved to the trash.
    explicit TD_filer(TFsure& Sure, QWidget* parent = nullptr);

    // Asks first, then moves FileName to the desktop's trash. True when no file of that name
    // exists afterwards (a file that was already gone counts as deleted). A file that cannot
    // be trashed stays where it is: it is never deleted outright.
    bool DeleteToRecycleBin(const std::string& FileName);

    // Lets the user choose a target name and copies FileName there. True when the copy was
    // made; a missing source, a cancelled dialog, the source itself as the target or a failed
    // copy give false.
    bool SaveCopyAs(const std::string& FileName);

private:
    TFsure& Fsure;
    QFileDialog* SaveDialog1;
};
