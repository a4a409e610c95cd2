// Pictures that Qt's image readers decode: PNG (built into Qt), WebP and TIFF (Qt's image
// format plugins). Each reads the file's first picture only (a TIFF's first page, an
// animated WebP's first frame) and checks its size from the header before it is decoded.
#pragma once

#include <QImage>

#include <string>

class QIODevice;

// The picture that Qt's reader for format (its lower-case name, "png") finds on device,
// with its transparent parts on white, put upright as the file's orientation says and in
// sRGB when the file carries an ICC colour profile; null when the header gives no size, when
// the decoded picture and its 32-bit copy would not fit the picture limit, or when decoding
// fails. The format alone decides: content of another format is not read. The device is read
// from its position, and seeks.
QImage ReadWithImageReader(QIODevice& device, const char* format);

QImage ReadPngFile(const std::string& fileName);
QImage ReadWebpFile(const std::string& fileName);
QImage ReadTiffFile(const std::string& fileName);

// The size ReadWithImageReader gives a file of format, from its header alone; invalid when
// the header tells none. With decoding, also the memory the decode holds at its height.
QSize ReadImageReaderSize(const std::string& fileName, const char* format,
                          qint64* decoding = nullptr);
