#include "imaging/zozIR.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using ByteTable = std::array<std::uint8_t, 256>;

std::uint8_t clampWide(std::int64_t value)
{
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(value, 0, 255));
}

// The formulas in 64 bits, so that no amount a caller can pass overflows.
std::uint8_t contrastOf(int c, int amount)
{
    const std::int64_t d = std::int64_t {std::abs(127 - c)} * amount / 255;
    return clampWide(c > 127 ? c + d : c - d);
}

std::uint8_t lightnessOf(int c, int amount)
{
    return clampWide(c + std::int64_t {255 - c} * amount / 255);
}

// One channel through contrast then lightness, an amount of 0 skipping its step; a table of
// all 256 values serves the row tails and amounts too large for the 16-bit lanes below.
ByteTable makeTable(int contrast, int lightness)
{
    ByteTable table {};
    for (int c = 0; c < 256; ++c) {
        int value = c;
        if (contrast != 0)
            value = contrastOf(value, contrast);
        if (lightness != 0)
            value = lightnessOf(value, lightness);
        table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(value);
    }
    return table;
}

// Products in the vector lanes must stay below 65536: |127 - c| <= 128 and 255 - c <= 255.
constexpr int maxLaneContrast = 65535 / 128;
constexpr int maxLaneLightness = 65535 / 255;

struct ChannelMap
{
    ByteTable table;
    int contrast;
    int lightness;
    bool lanes;
};

ChannelMap makeMap(int contrast, int lightness)
{
    return {makeTable(contrast, lightness), contrast, lightness,
            std::abs(contrast) <= maxLaneContrast && std::abs(lightness) <= maxLaneLightness};
}

#if defined(__SSE2__)

// x / 255 for 0 <= x <= 65535, exactly: (x * 0x8081) >> 23.
inline __m128i divideBy255(__m128i x)
{
    return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Negates the lanes where mask is all ones: (v ^ mask) - mask.
inline __m128i negateWhere(__m128i v, __m128i mask)
{
    return _mm_sub_epi16(_mm_xor_si128(v, mask), mask);
}

struct LaneAmounts
{
    __m128i contrast; // |amount| in every lane
    __m128i contrastNegative; // all ones when the amount is negative
    __m128i lightness;
    __m128i lightnessNegative;
    bool doContrast;
    bool doLightness;
};

LaneAmounts makeLaneAmounts(const ChannelMap& map)
{
    return {_mm_set1_epi16(static_cast<short>(std::abs(map.contrast))),
            _mm_set1_epi16(static_cast<short>(map.contrast < 0 ? -1 : 0)),
            _mm_set1_epi16(static_cast<short>(std::abs(map.lightness))),
            _mm_set1_epi16(static_cast<short>(map.lightness < 0 ? -1 : 0)),
            map.contrast != 0,
            map.lightness != 0};
}

// Eight channels (0-255 in 16-bit lanes) through the exact formulas; the result is in
// -257..511 before the caller's saturating pack, which is ClampToByte.
inline __m128i mapLanes(__m128i c, const LaneAmounts& a)
{
    if (a.doContrast) {
        const __m128i pivot = _mm_set1_epi16(127);
        const __m128i notAbove = _mm_cmpgt_epi16(_mm_set1_epi16(128), c); // c <= 127
        const __m128i distance = negateWhere(_mm_sub_epi16(c, pivot), notAbove);
        const __m128i d = divideBy255(_mm_mullo_epi16(distance, a.contrast));
        // c + d above the pivot, c - d otherwise, with d carrying the amount's sign.
        c = _mm_add_epi16(c, negateWhere(d, _mm_xor_si128(notAbove, a.contrastNegative)));
        if (a.doLightness)
            c = _mm_min_epi16(_mm_max_epi16(c, _mm_setzero_si128()), _mm_set1_epi16(255));
    }
    if (a.doLightness) {
        const __m128i rest = _mm_sub_epi16(_mm_set1_epi16(255), c);
        const __m128i d = divideBy255(_mm_mullo_epi16(rest, a.lightness));
        c = _mm_add_epi16(c, negateWhere(d, a.lightnessNegative));
    }
    return c;
}

inline __m128i mapBytes(__m128i v, const LaneAmounts& a)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = mapLanes(_mm_unpacklo_epi8(v, zero), a);
    const __m128i high = mapLanes(_mm_unpackhi_epi8(v, zero), a);
    return _mm_packus_epi16(low, high);
}

#endif

