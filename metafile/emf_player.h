// The enhanced-metafile record player: each record's fields read from its bytes and played
// into the shared device context. Bitmap, text and gradient records live in
// emf_records.cpp.
#pragma once

#include "metafile/metafile_dc.h"
#include "metafile/metafile_dib.h"
#include "metafile/metafile_reader.h"

#include <cstdint>
#include <optional>
#include <span>

QRectF ReadEmfRect(MetafileReader& r);
QPointF ReadEmfPoint(MetafileReader& r);
// count points of 32-bit (or, small, 16-bit) coordinates; failing r when they are missing.
QPolygonF ReadEmfPoints(MetafileReader& r, std::uint64_t count, bool small);

class EmfPlayer
{
public:
    explicit EmfPlayer(MetafileDC& context)
        : dc(context)
    {
    }

    // A damaged record (its contents inconsistent with its size) is left out; one that
    // creates an object empties the slot it names.
    void play(std::uint32_t type, MetafileReader& r);

private:
    // False when the record is damaged.
    bool record(std::uint32_t type, MetafileReader& r);
    // Each group plays the records it knows (false when one is damaged) and gives nothing for
    // the others.
    std::optional<bool> statesAndMapping(std::uint32_t type, MetafileReader& r);
    std::optional<bool> drawing(std::uint32_t type, MetafileReader& r);
    std::optional<bool> paths(std::uint32_t type, MetafileReader& r);
    std::optional<bool> clippingAndRegions(std::uint32_t type, MetafileReader& r);
    std::optional<bool> objects(std::uint32_t type, MetafileReader& r);
    std::optional<bool> bitmapsAndText(std::uint32_t type, MetafileReader& r);
    // The part of the record at offset (from the record's start) and size, or nothing when
    // it lies outside the record.
    static std::optional<std::span<const std::uint8_t>>
    part(const MetafileReader& r, std::uint32_t offset, std::uint32_t size)
    {
        const std::uint64_t start = static_cast<std::uint64_t>(offset) - 8;
        if (offset < 8 || start + size > r.size())
            return std::nullopt;
        return r.bytes().subspan(static_cast<std::size_t>(start), size);
    }
    MetafileDib bitmapAt(const MetafileReader& r, std::uint32_t offBmi, std::uint32_t cbBmi,
                         std::uint32_t offBits, std::uint32_t cbBits, bool keepAlpha = false)
    {
        const auto info = part(r, offBmi, cbBmi);
        const auto bits = part(r, offBits, cbBits);
        if (!info || !bits || !dc.spend(DibDecodeWork(*info)))
            return {};
        return DecodeDib(*info, *bits, keepAlpha);
    }
    std::uint8_t charset() { return dc.state().font.charset; }
    // UTF-16 text; a symbol font's codes become the characters of its glyphs.
    QString wideText(std::span<const std::uint8_t> bytes);
    bool polys(std::uint32_t type, MetafileReader& r, bool small);
    bool blit(std::uint32_t type, MetafileReader& r);
    bool dibitsToDevice(MetafileReader& r, QPointF at, const QRectF& source, std::uint32_t offBmi,
                        std::uint32_t cbBmi, std::uint32_t offBits, std::uint32_t cbBits);
    bool maskedBlit(std::uint32_t type, MetafileReader& r);
    bool text(std::uint32_t type, MetafileReader& r);
    bool smallText(MetafileReader& r);
    bool pen(MetafileReader& r, bool extended);
    bool gradient(MetafileReader& r);
    bool font(MetafileReader& r);

    MetafileDC& dc;
};
