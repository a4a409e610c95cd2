// HEIF pictures (HEIC from phones, and AVIF) through libheif: the primary picture only, turned
// and mirrored as the file says.
#pragma once

#include <QImage>

#include <string>

// libheif's RGBA picture and ours are held at once while a picture is decoded: the bytes a
// pixel that count against the picture limit and the memory the program may take.
constexpr long long HeifDecodeBytesPerPixel = 8;

// The file's primary picture on white; null when there is none, when it is over the picture
// limit, or when libheif cannot decode it (no decoder for its coding among them).
QImage ReadHeifFile(const std::string& fileName);

// The size ReadHeifFile gives, from the boxes that describe the primary picture, without
// reading its coded pixels; invalid when the file tells none.
QSize ReadHeifSize(const std::string& fileName);
