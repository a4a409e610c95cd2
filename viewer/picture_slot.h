// Pixel memory for the viewer's one large picture.
//
// The picture is turned inside this memory, so a quarter turn never needs a second copy of
// a 96 MB picture alongside the first. A picture far smaller than the memory held gets
// memory of its own size, so a small picture after a large one gives the large block back.
#pragma once

#include <QImage>

#include <cstdlib>
#include <memory>

class PictureSlot
{
public:
    // An RGB32 picture of width x height over this slot's memory, its pixels undefined; a
    // null picture for an empty size. The memory is kept when it is large enough and not
    // more than four times too large. The picture does not own the memory: it is valid until
    // the next Shape, Adopt, Turn or Release of this slot.
    QImage Shape(int width, int height);

    // The slot takes image's memory over (converting it to RGB32 first if it is not, copying
    // it if it is shared) and gives the picture as Shape does.
    QImage Adopt(QImage image);

    // Turns the slot's picture a quarter turn in its own memory and gives the turned one.
    QImage Turn(bool clockwise);

    // Gives the memory back.
    void Release();

private:
    struct FreeDeleter
    {
        void operator()(void* p) const { std::free(p); }
    };

    std::unique_ptr<void, FreeDeleter> allocated;
    QImage adopted;
    uchar* data = nullptr;
    qsizetype capacity = 0;
    int shapeWidth = 0;
    int shapeHeight = 0;
};
