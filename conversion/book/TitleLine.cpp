#include "conversion/book/TitleLine.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

#include "conversion/book/BookNameParts.h"

namespace qm {
namespace {

constexpr std::string_view kEllipsis = "…";

// Unicode's mandatory breaks (line break classes BK, CR, LF, NL).
bool EndsLine(UChar32 c) {
    return c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x85 || c == 0x2028 ||
           c == 0x2029;
}

// The first line that shows something, or the last of them all when none does.
std::string_view FirstShownLine(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
    int32_t start = 0;
    for (int32_t i = 0; i < length;) {
        const int32_t at = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);  // a stray byte counts as one character
        if (!EndsLine(c)) continue;
        const std::string_view line = text.substr(start, at - start);
        if (!IsBlankText(line)) return line;
        start = i;
    }
    return text.substr(start);
}

}  // namespace

std::string TitleLine(std::string_view text) {
    const std::string_view line = FirstShownLine(text);
    const auto* bytes = reinterpret_cast<const uint8_t*>(line.data());
    const auto length = static_cast<int32_t>(std::min<size_t>(line.size(), INT32_MAX));
    int32_t kept = 0, end = 0;  // kept: where the last character before "…" ends
    for (size_t count = 0; end < length; ++count) {
        if (count == kTitleCharacters - 1) kept = end;
        if (count == kTitleCharacters) return std::string(line.substr(0, kept)) += kEllipsis;
        U8_FWD_1(bytes, end, length);
    }
    return std::string(line);
}

}  // namespace qm
