#include "imaging/heif_graphic.h"

#include "imaging/colour_profile.h"
#include "imaging/graphic.h"
#include "imaging/heif_canvas.h"
#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <QByteArray>

#include <memory>
#include <vector>

#include <libheif/heif.h>

namespace {

// Far more than any photo; the whole file is held in memory while it is decoded.
constexpr qint64 maxHeifBytes = qint64 {1} << 30;

struct HeifDeleter
{
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(heif_image* image) const { heif_image_release(image); }
};

template<typename T> using HeifPointer = std::unique_ptr<T, HeifDeleter>;

// The ICC profile the picture carries; none when it has none or only colour codes (nclx).
std::vector<unsigned char> iccProfile(const heif_image_handle* handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC)
        return {};
    std::vector<unsigned char> profile(heif_image_handle_get_raw_color_profile_size(handle));
    if (profile.empty()
        || heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
        return {};
    return profile;
}

// The primary picture of the file context has read; null when there is none.
HeifPointer<heif_image_handle> primaryOf(heif_context* context)
{
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(context, &primary).code != heif_error_Ok)
        return nullptr;
    return HeifPointer<heif_image_handle>(primary);
}

// The file as libheif's reader, so that reading the boxes that describe the pictures does not
// read the coded pixels too.
PictureFile& fileOf(void* userdata)
{
    return *static_cast<PictureFile*>(userdata);
}

constexpr heif_reader heifFileReader {
    1, [](void* userdata) -> int64_t { return fileOf(userdata).pos(); },
    [](void* data, size_t size, void* userdata) {
        const qint64 count = static_cast<qint64>(size);
        return fileOf(userdata).read(data, count) == count ? 0 : 1;
    },
    [](int64_t offset, void* userdata) { return fileOf(userdata).seek(offset) ? 0 : 1; },
    [](int64_t size, void* userdata) {
        return size > fileOf(userdata).size() ? heif_reader_grow_status_size_beyond_eof
                                              : heif_reader_grow_status_size_reached;
    }};

// Measured over a 2000 x 1200 decode, the peak of the process's memory: an 8-bit HEIC
// 15.3 bytes a pixel, an 8-bit AVIF 16.9, a 10-bit HEIC 20.6 (its planes hold 16-bit
// samples); an alpha plane is decoded as a picture of its own.
long long decodeBytesPerPixel(const heif_image_handle* handle)
{
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle) > 8;
    return (deep ? 24 : 18) + (heif_image_handle_has_alpha_channel(handle) ? 4 : 0);
}

} // namespace

QSize ReadHeifSize(const std::string& fileName, long long* bytesPerPixel)
{
    PictureFile file(fileName);
    if (!file.isOpen())
        return {};
    const HeifPointer<heif_context> context(heif_context_alloc());
    if (!context
        || heif_context_read_from_reader(context.get(), &heifFileReader, &file, nullptr).code
            != heif_error_Ok)
        return {};
    const HeifPointer<heif_image_handle> handle = primaryOf(context.get());
    if (!handle)
        return {};
    if (bytesPerPixel)
        *bytesPerPixel = decodeBytesPerPixel(handle.get());
    return {heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get())};
}

QImage ReadHeifFile(const std::string& fileName)
{
    PictureFile file(fileName);
    if (!file.isOpen() || file.size() > maxHeifBytes)
        return {};
    QByteArray bytes(static_cast<qsizetype>(file.size()), Qt::Uninitialized);
    if (file.read(bytes.data(), bytes.size()) != bytes.size())
        return {};

    const HeifPointer<heif_context> context(heif_context_alloc());
    if (!context
        || heif_context_read_from_memory_without_copy(
               context.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()), nullptr)
                .code
            != heif_error_Ok)
        return {};
    const HeifPointer<heif_image_handle> handle = primaryOf(context.get());
    if (!handle)
        return {};

    // The size after the file's turn and mirror, which the decode applies.
    const long long width = heif_image_handle_get_width(handle.get());
    const long long height = heif_image_handle_get_height(handle.get());
    const long long bytesPerPixel = decodeBytesPerPixel(handle.get());
    const auto fits = [bytesPerPixel](long long w, long long h) {
        return FitsPictureLimit(w, h) && bytesPerPixel * w * h <= MaxPictureBytes;
    };
    if (!fits(width, height))
        return {};
    // A grid or an overlay is composed on a canvas of the size its own description gives,
    // which libheif allocates without holding it to the size above.
    const auto canvases
        = ReadHeifCanvases(reinterpret_cast<const unsigned char*>(bytes.constData()),
                           static_cast<std::size_t>(bytes.size()));
    if (!canvases)
        return {};
    for (const HeifCanvas& canvas : *canvases)
        if (!fits(canvas.width, canvas.height))
            return {};

    heif_image* decoded = nullptr;
    if (heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          nullptr)
            .code
        != heif_error_Ok)
        return {};
    const HeifPointer<heif_image> image(decoded);
    int stride = 0;
    const uint8_t* pixels
        = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!pixels || heif_image_get_width(image.get(), heif_channel_interleaved) != width
        || heif_image_get_height(image.get(), heif_channel_interleaved) != height
        || stride < 4 * width)
        return {};

    QImage picture = NewPictureBitmap(static_cast<int>(width), static_cast<int>(height));
    if (picture.isNull())
        return {};
    for (long long y = 0; y < height; ++y) {
        const uint8_t* in = pixels + y * stride;
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(static_cast<int>(y)));
        for (long long x = 0; x < width; ++x, in += 4)
            out[x] = in[3] == 255 ? qRgb(in[0], in[1], in[2])
                                  : OnWhite(qRgba(in[0], in[1], in[2], in[3]));
    }
    ConvertPictureToSrgb(picture, iccProfile(handle.get()));
    return picture;
}
