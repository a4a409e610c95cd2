// GIF pictures (GIF87a and GIF89a) through giflib.
#pragma once

#include <QImage>

#include <string>

// The first frame of a GIF file, drawn at its place on the logical screen, which gives the
// bitmap's size; transparent and uncovered pixels white. Null when there is none.
QImage ReadGifFile(const std::string& fileName);

// The logical screen's size, which ReadGifFile's picture has, from the header alone; invalid
// when the file is no GIF.
QSize ReadGifSize(const std::string& fileName);
