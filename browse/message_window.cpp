#include "browse/message_window.h"

#include "browse/byte_name.h"
#include "browse/design_font.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

MessageWindow::MessageWindow(QWidget* parent)
    : QDialog(parent)
    , Bevel1(new QFrame(this))
    , Label1(new QLabel(this))
    , OKBtn(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("Dmsg"));
    setWindowTitle(QStringLiteral("Message:"));
    UseDesignFont(*this);
    setFixedSize(338, 167);

    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(7, 7, 323, 113);
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(14, 14, 309, 99);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setTextFormat(Qt::PlainText);

    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(254, 131, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void MessageWindow::ShowText(const std::string& Text)
{
    waiting.push_back(Text);
    // A second exec() of the shown window would return at once with its text already put
    // over the first one's: neither would be read.
    if (showing)
        return;
    showing = true;
    while (!waiting.empty()) {
        Label1->setText(TextOfByteName(waiting.front()));
        waiting.pop_front();
        OKBtn->setFocus();
        exec();
    }
    showing = false;
}