// Maps count bytes in place; with keepFourth, every fourth byte (offset 3 of each 32-bit
// pixel, p pointing at a pixel) stays as it was.
void mapSpan(std::uint8_t* p, std::size_t count, bool keepFourth, const ChannelMap& map)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    if (map.lanes) {
        const LaneAmounts amounts = makeLaneAmounts(map);
        const __m128i fourth
            = keepFourth ? _mm_set1_epi32(static_cast<int>(0xFF000000u)) : _mm_setzero_si128();
        for (; i + 16 <= count; i += 16) {
            auto* at = reinterpret_cast<__m128i*>(p + i);
            const __m128i v = _mm_loadu_si128(at);
            const __m128i mapped = mapBytes(v, amounts);
            _mm_storeu_si128(
                at, _mm_or_si128(_mm_and_si128(v, fourth), _mm_andnot_si128(fourth, mapped)));
        }
    }
#endif
    for (; i < count; ++i) {
        if (!keepFourth || i % 4 != 3)
            p[i] = map.table[p[i]];
    }
}

void mapPicture(QImage& bitmap, const ChannelMap& map)
{
    if (bitmap.isNull())
        return;
    const bool fourth = bitmap.format() == QImage::Format_RGB32;
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.width()) * (fourth ? 4 : 3);
    const std::size_t stride = static_cast<std::size_t>(bitmap.bytesPerLine());
    std::uint8_t* bits = bitmap.bits();
    if (stride == rowBytes) {
        mapSpan(bits, rowBytes * static_cast<std::size_t>(bitmap.height()), fourth, map);
        return;
    }
    for (int y = 0; y < bitmap.height(); ++y)
        mapSpan(bits + stride * static_cast<std::size_t>(y), rowBytes, fourth, map);
}

bool isOwnFormat(const QImage& bitmap)
{
    return bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_BGR888;
}

void ensureOwnFormat(QImage& bitmap, QImage::Format otherwise)
{
    if (!bitmap.isNull() && !isOwnFormat(bitmap))
        bitmap.convertTo(otherwise);
}

// The turns copy square tiles, so that both the rows read and the rows written stay in
// the cache while a tile is done.
constexpr int tileSize = 64;

template<int bytes> struct Pixel
{
    std::uint8_t b[bytes];
};

enum class Turn { Clockwise, CounterClockwise };

template<int bytes> void turnPixels(const QImage& source, QImage& target, Turn turn)
{
    using P = Pixel<bytes>;
    const int w = source.width();
    const int h = source.height();
    const std::uint8_t* sourceBits = source.constBits();
    const qsizetype sourceStride = source.bytesPerLine();
    std::uint8_t* targetBits = target.bits();
    const qsizetype targetStride = target.bytesPerLine();
    // Target row r, column c takes source column r, row h - 1 - c (clockwise) or source
    // column w - 1 - r, row c (counter-clockwise).
    for (int r0 = 0; r0 < w; r0 += tileSize) {
        const int r1 = std::min(r0 + tileSize, w);
        for (int c0 = 0; c0 < h; c0 += tileSize) {
            const int c1 = std::min(c0 + tileSize, h);
            for (int r = r0; r < r1; ++r) {
                auto* out = reinterpret_cast<P*>(targetBits + targetStride * r);
                if (turn == Turn::Clockwise) {
                    const std::uint8_t* in = sourceBits + sourceStride * (h - 1) + r * bytes;
                    for (int c = c0; c < c1; ++c)
                        std::memcpy(&out[c], in - sourceStride * c, bytes);
                } else {
                    const std::uint8_t* in = sourceBits + (w - 1 - r) * bytes;
                    for (int c = c0; c < c1; ++c)
                        std::memcpy(&out[c], in + sourceStride * c, bytes);
                }
            }
        }
    }
}

void turn(const QImage& sourceIn, QImage& target, Turn direction)
{
    // A local handle first: target may be the same object as the source.
    QImage source = sourceIn;
    if (source.isNull()) {
        target = QImage();
        return;
    }
    if (!isOwnFormat(source))
        source.convertTo(QImage::Format_BGR888);
    const QSize size(source.height(), source.width());
    if (target.size() != size || target.format() != source.format())
        target = QImage(size, source.format());
    if (target.isNull())
        return;
    if (source.depth() == 32)
        turnPixels<4>(source, target, direction);
    else
        turnPixels<3>(source, target, direction);
}

constexpr std::uint32_t white = 0xFFFFFFFFu;

} // namespace

