// Pictures written by other programs, read by the loader and by readers that are not ours
// (Pillow, Qt's image readers; tifffile, LittleCMS through Pillow and ImageMagick where
// those two read a file wrongly). Our own test files are written by our own builders and
// share our reading of each format; only another writer's file can disagree with it.
#include "imaging/graphic.h"
#include "imaging/picture_formats.h"

#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <map>

namespace {

const QString python = QStringLiteral("/usr/bin/python3");

// The programs (and profiles) the files are written and read with, and the Debian package of
// each.
const struct
{
    const char* path;
    const char* package;
} neededPrograms[] = {
    {"/usr/bin/convert", "imagemagick"},
    {"/usr/bin/python3", "python3-pil and python3-numpy for Debian's python3"},
    {"/usr/bin/ppmtobmp", "netpbm"},
    {"/usr/bin/gif2rgb", "giflib-tools"},
    {"/usr/bin/cjpeg", "libjpeg-turbo-progs"},
    {"/usr/bin/rsvg-convert", "librsvg2-bin"},
    {"/usr/bin/cjxl", "libjxl-tools"},
    {"/usr/bin/tiffcp", "libtiff-tools"},
    {"/usr/bin/cwebp", "webp"},
    {"/usr/bin/gif2webp", "webp"},
    {"/usr/share/color/icc/ghostscript/ps_cmyk.icc", "libgs-common"},
    {"/usr/share/color/icc/Gray.icc", "icc-profiles-free"},
    {"/bin/sh", "dash"},
};

enum class Reference { None, Pillow, Qt };

// One file: its name (its content, or failing that its extension, picks our decoder), who
// writes it and how. A shell command writes $OUT from the sources in the working folder ($PY
// runs the Python helper); a Pillow row names the helper's kind instead. When Qt and Pillow
// are known to read the file differently, why says how, and prefer names the one ours is held
// to, within tolerance per channel (None: ours is not compared). When ours differs from both
// on purpose, ours says why. For a file neither reads right, expected is the command that
// writes the picture expected ($REF) with another program, or "refused" for a damaged file
// every reader refuses; or reference names the helper's reader it is held to ("tifffile",
// "cms", "im"; see pillow_pictures.py), for files Qt's and Pillow's plain readings get wrong.
struct WrittenPicture
{
    const char* file;
    const char* writer;
    const char* variant;
    const char* command;
    const char* why = nullptr;
    Reference prefer = Reference::None;
    int tolerance = 0;
    const char* ours = nullptr;
    const char* expected = nullptr;
    const char* reference = nullptr;
};

constexpr const char* refused = "refused";

constexpr const char* imageMagick = "ImageMagick";
constexpr const char* pillow = "Pillow";
constexpr const char* netpbm = "netpbm";
constexpr const char* giflib = "giflib";
constexpr const char* libjpeg = "cjpeg";
constexpr const char* librsvg = "rsvg-convert";
constexpr const char* libjxl = "cjxl";

// Drawings whose every edge lies on a pixel's, drawn by rsvg-convert on white as the reference.
#define DRAWING(body)                                                                              \
    "printf '%s' '<svg xmlns=\"http://www.w3.org/2000/svg\" "                                      \
    "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"32\" height=\"32\">" body                \
    "</svg>' > $OUT"
constexpr const char* drawnByRsvg = "rsvg-convert -b white $OUT -o $REF";
// A JPEG XL picture decoded by djxl into its own colour space, converted by LittleCMS.
constexpr const char* decodedByDjxl = "djxl $OUT $OUT.djxl.png && $PY srgb $OUT.djxl.png $REF";
// An 8-bit palette BMP3 ($OUT.bmp as written) whose bytes at OFFSET are replaced by the octal
// VALUE's.
#define PATCHED_BMP(offset, value)                                                                 \
    "$IM plasma.ppm -type Palette -compress None bmp3:$OUT.bmp && cp $OUT.bmp $OUT && printf "     \
    "'" value "' | dd of=$OUT bs=1 seek=" offset " conv=notrunc 2>/dev/null"

constexpr const char* libtiff = "tiffcp";
constexpr const char* tifffile = "tifffile";
constexpr const char* libwebp = "cwebp";

// The profiles of Debian's libgs-common: sRGB, a press CMYK profile other than the standard
// one, Adobe RGB, and grey.
#define PROFILES "/usr/share/color/icc/ghostscript/"
// A grey profile of linear light (icc-profiles-free's), far from sRGB's curve.
#define GREY_PROFILE "/usr/share/color/icc/Gray.icc"

constexpr const char* qtShiftsPillowTruncates
    = "Qt shifts 5- and 6-bit channels up, 31 giving 248; Pillow scales to 255 but truncates "
      "where ours rounds";
constexpr const char* qtNeedsFileHeader = "Qt reads a bitmap only behind a file header";

// The loader decodes a JPEG with libjpeg's defaults (accurate integer DCT, smooth
// upsampling), as Qt and Pillow do through the same libjpeg-turbo: the three must agree
// exactly.
//
// plasma.ppm (67 x 45, odd rows that need padding) is ImageMagick's seeded plasma; noise.ppm
// (61 x 37), ramp.ppm and ramp.pgm (every channel value in rows of 256) and noise_rgba.png
// (every alpha) come from numpy's seeded generator.
const WrittenPicture writtenPictures[] = {
    {"im_bmp2_24.bmp", imageMagick, "BMP2 core header, 24 bits", "$IM plasma.ppm bmp2:$OUT"},
    {"im_bmp2_8.bmp", imageMagick, "BMP2 core header, 8-bit palette",
     "$IM plasma.ppm -type Palette bmp2:$OUT"},
    {"im_bmp2_1.bmp", imageMagick, "BMP2 core header, 1 bit",
     "$IM plasma.ppm -colors 2 -type Palette bmp2:$OUT"},
    {"im_bmp3_24.bmp", imageMagick, "BMP3, 24 bits", "$IM plasma.ppm bmp3:$OUT"},
    {"im_bmp3_ramp.bmp", imageMagick, "BMP3, 24 bits, every value", "$IM ramp.ppm bmp3:$OUT"},
    {"im_bmp3_8.bmp", imageMagick, "BMP3, 8-bit palette",
     "$IM plasma.ppm -type Palette -compress None bmp3:$OUT"},
    {"im_bmp3_4.bmp", imageMagick, "BMP3, 4-bit palette",
     "$IM plasma.ppm -colors 16 -type Palette -compress None bmp3:$OUT"},
    {"im_bmp3_1.bmp", imageMagick, "BMP3, 1 bit", "$IM plasma.ppm -type Bilevel bmp3:$OUT"},
    {"im_bmp3_grey.bmp", imageMagick, "BMP3, grey palette",
     "$IM ramp.pgm -type Grayscale -type Palette -compress None bmp3:$OUT"},
    {"im_bmp3_rle8.bmp", imageMagick, "BMP3, RLE8",
     "$IM plasma.ppm -type Palette -compress RLE bmp3:$OUT"},
    {"im_bmp3_rle8_16.bmp", imageMagick, "BMP3, RLE8 of 16 colours (long runs)",
     "$IM plasma.ppm -colors 16 -type Palette -compress RLE bmp3:$OUT"},
    {"im_bmp3_rle8_noise.bmp", imageMagick, "BMP3, RLE8 of noise (absolute runs)",
     "$IM noise.ppm -type Palette -compress RLE bmp3:$OUT"},
    {"im_bmp3_rle8_grey.bmp", imageMagick, "BMP3, RLE8 grey",
     "$IM ramp.pgm -type Grayscale -type Palette -compress RLE bmp3:$OUT"},
    {"im_bmp3_32_alpha.bmp", imageMagick, "BMP3, 32 bits with alpha",
     "$IM noise_rgba.png -define bmp3:alpha=true bmp3:$OUT"},
    {"im_bmp4_24.bmp", imageMagick, "BMP4 (V5 header), 24 bits", "$IM plasma.ppm bmp:$OUT"},
    {"im_bmp4_8.bmp", imageMagick, "BMP4, 8-bit palette",
     "$IM plasma.ppm -type Palette -compress None bmp:$OUT"},
    {"im_bmp4_rle8.bmp", imageMagick, "BMP4, RLE8",
     "$IM plasma.ppm -type Palette -compress RLE bmp:$OUT"},
    {"im_bmp4_32_alpha.bmp", imageMagick, "BMP4, 32-bit bit fields with alpha",
     "$IM noise_rgba.png bmp:$OUT"},
    {"im_bmp4_32_opaque.bmp", imageMagick, "BMP4, 32-bit bit fields, opaque alpha",
     "$IM plasma.ppm -type TrueColorAlpha bmp:$OUT"},
    {"im_bmp4_565.bmp", imageMagick, "BMP4, 16-bit RGB565",
     "$IM ramp.ppm -define bmp:subtype=RGB565 bmp:$OUT", qtShiftsPillowTruncates, Reference::Pillow,
     1},
    {"im_bmp4_555.bmp", imageMagick, "BMP4, 16-bit RGB555",
     "$IM ramp.ppm -define bmp:subtype=RGB555 bmp:$OUT", qtShiftsPillowTruncates, Reference::Pillow,
     1},
    {"im_bmp4_4444.bmp", imageMagick, "BMP4, 16-bit ARGB4444",
     "$IM noise_rgba.png -define bmp:subtype=ARGB4444 bmp:$OUT",
     "Pillow refuses these bit fields; Qt shifts 4-bit channels and alpha up, 15 giving 240"},
    {"im_bmp4_1555.bmp", imageMagick, "BMP4, 16-bit ARGB1555",
     "$IM noise_rgba.png -define bmp:subtype=ARGB1555 bmp:$OUT",
     "Pillow ignores the alpha bit; Qt shifts 5-bit channels up, 31 giving 248"},
    {"im_file_header.dib", imageMagick, "DIB with a file header (BMP3)",
     "$IM plasma.ppm bmp3:$OUT"},
    {"im_packed.dib", imageMagick, "packed DIB, no file header", "$IM plasma.ppm dib:$OUT",
     qtNeedsFileHeader, Reference::Pillow},
    {"im_sizes.ico", imageMagick, "icon, 48/32/16 with alpha",
     "$IM noise_rgba.png -define icon:auto-resize=48,32,16 $OUT"},
    {"im_256.ico", imageMagick, "icon, 256 (16-bit PNG) and 64",
     "$IM plasma.ppm -define icon:auto-resize=256,64 $OUT",
     "16-bit PNG entry: Pillow keeps each value's high byte, Qt rounds to the nearest",
     Reference::Qt},
    {"im.gif", imageMagick, "GIF", "$IM plasma.ppm $OUT"},
    {"im_interlaced.gif", imageMagick, "GIF, interlaced", "$IM plasma.ppm -interlace GIF $OUT"},
    {"im_transparent.gif", imageMagick, "GIF, transparent index", "$IM noise_rgba.png $OUT"},
    {"im.jpg", imageMagick, "JPEG, 4:2:0", "$IM plasma.ppm -quality 90 $OUT"},
    {"im_progressive.jpg", imageMagick, "JPEG, progressive",
     "$IM plasma.ppm -interlace Plane $OUT"},
    {"im_444.jpg", imageMagick, "JPEG, 4:4:4 noise",
     "$IM noise.ppm -sampling-factor 1x1 -quality 95 $OUT"},
    {"im_grey.jpg", imageMagick, "JPEG, grey", "$IM ramp.pgm -colorspace Gray $OUT"},
    {.file = "im_cmyk.jpg",
     .writer = imageMagick,
     .variant = "JPEG, Adobe CMYK, no profile",
     .command = "$IM plasma.ppm -colorspace CMYK $OUT",
     .tolerance = 1,
     .reference = "cms"},
    {.file = "im_cmyk_profile.jpg",
     .writer = imageMagick,
     .variant = "JPEG, CMYK with a press profile",
     .command
     = "$IM plasma.ppm -profile " PROFILES "srgb.icc -profile " PROFILES "ps_cmyk.icc $OUT",
     .tolerance = 1,
     .reference = "cms"},
    {"im_arithmetic.jpg", imageMagick, "JPEG, arithmetic coding",
     "$IM plasma.ppm -define jpeg:arithmetic-coding=true $OUT"},

    {"pil_1.bmp", pillow, "BMP, 1 bit", "bmp-1"},
    {"pil_grey.bmp", pillow, "BMP, 8-bit grey", "bmp-l"},
    {"pil_palette.bmp", pillow, "BMP, 8-bit palette", "bmp-p"},
    {"pil_rgb.bmp", pillow, "BMP, 24 bits", "bmp-rgb"},
    {"pil_rgba.bmp", pillow, "BMP, 32 bits with alpha (BI_RGB)", "bmp-rgba"},
    {"pil_rgb.dib", pillow, "DIB, no file header, 24 bits", "dib-rgb", qtNeedsFileHeader,
     Reference::Pillow},
    {"pil_palette.dib", pillow, "DIB, no file header, 100 colours", "dib-p", qtNeedsFileHeader,
     Reference::Pillow},
    {"pil_png.ico", pillow, "icon, PNG entries 16/32/64", "ico-png"},
    {"pil_png_256.ico", pillow, "icon, PNG entries 48/256", "ico-png-256"},
    {"pil_png_wide.ico", pillow, "icon, one 32 x 19 PNG entry", "ico-png-wide"},
    {"pil_bmp_rgba.ico", pillow, "icon, 32-bit bitmap entries, no masks", "ico-bmp-rgba",
     "Qt's icon reader carries translucent colours through premultiplied values, a step off",
     Reference::Pillow},
    {"pil_bmp_palette.ico", pillow, "icon, 8-bit bitmap entry with mask", "ico-bmp-p"},
    {"pil.gif", pillow, "GIF", "gif"},
    {"pil_interlaced.gif", pillow, "GIF, interlaced", "gif-interlaced"},
    {"pil_transparent.gif", pillow, "GIF, transparent index", "gif-transparent"},
    {"pil_small.gif", pillow, "GIF, 5 colours optimized", "gif-small-palette"},
    {"pil.jpg", pillow, "JPEG, baseline", "jpeg"},
    {"pil_progressive.jpg", pillow, "JPEG, progressive optimized", "jpeg-progressive"},
    {"pil_444.jpg", pillow, "JPEG, 4:4:4 noise", "jpeg-444"},
    {"pil_422.jpg", pillow, "JPEG, 4:2:2", "jpeg-422"},
    {"pil_grey.jpg", pillow, "JPEG, grey", "jpeg-grey"},
    {.file = "pil_cmyk.jpg",
     .writer = pillow,
     .variant = "JPEG, CMYK, no profile",
     .command = "jpeg-cmyk",
     .tolerance = 1,
     .reference = "cms"},

    {"nb_24.bmp", netpbm, "ppmtobmp -windows, 24 bits", "ppmtobmp -windows plasma.ppm > $OUT"},
    {"nb_os2_24.bmp", netpbm, "ppmtobmp -os2, 24 bits", "ppmtobmp -os2 plasma.ppm > $OUT"},
    {"nb_8.bmp", netpbm, "ppmtobmp -bpp 8", "pnmquant 200 plasma.ppm | ppmtobmp -bpp 8 > $OUT"},
    {"nb_4.bmp", netpbm, "ppmtobmp -bpp 4", "pnmquant 16 plasma.ppm | ppmtobmp -bpp 4 > $OUT"},
    {"nb_1.bmp", netpbm, "ppmtobmp -bpp 1", "pnmquant 2 plasma.ppm | ppmtobmp -bpp 1 > $OUT"},
    {"nb_os2_8.bmp", netpbm, "ppmtobmp -os2 -bpp 8",
     "pnmquant 100 plasma.ppm | ppmtobmp -os2 -bpp 8 > $OUT"},
    {"nb_grey.bmp", netpbm, "ppmtobmp, grey", "ppmtobmp ramp.pgm > $OUT"},
    {"nb.ico", netpbm, "pamtowinicon, 32 x 32, every alpha 0",
     "pamscale -width 32 -height 32 plasma.ppm | pamtowinicon > $OUT"},
    {"nb.gif", netpbm, "pamtogif", "pnmquant 256 plasma.ppm | pamtogif > $OUT"},
    {"nb_interlaced.gif", netpbm, "pamtogif -interlace",
     "pnmquant 64 plasma.ppm | pamtogif -interlace > $OUT"},
    {"nb.jpg", netpbm, "pnmtojpeg", "pnmtojpeg plasma.ppm > $OUT"},

    {"gl.gif", giflib, "gif2rgb from RGB",
     "$IM plasma.ppm -depth 8 rgb:plasma.rgb && gif2rgb -1 -s 67 45 plasma.rgb > $OUT"},
    {"gl_16.gif", giflib, "gif2rgb -c 4 (16 colours)",
     "$IM noise.ppm -depth 8 rgb:noise.rgb && gif2rgb -c 4 -1 -s 61 37 noise.rgb > $OUT"},
    {"gl_interlaced.gif", giflib, "giftool -i 1 (interlaced)",
     "$IM plasma.ppm -depth 8 rgb:plasma.rgb && gif2rgb -1 -s 67 45 plasma.rgb"
     " | giftool -i 1 > $OUT"},

    {"cj.jpg", libjpeg, "baseline 4:2:0", "cjpeg -quality 90 plasma.ppm > $OUT"},
    {"cj_progressive.jpg", libjpeg, "progressive", "cjpeg -progressive plasma.ppm > $OUT"},
    {"cj_restart_rows.jpg", libjpeg, "restart every row", "cjpeg -restart 1 plasma.ppm > $OUT"},
    {"cj_restart_blocks.jpg", libjpeg, "restart every 5 blocks",
     "cjpeg -restart 5B noise.ppm > $OUT"},
    {"cj_grey.jpg", libjpeg, "grey from colour", "cjpeg -grayscale plasma.ppm > $OUT"},
    {"cj_grey_ramp.jpg", libjpeg, "grey", "cjpeg -quality 100 ramp.pgm > $OUT"},
    {"cj_arithmetic.jpg", libjpeg, "arithmetic", "cjpeg -arithmetic plasma.ppm > $OUT"},
    {"cj_arithmetic_progressive.jpg", libjpeg, "arithmetic progressive",
     "cjpeg -arithmetic -progressive noise.ppm > $OUT"},
    {"cj_444.jpg", libjpeg, "4:4:4", "cjpeg -sample 1x1 noise.ppm > $OUT"},
    {"cj_422.jpg", libjpeg, "4:2:2", "cjpeg -sample 2x1 plasma.ppm > $OUT"},
    {"cj_440.jpg", libjpeg, "4:4:0", "cjpeg -sample 1x2 plasma.ppm > $OUT"},
    {"cj_411.jpg", libjpeg, "4:1:1", "cjpeg -sample 4x1 plasma.ppm > $OUT"},
    {"cj_rgb.jpg", libjpeg, "RGB, no colour transform", "cjpeg -rgb plasma.ppm > $OUT"},
    {"cj_float_q100.jpg", libjpeg, "float DCT, quality 100, optimized",
     "cjpeg -dct float -quality 100 -optimize ramp.ppm > $OUT"},

    {"bmp_pixels_in_headers.bmp", imageMagick, "BMP3 8-bit, pixel offset 14 (inside the headers)",
     PATCHED_BMP("10", "\\016\\0\\0\\0"), nullptr, Reference::None, 0, nullptr,
     "$IM $OUT.bmp png24:$REF"},
    {"bmp_300_colours.bmp", imageMagick, "BMP3 8-bit claiming 300 colours",
     PATCHED_BMP("46", "\\054\\001\\0\\0"), nullptr, Reference::None, 0, nullptr, refused},
    {"bmp_header_66.bmp", imageMagick, "BMP3 8-bit with a 66-byte header",
     PATCHED_BMP("14", "\\102\\0\\0\\0"), nullptr, Reference::None, 0, nullptr, refused},
    {"pil_v5_profile.ico", pillow, "icon, 32 bits, V5 header without alpha mask, profile",
     "ico-v5-profile",
     "Qt takes the header's alpha mask, zero, and shows the entry opaque; Pillow takes the "
     "fourth byte as alpha, as in any 32-bit entry (ImageMagick misplaces a V5 entry's pixels)",
     Reference::Pillow},
    {"pil_zero_alpha.ico", pillow, "icon, 32 bits, every alpha 0, with mask", "ico-zero-alpha"},

    {"rsvg_mask.svg", librsvg, "mask over half the square",
     DRAWING("<mask id=\"m\"><rect width=\"16\" height=\"32\" fill=\"white\"/></mask>"
             "<rect width=\"32\" height=\"32\" fill=\"red\" mask=\"url(#m)\"/>"),
     nullptr, Reference::None, 0, nullptr, drawnByRsvg},
    {"rsvg_pattern.svg", librsvg, "pattern fill",
     DRAWING("<pattern id=\"p\" width=\"8\" height=\"8\" patternUnits=\"userSpaceOnUse\">"
             "<rect width=\"4\" height=\"4\" fill=\"blue\"/></pattern>"
             "<rect width=\"32\" height=\"32\" fill=\"url(#p)\"/>"),
     nullptr, Reference::None, 0, nullptr, drawnByRsvg},
    {"rsvg_clip_rule.svg", librsvg, "clip path with clip-rule evenodd",
     DRAWING("<clipPath id=\"c\"><path clip-rule=\"evenodd\" "
             "d=\"M0,0H32V32H0Z M8,8H24V24H8Z\"/></clipPath>"
             "<rect width=\"32\" height=\"32\" fill=\"red\" clip-path=\"url(#c)\"/>"),
     nullptr, Reference::None, 0, nullptr, drawnByRsvg},
    {"rsvg_nested_svg.svg", librsvg, "nested svg clips its content",
     DRAWING("<svg x=\"8\" y=\"8\" width=\"16\" height=\"16\">"
             "<rect width=\"32\" height=\"32\" fill=\"red\"/></svg>"),
     nullptr, Reference::None, 0, nullptr, drawnByRsvg},
    {"rsvg_symbol.svg", librsvg, "symbol clips its content",
     DRAWING("<symbol id=\"s\" viewBox=\"0 0 16 16\"><rect width=\"32\" height=\"32\" "
             "fill=\"red\"/></symbol><use xlink:href=\"#s\" width=\"16\" height=\"16\"/>"),
     nullptr, Reference::None, 0, nullptr, drawnByRsvg},

    {"cjxl_grey_linear.jxl", libjxl, "lossless, linear grey profile",
     "$PY write png-grey-linear grey_linear.png && cjxl -d 0 grey_linear.png $OUT", nullptr,
     Reference::None, 0, nullptr, decodedByDjxl},
    {"cjxl_grey_linear_lossy.jxl", libjxl, "lossy, linear grey profile",
     "$PY write png-grey-linear grey_linear.png && cjxl -d 1 grey_linear.png $OUT", nullptr,
     Reference::None, 12, nullptr, decodedByDjxl},
    {"cjxl_swapped.jxl", libjxl, "lossless, red and blue swapped by the profile",
     "$PY write png-swapped swapped.png && cjxl -d 0 swapped.png $OUT", nullptr, Reference::None, 1,
     nullptr, decodedByDjxl},
    {"cjxl_swapped_lossy.jxl", libjxl, "lossy, red and blue swapped by the profile",
     "$PY write png-swapped swapped.png && cjxl -d 1 swapped.png $OUT", nullptr, Reference::None,
     12, nullptr, decodedByDjxl},

    {"im_rgb.png", imageMagick, "PNG, 8-bit RGB", "$IM plasma.ppm -depth 8 $OUT"},
    {"im_interlaced.png", imageMagick, "PNG, interlaced",
     "$IM plasma.ppm -depth 8 -interlace PNG $OUT"},
    {"im_palette.png", imageMagick, "PNG, palette with transparency",
     "$IM noise_rgba.png -channel A -threshold 50% +channel png8:$OUT"},
    {"im_grey_alpha.png", imageMagick, "PNG, grey with alpha",
     "$IM noise_rgba.png -colorspace Gray -depth 8 png:$OUT"},
    // 16 bits narrowed to 8: ImageMagick's rounding (and its compositing before it) and ours
    // differ by a step at some values.
    {.file = "im_rgba64.png",
     .writer = imageMagick,
     .variant = "PNG, 16-bit RGBA",
     .command = "$IM noise_rgba.png -depth 16 png64:$OUT",
     .tolerance = 1,
     .reference = "im"},
    {.file = "im_interlaced64.png",
     .writer = imageMagick,
     .variant = "PNG, 16-bit RGBA, interlaced",
     .command = "$IM noise_rgba.png -depth 16 -interlace PNG png64:$OUT",
     .tolerance = 1,
     .reference = "im"},
    {.file = "nb_rgb16_trns.png",
     .writer = netpbm,
     .variant = "PNG, 16-bit RGB with a transparent colour (tRNS)",
     .command = "$IM plasma.ppm -fill 'rgb(18,52,86)' -draw 'rectangle 0,0 9,44' -depth 16 ppm:-"
                " | pnmtopng -transparent =rgb:1212/3434/5656 > $OUT",
     .tolerance = 1,
     .reference = "im"},
    {.file = "im_grey_profile.png",
     .writer = imageMagick,
     .variant = "PNG, grey with a grey profile",
     .command = "$IM ramp.pgm -profile " GREY_PROFILE " $OUT",
     .tolerance = 1,
     .reference = "cms"},
    {.file = "im_grey_profile.jpg",
     .writer = imageMagick,
     .variant = "JPEG, grey with a grey profile",
     .command = "$IM ramp.pgm -quality 100 -profile " GREY_PROFILE " $OUT",
     .tolerance = 1,
     .reference = "cms"},
    {.file = "im_grey_profile.tif",
     .writer = imageMagick,
     .variant = "TIFF, grey with a grey profile",
     .command = "$IM ramp.pgm -profile " GREY_PROFILE " $OUT",
     .tolerance = 1,
     .reference = "tifffile"},

    {"im_rgb.tif", imageMagick, "TIFF, 8-bit RGB", "$IM plasma.ppm -depth 8 $OUT"},
    // The colour map's 16-bit entries: Qt and Pillow truncate them to 8 bits, ours rounds.
    {.file = "im_palette.tif",
     .writer = imageMagick,
     .variant = "TIFF, 8-bit palette",
     .command = "$IM plasma.ppm -type Palette $OUT",
     .tolerance = 1},
    {"im_bilevel.tif", imageMagick, "TIFF, 1 bit", "$IM plasma.ppm -type Bilevel $OUT"},
    {.file = "im_rgba.tif",
     .writer = imageMagick,
     .variant = "TIFF, RGBA",
     .command = "$IM noise_rgba.png $OUT",
     .reference = "tifffile"},
    {.file = "im_miniswhite.tif",
     .writer = imageMagick,
     .variant = "TIFF, grey, min-is-white",
     .command = "$IM ramp.pgm -define quantum:polarity=min-is-white $OUT",
     .reference = "tifffile"},
    {.file = "tc_tiles.tif",
     .writer = libtiff,
     .variant = "TIFF, 16 x 16 tiles",
     .command = "$IM plasma.ppm -depth 8 plain.tif && tiffcp -t -w 16 -l 16 plain.tif $OUT",
     .reference = "tifffile"},
    {"tc_deflate_predictor.tif", libtiff, "TIFF, Deflate with a predictor",
     "$IM plasma.ppm -depth 8 plain.tif && tiffcp -c zip:2 plain.tif $OUT"},
    {"tc_lzw_one_strip.tif", libtiff, "TIFF, LZW in one strip",
     "$IM plasma.ppm -depth 8 plain.tif && tiffcp -c lzw -r 45 plain.tif $OUT"},
    {.file = "tc_jpeg.tif",
     .writer = libtiff,
     .variant = "TIFF, JPEG in YCbCr",
     .command = "$IM plasma.ppm -depth 8 plain.tif && tiffcp -c jpeg -r 16 plain.tif $OUT",
     .tolerance = 1,
     .reference = "im"},
    {.file = "im_rgb16_planar.tif",
     .writer = imageMagick,
     .variant = "TIFF, 16-bit RGB in planes",
     .command = "$IM plasma.ppm -depth 16 -interlace plane $OUT",
     .reference = "tifffile"},
    {.file = "tf_rgb16_planar.tif",
     .writer = tifffile,
     .variant = "TIFF, 16-bit RGB in planes",
     .command = "$PY planar $OUT rgb16",
     .reference = "tifffile"},
    {.file = "tc_grey_alpha_planar.tif",
     .writer = libtiff,
     .variant = "TIFF, grey and alpha in planes (tiffcp -p separate)",
     .command
     = "$IM noise_rgba.png -colorspace Gray -depth 8 ga.tif && tiffcp -p separate ga.tif $OUT",
     .reference = "tifffile"},
    {.file = "tf_grey_alpha_planar.tif",
     .writer = tifffile,
     .variant = "TIFF, grey and alpha in planes",
     .command = "$PY planar $OUT grey-alpha",
     .reference = "tifffile"},
    {.file = "tf_cmyk16_planar.tif",
     .writer = tifffile,
     .variant = "TIFF, 16-bit CMYK in planes",
     .command = "$IM plasma.ppm -colorspace CMYK -depth 16 cmyk16.tif && $PY planar $OUT cmyk16",
     .tolerance = 1,
     .reference = "tifffile"},
    {.file = "im_cmyk.tif",
     .writer = imageMagick,
     .variant = "TIFF, CMYK, no profile",
     .command = "$IM plasma.ppm -colorspace CMYK $OUT",
     .tolerance = 1,
     .reference = "tifffile"},
    {.file = "im_cmyk_profile.tif",
     .writer = imageMagick,
     .variant = "TIFF, CMYK with a press profile",
     .command
     = "$IM plasma.ppm -profile " PROFILES "srgb.icc -profile " PROFILES "ps_cmyk.icc $OUT",
     .tolerance = 1,
     .reference = "tifffile"},
    {.file = "im_rgb16_profile.tif",
     .writer = imageMagick,
     .variant = "TIFF, 16-bit RGB with an Adobe RGB profile",
     .command
     = "$IM plasma.ppm -depth 16 -profile " PROFILES "srgb.icc -profile " PROFILES "a98.icc $OUT",
     .tolerance = 1,
     .reference = "tifffile"},
    {.file = "tf_float.tif",
     .writer = tifffile,
     .variant = "TIFF, 32-bit floating point RGB",
     .command = "$PY float $OUT",
     .reference = "tifffile"},

    {"cw_lossy.webp", libwebp, "WebP, lossy", "cwebp -quiet plasma.ppm -o $OUT"},
    {"cw_lossless.webp", libwebp, "WebP, lossless", "cwebp -quiet -lossless noise.ppm -o $OUT"},
    {"cw_alpha.webp", libwebp, "WebP, lossy with alpha", "cwebp -quiet noise_rgba.png -o $OUT"},
    {"cw_lossless_alpha.webp", libwebp, "WebP, lossless with alpha",
     "cwebp -quiet -lossless -exact noise_rgba.png -o $OUT"},
    {.file = "cw_profile.webp",
     .writer = libwebp,
     .variant = "WebP with an Adobe RGB profile",
     .command = "$IM plasma.ppm -profile " PROFILES "srgb.icc -profile " PROFILES "a98.icc a98.png"
                " && cwebp -quiet -lossless -metadata icc a98.png -o $OUT",
     .tolerance = 1,
     .reference = "cms"},
    {"gw_animated.webp", libwebp, "WebP, animated (gif2webp), first frame",
     "$IM plasma.ppm noise.ppm -loop 0 anim.gif && gif2webp -quiet anim.gif -o $OUT"},
};

// The picture with its transparent parts composited onto white as this program does, as
// RGB32; a null picture stays null.
QImage onWhite(const QImage& image)
{
    if (image.isNull() || !image.hasAlphaChannel())
        return image.isNull() ? image : image.convertToFormat(QImage::Format_RGB32);
    QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(pixels.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            row[x] = OnWhite(row[x]);
    }
    return pixels.convertToFormat(QImage::Format_RGB32);
}

// Qt's reading: an icon's largest entry (the first of equals), any other file's first
// picture. A .dib is read as the BMP it holds.
QImage readWithQt(const QString& path, QString* why)
{
    QImageReader reader(path);
    if (path.endsWith(QLatin1String(".dib")))
        reader.setFormat("bmp");
    QImage best;
    const int count = path.endsWith(QLatin1String(".ico")) ? reader.imageCount() : 1;
    for (int i = 0; i < std::max(count, 1); ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        QImage image;
        if (!reader.read(&image)) {
            *why = reader.errorString();
            return {};
        }
        if (best.isNull()
            || qint64 {image.width()} * image.height() > qint64 {best.width()} * best.height())
            best = image;
    }
    return onWhite(best);
}

QImage readWithPillow(const QString& path, QString* why)
{
    QFile reason(path + QLatin1String(".pillow.txt"));
    if (reason.open(QIODevice::ReadOnly)) {
        *why = QString::fromUtf8(reason.readAll());
        return {};
    }
    QImage image(path + QLatin1String(".pillow.ppm"), "PPM");
    if (image.isNull())
        *why = QStringLiteral("Pillow wrote no pixels");
    return image.convertToFormat(QImage::Format_RGB32);
}

// How two RGB32 pictures differ: pixels is -1 when their sizes do.
struct Difference
{
    qint64 pixels = 0;
    int largest = 0;
    bool none() const { return pixels == 0; }
    QString text(const QImage& a, const QImage& b) const
    {
        if (pixels < 0)
            return QStringLiteral("%1 x %2 against %3 x %4")
                .arg(a.width())
                .arg(a.height())
                .arg(b.width())
                .arg(b.height());
        return QStringLiteral("%1 pixels, up to %2").arg(pixels).arg(largest);
    }
};

Difference compare(const QImage& a, const QImage& b)
{
    Difference difference;
    if (a.size() != b.size())
        return {-1, 0};
    for (int y = 0; y < a.height(); ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int most = std::max({std::abs(qRed(rowA[x]) - qRed(rowB[x])),
                                       std::abs(qGreen(rowA[x]) - qGreen(rowB[x])),
                                       std::abs(qBlue(rowA[x]) - qBlue(rowB[x]))});
            difference.pixels += most > 0;
            difference.largest = std::max(difference.largest, most);
        }
    }
    return difference;
}

} // namespace

class OtherWritersTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void agreesWithOtherReaders_data();
    void agreesWithOtherReaders();
    void cleanupTestCase();

private:
    // The shell command that writes the picture in the working folder, once the sources are.
    QString commandFor(const WrittenPicture& picture) const;
    QString withPaths(QString command, const QString& file) const;
    bool run(const QString& command, QString* error);

    QTemporaryDir folder;
    bool keep = false;
    QString helper;
    // Why a writer left no file, by file name.
    std::map<QString, QString> notWritten;
    QStringList table;
    int agreeing = 0;
    int differing = 0;
    int onPurpose = 0;
};

QString OtherWritersTest::commandFor(const WrittenPicture& picture) const
{
    const QString file = QString::fromUtf8(picture.file);
    if (picture.writer == pillow)
        return QStringLiteral("%1 %2 write %3 %4")
            .arg(python, helper, QString::fromUtf8(picture.command), file);
    return withPaths(QString::fromUtf8(picture.command), file);
}

QString OtherWritersTest::withPaths(QString command, const QString& file) const
{
    return command.replace(QLatin1String("$IM"), QLatin1String("/usr/bin/convert"))
        .replace(QLatin1String("$PY"), python + QLatin1Char(' ') + helper)
        .replace(QLatin1String("$OUT"), file)
        .replace(QLatin1String("$REF"), file + QLatin1String(".ref.png"));
}

