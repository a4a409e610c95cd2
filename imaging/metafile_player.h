// Our own player for Windows metafiles (WMF) and enhanced metafiles (EMF): the picture at
// the size in pixels that the file reports, white where the metafile paints nothing.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// The size a WMF reports: from a placeable header its frame at 96 pixels per inch, else its
// window extent. An empty size when the header is bad or the size is over the limit.
QSize WindowsMetafileSize(const QByteArray& bytes);

// The WMF played onto a white RGB32 picture of WindowsMetafileSize; null when the header is
// bad, the size over the limit or the drawing past its work budget (metafile_limits.h). A record
// whose contents are damaged is left out; one whose size runs past the end of the file ends the
// drawing with what came before.
QImage PlayWindowsMetafile(const QByteArray& bytes);

// The size an EMF reports: its frame (0.01 mm) at its reference device's resolution.
QSize EnhancedMetafileSize(const QByteArray& bytes);

// The EMF played like PlayWindowsMetafile.
QImage PlayEnhancedMetafile(const QByteArray& bytes);
