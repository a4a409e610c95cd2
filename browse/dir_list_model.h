// The entries of one folder listing, in the order the folder list shows them.
#pragma once

#include <QAbstractListModel>
#include <QIcon>

#include <array>
#include <string>
#include <vector>

// What an entry is; it chooses the entry's icon and whether activating it opens a folder.
enum class TDirEntryKind { Folder, Picture, File };

struct TDirEntry
{
    std::string Caption; // the name as the file system gives it, byte for byte
    TDirEntryKind Kind;

    bool IsFolder() const { return Kind == TDirEntryKind::Folder; }
};

// A flat list model over a vector of entries: the view asks only for the rows it shows, so a
// folder of 100,000 files costs no per-entry widget objects.
class TDirListModel : public QAbstractListModel
{
public:
    // One icon per kind, indexed by TDirEntryKind.
    using TIcons = std::array<QIcon, 3>;

    TDirListModel(TIcons icons, QObject* parent);

    void SetEntries(std::vector<TDirEntry> entries);
    const TDirEntry& Entry(int row) const { return entries[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    TIcons icons;
    std::vector<TDirEntry> entries;
};