bool OtherWritersTest::run(const QString& command, QString* error)
{
    QProcess process;
    process.setWorkingDirectory(folder.path());
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *error = QStringLiteral("`%1` failed: %2")
                     .arg(command, QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    return true;
}

void OtherWritersTest::initTestCase()
{
    QVERIFY(folder.isValid());
    // To look at a difference: the files stay, with each reader's pixels beside them.
    keep = qEnvironmentVariableIsSet("VISTREL_KEEP_OTHER_WRITERS");
    if (keep) {
        folder.setAutoRemove(false);
        qInfo("pictures and their readings in %s", qPrintable(folder.path()));
    }
    for (const auto& program : neededPrograms)
        QVERIFY2(QFileInfo::exists(QString::fromUtf8(program.path)),
                 qPrintable(QStringLiteral("%1 is missing: install %2 (scripts/install-deps.sh)")
                                .arg(QString::fromUtf8(program.path),
                                     QString::fromUtf8(program.package))));
    // Beside the test data folder the test command names; the compiler's file name of this
    // source may be relative to the build folder, which the test does not run in.
    const QString data = qEnvironmentVariable("VISTREL_TEST_DATA");
    helper = (data.isEmpty() ? QFileInfo(QStringLiteral(__FILE__)).absolutePath()
                             : data + QStringLiteral("/.."))
        + QStringLiteral("/other_writers/pillow_pictures.py");
    QVERIFY2(QFileInfo::exists(helper), qPrintable(helper));

    QString error;
    QVERIFY2(run(QStringLiteral("%1 %2 sources && /usr/bin/convert -seed 1 -size 67x45 "
                                "plasma:fractal plasma.ppm")
                     .arg(python, helper),
                 &error),
             qPrintable(error));

    QStringList pillowKinds;
    for (const WrittenPicture& picture : writtenPictures) {
        const QString file = QString::fromUtf8(picture.file);
        if (picture.writer == pillow)
            pillowKinds << QString::fromUtf8(picture.command) << file;
        else if (!run(commandFor(picture), &error))
            notWritten[file] = error;
        else if (picture.expected && picture.expected != refused
                 && !run(withPaths(QString::fromUtf8(picture.expected), file), &error))
            notWritten[file] = error;
    }
    // One Python for all of Pillow's files: each start costs a tenth of a second.
    QString pillowError;
    run(QStringLiteral("%1 %2 write %3").arg(python, helper, pillowKinds.join(QLatin1Char(' '))),
        &pillowError);

    QStringList written;
    for (const WrittenPicture& picture : writtenPictures) {
        const QString file = QString::fromUtf8(picture.file);
        if (!QFileInfo(folder.filePath(file)).isFile() && !notWritten.count(file))
            notWritten[file] = QStringLiteral("no file: ") + pillowError;
        if (!notWritten.count(file))
            written << file;
    }
    QVERIFY2(
        run(QStringLiteral("%1 %2 read %3").arg(python, helper, written.join(QLatin1Char(' '))),
            &error),
        qPrintable(error));
    for (const WrittenPicture& picture : writtenPictures) {
        const QString file = QString::fromUtf8(picture.file);
        if (picture.reference && !notWritten.count(file)
            && !run(QStringLiteral("%1 %2 reference %3 %4")
                        .arg(python, helper, QString::fromUtf8(picture.reference), file),
                    &error))
            notWritten[file] = error;
    }
}

void OtherWritersTest::agreesWithOtherReaders_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(writtenPictures)); ++i)
        QTest::newRow(writtenPictures[i].file) << i;
}

