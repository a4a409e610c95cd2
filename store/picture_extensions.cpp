#include "store/picture_extensions.h"

#include "store/text_helpers.h"

const PictureExtensionEntry* FindPictureExtension(std::string_view extension)
{
    for (const PictureExtensionEntry& known : PictureExtensions) {
        if (EqualIgnoringAsciiCase(extension, known.Extension))
            return &known;
    }
    return nullptr;
}
