// The display's brightness and contrast control: two gradient strips, each with a round
// marker that snaps to 11 positions standing for -5 to +5. A value is read from where its
// marker stands and reported when the user lets go of the marker or clicks the strip's
// caption, or at once when the arrow keys step a marker that has the focus. The frame
// remembers the values last reported or placed, so that a change of size, which moves the
// markers, keeps both.
#pragma once

#include <QWidget>

#include <functional>

class QGroupBox;
class QKeyEvent;
class QLabel;

class BrightnessContrastBar : public QWidget
{
    Q_OBJECT

public:
    explicit BrightnessContrastBar(QWidget* parent = nullptr);

    // Snap the marker to its step grid and return its value; nothing is reported.
    int SnapBrightness();
    int SnapContrast();
    // Place the marker for Value, then snap it; nothing is reported.
    void SetBrightnessPosition(int Value);
    void SetContrastPosition(int Value);
    // Place the marker for 0 and report the value it then stands for.
    void ResetBrightness();
    void ResetContrast();
    // Sets the steps from the strips' new width; both values stay as they were.
    void FrameResize();

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Image1;
    QLabel* Image2;
    QWidget* Shape_br;
    QWidget* Shape_cn;

    std::function<void(int Value)> OnBrightnessChange;
    std::function<void(int Value)> OnContrastChange;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The arrow keys step a marker and report its value at once; 0 resets it. False for
    // the keys it leaves alone.
    bool MarkerKeyDown(QWidget* Marker, const QKeyEvent& Event);
    void Label1Click();
    void Label2Click();
    void Shape_brMouseDown(int X);
    void Shape_brMouseMove(int X);
    void Shape_brMouseUp();
    void Shape_cnMouseDown(int X);
    void Shape_cnMouseMove(int X);
    void Shape_cnMouseUp();

    int GrabX = 0;
    bool DraggingBrightness = false;
    bool DraggingContrast = false;
    int BrightnessStep = 1;
    int ContrastStep = 1;
    int Brightness = 0;
    int Contrast = 0;
};
