// JPEG pictures through libjpeg with its default decompression settings: full size, accurate
// DCT. Grayscale, YCbCr, RGB, CMYK and YCCK files all give RGB32.
#pragma once

#include "imaging/graphic.h"

class JpegGraphic final : public Graphic
{
public:
    bool Read(const std::string& fileName) override;
    QImage ToBitmap() override;

private:
    QImage picture;
};
