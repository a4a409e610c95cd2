// The one home of large picture memory.
//
// The rule: every picture above 1 MiB is a block from NewPictureBitmap, and at most one
// released block is kept for the next picture. A decoder writes its picture into such a
// block; the viewer's PictureSlot takes the decoded picture over and turns it inside the
// same block; when the slot lets it go, the block is kept for the next picture of about its
// size, and TrimKeptPictureMemory gives it back once the picture shown could not use it.
// So the program holds the picture shown, the pictures decoded ahead (within their own
// budget) and at most one kept block, never a second copy of a picture for a turn.
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

// The viewer's picture, turned in its own memory: a quarter turn of a 96 MB picture never
// needs a second 96 MB alongside.
class PictureSlot
{
public:
    // The slot takes picture's memory over (converting it to RGB32 first if it is not, copying
    // it if it is shared) and gives the picture back as a view of that memory. The view does
    // not own the memory: it is valid until the next Adopt, Turn or Release of this slot.
    QImage Adopt(QImage picture);

    // Turns the slot's picture a quarter turn in its own memory and gives the turned view.
    QImage Turn(bool clockwise);

    // Lets the memory go: a large block is kept for the next picture (see above).
    void Release();

private:
    QImage held;
    int width = 0;
    int height = 0;
};
