#include "imaging/tiff_graphic.h"

#include "imaging/colour_profile.h"
#include "imaging/exif_orientation.h"
#include "imaging/graphic.h"
#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <tiffio.h>

namespace {

// The most libtiff allocates at once (a strip's or a tile's buffers, tag data); the picture
// itself is ours.
constexpr tmsize_t maxLibtiffAllocation = tmsize_t {1} << 30;
// Pages looked at for a reduced one; real pyramids have a dozen.
constexpr int maxPages = 64;

// libtiff reads the file through PictureFile's rules (regular files only, nothing past the
// size at opening).
tmsize_t readFile(thandle_t handle, void* into, tmsize_t count)
{
    return static_cast<PictureFile*>(handle)->read(into, count);
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t seekFile(thandle_t handle, toff_t offset, int whence)
{
    auto* file = static_cast<PictureFile*>(handle);
    const auto signedOffset = static_cast<qint64>(offset);
    const qint64 target = whence == SEEK_SET ? signedOffset
        : whence == SEEK_CUR                 ? file->pos() + signedOffset
                                             : file->size() + signedOffset;
    return file->seek(target) ? static_cast<toff_t>(target) : static_cast<toff_t>(-1);
}

int closeNothing(thandle_t)
{
    return 0;
}

toff_t sizeOfFile(thandle_t handle)
{
    return static_cast<toff_t>(static_cast<PictureFile*>(handle)->size());
}

int mapNothing(thandle_t, void**, toff_t*)
{
    return 0;
}

void unmapNothing(thandle_t, void*, toff_t) { }

// libtiff's messages are not printed: a damaged file simply gives no picture.
int quiet(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

struct TiffClose
{
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using Tiff = std::unique_ptr<TIFF, TiffClose>;

Tiff openTiff(PictureFile& file)
{
    if (!file.isOpen())
        return nullptr;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, maxLibtiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    // "m": no mapping, every read goes through the file.
    Tiff tiff(TIFFClientOpenExt("picture", "rm", &file, readFile, writeNothing, seekFile,
                                closeNothing, sizeOfFile, mapNothing, unmapNothing, options));
    TIFFOpenOptionsFree(options);
    return tiff;
}

// What a page holds and how its samples become our pixels.
struct Page
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t samples = 1;
    std::uint16_t bits = 1;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    bool tiled = false;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;
    // Our own reading: the colour samples (1 grey or palette, 3 RGB, 4 CMYK), the byte of the
    // BGRX pixel each sample goes to (-1: not used), the alpha sample's kind.
    bool ours = false;
    int colours = 1;
    int lanes[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    bool alpha = false;
    bool associated = false;
    bool palette = false;
    std::vector<QRgb> colourMap;
    std::vector<unsigned char> profile;
};

bool supportedBits(const Page& page)
{
    if (page.format == SAMPLEFORMAT_IEEEFP)
        return page.bits == 16 || page.bits == 32 || page.bits == 64;
    if (page.format != SAMPLEFORMAT_UINT)
        return false;
    return page.bits == 1 || page.bits == 2 || page.bits == 4 || page.bits == 8 || page.bits == 16
        || page.bits == 32;
}

// The palette as BGRX colours; a map whose every entry is below 256 was written with 8 bits
// an entry, as some writers do, rather than 16.
bool readColourMap(TIFF* tiff, Page* page)
{
    std::uint16_t* red = nullptr;
    std::uint16_t* green = nullptr;
    std::uint16_t* blue = nullptr;
    if (page->bits > 16 || !TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue))
        return false;
    const std::size_t count = std::size_t {1} << page->bits;
    bool eightBits = true;
    for (std::size_t i = 0; i < count; ++i)
        eightBits = eightBits && red[i] < 256 && green[i] < 256 && blue[i] < 256;
    const auto value = [eightBits](std::uint16_t entry) {
        return eightBits ? entry : (entry * 255u + 32767u) / 65535u;
    };
    page->colourMap.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        page->colourMap[i]
            = qRgb(static_cast<int>(value(red[i])), static_cast<int>(value(green[i])),
                   static_cast<int>(value(blue[i])));
    return true;
}

// Reads the current page's tags; false when it tells no size. Decides whether our reading
// takes the page (else libtiff's RGBA reading does).
bool describe(TIFF* tiff, Page* page)
{
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page->width)
        || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &page->height) || page->width == 0
        || page->height == 0 || page->width > 0x7FFFFFFF || page->height > 0x7FFFFFFF)
        return false;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &page->samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &page->bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &page->format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &page->planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &page->orientation);
    if (page->orientation < 1 || page->orientation > 8)
        page->orientation = ORIENTATION_TOPLEFT;
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &page->photometric))
        page->photometric = page->samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    page->tiled = TIFFIsTiled(tiff);
    if (page->tiled
        && (!TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &page->tileWidth)
            || !TIFFGetField(tiff, TIFFTAG_TILELENGTH, &page->tileHeight) || page->tileWidth == 0
            || page->tileHeight == 0))
        return false;
    std::uint32_t profileBytes = 0;
    void* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &profileBytes, &profile) && profile) {
        const auto* bytes = static_cast<const unsigned char*>(profile);
        page->profile.assign(bytes, bytes + profileBytes);
    }

    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    std::uint16_t inkSet = INKSET_CMYK;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
    switch (page->photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
        page->colours = 1;
        break;
    case PHOTOMETRIC_PALETTE:
        page->colours = 1;
        page->palette = page->format == SAMPLEFORMAT_UINT && readColourMap(tiff, page);
        if (!page->palette)
            return true;
        break;
    case PHOTOMETRIC_RGB:
        page->colours = 3;
        break;
    case PHOTOMETRIC_YCBCR:
        // JPEG's own colour conversion gives RGB rows; other YCbCr is libtiff's RGBA reading's.
        if (compression != COMPRESSION_JPEG || page->bits != 8
            || !TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
            return true;
        page->colours = 3;
        break;
    case PHOTOMETRIC_SEPARATED:
        if (inkSet != INKSET_CMYK)
            return true;
        page->colours = 4;
        break;
    default:
        return true;
    }
    if (page->samples < page->colours || page->samples > 8 || !supportedBits(*page)
        || compression == COMPRESSION_OJPEG)
        return true;
    std::uint16_t extraCount = 0;
    std::uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds);
    if (page->samples > page->colours && extraCount > 0 && extraKinds
        && (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA || extraKinds[0] == EXTRASAMPLE_UNASSALPHA)) {
        page->alpha = true;
        page->associated = extraKinds[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    // Four bytes a pixel hold CMYK, or up to three colours and the alpha.
    if (page->colours == 4 && page->alpha)
        return true;
    static constexpr int rgbLanes[] = {2, 1, 0};
    for (int sample = 0; sample < page->colours; ++sample)
        page->lanes[sample] = page->colours == 3 ? rgbLanes[sample] : sample;
    if (page->alpha)
        page->lanes[page->colours] = 3;
    page->ours = true;
    return true;
}

float halfToFloat(std::uint16_t half)
{
    const int exponent = (half >> 10) & 0x1F;
    const int mantissa = half & 0x3FF;
    float value = exponent == 0 ? std::ldexp(static_cast<float>(mantissa), -24)
        : exponent == 31        ? 1e9f
                                : std::ldexp(static_cast<float>(mantissa | 0x400), exponent - 25);
    return (half & 0x8000) ? -value : value;
}

std::uint8_t fromUnit(double value)
{
    // Values outside 0 to 1 are clamped, NaN taken as 0.
    if (!(value > 0))
        return 0;
    return static_cast<std::uint8_t>(std::lround(std::min(value, 1.0) * 255));
}

// Sample number index of a row (samples as libtiff gives them, in the host's byte order), as
// an 8-bit value to the nearest; a palette page's as its index.
unsigned sampleAt(const unsigned char* row, std::size_t index, const Page& page)
{
    if (page.format == SAMPLEFORMAT_IEEEFP) {
        if (page.bits == 16) {
            std::uint16_t half = 0;
            std::memcpy(&half, row + 2 * index, 2);
            return fromUnit(halfToFloat(half));
        }
        if (page.bits == 32) {
            float value = 0;
            std::memcpy(&value, row + 4 * index, 4);
            return fromUnit(value);
        }
        double value = 0;
        std::memcpy(&value, row + 8 * index, 8);
        return fromUnit(value);
    }
    switch (page.bits) {
    case 8:
        return row[index];
    case 16: {
        std::uint16_t value = 0;
        std::memcpy(&value, row + 2 * index, 2);
        return page.palette ? value : (value * 255u + 32767u) / 65535u;
    }
    case 32: {
        std::uint32_t value = 0;
        std::memcpy(&value, row + 4 * index, 4);
        return static_cast<unsigned>((std::uint64_t {value} * 255 + 0x7FFFFFFF) / 0xFFFFFFFFu);
    }
    default: { // 1, 2 or 4 bits, the first sample in a byte's high bits
        const std::size_t bit = index * page.bits;
        const unsigned most = (1u << page.bits) - 1;
        const unsigned value = (row[bit / 8] >> (8 - page.bits - bit % 8)) & most;
        return page.palette ? value : value * 255 / most;
    }
    }
}

// Puts samples first .. first + count - 1 of pixels x0 .. x0 + width - 1 of a decoded row
// (samples a pixel apart, starting at index start) into their bytes of out's pixels.
void putSamples(const unsigned char* row, std::size_t start, std::size_t stride, int count,
                int first, const Page& page, uchar* out, int width)
{
    if (page.bits == 8 && page.format == SAMPLEFORMAT_UINT && !page.palette) {
        // The common case without the general sample reading.
        const unsigned char* in = row + start;
        for (int x = 0; x < width; ++x, in += stride)
            for (int sample = 0; sample < count; ++sample)
                if (const int lane = page.lanes[first + sample]; lane >= 0)
                    out[4 * x + lane] = in[sample];
        return;
    }
    for (int x = 0; x < width; ++x) {
        const std::size_t at = start + static_cast<std::size_t>(x) * stride;
        if (page.palette) {
            const unsigned index = sampleAt(row, at, page);
            reinterpret_cast<QRgb*>(out)[x]
                = index < page.colourMap.size() ? page.colourMap[index] : qRgb(0, 0, 0);
            continue;
        }
        for (int sample = 0; sample < count; ++sample) {
            const int lane = page.lanes[first + sample];
            if (lane >= 0)
                out[4 * x + lane] = static_cast<uchar>(sampleAt(row, at + sample, page));
        }
    }
}

// Turns a row of pixels whose bytes hold the page's samples into BGRX on white, in sRGB.
void finishRow(uchar* row, int width, const Page& page, const SrgbConversion& conversion)
{
    auto* pixels = reinterpret_cast<QRgb*>(row);
    if (page.palette)
        return;
    if (page.colours == 4) {
        if (conversion.Active()) {
            conversion.Convert(row, width);
            return;
        }
        // No profile at all: the plain formula.
        for (int x = 0; x < width; ++x) {
            const uchar* p = row + 4 * x;
            const int k = 255 - p[3];
            pixels[x]
                = qRgb((255 - p[0]) * k / 255, (255 - p[1]) * k / 255, (255 - p[2]) * k / 255);
        }
        return;
    }
    for (int x = 0; x < width; ++x) {
        uchar* p = row + 4 * x;
        if (page.colours == 1) {
            const uchar grey = page.photometric == PHOTOMETRIC_MINISWHITE ? 255 - p[0] : p[0];
            p[0] = p[1] = p[2] = grey;
        }
        if (!page.alpha || p[3] == 0xFF) {
            p[3] = 0xFF;
        } else if (page.associated) {
            const int behind = 255 - p[3];
            pixels[x] = qRgb(std::min(p[2] + behind, 255), std::min(p[1] + behind, 255),
                             std::min(p[0] + behind, 255));
        } else {
            pixels[x] = OnWhite(pixels[x]);
        }
    }
    conversion.Convert(row, width);
}

// Our reading of the current page into picture (its size); false when a row or tile cannot
// be decoded, or keepGoing said stop.
bool readOurs(TIFF* tiff, const Page& page, QImage& picture, const std::function<bool()>* keepGoing)
{
    const int width = static_cast<int>(page.width);
    const int height = static_cast<int>(page.height);
    const bool planes = page.planar == PLANARCONFIG_SEPARATE && page.samples > 1;
    const int planeCount = planes ? page.samples : 1;
    // Samples a pixel apart in a decoded row, and samples put from each plane.
    const std::size_t stride = planes ? 1 : page.samples;
    const int perPlane = planes ? 1 : page.samples;

    SrgbConversion conversion;
    if (page.colours == 4)
        conversion.PrepareCmyk(page.profile, false);
    else if (page.colours == 1 && !page.palette)
        conversion.PrepareGrey(page.profile);
    else if (page.colours == 3)
        conversion.Prepare(page.profile);
    const auto keepOn = [keepGoing] {
        return !keepGoing || (*keepGoing)();
    };
    // With interleaved samples each row is finished as soon as it is whole; with planes,
    // once the last plane is in.
    const auto finishRows = [&](int first, int last) {
        for (int y = first; y < last; ++y)
            finishRow(picture.scanLine(y), width, page, conversion);
    };

    if (!page.tiled) {
        const tmsize_t rowBytes = TIFFScanlineSize(tiff);
        if (rowBytes <= 0)
            return false;
        std::vector<unsigned char> row(static_cast<std::size_t>(rowBytes));
        for (int plane = 0; plane < planeCount; ++plane) {
            // Row after row within a plane: each strip is decoded once, front to back.
            for (int y = 0; y < height; ++y) {
                if (!keepOn()
                    || TIFFReadScanline(tiff, row.data(), static_cast<std::uint32_t>(y),
                                        static_cast<std::uint16_t>(plane))
                        < 0)
                    return false;
                putSamples(row.data(), 0, stride, perPlane, plane, page, picture.scanLine(y),
                           width);
                if (!planes)
                    finishRows(y, y + 1);
            }
        }
    } else {
        const tmsize_t tileBytes = TIFFTileSize(tiff);
        const tmsize_t tileRowBytes = TIFFTileRowSize(tiff);
        if (tileBytes <= 0 || tileRowBytes <= 0)
            return false;
        std::vector<unsigned char> tile(static_cast<std::size_t>(tileBytes));
        const auto tileWidth = static_cast<int>(page.tileWidth);
        const auto tileHeight
            = static_cast<int>(std::min<std::uint32_t>(page.tileHeight, page.height));
        for (int plane = 0; plane < planeCount; ++plane) {
            for (int top = 0; top < height; top += tileHeight) {
                const int rows = std::min(tileHeight, height - top);
                for (int left = 0; left < width; left += tileWidth) {
                    if (!keepOn()
                        || TIFFReadTile(tiff, tile.data(), static_cast<std::uint32_t>(left),
                                        static_cast<std::uint32_t>(top), 0,
                                        static_cast<std::uint16_t>(plane))
                            < 0)
                        return false;
                    const int columns = std::min(tileWidth, width - left);
                    for (int r = 0; r < rows; ++r)
                        putSamples(tile.data() + r * tileRowBytes, 0, stride, perPlane, plane, page,
                                   picture.scanLine(top + r) + 4 * left, columns);
                }
                if (!planes)
                    finishRows(top, top + rows);
            }
        }
    }
    if (planes)
        finishRows(0, height);
    return true;
}

// libtiff's RGBA reading of the current page into picture (its size, rows whole), in the
// stored order; its alpha is premultiplied.
bool readRgba(TIFF* tiff, const Page& page, QImage& picture)
{
    char message[1024];
    TIFFRGBAImage image {};
    if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&image, tiff, 0, message))
        return false;
    image.req_orientation = image.orientation;
    const bool read = TIFFRGBAImageGet(&image, reinterpret_cast<std::uint32_t*>(picture.bits()),
                                       page.width, page.height);
    TIFFRGBAImageEnd(&image);
    if (!read)
        return false;
    for (int y = 0; y < picture.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint32_t abgr = row[x];
            const int behind = 255 - static_cast<int>(TIFFGetA(abgr));
            row[x] = qRgb(std::min<int>(TIFFGetR(abgr) + behind, 255),
                          std::min<int>(TIFFGetG(abgr) + behind, 255),
                          std::min<int>(TIFFGetB(abgr) + behind, 255));
        }
    }
    return true;
}

