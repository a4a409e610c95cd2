#pragma once

#include <QDialog>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

// The modal message window with a single "OK" button.
class MessageWindow : public QDialog
{
    Q_OBJECT
public:
    explicit MessageWindow(QWidget* parent = nullptr);

    void ShowText(const std::string& Text);

private:
    QFrame* Bevel1;
    QLabel* Label1;
    QPushButton* OKBtn;
};
