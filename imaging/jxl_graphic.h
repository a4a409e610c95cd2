// JPEG XL pictures through libjxl: the first frame, turned and mirrored as the file says.
#pragma once

#include <QImage>

#include <string>

// libjxl works on three planes of floats for the whole frame, besides the RGBA bytes it gives
// and our picture: the bytes a pixel that count against the picture limit and the memory the
// program may take.
constexpr long long JxlDecodeBytesPerPixel = 20;

// The file's first frame on white; null when there is none, when it is over the picture
// limit (reckoned with the decoder's own working memory), or when libjxl cannot decode it.
QImage ReadJxlFile(const std::string& fileName);

// The size ReadJxlFile gives, from the code stream's header without decoding; invalid when
// the file tells none.
QSize ReadJxlSize(const std::string& fileName);
