// The folder list: one folder's parent entry "..", its sub-folders and the files its owner's
// filter accepts. The user walks folders inside the list; a new listing and an activated file
// are reported to the owner, which alone knows what the files are for.
#pragma once

#include "browse/folder_list_model.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class FolderWatch;
class QKeyEvent;
class QTreeView;

class FolderList : public QWidget
{
    Q_OBJECT

public:
    explicit FolderList(QWidget* parent = nullptr);

    // Lists Folder (a delimiter is appended when missing; an empty text lists "/"). A folder
    // that cannot be read lists no entries but still becomes CurrentFolder and is reported.
    // The folder listed is watched: entries added, removed or renamed there are listed again
    // (FollowDisk) within a second, at most once a second.
    void ShowFolder(const std::string& Folder);
    void RefreshFolder();

    // Caption of the selected entry; empty when nothing is selected.
    std::string GetSelectedName() const;
    // Full path of the selected entry when it is a file; empty for a folder or no selection.
    std::string GetSelectedFile() const;
    // Opens a folder entry or reports a file entry; an invalid index does nothing.
    void ActivateEntry(const QModelIndex& Entry);
    // Selects and shows the entry captioned Name, byte for byte; false when none is listed.
    bool SelectEntry(const std::string& Name);
    // Selects and shows the next (Direction 1) or the previous (-1) file entry from the
    // selected entry, or the first or the last file when nothing is selected; false, the
    // selection unchanged, when there is none that way.
    bool SelectNeighbourFile(int Direction);
    // The caption of the file entry SelectNeighbourFile would select; empty when none.
    std::string NeighbourFileName(int Direction) const;

    // The folder listed last, always ending in the delimiter.
    const std::string& CurrentFolder() const { return currentFolder; }
    // The folder listed last, without its final delimiter: when the next listing (going up)
    // holds its entry, that entry is selected.
    const std::string& LastFolderKey() const { return lastFolderKey; }

    // Negative, zero or positive: folders before files, ".." first, then the captions
    // compared byte by byte with only a to z turned to upper case.
    static int LV_dirCompare(const FolderEntry& Item1, const FolderEntry& Item2);
    // The entries of Folder (ending in the delimiter) in list order: ".." unless Folder is
    // the root, the sub-folders, then the files that filter accepts (all when it is unset).
    static std::vector<FolderEntry>
    ListFolder(const std::string& Folder, const std::function<bool(const std::string&)>& filter);
    QTreeView* LV_dir;

    // Raised after every listing, with the frame.
    std::function<void(FolderList* Sender)> OnFolderShown;
    // Raised when a file entry is activated; the owner reads it with GetSelectedName.
    std::function<void(FolderList* Sender)> OnFileActivated;
    // Asked with the full path of every file (never of a folder); false leaves it out.
    std::function<bool(const std::string& FileName)> OnFileFilter;
    // Raised for Space (Direction 1) and Backspace (-1) pressed without modifiers in the
    // list; when set, the list leaves these keys to it.
    std::function<void(int Direction)> OnStepKey;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Selects the list's row and scrolls it into view.
    void selectRow(int row);
    // The row of the next (1) or previous (-1) file entry from the selection; -1 when none.
    int neighbourFileRow(int Direction) const;
    void FrameResize();
    void LV_dirDblClick();
    void LV_dirKeyDown(const QKeyEvent& event);
    QModelIndex SelectedEntry() const;
    // Lists the current folder again after a change on the disk, keeping the selected entry
    // (or, where it went, the row it held) and the scroll position; the owner is not told, as
    // the folder is the same.
    void FollowDisk();

    FolderListModel* model;
    FolderWatch* watch;
    std::string currentFolder;
    std::string lastFolderKey;
};
