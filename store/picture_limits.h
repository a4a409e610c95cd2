// The largest picture the program will hold: every decoder refuses a larger one before it
// allocates anything big, so that a broken or hostile file cannot exhaust memory. Plain C++
// (long long is the type of qint64), so that the metafile player below imaging can use it.
#pragma once

// 2 GiB of RGB32 pixels.
constexpr long long MaxPictureBytes = 1LL << 31;

// True when a width x height picture is not empty and its RGB32 pixels fit MaxPictureBytes.
constexpr bool FitsPictureLimit(long long width, long long height)
{
    return width > 0 && height > 0 && width <= MaxPictureBytes / 4
        && height <= MaxPictureBytes / 4 / width;
}

// The largest picture, in RGB32 bytes, of a file whose pixels are coded in runs when its
// data are too short to draw it (a two-byte run draws at most 255 pixels): a few bytes of
// header would otherwise ask for gigabytes of white. The bound Qt's reader gave such
// bitmaps, and the one a metafile's bitmap is held to.
constexpr long long MaxSparsePictureBytes = 256LL << 20;
