// A decoder object: reads one picture file and gives the picture as a plain bitmap. The
// loader makes one per load and drops it before it returns.
#pragma once

#include <QImage>

#include <string>

class Graphic
{
public:
    Graphic() = default;
    virtual ~Graphic();
    Graphic(const Graphic&) = delete;
    Graphic& operator=(const Graphic&) = delete;

    // Reads the picture in the file; false (or an exception) when it cannot be read.
    virtual bool Read(const std::string& fileName) = 0;

    // The picture read as an RGB32 bitmap of its own size with the picture at (0, 0), white
    // where the picture draws nothing; a null QImage when that fails. Called once, after a
    // successful Read.
    virtual QImage ToBitmap() = 0;
};

// The decoder of a raster format: Read decodes the whole picture with the format's reading
// function (which gives a null picture when the file holds none), ToBitmap hands it over.
class RasterGraphic final : public Graphic
{
public:
    using ReadFile = QImage (*)(const std::string& fileName);

    explicit RasterGraphic(ReadFile readFile)
        : read(readFile)
    {
    }

    bool Read(const std::string& fileName) override
    {
        picture = read(fileName);
        return !picture.isNull();
    }
    QImage ToBitmap() override { return std::move(picture); }

private:
    ReadFile read;
    QImage picture;
};

// image with its transparent parts composited onto white, as RGB32; 32-bit pixels are
// changed in place, without a second copy of the picture.
QImage FlattenOnWhite(QImage image);

// One non-premultiplied ARGB pixel composited onto white, rounded to the nearest value.
QRgb OnWhite(QRgb argb);
