#include "imaging/png_graphic.h"

#include "imaging/colour_profile.h"
#include "imaging/exif_orientation.h"
#include "imaging/graphic.h"
#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <spng.h>

namespace {

// Far more than any profile or Exif block; a larger ancillary chunk is left unread, and all
// of them together are held to the second figure.
constexpr std::size_t maxChunkBytes = std::size_t {16} << 20;
constexpr std::size_t maxChunkCache = std::size_t {64} << 20;

struct ContextFree
{
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using Context = std::unique_ptr<spng_ctx, ContextFree>;

// A decoding context on the file's stream or on bytes in memory, with the header read; null
// when there is no PNG header.
Context openContext(std::FILE* stream, const unsigned char* bytes, std::size_t size)
{
    // Each chunk's checksum is checked (the picture data's too); the Adler-32 inside the
    // compressed data, which guards the same bytes again, is not.
    Context context(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32));
    if (!context || spng_set_chunk_limits(context.get(), maxChunkBytes, maxChunkCache) != 0)
        return nullptr;
    const int set = stream ? spng_set_png_file(context.get(), stream)
                           : spng_set_png_buffer(context.get(), bytes, size);
    spng_ihdr header {};
    if (set != 0 || spng_get_ihdr(context.get(), &header) != 0)
        return nullptr;
    return context;
}

// A 16-bit sample to 8 bits, to the nearest.
inline unsigned narrow(std::uint16_t value)
{
    return (value * 255u + 32767u) / 65535u;
}

// One row of RGB8 samples as BGRX.
void rgbRow(const unsigned char* in, uchar* out, int width)
{
    auto* pixels = reinterpret_cast<std::uint32_t*>(out);
    for (int x = 0; x < width; ++x, in += 3)
        pixels[x] = 0xFF000000u | std::uint32_t {in[0]} << 16 | std::uint32_t {in[1]} << 8 | in[2];
}

// One row of RGBA8 samples (may be the row itself) as BGRX on white.
void rgbaRow(const unsigned char* in, uchar* out, int width)
{
    auto* pixels = reinterpret_cast<std::uint32_t*>(out);
    for (int x = 0; x < width; ++x, in += 4)
        pixels[x] = OnWhite(qRgba(in[0], in[1], in[2], in[3]));
}

// One row of RGBA16 samples as BGRX on white, each narrowed to the nearest 8-bit value first.
void rgba16Row(const std::uint16_t* in, uchar* out, int width)
{
    auto* pixels = reinterpret_cast<std::uint32_t*>(out);
    for (int x = 0; x < width; ++x, in += 4)
        pixels[x] = OnWhite(qRgba(narrow(in[0]), narrow(in[1]), narrow(in[2]), narrow(in[3])));
}

// How the header's picture is decoded: which of libspng's formats, and the bytes a pixel of
// it takes.
struct Layout
{
    int format = SPNG_FMT_RGBA8;
    int bytesPerPixel = 4;
    bool interlaced = false;
};

Layout layoutOf(const spng_ihdr& header, bool transparentColour)
{
    Layout layout;
    layout.interlaced = header.interlace_method != 0;
    // An interlaced 8-bit picture is decoded into the picture's own four bytes a pixel.
    if (header.bit_depth == 16) {
        layout.format = SPNG_FMT_RGBA16;
        layout.bytesPerPixel = 8;
    } else if (header.color_type == SPNG_COLOR_TYPE_TRUECOLOR && !transparentColour
               && !layout.interlaced) {
        // The file's own samples, RGB8: no conversion in libspng.
        layout.format = SPNG_FMT_PNG;
        layout.bytesPerPixel = 3;
    }
    return layout;
}

bool hasTransparentColour(spng_ctx* context)
{
    spng_trns trns {};
    return spng_get_trns(context, &trns) == 0;
}

// The profile the picture's colours are in, when it carries one; none for an sRGB chunk or a
// profile of a kind its samples do not have.
std::vector<unsigned char> profileOf(spng_ctx* context)
{
    spng_iccp iccp {};
    if (spng_get_iccp(context, &iccp) != 0 || !iccp.profile)
        return {};
    const auto* data = reinterpret_cast<const unsigned char*>(iccp.profile);
    return {data, data + iccp.profile_len};
}

// The Exif orientation of a chunk before the pixels; 1 when there is none.
int orientationOf(spng_ctx* context)
{
    spng_exif exif {};
    if (spng_get_exif(context, &exif) != 0 || !exif.data)
        return 1;
    return ExifBlockOrientation(reinterpret_cast<const unsigned char*>(exif.data), exif.length);
}

// The bytes of a band of rows a decode fills while the band before it is finished.
constexpr std::size_t maxBandBytes = std::size_t {1} << 20;

// Finishes bands of decoded rows on a thread of its own while the decoder fills the next
// one: a decode then costs little more than libspng's own work. Without a second core, or a
// thread to be had, the caller's thread finishes each band itself.
class BandWorker
{
public:
    // With one band alone there is nothing to overlap: no thread.
    BandWorker(std::function<void(int)> finishBand, bool oneBand)
        : finish(std::move(finishBand))
    {
        if (oneBand || std::thread::hardware_concurrency() < 2)
            return;
        try {
            worker = std::thread([this] { run(); });
        } catch (...) {
            // No thread: the bands are finished as they come.
        }
    }
    // Waits for the band under way: its rows must outlive it.
    ~BandWorker() { Finish(); }
    BandWorker(const BandWorker&) = delete;
    BandWorker& operator=(const BandWorker&) = delete;

