#include "zip/StoredName.h"

#include <string_view>

#include "platform/AsciiCase.h"

namespace qm {
namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

std::string CleanStoredDirectory(const std::string& dir) {
    std::string result;
    size_t from = 0;
    while (from < dir.size()) {
        size_t slash = dir.find('/', from);
        if (slash == std::string::npos) slash = dir.size();
        const std::string part = dir.substr(from, slash - from);
        if (!part.empty() && part != "." && part != "..") result += part + "/";
        from = slash + 1;
    }
    return result;
}

}  // namespace

std::string StoredNameOf(const std::string& path, bool storePaths,
                         const std::vector<std::string>* relativePrefixes) {
    const size_t slash = path.rfind('/');
    const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!storePaths) return fileName;
    // The directory part; the root keeps its "/".
    std::string p =
        slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
    p += '/';
    if (p.size() >= 2 && p[p.size() - 2] == '/') p.pop_back();
    if (relativePrefixes) {
        for (const std::string& prefix : *relativePrefixes) {
            if (!prefix.empty() && StartsWithIgnoringCase(p, prefix)) {
                p.erase(0, prefix.size());
                break;
            }
        }
    }
    return CleanStoredDirectory(p) + fileName;
}

bool IsUtf8BeyondAscii(std::string_view name) {
    bool ascii = true;
    for (size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        const size_t length = lead < 0x80                    ? 1
                              : lead >= 0xC2 && lead <= 0xDF ? 2
                              : lead >= 0xE0 && lead <= 0xEF ? 3
                              : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                             : 0;
        if (length == 0 || i + length > name.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80) return false;
        }
        ascii = ascii && length == 1;
        i += length;
    }
    return !ascii;
}

}  // namespace qm
