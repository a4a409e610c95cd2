#include "browse/folder_list.h"

#include "browse/folder_watch.h"

#include "imaging/picture_formats.h"
#include "store/path_text.h"
#include "store/text_helpers.h"

#include <QEvent>
#include <QFile>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const std::string parentName = "..";

unsigned char upperAscii(char c)
{
    return static_cast<unsigned char>(UpperAscii(c));
}

// The picture icon is only a hint for the eye, so the extension is enough; asking the
// platform per file would cost a lookup for each of a folder's 100,000 entries.
FolderEntryKind fileKind(std::string_view name)
{
    // Every extension the loader reads, icons included, even where the list does not offer it.
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || !FormatOfExtension(name.substr(dot)))
        return FolderEntryKind::File;
    return FolderEntryKind::Picture;
}

bool isRoot(const std::string& folder)
{
    const fs::path path(folder);
    return path.lexically_normal() == path.root_path();
}

FolderListModel::KindIcons kindIcons()
{
    const QFileIconProvider provider;
    const QIcon file = provider.icon(QAbstractFileIconProvider::File);
    return {provider.icon(QAbstractFileIconProvider::Folder),
            QIcon::fromTheme(QStringLiteral("image-x-generic"), file), file};
}

} // namespace

FolderList::FolderList(QWidget* parent)
    : QWidget(parent)
    , LV_dir(new QTreeView(this))
    , model(new FolderListModel(kindIcons(), this))
    , watch(new FolderWatch(this))
{
    LV_dir->setObjectName(QStringLiteral("LV_dir"));
    LV_dir->setModel(model);
    LV_dir->setHeaderHidden(true);
    LV_dir->setRootIsDecorated(false);
    LV_dir->setItemsExpandable(false);
    LV_dir->setUniformRowHeights(true);
    LV_dir->setAllColumnsShowFocus(true);
    LV_dir->setSelectionMode(QAbstractItemView::SingleSelection);
    LV_dir->setSelectionBehavior(QAbstractItemView::SelectRows);
    LV_dir->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LV_dir->setIconSize(QSize(16, 16));
    // The column width follows the frame (FrameResize), not the viewport.
    LV_dir->header()->setStretchLastSection(false);
    LV_dir->setColumnWidth(0, 250);
    LV_dir->installEventFilter(this);
    connect(LV_dir, &QAbstractItemView::doubleClicked, this, &FolderList::LV_dirDblClick);
    watch->OnChanged = [this] {
        FollowDisk();
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(LV_dir);
    resize(206, 363);
}

int FolderList::LV_dirCompare(const FolderEntry& Item1, const FolderEntry& Item2)
{
    if (Item1.IsFolder() != Item2.IsFolder())
        return Item1.IsFolder() ? -1 : 1;
    // Equal captions fall through to 0, so that the order stays strict when a sort compares
    // an entry with itself.
    if (Item1.Caption == parentName && Item2.Caption != parentName)
        return -1;
    if (Item2.Caption == parentName && Item1.Caption != parentName)
        return 1;
    const std::string& a = Item1.Caption;
    const std::string& b = Item2.Caption;
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char ca = upperAscii(a[i]);
        const unsigned char cb = upperAscii(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::vector<FolderEntry>
FolderList::ListFolder(const std::string& Folder,
                       const std::function<bool(const std::string&)>& filter)
{
    std::vector<FolderEntry> entries;
    // The enumeration gives no ".." entry; the list offers one wherever there is a way up,
    // also from a folder that cannot be read, so that the user is never stranded there.
    if (!isRoot(Folder))
        entries.push_back({parentName, FolderEntryKind::Folder});

    // An unreadable or vanished folder, or one that fails half way, lists what was read.
    std::error_code error;
    for (fs::directory_iterator it(Folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            entries.push_back({std::move(name), FolderEntryKind::Folder});
            continue;
        }
        if (filter && !filter(Folder + name))
            continue;
        const FolderEntryKind kind = fileKind(name);
        entries.push_back({std::move(name), kind});
    }

    // Captions equal but for case keep a fixed order by their bytes, whatever order the file
    // system gave them in.
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        const int order = LV_dirCompare(a, b);
        return order != 0 ? order < 0 : a.Caption < b.Caption;
    });
    return entries;
}

void FolderList::ShowFolder(const std::string& Folder)
{
    model->SetEntries({});
    std::string folder = Folder;
    if (folder.empty() || folder.back() != PathDelimiter)
        folder += PathDelimiter;
    currentFolder = folder;

    // Watched before it is read, so that no change falls between the two.
    watch->Watch(QFile::decodeName(QByteArray::fromStdString(folder)));
    model->SetEntries(ListFolder(folder, OnFileFilter));
    watch->Listed();

    if (!lastFolderKey.empty()) {
        for (int row = 0; row < model->rowCount(); ++row) {
            if (!SamePath(folder + model->Entry(row).Caption, lastFolderKey))
                continue;
            selectRow(row);
            break;
        }
    }

    folder.pop_back();
    lastFolderKey = folder;
    if (OnFolderShown)
        OnFolderShown(this);
}

void FolderList::RefreshFolder()
{
    ShowFolder(currentFolder);
}

void FolderList::FollowDisk()
{
    const QModelIndex selected = SelectedEntry();
    const std::string selectedName = GetSelectedName();
    const int scrolled = LV_dir->verticalScrollBar()->value();

    model->SetEntries(ListFolder(currentFolder, OnFileFilter));

    int row = -1;
    if (selected.isValid()) {
        row = std::min(selected.row(), model->rowCount() - 1);
        for (int i = 0; i < model->rowCount(); ++i) {
            if (model->Entry(i).Caption == selectedName) {
                row = i;
                break;
            }
        }
    }
    // The reset leaves the view's scroll range stale until its delayed layout: lay it out now,
    // so that the old position is not cut to the range of an empty list.
    LV_dir->doItemsLayout();
    if (row >= 0)
        LV_dir->selectionModel()->setCurrentIndex(
            model->index(row), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    LV_dir->verticalScrollBar()->setValue(scrolled);
}

QModelIndex FolderList::SelectedEntry() const
{
    const QModelIndexList rows = LV_dir->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

std::string FolderList::GetSelectedName() const
{
    const QModelIndex selected = SelectedEntry();
    return selected.isValid() ? model->Entry(selected.row()).Caption : std::string();
}

std::string FolderList::GetSelectedFile() const
{
    const QModelIndex selected = SelectedEntry();
    if (!selected.isValid() || model->Entry(selected.row()).IsFolder())
        return {};
    return currentFolder + model->Entry(selected.row()).Caption;
}

void FolderList::ActivateEntry(const QModelIndex& Entry)
{
    if (!Entry.isValid())
        return;
    if (!model->Entry(Entry.row()).IsFolder()) {
        if (OnFileActivated)
            OnFileActivated(this);
        return;
    }
    ShowFolder(AbsoluteNormalPath(currentFolder + model->Entry(Entry.row()).Caption));
}

void FolderList::selectRow(int row)
{
    const QModelIndex index = model->index(row);
    LV_dir->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    LV_dir->scrollTo(index, QAbstractItemView::EnsureVisible);
}

bool FolderList::SelectEntry(const std::string& Name)
{
    for (int row = 0; row < model->rowCount(); ++row) {
        if (!SamePath(model->Entry(row).Caption, Name))
            continue;
        selectRow(row);
        return true;
    }
    return false;
}

int FolderList::neighbourFileRow(int Direction) const
{
    const QModelIndex selected = SelectedEntry();
    const int rows = model->rowCount();
    int row = selected.isValid() ? selected.row() + Direction : (Direction > 0 ? 0 : rows - 1);
    for (; row >= 0 && row < rows; row += Direction) {
        if (!model->Entry(row).IsFolder())
            return row;
    }
    return -1;
}

bool FolderList::SelectNeighbourFile(int Direction)
{
    const int row = neighbourFileRow(Direction);
    if (row < 0)
        return false;
    selectRow(row);
    return true;
}

std::string FolderList::NeighbourFileName(int Direction) const
{
    const int row = neighbourFileRow(Direction);
    return row < 0 ? std::string() : model->Entry(row).Caption;
}

void FolderList::LV_dirDblClick()
{
    ActivateEntry(SelectedEntry());
}

void FolderList::LV_dirKeyDown(const QKeyEvent& event)
{
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter)
        ActivateEntry(SelectedEntry());
}

void FolderList::FrameResize()
{
    LV_dir->setColumnWidth(0, std::max(0, width() - 20));
}

void FolderList::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FrameResize();
}

void FolderList::wheelEvent(QWheelEvent* event)
{
    // The wheel over the list scrolls it and goes no further, also where the list is too
    // short to scroll or already at its end: one rule wherever the user turns it here.
    event->accept();
}

bool FolderList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == LV_dir && event->type() == QEvent::KeyPress) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        // The picture steps take Space and Backspace from the list's own selection; Page Up
        // and Page Down page the list as in any other list.
        int direction = 0;
        if (key.modifiers() == Qt::NoModifier) {
            if (key.key() == Qt::Key_Space)
                direction = 1;
            else if (key.key() == Qt::Key_Backspace)
                direction = -1;
        }
        if (direction != 0 && OnStepKey) {
            OnStepKey(direction);
            return true;
        }
        // Enter activates whatever the modifiers; the key still reaches the list as usual.
        LV_dirKeyDown(key);
    }
    return QWidget::eventFilter(watched, event);
}
