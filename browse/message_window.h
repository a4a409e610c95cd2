#pragma once

#include <QDialog>
#include <deque>
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

    // Shows Text until the user closes the window. A text given while another is shown (from
    // an event handled inside the window's own loop) waits its turn: every text is shown
    // once, in the order given, and the first call returns after the last of them.
    void ShowText(const std::string& Text);

private:
    QFrame* Bevel1;
    QLabel* Label1;
    QPushButton* OKBtn;
    std::deque<std::string> waiting;
    bool showing = false;
};
