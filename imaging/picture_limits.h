// The largest picture the program will hold: every decoder refuses a larger one before it
// allocates anything big, so that a broken or hostile file cannot exhaust memory.
#pragma once

#include <QtGlobal>

// 2 GiB of RGB32 pixels.
constexpr qint64 MaxPictureBytes = qint64 {1} << 31;

// True when a width x height picture is not empty and its RGB32 pixels fit MaxPictureBytes.
constexpr bool FitsPictureLimit(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= MaxPictureBytes / 4
        && height <= MaxPictureBytes / 4 / width;
}
