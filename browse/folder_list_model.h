// The entries of one folder listing, in the order the folder list shows them.
#pragma once

#include <QAbstractListModel>
#include <QIcon>

#include <array>
#include <string>
#include <vector>

// What an entry is; it chooses the entry's icon and whether activating it opens a folder.
enum class FolderEntryKind { Folder, Picture, File };

struct FolderEntry
{
    std::string Caption; // the name as the file system gives it, byte for byte
    FolderEntryKind Kind;

    bool IsFolder() const { return Kind == FolderEntryKind::Folder; }
};

// A flat list model over a vector of entries: the view asks only for the rows it shows, so a
// folder of 100,000 files costs no per-entry widget objects.
class FolderListModel : public QAbstractListModel
{
public:
    // One icon per kind, indexed by FolderEntryKind.
    using KindIcons = std::array<QIcon, 3>;

    FolderListModel(KindIcons icons, QObject* parent);

    void SetEntries(std::vector<FolderEntry> entries);
    const FolderEntry& Entry(int row) const { return entries[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The column's caption, which the hidden header never shows but a reader announces.
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    KindIcons icons;
    std::vector<FolderEntry> entries;
};
