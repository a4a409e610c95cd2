// The device context that both metafile formats play their records into: the object table,
// the saved states, the mapping from logical to device coordinates, pens, brushes, fonts,
// text alignment, background mode, ROP2, polygon fill mode, clipping and paths. Records
// give logical coordinates; everything is drawn with a QPainter over the output picture in
// its own pixels, aliased, as the platform's device draws.
#pragma once

#include "metafile/metafile_limits.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <QString>
#include <QTransform>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

// The colour of a COLORREF (red in the lowest byte).
QColor MetafileColor(std::uint32_t colorRef);

struct MetafilePen
{
    std::uint32_t style = 0; // PS_* style, end cap, join and type bits
    double width = 0; // logical units; 0 draws one pixel
    QColor color = Qt::black;
    bool extended = false; // from ExtCreatePen: cosmetic pens stay one pixel, dashes scale
    std::vector<double> userDashes; // PS_USERSTYLE lengths, logical units
};

struct MetafileBrush
{
    std::uint32_t style = 0; // BS_*
    QColor color = Qt::white;
    std::uint32_t hatch = 0; // HS_*
    QImage pattern; // BS_PATTERN / BS_DIBPATTERN
    // A two-colour pattern whose 0 bits take the text colour and 1 bits the background
    // colour current when it paints.
    bool monochrome = false;
};

struct MetafileFont
{
    double height = 0; // < 0: character height, > 0: cell height, 0: the default size
    double width = 0; // average character width, 0: the face's own
    double escapement = 0; // tenths of a degree, counter-clockwise
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t pitchAndFamily = 0; // picks the substitute for a face that is not installed
    std::uint8_t charset = 1; // DEFAULT_CHARSET: how byte text and the face name are read
    QString faceName;
};

struct MetafilePalette
{
};

// What a damaged object-creating record leaves in its slot: the slot is taken, as the
// platform takes it, so that later indices stay right; selecting it changes nothing.
struct MetafileUnusable
{
};

// Rectangles in the units the record gave them (logical for WMF, device for EMF).
struct MetafileRegion
{
    QRegion region;
};

using MetafileObject = std::variant<MetafilePen, MetafileBrush, MetafileFont, MetafilePalette,
                                    MetafileRegion, MetafileUnusable>;

struct MetafileState
{
    MetafilePen pen;
    MetafileBrush brush;
    MetafileFont font;
    QColor textColor = Qt::black;
    QColor bkColor = Qt::white;
    int bkMode = 2; // OPAQUE
    std::uint32_t textAlign = 0;
    int rop2 = 13; // R2_COPYPEN
    int polyFillMode = 1; // ALTERNATE
    int mapMode = 1; // MM_TEXT
    QPointF windowOrg {0, 0};
    QPointF windowExt {1, 1};
    // The records gave the window an extent that is still in force: kept in the text mode
    // too, where it does not scale, because it says what a logical frame shows.
    bool windowExtSet = false;
    QPointF viewportOrg {0, 0};
    QPointF viewportExt {1, 1};
    QTransform world;
    QPointF current;
    bool clipped = false;
    QRegion clip; // output pixels
    int arcDirection = 1; // AD_COUNTERCLOCKWISE
    double charExtra = 0;
    double miterLimit = 10; // miter length over line width
};

enum class ArcKind { Arc, Chord, Pie, ArcTo };

class MetafileDC
{
public:
    // deviceToOutput maps the metafile's device pixels onto the output picture;
    // pixelsPerMm is the device's resolution, used by the metric and English mapping modes.
    MetafileDC(QImage& output, const QTransform& deviceToOutput, QPointF pixelsPerMm,
               int objectSlots);
    MetafileDC(const MetafileDC&) = delete;
    MetafileDC& operator=(const MetafileDC&) = delete;

    MetafileState& state() { return current; }

    // Measuring instead of drawing: nothing is painted, and drawnBox collects the box, on
    // the device, of everything the records would draw.
    void measureOnly() { measuring = true; }
    QRectF drawnBox() const { return drawn; }

    // Work done outside the drawing calls (records read, bitmaps decoded) charged to the
    // playback's budget; false once it is spent, and then nothing more is drawn.
    bool spend(double work);
    bool exhausted() const { return spent > budget; }

    void saveState();
    void restoreState(int which);

    // Objects: WMF puts each new object in the lowest free slot, EMF names the slot.
    void addObject(MetafileObject object);
    void setObject(std::uint32_t index, MetafileObject object);
    const MetafileObject* object(std::uint32_t index) const;
    void deleteObject(std::uint32_t index);
    // Makes the object current: pen, brush or font; a region becomes the clipping region
    // (given in logical units when regionIsLogical). False when the slot holds nothing.
    bool selectObject(std::uint32_t index, bool regionIsLogical);
    void selectStockObject(std::uint32_t stock);

