#include "imaging/webp_graphic.h"

#include "imaging/colour_profile.h"
#include "imaging/exif_orientation.h"
#include "imaging/graphic.h"
#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

namespace {

// Far more than any real WebP; the whole file is held while it decodes.
constexpr qint64 maxFileBytes = qint64 {1} << 30;
// Far more than any camera's Exif block or a profile; a larger chunk is left unread.
constexpr std::size_t maxChunkBytes = std::size_t {16} << 20;
// The coded data taken in at a time by a decode that may be given up.
constexpr std::size_t stepBytes = std::size_t {64} << 10;

std::vector<std::uint8_t> readAll(const std::string& fileName)
{
    PictureFile file(fileName);
    if (!file.isOpen() || file.size() > maxFileBytes)
        return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.size()));
    if (file.read(bytes.data(), file.size()) != file.size())
        return {};
    return bytes;
}

struct DemuxDelete
{
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
using Demux = std::unique_ptr<WebPDemuxer, DemuxDelete>;

struct AnimDelete
{
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The data of the first chunk of type fourcc; empty when there is none or it is too large.
std::vector<std::uint8_t> chunkOf(const WebPDemuxer* demux, const char* fourcc)
{
    WebPChunkIterator chunk {};
    std::vector<std::uint8_t> data;
    if (WebPDemuxGetChunk(demux, fourcc, 1, &chunk)) {
        if (chunk.chunk.size <= maxChunkBytes)
            data.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    return data;
}

// The orientation an Exif block records; some writers keep the "Exif\0\0" that a JPEG's
// block starts with.
int exifOrientation(const std::vector<std::uint8_t>& exif)
{
    if (exif.empty())
        return 1;
    const bool jpegHeader = exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0;
    return jpegHeader ? ExifOrientation(exif.data(), exif.size())
                      : ExifBlockOrientation(exif.data(), exif.size());
}

// The bytes a pixel libwebp holds beside our picture: an animation's two canvases and a
// frame's plane; a lossless picture's ARGB plane; a lossy one's alpha plane (its rows are
// less). A kind not yet told (format 0) counts as the most a still picture takes.
int libwebpBytesPerPixel(bool animated, int format)
{
    return animated ? 12 : format == 1 ? 1 : 4;
}

// BGRA pixels (libwebp's, not premultiplied) on white as BGRX, row by row.
void flatten(QImage& picture)
{
    for (int y = 0; y < picture.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            row[x] = OnWhite(row[x]);
    }
}

// An animation's first frame on its canvas (libwebp's two canvases beside ours).
QImage firstFrame(const std::vector<std::uint8_t>& bytes, int width, int height)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return {};
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData data {bytes.data(), bytes.size()};
    const std::unique_ptr<WebPAnimDecoder, AnimDelete> decoder(WebPAnimDecoderNew(&data, &options));
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!decoder || !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
        return {};
    QImage picture = NewPictureBitmap(width, height);
    if (picture.isNull())
        return {};
    for (int y = 0; y < height; ++y)
        std::memcpy(picture.scanLine(y), canvas + std::size_t {4} * width * y,
                    std::size_t {4} * width);
    return picture;
}

// A still picture decoded into picture's memory (scaled when its size is not the
// picture's own); keepGoing (may be null) is asked as the data is taken in.
bool decodeStill(const std::vector<std::uint8_t>& bytes, QImage& picture, QSize full,
                 const std::function<bool()>* keepGoing)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return false;
    config.output.colorspace = MODE_BGRA;
    // The in-loop filter and the output on a second thread.
    config.options.use_threads = 1;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = picture.bits();
    config.output.u.RGBA.stride = static_cast<int>(picture.bytesPerLine());
    config.output.u.RGBA.size = static_cast<std::size_t>(picture.sizeInBytes());
    if (picture.size() != full) {
        // Speed over exactness: the full picture replaces this one.
        config.options.use_scaling = 1;
        config.options.scaled_width = picture.width();
        config.options.scaled_height = picture.height();
        config.options.bypass_filtering = 1;
        config.options.no_fancy_upsampling = 1;
    }
    if (!keepGoing) {
        const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
        WebPFreeDecBuffer(&config.output);
        return status == VP8_STATUS_OK;
    }
    WebPIDecoder* decoder = WebPIDecode(nullptr, 0, &config);
    if (!decoder)
        return false;
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    for (std::size_t taken = 0; status == VP8_STATUS_SUSPENDED && taken < bytes.size();) {
        if (!(*keepGoing)())
            break;
        taken = std::min(bytes.size(), taken + stepBytes);
        status = WebPIUpdate(decoder, bytes.data(), taken);
    }
    WebPIDelete(decoder);
    WebPFreeDecBuffer(&config.output);
    return status == VP8_STATUS_OK;
}

// The file's picture, or with reduceFor a first look reduced for that area (null when it is
// not reduced); fullSize gets the upright size once the headers are read.
QImage decode(const std::string& fileName, const QSize* reduceFor,
              const std::function<bool()>* keepGoing, QSize* fullSize = nullptr)
{
    const std::vector<std::uint8_t> bytes = readAll(fileName);
    const WebPData data {bytes.data(), bytes.size()};
    const Demux demux(bytes.empty() ? nullptr : WebPDemux(&data));
    if (!demux)
        return {};
    const auto width = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
    const auto height = static_cast<int>(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
    if (!FitsPictureLimit(width, height))
        return {};
    const bool animated = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG;
    WebPBitstreamFeatures features {};
    WebPGetFeatures(bytes.data(), bytes.size(), &features);
    // libwebp's memory beside ours stays within the limit too.
    if (std::int64_t {4 + libwebpBytesPerPixel(animated, features.format)} * width * height
        > MaxPictureBytes)
        return {};
    const int orientation = exifOrientation(chunkOf(demux.get(), "EXIF"));
    const QSize full(width, height);
    if (fullSize)
        *fullSize = OrientationTurns(orientation) ? full.transposed() : full;
    QImage picture;
    if (reduceFor) {
        const QSize area = OrientationTurns(orientation) ? reduceFor->transposed() : *reduceFor;
        const QSize shown = ShownSize(full, area);
        if (animated || std::int64_t {width} * height < MinReducedPixels || shown == full)
            return {};
        // From the ordinary heap: it lives only until the full picture arrives.
        picture = QImage(shown, QImage::Format_ARGB32);
        if (picture.isNull() || !decodeStill(bytes, picture, full, nullptr))
            return {};
    } else if (animated) {
        picture = firstFrame(bytes, width, height);
    } else {
        picture = NewPictureBitmap(width, height);
        if (picture.isNull() || !decodeStill(bytes, picture, full, keepGoing))
            return {};
    }
    if (picture.isNull())
        return {};
    // An opaque picture's alpha is 255 throughout.
    if (animated || features.has_alpha)
        flatten(picture);
    picture.reinterpretAsFormat(QImage::Format_RGB32);
    ConvertPictureToSrgb(picture, chunkOf(demux.get(), "ICCP"));
    return OrientPicture(std::move(picture), orientation);
}

// Each chunk of a RIFF file: its type, its data's length, the data, a byte of padding after
// an odd length. The data of the first chunk of type fourcc within the length the RIFF
// header gives, found by reading the chunks' headers alone; empty when there is none.
std::vector<std::uint8_t> findChunk(PictureFile& file, const char* fourcc)
{
    unsigned char header[12];
    if (!file.seek(0) || file.read(header, 12) != 12)
        return {};
    const qint64 end = std::min(file.size(),
                                8
                                    + qint64 {header[4] | header[5] << 8 | header[6] << 16
                                              | std::uint32_t {header[7]} << 24});
    for (qint64 at = 12; at + 8 <= end;) {
        if (!file.seek(at) || file.read(header, 8) != 8)
            return {};
        const qint64 length
            = header[4] | header[5] << 8 | header[6] << 16 | std::uint32_t {header[7]} << 24;
        if (length > end - at - 8)
            return {};
        if (std::memcmp(header, fourcc, 4) == 0) {
            if (static_cast<std::size_t>(length) > maxChunkBytes)
                return {};
            std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
            return file.read(data.data(), length) == length ? data : std::vector<std::uint8_t>();
        }
        at += 8 + length + (length & 1);
    }
    return {};
}

} // namespace

QImage ReadWebpFile(const std::string& fileName)
{
    return decode(fileName, nullptr, nullptr);
}

QImage ReadWebpFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing)
{
    return decode(fileName, nullptr, keepGoing ? &keepGoing : nullptr);
}

