// Device-independent bitmaps (BMP, DIB) and icons (ICO) read from their files: the pixels
// are decoded by metafile/dib (the decoder the metafile player's bitmaps go through too),
// a picture's alpha is composited onto white, an icon's entry is chosen and its mask
// applied. A PNG inside an icon goes to Qt's PNG reader.
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
