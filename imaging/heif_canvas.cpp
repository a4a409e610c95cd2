#include "imaging/heif_canvas.h"

#include <cstdint>
#include <map>
#include <string_view>

namespace {

// A stretch of the file read big-endian, every read checked against its end.
class Bytes
{
public:
    Bytes(const unsigned char* data, std::size_t size)
        : bytes(data)
        , length(size)
    {
    }

    // The next count bytes (at most 8) as a number; false once a read ran past the end.
    bool read(std::size_t count, std::uint64_t& value)
    {
        if (count > 8 || count > length - at)
            return false;
        value = 0;
        for (std::size_t i = 0; i < count; ++i)
            value = value << 8 | bytes[at++];
        return true;
    }
    bool skip(std::size_t count)
    {
        if (count > length - at)
            return false;
        at += count;
        return true;
    }
    std::size_t position() const { return at; }

private:
    const unsigned char* bytes;
    std::size_t length;
    std::size_t at = 0;
};

struct Box
{
    std::string_view type;
    std::size_t start = 0; // of the box's content, after its header
    std::size_t size = 0;
};

// The boxes one after another in data[begin, end); those of the list that run past its end
// are left out, as libheif reads no such box either.
std::vector<Box> boxesIn(const unsigned char* data, std::size_t begin, std::size_t end)
{
    std::vector<Box> boxes;
    Bytes bytes(data + begin, end - begin);
    while (true) {
        const std::size_t at = bytes.position();
        std::uint64_t size = 0;
        std::uint64_t type = 0;
        if (!bytes.read(4, size) || !bytes.read(4, type))
            break;
        if (size == 1 && !bytes.read(8, size))
            break;
        const std::size_t header = bytes.position() - at;
        if (size == 0)
            size = end - begin - at;
        if (size < header || !bytes.skip(size - header))
            break;
        boxes.push_back({std::string_view(reinterpret_cast<const char*>(data + begin + at + 4), 4),
                         begin + at + header, size - header});
    }
    return boxes;
}

// Where an item's bytes are: each extent's offset and length (0: to the end), in the file
// or, for construction method 1, in the metadata's idat box.
struct ItemLocation
{
    std::uint64_t method = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
};

bool readLocations(const unsigned char* data, const Box& iloc,
                   std::multimap<std::uint64_t, ItemLocation>& locations)
{
    Bytes bytes(data + iloc.start, iloc.size);
    std::uint64_t version = 0, sizes = 0, count = 0;
    if (!bytes.read(1, version) || !bytes.skip(3) || !bytes.read(2, sizes)
        || !bytes.read(version < 2 ? 2 : 4, count))
        return false;
    const std::size_t offsetSize = sizes >> 12, lengthSize = sizes >> 8 & 15;
    const std::size_t baseSize = sizes >> 4 & 15, indexSize = version >= 1 ? sizes & 15 : 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t id = 0, method = 0, base = 0, extents = 0;
        if (!bytes.read(version < 2 ? 2 : 4, id) || (version >= 1 && !bytes.read(2, method))
            || !bytes.skip(2) || !bytes.read(baseSize, base) || !bytes.read(2, extents))
            return false;
        ItemLocation location {method & 15, {}};
        for (std::uint64_t e = 0; e < extents; ++e) {
            std::uint64_t offset = 0, extentLength = 0;
            if (!bytes.skip(indexSize) || !bytes.read(offsetSize, offset)
                || !bytes.read(lengthSize, extentLength))
                return false;
            location.extents.emplace_back(base + offset, extentLength);
        }
        locations.emplace(id, std::move(location));
    }
    return true;
}