// The current page as RGB32 in its stored order, its bitmap from the ordinary heap when
// ordinaryHeap; null when it cannot be read.
QImage readPage(TIFF* tiff, const Page& page, bool ordinaryHeap,
                const std::function<bool()>* keepGoing)
{
    if (!FitsPictureLimit(page.width, page.height))
        return {};
    QImage picture;
    if (ordinaryHeap) {
        try {
            picture = QImage(static_cast<int>(page.width), static_cast<int>(page.height),
                             QImage::Format_RGB32);
        } catch (...) {
            return {};
        }
    } else {
        picture = NewPictureBitmap(static_cast<int>(page.width), static_cast<int>(page.height));
    }
    // libtiff's RGBA reading writes the raster as one block of whole rows.
    if (picture.isNull() || picture.bytesPerLine() != 4 * qsizetype {page.width})
        return {};
    const bool read
        = page.ours ? readOurs(tiff, page, picture, keepGoing) : readRgba(tiff, page, picture);
    return read ? picture : QImage();
}

QImage readFirstPage(const std::string& fileName, const std::function<bool()>* keepGoing)
{
    PictureFile file(fileName);
    const Tiff tiff = openTiff(file);
    Page page;
    if (!tiff || !describe(tiff.get(), &page))
        return {};
    return OrientPicture(readPage(tiff.get(), page, false, keepGoing), page.orientation);
}

