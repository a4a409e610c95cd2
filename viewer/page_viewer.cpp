#include "viewer/page_viewer.h"

#include "imaging/picture_buffer.h"
#include "imaging/pixel_operations.h"
#include "imaging/wait_cursor.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

// A glass larger than any screen would only cost memory.
constexpr int maxGlassDiameter = 1024;
// Beyond this a preview's source square no longer fits the stretch arithmetic; steps
// never come near it.
constexpr double maxPreviewFactor = 1e6;

constexpr QRgb white = 0xFFFFFFFFu;

// The product's colour value keeps red in the lowest byte.
QRgb rgbOf(RgbColor color)
{
    return qRgb(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

// The notice reads on either page: dark grey on white, light grey on black, on a field of
// the page's colour that covers whatever lies beneath it (the empty picture's white square in
// full screen).
void colourNotice(QLabel& notice, QRgb background)
{
    QPalette palette = notice.palette();
    palette.setColor(QPalette::WindowText,
                     qGray(background) > 127 ? QColor(64, 64, 64) : QColor(192, 192, 192));
    palette.setColor(QPalette::Window, QColor::fromRgb(background));
    notice.setPalette(palette);
}

QRgb* rowOf(QImage& image, int y)
{
    return reinterpret_cast<QRgb*>(image.scanLine(y));
}

} // namespace

PageViewer::PageViewer(QWidget* parent, const GlassOptions* glassOptions)
    : QWidget(parent)
    , Panel1(new QWidget(this))
    , Image1(new ImageControl(Panel1))
    , Image_mg(new ImageControl(Panel1))
    , Label_notice(new QLabel(Panel1))
    , options(glassOptions)
{
    Panel1->setObjectName("Panel1");
    Panel1->setAutoFillBackground(true);
    QPalette palette = Panel1->palette();
    palette.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(palette);
    // The panel shows the focus; a click on the picture gives it.
    Panel1->installEventFilter(this);
    setFocusPolicy(Qt::StrongFocus);

    Image1->setObjectName("Image1");
    Image1->setAccessibleName(QStringLiteral("Picture"));
    Image1->SetPicture(&display);

    Image_mg->setObjectName("Image_mg");
    Image_mg->setAccessibleName(QStringLiteral("Magnifying glass"));
    Image_mg->setCursor(Qt::PointingHandCursor);
    Image_mg->move(189, 49);
    Image_mg->hide();
    Image_mg->SetPicture(&glass);
    Image_mg->OnMouseDown = [this](const QMouseEvent& event) {
        Image_mgMouseDown(event);
    };
    Image_mg->OnMouseMove = [this](const QMouseEvent& event) {
        Image_mgMouseMove(event);
    };
    Image_mg->OnMouseUp = [this](const QMouseEvent& event) {
        Image_mgMouseUp(event);
    };

    Label_notice->setObjectName("Label_notice");
    Label_notice->setAlignment(Qt::AlignCenter);
    Label_notice->setWordWrap(true);
    Label_notice->setAutoFillBackground(true);
    Label_notice->setMargin(6);
    // Over the glass, so that the glass never hides it; clicks, double clicks and drags go
    // to the picture and the glass beneath.
    Label_notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    Label_notice->raise();
    colourNotice(*Label_notice, white);
    Label_notice->hide();

    placeChildren();
    pixelRatio = devicePixelRatioF();
    ApplySettings();
    // The worker's notice comes over to this thread; a notice for a picture no longer
    // followed finds nothing to take.
    loader.OnReady = [this] {
        QMetaObject::invokeMethod(
            this, [this] { takeFullPicture(); }, Qt::QueuedConnection);
    };
}

PageViewer::~PageViewer() = default;

void PageViewer::SetGlassOptions(const GlassOptions* glassOptions)
{
    options = glassOptions;
}

bool PageViewer::LoadPicture(const std::string& fileName)
{
    ResetScale();
    // The wait cursor covers the decoding too, the longest part of a load.
    WaitCursor wait;
    PictureLoader::First first = loader.Open(fileName, toDevice(Image1->size()));
    if (first.picture.isNull())
        return false;
    // The old picture's memory goes back before the full new one is decoded behind, so that
    // the program holds one large picture at a time. Moved, not copied: the slot turns the
    // picture in place and would take a copy of a shared one.
    showPicture(std::move(first.picture), first.size, first.complete, std::move(first.averaged),
                first.averagedInto);
    // The picture goes on screen now, before the work behind (the full picture, and the
    // pictures the owner has decoded ahead next) competes with the paint for the processor.
    Image1->repaint();
    Image_mg->repaint();
    if (!first.complete) {
        // The display keeps its stretched picture and the glass its pixels; the reduced
        // picture goes before the full one takes its memory, so that the two are never
        // held together. Whatever would draw from it waits for the full picture instead.
        source = QImage();
        pictureSlot.Release();
    }
    loader.Follow(fileName, !first.complete);
    return true;
}

void PageViewer::DecodeAhead(const std::vector<std::string>& fileNames)
{
    loader.DecodeAhead(fileNames, toDevice(Image1->size()), toDevice(BorderWidth));
    // A picture no longer wanted ahead leaves its memory kept for a next picture; that is
    // given back unless the picture shown could use it.
    TrimKeptPictureMemory(pictureSize.width(), pictureSize.height());
}

void PageViewer::WaitForPicture()
{
    if (complete)
        return;
    WaitCursor wait;
    finishPicture(loader.WaitFull());
}

const QImage& PageViewer::SourcePicture()
{
    WaitForPicture();
    return source;
}

void PageViewer::showPicture(QImage picture, QSize size, bool isComplete, QImage averaged,
                             QRect averagedInto)
{
    // The full picture of a reduced one already averaged into the display adds no detail
    // there: the display stays, and the full picture is not averaged again on this thread.
    const bool keepStretched = isComplete && !complete && stretchedFromReduced
        && stretchedKey.generation == sourceGeneration;
    // Adopt lets the old picture's memory go first.
    source = pictureSlot.Adopt(std::move(picture));
    pictureSize = size;
    complete = isComplete;
    // Memory kept for a next picture is given back once the picture shown is complete,
    // unless the next picture of about this size can use it.
    if (complete)
        TrimKeptPictureMemory(size.width(), size.height());
    ++sourceGeneration;
    if (keepStretched)
        stretchedKey.generation = sourceGeneration;
    // A reduced picture stands in for the full one at the full one's size.
    working.Reset(&source, size.width(), size.height());
    if (!averaged.isNull())
        adoptAveraged(std::move(averaged), averagedInto);
    RedrawPicture();
    drawGlass();
    Image_mg->show();
    SetNotice(QString());
}

void PageViewer::adoptAveraged(QImage averaged, QRect into)
{
    // Made for the pane as it was when the picture was decoded ahead: it serves while the fit
    // there is the fit now and the display still reduces by the average.
    FitPicture();
    if (exactPixels || shownRect.toQRect() != into)
        return;
    stretched = std::move(averaged);
    stretchedKey = StretchKey {sourceGeneration, shownRect, toDevice(Image1->size()), true};
    stretchedFromReduced = false;
}

void PageViewer::takeFullPicture()
{
    QImage full;
    if (loader.TakeFull(&full))
        finishPicture(std::move(full));
}

void PageViewer::finishPicture(QImage full)
{
    if (complete)
        return;
    if (full.isNull()) {
        ClearPicture();
        if (OnPictureLost)
            OnPictureLost();
        return;
    }
    // Nothing that changes the scale or turns the picture runs before this, so the working
    // picture is still the picture at its own size.
    const QSize size = full.size();
    showPicture(std::move(full), size, true);
}

bool PageViewer::ClearPicture()
{
    ResetScale();
    WaitCursor wait;
    loader.Follow(std::string(), false);
    QImage blank(100, 100, QImage::Format_RGB32);
    blank.fill(white);
    source = pictureSlot.Adopt(std::move(blank));
    pictureSize = source.size();
    complete = true;
    ++sourceGeneration;
    working.Reset(&source, source.width(), source.height());
    RedrawPicture();
    UpdateGlass();
    return true;
}

void PageViewer::ResetScale()
{
    workingScale = 1.0;
    shownRatio = 1.0;
    pendingInverse = 1.0;
    pictureOrigin = QPoint(BorderWidth, BorderWidth);
}

void PageViewer::FitPicture()
{
    const PictureFit fit
        = FitToArea(pictureSize, working.Size(), toDevice(Image1->size()), toDevice(BorderWidth));
    shownRect = fit.shownRect;
    shownRatio = fit.shownRatio;
    pictureOrigin = fit.pictureOrigin;
}

void PageViewer::RedrawPicture()
{
    const QSize area = toDevice(Image1->size());
    if (display.size() != area || display.devicePixelRatio() != pixelRatio) {
        display = area.isEmpty() ? QImage() : QImage(area, QImage::Format_RGB32);
        display.setDevicePixelRatio(pixelRatio);
    }
    FitPicture();
    if (display.isNull()) {
        Image1->update();
        return;
    }

    const QRect shown = shownRect.toQRect().intersected(display.rect());
    // The display shows the picture at its own size, whatever the working scale: a picture
    // that fits pixel for pixel, a larger one reduced, smoothly unless exact pixels are asked
    // for. Only the glass shows the working picture.
    const bool smooth = !exactPixels
        && (shownRect.width() < pictureSize.width() || shownRect.height() < pictureSize.height());
    const StretchKey key {sourceGeneration, shownRect, display.size(), smooth};
    if (!(key == stretchedKey) || stretched.size() != shown.size()) {
        if (stretched.size() != shown.size())
            stretched = shown.isEmpty() ? QImage() : QImage(shown.size(), QImage::Format_RGB32);
        const QRect into = shownRect.toQRect().translated(-shown.topLeft());
        // A reduced picture standing in for the full one does so at the full one's size.
        WorkingPicture ownSize;
        ownSize.Reset(&source, pictureSize.width(), pictureSize.height());
        if (smooth)
            ownSize.Average(stretched, into);
        else
            ownSize.Draw(stretched, into, Rect64 {0, 0, ownSize.Width(), ownSize.Height()});
        stretchedKey = key;
        stretchedFromReduced = smooth && !complete && source.width() >= shownRect.width()
            && source.height() >= shownRect.height();
    }
    if (channels.Contrast() != contrast || channels.Lightness() != lightness)
        channels = ChannelTable(contrast, lightness);

    // The adjustments cover the white page's margins too, so a negative contrast greys them;
    // the black around a picture in full screen stays black.
    const bool adjusted = contrast != 0 || lightness != 0;
    const QRgb margin = adjusted && background == white ? channels.Map(background) : background;
    for (int y = 0; y < display.height(); ++y) {
        QRgb* row = rowOf(display, y);
        if (shown.isEmpty() || y < shown.top() || y > shown.bottom()) {
            std::fill_n(row, display.width(), margin);
            continue;
        }
        std::fill_n(row, shown.left(), margin);
        const auto* picture = reinterpret_cast<const QRgb*>(stretched.constScanLine(y - shown.y()));
        if (adjusted)
            channels.MapRow(picture, row + shown.left(), shown.width());
        else
            std::memcpy(row + shown.left(), picture, 4 * static_cast<std::size_t>(shown.width()));
        std::fill(row + shown.left() + shown.width(), row + display.width(), margin);
    }
    Image1->update();
}

void PageViewer::SetScale(double scale)
{
    if (!std::isfinite(scale) || scale <= 0)
        throw std::out_of_range("the working scale must be a positive number");
    WaitForPicture();
    std::int64_t width = 0;
    std::int64_t height = 0;
    if (!source.isNull()) {
        width = RoundHalfEven(source.width() * scale);
        height = RoundHalfEven(source.height() * scale);
        if (width < 1 || height < 1 || width > WorkingPicture::MaxSide
            || height > WorkingPicture::MaxSide)
            throw std::out_of_range("the working picture would be too large or too small");
    }
    // The working picture is produced on demand, so this costs no pixel work at all and
    // needs no wait cursor.
    working.Reset(&source, static_cast<int>(width), static_cast<int>(height));
    workingScale = scale;
    FitPicture();
    UpdateGlass();
    pendingInverse = 1.0;
}

void PageViewer::RotatePicture(bool clockwise)
{
    WaitCursor wait;
    WaitForPicture();
    source = pictureSlot.Turn(clockwise);
    pictureSize = source.size();
    ++sourceGeneration;
    workingScale = 1.0;
    working.Reset(&source, source.width(), source.height());
    FitPicture();
    RedrawPicture();
    UpdateGlass();
}

bool PageViewer::ApplyPendingScale()
{
    WaitForPicture();
    try {
        SetScale(pendingInverse * workingScale);
        return true;
    } catch (const std::exception&) {
        // Nothing changed, but the glass may still show the refused step's preview.
        UpdateGlass();
        return false;
    }
}

int PageViewer::ShownSize() const
{
    return static_cast<int>(std::max(shownRect.width(), shownRect.height()));
}

void PageViewer::SetLightness(int amount)
{
    lightness = amount;
    RedrawPicture();
    refreshGlassSurround();
}

void PageViewer::SetContrast(int amount)
{
    contrast = amount;
    RedrawPicture();
    refreshGlassSurround();
}

void PageViewer::SetExactPixels(bool exact)
{
    if (exact == exactPixels)
        return;
    exactPixels = exact;
    // A reduced picture is already let go: its display is drawn again from the full one.
    WaitForPicture();
    RedrawPicture();
    refreshGlassSurround();
}

void PageViewer::ApplySettings()
{
    if (options) {
        glassDiameter = std::clamp(options->Diameter(), 1, maxGlassDiameter);
        borderColor = options->BorderColor();
    }
    // The top-left stays where it is, so a larger glass grows to the right and downward.
    Image_mg->resize(glassDiameter, glassDiameter);
    // The glass's pictures count its device pixels.
    const int d = toDevice(glassDiameter);
    if (glass.width() != d || glass.devicePixelRatio() != pixelRatio) {
        glassDisc = GlassDisc(d);
        glass = QImage(d, d, QImage::Format_RGB32);
        glass.setDevicePixelRatio(pixelRatio);
        glassScratch = QImage(d, d, QImage::Format_RGB32);
    }
    // Until the next redraw the glass shows its mask: a black disc in a white square.
    glass.fill(white);
    for (int y = 0; y < d; ++y) {
        const GlassRow& span = glassDisc[static_cast<std::size_t>(y)];
        std::fill(rowOf(glass, y) + span.innerBegin, rowOf(glass, y) + span.innerEnd,
                  qRgb(0, 0, 0));
    }
    glassScratch.fill(white);
    glassHasBorder = false;
    glassRect = QRect(0, 0, d, d);
    Image_mg->update();
}

void PageViewer::UpdateGlass()
{
    WaitForPicture();
    drawGlass();
}

void PageViewer::drawGlass()
{
    previewFactor = 0;
    ComputeGlassSource();
    // The glass shows the working picture pixel for pixel or nothing of it: a reduced
    // picture standing in for the full one would show other pixels, so until the full one
    // is in, the disc shows what it shows beyond the picture.
    ComposeGlass(complete ? glassSourceRect : Rect64 {});
    DrawGlassBorder();
    Image_mg->update();
}

void PageViewer::PreviewScale(double x)
{
    if (!std::isfinite(x) || x <= 0 || x > maxPreviewFactor)
        throw std::invalid_argument("the step factor must be a positive number");
    WaitForPicture();
    ComputeGlassSource();
    pendingInverse = 1 / x;
    previewFactor = x;
    // The preview draws no border circle; the next redraw brings it back.
    ComposeGlass(PreviewSourceFor(glassSourceRect, x));
    Image_mg->update();
}

void PageViewer::redrawGlassKeepingPreview()
{
    if (previewFactor > 0)
        PreviewScale(previewFactor);
    else
        drawGlass();
}

void PageViewer::CenterGlassAt(int x, int y)
{
    Image_mg->move(GlassTopLeftCenteredAt(QPoint(x, y), BorderWidth, Image_mg->size()));
    UpdateGlass();
}

void PageViewer::MoveGlassBy(int dx, int dy)
{
    const QPoint half(Image_mg->width() / 2, Image_mg->height() / 2);
    QPoint centre = Image_mg->pos() + half + QPoint(dx, dy);
    centre.setX(std::clamp(centre.x(), 0, std::max(0, width() - 1)));
    centre.setY(std::clamp(centre.y(), 0, std::max(0, height() - 1)));
    Image_mg->move(centre - half);
    UpdateGlass();
}

void PageViewer::SetBackground(QRgb colour)
{
    background = colour;
    QPalette palette = Panel1->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(colour));
    Panel1->setPalette(palette);
    colourNotice(*Label_notice, colour);
    RedrawPicture();
    refreshGlassSurround();
}

