#include "browse/yes_no_question.h"

#include "browse/byte_name.h"
#include "browse/design_font.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextOption>

namespace {

// The question's label. A word wider than the label (a long file name in the trash question)
// breaks where it reaches the right edge instead of running past it, so the whole name stays
// readable; only lines beyond the label's height are cut off.
class QuestionLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        painter.drawText(QRectF(contentsRect()), text(), option);
    }
};

} // namespace

YesNoQuestion::YesNoQuestion(QWidget* parent)
    : QDialog(parent)
    , Bevel1(new QFrame(this))
    , Label1(new QuestionLabel(this))
    , OKBtn(new QPushButton(QStringLiteral("Yes"), this))
    , CancelBtn(new QPushButton(QStringLiteral("No"), this))
{
    setObjectName(QStringLiteral("Fsure"));
    setWindowTitle(QStringLiteral("Confirmation:"));
    UseDesignFont(*this);
    setFixedSize(313, 172);

    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(8, 8, 297, 119);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    // The question has a fixed box: a long one wraps and whatever does not fit is cut off.
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(21, 21, 274, 99);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setTextFormat(Qt::PlainText);

    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(79, 138, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(162, 138, 75, 25);

    connect(OKBtn, &QPushButton::clicked, this, &YesNoQuestion::OKBtnClick);
    // Esc and the close box reach QDialog::reject, the same as "No".
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

bool YesNoQuestion::Ask(const std::string& Question)
{
    Answer = false;
    Label1->setText(TextOfByteName(Question));
    OKBtn->setFocus();
    exec();
    return Answer;
}

void YesNoQuestion::OKBtnClick()
{
    Answer = true;
    accept();
}