// The largest count of coded bytes a strip or tile of the current page has, within the
// file's size (libtiff holds one strip's or tile's coded bytes while it decodes it).
std::int64_t largestCodedBytes(TIFF* tiff, qint64 fileSize)
{
    std::uint64_t largest = 0;
    const std::uint32_t count = TIFFNumberOfStrips(tiff);
    // Counts beyond this are not read one by one: the file's size bounds them all.
    if (count > 65536)
        return fileSize;
    for (std::uint32_t i = 0; i < count; ++i)
        largest = std::max<std::uint64_t>(largest, TIFFGetStrileByteCount(tiff, i));
    return static_cast<std::int64_t>(
        std::min<std::uint64_t>(largest, static_cast<std::uint64_t>(fileSize)));
}

} // namespace

QImage ReadTiffFile(const std::string& fileName)
{
    return readFirstPage(fileName, nullptr);
}

QImage ReadTiffFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing)
{
    return readFirstPage(fileName, keepGoing ? &keepGoing : nullptr);
}

ReducedPicture ReadTiffReduced(const std::string& fileName, QSize area)
{
    ReducedPicture reduced;
    PictureFile file(fileName);
    const Tiff tiff = openTiff(file);
    Page first;
    if (!tiff || !describe(tiff.get(), &first))
        return reduced;
    const QSize full(static_cast<int>(first.width), static_cast<int>(first.height));
    const bool turns = OrientationTurns(first.orientation);
    reduced.fullSize = turns ? full.transposed() : full;
    const QSize shown = ShownSize(full, turns ? area.transposed() : area);
    if (std::int64_t {full.width()} * full.height() < MinReducedPixels || shown == full)
        return reduced;

    // The pages that may be reduced copies of the first: the ones after it in the chain, and
    // its sub-pages. Each is remembered by how it is reached.
    struct Candidate
    {
        int page = -1; // in the chain
        std::uint64_t offset = 0; // a sub-page's
        QSize size;
    };
    std::vector<std::uint64_t> subPages;
    std::uint16_t subCount = 0;
    std::uint64_t* subOffsets = nullptr;
    if (TIFFGetField(tiff.get(), TIFFTAG_SUBIFD, &subCount, &subOffsets) && subOffsets)
        subPages.assign(subOffsets, subOffsets + std::min<int>(subCount, maxPages));
    std::vector<Candidate> candidates;
    // A page marked as a reduced copy, or one halved from the first a number of times (as
    // ImageMagick writes its pyramids, marked as pages of a document).
    // Each halving rounds down or up: the sizes a copy can have lie between the two.
    const auto halved = [&](std::uint32_t width, std::uint32_t height) {
        std::uint32_t narrowest = first.width;
        std::uint32_t widest = first.width;
        std::uint32_t lowest = first.height;
        std::uint32_t highest = first.height;
        while (widest > 1 || highest > 1) {
            narrowest /= 2;
            widest = (widest + 1) / 2;
            lowest /= 2;
            highest = (highest + 1) / 2;
            if (width >= narrowest && width <= widest && height >= lowest && height <= highest)
                return true;
        }
        return false;
    };
    const auto consider = [&](Candidate candidate) {
        std::uint32_t kind = 0;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        TIFFGetField(tiff.get(), TIFFTAG_SUBFILETYPE, &kind);
        if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width)
            && TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height)
            && ((kind & FILETYPE_REDUCEDIMAGE) || halved(width, height))
            && static_cast<int>(width) >= shown.width()
            && static_cast<int>(height) >= shown.height() && width < first.width
            && height < first.height) {
            candidate.size = QSize(static_cast<int>(width), static_cast<int>(height));
            candidates.push_back(candidate);
        }
    };
    for (int page = 1; page < maxPages && TIFFReadDirectory(tiff.get()); ++page)
        consider({page, 0, {}});
    for (std::uint64_t offset : subPages)
        if (TIFFSetSubDirectory(tiff.get(), offset))
            consider({-1, offset, {}});
    if (candidates.empty())
        return reduced;
    const Candidate best = *std::min_element(
        candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
            return std::int64_t {a.size.width()} * a.size.height()
                < std::int64_t {b.size.width()} * b.size.height();
        });
    const bool reached = best.page >= 0
        ? TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(best.page))
        : TIFFSetSubDirectory(tiff.get(), best.offset);
    Page page;
    if (!reached || !describe(tiff.get(), &page))
        return reduced;
    // Shown upright as the first page is.
    reduced.picture = OrientPicture(readPage(tiff.get(), page, true, nullptr), first.orientation);
    return reduced;
}

QSize ReadTiffHeader(const std::string& fileName, std::int64_t* decodeBytes)
{
    PictureFile file(fileName);
    const Tiff tiff = openTiff(file);
    Page page;
    if (!tiff || !describe(tiff.get(), &page))
        return {};
    const QSize size(static_cast<int>(page.width), static_cast<int>(page.height));
    if (FitsPictureLimit(page.width, page.height)) {
        // A decoded row or tile of one plane for our reading; libtiff's RGBA reading decodes
        // a whole strip or tile of every plane at once.
        const tmsize_t unit = page.tiled ? TIFFTileSize(tiff.get())
            : page.ours                  ? TIFFScanlineSize(tiff.get())
                                         : TIFFStripSize(tiff.get());
        const std::int64_t planes
            = !page.ours && page.planar == PLANARCONFIG_SEPARATE ? page.samples : 1;
        *decodeBytes = 4 * std::int64_t {page.width} * page.height
            + largestCodedBytes(tiff.get(), file.size()) + planes * std::max<tmsize_t>(unit, 0);
    }
    return OrientationTurns(page.orientation) ? size.transposed() : size;
}