void PageViewer::SetNotice(const QString& text)
{
    Label_notice->setText(text);
    Label_notice->setVisible(!text.isEmpty());
    placeChildren();
}

QString PageViewer::Notice() const
{
    return Label_notice->isVisible() ? Label_notice->text() : QString();
}

void PageViewer::keyPressEvent(QKeyEvent* event)
{
    const int step = event->modifiers() & Qt::ShiftModifier ? 10 : 1;
    QPoint move;
    switch (event->key()) {
    case Qt::Key_Left:
        move = QPoint(-step, 0);
        break;
    case Qt::Key_Right:
        move = QPoint(step, 0);
        break;
    case Qt::Key_Up:
        move = QPoint(0, -step);
        break;
    case Qt::Key_Down:
        move = QPoint(0, step);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    MoveGlassBy(move.x(), move.y());
    if (OnGlassMovedByKey)
        OnGlassMovedByKey();
}

void PageViewer::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    showFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason
        || reason == Qt::ShortcutFocusReason;
    Panel1->update();
}

void PageViewer::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    showFocus = false;
    Panel1->update();
}

bool PageViewer::eventFilter(QObject* watched, QEvent* event)
{
    // A frame in the margin, drawn over the panel's background, shows the focus that came
    // by the keyboard; the picture itself is left as it is.
    if (watched == Panel1 && event->type() == QEvent::Paint && showFocus && hasFocus()) {
        QPainter painter(Panel1);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DotLine));
        painter.drawRect(QRectF(Panel1->rect()).adjusted(3, 3, -3, -3));
    }
    return QWidget::eventFilter(watched, event);
}

