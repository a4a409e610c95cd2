#include "viewer/brightness_contrast_bar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <functional>

namespace {

constexpr int steps = 11; // positions per strip, for the values -5 to +5
constexpr int middle = steps / 2;
constexpr int imageLeft = 60;
constexpr int imageRightMargin = 10;
constexpr int stripHeight = 8;
constexpr int markerSize = 15;

// A round marker: a blue ring over the strip, the strip showing through.
class StripMarker : public QWidget
{
public:
    StripMarker(const QString& name, QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(name);
        setCursor(Qt::PointingHandCursor);
        // The arrow keys move a marker that has the focus, which it shows as a filled ring.
        setFocusPolicy(Qt::StrongFocus);
        resize(markerSize, markerSize);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0, 0, 255), 2));
        painter.setBrush(hasFocus() ? QBrush(QColor(0, 0, 255, 110)) : QBrush(Qt::NoBrush));
        painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }

public:
    // The value the marker stands for, as its bar last reported or placed it.
    std::function<int()> Value;
};

// A reader knows a marker as the slider it is, from -5 to +5 at the value it stands for.
class StripMarkerAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit StripMarkerAccessible(StripMarker* marker)
        : QAccessibleWidget(marker, QAccessible::Slider)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::number(currentValue().toInt());
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override
    {
        const auto* marker = static_cast<const StripMarker*>(widget());
        return marker->Value ? marker->Value() : 0;
    }
    // The value changes through the marker's own keys, which report it to the display.
    void setCurrentValue(const QVariant&) override { }
    QVariant maximumValue() const override { return middle; }
    QVariant minimumValue() const override { return -middle; }
    QVariant minimumStepSize() const override { return 1; }
};

QAccessibleInterface* stripMarkerAccessible(const QString&, QObject* object)
{
    // The marker has no meta-object of its own, so it is known by its type, not its class name.
    if (auto* marker = dynamic_cast<StripMarker*>(object))
        return new StripMarkerAccessible(marker);
    return nullptr;
}

void announceValue(QWidget* marker, int value)
{
    QAccessibleValueChangeEvent event(marker, value);
    QAccessible::updateAccessibility(&event);
}

QLabel* caption(const QString& name, const QString& text, QRect geometry, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font;
    font.setFamilies({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow")});
    font.setPixelSize(11);
    font.setUnderline(true);
    font.setBold(false); // not the group box's bold caption
    label->setFont(font);
    label->setCursor(Qt::PointingHandCursor);
    // The design width fits the caption only in the face it was measured in.
    label->setGeometry(geometry.x(), geometry.y(),
                       std::max(geometry.width(), label->sizeHint().width()), geometry.height());
    return label;
}

QLabel* strip(const QString& name, int top, QWidget* parent)
{
    auto* image = new QLabel(parent);
    image->setObjectName(name);
    image->setGeometry(imageLeft, top, 245, stripHeight);
    image->setScaledContents(true);
    return image;
}

// The strip picture: navy blue at the left to almost white at the right in 60 slanted bands
// of stepped colour, inside a thin black frame. Drawn at the strip's own size, so that the
// bands stay crisp at any width.
QImage gradient(int width, int height)
{
    constexpr int bands = 60;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    const int innerWidth = width - 2;
    const int innerHeight = height - 2;
    if (innerWidth <= 0 || innerHeight <= 0)
        return image;
    const int span = innerWidth + innerHeight - 1;
    for (int y = 0; y < innerHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y + 1)) + 1;
        for (int x = 0; x < innerWidth; ++x) {
            // Each row starts one pixel further into the run of bands than the row below.
            const int band = (x + innerHeight - 1 - y) * bands / span;
            const int lift = (246 * band + (bands - 1) / 2) / (bands - 1);
            const int blue = 128 + (122 * band + (bands - 1) / 2) / (bands - 1);
            row[x] = qRgb(lift, lift, blue);
        }
    }
    return image;
}

// The grid index, 0 to 10, that the marker stands for. The marker's centre decides, but never
// more than half a step ahead of its left edge: with steps narrower than the marker a snapped
// marker would otherwise read the next index and creep along at every snap. A marker pushed
// against the right end stands for the last index even when the strip is too narrow for it
// to stand at that grid position.
int gridIndex(const QWidget* image, const QWidget* marker, int step)
{
    const int imageRight = image->x() + image->width();
    if (marker->x() + marker->width() + 1 >= imageRight)
        return steps - 1;
    const int half = marker->width() / 2;
    const int lead = half < step ? half : step / 2;
    return std::clamp((marker->x() + lead - image->x()) / step, 0, steps - 1);
}

