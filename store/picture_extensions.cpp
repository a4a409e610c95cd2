#include "store/picture_extensions.h"

#include "store/LumUtils.h"

const TPictureExtension* FindPictureExtension(std::string_view extension)
{
    for (const TPictureExtension& known : PictureExtensions) {
        if (EqualIgnoringAsciiCase(extension, known.Extension))
            return &known;
    }
    return nullptr;
}
