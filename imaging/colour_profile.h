// Pictures with an embedded ICC colour profile, shown in sRGB.
#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QImage;

// The conversion of 32-bit BGRX pixels from a picture's embedded RGB profile to sRGB. A
// picture without a profile is taken as sRGB and left as it is; so is one whose profile is
// damaged or not an RGB one (a grey or CMYK profile describes other samples than the RGB the
// decoder gives).
//
// Nearly every camera and screen profile is a matrix and three tone curves (Display P3,
// Adobe RGB, ProPhoto): those are converted here through tables made from the profile, each
// pixel three lookups, two additions and three lookups, several times faster than LittleCMS's
// own 8-bit path. Any other RGB profile goes through a LittleCMS transform.
class SrgbConversion
{
public:
    SrgbConversion() = default;
    ~SrgbConversion();
    SrgbConversion(const SrgbConversion&) = delete;
    SrgbConversion& operator=(const SrgbConversion&) = delete;

    // Sets up the conversion from profile (the whole ICC data); afterwards Active says
    // whether there is one.
    void Prepare(const std::vector<unsigned char>& profile);
    bool Active() const { return matrixShaper || transform || grey; }

    // Sets up the conversion of a grey picture's BGRX pixels (blue, green and red equal) from
    // its grey profile; a profile that is not a grey one gives none.
    void PrepareGrey(const std::vector<unsigned char>& profile);

    // Sets up the conversion of four bytes a pixel of cyan, magenta, yellow and black ink
    // (inverted: 255 minus the ink, as Adobe's writers store it) into BGRX, from the
    // picture's CMYK profile, or when it has none (or one that is not a CMYK profile) from
    // the standard press profile the system provides (StandardCmykProfile). False, with no
    // conversion, when there is neither.
    bool PrepareCmyk(const std::vector<unsigned char>& profile, bool inverted);

    // Converts count pixels in place: BGRX into BGRX with the fourth byte left as it is, or
    // from CMYK into BGRX with the fourth byte 255.
    void Convert(uchar* pixels, qsizetype count) const;

private:
    // Steps of the linear light between 0 and 1 that the output table has.
    static constexpr int linearSteps = 1 << 14;
    // The three sums of a pixel share one 64-bit word, a field of 20 bits each. Every matrix
    // entry of a real profile is below 4 in size, so a contribution lies within +-2^16 steps;
    // kept above a bias of 2^18, three of them never leave their field.
    static constexpr int fieldBits = 20;
    static constexpr std::int64_t bias = std::int64_t {1} << 18;

    void reset();
    bool prepareMatrixShaper(void* source, void* srgb);

    bool matrixShaper = false;
    // contribution[in][value]: what the value of source channel in (red, green, blue) adds to
    // each of sRGB's linear channels, in linear steps plus the bias, red in the lowest field.
    std::array<std::array<std::uint64_t, 256>, 3> contribution {};
    std::vector<std::uint8_t> fromLinear; // linearSteps + 1 entries
    void* transform = nullptr; // LittleCMS, for profiles that are not a matrix and curves
    bool cmyk = false; // transform takes CMYK and gives BGRA
    // A grey profile's sRGB colour of each grey value, as BGRX.
    std::unique_ptr<std::array<std::uint32_t, 256>> grey;
};

// Where the standard CMYK profile is read from: the SWOP press profile of Debian's
// libgs-common ("Artifex CMYK SWOP Profile"), as CMYK files without a profile were most often
// prepared for that press. Empty when the file is not there.
const std::vector<unsigned char>& StandardCmykProfile();

// The rows of a picture being decoded, converted to sRGB on a thread of their own while the
// decoder produces the next ones: on a machine with two cores or more the conversion then
// adds little to the time a decode takes. Without a second core or a thread it converts on
// the caller's thread instead. Rows are handed over in order, top to bottom.
class SrgbRowConversion
{
public:
    explicit SrgbRowConversion(const SrgbConversion& from);
    // Waits for the rows handed over: the picture's memory must outlive this.
    ~SrgbRowConversion();
    SrgbRowConversion(const SrgbRowConversion&) = delete;
    SrgbRowConversion& operator=(const SrgbRowConversion&) = delete;

    // The picture whose rows are handed over: width pixels a row, stride bytes apart.
    void Start(uchar* pixels, int width, qsizetype stride);
    // Rows 0 .. rows - 1 are decoded and may be converted.
    void RowsReady(int rows);
    // Returns once every row handed over is converted.
    void Finish();

private:
    void work();
    void convert(int first, int last);

    const SrgbConversion& conversion;
    uchar* pixels = nullptr;
    int width = 0;
    qsizetype stride = 0;
    int converted = 0; // rows converted or being converted; the worker's own
    struct Shared;
    std::unique_ptr<Shared> shared; // null when converting on the caller's thread
};

// Converts an RGB32 picture from profile (the whole ICC data) to sRGB inside its own memory,
// for decoders that give the whole picture at once; a picture without a usable RGB profile
// is left as it is, byte for byte. True when the picture was converted.
bool ConvertPictureToSrgb(QImage& picture, const std::vector<unsigned char>& profile);
