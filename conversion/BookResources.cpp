#include "conversion/BookResources.h"

#include <algorithm>
#include <exception>

#include "platform/Exceptions.h"
#include "platform/FileStream.h"

namespace qm {
namespace {

// Covers and fonts larger than this are surely a wrong file.
constexpr int64_t kMaxResourceSize = int64_t{64} << 20;

std::string ReadWhole(const std::string& path, const char* what) {
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

uint32_t Big16(const std::string& b, size_t at) {
    return (static_cast<unsigned char>(b[at]) << 8) | static_cast<unsigned char>(b[at + 1]);
}
uint32_t Big32(const std::string& b, size_t at) {
    return (Big16(b, at) << 16) | Big16(b, at + 2);
}

// The frame size of a JPEG: the first start-of-frame marker's height and width.
bool JpegSize(const std::string& b, int32_t& width, int32_t& height) {
    size_t at = 2;
    while (at + 9 < b.size()) {
        if (static_cast<unsigned char>(b[at]) != 0xFF) return false;
        const auto marker = static_cast<unsigned char>(b[at + 1]);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        const uint32_t length = Big16(b, at + 2);
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            height = static_cast<int32_t>(Big16(b, at + 5));
            width = static_cast<int32_t>(Big16(b, at + 7));
            return width > 0 && height > 0;
        }
        if (length < 2) return false;
        at += 2 + length;
    }
    return false;
}

}  // namespace

TBookResource ReadCoverImage(const std::string& path) {
    TBookResource image;
    image.bytes = ReadWhole(path, "cover image");
    const std::string& b = image.bytes;
    if (b.size() >= 24 && b.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0 &&
        b.compare(12, 4, "IHDR") == 0) {
        image.mediaType = "image/png";
        image.extension = ".png";
        image.width = static_cast<int32_t>(Big32(b, 16));
        image.height = static_cast<int32_t>(Big32(b, 20));
    } else if (b.size() >= 4 && b.compare(0, 3, "\xFF\xD8\xFF") == 0 &&
               JpegSize(b, image.width, image.height)) {
        image.mediaType = "image/jpeg";
        image.extension = ".jpg";
    }
    if (image.mediaType.empty() || image.width <= 0 || image.height <= 0) {
        throw Exception("The cover image \"" + path + "\" is not a JPEG or PNG image.");
    }
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
    return font;
}

}  // namespace qm
