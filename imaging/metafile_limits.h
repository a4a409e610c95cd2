// The bounds a metafile is played within, so that no file can make the player take
// unbounded memory or time.
#pragma once

#include <QtGlobal>

// Whether a picture of w x h pixels fits in memory as RGB32: at most 2 GiB of pixels.
inline bool MetafileSizeFits(qint64 w, qint64 h)
{
    constexpr qint64 limitBytes = qint64(2) << 30;
    return w > 0 && h > 0 && w <= limitBytes / 4 && h <= limitBytes / 4 / w;
}

// More object slots than a 16-bit WMF can name; EMF files asking for more are refused.
constexpr int maxMetafileObjects = 65536;
// Saved device-context states kept at once; deeper saves are ignored like a failing SaveDC.
constexpr int maxSavedStates = 1024;
