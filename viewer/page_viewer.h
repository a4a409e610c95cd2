// The page viewer: the picture fitted into its pane, never enlarged, with the round
// magnifying glass over it.
//
// A large JPEG, WebP or TIFF is shown at once from a reduced decode while its full picture is
// decoded behind; the display is drawn again from the full picture when it arrives. The reduced
// picture is not kept: what needs pixels beyond the display drawn from it (the glass, scale
// steps, turns, a new pane size) waits for the full picture under the wait cursor, and until
// it is in the glass shows nothing of the picture.
//
// It holds the picture in three forms: the source (as loaded, turned by any rotations),
// the working picture (the source resampled by the working scale; the glass shows it pixel
// for pixel) and the display picture (what the pane shows: the picture at its own size
// drawn into the shown rectangle, with brightness and contrast applied, so that a magnified
// working picture never changes it). A display smaller than the picture is its area
// average, unless exact pixels are asked for (then the plain stretch, as everywhere else);
// the channels are averaged in their stored values. The glass
// is a child of the panel; inside its circle it shows the working picture around the point beneath
// its centre, outside the circle the display picture beneath it, so that it looks round.
#pragma once

#include "imaging/picture_buffer.h"
#include "viewer/channel_table.h"
#include "viewer/glass_options.h"
#include "viewer/image_control.h"
#include "viewer/picture_loader.h"
#include "viewer/viewer_geometry.h"
#include "viewer/working_picture.h"

#include <QImage>
#include <QWidget>

