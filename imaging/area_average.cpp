// The area average (AreaSpansFor and AveragePixels in pixel_operations.h): the smooth
// reduction the display is drawn with. Separable: each source row a target row needs is
// reduced along the row once, then the target row is the weighted sum of those reduced rows.
// Target rows are split over the machine's cores.
#include "imaging/pixel_operations.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A row reduced along its length keeps each channel times 2^7, so that the second pass
// rounds only once more: 255 << 7 and its weighted sums stay within 16 and 31 bits.
constexpr int reducedBits = 7;
constexpr int rowShift = AreaSpans::WeightBits - reducedBits;
constexpr int columnShift = AreaSpans::WeightBits + reducedBits;

// Two weights side by side, as the pair multiply-add takes them.
std::int32_t weightPair(std::int16_t first, std::int16_t second)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(first))
                                     | static_cast<std::uint32_t>(second) << 16);
}

bool spansValid(const AreaSpans& spans, int limit)
{
    const std::size_t n = spans.first.size();
    if (spans.count.size() != n || spans.offset.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (spans.first[i] < 0 || spans.count[i] < 1
            || std::int64_t {spans.first[i]} + spans.count[i] > limit || spans.offset[i] < 0
            || std::int64_t {spans.offset[i]} + spans.count[i]
                > static_cast<std::int64_t>(spans.weights.size()))
            return false;
        // The rows' ring below relies on spans that only move forward.
        if (i > 0
            && (spans.first[i] < spans.first[i - 1]
                || spans.first[i] + spans.count[i] < spans.first[i - 1] + spans.count[i - 1]))
            return false;
    }
    return true;
}

// One source row reduced along its length: out gets 4 channels of 16 bits per target pixel.
void reduceRow(const std::uint32_t* in, const AreaSpans& columns, std::int16_t* out)
{
    const std::size_t width = columns.first.size();
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint32_t* p = in + columns.first[i];
        const std::int16_t* w = columns.weights.data() + columns.offset[i];
        const int n = columns.count[i];
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        __m128i sum = zero;
        int t = 0;
        for (; t + 1 < n; t += 2) {
            // Pixels a and b as a0 b0 a1 b1 a2 b2 a3 b3 in 16 bits, by weights wa wb.
            const __m128i ab = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + t));
            const __m128i mixed
                = _mm_unpacklo_epi8(_mm_unpacklo_epi8(ab, _mm_srli_si128(ab, 4)), zero);
            sum = _mm_add_epi32(sum,
                                _mm_madd_epi16(mixed, _mm_set1_epi32(weightPair(w[t], w[t + 1]))));
        }
        if (t < n) {
            const __m128i a = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(p[t])), zero);
            sum = _mm_add_epi32(sum,
                                _mm_madd_epi16(_mm_unpacklo_epi16(a, zero), _mm_set1_epi32(w[t])));
        }
        sum = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (rowShift - 1))), rowShift);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i), _mm_packs_epi32(sum, sum));
#else
        for (int c = 0; c < 4; ++c) {
            std::int32_t sum = 0;
            for (int t = 0; t < n; ++t)
                sum += static_cast<std::int32_t>((p[t] >> (8 * c)) & 0xFF) * w[t];
            out[4 * i + static_cast<std::size_t>(c)]
                = static_cast<std::int16_t>((sum + (1 << (rowShift - 1))) >> rowShift);
        }
#endif
    }
}

