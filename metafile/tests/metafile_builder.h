// Builds small WMF and EMF files record by record for the player's tests, and looks at the
// pictures they give.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>

// Little-endian parameter bytes.
class Params
{
public:
    Params& u8(std::uint32_t v)
    {
        bytes.append(char(v & 0xff));
        return *this;
    }
    Params& u16(std::uint32_t v)
    {
        bytes.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
        return *this;
    }
    Params& i16(std::initializer_list<int> values)
    {
        for (int v : values)
            u16(static_cast<std::uint16_t>(v));
        return *this;
    }
    Params& u32(std::uint32_t v) { return u16(v & 0xffff).u16(v >> 16); }
    Params& i32(std::initializer_list<std::int64_t> values)
    {
        for (auto v : values)
            u32(static_cast<std::uint32_t>(v));
        return *this;
    }
    Params& f32(float v)
    {
        std::uint32_t raw;
        std::memcpy(&raw, &v, 4);
        return u32(raw);
    }
    Params& raw(const QByteArray& more)
    {
        bytes.append(more);
        return *this;
    }
    Params& pad(int alignment)
    {
        while (bytes.size() % alignment)
            bytes.append('\0');
        return *this;
    }
    QByteArray bytes;
};

inline std::uint32_t colorRef(int r, int g, int b)
{
    return std::uint32_t(r) | (std::uint32_t(g) << 8) | (std::uint32_t(b) << 16);
}

// The colour at (x, y) without its alpha byte.
inline QRgb pixel(const QImage& picture, int x, int y)
{
    return picture.pixel(x, y) & 0xffffff;
}

// The rectangle holding every pixel that is not white (empty when there is none).
inline QRect inkBox(const QImage& picture)
{
    QRect box;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (pixel(picture, x, y) != 0xffffff)
                box |= QRect(x, y, 1, 1);
    return box;
}

// A bottom-up 24-bit DIB (header and bits) of the picture, packed.
inline QByteArray packedDib(const QImage& picture)
{
    const int stride = (picture.width() * 3 + 3) & ~3;
    Params p;
    p.u32(40).i32({picture.width(), picture.height()}).u16(1).u16(24).u32(0);
    p.u32(std::uint32_t(stride * picture.height())).i32({0, 0, 0, 0});
    for (int y = picture.height() - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = picture.pixel(x, y);
            p.bytes.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        }
        p.pad(4);
    }
    return p.bytes;
}

class WmfBuilder
{
public:
    // A placeable file: its frame in logical units and the units per inch.
    static WmfBuilder placeable(int left, int top, int right, int bottom, int inch)
    {
        WmfBuilder b;
        Params p;
        p.u32(0x9AC6CDD7).u16(0).i16({left, top, right, bottom}).u16(inch).u32(0).u16(0);
        b.prefix = p.bytes;
        return b;
    }
    static WmfBuilder plain() { return WmfBuilder(); }

    WmfBuilder& record(std::uint16_t function, const Params& params = Params())
    {
        Params p;
        const auto words = std::uint32_t(3 + (params.bytes.size() + 1) / 2);
        p.u32(words).u16(function);
        largestRecord = std::max(largestRecord, words);
        records.append(p.bytes).append(params.bytes);
        if (params.bytes.size() % 2)
            records.append('\0');
        return *this;
    }
    WmfBuilder& words(std::uint16_t function, std::initializer_list<int> values)
    {
        return record(function, Params().i16(values));
    }
    // The next record's raw bytes, size field included, to make damaged files.
    WmfBuilder& rawRecord(const QByteArray& bytes)
    {
        records.append(bytes);
        return *this;
    }

    QByteArray finish(int objects = 8) const
    {
        QByteArray body = records;
        body.append(Params().u32(3).u16(0).bytes);
        Params header;
        header.u16(1).u16(9).u16(0x0300).u32(std::uint32_t(9 + body.size() / 2));
        header.u16(std::uint32_t(objects)).u32(largestRecord).u16(0);
        return prefix + header.bytes + body;
    }

    // Common records.
    WmfBuilder& solidBrush(std::uint32_t color)
    {
        return record(0x02FC, Params().u16(0).u32(color).u16(0));
    }
    WmfBuilder& hatchBrush(std::uint32_t color, int hatch)
    {
        return record(0x02FC, Params().u16(2).u32(color).u16(std::uint32_t(hatch)));
    }
    WmfBuilder& pen(int style, int width, std::uint32_t color)
    {
        return record(0x02FA, Params().u16(std::uint32_t(style)).i16({width, 0}).u32(color));
    }
    WmfBuilder& select(int index) { return words(0x012D, {index}); }
    WmfBuilder& rectangle(int l, int t, int r, int b) { return words(0x041B, {b, r, t, l}); }
    WmfBuilder& ellipse(int l, int t, int r, int b) { return words(0x0418, {b, r, t, l}); }

private:
    QByteArray prefix;
    QByteArray records;
    std::uint32_t largestRecord = 3; // words; other readers refuse a file whose records exceed it
};

class EmfBuilder
{
public:
    // frame in 0.01 mm; the reference device's size in pixels and millimetres.
    EmfBuilder(QRect frameArea, QSize pixels, QSize millimetres, int handleCount = 8)
        : frame(frameArea)
        , devicePixels(pixels)
        , deviceMm(millimetres)
        , handles(handleCount)
    {
    }

    EmfBuilder& record(std::uint32_t type, const Params& params = Params())
    {
        Params p;
        p.u32(type).u32(std::uint32_t(8 + ((params.bytes.size() + 3) & ~3)));
        records.append(p.bytes).append(params.bytes);
        while (records.size() % 4)
            records.append('\0');
        ++count;
        return *this;
    }
    EmfBuilder& values(std::uint32_t type, std::initializer_list<std::int64_t> values)
    {
        return record(type, Params().i32(values));
    }
    EmfBuilder& rawRecord(const QByteArray& bytes)
    {
        records.append(bytes);
        return *this;
    }

    QByteArray finish() const
    {
        QByteArray body = records;
        body.append(Params().u32(14).u32(20).u32(0).u32(16).u32(20).bytes);
        Params h;
        h.u32(1).u32(88);
        h.i32({0, 0, devicePixels.width(), devicePixels.height()});
        h.i32({frame.left(), frame.top(), frame.right() + 1, frame.bottom() + 1});
        h.u32(0x464D4520).u32(0x10000).u32(std::uint32_t(88 + body.size()));
        h.u32(std::uint32_t(count + 2)).u16(std::uint32_t(handles)).u16(0);
        h.u32(0).u32(0).u32(0);
        h.i32({devicePixels.width(), devicePixels.height(), deviceMm.width(), deviceMm.height()});
        return h.bytes + body;
    }

    EmfBuilder& solidBrush(int index, std::uint32_t color)
    {
        return values(39, {index, 0, color, 0});
    }
    EmfBuilder& pen(int index, int style, int width, std::uint32_t color)
    {
        return values(38, {index, style, width, 0, color});
    }
    EmfBuilder& select(std::int64_t index) { return values(37, {index}); }
    EmfBuilder& rectangle(int l, int t, int r, int b) { return values(43, {l, t, r, b}); }
    EmfBuilder& ellipse(int l, int t, int r, int b) { return values(42, {l, t, r, b}); }

private:
    QRect frame;
    QSize devicePixels;
    QSize deviceMm;
    int handles;
    QByteArray records;
    int count = 0;
};
