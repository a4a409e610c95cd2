// The magnification indicator: three bars comparing the real picture size, the size the
// viewer shows and the size the glass shows, the relative magnification in per cent, and
// the controls that step, apply and reset the magnification. The stepping itself belongs
// to the main window; this frame reports its buttons and spin arrows as signals.
#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QToolButton;
class ShapeBar;

class MagnificationIndicator : public QWidget
{
    Q_OBJECT

public:
    // The full length of a bar, for the largest of the three sizes.
    static constexpr int BarLength = 140;

    explicit MagnificationIndicator(QWidget* parent = nullptr);

    // A pending step shows as hatched bars and an enabled "Apply".
    void SetPending(bool on);
    bool Pending() const { return pending; }
    // The bars for the three sizes, each relative to the largest, and the magnification of
    // the glass over the viewer as the ratio of their bars.
    void UpdateIndicator(int real, int magnifier, int shown);

    QGroupBox* GroupBox1;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label1;
    QLabel* Label_absolute;
    ShapeBar* Shape_original;
    ShapeBar* Shape_shown;
    ShapeBar* Shape_mg;
    QWidget* SpinButton1;
    QToolButton* SpinButton1Up;
    QToolButton* SpinButton1Down;
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton2;

signals:
    void ScaleUpClick();
    void ScaleDnClick();
    void SetDefaultClick();
    void ApplyClick();

private:
    bool pending = false;
};
