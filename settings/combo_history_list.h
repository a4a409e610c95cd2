#pragma once

#include "settings/history_list.h"

class QComboBox;

// The history list kept in a drop-down list (the main window's CB_history): each entry shows
// its path as text and keeps the exact bytes beside it, so that names that are not valid
// UTF-8 come back unchanged. The combo box is not owned and must outlive this object.
class TComboHistoryList : public THistoryList
{
public:
    explicit TComboHistoryList(QComboBox& box);

    int Count() const override;
    std::string Item(int index) const override;
    void Append(const std::string& path) override;
    void RemoveAt(int index) override;
    void Clear() override;
    int SelectedIndex() const override;
    void SetSelectedIndex(int index) override;

private:
    QComboBox& box_;
};
