// WebP pictures through libwebp: lossy, lossless and with alpha, an animation's first frame
// on its canvas, put upright by the file's Exif chunk and converted to sRGB from its ICC
// chunk, on white.
#pragma once

#include "imaging/reduced_picture.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <functional>
#include <string>

// The picture of a WebP file as RGB32; null when the file holds no readable WebP or the
// picture is over the picture limit.
QImage ReadWebpFile(const std::string& fileName);

// ReadWebpFile for a decode that may be given up: keepGoing is asked as the coded data is
// taken in, and once it says false the decode stops and gives a null picture.
QImage ReadWebpFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing);

// A first look at a large still picture (8 MP and more): libwebp's scaled decode to the size
// the picture is shown at in area, without its in-loop filter. Not reduced (a null picture)
// when the picture is smaller, fits the area or is animated.
ReducedPicture ReadWebpReduced(const std::string& fileName, QSize area);

// The upright size from the file's headers, and in decodeBytes the memory the decode holds
// at its peak: the file's bytes, the picture and libwebp's own (a lossless picture's whole
// ARGB plane, a lossy one's alpha plane, an animation's canvases); invalid when the headers
// tell none.
QSize ReadWebpHeader(const std::string& fileName, std::int64_t* decodeBytes);