void PageViewer::Image_mgMouseDown(const QMouseEvent& event)
{
    WaitForPicture();
    dragStart = event.position().toPoint();
    dragging = true;
}

void PageViewer::Image_mgMouseMove(const QMouseEvent& event)
{
    if (!dragging)
        return;
    // The glass is not held inside the picture or the panel: it may be dragged over the
    // margin and beyond the picture's edges.
    Image_mg->move(Image_mg->pos() + event.position().toPoint() - dragStart);
    UpdateGlass();
}

void PageViewer::Image_mgMouseUp(const QMouseEvent&)
{
    dragging = false;
    UpdateGlass();
}

bool PageViewer::event(QEvent* event)
{
    // Moved to a screen of another pixel ratio, the pane counts its new device pixels.
    if (event->type() == QEvent::ScreenChangeInternal)
        followPixelRatio();
    return QWidget::event(event);
}

void PageViewer::followPixelRatio()
{
    const qreal ratio = devicePixelRatioF();
    if (ratio == pixelRatio)
        return;
    pixelRatio = ratio;
    const double preview = previewFactor;
    ApplySettings();
    WaitForPicture();
    RedrawPicture();
    previewFactor = preview;
    redrawGlassKeepingPreview();
}

int PageViewer::toDevice(int logical) const
{
    return static_cast<int>(RoundHalfEven(logical * pixelRatio));
}

