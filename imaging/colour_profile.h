// Pictures with an embedded ICC colour profile, shown in sRGB.
#pragma once

#include <QtGlobal>

#include <vector>

// The conversion of 32-bit BGRX pixels from a picture's embedded RGB profile to sRGB, through
// LittleCMS. A picture without a profile is taken as sRGB and left as it is; so is one whose
// profile is damaged or not an RGB one (a grey or CMYK profile describes other samples than
// the RGB the decoder gives).
class SrgbConversion
{
public:
    SrgbConversion() = default;
    explicit SrgbConversion(const std::vector<unsigned char>& profile);
    ~SrgbConversion();
    SrgbConversion(const SrgbConversion&) = delete;
    SrgbConversion& operator=(const SrgbConversion&) = delete;

    // Sets up the conversion from profile (the whole ICC data); afterwards Active says
    // whether there is one.
    void Prepare(const std::vector<unsigned char>& profile);
    bool Active() const { return transform != nullptr; }

    // Converts count BGRX pixels in place; the fourth byte is left as it is.
    void Convert(uchar* pixels, qsizetype count) const;

private:
    void* transform = nullptr;
};
