// Timing of the picture loader and the pixel operations, each beside the bare library call
// or memory pass it cannot beat, on a generated photo-like picture of 6000 x 4000 and one
// of 1920 x 1080.
#include "harness.h"
#include "photo.h"

#include "imaging/jpeg_graphic.h"
#include "imaging/picture_formats.h"
#include "imaging/pixel_operations.h"
#include "imaging/tests/display_p3.h"
#include "imaging/tests/plain_stretch.h"
#include "imaging/webp_graphic.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <unistd.h>

namespace {

// With profile, the ICC profile embedded in one APP2 segment.
void writeJpeg(const QImage& image, const std::string& path, const QByteArray& profile = {})
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(image.width());
    cinfo.image_height = static_cast<JDIMENSION>(image.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (!profile.isEmpty()) {
        QByteArray segment = QByteArray("ICC_PROFILE\0\1\1", 14) + profile;
        jpeg_write_marker(&cinfo, JPEG_APP0 + 2, reinterpret_cast<const JOCTET*>(segment.data()),
                          static_cast<unsigned>(segment.size()));
    }
    for (int y = 0; y < image.height(); ++y) {
        JSAMPROW row = const_cast<uchar*>(image.constScanLine(y));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

int appendToFile(GifFileType* gif, const GifByteType* bytes, int length)
{
    return static_cast<int>(std::fwrite(bytes, 1, static_cast<std::size_t>(length),
                                        static_cast<std::FILE*>(gif->UserData)));
}

// 256 colours: 3 bits of red, 3 of green, 2 of blue.
void writeGif(const QImage& image, const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    int error = 0;
    GifFileType* gif = EGifOpen(file, appendToFile, &error);
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = GifColorType {static_cast<GifByteType>((i >> 5) * 255 / 7),
                                   static_cast<GifByteType>(((i >> 2) & 7) * 255 / 7),
                                   static_cast<GifByteType>((i & 3) * 255 / 3)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifPutScreenDesc(gif, image.width(), image.height(), 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, image.width(), image.height(), false, nullptr);
    std::vector<GifPixelType> line(static_cast<std::size_t>(image.width()));
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>(
                (qRed(row[x]) >> 5 << 5) | (qGreen(row[x]) >> 5 << 2) | (qBlue(row[x]) >> 6));
        EGifPutLine(gif, line.data(), image.width());
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    std::fclose(file);
}

// libjpeg alone, default settings (24-bit RGB out), into rows that are reused between runs.
void decodeJpegPlain(const std::string& path, std::vector<uchar>& pixels)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t {cinfo.output_width} * cinfo.output_components;
    pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
}

// giflib alone: the first frame's colour indices into a buffer reused between runs.
void decodeGifIndices(const std::string& path, std::vector<GifPixelType>& indices)
{
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (DGifGetRecordType(gif, &type) == GIF_OK && type != IMAGE_DESC_RECORD_TYPE) {
        int code = 0;
        GifByteType* block = nullptr;
        DGifGetExtension(gif, &code, &block);
        while (block)
            DGifGetExtensionNext(gif, &block);
    }
    DGifGetImageDesc(gif);
    const int width = gif->Image.Width;
    indices.resize(static_cast<std::size_t>(width) * gif->Image.Height);
    for (int y = 0; y < gif->Image.Height; ++y)
        DGifGetLine(gif, indices.data() + static_cast<std::size_t>(y) * width, width);
    DGifCloseFile(gif, &error);
}

// The least any BMP reader does: read the file's bytes and widen 24-bit rows to 32 bits.
void readBmpBare(const std::string& path, std::vector<uchar>& bytes, QImage& bitmap)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const auto size = static_cast<std::size_t>(std::filesystem::file_size(path));
    bytes.resize(size);
    if (std::fread(bytes.data(), 1, size, file) != size)
        std::abort();
    std::fclose(file);
    std::uint32_t offset = 0;
    std::memcpy(&offset, bytes.data() + 10, 4);
    const int stride = (bitmap.width() * 3 + 3) & ~3;
    for (int y = 0; y < bitmap.height(); ++y) {
        const uchar* in = bytes.data() + offset + std::size_t(bitmap.height() - 1 - y) * stride;
        auto* out = reinterpret_cast<std::uint32_t*>(bitmap.scanLine(y));
        for (int x = 0; x < bitmap.width(); ++x, in += 3)
            out[x] = 0xFF000000u | std::uint32_t(in[2]) << 16 | std::uint32_t(in[1]) << 8 | in[0];
    }
}

void loaders(const QImage& picture, const std::string& folder)
{
    const std::string tag
        = std::to_string(picture.width()) + "x" + std::to_string(picture.height());
    const std::string jpegPath = folder + "/photo-" + tag + ".jpg";
    const std::string bmpPath = folder + "/photo-" + tag + ".bmp";
    const std::string gifPath = folder + "/photo-" + tag + ".gif";
    writeJpeg(picture, jpegPath);
    picture.save(QString::fromStdString(bmpPath), "BMP");
    writeGif(picture, gifPath);

    std::vector<uchar> reused;
    const double jpegPlain = bench::medianMs([&] { decodeJpegPlain(jpegPath, reused); });
    const double jpegLoad = bench::medianMs([&] { LoadImageFile(jpegPath); });
    bench::report(("JPEG LoadImageFile " + tag).c_str(), jpegLoad, "libjpeg, reused buffer",
                  jpegPlain, 1.15);

    const double bmpQt = bench::medianMs([&] {
        QImageReader reader(QString::fromStdString(bmpPath), "bmp");
        QImage image;
        reader.read(&image);
    });
    const double bmpLoad = bench::medianMs([&] { LoadImageFile(bmpPath); });
    bench::report(("BMP LoadImageFile " + tag).c_str(), bmpLoad, "QImageReader::read", bmpQt, 1.2);
    QImage bare(picture.size(), QImage::Format_RGB32);
    const double bmpBare = bench::medianMs([&] { readBmpBare(bmpPath, reused, bare); });
    bench::report(("  (bare limit) BMP LoadImageFile " + tag).c_str(), bmpLoad,
                  "read bytes + 24-to-32 pass", bmpBare, 1.5);

    std::vector<GifPixelType> indices;
    const double gifPlain = bench::medianMs([&] { decodeGifIndices(gifPath, indices); });
    const double gifLoad = bench::medianMs([&] { LoadImageFile(gifPath); });
    bench::report(("GIF LoadImageFile " + tag).c_str(), gifLoad, "giflib to indices", gifPlain,
                  1.3);

    // PNG, WebP and TIFF beside Qt's own readers of the same files (its plugins write them).
    const auto qtRead = [](const std::string& path, const char* format) {
        QImageReader reader(QString::fromStdString(path), format);
        QImage image;
        reader.read(&image);
    };
    const auto againstQt = [&](const char* format, const char* name, double target) {
        const std::string path = folder + "/photo-" + tag + "." + format;
        picture.save(QString::fromStdString(path), format);
        const double qt = bench::medianMs([&] { qtRead(path, format); });
        const double load = bench::medianMs([&] { LoadImageFile(path); });
        bench::report((std::string(name) + " LoadImageFile " + tag).c_str(), load,
                      "QImageReader::read", qt, target);
    };
    QImageReader::setAllocationLimit(0);
    againstQt("png", "PNG", 0.8);
    againstQt("webp", "WebP", 0);
    againstQt("tiff", "TIFF", 0);
}

// The first look at a large picture: a WebP's scaled decode beside a JPEG's reduced one, for a
// pane of 1400 x 933.
void firstLooks(const QImage& picture, const std::string& folder)
{
    const QSize pane(1400, 933);
    const std::string jpegPath = folder + "/first-look.jpg";
    const std::string webpPath = folder + "/first-look.webp";
    writeJpeg(picture, jpegPath);
    picture.save(QString::fromStdString(webpPath), "webp");
    const double jpeg = bench::medianMs([&] { ReadJpegReduced(jpegPath, pane); });
    const double webp = bench::medianMs([&] { ReadWebpReduced(webpPath, pane); });
    bench::report("WebP first look 6000x4000 into 1400x933", webp, "JPEG first look", jpeg, 1.0);
}

// A photo with an embedded Display P3 profile, converted to sRGB as it is decoded, beside
// the same photo without a profile: the conversion may add at most a quarter.
void colourProfile(const QImage& picture, const std::string& folder)
{
    const std::string tag
        = std::to_string(picture.width()) + "x" + std::to_string(picture.height());
    const std::string plainPath = folder + "/srgb-" + tag + ".jpg";
    const std::string p3Path = folder + "/p3-" + tag + ".jpg";
    writeJpeg(picture, plainPath);
    writeJpeg(picture, p3Path, displayP3Profile());
    const double plain = bench::medianMs([&] { LoadImageFile(plainPath); });
    const double p3 = bench::medianMs([&] { LoadImageFile(p3Path); });
    bench::report(("JPEG with Display P3 profile " + tag).c_str(), p3, "the same, no profile",
                  plain, 1.25);
}

void pixelOperations(const QImage& picture)
{
    const std::string tag
        = std::to_string(picture.width()) + "x" + std::to_string(picture.height());
    const auto bytes = static_cast<std::size_t>(picture.sizeInBytes());
    std::vector<uchar> copy(bytes);
    const double copyMs
        = bench::medianMs([&] { std::memcpy(copy.data(), picture.constBits(), bytes); });

    // Contrast and lightness on screen go through the viewer's channel table, which the
    // adjustment fills from 256 values; viewer_bench times that redraw.

    QImage turned;
    RotateQuarterCW(picture, turned);
    const double cw = bench::medianMs([&] { RotateQuarterCW(picture, turned); });
    bench::report(("rotate CW, RGB32 " + tag).c_str(), cw, "memcpy", copyMs, 4);
    const double ccw = bench::medianMs([&] { RotateQuarterCCW(picture, turned); });
    bench::report(("rotate CCW, RGB32 " + tag).c_str(), ccw, "memcpy", copyMs, 4);

    const QImage narrow = picture.convertToFormat(QImage::Format_BGR888);
    const auto narrowBytes = static_cast<std::size_t>(narrow.sizeInBytes());
    const double narrowCopy
        = bench::medianMs([&] { std::memcpy(copy.data(), narrow.constBits(), narrowBytes); });
    QImage narrowTurned;
    RotateQuarterCW(narrow, narrowTurned);
    const double narrowCw = bench::medianMs([&] { RotateQuarterCW(narrow, narrowTurned); });
    bench::report(("rotate CW, BGR888 " + tag).c_str(), narrowCw, "memcpy", narrowCopy, 4);
}

// The least a shrinking stretch does: bring in every cache line of the source rows it uses.
std::uint32_t readUsedRows(const QImage& source, int targetHeight)
{
    std::uint32_t sum = 0;
    for (int k = 0; k < targetHeight; ++k) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(
            source.constScanLine(StretchIndex(k, targetHeight, source.height())));
        for (int x = 0; x < source.width(); x += 16)
            sum += row[x];
    }
    return sum;
}

void stretches(const QImage& picture)
{
    const auto stretch = [](const QImage& source, QSize size, const char* what) {
        QImage target(size, QImage::Format_RGB32);
        target.fill(Qt::black);
        const auto bytes = static_cast<std::size_t>(target.sizeInBytes());
        const double fill = bench::medianMs([&] { std::memset(target.bits(), 0x7F, bytes); });
        const double ms = bench::medianMs(
            [&] { StretchDraw(target, QRect(QPoint(0, 0), size), source, source.rect()); });
        bench::report(what, ms, "memset of the output", fill, 2.5);
        return ms;
    };
    const double shrink = stretch(picture, QSize(1400, 933), "stretch 6000x4000 into 1400x933");
    volatile std::uint32_t sink = 0;
    const double used = bench::medianMs([&] { sink = sink + readUsedRows(picture, 933); });
    bench::report("  (bare limit) stretch into 1400x933", shrink, "read of the source rows used",
                  used);
    const QImage small = picture.scaled(600, 400);
    stretch(small, QSize(6000, 4000), "stretch 600x400 into 6000x4000");
}

} // namespace

int main()
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path()
        / ("vistrel-imaging-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const QImage full = bench::PhotoLike(6000, 4000, 1);
    const QImage hd = bench::PhotoLike(1920, 1080, 2);
    loaders(full, folder.string());
    loaders(hd, folder.string());
    firstLooks(full, folder.string());
    colourProfile(full, folder.string());
    pixelOperations(hd);
    pixelOperations(full);
    stretches(full);
    std::filesystem::remove_all(folder);
    return 0;
}