ReducedPicture ReadWebpReduced(const std::string& fileName, QSize area)
{
    ReducedPicture reduced;
    reduced.picture = decode(fileName, &area, nullptr, &reduced.fullSize);
    return reduced;
}

QSize ReadWebpHeader(const std::string& fileName, std::int64_t* decodeBytes)
{
    PictureFile file(fileName);
    // The headers a still picture's or an animation's size and kind are told by.
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<qint64>(file.size(), 1024)));
    WebPBitstreamFeatures features {};
    if (!file.isOpen()
        || file.read(head.data(), static_cast<qint64>(head.size()))
            != static_cast<qint64>(head.size()))
        return {};
    const VP8StatusCode status = WebPGetFeatures(head.data(), head.size(), &features);
    if (status != VP8_STATUS_OK && status != VP8_STATUS_NOT_ENOUGH_DATA)
        return {};
    // Only an extended file (VP8X first) says its canvas, and has the chunks below.
    const bool extended = head.size() >= 30 && std::memcmp(head.data() + 12, "VP8X", 4) == 0;
    int width = features.width;
    int height = features.height;
    bool animated = features.has_animation;
    if (extended) {
        animated = head[20] & ANIMATION_FLAG;
        const auto field = [&](int at) {
            return 1 + (head[at] | head[at + 1] << 8 | head[at + 2] << 16);
        };
        width = field(24);
        height = field(27);
    }
    QSize size(width, height);
    if (size.isEmpty())
        return {};
    if (FitsPictureLimit(width, height)) {
        const int libwebp = libwebpBytesPerPixel(animated, features.format);
        *decodeBytes = std::int64_t {4 + libwebp} * width * height + file.size();
    }
    const int orientation = extended ? exifOrientation(findChunk(file, "EXIF")) : 1;
    return OrientationTurns(orientation) ? size.transposed() : size;
}
