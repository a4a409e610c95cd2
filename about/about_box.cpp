#include "about/about_box.h"

#include "browse/design_font.h"
#include "browse/svg_picture.h"

#include <QDesktopServices>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace {

QFont pixelFont(const QFont& base, int pixels, bool bold)
{
    QFont font = base;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

AboutBox::AboutBox(std::function<std::string()> version, QWidget* parent)
    : QDialog(parent)
    , version_(std::move(version))
    , openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); })
    , Shape1(new QFrame(this))
    , Image1(new QLabel(this))
    , Label2(new QLabel(QStringLiteral("Vistrel"), this))
    , Label_version(new QLabel(this))
    , Label_http(new QLabel(WebPage().toString(), this))
    , Bevel1(new QFrame(this))
    , Btn_ok(new QPushButton(QStringLiteral("Ok"), this))
{
    setObjectName(QStringLiteral("F_about"));
    setWindowTitle(QStringLiteral("About"));
    UseDesignFont(*this);
    setFixedSize(325, 186);

    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(14, 21, 64, 64);
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setAutoFillBackground(true);
    QPalette white = Shape1->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    Shape1->setPalette(white);

    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAccessibleName(QStringLiteral("Vistrel emblem"));
    Image1->setGeometry(21, 28, 50, 50);
    Image1->setPixmap(SvgPicture(QStringLiteral(":/emblem.svg"), QSize(50, 50)));

    QPalette red = palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(208, 21, 99, 24);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label2->setFont(pixelFont(font(), 19, true));
    Label_version->setObjectName(QStringLiteral("Label_version"));
    Label_version->setGeometry(224, 49, 78, 22);
    Label_version->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label_version->setFont(pixelFont(font(), 13, true));
    Label_version->setPalette(red);
    Label_http->setObjectName(QStringLiteral("Label_http"));
    Label_http->setGeometry(175, 126, 127, 15);
    Label_http->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label_http->setFont(pixelFont(font(), 13, false));
    Label_http->setPalette(red);
    Label_http->setCursor(Qt::PointingHandCursor);
    Label_http->installEventFilter(this);

    // The bottom strip of 39 pixels is set apart by a single line along its top edge.
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(0, 186 - 39, 325, 2);
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    Btn_ok->setObjectName(QStringLiteral("Btn_ok"));
    Btn_ok->setGeometry(223, 157, 75, 25);
    Btn_ok->setDefault(true);
    connect(Btn_ok, &QPushButton::clicked, this, &AboutBox::Btn_okClick);
}

QUrl AboutBox::WebPage()
{
    return QUrl(QStringLiteral("https://vistrel.org/"));
}

void AboutBox::SetUrlOpener(std::function<void(const QUrl&)> opener)
{
    openUrl_ = std::move(opener);
}

void AboutBox::ShowAbout()
{
    Label_version->setText(QString::fromStdString(version_ ? version_() : std::string()));
    Btn_ok->setFocus();
    exec();
}

void AboutBox::Btn_okClick()
{
    accept();
}

void AboutBox::Label_httpClick()
{
    openUrl_(WebPage());
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label_http && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton
        && Label_http->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        Label_httpClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void AboutBox::keyPressEvent(QKeyEvent* event)
{
    // The box has no cancel button, so Esc closes nothing; Enter and Space reach Btn_ok.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
