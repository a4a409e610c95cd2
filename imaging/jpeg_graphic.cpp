#include "imaging/jpeg_graphic.h"

#include "imaging/colour_profile.h"
#include "imaging/exif_orientation.h"
#include "imaging/picture_buffer.h"
#include "imaging/picture_file.h"
#include "store/picture_limits.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <jerror.h>

namespace {

// A progressive file can hold any number of scans, each one a full pass over the picture;
// real files have about ten. Beyond this many the file is taken as broken rather than
// spending minutes on it.
constexpr int maxScans = 1000;

// libjpeg's own working memory beside the picture and the coefficients.
constexpr std::int64_t workingMemory = std::int64_t {64} << 20;

struct ErrorManager
{
    jpeg_error_mgr base; // first, so that libjpeg's pointer to it is a pointer to this
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (data cut short, corrupt data) are not errors: the picture is shown as libjpeg
// delivers it, and nothing is printed.
void ignoreMessage(j_common_ptr) { }

// libjpeg's progress hook, with what the decode's owner asks between rows.
struct Progress
{
    jpeg_progress_mgr base; // first, so that libjpeg's pointer to it is a pointer to this
    const std::function<bool()>* keepGoing;
};

// Called by libjpeg between the rows it reads and between the scans it takes in: a runaway
// number of scans, or an owner that gave the decode up, ends it as an error does.
void watchProgress(j_common_ptr cinfo)
{
    const auto* progress = reinterpret_cast<const Progress*>(cinfo->progress);
    const bool runaway = cinfo->is_decompressor
        && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > maxScans;
    if (runaway || (progress->keepGoing && !(*progress->keepGoing)())) {
        cinfo->err->msg_code = JERR_NOT_COMPILED;
        cinfo->err->error_exit(cinfo);
    }
}

// A progressive or multi-scan file keeps every coefficient of the picture (two bytes a
// sample, whole blocks) until its last scan; a single-scan file keeps none.
std::int64_t coefficientBytes(j_decompress_ptr cinfo)
{
    std::int64_t bytes = 0;
    if (jpeg_has_multiple_scans(cinfo)) {
        for (int i = 0; i < cinfo->num_components; ++i)
            bytes += std::int64_t {cinfo->comp_info[i].width_in_blocks}
                * cinfo->comp_info[i].height_in_blocks * DCTSIZE2 * std::int64_t {sizeof(JCOEF)};
    }
    return bytes;
}

// Where the decoded rows go: the canvas makes the bitmap once libjpeg has told the size.
// Lives in the caller's frame, so no C++ object sits between setjmp and longjmp.
class Canvas
{
public:
    // A reduced picture comes from the ordinary heap: it lives only until the full picture
    // arrives, and it must not take the block kept for that one.
    explicit Canvas(bool ordinaryHeap)
        : ordinary(ordinaryHeap)
    {
    }

    uchar* allocate(int width, int height, qsizetype* stride) noexcept
    {
        if (ordinary) {
            try {
                picture = QImage(width, height, QImage::Format_RGB32);
            } catch (...) {
                return nullptr;
            }
        } else {
            picture = NewPictureBitmap(width, height);
        }
        if (picture.isNull())
            return nullptr;
        *stride = picture.bytesPerLine();
        return picture.bits();
    }

    QImage picture;

private:
    bool ordinary;
};

// Adobe's CMYK (and YCCK turned CMYK by libjpeg) stores inverted values, so that a byte is
// 255 minus the ink; plain CMYK stores the ink. Where no profile converts it (none in the
// file and no standard one on the system), red is (255 - cyan ink) scaled by (255 - black
// ink), and so on.
void cmykToBgrx(uchar* row, int width, bool inverted)
{
    const int flip = inverted ? 0 : 255;
    for (int x = 0; x < width; ++x) {
        uchar* p = row + 4 * x;
        const int c = p[0] ^ flip;
        const int m = p[1] ^ flip;
        const int y = p[2] ^ flip;
        const int k = p[3] ^ flip;
        p[0] = static_cast<uchar>((y * k + 127) / 255);
        p[1] = static_cast<uchar>((m * k + 127) / 255);
        p[2] = static_cast<uchar>((c * k + 127) / 255);
        p[3] = 0xFF;
    }
}

// One decode's libjpeg state. A plain struct with no destructor: it lives in the frame
// that calls setjmp, where libjpeg's errors land.
struct Decoder
{
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    Progress progress;
};

// Errors jump back to the caller's setjmp, warnings are not printed, runaway scans stop, and
// so does a decode whose keepGoing (may be null) says false.
void prepare(Decoder* decoder, const std::function<bool()>* keepGoing)
{
    std::memset(&decoder->cinfo, 0, sizeof decoder->cinfo);
    std::memset(&decoder->progress, 0, sizeof decoder->progress);
    decoder->cinfo.err = jpeg_std_error(&decoder->errors.base);
    decoder->errors.base.error_exit = jumpOnError;
    decoder->errors.base.output_message = ignoreMessage;
    decoder->progress.base.progress_monitor = watchProgress;
    decoder->progress.keepGoing = keepGoing;
}

// Called after the caller's setjmp: any error here jumps back to it.
void readHeader(Decoder* decoder, std::FILE* file)
{
    jpeg_create_decompress(&decoder->cinfo);
    decoder->cinfo.progress = &decoder->progress.base;
    jpeg_stdio_src(&decoder->cinfo, file);
    // The Exif block with the orientation, and the chunks of an ICC profile.
    jpeg_save_markers(&decoder->cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&decoder->cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&decoder->cinfo, TRUE);
}

// The orientation of the first Exif block among the saved markers; 1 when there is none.
int readOrientation(j_decompress_ptr cinfo)
{
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6
            && std::memcmp(marker->data, "Exif\0\0", 6) == 0)
            return ExifOrientation(marker->data, marker->data_length);
    }
    return 1;
}

