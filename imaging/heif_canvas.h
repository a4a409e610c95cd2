// The canvases that a HEIF file's composed pictures (grids of tiles, overlays) are drawn on,
// read from the file's own item tables. libheif allocates such a canvas at the size that the
// picture's description gives before it decodes a tile, and does not hold it to the size
// property it reports for the picture: a file of a few hundred bytes whose property says
// 48 x 32 can make it fill gigabytes. The loader checks both sizes.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

struct HeifCanvas
{
    long long width = 0;
    long long height = 0;
};

// The canvas of every grid and overlay item of the file in data; none when one of them cannot
// be read (its description lies outside the file, or the item tables that find it are damaged).
std::optional<std::vector<HeifCanvas>> ReadHeifCanvases(const unsigned char* data,
                                                        std::size_t size);
