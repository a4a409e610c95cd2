// JPEG pictures through libjpeg.
#pragma once

#include "imaging/reduced_picture.h"

#include <QImage>
#include <QSize>

#include <functional>
#include <string>

// The picture of a JPEG file with libjpeg's default decompression settings: full size,
// accurate DCT. Grayscale, YCbCr, RGB, CMYK and YCCK files all give RGB32. Null when the file
// holds no readable JPEG.
QImage ReadJpegFile(const std::string& fileName);

// ReadJpegFile for a decode that may be given up: keepGoing is asked between rows (and
// between the scans of a progressive file), and once it says false the decode stops there
// and gives a null picture.
QImage ReadJpegFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing);

// The picture's size from the file's header, without decoding it; invalid when the file
// holds no readable JPEG header.
QSize ReadJpegSize(const std::string& fileName);

// A first look at a large JPEG: the picture decoded at the smallest of libjpeg's reduced
// scales (1/8 .. 1/2) that still covers the picture fitted into area (never enlarged), in
// less time and far less memory than the full decode. Fast rather than exact: the caller
// shows it until the full picture is there. Only pictures of 8 MP and more are reduced.
ReducedPicture ReadJpegReduced(const std::string& fileName, QSize area);
