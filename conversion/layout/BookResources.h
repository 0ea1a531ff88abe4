#pragma once
// The files a user adds to an EPUB 3 book: a cover image and a font. Both
// are read whole and checked by their content, not by their names.
#include <cstdint>
#include <string>

namespace qm {

struct TBookResource {
    std::string bytes;
    std::string mediaType;          // "image/jpeg", "font/ttf" ...
    std::string extension;          // ".jpg", ".ttf" ...
    int32_t width = 0, height = 0;  // images only
};

// Reads a JPEG or PNG image. Raises Exception with a message for the user
// when the file cannot be read or is neither, or its size cannot be found.
TBookResource ReadCoverImage(const std::string& path);

// Reads a TrueType, OpenType, WOFF or WOFF2 font, checked the same way.
TBookResource ReadFontFile(const std::string& path);

}  // namespace qm