    // For a picture whose frame is given in the records' logical units (a metafile without
    // its own device): the mapping from the device onto the output picture is fixed when a
    // record first maps a coordinate (drawing, clipping, a region, a pen's width), so that
    // the page mapping the records set up by then, window and viewport alike, takes the
    // frame onto the whole output of outputSize pixels. A window the records set up by then
    // is the frame instead: what they draw is in its units, whatever units the frame was
    // given in.
    void setLogicalFrame(const QRectF& frame, QSizeF outputSize);

    // Mapping: window and viewport extents scale only in the isotropic and anisotropic
    // modes, as on the platform; a window extent given in the text mode before the frame is
    // fixed still maps onto the frame, as it does under the scalable mode the player of
    // such a file sets up.
    void setMapMode(int mode);
    void setWindowExt(QPointF ext);
    void setViewportExt(QPointF ext);
    bool setWorldTransform(const QTransform& transform);
    QTransform toOutput() const;

    // Lines and shapes, in logical coordinates.
    void moveTo(QPointF point);
    void lineTo(QPointF point);
    void polyline(const QPolygonF& points);
    void polylineTo(const QPolygonF& points);
    void polygons(const std::vector<QPolygonF>& polygons);
    void polyBezier(const QPolygonF& points, bool fromCurrent);
    void polyDraw(const QPolygonF& points, const std::vector<std::uint8_t>& types);
    void rectangle(const QRectF& box);
    void ellipse(const QRectF& box);
    void roundRect(const QRectF& box, QSizeF corner);
    void arc(ArcKind kind, const QRectF& box, QPointF start, QPointF end);
    void angleArc(QPointF center, double radius, double startAngle, double sweepAngle);
    void setPixel(QPointF point, const QColor& color);

    // Text at a logical reference point, with optional advances (logical units) per
    // character and the ETO_* options with their rectangle.
    void text(QPointF reference, const QString& text, const std::vector<double>& advances,
              std::uint32_t options, const std::optional<QRectF>& rect);

    // Bitmaps: source (in the image's own top-down pixels) stretched into the logical
    // destination rectangle (negative sizes mirror), with a ternary raster operation.
    void drawImage(const QImage& image, const QRectF& source, const QRectF& destination,
                   std::uint32_t rop, double opacity = 1.0);
    // The source rectangle placed by sourceToLogical, which maps the rectangle's own
    // coordinates (its top-left at 0, 0) to logical ones: a parallelogram in general.
    void drawImageMapped(const QImage& image, const QRectF& source,
                         const QTransform& sourceToLogical, std::uint32_t rop,
                         double opacity = 1.0);
    // Draws the image unstretched with its top-left at the logical point.
    void drawImageAt(const QImage& image, const QRectF& source, QPointF destination,
                     std::uint32_t rop);
    void patBlt(const QRectF& box, std::uint32_t rop);
    // A logical rectangle shaded from one colour to the other, left to right or top down.
    void gradientRect(const QRectF& box, const QColor& from, const QColor& to, bool vertical);
    // A logical triangle shaded between the colours of its corners.
    void shadedTriangle(const QPolygonF& corners, const QColor (&colors)[3]);

    // Regions are in logical units for WMF and device units for EMF.
    QRegion regionToOutput(const QRegion& region, bool regionIsLogical) const;
    void fillRegion(const QRegion& outputRegion, const MetafileBrush& brush);
    void frameRegion(const QRegion& outputRegion, const MetafileBrush& brush, QSizeF logical);
    void invertRegion(const QRegion& outputRegion);

    // Clipping
    void intersectClipRect(const QRectF& box);
    void excludeClipRect(const QRectF& box);
    // RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY; a null region with RGN_COPY unclips.
    void combineClip(const std::optional<QRegion>& outputRegion, int mode);
    void offsetClip(QPointF logicalOffset);

    // Paths
    void beginPath();
    void endPath() { pathOpen = false; }
    void abortPath();
    void closeFigure();
    void fillPath(bool stroke, bool fill);
    void selectClipPath(int mode);

private:
    QTransform pageTransform() const;
    double xScale() const;
    double yScale() const;
    QPen outputPen() const;
    QBrush outputBrush(const MetafileBrush& brush) const;
    bool beginPaint(); // clip, raster operation and background; false for R2_NOP
    void paint(const QPainterPath& outputPath, bool fill, bool stroke);
    void shape(const QPainterPath& outputPath, bool fill);
    QRectF boxToOutput(const QRectF& box, QTransform& rest) const;

    void fixFrame() const;
    // Whether a drawing covering outputArea (output pixels) may be painted, at cost pixels
    // of work for each pixel of it on the picture; false when measuring (after noting the
    // area) or when the budget is spent.
    bool admit(const QRectF& outputArea, double cost = 1);

    QImage& image;
    QPainter painter;
    mutable QTransform deviceToOutput;
    mutable std::optional<std::pair<QRectF, QSizeF>> pendingFrame;
    QPointF pixelsPerMm;
    MetafileState current;
    std::vector<MetafileState> saved;
    std::vector<std::optional<MetafileObject>> objects;
    std::size_t firstFree = 0; // no free slot lies below it
    bool pathOpen = false;
    QPainterPath path; // output pixels
    bool measuring = false;
    QRectF drawn;
    double budget;
    double spent = 0;
};
