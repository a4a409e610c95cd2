// Device-independent bitmaps (BMP, DIB) and icons (ICO), decoded here from the format's
// definition so that every pixel is exact: all header kinds (OS/2 and Windows, up to the
// 124-byte one), both row orders, 1 to 32 bits a pixel, colour tables, bit-field channels
// and run-length coding. A PNG inside an icon goes to Qt's PNG reader.
#pragma once

#include "imaging/graphic.h"

class BitmapGraphic final : public Graphic
{
public:
    bool Read(const std::string& fileName) override;
    QImage ToBitmap() override;

private:
    QImage picture;
};

// An icon gives the entry of the largest size, among those the one with the most colours.
class IconGraphic final : public Graphic
{
public:
    bool Read(const std::string& fileName) override;
    QImage ToBitmap() override;

private:
    QImage picture;
};
