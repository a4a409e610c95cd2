// SVG drawings through Qt SVG, rendered at the size the drawing gives itself.
#pragma once

#include <QImage>

#include <string>

// The drawing at its own size (its width and height, else its view box) on white; null when
// it gives no size, when that size is over the picture limit, or when the file is not a
// drawing Qt SVG reads.
QImage ReadSvgFile(const std::string& fileName);

// The size ReadSvgFile renders the drawing at; invalid when it gives none.
QSize ReadSvgSize(const std::string& fileName);
