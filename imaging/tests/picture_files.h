// Picture files written by the tests themselves: JPEGs through libjpeg's encoder, GIFs
// through giflib's encoder and icons byte by byte, so that every fixture's content is known.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

namespace picture_files {

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

enum class JpegKind { Colour, Grayscale, AdobeCmyk, AdobeYcck, Progressive };

// A JPEG of image at quality 100. For the CMYK kinds the image's pixels give the inks as
// Adobe stores them, inverted: each byte is 255 minus the ink, cyan from red, magenta from
// green, yellow from blue and black 255 minus black ink from alpha.
inline QByteArray jpegFile(const QImage& image, JpegKind kind)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width());
    cinfo.image_height = static_cast<JDIMENSION>(image.height());
    const bool cmyk = kind == JpegKind::AdobeCmyk || kind == JpegKind::AdobeYcck;
    const bool gray = kind == JpegKind::Grayscale;
    cinfo.input_components = cmyk ? 4 : gray ? 1 : 3;
    cinfo.in_color_space = cmyk ? JCS_CMYK : gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (kind == JpegKind::AdobeYcck)
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    if (kind == JpegKind::Progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(image.width()) * 4);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            unsigned char* out = row.data() + x * cinfo.input_components;
            if (cmyk) {
                out[0] = static_cast<unsigned char>(qRed(p));
                out[1] = static_cast<unsigned char>(qGreen(p));
                out[2] = static_cast<unsigned char>(qBlue(p));
                out[3] = static_cast<unsigned char>(qAlpha(p));
            } else if (gray) {
                out[0] = static_cast<unsigned char>(qGreen(p));
            } else {
                out[0] = static_cast<unsigned char>(qRed(p));
                out[1] = static_cast<unsigned char>(qGreen(p));
                out[2] = static_cast<unsigned char>(qBlue(p));
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return bytes;
}

struct GifFrame
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    int transparent = -1;
    std::vector<QRgb> colours; // the frame's own table; empty for none
    std::vector<unsigned char> indices; // width x height, rows in the order stored
};

namespace detail {

inline int appendBytes(GifFileType* gif, const GifByteType* bytes, int length)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), length);
    return length;
}

inline ColorMapObject* colourMap(const std::vector<QRgb>& colours)
{
    if (colours.empty())
        return nullptr;
    int count = 2;
    while (count < static_cast<int>(colours.size()))
        count *= 2;
    std::vector<GifColorType> table(static_cast<std::size_t>(count), GifColorType {0, 0, 0});
    for (std::size_t i = 0; i < colours.size(); ++i)
        table[i] = GifColorType {static_cast<GifByteType>(qRed(colours[i])),
                                 static_cast<GifByteType>(qGreen(colours[i])),
                                 static_cast<GifByteType>(qBlue(colours[i]))};
    return GifMakeMapObject(count, table.data());
}

} // namespace detail

// A GIF89a file of a width x height screen with an optional global table and its frames.
inline QByteArray gifFile(int width, int height, const std::vector<QRgb>& globalColours,
                          const std::vector<GifFrame>& frames)
{
    QByteArray bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, detail::appendBytes, &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = detail::colourMap(globalColours);
    EGifPutScreenDesc(gif, width, height, 8, 0, global);
    GifFreeMapObject(global);
    for (const GifFrame& frame : frames) {
        if (frame.transparent >= 0) {
            GraphicsControlBlock control {};
            control.DisposalMode = DISPOSAL_UNSPECIFIED;
            control.TransparentColor = frame.transparent;
            GifByteType extension[4];
            const auto length = EGifGCBToExtension(&control, extension);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
        }
        ColorMapObject* local = detail::colourMap(frame.colours);
        EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced,
                         local);
        GifFreeMapObject(local);
        std::vector<GifPixelType> line(static_cast<std::size_t>(frame.width));
        for (int y = 0; y < frame.height; ++y) {
            std::memcpy(line.data(),
                        frame.indices.data() + static_cast<std::size_t>(y) * frame.width,
                        line.size());
            EGifPutLine(gif, line.data(), frame.width);
        }
    }
    EGifCloseFile(gif, &error);
    return bytes;
}

// An icon whose images are 32-bit bitmaps with alpha, each width x width, in the order given.
inline QByteArray iconFile(const std::vector<QImage>& images)
{
    QByteArray directory;
    QByteArray data;
    const auto put16 = [](QByteArray& out, int v) {
        out.append(char(v & 255)).append(char((v >> 8) & 255));
    };
    const auto put32 = [](QByteArray& out, qint64 v) {
        for (int i = 0; i < 4; ++i)
            out.append(char((v >> (8 * i)) & 255));
    };
    put16(directory, 0);
    put16(directory, 1);
    put16(directory, static_cast<int>(images.size()));
    const qint64 dataStart = 6 + 16 * static_cast<qint64>(images.size());
    for (const QImage& source : images) {
        const QImage image = source.convertToFormat(QImage::Format_ARGB32);
        const int w = image.width();
        const int h = image.height();
        const int maskStride = ((w + 31) / 32) * 4;
        QByteArray entry;
        put32(entry, 40);
        put32(entry, w);
        put32(entry, 2 * h); // the colour bitmap and the mask, stacked
        put16(entry, 1);
        put16(entry, 32);
        put32(entry, 0);
        put32(entry, qint64 {w} * h * 4 + qint64 {maskStride} * h);
        put32(entry, 0);
        put32(entry, 0);
        put32(entry, 0);
        put32(entry, 0);
        for (int y = h - 1; y >= 0; --y)
            for (int x = 0; x < w; ++x)
                put32(entry, image.pixel(x, y));
        for (int y = h - 1; y >= 0; --y)
            for (int x = 0; x < maskStride; ++x)
                entry.append(char(0));
        directory.append(char(w >= 256 ? 0 : w)).append(char(h >= 256 ? 0 : h));
        directory.append(char(0)).append(char(0));
        put16(directory, 1);
        put16(directory, 32);
        put32(directory, entry.size());
        put32(directory, dataStart + data.size());
        data.append(entry);
    }
    return directory + data;
}

} // namespace picture_files