    // Waits until the band handed before is finished, then hands this one.
    void Hand(int band)
    {
        if (!worker.joinable()) {
            finish(band);
            return;
        }
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return pending < 0; });
        pending = band;
        changed.notify_all();
    }

    // Returns once every band handed is finished.
    void Finish()
    {
        if (!worker.joinable())
            return;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] { return pending < 0; });
            stopping = true;
        }
        changed.notify_all();
        worker.join();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return pending >= 0 || stopping; });
            if (pending < 0)
                return;
            const int band = pending;
            lock.unlock();
            finish(band);
            lock.lock();
            pending = -1;
            changed.notify_all();
        }
    }

    std::function<void(int)> finish;
    std::mutex mutex;
    std::condition_variable changed;
    int pending = -1; // the band being finished
    bool stopping = false;
    std::thread worker;
};

QImage decode(spng_ctx* context, const std::function<bool()>* keepGoing)
{
    spng_ihdr header {};
    if (spng_get_ihdr(context, &header) != 0 || !FitsPictureLimit(header.width, header.height))
        return {};
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height);
    const Layout layout = layoutOf(header, hasTransparentColour(context));
    // Read before the pixels: an Exif chunk after them does not count.
    const int orientation = orientationOf(context);
    const std::vector<unsigned char> profile = profileOf(context);
    const bool grey = header.color_type == SPNG_COLOR_TYPE_GRAYSCALE
        || header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA;
    // Interlaced rows come back in several passes, each written into its whole row: an
    // interlaced 16-bit picture is decoded whole beside ours (ReadPngHeader counts it).
    std::vector<std::uint16_t> whole;
    if (layout.interlaced && layout.bytesPerPixel == 8) {
        if (std::int64_t {12} * width * height > MaxPictureBytes)
            return {};
        whole.resize(std::size_t {header.width} * header.height * 4);
    }
    if (spng_decode_image(context, nullptr, 0, layout.format,
                          SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE)
        != 0)
        return {};
    QImage picture = NewPictureBitmap(width, height);
    if (picture.isNull())
        return {};
    SrgbConversion conversion;
    if (grey)
        conversion.PrepareGrey(profile);
    else
        conversion.Prepare(profile);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * layout.bytesPerPixel;
    // Turns decoded rows into BGRX in sRGB on white.
    const auto finish = [&](const unsigned char* in, uchar* out) {
        if (layout.format == SPNG_FMT_PNG)
            rgbRow(in, out, width);
        else if (layout.format == SPNG_FMT_RGBA8)
            rgbaRow(in, out, width);
        else
            rgba16Row(reinterpret_cast<const std::uint16_t*>(in), out, width);
        conversion.Convert(out, width);
    };
    if (layout.interlaced) {
        // Rows come in several passes, each written into its whole row (of the picture
        // itself, which has four bytes a pixel, or of the whole 16-bit picture).
        for (int result = 0; result != SPNG_EOI;) {
            spng_row_info info {};
            if ((keepGoing && !(*keepGoing)()) || spng_get_row_info(context, &info) != 0)
                return {};
            const auto y = static_cast<std::size_t>(info.row_num);
            unsigned char* into = whole.empty()
                ? picture.scanLine(static_cast<int>(y))
                : reinterpret_cast<unsigned char*>(whole.data() + 4 * y * header.width);
            result = spng_decode_row(context, into, rowBytes);
            if (result != 0 && result != SPNG_EOI)
                return {};
        }
        for (int y = 0; y < height; ++y) {
            uchar* out = picture.scanLine(y);
            finish(whole.empty() ? out
                                 : reinterpret_cast<const unsigned char*>(
                                     whole.data() + std::size_t {4} * width * y),
                   out);
        }
        return OrientPicture(std::move(picture), orientation);
    }
    // Bands of rows in turn: one is decoded while the one before it is finished.
    const int bandRows = static_cast<int>(std::clamp<std::size_t>(maxBandBytes / rowBytes, 1, 16));
    std::vector<unsigned char> bands[2];
    for (std::vector<unsigned char>& band : bands)
        band.resize(rowBytes * static_cast<std::size_t>(std::min(bandRows, height)));
    BandWorker worker(
        [&](int band) {
            const int first = band * bandRows;
            const unsigned char* rows = bands[band % 2].data();
            for (int y = first; y < std::min(height, first + bandRows); ++y)
                finish(rows + static_cast<std::size_t>(y - first) * rowBytes, picture.scanLine(y));
        },
        height <= bandRows);
    for (int band = 0, y = 0; y < height; ++band) {
        unsigned char* rows = bands[band % 2].data();
        for (const int first = y; y < std::min(height, first + bandRows); ++y) {
            if (keepGoing && !(*keepGoing)())
                return {};
            const int result = spng_decode_row(
                context, rows + static_cast<std::size_t>(y - first) * rowBytes, rowBytes);
            if (result != 0 && (result != SPNG_EOI || y != height - 1))
                return {};
        }
        worker.Hand(band);
    }
    worker.Finish();
    return OrientPicture(std::move(picture), orientation);
}

