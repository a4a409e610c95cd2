#include "imaging/pixel_operations.h"

#include "imaging/picture_buffer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define VISTREL_AVX2_DISPATCH 1
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

// Each channel value through one formula. The viewer draws through a table of its own built
// by running these operations over the 256 channel values, so a plain table is all they need.
template<typename Formula> ByteTable makeTable(int amount, Formula&& formula)
{
    ByteTable table {};
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] = formula(c, amount);
    return table;
}

#if defined(VISTREL_AVX2_DISPATCH)

bool hasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#endif

// Maps count bytes in place; with keepFourth, every fourth byte (offset 3 of each 32-bit
// pixel, p pointing at a pixel) stays as it was.
void mapSpan(std::uint8_t* p, std::size_t count, bool keepFourth, const ByteTable& table)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (!keepFourth || i % 4 != 3)
            p[i] = table[p[i]];
    }
}

void mapPicture(QImage& bitmap, const ByteTable& table)
{
    if (bitmap.isNull())
        return;
    const bool fourth = bitmap.format() == QImage::Format_RGB32;
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.width()) * (fourth ? 4 : 3);
    const std::size_t stride = static_cast<std::size_t>(bitmap.bytesPerLine());
    std::uint8_t* bits = bitmap.bits();
    if (stride == rowBytes) {
        mapSpan(bits, rowBytes * static_cast<std::size_t>(bitmap.height()), fourth, table);
        return;
    }
    for (int y = 0; y < bitmap.height(); ++y)
        mapSpan(bits + stride * static_cast<std::size_t>(y), rowBytes, fourth, table);
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

// Target row r, column c takes source column r, row h - 1 - c (clockwise) or source column
// w - 1 - r, row c (counter-clockwise), w and h being the source's size.
struct TurnPlan
{
    const std::uint8_t* sourceBits;
    qsizetype sourceStride;
    std::uint8_t* targetBits;
    qsizetype targetStride;
    int w;
    int h;
    Turn turn;
};

// Target rows [r0, r1) by columns [c0, c1), in tiles, a pixel at a time.
template<int bytes> void turnPixels(const TurnPlan& t, int r0, int r1, int c0, int c1)
{
    using P = Pixel<bytes>;
    for (int tr = r0; tr < r1; tr += tileSize) {
        const int trEnd = std::min(tr + tileSize, r1);
        for (int tc = c0; tc < c1; tc += tileSize) {
            const int tcEnd = std::min(tc + tileSize, c1);
            for (int r = tr; r < trEnd; ++r) {
                auto* out = reinterpret_cast<P*>(t.targetBits + t.targetStride * r);
                if (t.turn == Turn::Clockwise) {
                    const std::uint8_t* in = t.sourceBits + t.sourceStride * (t.h - 1) + r * bytes;
                    for (int c = tc; c < tcEnd; ++c)
                        std::memcpy(&out[c], in - t.sourceStride * c, bytes);
                } else {
                    const std::uint8_t* in = t.sourceBits + (t.w - 1 - r) * bytes;
                    for (int c = tc; c < tcEnd; ++c)
                        std::memcpy(&out[c], in + t.sourceStride * c, bytes);
                }
            }
        }
    }
}

#if defined(__SSE2__)

// Four source pixels of one row in, four target rows of one column out, transposed.
inline void transpose4(__m128i& a0, __m128i& a1, __m128i& a2, __m128i& a3)
{
    const __m128i t0 = _mm_unpacklo_epi32(a0, a1);
    const __m128i t1 = _mm_unpacklo_epi32(a2, a3);
    const __m128i t2 = _mm_unpackhi_epi32(a0, a1);
    const __m128i t3 = _mm_unpackhi_epi32(a2, a3);
    a0 = _mm_unpacklo_epi64(t0, t1);
    a1 = _mm_unpackhi_epi64(t0, t1);
    a2 = _mm_unpacklo_epi64(t2, t3);
    a3 = _mm_unpackhi_epi64(t2, t3);
}

// 32-bit pictures in strips of 16 target rows: each step reads a whole cache line (16
// pixels) from each of 4 source rows, transposes it in registers as four 4 x 4 blocks and
// writes 16 bytes to each of the 16 target rows, which the next steps continue. Gives how
// many target rows and columns it did.
QSize turnBlocks32(const TurnPlan& t)
{
    const int rows = t.w & ~15;
    const int columns = t.h & ~3;
    const bool clockwise = t.turn == Turn::Clockwise;
    const qsizetype step = clockwise ? -t.sourceStride : t.sourceStride;
    const qsizetype ts = t.targetStride;
    for (int r = 0; r < rows; r += 16) {
        // Source rows are read from the first one (clockwise: the bottom one) by step.
        const std::uint8_t* in = clockwise
            ? t.sourceBits + t.sourceStride * (t.h - 1) + qsizetype {r} * 4
            : t.sourceBits + qsizetype {t.w - 16 - r} * 4;
        std::uint8_t* out = t.targetBits + ts * r;
        for (int c = 0; c < columns; c += 4, in += 4 * step, out += 16) {
            for (int q = 0; q < 4; ++q) {
                const auto* at = reinterpret_cast<const __m128i*>(in + 16 * q);
                __m128i a0 = _mm_loadu_si128(at);
                __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + step + 16 * q));
                __m128i a2
                    = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * step + 16 * q));
                __m128i a3
                    = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * step + 16 * q));
                transpose4(a0, a1, a2, a3);
                // Row j of the transpose holds pixel 4q + j of the source rows read, which
                // is target row 4q + j clockwise and row 15 - 4q - j counter-clockwise.
                if (clockwise) {
                    std::uint8_t* o = out + ts * (4 * q);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), a0);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + ts), a1);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * ts), a2);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 3 * ts), a3);
                } else {
                    std::uint8_t* o = out + ts * (12 - 4 * q);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), a3);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + ts), a2);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * ts), a1);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 3 * ts), a0);
                }
            }
        }
    }
    return QSize(columns, rows);
}