class QLabel;

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class PageViewer : public QWidget
{
    Q_OBJECT

public:
    // The white margin of the panel around the picture area.
    static constexpr int BorderWidth = 20;

    explicit PageViewer(QWidget* parent = nullptr, const GlassOptions* options = nullptr);
    ~PageViewer() override;

    // Where the glass reads its diameter, border colour and use-border choice from; not
    // owned; null gives 100, black and no border. Takes effect at the next ApplySettings
    // (diameter, colour) or glass redraw (use-border).
    void SetGlassOptions(const GlassOptions* options);

    // The file becomes the new source picture and is shown; false (pictures and display
    // unchanged, scale values reset) when there is no picture in it. A large picture's full
    // picture may still be on its way when this returns.
    bool LoadPicture(const std::string& fileName);
    // Waits until the source is the full picture (at once when it is).
    void WaitForPicture();
    bool PictureComplete() const { return complete; }
    // Decodes these pictures ahead, so that a later LoadPicture of one of them shows it at
    // once; see PictureLoader::DecodeAhead.
    void DecodeAhead(const std::vector<std::string>& fileNames);
    // Waits until the worker has nothing left to decode, abandoned work included; its last
    // notices are then waiting in the event queue (tests and benchmarks).
    void WaitForBackgroundWork() { loader.WaitIdle(); }
    // Raised when a full picture decoded behind turns out unreadable after its reduced one
    // was shown: the viewer then shows the empty picture, as after a failed load.
    std::function<void()> OnPictureLost;
    // Shows the empty picture, a white 100 x 100 one. Always true.
    bool ClearPicture();
    void ResetScale();
    void FitPicture();
    void RedrawPicture();
    // The working picture becomes the source at scale times its size. A working side over
    // WorkingPicture::MaxSide or under one pixel, or a scale that is not a positive number,
    // is refused with std::out_of_range before anything changes.
    void SetScale(double scale);
    void RotatePicture(bool clockwise);
    // SetScale(PendingInverse x WorkingScale); false when that fails.
    bool ApplyPendingScale();
    int ShownSize() const;
    void SetLightness(int amount);
    void SetContrast(int amount);
    // With exact pixels the display is the plain stretch also where it reduces; without
    // (the default) it is the working picture's area average there.
    void SetExactPixels(bool exact);
    bool ExactPixels() const { return exactPixels; }

    void ApplySettings();
    void UpdateGlass();
    // Shows in the glass what a pending step factor x would show; x must be a positive
    // number (std::invalid_argument otherwise).
    void PreviewScale(double x);
    void CenterGlassAt(int x, int y);
    // Moves the glass by (dx, dy), its centre kept inside the pane. The arrow keys do this
    // while the viewer has the focus, one pixel a press or ten with Shift, and then raise
    // OnGlassMovedByKey.
    void MoveGlassBy(int dx, int dy);
    std::function<void()> OnGlassMovedByKey;
    // The colour around the picture: white, black in full screen.
    void SetBackground(QRgb colour);
    // A short line of text in the middle of the pane, over the picture area (why a picture did
    // not load, how to open one); an empty text takes it away, and so does the next picture
    // shown.
    void SetNotice(const QString& text);
    QString Notice() const;
    void Image_mgMouseDown(const QMouseEvent& event);
    void Image_mgMouseMove(const QMouseEvent& event);
    void Image_mgMouseUp(const QMouseEvent& event);

    double WorkingScale() const { return workingScale; }
    double ShownRatio() const { return shownRatio; }
    double PendingInverse() const { return pendingInverse; }
    const Rect64& ShownRect() const { return shownRect; }
    QPoint PictureOrigin() const { return pictureOrigin; }
    int Lightness() const { return lightness; }
    int Contrast() const { return contrast; }
    int GlassDiameter() const { return glassDiameter; }
    RgbColor BorderColor() const { return borderColor; }
    QRect GlassRect() const { return glassRect; }
    const Rect64& GlassSourceRect() const { return glassSourceRect; }
    bool Dragging() const { return dragging; }

    // The full picture's size, known before its pixels are.
    QSize SourceSize() const { return pictureSize; }
    QSize WorkingSize() const { return working.Size(); }
    // The full source picture; waits for it.
    const QImage& SourcePicture();
    const WorkingPicture& Working() const { return working; }
    const QImage& DisplayPicture() const { return display; }
    const QImage& GlassPicture() const { return glass; }

    // The components, by their names. The main window may set Image1's mouse-down and
    // double-click handlers and take over Image_mg's mouse-move handler (calling
    // Image_mgMouseMove from its own).
    QWidget* Panel1;
    ImageControl* Image1;
    ImageControl* Image_mg;
    QLabel* Label_notice;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // picture (full or reduced, of a full picture of size) becomes the source and is shown;
    // averaged, when given, is its area average into the rectangle averagedInto of the pane,
    // made ahead.
    void showPicture(QImage picture, QSize size, bool isComplete, QImage averaged = {},
                     QRect averagedInto = {});
    // The stretched picture becomes averaged when it is what the display would make now.
    void adoptAveraged(QImage averaged, QRect into);
    // The full picture decoded behind has arrived (null: it could not be decoded).
    void finishPicture(QImage full);
    void takeFullPicture();
    // The glass drawn again where it stands, from the source when it is the full picture.
    void drawGlass();
    // The same, with the preview of a pending step where one is shown: a new pane size or
    // place keeps the step and its preview together.
    void redrawGlassKeepingPreview();
    // The glass's top-left in the display picture's device pixels. Qt paints each child at its
    // position in the window times the pixel ratio, rounded; the display and the glass are
    // placed by the same rule, so that the glass lies on the display's pixels where it is seen.
    QPoint glassInArea() const;
    QPoint deviceInWindow(const QWidget* widget) const;
    void ComputeGlassSource();
    // The glass shows sourceRect of the working picture stretched into its disc (1:1 for a
    // d x d rectangle), and the display picture beneath it elsewhere.
    void ComposeGlass(const Rect64& sourceRect);
    // The glass's pixels beyond the working picture take the background colour.
    void fillBeyondPicture(const Rect64& sourceRect);
    void DrawGlassBorder();
    // Redraws the glass's surroundings from the display picture beneath, keeping its disc.
    void composeFromScratch();
    void refreshGlassSurround();
    void placeChildren();
    // The pictures are made for the screen's pixel ratio: the fit, the display and the glass
    // count the pane's device pixels, and the image controls draw them 1:1. At a ratio of 1
    // device and logical pixels are the same.
    void followPixelRatio();
    int toDevice(int logical) const;
    QSize toDevice(QSize logical) const;

    const GlassOptions* options;

    // The source picture's memory; rotations turn it in place.
    PictureSlot pictureSlot;
    QImage source;
    QSize pictureSize;
    // False while source is a reduced picture standing in for the full one.
    bool complete = true;
    WorkingPicture working;
    QImage display;
    // The picture as stretched into the shown rectangle, before the amounts; valid
    // while its key holds.
    struct StretchKey
    {
        std::uint64_t generation = 0;
        Rect64 shownRect;
        QSize area;
        bool smooth = false;
        bool operator==(const StretchKey&) const = default;
    };
    QImage stretched;
    StretchKey stretchedKey;
    // The stretched picture is the area average of a reduced decode with at least the shown
    // rectangle's pixels: what the full picture would give, so it stays when that arrives.
    bool stretchedFromReduced = false;
    bool exactPixels = false;
    // Counts the source pictures: a new or turned picture invalidates the stretched one.
    std::uint64_t sourceGeneration = 1;
    ChannelTable channels {0, 0};
    QImage glass;
    QImage glassScratch;
    std::vector<GlassRow> glassDisc;
    std::vector<int> beneathColumns;
    std::vector<int> beneathRows;
    bool glassHasBorder = false;

    qreal pixelRatio = 1;
    double workingScale = 1.0;
    double shownRatio = 1.0;
    double pendingInverse = 1.0;
    // The step factor the glass previews; 0 while it shows no preview.
    double previewFactor = 0;
    Rect64 shownRect;
    QPoint pictureOrigin {BorderWidth, BorderWidth};
    int lightness = 0;
    int contrast = 0;
    int glassDiameter = DefaultGlassDiameter;
    RgbColor borderColor = DefaultGlassBorderColor;
    QRect glassRect;
    Rect64 glassSourceRect;
    bool dragging = false;
    QPoint dragStart;
    QRgb background = 0xFFFFFFFFu;
    // The focus came by the keyboard, so the panel shows it with a frame.
    bool showFocus = false;
    // Last, so that its worker has stopped before anything else here goes.
    PictureLoader loader;
};
