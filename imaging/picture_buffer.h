// Fresh bitmaps for decoders that write every pixel themselves.
#pragma once

#include <QImage>

// An RGB32 bitmap whose contents are undefined, or a null QImage when the size is outside
// FitsPictureLimit or there is no memory. Never throws.
//
// A large decoded picture costs as much in page faults as in decoding when its memory is
// touched for the first time in 4 KiB pages. So the pixels of a picture above 1 MiB get a
// block of their own (on Linux a mapping with transparent huge pages asked for), and the
// last such block released is kept (up to 512 MiB) for the next picture of about its size.
QImage NewPictureBitmap(int width, int height);

// Gives back the block kept for the next picture unless a picture of width x height could
// take it: the viewer calls it once the picture it shows is complete, so that memory fit only
// for a much larger picture than the one shown is not held, while pictures of one size in a
// row still find their memory ready.
void TrimKeptPictureMemory(int width, int height);
