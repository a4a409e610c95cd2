// SVG drawings through librsvg, drawn at the size the drawing gives itself.
//
// A drawing is drawn in a process of its own: librsvg and cairo cannot be stopped inside one
// call, and one path of a few thousand crossing segments keeps them busy for minutes. The
// process is this program started again (see svg_graphic.cpp), with a limit on its processor
// time (the work budget) and on its memory; it is killed when the drawing is no longer
// wanted, and a drawing over its budget fails as a damaged file does. librsvg is loaded only
// there, so a start of the program never pays for it.
//
// A drawing may use only what it holds itself: librsvg is given the bytes without a base
// address, so it refuses every reference but a data: URL (file:, http:, relative paths,
// XInclude), without opening it.
#pragma once

#include "imaging/reduced_picture.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>

// The processor time one drawing may take, in seconds.
constexpr int DrawingSeconds = 5;

// The drawing at its own size (its width and height, else its view box, at 96 dots an inch)
// on white; null when it gives no size, when that size is over the picture limit, when the
// file is not a drawing librsvg reads, or when drawing it takes more than its budget.
QImage ReadSvgFile(const std::string& fileName);

// ReadSvgFile that asks keepGoing every few hundredths of a second while the drawing is made
// and between the rows it hands over; false stops the drawing at once, and gives null.
QImage ReadSvgFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing);

// The size ReadSvgFile draws the drawing at; invalid when it gives none.
QSize ReadSvgSize(const std::string& fileName);

// A drawing's first look: white standing in at its size while it is drawn behind, since a
// drawing may take seconds and its drawing cannot be stopped on the thread that shows it.
// Null when the drawing tells no size.
ReducedPicture ReadSvgStandIn(const std::string& fileName, QSize area);

// The memory a drawing of that size takes: our picture and the drawing process's own
// (its picture and the libraries it loads). -1 for an invalid size.
std::int64_t SvgDecodeBytes(QSize size);

// Sets the work budget of the drawings that follow (DrawingSeconds unless set): the fuzz
// search sets less, so that a drawing over it ends within its time for one input.
void SetDrawingSeconds(int seconds);
