#include "settings/combo_history_list.h"

#include <QComboBox>
#include <QFile>

TComboHistoryList::TComboHistoryList(QComboBox& box)
    : box_(box)
{
}

int TComboHistoryList::Count() const
{
    return box_.count();
}

std::string TComboHistoryList::Item(int index) const
{
    return box_.itemData(index).toByteArray().toStdString();
}

void TComboHistoryList::Append(const std::string& path)
{
    const QByteArray bytes = QByteArray::fromStdString(path);
    // QComboBox selects the first entry added to an empty list on its own.
    const int selected = box_.currentIndex();
    box_.addItem(QFile::decodeName(bytes), bytes);
    box_.setCurrentIndex(selected);
}

void TComboHistoryList::RemoveAt(int index)
{
    const int selected = box_.currentIndex();
    // Removing the current entry would make QComboBox select a neighbour.
    box_.removeItem(index);
    if (selected == index)
        box_.setCurrentIndex(-1);
}

void TComboHistoryList::Clear()
{
    box_.clear();
    box_.setCurrentIndex(-1);
}

int TComboHistoryList::SelectedIndex() const
{
    return box_.currentIndex();
}

void TComboHistoryList::SetSelectedIndex(int index)
{
    box_.setCurrentIndex(index);
}
