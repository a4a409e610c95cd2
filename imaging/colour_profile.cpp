#include "imaging/colour_profile.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include <lcms2.h>

namespace {

using Matrix = std::array<double, 9>;

// The matrix whose columns are the profile's red, green and blue colorants (their XYZ in the
// profile connection space); false when the profile lacks one.
bool colorantMatrix(cmsHPROFILE profile, Matrix* matrix)
{
    const cmsTagSignature tags[]
        = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    for (int column = 0; column < 3; ++column) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[column]));
        if (!xyz)
            return false;
        (*matrix)[column] = xyz->X;
        (*matrix)[3 + column] = xyz->Y;
        (*matrix)[6 + column] = xyz->Z;
    }
    return true;
}

bool invert(const Matrix& m, Matrix* inverse)
{
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6])
        + m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (std::abs(det) < 1e-9)
        return false;
    *inverse = {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
                (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
                (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
                (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
                (m[0] * m[4] - m[1] * m[3]) / det};
    return true;
}

// sRGB's encoding of linear light between 0 and 1.
double srgbEncoded(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

} // namespace

SrgbConversion::~SrgbConversion()
{
    reset();
}

void SrgbConversion::reset()
{
    if (transform)
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform));
    transform = nullptr;
    matrixShaper = false;
    cmyk = false;
    grey.reset();
}

bool SrgbConversion::prepareMatrixShaper(void* source, void* srgb)
{
    if (!cmsIsMatrixShaper(source) || !cmsIsMatrixShaper(srgb))
        return false;
    Matrix toXyz {};
    Matrix srgbToXyz {};
    Matrix fromXyz {};
    if (!colorantMatrix(source, &toXyz) || !colorantMatrix(srgb, &srgbToXyz)
        || !invert(srgbToXyz, &fromXyz))
        return false;
    Matrix toSrgb {};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            double sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += fromXyz[static_cast<std::size_t>(3 * row + k)]
                    * toXyz[static_cast<std::size_t>(3 * k + column)];
            toSrgb[static_cast<std::size_t>(3 * row + column)] = sum;
        }
    }
    // A matrix entry of 4 or more would overflow the fields (no real profile has one; ProPhoto,
    // the widest in use, needs 2.03).
    for (double entry : toSrgb) {
        if (std::abs(entry) >= 4)
            return false;
    }
    const cmsTagSignature curveTags[] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int in = 0; in < 3; ++in) {
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, curveTags[in]));
        if (!curve)
            return false;
        for (int value = 0; value < 256; ++value) {
            const double linear = std::clamp<double>(
                cmsEvalToneCurveFloat(curve, static_cast<cmsFloat32Number>(value / 255.0)), 0, 1);
            std::uint64_t fields = 0;
            for (int out = 0; out < 3; ++out) {
                const std::int64_t steps = std::llround(
                    toSrgb[static_cast<std::size_t>(3 * out + in)] * linear * linearSteps);
                fields |= static_cast<std::uint64_t>(steps + bias) << (fieldBits * out);
            }
            contribution[static_cast<std::size_t>(in)][static_cast<std::size_t>(value)] = fields;
        }
    }
    fromLinear.resize(linearSteps + 1);
    for (int step = 0; step <= linearSteps; ++step)
        fromLinear[static_cast<std::size_t>(step)] = static_cast<std::uint8_t>(
            std::lround(255 * srgbEncoded(static_cast<double>(step) / linearSteps)));
    matrixShaper = true;
    return true;
}

void SrgbConversion::Prepare(const std::vector<unsigned char>& profile)
{
    reset();
    if (profile.empty())
        return;
    cmsHPROFILE source
        = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    if (!source)
        return;
    if (cmsGetColorSpace(source) == cmsSigRgbData) {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        if (srgb) {
            // Eight bits in and out with the fourth byte untouched.
            if (!prepareMatrixShaper(source, srgb))
                transform = cmsCreateTransform(source, TYPE_BGRA_8, srgb, TYPE_BGRA_8,
                                               INTENT_PERCEPTUAL, 0);
            cmsCloseProfile(srgb);
        }
    }
    cmsCloseProfile(source);
}

