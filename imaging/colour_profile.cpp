#include "imaging/colour_profile.h"

#include <lcms2.h>

SrgbConversion::SrgbConversion(const std::vector<unsigned char>& profile)
{
    Prepare(profile);
}

SrgbConversion::~SrgbConversion()
{
    if (transform)
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform));
}

void SrgbConversion::Prepare(const std::vector<unsigned char>& profile)
{
    if (transform) {
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform));
        transform = nullptr;
    }
    if (profile.empty())
        return;
    cmsHPROFILE source
        = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    if (!source)
        return;
    if (cmsGetColorSpace(source) == cmsSigRgbData) {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        if (srgb) {
            // Eight bits in and out with the fourth byte untouched; LittleCMS joins the two
            // profiles into one optimised table.
            transform
                = cmsCreateTransform(source, TYPE_BGRA_8, srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
            cmsCloseProfile(srgb);
        }
    }
    cmsCloseProfile(source);
}

void SrgbConversion::Convert(uchar* pixels, qsizetype count) const
{
    if (transform && count > 0)
        cmsDoTransform(static_cast<cmsHTRANSFORM>(transform), pixels, pixels,
                       static_cast<cmsUInt32Number>(count));
}
