// Pixel memory for one large picture, kept from picture to picture.
//
// A freshly allocated 96 MB picture costs tens of milliseconds of page faults before a
// single pixel is written; a slot keeps its memory and draws the next picture of the same
// or a smaller size into it. Large blocks ask for huge pages, which cut those faults further.
#pragma once

#include <QImage>

#include <cstdlib>
#include <memory>

class PictureSlot
{
public:
    // An RGB32 picture of width x height over this slot's memory (grown when too small),
    // its pixels undefined; a null picture for an empty size. The picture does not own the
    // memory: it is valid until the next Shape, Adopt or Release of this slot.
    QImage Shape(int width, int height);

    // The slot takes image's memory over (converting it to RGB32 first if it is not) and
    // gives the picture as Shape does.
    QImage Adopt(QImage image);

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
};