QSize PageViewer::toDevice(QSize logical) const
{
    return QSize(toDevice(logical.width()), toDevice(logical.height()));
}

void PageViewer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QSize area = Image1->size();
    placeChildren();
    followPixelRatio();
    // A resized pane is fitted again, so the picture is never cut off or left in a corner;
    // amounts, scale and glass position stay as they were.
    if (Image1->size() != area) {
        WaitForPicture();
        RedrawPicture();
        redrawGlassKeepingPreview();
    }
}

void PageViewer::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // Moved in the window, the pane may lie on other device pixels than the glass did: at a
    // fractional pixel ratio the glass then looks one device pixel beside its place.
    redrawGlassKeepingPreview();
}

QPoint PageViewer::deviceInWindow(const QWidget* widget) const
{
    const QPoint at = widget->mapTo(window(), QPoint(0, 0));
    return QPoint(qRound(at.x() * pixelRatio), qRound(at.y() * pixelRatio));
}

QPoint PageViewer::glassInArea() const
{
    return deviceInWindow(Image_mg) - deviceInWindow(Image1);
}

void PageViewer::ComputeGlassSource()
{
    // The picture origin counts the margin in the pane's device pixels.
    const QPoint margin(toDevice(BorderWidth), toDevice(BorderWidth));
    glassSourceRect
        = GlassSourceFor(shownRatio, pictureOrigin, glassInArea() + margin, glass.size());
}

