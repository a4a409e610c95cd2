// Reading a picture file into a plain RGB32 bitmap, the decoder chosen by the extension alone.
#pragma once

#include <QImage>

#include <string>

// The picture in the file, RGB32 and white where the decoder draws nothing; a null QImage
// when there is none (missing file, unknown extension, unreadable content, too large).
QImage LoadImageFile(const std::string& fileName);
