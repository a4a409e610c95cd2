#include "viewer/magnification_indicator.h"

#include "viewer/shape_bar.h"
#include "viewer/viewer_geometry.h"

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace {

QFont narrowFont()
{
    QFont font("Liberation Sans Narrow");
    font.setPixelSize(11);
    // Set outright, or the label would take the bold weight of the box's caption font.
    font.setBold(false);
    return font;
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* text, QPoint at)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(name);
    label->setFont(narrowFont());
    label->move(at);
    label->adjustSize();
    return label;
}

ShapeBar* makeBar(QWidget* parent, const char* name, QColor fill, int top)
{
    auto* bar = new ShapeBar(fill, parent);
    bar->setObjectName(name);
    bar->setGeometry(105, top, MagnificationIndicator::BarLength, 8);
    return bar;
}

QToolButton* makeArrow(QWidget* parent, const char* name, Qt::ArrowType arrow, int top)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setArrowType(arrow);
    button->setGeometry(0, top, 22, 17);
    // A held arrow repeats its step 400 ms after the press, then every 100 ms.
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(400);
    button->setAutoRepeatInterval(100);
    return button;
}

QToolButton* makeFlatButton(QWidget* parent, const char* name, const char* text, int left)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(QString::fromLatin1(text));
    button->setAutoRaise(true);
    // The buttons keep the plain user-interface font, not the box's bold caption font.
    button->setFont(QFont());
    button->setGeometry(left, 56, 62, 22);
    return button;
}

} // namespace

MagnificationIndicator::MagnificationIndicator(QWidget* parent)
    : QWidget(parent)
{
    GroupBox1 = new QGroupBox(QStringLiteral("Magnifier indicator:"), this);
    GroupBox1->setObjectName("GroupBox1");
    QFont boldFont("Liberation Sans");
    boldFont.setPixelSize(11);
    boldFont.setBold(true);
    GroupBox1->setFont(boldFont);
    // The layout's positions leave the caption less room than Qt's group box takes for it,
    // so they count from a little lower down: far enough for the first caption's letters to
    // stand clear of the frame line, near enough for the buttons to stay inside the frame.
    constexpr int boxHeight = 90;
    constexpr int captionRoom = 10;
    GroupBox1->setGeometry(0, 0, 281, boxHeight);
    setFixedSize(GroupBox1->size());
    auto* content = new QWidget(GroupBox1);
    content->setGeometry(0, captionRoom, 281, boxHeight - captionRoom);

    Label3 = makeLabel(content, "Label3", "Real image size:", QPoint(7, 9));
    Label4 = makeLabel(content, "Label4", "Shown by viewer:", QPoint(7, 22));
    Label5 = makeLabel(content, "Label5", "Shown by magnifier", QPoint(7, 35));
    Label1 = makeLabel(content, "Label1", "Relative magnification:", QPoint(7, 63));
    Label_absolute = makeLabel(content, "Label_absolute", "100%", QPoint(105, 63));
    // Only the four captions are narrow; the percentage keeps the box's bold face. It has the
    // room up to "Set default".
    Label_absolute->setFont(boldFont);
    Label_absolute->setFixedSize(42, 14);

    Shape_original = makeBar(content, "Shape_original", QColor(0, 0, 255), 14);
    Shape_shown = makeBar(content, "Shape_shown", QColor(0, 0, 128), 27);
    Shape_mg = makeBar(content, "Shape_mg", QColor(128, 0, 128), 40);
    // A reader hears each bar by its caption, and its size (UpdateIndicator) as the bar's
    // description.
    Shape_original->setAccessibleName(QStringLiteral("Real image size"));
    Shape_shown->setAccessibleName(QStringLiteral("Shown by viewer"));
    Shape_mg->setAccessibleName(QStringLiteral("Shown by magnifier"));
    Label_absolute->setAccessibleDescription(Label1->text());

    SpinButton1 = new QWidget(content);
    SpinButton1->setObjectName("SpinButton1");
    SpinButton1->setGeometry(252, 14, 22, 34);
    SpinButton1Up = makeArrow(SpinButton1, "SpinButton1Up", Qt::UpArrow, 0);
    SpinButton1Down = makeArrow(SpinButton1, "SpinButton1Down", Qt::DownArrow, 17);
    SpinButton1Up->setAccessibleName(QStringLiteral("Magnify more"));
    SpinButton1Down->setAccessibleName(QStringLiteral("Magnify less"));

    SpeedButton1 = makeFlatButton(content, "SpeedButton1", "Set default", 147);
    SpeedButton2 = makeFlatButton(content, "SpeedButton2", "Apply", 212);
    SpeedButton2->setEnabled(false);

    connect(SpinButton1Up, &QToolButton::clicked, this, &MagnificationIndicator::ScaleUpClick);
    connect(SpinButton1Down, &QToolButton::clicked, this, &MagnificationIndicator::ScaleDnClick);
    connect(SpeedButton1, &QToolButton::clicked, this, &MagnificationIndicator::SetDefaultClick);
    connect(SpeedButton2, &QToolButton::clicked, this, &MagnificationIndicator::ApplyClick);
}

void MagnificationIndicator::SetPending(bool on)
{
    pending = on;
    const Qt::BrushStyle style = on ? Qt::BDiagPattern : Qt::SolidPattern;
    Shape_original->SetBrushStyle(style);
    Shape_shown->SetBrushStyle(style);
    Shape_mg->SetBrushStyle(style);
    SpeedButton2->setEnabled(on);
}

void MagnificationIndicator::UpdateIndicator(int real, int magnifier, int shown)
{
    const int m = std::max({real, magnifier, shown});
    const auto barFor = [m](int value) {
        const double fraction = m > 0 ? static_cast<double>(value) / m : 1.0;
        return static_cast<int>(
            std::clamp<std::int64_t>(RoundHalfEven(BarLength * fraction), 0, BarLength));
    };
    const int originalWidth = barFor(real);
    const int mgWidth = barFor(magnifier);
    const int shownWidth = barFor(shown);
    Shape_original->resize(originalWidth, Shape_original->height());
    Shape_mg->resize(mgWidth, Shape_mg->height());
    Shape_shown->resize(shownWidth, Shape_shown->height());
    const auto pixels = [](int size) {
        return QStringLiteral("%1 pixels").arg(size);
    };
    Shape_original->setAccessibleDescription(pixels(real));
    Shape_mg->setAccessibleDescription(pixels(magnifier));
    Shape_shown->setAccessibleDescription(pixels(shown));

    // The percentage comes from the rounded bars, as the user sees them. A shown picture
    // too small for its bar to have a pixel falls back to the sizes themselves.
    QString percent = QStringLiteral("-");
    if (shownWidth > 0)
        percent = QString::number(RoundHalfEven(100.0 * mgWidth / shownWidth)) + '%';
    else if (shown > 0)
        percent = QString::number(RoundHalfEven(100.0 * magnifier / shown)) + '%';
    Label_absolute->setText(percent);
    // A long percentage (a glass magnifying the view 100 times gives five digits) is set
    // smaller rather than cut off.
    QFont font = Label_absolute->font();
    for (int size = 11; size >= 7; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(percent) <= Label_absolute->contentsRect().width())
            break;
    }
    Label_absolute->setFont(font);
}