// The ICC profile a writer split over APP2 segments ("ICC_PROFILE\0", the chunk's number
// from 1, the number of chunks, then the chunk), joined in the chunks' order; empty when
// there is none or when a chunk is missing, repeated or out of range.
std::vector<unsigned char> readIccProfile(j_decompress_ptr cinfo)
{
    constexpr unsigned char iccHeader[] = "ICC_PROFILE";
    constexpr std::size_t headerBytes = sizeof iccHeader + 2;
    std::vector<jpeg_saved_marker_ptr> chunks;
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 2 || marker->data_length < headerBytes
            || std::memcmp(marker->data, iccHeader, sizeof iccHeader) != 0)
            continue;
        const int number = marker->data[sizeof iccHeader];
        const int count = marker->data[sizeof iccHeader + 1];
        if (count < 1)
            return {};
        if (chunks.empty())
            chunks.assign(static_cast<std::size_t>(count), nullptr);
        if (number < 1 || number > count || count != static_cast<int>(chunks.size())
            || chunks[static_cast<std::size_t>(number - 1)])
            return {};
        chunks[static_cast<std::size_t>(number - 1)] = marker;
    }
    std::vector<unsigned char> profile;
    for (jpeg_saved_marker_ptr chunk : chunks) {
        if (!chunk)
            return {};
        profile.insert(profile.end(), chunk->data + headerBytes, chunk->data + chunk->data_length);
    }
    return profile;
}

// The picture's size, and its bitmap with the coefficients a progressive file keeps, must fit
// the picture limit; libjpeg's own memory is bounded by what the limit leaves.
bool withinPictureLimit(j_decompress_ptr cinfo)
{
    if (!FitsPictureLimit(static_cast<int>(cinfo->image_width),
                          static_cast<int>(cinfo->image_height)))
        return false;
    const std::int64_t budget
        = MaxPictureBytes - 4 * std::int64_t {cinfo->image_width} * cinfo->image_height;
    if (coefficientBytes(cinfo) > budget)
        return false;
    cinfo->mem->max_memory_to_use = static_cast<long>(budget + workingMemory);
    return true;
}

// Both output spaces give four bytes a pixel, so either is decoded straight into the
// bitmap's rows; true for CMYK, which is turned into BGRX row by row.
bool chooseOutput(j_decompress_ptr cinfo)
{
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    return cmyk;
}

// Decodes every output row into pixels (stride bytes a row); false when libjpeg gives none.
// The stdio source never suspends: at the file's end it feeds libjpeg an end marker and
// libjpeg fills the remaining rows itself.
// Rows are handed to conversion as they come (it converts those of a picture with a profile,
// and CMYK through its profile); CMYK that no profile converts goes by the plain formula.
bool readRows(j_decompress_ptr cinfo, uchar* pixels, qsizetype stride, bool plainCmyk,
              SrgbRowConversion* conversion)
{
    const int width = static_cast<int>(cinfo->output_width);
    const int height = static_cast<int>(cinfo->output_height);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW rows[8];
        const int first = static_cast<int>(cinfo->output_scanline);
        const int count = std::min(8, height - first);
        for (int i = 0; i < count; ++i)
            rows[i] = pixels + stride * (first + i);
        const int done = static_cast<int>(jpeg_read_scanlines(cinfo, rows, count));
        if (done == 0)
            return false;
        if (plainCmyk) {
            for (int i = 0; i < done; ++i)
                cmykToBgrx(rows[i], width, cinfo->saw_Adobe_marker);
        } else {
            conversion->RowsReady(first + done);
        }
    }
    return true;
}

// The most eighths of its size ReadJpegReduced reduces a picture to.
constexpr int maxReducedEighths = 4;

