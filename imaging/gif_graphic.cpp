#include "imaging/gif_graphic.h"

#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>

namespace {

constexpr std::uint32_t white = 0xFFFFFFFFu;
// Indices beyond the colour table's end draw black, as most viewers do.
constexpr std::uint32_t missingColour = 0xFF000000u;

struct GifCloser
{
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

using GifPointer = std::unique_ptr<GifFileType, GifCloser>;

int readFromFile(GifFileType* gif, GifByteType* buffer, int length)
{
    return static_cast<int>(std::fread(buffer, 1, static_cast<std::size_t>(length),
                                       static_cast<std::FILE*>(gif->UserData)));
}

// Reads up to the first frame's descriptor, keeping the transparent index of the graphic
// control block that precedes it (-1 for none). False when the file ends or is damaged first.
bool findFirstFrame(GifFileType* gif, int* transparent)
{
    *transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) != GIF_OK)
            return false;
        if (type == IMAGE_DESC_RECORD_TYPE)
            return DGifGetImageDesc(gif) == GIF_OK;
        if (type != EXTENSION_RECORD_TYPE)
            return false;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) != GIF_OK)
            return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && block) {
            GraphicsControlBlock control;
            if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                *transparent = control.TransparentColor;
        }
        while (block) {
            if (DGifGetExtensionNext(gif, &block) != GIF_OK)
                return false;
        }
    }
}

// The frame's colour table (its own, else the screen's) as RGB32 pixels; the transparent
// index is white, which is what an undrawn pixel shows.
std::array<std::uint32_t, 256> framePalette(const GifFileType* gif, int transparent)
{
    std::array<std::uint32_t, 256> palette;
    palette.fill(missingColour);
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    if (map && map->Colors) {
        const int count = std::clamp(map->ColorCount, 0, 256);
        for (int i = 0; i < count; ++i) {
            const GifColorType& c = map->Colors[i];
            palette[static_cast<std::size_t>(i)] = 0xFF000000u | (std::uint32_t {c.Red} << 16)
                | (std::uint32_t {c.Green} << 8) | c.Blue;
        }
    }
    if (transparent >= 0 && transparent < 256)
        palette[static_cast<std::size_t>(transparent)] = white;
    return palette;
}

// Row index in the frame of the n-th row stored: interlaced frames store every 8th row from
// 0, every 8th from 4, every 4th from 2, then every 2nd from 1.
std::vector<int> rowOrder(int height, bool interlaced)
{
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            order.push_back(y);
        return order;
    }
    constexpr int starts[] = {0, 4, 2, 1};
    constexpr int steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = starts[pass]; y < height; y += steps[pass])
            order.push_back(y);
    return order;
}

QImage decodeFirstFrame(GifFileType* gif)
{
    const int screenWidth = gif->SWidth;
    const int screenHeight = gif->SHeight;
    if (!FitsPictureLimit(screenWidth, screenHeight))
        return {};
    int transparent = NO_TRANSPARENT_COLOR;
    if (!findFirstFrame(gif, &transparent))
        return {};
    const GifImageDesc& frame = gif->Image;
    if (frame.Left < 0 || frame.Top < 0 || frame.Width < 0 || frame.Height < 0)
        return {};

    QImage bitmap = NewPictureBitmap(screenWidth, screenHeight);
    if (bitmap.isNull())
        return {};
    // The columns of the frame that lie on the screen, none when the frame starts beyond its
    // right edge; the rest of the screen stays white.
    const int left = frame.Left;
    const int right = static_cast<int>(
        std::min<std::int64_t>(std::int64_t {frame.Left} + frame.Width, screenWidth));
    if (left != 0 || right != screenWidth || frame.Top != 0 || frame.Height < screenHeight)
        bitmap.fill(white);

    const std::array<std::uint32_t, 256> palette = framePalette(gif, transparent);
    const std::uint32_t* colours = palette.data();
    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
    for (int y : rowOrder(frame.Height, frame.Interlace)) {
        const std::int64_t screenY = std::int64_t {frame.Top} + y;
        // A frame stored top to bottom has nothing more to show once a row is below the
        // screen: the rest is not decoded (a tall frame on a small screen costs nothing).
        if (screenY >= screenHeight && !frame.Interlace)
            break;
        if (frame.Width > 0 && DGifGetLine(gif, line.data(), frame.Width) != GIF_OK)
            return {};
        if (screenY >= screenHeight || left >= right)
            continue;
        auto* out = reinterpret_cast<std::uint32_t*>(bitmap.scanLine(static_cast<int>(screenY)));
        const GifPixelType* in = line.data();
        for (int x = left; x < right; ++x)
            out[x] = colours[*in++];
    }
    return bitmap;
}

// What read gives of the GIF giflib opens from the file; Result() when it is no GIF.
template<typename Result, typename Read> Result readGif(const std::string& fileName, Read read)
{
    PictureFile source(fileName);
    const PictureStream file = source.stream();
    if (!file)
        return {};
    int error = 0;
    const GifPointer gif(DGifOpen(file.get(), readFromFile, &error));
    if (!gif)
        return {};
    return read(gif.get());
}

} // namespace

QImage ReadGifFile(const std::string& fileName)
{
    return readGif<QImage>(fileName, decodeFirstFrame);
}

QSize ReadGifSize(const std::string& fileName)
{
    return readGif<QSize>(fileName,
                          [](const GifFileType* gif) { return QSize(gif->SWidth, gif->SHeight); });
}