// The grids and overlays an item list names: their item numbers and types.
bool readComposedItems(const unsigned char* data, const Box& iinf,
                       std::vector<std::pair<std::uint64_t, std::string_view>>& items)
{
    std::uint64_t version = 0;
    Bytes header(data + iinf.start, iinf.size);
    if (!header.read(1, version) || !header.skip(3) || !header.skip(version == 0 ? 2 : 4))
        return false;
    for (const Box& infe : boxesIn(data, iinf.start + header.position(), iinf.start + iinf.size)) {
        Bytes entry(data + infe.start, infe.size);
        std::uint64_t entryVersion = 0, id = 0;
        if (infe.type != "infe" || !entry.read(1, entryVersion) || entryVersion < 2)
            continue; // an entry of the first versions has no item type
        if (!entry.skip(3) || !entry.read(entryVersion == 2 ? 2 : 4, id) || !entry.skip(2))
            return false;
        const std::size_t typeAt = entry.position();
        if (!entry.skip(4))
            return false;
        const std::string_view type(reinterpret_cast<const char*>(data + infe.start + typeAt), 4);
        if (type == "grid" || type == "iovl")
            items.emplace_back(id, type);
    }
    return true;
}

// The first count bytes of an item, gathered from its extents; false when they are not there.
bool itemStart(const unsigned char* data, std::size_t size, const Box* idat,
               const ItemLocation& location, unsigned char* into, std::size_t count)
{
    if (location.method > 1 || (location.method == 1 && !idat))
        return false;
    const unsigned char* source = location.method == 1 ? data + idat->start : data;
    const std::uint64_t sourceSize = location.method == 1 ? idat->size : size;
    std::size_t gathered = 0;
    for (const auto& [offset, extentLength] : location.extents) {
        if (gathered == count)
            break;
        if (offset > sourceSize)
            return false;
        const std::uint64_t available = extentLength == 0 ? sourceSize - offset : extentLength;
        if (available > sourceSize - offset)
            return false;
        for (std::uint64_t i = 0; i < available && gathered < count; ++i)
            into[gathered++] = source[offset + i];
    }
    return gathered == count;
}

} // namespace

std::optional<std::vector<HeifCanvas>> ReadHeifCanvases(const unsigned char* data, std::size_t size)
{
    std::vector<HeifCanvas> canvases;
    for (const Box& meta : boxesIn(data, 0, size)) {
        if (meta.type != "meta" || meta.size < 4)
            continue;
        std::vector<std::pair<std::uint64_t, std::string_view>> items;
        std::multimap<std::uint64_t, ItemLocation> locations;
        const Box* idat = nullptr;
        const std::vector<Box> children = boxesIn(data, meta.start + 4, meta.start + meta.size);
        for (const Box& child : children) {
            if ((child.type == "iinf" && !readComposedItems(data, child, items))
                || (child.type == "iloc" && !readLocations(data, child, locations)))
                return std::nullopt;
            if (child.type == "idat" && !idat)
                idat = &child;
        }
        for (const auto& [id, type] : items) {
            // A grid: version, flags, rows and columns less one, then its width and height;
            // an overlay: version, flags, the background's four channels, then the canvas's.
            // Both sizes take 16 bits, or 32 when the flags' lowest bit is set. Every location
            // the item is given counts, whichever libheif takes.
            const std::size_t sizeAt = type == "grid" ? 4 : 10;
            const auto [first, last] = locations.equal_range(id);
            if (first == last)
                return std::nullopt;
            for (auto location = first; location != last; ++location) {
                unsigned char start[18] = {};
                if (!itemStart(data, size, idat, location->second, start, sizeAt))
                    return std::nullopt;
                const std::size_t field = start[1] & 1 ? 4 : 2;
                std::uint64_t width = 0, height = 0;
                Bytes canvas(start + sizeAt, 2 * field);
                if (!itemStart(data, size, idat, location->second, start, sizeAt + 2 * field)
                    || !canvas.read(field, width) || !canvas.read(field, height))
                    return std::nullopt;
                canvases.push_back({static_cast<long long>(width), static_cast<long long>(height)});
            }
        }
    }
    return canvases;
}
