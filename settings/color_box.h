#pragma once

#include "store/text_helpers.h"

#include <QComboBox>

// The drop-down list of the 16 standard colours, each drawn as a swatch with its name. The
// colour value is kept apart from the list: a value that is none of the 16 stays the value,
// with no entry selected, until the user picks one.
class ColorBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ColorBox(QWidget* parent = nullptr);

    RgbColor Color() const { return color_; }
    void SetColor(RgbColor color);

    // The 16 colours in list order (Black ... White), red in the lowest byte.
    static const RgbColor StandardColors[16];

private:
    RgbColor color_ = 0;
};
