// HEIF pictures (HEIC from phones, and AVIF) through libheif: the primary picture only, turned
// and mirrored as the file says.
#pragma once

#include <QImage>

#include <string>

// The file's primary picture on white; null when there is none, when it is over the picture
// limit, or when libheif cannot decode it (no decoder for its coding among them).
QImage ReadHeifFile(const std::string& fileName);

// The size ReadHeifFile gives, from the boxes that describe the primary picture, without
// reading its coded pixels; invalid when the file tells none. decodeBytesPerPixel, when
// asked, gets what its decode takes at its peak a pixel: the decoder's frames, libheif's
// planes and RGBA picture, and ours, which count against the picture limit and the memory
// the program may take.
QSize ReadHeifSize(const std::string& fileName, long long* decodeBytesPerPixel = nullptr);
