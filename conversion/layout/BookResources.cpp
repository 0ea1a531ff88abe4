#include "conversion/layout/BookResources.h"

#include <algorithm>
#include <exception>

#include "conversion/layout/FontCheck.h"
#include "conversion/layout/ImageDecode.h"
#include "platform/Exceptions.h"
#include "platform/FileStream.h"
#include "platform/FileSystem.h"

namespace qm {
namespace {

// Covers and fonts larger than this are surely a wrong file.
constexpr int64_t kMaxResourceSize = int64_t{64} << 20;

// Only a regular file is opened: a named pipe would wait for a writer for
// ever, and a device never ends.
std::string ReadWhole(const std::string& path, const char* what) {
    const TFileKind kind = FileKindOf(path);
    if (kind == TFileKind::NamedPipe) {
        throw Exception(std::string("The ") + what + " \"" + path +
                        "\" is a named pipe, not a file.");
    }
    if (kind == TFileKind::Directory || kind == TFileKind::Other) {
        throw Exception(std::string("The ") + what + " \"" + path + "\" is not a regular file.");
    }
    try {
        TFileStream file(path, fmOpenRead | fmShareDenyNone);
        const int64_t size = file.Size();
        if (size > kMaxResourceSize) {
            throw Exception("larger than 64 MB");
        }
        std::string bytes(static_cast<size_t>(size), '\0');
        file.ReadBuffer(bytes.data(), size);
        return bytes;
    } catch (const std::exception& error) {
        throw Exception(std::string("The ") + what + " \"" + path +
                        "\" cannot be read: " + error.what());
    }
}

}  // namespace

TBookResource ReadCoverImage(const std::string& path) {
    TBookResource image;
    image.bytes = ReadWhole(path, "cover image");
    const std::string& b = image.bytes;
    TImageSize size;
    try {
        if (b.starts_with("\x89PNG\r\n\x1A\n")) {
            image.mediaType = "image/png";
            image.extension = ".png";
            size = DecodePng(b);
        } else if (b.starts_with("\xFF\xD8\xFF")) {
            image.mediaType = "image/jpeg";
            image.extension = ".jpg";
            size = DecodeJpeg(b);
        } else {
            throw Exception("is not a JPEG or PNG image");
        }
    } catch (const std::exception& error) {
        throw Exception("The cover image \"" + path + "\" " + error.what() + ".");
    }
    image.width = size.width;
    image.height = size.height;
    return image;
}

TBookResource ReadFontFile(const std::string& path) {
    TBookResource font;
    font.bytes = ReadWhole(path, "font");
    const std::string head = font.bytes.substr(0, 4);
    if (head == std::string("\0\1\0\0", 4) || head == "true") {
        font.mediaType = "font/ttf";
        font.extension = ".ttf";
    } else if (head == "OTTO") {
        font.mediaType = "font/otf";
        font.extension = ".otf";
    } else if (head == "wOFF") {
        font.mediaType = "font/woff";
        font.extension = ".woff";
    } else if (head == "wOF2") {
        font.mediaType = "font/woff2";
        font.extension = ".woff2";
    } else {
        throw Exception("The font \"" + path + "\" is not a TrueType, OpenType or WOFF font.");
    }
    try {
        CheckFontDirectory(font.bytes);
    } catch (const std::exception& error) {
        throw Exception("The font \"" + path + "\" " + error.what() + ".");
    }
    return font;
}

}  // namespace qm
