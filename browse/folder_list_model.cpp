#include "browse/folder_list_model.h"

#include "browse/byte_name.h"

FolderListModel::FolderListModel(KindIcons icons_, QObject* parent)
    : QAbstractListModel(parent)
    , icons(std::move(icons_))
{
}

void FolderListModel::SetEntries(std::vector<FolderEntry> newEntries)
{
    beginResetModel();
    entries = std::move(newEntries);
    endResetModel();
}

int FolderListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries.size());
}

QVariant FolderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal
        && (role == Qt::DisplayRole || role == Qt::AccessibleTextRole))
        return QStringLiteral("Name");
    return QAbstractListModel::headerData(section, orientation, role);
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const FolderEntry& entry = Entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
        // Only for the screen: a name that is not valid UTF-8 shows a replacement character
        // while the entry keeps its bytes.
        return TextOfByteName(entry.Caption);
    case Qt::DecorationRole:
        return icons[static_cast<std::size_t>(entry.Kind)];
    default:
        return {};
    }
}