// The eighths of its size a picture with cinfo's header is decoded at for a first look into
// area, with cinfo set to that scale; 0 when it is not reduced. A picture that fits is shown
// at its own size. Reading the file's codes costs the same at every scale and is most of a
// decode; below 8 MP, or above half the size, what a reduced decode saves is less than what
// a second decode costs. Only the scales libjpeg-turbo reduces with vector code are used: a
// 24 MP photo decodes at three eighths in 70-80 ms, at a quarter or a half in 60 ms.
int reducedEighths(j_decompress_ptr cinfo, QSize area)
{
    const QSize full(static_cast<int>(cinfo->image_width), static_cast<int>(cinfo->image_height));
    const QSize shown = ShownSize(full, area);
    if (shown == full || std::int64_t {full.width()} * full.height() < MinReducedPixels)
        return 0;
    for (int eighths = 1; eighths <= maxReducedEighths; eighths *= 2) {
        cinfo->scale_num = static_cast<unsigned>(eighths);
        cinfo->scale_denom = 8;
        jpeg_calc_output_dimensions(cinfo);
        if (static_cast<int>(cinfo->output_width) >= shown.width()
            && static_cast<int>(cinfo->output_height) >= shown.height())
            return eighths;
    }
    return 0;
}

// What a decode finds besides the pixels, kept in the caller's frame.
struct Extras
{
    int orientation = 1; // the Exif orientation the picture is put upright by
    SrgbConversion conversion; // from the embedded profile, when there is one
    SrgbRowConversion rows {conversion}; // waits for its rows when the decode ends
};

// One decode: the full picture, or with reduceFor a first look at a reduced scale (false when
// the picture is not reduced), or with no canvas only the header. fullSize gets the picture's
// upright size once the header is read. keepGoing (may be null) can stop it between rows.
// Holds only plain locals: libjpeg's errors longjmp back here from C frames.
bool decode(std::FILE* file, Canvas* canvas, const QSize* reduceFor, QSize* fullSize,
            const std::function<bool()>* keepGoing, Extras* extras)
{
    Decoder decoder;
    prepare(&decoder, keepGoing);
    jpeg_decompress_struct& cinfo = decoder.cinfo;
    if (setjmp(decoder.errors.jump)) {
        // Reached from any libjpeg call below, jpeg_create_decompress included.
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    readHeader(&decoder, file);
    extras->orientation = readOrientation(&cinfo);
    const bool turns = OrientationTurns(extras->orientation);
    *fullSize = QSize(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
    if (turns)
        fullSize->transpose();
    if (!canvas) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    // The stored picture is reduced for the area it fills once upright.
    const bool reduced
        = reduceFor && reducedEighths(&cinfo, turns ? reduceFor->transposed() : *reduceFor) != 0;
    // The limit holds at every scale: a progressive file keeps every coefficient whatever
    // the scale.
    if ((reduceFor && !reduced) || !withinPictureLimit(&cinfo)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const bool cmyk = chooseOutput(&cinfo);
    // CMYK through the file's profile, or the standard press profile when it has none.
    bool plainCmyk = false;
    if (cmyk)
        plainCmyk = !extras->conversion.PrepareCmyk(readIccProfile(&cinfo), cinfo.saw_Adobe_marker);
    else if (cinfo.jpeg_color_space == JCS_GRAYSCALE)
        extras->conversion.PrepareGrey(readIccProfile(&cinfo));
    else
        extras->conversion.Prepare(readIccProfile(&cinfo));
    if (reduced) {
        // Speed over exactness: the full picture replaces this one.
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
    }
    jpeg_start_decompress(&cinfo);

    qsizetype stride = 0;
    uchar* pixels = canvas->allocate(static_cast<int>(cinfo.output_width),
                                     static_cast<int>(cinfo.output_height), &stride);
    // Every row is in when readRows succeeds; whatever follows the last scan is not read, so
    // that trailing damage cannot take a complete picture away.
    if (pixels)
        extras->rows.Start(pixels, static_cast<int>(cinfo.output_width), stride);
    const bool read = pixels && readRows(&cinfo, pixels, stride, plainCmyk, &extras->rows);
    extras->rows.Finish();
    jpeg_destroy_decompress(&cinfo);
    return read;
}

} // namespace

QImage ReadJpegFile(const std::string& fileName)
{
    return ReadJpegFileWhile(fileName, {});
}

QImage ReadJpegFileWhile(const std::string& fileName, const std::function<bool()>& keepGoing)
{
    PictureFile source(fileName);
    const PictureStream file = source.stream();
    if (!file)
        return {};
    Canvas canvas(false);
    QSize size;
    Extras extras;
    if (!decode(file.get(), &canvas, nullptr, &size, keepGoing ? &keepGoing : nullptr, &extras))
        return {};
    return OrientPicture(std::move(canvas.picture), extras.orientation);
}

QSize ReadJpegSize(const std::string& fileName)
{
    PictureFile source(fileName);
    const PictureStream file = source.stream();
    QSize size;
    Extras extras;
    if (!file || !decode(file.get(), nullptr, nullptr, &size, nullptr, &extras))
        return {};
    return size;
}

ReducedPicture ReadJpegReduced(const std::string& fileName, QSize area)
{
    ReducedPicture reduced;
    // Read like the full decode: regular files only, through the file's own 64 KiB buffer.
    PictureFile source(fileName);
    const PictureStream file = source.stream();
    if (!file)
        return reduced;
    Canvas canvas(true);
    Extras extras;
    if (decode(file.get(), &canvas, &area, &reduced.fullSize, nullptr, &extras))
        reduced.picture = OrientPicture(std::move(canvas.picture), extras.orientation);
    return reduced;
}