// One target row: the reduced rows taps[0 .. n - 1] by weights w.
void combineRows(const std::int16_t* const* taps, const std::int16_t* w, int n, std::size_t width,
                 std::uint32_t* out)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi32(1 << (columnShift - 1));
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    // Two pixels at a time; the rows are padded so that the odd last one reads inside them.
    for (std::size_t x = 0; x < width; x += 2) {
        __m128i sum0 = zero;
        __m128i sum1 = zero;
        int t = 0;
        for (; t + 1 < n; t += 2) {
            const __m128i h0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps[t] + 4 * x));
            const __m128i h1
                = _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps[t + 1] + 4 * x));
            const __m128i pair = _mm_set1_epi32(weightPair(w[t], w[t + 1]));
            sum0 = _mm_add_epi32(sum0, _mm_madd_epi16(_mm_unpacklo_epi16(h0, h1), pair));
            sum1 = _mm_add_epi32(sum1, _mm_madd_epi16(_mm_unpackhi_epi16(h0, h1), pair));
        }
        if (t < n) {
            const __m128i h0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps[t] + 4 * x));
            const __m128i single = _mm_set1_epi32(w[t]);
            sum0 = _mm_add_epi32(sum0, _mm_madd_epi16(_mm_unpacklo_epi16(h0, zero), single));
            sum1 = _mm_add_epi32(sum1, _mm_madd_epi16(_mm_unpackhi_epi16(h0, zero), single));
        }
        sum0 = _mm_srai_epi32(_mm_add_epi32(sum0, half), columnShift);
        sum1 = _mm_srai_epi32(_mm_add_epi32(sum1, half), columnShift);
        const __m128i words = _mm_packs_epi32(sum0, sum1);
        const __m128i pixels = _mm_or_si128(_mm_packus_epi16(words, words), opaque);
        if (x + 1 < width)
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), pixels);
        else
            out[x] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(pixels));
    }
#else
    for (std::size_t x = 0; x < width; ++x) {
        std::uint32_t pixel = 0xFF000000u;
        for (int c = 0; c < 3; ++c) {
            std::int32_t sum = 0;
            for (int t = 0; t < n; ++t)
                sum += std::int32_t {taps[t][4 * x + static_cast<std::size_t>(c)]} * w[t];
            const int value = (sum + (1 << (columnShift - 1))) >> columnShift;
            pixel |= static_cast<std::uint32_t>(std::clamp(value, 0, 255)) << (8 * c);
        }
        out[x] = pixel;
    }
#endif
}

struct AveragePlan
{
    const std::uint8_t* sourceBits;
    qsizetype sourceStride;
    std::uint8_t* targetBits;
    qsizetype targetStride;
    QPoint at;
    const AreaSpans& columns;
    const AreaSpans& rows;
};

// Target rows k0 .. k1 - 1 of the spans. The source rows reduced along their length are
// kept in a ring as long as the longest row span, so that a source row shared by two target
// rows is reduced once: spans only move forward, so a slot is taken again only by a row past
// every span that needed its old one.
void averageRows(const AveragePlan& plan, std::size_t k0, std::size_t k1)
{
    const std::size_t width = plan.columns.first.size();
    int ring = 1;
    for (std::size_t k = k0; k < k1; ++k)
        ring = std::max(ring, plan.rows.count[k]);
    // Eight spare values: the two-pixel loads of an odd last pixel read past the row.
    const std::size_t rowValues = 4 * width + 8;
    std::vector<std::int16_t> reduced(rowValues * static_cast<std::size_t>(ring));
    std::vector<int> held(static_cast<std::size_t>(ring), -1);
    std::vector<const std::int16_t*> taps(static_cast<std::size_t>(ring));
    for (std::size_t k = k0; k < k1; ++k) {
        const int first = plan.rows.first[k];
        const int n = plan.rows.count[k];
        for (int t = 0; t < n; ++t) {
            const int row = first + t;
            const auto slot = static_cast<std::size_t>(row % ring);
            std::int16_t* values = reduced.data() + rowValues * slot;
            if (held[slot] != row) {
                reduceRow(reinterpret_cast<const std::uint32_t*>(plan.sourceBits
                                                                 + plan.sourceStride * row),
                          plan.columns, values);
                held[slot] = row;
            }
            taps[static_cast<std::size_t>(t)] = values;
        }
        auto* out
            = reinterpret_cast<std::uint32_t*>(
                  plan.targetBits + plan.targetStride * (plan.at.y() + static_cast<qsizetype>(k)))
            + plan.at.x();
        combineRows(taps.data(), plan.rows.weights.data() + plan.rows.offset[k], n, width, out);
    }
}