std::uint8_t ClampToByte(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

void AdjustContrast(QImage& bitmap, int amount)
{
    ensureOwnFormat(bitmap, QImage::Format_BGR888);
    mapPicture(bitmap, makeMap(amount, 0));
}

void AdjustLightness(QImage& bitmap, int amount)
{
    ensureOwnFormat(bitmap, QImage::Format_RGB32);
    mapPicture(bitmap, makeMap(0, amount));
}

void AdjustContrastAndLightness(QImage& bitmap, int contrast, int lightness)
{
    if (contrast == 0 && lightness == 0)
        return;
    // The format the two single steps would leave behind.
    ensureOwnFormat(bitmap, lightness != 0 ? QImage::Format_RGB32 : QImage::Format_BGR888);
    mapPicture(bitmap, makeMap(contrast, lightness));
}

void RotateQuarterCW(const QImage& source, QImage& target)
{
    turn(source, target, Turn::Clockwise);
}

void RotateQuarterCCW(const QImage& source, QImage& target)
{
    turn(source, target, Turn::CounterClockwise);
}

void GatherPixels(QImage& target, QPoint at, const QImage& sourceIn, std::span<const int> columns,
                  std::span<const int> rows)
{
    if (target.isNull())
        return;
    if (target.depth() != 32)
        target.convertTo(QImage::Format_RGB32);
    QImage source = sourceIn;
    if (!source.isNull() && source.depth() != 32)
        source.convertTo(QImage::Format_RGB32);

    const auto clipped = [](std::int64_t origin, std::size_t count, int limit) {
        const std::int64_t first = std::clamp<std::int64_t>(-origin, 0, std::int64_t(count));
        const std::int64_t last
            = std::clamp<std::int64_t>(std::int64_t {limit} - origin, first, std::int64_t(count));
        return std::pair<std::size_t, std::size_t>(static_cast<std::size_t>(first),
                                                   static_cast<std::size_t>(last));
    };
    const auto [j0, j1] = clipped(at.x(), columns.size(), target.width());
    const auto [k0, k1] = clipped(at.y(), rows.size(), target.height());
    if (j0 == j1 || k0 == k1)
        return;

    const std::size_t span = j1 - j0;
    const int* cols = columns.data() + j0;
    const auto sourceWidth = static_cast<unsigned>(source.width());
    const auto sourceHeight = static_cast<unsigned>(source.height());
    std::uint8_t* targetBits = target.bits();
    const qsizetype targetStride = target.bytesPerLine();
    const std::uint8_t* sourceBits = source.constBits();
    const qsizetype sourceStride = source.bytesPerLine();

    std::uint32_t* previous = nullptr;
    for (std::size_t k = k0; k < k1; ++k) {
        auto* out = reinterpret_cast<std::uint32_t*>(
                        targetBits + targetStride * (at.y() + static_cast<qsizetype>(k)))
            + (at.x() + static_cast<qsizetype>(j0));
        // The unsigned comparison also turns -1 into "outside the source".
        const auto sy = static_cast<unsigned>(rows[k]);
        if (previous && rows[k] == rows[k - 1]) {
            std::memcpy(out, previous, span * 4);
        } else if (sy >= sourceHeight) {
            std::fill_n(out, span, white);
        } else {
            const auto* in = reinterpret_cast<const std::uint32_t*>(sourceBits + sourceStride * sy);
            for (std::size_t j = 0; j < span; ++j) {
                const auto sx = static_cast<unsigned>(cols[j]);
                out[j] = sx < sourceWidth ? in[sx] : white;
            }
        }
        previous = out;
    }
}

void StretchDraw(QImage& target, const QRect& targetRect, const QImage& source,
                 const QRect& sourceRect)
{
    const int tw = targetRect.width();
    const int th = targetRect.height();
    const int sw = sourceRect.width();
    const int sh = sourceRect.height();
    if (target.isNull() || tw <= 0 || th <= 0 || sw <= 0 || sh <= 0)
        return;

    // Only the target pixels inside target get a table entry, however large the rectangle.
    const auto visible = [](int origin, int length, int limit) {
        const std::int64_t first = std::clamp<std::int64_t>(-std::int64_t {origin}, 0, length);
        const std::int64_t last
            = std::clamp<std::int64_t>(std::int64_t {limit} - origin, first, length);
        return std::pair<int, int>(static_cast<int>(first), static_cast<int>(last));
    };
    const auto table = [](int first, int last, int n, int origin, int m) {
        std::vector<int> indices(static_cast<std::size_t>(last - first));
        for (int i = first; i < last; ++i) {
            const std::int64_t index = std::int64_t {origin} + StretchIndex(i, n, m);
            indices[static_cast<std::size_t>(i - first)]
                = index >= 0 && index <= std::numeric_limits<int>::max() ? int(index) : -1;
        }
        return indices;
    };
    const auto [j0, j1] = visible(targetRect.x(), tw, target.width());
    const auto [k0, k1] = visible(targetRect.y(), th, target.height());
    if (j0 == j1 || k0 == k1)
        return;
    const std::vector<int> columns = table(j0, j1, tw, sourceRect.x(), sw);
    const std::vector<int> rows = table(k0, k1, th, sourceRect.y(), sh);
    GatherPixels(target, QPoint(targetRect.x() + j0, targetRect.y() + k0), source, columns, rows);
}
