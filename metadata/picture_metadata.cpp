#include "metadata/picture_metadata.h"

#include "metadata/exif_interface.h"

#include <QCoreApplication>
#include <QFile>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct ExifReader
{
    ReadExifFunction read = nullptr;
    std::string problem;
};

// Where the module lies: beside an installed program in its library folder, or where the
// build made it (the build tree's programs and tests).
std::vector<std::string> modulePlaces()
{
    std::vector<std::string> places;
    if (QCoreApplication::instance())
        places.push_back(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString()
                         + "/" VISTREL_EXIF_MODULE_FROM_PROGRAM);
    places.emplace_back(VISTREL_EXIF_MODULE_BUILT);
    return places;
}

const ExifReader& exifReader()
{
    static ExifReader reader;
    static std::once_flag opened;
    std::call_once(opened, [] {
        for (const std::string& place : modulePlaces()) {
            // Never unloaded: libexiv2 keeps state of its own until the program ends.
            void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!module) {
                reader.problem = dlerror();
                continue;
            }
            reader.read = reinterpret_cast<ReadExifFunction>(dlsym(module, ReadExifSymbol));
            reader.problem = reader.read ? std::string() : place + " has no Exif reader";
            if (reader.read)
                return;
        }
    });
    return reader;
}

void takeProperty(void* context, const char* key, const char* value)
{
    auto& metadata = *static_cast<PictureMetadata*>(context);
    const std::pair<const char*, std::string PictureMetadata::*> keys[] = {
        {ExifKeyFormat, &PictureMetadata::Format},
        {ExifKeyDateTaken, &PictureMetadata::DateTaken},
        {ExifKeyCamera, &PictureMetadata::Camera},
        {ExifKeyLens, &PictureMetadata::Lens},
        {ExifKeyExposure, &PictureMetadata::Exposure},
        {ExifKeyPosition, &PictureMetadata::Position},
    };
    for (const auto& [name, field] : keys) {
        if (std::strcmp(name, key) == 0)
            metadata.*field = value;
    }
}

} // namespace

PictureMetadata ReadPictureMetadata(const std::string& fileName)
{
    PictureMetadata metadata;
    // Only a regular file: a FIFO in the picture's place would hold the reader up.
    struct stat status = {};
    if (::stat(fileName.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return metadata;
    const ExifReader& reader = exifReader();
    if (reader.read)
        reader.read(fileName.c_str(), takeProperty, &metadata);
    return metadata;
}

std::string ExifReaderProblem()
{
    return exifReader().problem;
}