void PageViewer::ComposeGlass(const Rect64& sourceRect)
{
    working.Draw(glassScratch, glassRect, sourceRect);
    if (background != white)
        fillBeyondPicture(sourceRect);
    glassHasBorder = false;
    composeFromScratch();
}

void PageViewer::fillBeyondPicture(const Rect64& sourceRect)
{
    // The plain stretch takes glass pixel i of d from source pixel floor((2i + 1) w / 2d) of
    // the rectangle's w; the pixels inside the working picture make one run per side.
    const int d = glassScratch.width();
    const auto insideRun = [d](std::int64_t first, std::int64_t span, std::int64_t limit) {
        int begin = d;
        int end = d;
        for (int i = 0; i < d; ++i) {
            const std::int64_t at
                = first + (2 * std::int64_t {i} + 1) * span / (2 * std::int64_t {d});
            const bool inside = at >= 0 && at < limit;
            if (inside && begin == d)
                begin = i;
            if (!inside && begin != d) {
                end = i;
                break;
            }
        }
        return std::pair<int, int>(begin, begin == d ? d : end);
    };
    const auto [columnBegin, columnEnd]
        = insideRun(sourceRect.left, sourceRect.width(), working.Width());
    const auto [rowBegin, rowEnd]
        = insideRun(sourceRect.top, sourceRect.height(), working.Height());
    for (int y = 0; y < d; ++y) {
        QRgb* row = rowOf(glassScratch, y);
        if (y < rowBegin || y >= rowEnd || columnBegin >= columnEnd) {
            std::fill_n(row, d, background);
            continue;
        }
        std::fill(row, row + columnBegin, background);
        std::fill(row + columnEnd, row + d, background);
    }
}

