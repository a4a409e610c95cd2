#pragma once

#include <QDialog>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

// The modal Yes/No question: the one way the program asks the user something.
class YesNoQuestion : public QDialog
{
    Q_OBJECT
public:
    explicit YesNoQuestion(QWidget* parent = nullptr);

    // Shows Question modally; true only when the user pressed "Yes" (Enter). "No", Esc and
    // the close box all answer false.
    virtual bool Ask(const std::string& Question);

    bool Answer = false;

private:
    void OKBtnClick();

    QFrame* Bevel1;
    QLabel* Label1;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};
