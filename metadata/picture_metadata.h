// What a picture file holds beyond its pixels: its format as its content shows it, and from
// its Exif block the date it was taken, the camera, the lens, the exposure and the place.
// Read by content, so that any format the Exif reader knows (JPEG, PNG, WebP, TIFF,
// HEIF/AVIF, camera RAW files) gives what it holds, whatever the file is named.
#pragma once

#include <string>

struct PictureMetadata
{
    // A MIME type (image/jpeg); empty when the reader does not know the format.
    std::string Format;
    // As "2024-05-01 12:34:56".
    std::string DateTaken;
    std::string Camera;
    std::string Lens;
    // Exposure time, aperture, sensitivity and focal length, those the file holds.
    std::string Exposure;
    // Latitude and longitude in degrees, as "48.858370° N, 2.294481° E".
    std::string Position;
};

// Empty fields for what the file does not hold, and all empty when it cannot be read or is
// not a regular file. The Exif reader, a module of the program's own that links libexiv2,
// is opened at the first call; where it cannot be, ExifReaderProblem says why. Never throws.
PictureMetadata ReadPictureMetadata(const std::string& fileName);

// Why the Exif reader cannot be opened (it is opened here if it was not yet); empty when
// it can.
std::string ExifReaderProblem();