void PageViewer::composeFromScratch()
{
    const int d = glass.width();
    // The display picture beneath the glass's square; beyond the display picture, white.
    const QPoint beneath = glassInArea();
    beneathColumns.resize(static_cast<std::size_t>(d));
    beneathRows.resize(static_cast<std::size_t>(d));
    for (int i = 0; i < d; ++i) {
        beneathColumns[static_cast<std::size_t>(i)] = beneath.x() + i;
        beneathRows[static_cast<std::size_t>(i)] = beneath.y() + i;
    }
    GatherPixels(glass, QPoint(0, 0), display, beneathColumns, beneathRows);
    if (background != white) {
        // Beyond the display picture lies the panel's margin, in the background colour.
        const int first = std::clamp(-beneath.x(), 0, d);
        const int last = std::clamp(display.width() - beneath.x(), first, d);
        for (int y = 0; y < d; ++y) {
            QRgb* row = rowOf(glass, y);
            const int displayRow = beneath.y() + y;
            if (displayRow < 0 || displayRow >= display.height()) {
                std::fill_n(row, d, background);
                continue;
            }
            std::fill(row, row + first, background);
            std::fill(row + last, row + d, background);
        }
    }
    // Inside the outline of the disc, the glass's own picture.
    for (int y = 0; y < d; ++y) {
        const GlassRow& span = glassDisc[static_cast<std::size_t>(y)];
        if (span.innerEnd > span.innerBegin)
            std::memcpy(rowOf(glass, y) + span.innerBegin,
                        glassScratch.constScanLine(y) + 4 * span.innerBegin,
                        4 * static_cast<std::size_t>(span.innerEnd - span.innerBegin));
    }
}

void PageViewer::DrawGlassBorder()
{
    if (!(options ? options->UseBorder() : DefaultGlassUseBorder))
        return;
    const QRgb color = rgbOf(borderColor);
    for (int y = 0; y < glass.height(); ++y) {
        const GlassRow& span = glassDisc[static_cast<std::size_t>(y)];
        QRgb* row = rowOf(glass, y);
        std::fill(row + span.discBegin, row + span.innerBegin, color);
        std::fill(row + span.innerEnd, row + span.discEnd, color);
    }
    glassHasBorder = true;
}

void PageViewer::refreshGlassSurround()
{
    // The glass's corners show the display picture, which has just changed; its disc keeps
    // what it showed, a pending step's preview included.
    const bool border = glassHasBorder;
    composeFromScratch();
    if (border)
        DrawGlassBorder();
    Image_mg->update();
}

void PageViewer::placeChildren()
{
    Panel1->setGeometry(rect());
    Image1->setGeometry(rect().adjusted(BorderWidth, BorderWidth, -BorderWidth, -BorderWidth));
    // As large as its text needs, in the middle of the picture area.
    const QRect area = Image1->geometry();
    const int width = std::min(Label_notice->fontMetrics().horizontalAdvance(Label_notice->text())
                                   + 2 * Label_notice->margin() + 2,
                               area.width());
    QRect notice(0, 0, width, std::min(Label_notice->heightForWidth(width), area.height()));
    notice.moveCenter(area.center());
    Label_notice->setGeometry(notice);
}