QImage readFile(const std::string& fileName, const std::function<bool()>* keepGoing)
{
    PictureFile file(fileName);
    const PictureStream stream = file.stream();
    if (!stream)
        return {};
    const Context context = openContext(stream.get(), nullptr, 0);
    return context ? decode(context.get(), keepGoing) : QImage();
}

} // namespace

QImage ReadPngFile(const std::string& fileName)
{
    return readFile(fileName, nullptr);
}

QImage ReadPngFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing)
{
    return readFile(fileName, keepGoing ? &keepGoing : nullptr);
}

QImage ReadPngBytes(const unsigned char* bytes, std::size_t size)
{
    const Context context = openContext(nullptr, bytes, size);
    return context ? decode(context.get(), nullptr) : QImage();
}

QSize ReadPngHeader(const std::string& fileName, std::int64_t* decodeBytes)
{
    PictureFile file(fileName);
    const PictureStream stream = file.stream();
    const Context context = stream ? openContext(stream.get(), nullptr, 0) : nullptr;
    spng_ihdr header {};
    if (!context || spng_get_ihdr(context.get(), &header) != 0)
        return {};
    QSize size(static_cast<int>(header.width), static_cast<int>(header.height));
    if (FitsPictureLimit(header.width, header.height) && header.interlace_method != 0
        && header.bit_depth == 16)
        *decodeBytes = std::int64_t {12} * header.width * header.height;
    if (OrientationTurns(orientationOf(context.get())))
        size.transpose();
    return size;
}
