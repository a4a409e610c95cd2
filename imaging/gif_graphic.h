// GIF pictures (GIF87a and GIF89a) through giflib: the first frame, drawn at its place on
// the logical screen, which gives the bitmap's size; transparent and uncovered pixels white.
#pragma once

#include "imaging/graphic.h"

class GifGraphic final : public Graphic
{
public:
    bool Read(const std::string& fileName) override;
    QImage ToBitmap() override;

private:
    QImage picture;
};
