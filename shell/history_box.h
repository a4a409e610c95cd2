// The navigation history's box. A path longer than the box shows its end after an ellipsis,
// so that the file name is always seen, in the box and in its list; the whole path is the
// tooltip of the box and of each entry.
#pragma once

#include <QComboBox>

class HistoryBox : public QComboBox
{
public:
    // Its model is a QStringListModel of the entries' texts.
    explicit HistoryBox(QWidget* parent = nullptr);

    // The current entry as the closed box shows it.
    QString ShownText() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
