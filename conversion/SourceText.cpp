#include "conversion/SourceText.h"

#include "platform/CodePage.h"
#include "platform/FileStream.h"
#include "platform/Format.h"

namespace qm {

void ReadSourceBytes(const std::string& path, TSourceKind& kind, std::string& raw) {
    TFileStream file(path, fmOpenRead | fmShareDenyNone);
    const int64_t size = file.Size();
    if (size > kMaxSourceSize) {
        throw ESourceTooLarge(Format(
            "The file \"%s\" is 2 GiB or larger; books must be smaller than 2 GiB.", path.c_str()));
    }
    unsigned char mark[3] = {0, 0, 0};
    int64_t position = 0;
    kind = skAnsi;
    if (file.Read(mark, 2) == 2) {
        const unsigned value = mark[0] * 256u + mark[1];
        if (value == 0xFFFE) {
            kind = skUtf16LE;
            position = 2;
        } else if (value == 0xEFBB) {
            file.ReadBuffer(mark + 2, 1);  // the third byte, whatever it is
            kind = skUtf8Bom;
            position = 3;
        }
    }
    file.SetPosition(position);
    raw.resize(static_cast<size_t>(size - position));
    file.ReadBuffer(raw.data(), static_cast<int64_t>(raw.size()));
}

bool DecodeUtf8(std::string_view bytes, std::u16string& text) {
    text.clear();
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    auto continuation = [](unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; };
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            text.push_back(lead);
            ++p;
            continue;
        }
        // A well-formed four-byte sequence is one character beyond the BMP.
        if (lead >= 0xF0 && lead <= 0xF4 && end - p >= 4 && continuation(p[1]) &&
            continuation(p[2]) && continuation(p[3])) {
            const uint32_t c = ((lead & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) |
                               ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
            if (c >= 0x10000 && c <= 0x10FFFF) {
                text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
                p += 4;
                continue;
            }
        }
        if ((lead & 0x20) == 0) {
            if (end - p < 2 || !continuation(p[1])) return false;
            text.push_back(static_cast<char16_t>((lead & 0x1Fu) * 64 + (p[1] & 0x3Fu)));
            p += 2;
        } else {
            if (end - p < 3 || !continuation(p[1]) || !continuation(p[2])) return false;
            text.push_back(static_cast<char16_t>((lead & 0x0Fu) * 4096 + (p[1] & 0x3Fu) * 64 +
                                                 (p[2] & 0x3Fu)));
            p += 3;
        }
    }
    return true;
}

std::string LoadSourceText(const std::string& path) {
    TSourceKind kind = skAnsi;
    std::string raw;
    ReadSourceBytes(path, kind, raw);
    if (kind == skUtf16LE) {
        std::u16string units(raw.size() / 2, u'\0');  // an odd last byte is dropped
        for (size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                             (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
        }
        const size_t zero = units.find(u'\0');
        if (zero != std::u16string::npos) units.resize(zero);
        return Utf16ToAnsi(units);
    }
    std::u16string decoded;
    const bool decodes = DecodeUtf8(raw, decoded);
    if (kind == skUtf8Bom) return decodes ? Utf16ToAnsi(decoded) : std::string();
    if (decodes && !decoded.empty()) return Utf16ToAnsi(decoded);
    return raw;  // taken as code page 936 already
}

}  // namespace qm