#endif

#if defined(VISTREL_AVX2_DISPATCH)

// The same with AVX2 in strips of 8 target rows: each step reads 8 pixels from each of 8
// source rows and writes 32 bytes to each of the 8 target rows.
constexpr int bandRows = 256;

__attribute__((target("avx2"))) inline void transpose8(__m256i (&a)[8])
{
    __m256i t[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_epi32(a[i], a[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(a[i], a[i + 1]);
    }
    __m256i u[8];
    for (int i = 0; i < 8; i += 4) {
        u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
        u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
        u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
        u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    // u[j] holds pixel j (low half) and j + 4 (high half) of rows 0-3, u[4 + j] of rows 4-7.
    for (int j = 0; j < 4; ++j) {
        a[j] = _mm256_permute2x128_si256(u[j], u[4 + j], 0x20);
        a[j + 4] = _mm256_permute2x128_si256(u[j], u[4 + j], 0x31);
    }
}

__attribute__((target("avx2"))) QSize turnBlocks32Avx2(const TurnPlan& t)
{
    const int rows = t.w & ~7;
    const int columns = t.h & ~7;
    const bool clockwise = t.turn == Turn::Clockwise;
    const qsizetype step = clockwise ? -t.sourceStride : t.sourceStride;
    const qsizetype ts = t.targetStride;
    // A band of source rows is done across the whole width before the next one, so that
    // each source cache line, read half by one strip, is still in the cache for the next.
    for (int c0 = 0; c0 < columns; c0 += bandRows) {
        const int c1 = std::min(c0 + bandRows, columns);
        for (int r = 0; r < rows; r += 8) {
            const std::uint8_t* in = clockwise
                ? t.sourceBits + t.sourceStride * (t.h - 1 - c0) + qsizetype {r} * 4
                : t.sourceBits + t.sourceStride * c0 + qsizetype {t.w - 8 - r} * 4;
            std::uint8_t* out = t.targetBits + ts * r + qsizetype {c0} * 4;
            for (int c = c0; c < c1; c += 8, in += 8 * step, out += 32) {
                __m256i a[8];
                for (int k = 0; k < 8; ++k)
                    a[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + k * step));
                transpose8(a);
                // a[j] holds pixel j of the source rows read: target row j clockwise, 7 - j
                // counter-clockwise.
                for (int j = 0; j < 8; ++j)
                    _mm256_storeu_si256(
                        reinterpret_cast<__m256i*>(out + ts * (clockwise ? j : 7 - j)), a[j]);
            }
        }
    }
    return QSize(columns, rows);
}

#endif

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
    if (target.size() != size || target.format() != source.format()) {
        target = source.format() == QImage::Format_RGB32
            ? NewPictureBitmap(size.width(), size.height())
            : QImage(size, source.format());
    }
    if (target.isNull())
        return;
    std::uint8_t* targetBits = target.bits();
    const TurnPlan plan {
        source.constBits(), source.bytesPerLine(), targetBits, target.bytesPerLine(),
        source.width(),     source.height(),       direction};
    if (source.depth() == 32) {
        QSize done(0, 0);
#if defined(VISTREL_AVX2_DISPATCH)
        if (hasAvx2())
            done = turnBlocks32Avx2(plan);
#endif
#if defined(__SSE2__)
        if (done.isEmpty())
            done = turnBlocks32(plan);
#endif
        // What the blocks left: the last target rows, then the last columns.
        turnPixels<4>(plan, done.height(), plan.w, 0, plan.h);
        turnPixels<4>(plan, 0, done.height(), done.width(), plan.h);
    } else {
        turnPixels<3>(plan, 0, plan.w, 0, plan.h);
    }
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
    mapPicture(bitmap, makeTable(amount, contrastOf));
}

void AdjustLightness(QImage& bitmap, int amount)
{
    ensureOwnFormat(bitmap, QImage::Format_RGB32);
    mapPicture(bitmap, makeTable(amount, lightnessOf));
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

    // The usual case, every column inside the source, needs no test per pixel.
    const bool columnsInside = std::all_of(cols, cols + span, [sourceWidth](int sx) {
        return static_cast<unsigned>(sx) < sourceWidth;
    });
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
            if (columnsInside) {
                // Unrolled, so that the loop runs at the speed of its loads wherever the
                // linker happens to place it (a one-pixel loop across a 32-byte boundary of
                // the instruction cache ran at half speed).
#pragma GCC unroll 4
                for (std::size_t j = 0; j < span; ++j)
                    out[j] = in[cols[j]];
            } else {
                for (std::size_t j = 0; j < span; ++j) {
                    const auto sx = static_cast<unsigned>(cols[j]);
                    out[j] = sx < sourceWidth ? in[sx] : white;
                }
            }
        }
        previous = out;
    }
}
