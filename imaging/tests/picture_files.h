// Picture files written by the tests themselves: JPEGs through libjpeg's encoder, GIFs
// through giflib's encoder and icons byte by byte, so that every fixture's content is known.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <algorithm>
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
// green, yellow from blue and black 255 minus black ink from alpha. markers (code, payload)
// are written before the picture, in their order.
struct JpegMarker
{
    int code;
    QByteArray payload;
};
inline QByteArray jpegFile(const QImage& image, JpegKind kind,
                           const std::vector<JpegMarker>& markers = {})
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
    for (const JpegMarker& marker : markers)
        jpeg_write_marker(&cinfo, marker.code,
                          reinterpret_cast<const JOCTET*>(marker.payload.constData()),
                          static_cast<unsigned>(marker.payload.size()));
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

namespace detail {

inline void put(QByteArray& out, qint64 value, int size)
{
    for (int i = 0; i < size; ++i)
        out.append(char((value >> (8 * i)) & 255));
}

} // namespace detail

// A device-independent bitmap as a BMP file or an icon's entry stores it.
struct Dib
{
    int headerSize = 40; // 12, 16 or 64 (OS/2), 40, 52, 56, 108 or 124
    int width = 0;
    int height = 0; // negative: rows stored top row first
    int bits = 24;
    int compression = 0;
    std::vector<quint32> masks; // in the header from 52 bytes on, else after it
    std::vector<QRgb> palette;
    QByteArray pixels; // as stored
    int gap = 0; // bytes between the colour table and the pixels
};

// The info header, masks, colour table, gap and pixels.
inline QByteArray dibBytes(const Dib& dib)
{
    QByteArray out;
    using detail::put;
    put(out, dib.headerSize, 4);
    if (dib.headerSize == 12) {
        put(out, dib.width, 2);
        put(out, dib.height, 2);
        put(out, 1, 2);
        put(out, dib.bits, 2);
    } else {
        put(out, dib.width, 4);
        put(out, dib.height, 4);
        put(out, 1, 2);
        put(out, dib.bits, 2);
        put(out, dib.compression, 4);
        put(out, dib.pixels.size(), 4);
        put(out, 2835, 4);
        put(out, 2835, 4);
        put(out, static_cast<qint64>(dib.palette.size()), 4);
        put(out, 0, 4);
        for (std::size_t i = 0; i < dib.masks.size() && dib.headerSize >= 52; ++i)
            put(out, dib.masks[i], 4);
        // OS/2's 16-byte header is the first fields only.
        out = out.left(dib.headerSize);
        out.append(QByteArray(dib.headerSize - out.size(), '\0'));
        for (std::size_t i = 0; i < dib.masks.size() && dib.headerSize == 40; ++i)
            put(out, dib.masks[i], 4);
    }
    for (QRgb colour : dib.palette)
        put(out, colour & 0xFFFFFF, dib.headerSize == 12 ? 3 : 4);
    out.append(QByteArray(dib.gap, '\x5a'));
    return out + dib.pixels;
}

// A BMP file: the file header, whose pixel offset points past the gap, and the bitmap.
inline QByteArray bitmapFile(const Dib& dib)
{
    const QByteArray bitmap = dibBytes(dib);
    QByteArray out("BM");
    detail::put(out, 14 + bitmap.size(), 4);
    detail::put(out, 0, 4);
    detail::put(out, 14 + bitmap.size() - dib.pixels.size(), 4);
    return out + bitmap;
}

// Rows of width values of bits each (colour indices or packed pixels), given top row
// first, stored bottom row first unless topDown, each padded to 4 bytes.
inline QByteArray packRows(const std::vector<quint32>& values, int width, int bits, bool topDown)
{
    const int height = static_cast<int>(values.size()) / width;
    const int stride = (width * bits + 31) / 32 * 4;
    QByteArray out(stride * height, '\0');
    for (int y = 0; y < height; ++y) {
        char* row = out.data() + stride * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const quint32 v = values[static_cast<std::size_t>(y * width + x)];
            if (bits < 8) {
                row[x * bits / 8] = char(row[x * bits / 8] | v << (8 - bits - x * bits % 8));
            } else {
                for (int i = 0; i < bits / 8; ++i)
                    row[x * bits / 8 + i] = char((v >> (8 * i)) & 255);
            }
        }
    }
    return out;
}

// An icon of the given entries (bitmaps as dibBytes gives them, or PNG files), each listed
// in the directory as directorySize pixels square, or by its own header's size when 0.
inline QByteArray iconOfEntries(const std::vector<QByteArray>& entries, int directorySize = 0)
{
    QByteArray directory;
    QByteArray data;
    using detail::put;
    put(directory, 0, 2);
    put(directory, 1, 2);
    put(directory, static_cast<qint64>(entries.size()), 2);
    const qint64 dataStart = 6 + 16 * static_cast<qint64>(entries.size());
    for (const QByteArray& entry : entries) {
        const auto byte = [&entry](int at) {
            return static_cast<uchar>(entry[at]);
        };
        const int width = directorySize ? directorySize : byte(4) | byte(5) << 8;
        const int height = directorySize ? directorySize : (byte(8) | byte(9) << 8) / 2;
        directory.append(char(width & 255)).append(char(height & 255));
        directory.append(char(0)).append(char(0));
        put(directory, 1, 2);
        put(directory, 32, 2);
        put(directory, entry.size(), 4);
        put(directory, dataStart + data.size(), 4);
        data.append(entry);
    }
    return directory + data;
}

// An icon's bitmap entry of image at the given depth (colours from palette for 8 bits and
// less), with its AND mask: mask's non-zero values mark transparent pixels.
inline QByteArray iconEntry(const QImage& image, int bits, const std::vector<QRgb>& palette,
                            const std::vector<quint32>& mask, int headerSize = 40)
{
    const int w = image.width();
    const int h = image.height();
    std::vector<quint32> values;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb p = image.pixel(x, y);
            if (bits <= 8) {
                const auto found = std::find(palette.begin(), palette.end(), p | 0xFF000000u);
                values.push_back(static_cast<quint32>(found - palette.begin()));
            } else {
                values.push_back(bits == 32 ? p : p & 0xFFFFFF);
            }
        }
    Dib dib;
    dib.headerSize = headerSize;
    dib.width = w;
    dib.height = 2 * h; // the colour bitmap and the mask, stacked
    dib.bits = bits;
    dib.palette = palette;
    dib.pixels = packRows(values, w, bits, false)
        + packRows(mask.empty() ? std::vector<quint32>(static_cast<std::size_t>(w * h), 0) : mask,
                   w, 1, false);
    return dibBytes(dib);
}

// An icon whose images are 32-bit bitmaps with alpha, each width x width, in the order given.
inline QByteArray iconFile(const std::vector<QImage>& images)
{
    std::vector<QByteArray> entries;
    for (const QImage& image : images)
        entries.push_back(iconEntry(image.convertToFormat(QImage::Format_ARGB32), 32, {}, {}));
    return iconOfEntries(entries);
}

} // namespace picture_files
