// The C interface between the program and its Exif reader module (exif_module/), which the
// program opens by file name when it first needs it: only plain C crosses, so that nothing
// of libexiv2's C++ reaches the program.
#pragma once

extern "C" {

// Called once for each property the file holds, with its key (ExifKey...) and its value as
// the program shows it, both NUL-terminated UTF-8.
typedef void (*ExifPropertySink)(void* context, const char* key, const char* value);

// Reads the file's metadata, whatever the format its content shows, and reports each
// property found to sink. 1 when the file was read (it may hold no metadata), 0 when it
// could not be (missing, unreadable, of a format the reader does not know). Never throws.
typedef int (*ReadExifFunction)(const char* path, ExifPropertySink sink, void* context);
}

// The name the module exports its ReadExifFunction under.
inline constexpr const char* ReadExifSymbol = "VistrelReadExif";

// The keys of the properties.
inline constexpr const char* ExifKeyFormat = "format";
inline constexpr const char* ExifKeyDateTaken = "date";
inline constexpr const char* ExifKeyCamera = "camera";
inline constexpr const char* ExifKeyLens = "lens";
inline constexpr const char* ExifKeyExposure = "exposure";
inline constexpr const char* ExifKeyPosition = "position";
