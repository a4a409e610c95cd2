// Device-independent bitmaps and icons through Qt's own readers, the format fixed by the
// extension: a file whose content is of another type is not read at all.
#pragma once

#include "imaging/graphic.h"

#include <QByteArray>

class ReaderGraphic final : public Graphic
{
public:
    // format: Qt's name of the reader ("bmp", "ico"). With largestImage, a file holding
    // several images (an icon's sizes) gives its largest one.
    ReaderGraphic(QByteArray format, bool largestImage);

    bool Read(const std::string& fileName) override;
    QImage ToBitmap() override;

private:
    QByteArray format;
    bool largestImage;
    QImage picture;
};
