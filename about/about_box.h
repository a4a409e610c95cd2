#pragma once

#include "store/program_version.h"

#include <QDialog>
#include <QUrl>

#include <functional>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

// The modal about box: the emblem, the program's name and version, and a link that opens
// the program's web page in the user's browser.
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    // version gives the version text at each showing.
    explicit AboutBox(
        std::function<std::string()> version = [] { return std::string(ProgramVersion()); },
        QWidget* parent = nullptr);

    // Shows the version text, then the box modally; returns when the box closes.
    void ShowAbout();

    // The address shown in Label_http and opened by a click on it.
    static QUrl WebPage();

    // How a web address is opened; by default the desktop's browser (its result is not
    // checked). Tests replace it so that no browser starts.
    void SetUrlOpener(std::function<void(const QUrl&)> opener);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Btn_okClick();
    void Label_httpClick();

    std::function<std::string()> version_;
    std::function<void(const QUrl&)> openUrl_;
    QFrame* Shape1;
    QLabel* Image1;
    QLabel* Label2;
    QLabel* Label_version;
    QLabel* Label_http;
    QFrame* Bevel1;
    QPushButton* Btn_ok;
};