void SrgbConversion::PrepareGrey(const std::vector<unsigned char>& profile)
{
    reset();
    if (profile.empty())
        return;
    cmsHPROFILE source
        = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    if (!source)
        return;
    cmsHPROFILE srgb
        = cmsGetColorSpace(source) == cmsSigGrayData ? cmsCreate_sRGBProfile() : nullptr;
    cmsHTRANSFORM toSrgb = srgb
        ? cmsCreateTransform(source, TYPE_GRAY_8, srgb, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0)
        : nullptr;
    if (toSrgb) {
        // 256 grey values in, their colours out: every pixel is then one lookup.
        std::array<std::uint8_t, 256> values {};
        for (int value = 0; value < 256; ++value)
            values[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(value);
        grey = std::make_unique<std::array<std::uint32_t, 256>>();
        cmsDoTransform(toSrgb, values.data(), grey->data(), 256);
        for (std::uint32_t& colour : *grey)
            colour |= 0xFF000000u;
        cmsDeleteTransform(toSrgb);
    }
    if (srgb)
        cmsCloseProfile(srgb);
    cmsCloseProfile(source);
}

bool SrgbConversion::PrepareCmyk(const std::vector<unsigned char>& profile, bool inverted)
{
    reset();
    const auto open = [](const std::vector<unsigned char>& bytes) -> cmsHPROFILE {
        if (bytes.empty())
            return nullptr;
        cmsHPROFILE opened
            = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
        if (opened && cmsGetColorSpace(opened) != cmsSigCmykData) {
            cmsCloseProfile(opened);
            return nullptr;
        }
        return opened;
    };
    cmsHPROFILE source = open(profile);
    if (!source)
        source = open(StandardCmykProfile());
    if (!source)
        return false;
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    if (srgb) {
        transform = cmsCreateTransform(source, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, srgb,
                                       TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
        cmsCloseProfile(srgb);
    }
    cmsCloseProfile(source);
    cmyk = transform != nullptr;
    return cmyk;
}

void SrgbConversion::Convert(uchar* pixels, qsizetype count) const
{
    if (count <= 0)
        return;
    if (grey) {
        auto* colours = reinterpret_cast<std::uint32_t*>(pixels);
        for (qsizetype i = 0; i < count; ++i)
            colours[i] = ((*grey)[pixels[4 * i]] & 0x00FFFFFFu) | (colours[i] & 0xFF000000u);
        return;
    }
    if (transform) {
        cmsDoTransform(static_cast<cmsHTRANSFORM>(transform), pixels, pixels,
                       static_cast<cmsUInt32Number>(count));
        if (cmyk) {
            for (qsizetype i = 0; i < count; ++i)
                pixels[4 * i + 3] = 0xFF;
        }
        return;
    }
    if (!matrixShaper)
        return;
    const std::uint8_t* encode = fromLinear.data();
    const auto& [red, green, blue] = contribution;
    const auto encoded = [encode](std::uint64_t sums, int out) {
        const auto field = static_cast<std::int64_t>((sums >> (fieldBits * out))
                                                     & ((std::uint64_t {1} << fieldBits) - 1));
        return encode[std::clamp<std::int64_t>(field - 3 * bias, 0, linearSteps)];
    };
    for (uchar* p = pixels; p < pixels + 4 * count; p += 4) {
        const std::uint64_t sums = red[p[2]] + green[p[1]] + blue[p[0]];
        p[2] = encoded(sums, 0);
        p[1] = encoded(sums, 1);
        p[0] = encoded(sums, 2);
    }
}

const std::vector<unsigned char>& StandardCmykProfile()
{
    static const std::vector<unsigned char> profile = [] {
        std::vector<unsigned char> bytes;
        std::FILE* file = std::fopen("/usr/share/color/icc/ghostscript/default_cmyk.icc", "rb");
        if (!file)
            return bytes;
        unsigned char buffer[65536];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
            bytes.insert(bytes.end(), buffer, buffer + got);
            // Far more than any press profile: anything larger is not the one meant.
            if (bytes.size() > (std::size_t {16} << 20)) {
                bytes.clear();
                break;
            }
        }
        std::fclose(file);
        return bytes;
    }();
    return profile;
}

struct SrgbRowConversion::Shared
{
    std::mutex mutex;
    std::condition_variable wake;
    int ready = 0; // rows the decoder handed over
    bool finishing = false;
    std::thread worker;
};

SrgbRowConversion::SrgbRowConversion(const SrgbConversion& from)
    : conversion(from)
{
}

SrgbRowConversion::~SrgbRowConversion()
{
    Finish();
}

void SrgbRowConversion::Start(uchar* rows, int rowWidth, qsizetype rowStride)
{
    Finish();
    pixels = rows;
    width = rowWidth;
    stride = rowStride;
    converted = 0;
    if (!conversion.Active() || std::thread::hardware_concurrency() < 2)
        return;
    try {
        shared = std::make_unique<Shared>();
        shared->worker = std::thread([this] { work(); });
    } catch (...) {
        // No thread: the rows are converted as they come.
        shared.reset();
    }
}

void SrgbRowConversion::RowsReady(int rows)
{
    if (!conversion.Active())
        return;
    if (!shared) {
        convert(converted, rows);
        converted = rows;
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->ready = rows;
    }
    shared->wake.notify_one();
}

void SrgbRowConversion::Finish()
{
    if (!shared)
        return;
    {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->finishing = true;
    }
    shared->wake.notify_one();
    shared->worker.join();
    shared.reset();
}

void SrgbRowConversion::work()
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [this] { return shared->ready > converted || shared->finishing; });
        const int ready = shared->ready;
        if (ready == converted)
            return; // finishing, and every row is done
        lock.unlock();
        convert(converted, ready);
        converted = ready;
        lock.lock();
    }
}

void SrgbRowConversion::convert(int first, int last)
{
    for (int row = first; row < last; ++row)
        conversion.Convert(pixels + stride * row, width);
}

bool ConvertPictureToSrgb(QImage& picture, const std::vector<unsigned char>& profile)
{
    if (profile.empty() || picture.isNull() || picture.format() != QImage::Format_RGB32)
        return false;
    SrgbConversion conversion;
    conversion.Prepare(profile);
    if (!conversion.Active())
        return false;
    for (int y = 0; y < picture.height(); ++y)
        conversion.Convert(picture.scanLine(y), picture.width());
    return true;
}