int snap(const QWidget* image, QWidget* marker, int step)
{
    const int k = gridIndex(image, marker, step);
    int left = image->x() + k * step;
    const int imageRight = image->x() + image->width();
    if (left + marker->width() > imageRight)
        left = imageRight - marker->width() - 1;
    marker->move(left, marker->y());
    return k - middle;
}

void place(const QWidget* image, QWidget* marker, int step, int value)
{
    marker->move(image->x() + (value + middle) * step, marker->y());
}

} // namespace

BrightnessContrastBar::BrightnessContrastBar(QWidget* parent)
    : QWidget(parent)
    , GroupBox1(new QGroupBox(QStringLiteral("Display:"), this))
    , Label1(caption(QStringLiteral("Label1"), QStringLiteral("Brightness"), {7, 34, 43, 15},
                     GroupBox1))
    , Label2(
          caption(QStringLiteral("Label2"), QStringLiteral("Contrast"), {7, 63, 34, 15}, GroupBox1))
    , Image1(strip(QStringLiteral("Image1"), 39, GroupBox1))
    , Image2(strip(QStringLiteral("Image2"), 68, GroupBox1))
    , Shape_br(new StripMarker(QStringLiteral("Shape_br"), GroupBox1))
    , Shape_cn(new StripMarker(QStringLiteral("Shape_cn"), GroupBox1))
{
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    static const bool markersAccessible
        = (QAccessible::installFactory(&stripMarkerAccessible), true);
    Q_UNUSED(markersAccessible);
    static_cast<StripMarker*>(Shape_br)->Value = [this] {
        return Brightness;
    };
    static_cast<StripMarker*>(Shape_cn)->Value = [this] {
        return Contrast;
    };
    Shape_br->setAccessibleName(QStringLiteral("Brightness"));
    Shape_cn->setAccessibleName(QStringLiteral("Contrast"));
    Image1->setAccessibleName(QStringLiteral("Brightness strip"));
    Image2->setAccessibleName(QStringLiteral("Contrast strip"));
    QFont bold;
    bold.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    bold.setPixelSize(11);
    bold.setBold(true);
    GroupBox1->setFont(bold);
    Shape_br->move(65, 35);
    Shape_cn->move(65, 64);
    for (QWidget* child :
         {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2), Shape_br, Shape_cn})
        child->installEventFilter(this);
    resize(315, 92);
    FrameResize();
}

int BrightnessContrastBar::SnapBrightness()
{
    return snap(Image1, Shape_br, BrightnessStep);
}

int BrightnessContrastBar::SnapContrast()
{
    return snap(Image2, Shape_cn, ContrastStep);
}

void BrightnessContrastBar::SetBrightnessPosition(int Value)
{
    place(Image1, Shape_br, BrightnessStep, Value);
    Brightness = SnapBrightness();
    announceValue(Shape_br, Brightness);
}

void BrightnessContrastBar::SetContrastPosition(int Value)
{
    place(Image2, Shape_cn, ContrastStep, Value);
    Contrast = SnapContrast();
    announceValue(Shape_cn, Contrast);
}

void BrightnessContrastBar::ResetBrightness()
{
    place(Image1, Shape_br, BrightnessStep, 0);
    Brightness = SnapBrightness();
    announceValue(Shape_br, Brightness);
    if (OnBrightnessChange)
        OnBrightnessChange(Brightness);
}

void BrightnessContrastBar::ResetContrast()
{
    place(Image2, Shape_cn, ContrastStep, 0);
    Contrast = SnapContrast();
    announceValue(Shape_cn, Contrast);
    if (OnContrastChange)
        OnContrastChange(Contrast);
}

void BrightnessContrastBar::FrameResize()
{
    GroupBox1->setGeometry(rect());
    const int imageWidth = std::max(0, GroupBox1->width() - imageLeft - imageRightMargin);
    const QPixmap picture = QPixmap::fromImage(gradient(imageWidth, stripHeight));
    for (QLabel* image : {Image1, Image2}) {
        image->resize(imageWidth, stripHeight);
        image->setPixmap(picture);
    }
    // A strip narrower than the 11 positions still gets a step of one pixel.
    BrightnessStep = std::max(1, Image1->width() / steps);
    ContrastStep = BrightnessStep;
    // The values stay in force: each marker moves to its value's place on the new grid. They
    // are not read back from there, since a strip squeezed narrower than its marker (as a
    // layout may do for a moment) cannot show them.
    place(Image1, Shape_br, BrightnessStep, Brightness);
    SnapBrightness();
    place(Image2, Shape_cn, ContrastStep, Contrast);
    SnapContrast();
}

void BrightnessContrastBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FrameResize();
}

void BrightnessContrastBar::Label1Click()
{
    ResetBrightness();
    SnapBrightness();
}

void BrightnessContrastBar::Label2Click()
{
    ResetContrast();
    SnapContrast();
}

bool BrightnessContrastBar::MarkerKeyDown(QWidget* Marker, const QKeyEvent& Event)
{
    int change = 0;
    switch (Event.key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        change = -1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        change = 1;
        break;
    case Qt::Key_0:
        // As a click on the strip's caption does.
        if (Marker == Shape_br)
            Label1Click();
        else
            Label2Click();
        return true;
    default:
        return false;
    }
    const bool brightness = Marker == Shape_br;
    const int value = std::clamp((brightness ? Brightness : Contrast) + change, -middle, middle);
    if (value == (brightness ? Brightness : Contrast))
        return true;
    if (brightness) {
        SetBrightnessPosition(value);
        if (OnBrightnessChange)
            OnBrightnessChange(Brightness);
    } else {
        SetContrastPosition(value);
        if (OnContrastChange)
            OnContrastChange(Contrast);
    }
    return true;
}

void BrightnessContrastBar::Shape_brMouseDown(int X)
{
    GrabX = X;
    DraggingBrightness = true;
}

void BrightnessContrastBar::Shape_brMouseMove(int X)
{
    if (!DraggingBrightness)
        return;
    Shape_br->move(Shape_br->x() + X - GrabX, Shape_br->y());
    SnapBrightness();
}

void BrightnessContrastBar::Shape_brMouseUp()
{
    DraggingBrightness = false;
    GroupBox1->repaint();
    Brightness = SnapBrightness();
    announceValue(Shape_br, Brightness);
    if (OnBrightnessChange)
        OnBrightnessChange(Brightness);
}

void BrightnessContrastBar::Shape_cnMouseDown(int X)
{
    GrabX = X;
    DraggingContrast = true;
}

void BrightnessContrastBar::Shape_cnMouseMove(int X)
{
    if (!DraggingContrast)
        return;
    Shape_cn->move(Shape_cn->x() + X - GrabX, Shape_cn->y());
    SnapContrast();
}

void BrightnessContrastBar::Shape_cnMouseUp()
{
    DraggingContrast = false;
    GroupBox1->repaint();
    Contrast = SnapContrast();
    announceValue(Shape_cn, Contrast);
    if (OnContrastChange)
        OnContrastChange(Contrast);
}

bool BrightnessContrastBar::eventFilter(QObject* watched, QEvent* event)
{
    QEvent::Type type = event->type();
    if (type == QEvent::KeyPress && (watched == Shape_br || watched == Shape_cn)
        && MarkerKeyDown(static_cast<QWidget*>(watched), *static_cast<QKeyEvent*>(event)))
        return true;
    // A quick second press arrives as a double click; on a marker it is a press like any.
    if (type == QEvent::MouseButtonDblClick && (watched == Shape_br || watched == Shape_cn))
        type = QEvent::MouseButtonPress;
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove
        && type != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int x = mouse->position().toPoint().x();

    if (watched == Label1 || watched == Label2) {
        const bool click = type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton
            && static_cast<QWidget*>(watched)->rect().contains(mouse->position().toPoint());
        if (click && watched == Label1)
            Label1Click();
        else if (click)
            Label2Click();
        return false;
    }
    if (watched == Shape_br) {
        if (type == QEvent::MouseButtonPress)
            Shape_brMouseDown(x);
        else if (type == QEvent::MouseMove)
            Shape_brMouseMove(x);
        else
            Shape_brMouseUp();
        return true;
    }
    if (watched == Shape_cn) {
        if (type == QEvent::MouseButtonPress)
            Shape_cnMouseDown(x);
        else if (type == QEvent::MouseMove)
            Shape_cnMouseMove(x);
        else
            Shape_cnMouseUp();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
