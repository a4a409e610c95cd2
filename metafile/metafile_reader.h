// A little-endian reader over one metafile record that never reads past the bytes it was
// given: every read first checks what remains, and a short read leaves it failed for good,
// so a player can read all fields of a record and test once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

class MetafileReader
{
public:
    MetafileReader() = default;
    explicit MetafileReader(std::span<const std::uint8_t> bytes)
        : data(bytes)
    {
    }

    bool ok() const { return !failed; }
    std::size_t position() const { return pos; }
    std::size_t remaining() const { return failed ? 0 : data.size() - pos; }
    std::size_t size() const { return data.size(); }
    std::span<const std::uint8_t> bytes() const { return data; }

    // Whether count more items of itemSize bytes each remain (no overflow for huge counts).
    bool has(std::uint64_t count, std::uint64_t itemSize = 1) const
    {
        if (failed)
            return false;
        const std::uint64_t left = data.size() - pos;
        return itemSize == 0 || count <= left / itemSize;
    }

    void skip(std::size_t count)
    {
        if (!has(count))
            fail();
        else
            pos += count;
    }

    void seek(std::size_t offset)
    {
        if (failed || offset > data.size())
            fail();
        else
            pos = offset;
    }

    // The next count bytes as a span (empty and failed when fewer remain).
    std::span<const std::uint8_t> take(std::size_t count)
    {
        if (!has(count)) {
            fail();
            return {};
        }
        auto part = data.subspan(pos, count);
        pos += count;
        return part;
    }

    std::uint8_t u8() { return readLe<std::uint8_t>(); }
    std::uint16_t u16() { return readLe<std::uint16_t>(); }
    std::int16_t i16() { return static_cast<std::int16_t>(readLe<std::uint16_t>()); }
    std::uint32_t u32() { return readLe<std::uint32_t>(); }
    std::int32_t i32() { return static_cast<std::int32_t>(readLe<std::uint32_t>()); }
    float f32()
    {
        const std::uint32_t raw = u32();
        float value;
        std::memcpy(&value, &raw, sizeof value);
        return value;
    }

private:
    template<typename T> T readLe()
    {
        if (!has(sizeof(T))) {
            fail();
            return 0;
        }
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value = static_cast<T>(value | (static_cast<T>(data[pos + i]) << (8 * i)));
        pos += sizeof(T);
        return value;
    }

    void fail()
    {
        failed = true;
        pos = data.size();
    }

    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
    bool failed = false;
};