// Below a megapixel of source starting threads costs more than it saves.
constexpr std::int64_t parallelPixels = std::int64_t {1} << 20;
constexpr unsigned maxParts = 8;

} // namespace

AreaSpans AreaSpansFor(int from, int count, int n, std::int64_t m, int s)
{
    AreaSpans spans;
    if (count <= 0 || n < 1 || m < 1 || s < 1)
        return spans;
    const auto size = static_cast<std::size_t>(count);
    spans.first.resize(size);
    spans.count.resize(size);
    spans.offset.resize(size);
    // Positions are counted in n-ths of a pixel of the m-pixel span, so that every boundary
    // is a whole number: target pixel i covers [i m, (i + 1) m), and source pixel j stands for
    // the pixels w with StretchIndex(w, m, s) == j, from ceil((2 j m - s) / 2 s) on.
    const auto start = [&](std::int64_t j) -> std::int64_t {
        if (j >= s)
            return m * n;
        const std::int64_t twice = 2 * j * m - s;
        return twice <= 0 ? 0 : (twice + 2 * std::int64_t {s} - 1) / (2 * std::int64_t {s}) * n;
    };
    const auto sourceOf = [&](std::int64_t w) {
        return (2 * w + 1) * s / (2 * m);
    };
    for (std::size_t k = 0; k < size; ++k) {
        const std::int64_t i = from + static_cast<std::int64_t>(k);
        const std::int64_t low = i * m;
        const std::int64_t high = low + m;
        const std::int64_t j0 = sourceOf(low / n);
        const std::int64_t j1 = sourceOf((high - 1) / n);
        spans.first[k] = static_cast<int>(j0);
        spans.count[k] = static_cast<int>(j1 - j0 + 1);
        spans.offset[k] = static_cast<int>(spans.weights.size());
        // Each weight is the rounded running sum less the one before, so the weights sum to
        // One exactly and none is more than half a step off its share.
        std::int64_t covered = 0;
        std::int64_t rounded = 0;
        for (std::int64_t j = j0; j <= j1; ++j) {
            covered += std::max<std::int64_t>(
                0, std::min(high, start(j + 1)) - std::max(low, start(j)));
            const std::int64_t next = (covered * AreaSpans::One + m / 2) / m;
            spans.weights.push_back(static_cast<std::int16_t>(next - rounded));
            rounded = next;
        }
    }
    return spans;
}

void AveragePixels(QImage& target, QPoint at, const QImage& source, const AreaSpans& columns,
                   const AreaSpans& rows)
{
    const std::size_t width = columns.first.size();
    const std::size_t height = rows.first.size();
    if (target.isNull() || source.isNull() || width == 0 || height == 0 || target.depth() != 32
        || source.depth() != 32 || at.x() < 0 || at.y() < 0
        || at.x() + static_cast<std::int64_t>(width) > target.width()
        || at.y() + static_cast<std::int64_t>(height) > target.height()
        || !spansValid(columns, source.width()) || !spansValid(rows, source.height()))
        return;
    std::uint8_t* targetBits = target.bits();
    const AveragePlan plan {source.constBits(),
                            source.bytesPerLine(),
                            targetBits,
                            target.bytesPerLine(),
                            at,
                            columns,
                            rows};

    std::size_t parts = 1;
    if (std::int64_t {source.width()} * source.height() >= parallelPixels)
        parts = std::clamp(std::thread::hardware_concurrency(), 1u, maxParts);
    parts = std::min(parts, height);
    const auto bound = [&](std::size_t p) {
        return height * p / parts;
    };
    std::vector<std::thread> threads;
    threads.reserve(parts - 1);
    for (std::size_t p = 1; p < parts; ++p) {
        try {
            threads.emplace_back(
                [&plan, k0 = bound(p), k1 = bound(p + 1)] { averageRows(plan, k0, k1); });
        } catch (const std::system_error&) {
            averageRows(plan, bound(p), bound(p + 1));
        }
    }
    averageRows(plan, 0, bound(1));
    for (std::thread& thread : threads)
        thread.join();
}
