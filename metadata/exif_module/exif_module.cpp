// The Exif reader: libexiv2 behind the plain C function of exif_interface.h. It is a shared
// module of its own, opened by the program at the first picture whose properties are asked
// for, because linking libexiv2 into the program cost every start its loading.
#include "metadata/exif_interface.h"

#include <exiv2/exiv2.hpp>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Exiv2's own reading of a value (1/250 s, F5.6, 35.0 mm); empty when the key is absent.
std::string shown(const Exiv2::ExifData& data, Exiv2::ExifData::const_iterator found)
{
    if (found == data.end())
        return {};
    return found->print(&data);
}

std::string joined(const std::string& first, const std::string& second, const char* between)
{
    if (first.empty())
        return second;
    if (second.empty())
        return first;
    return first + between + second;
}

// Most cameras repeat their maker at the start of the model's name.
std::string cameraOf(const Exiv2::ExifData& data)
{
    const std::string maker = shown(data, Exiv2::make(data));
    const std::string model = shown(data, Exiv2::model(data));
    const std::string makerWord = maker.substr(0, maker.find(' '));
    if (!makerWord.empty() && model.compare(0, makerWord.size(), makerWord) == 0)
        return model;
    return joined(maker, model, " ");
}

std::string exposureOf(const Exiv2::ExifData& data)
{
    std::string iso = shown(data, Exiv2::isoSpeed(data));
    if (!iso.empty())
        iso = "ISO " + iso;
    return joined(joined(joined(shown(data, Exiv2::exposureTime(data)),
                                shown(data, Exiv2::fNumber(data)), ", "),
                         iso, ", "),
                  shown(data, Exiv2::focalLength(data)), ", ");
}

// Degrees, minutes and seconds as three rationals, south and west negative; NaN when the
// value is not that.
double degreesOf(const Exiv2::ExifData& data, const char* key, const char* refKey, char negative)
{
    const auto value = data.findKey(Exiv2::ExifKey(key));
    const auto ref = data.findKey(Exiv2::ExifKey(refKey));
    if (value == data.end() || value->count() != 3)
        return NAN;
    double degrees = 0;
    double unit = 1;
    for (long i = 0; i < 3; ++i, unit *= 60) {
        const Exiv2::Rational part = value->toRational(i);
        if (part.second == 0)
            return NAN;
        degrees += static_cast<double>(part.first) / part.second / unit;
    }
    if (ref != data.end() && !ref->toString().empty() && ref->toString()[0] == negative)
        degrees = -degrees;
    return degrees;
}

std::string positionOf(const Exiv2::ExifData& data)
{
    const double latitude
        = degreesOf(data, "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef", 'S');
    const double longitude
        = degreesOf(data, "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef", 'W');
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90
        || std::fabs(longitude) > 180)
        return {};
    char text[80];
    std::snprintf(text, sizeof text, "%.6f\u00b0 %c, %.6f\u00b0 %c", std::fabs(latitude),
                  latitude < 0 ? 'S' : 'N', std::fabs(longitude), longitude < 0 ? 'W' : 'E');
    return text;
}

// "2024:05:01 12:34:56" as a date reads elsewhere.
std::string dateOf(const Exiv2::ExifData& data)
{
    auto found = Exiv2::dateTimeOriginal(data);
    if (found == data.end())
        found = data.findKey(Exiv2::ExifKey("Exif.Image.DateTime"));
    std::string date = shown(data, found);
    if (date.size() >= 10 && date[4] == ':' && date[7] == ':') {
        date[4] = '-';
        date[7] = '-';
    }
    return date;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
VistrelReadExif(const char* path, ExifPropertySink sink, void* context)
{
    try {
        static const bool once = [] {
            // Its warnings about odd files are not the user's business.
            Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
            // HEIF, AVIF, JPEG XL and the newer camera files.
            Exiv2::enableBMFF(true);
            return true;
        }();
        (void)once;
        // Opened by its content, whatever its name says; a file, never a web address.
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(std::string(path), false);
        if (!image.get())
            return 0;
        sink(context, ExifKeyFormat, image->mimeType().c_str());
        image->readMetadata();
        const Exiv2::ExifData& data = image->exifData();
        const std::pair<const char*, std::string> properties[] = {
            {ExifKeyDateTaken, dateOf(data)},
            {ExifKeyCamera, cameraOf(data)},
            {ExifKeyLens, shown(data, Exiv2::lensName(data))},
            {ExifKeyExposure, exposureOf(data)},
            {ExifKeyPosition, positionOf(data)},
        };
        for (const auto& [key, value] : properties) {
            if (!value.empty())
                sink(context, key, value.c_str());
        }
        return 1;
    } catch (...) {
        // A file the reader gives up on has no properties to show; nothing crosses the C
        // boundary.
        return 0;
    }
}
