// The program's drawings (emblem, glass illustration) are SVG resources; a window shows one
// as a picture of the size it was laid out for.
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

// The resource drawn into a transparent picture of size.
QPixmap SvgPicture(const QString& resource, QSize size);
