// Fresh bitmaps for decoders that write every pixel themselves.
#pragma once

#include <QImage>

// An RGB32 bitmap whose contents are undefined, or a null QImage when the size is outside
// FitsPictureLimit or there is no memory. Never throws.
//
// A large decoded picture costs as much in page faults as in decoding when its memory is
// touched for the first time in 4 KiB pages; on Linux the pixels get their own mapping with
// transparent huge pages asked for, given back to the system when the last QImage sharing
// them goes.
QImage NewPictureBitmap(int width, int height);