void OtherWritersTest::agreesWithOtherReaders()
{
    QFETCH(int, index);
    const WrittenPicture& picture = writtenPictures[index];
    const QString file = QString::fromUtf8(picture.file);
    const QString path = folder.filePath(file);
    const QString command = commandFor(picture);
    const auto record = [&](const QString& verdict, int& count) {
        table << QStringLiteral("%1 | %2 | %3 | %4")
                     .arg(file, QString::fromUtf8(picture.writer),
                          QString::fromUtf8(picture.variant), verdict);
        ++count;
    };
    if (notWritten.count(file)) {
        record(QStringLiteral("not written"), differing);
        QFAIL(qPrintable(notWritten[file]));
    }

    const QImage ours = LoadImageFile(path.toStdString());
    if (picture.expected == refused) {
        record(ours.isNull() ? QStringLiteral("refused") : QStringLiteral("read"),
               ours.isNull() ? agreeing : differing);
        QVERIFY2(ours.isNull(), qPrintable(file + QStringLiteral(" is damaged but was read")));
        return;
    }
    if (picture.expected || picture.reference) {
        const QImage expected = picture.expected
            ? onWhite(QImage(path + QLatin1String(".ref.png")))
            : QImage(path + QLatin1String(".ref.ppm"), "PPM").convertToFormat(QImage::Format_RGB32);
        QVERIFY(!expected.isNull());
        const Difference difference = ours.isNull() ? Difference {-1, 0} : compare(ours, expected);
        const QString how = ours.isNull() ? QStringLiteral("ours reads nothing")
                                          : difference.text(ours, expected);
        const QString against
            = QStringLiteral("against %1: ")
                  .arg(picture.reference
                           ? QString::fromUtf8(picture.reference)
                           : QString::fromUtf8(picture.expected).section(QLatin1Char(' '), 0, 0));
        if (difference.pixels < 0 || difference.largest > picture.tolerance) {
            record(against + QStringLiteral("differs (%1)").arg(how), differing);
            QFAIL(qPrintable(
                QStringLiteral("%1 differs (%2); written by: %3").arg(file, how, command)));
        }
        record(against
                   + (difference.none()
                          ? QStringLiteral("agree")
                          : QStringLiteral("agree within %1 (%2)").arg(picture.tolerance).arg(how)),
               agreeing);
        return;
    }
    QString qtWhy;
    QString pillowWhy;
    const QImage qt = readWithQt(path, &qtWhy);
    const QImage pil = readWithPillow(path, &pillowWhy);
    if (keep) {
        ours.save(path + QLatin1String(".ours.ppm"));
        qt.save(path + QLatin1String(".qt.ppm"));
    }
    const Difference between = qt.isNull() || pil.isNull() ? Difference {-1, 0} : compare(qt, pil);

    QImage expected = qt;
    QString verdict;
    if (between.none()) {
        QVERIFY2(!picture.why, qPrintable(file + QStringLiteral(": Qt and Pillow now agree")));
    } else {
        const QString how = qt.isNull() ? QStringLiteral("Qt: ") + qtWhy
            : pil.isNull()              ? QStringLiteral("Pillow: ") + pillowWhy
                                        : between.text(qt, pil);
        if (!picture.why) {
            record(QStringLiteral("references disagree, unexplained (%1)").arg(how), differing);
            QFAIL(qPrintable(QStringLiteral("Qt and Pillow disagree on %1 (%2): say why in its row")
                                 .arg(file, how)));
        }
        verdict = QStringLiteral("references disagree (%1: %2)")
                      .arg(how, QString::fromUtf8(picture.why));
        if (picture.prefer == Reference::None) {
            record(verdict + QStringLiteral(", ours not compared"), agreeing);
            return;
        }
        expected = picture.prefer == Reference::Qt ? qt : pil;
        verdict += picture.prefer == Reference::Qt ? QStringLiteral(", against Qt")
                                                   : QStringLiteral(", against Pillow");
        QVERIFY(!expected.isNull());
    }
    if (!verdict.isEmpty())
        verdict += QStringLiteral(": ");

    const Difference difference = ours.isNull() ? Difference {-1, 0} : compare(ours, expected);
    const QString how
        = ours.isNull() ? QStringLiteral("ours reads nothing") : difference.text(ours, expected);
    if (picture.ours) {
        QVERIFY2(!difference.none(), qPrintable(file + QStringLiteral(": ours now agrees")));
        record(verdict
                   + QStringLiteral("ours differs on purpose (%1: %2)")
                         .arg(how, QString::fromUtf8(picture.ours)),
               onPurpose);
        return;
    }
    if (difference.pixels < 0 || difference.largest > picture.tolerance) {
        record(verdict + QStringLiteral("differs (%1)").arg(how), differing);
        QFAIL(
            qPrintable(QStringLiteral("%1 differs (%2); written by: %3").arg(file, how, command)));
    }
    record(verdict
               + (difference.none()
                      ? QStringLiteral("agree")
                      : QStringLiteral("agree within %1 (%2)").arg(picture.tolerance).arg(how)),
           agreeing);
}

void OtherWritersTest::cleanupTestCase()
{
    qInfo("file | writer | variant | verdict");
    for (const QString& line : std::as_const(table))
        qInfo("%s", qPrintable(line));
    qInfo("%lld files, %d agreeing, %d differing, %d differing on purpose",
          static_cast<long long>(table.size()), agreeing, differing, onPurpose);
}

QTEST_MAIN(OtherWritersTest)
#include "tst_other_writers.moc"
