#include "conversion/book/BookNameParts.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

#include "conversion/book/ChapterDetector.h"

namespace qm {

TBookNameParts BookNamePartsOf(std::string_view baseName) {
    TBookNameParts parts;
    std::string_view head = baseName;
    for (std::string_view mark : {"作者：", "作者:"}) {
        const size_t at = baseName.find(mark);
        if (at == std::string_view::npos) continue;
        head = baseName.substr(0, at);
        std::string_view author = baseName.substr(at + mark.size());
        // "某某（完结）", "某某[精校]": the note is no part of the name.
        for (std::string_view open : {"（", "(", "【", "["}) {
            const size_t note = author.find(open);
            if (note != std::string_view::npos && note > 0) author = author.substr(0, note);
        }
        parts.author = std::string(TrimHeadingLine(author));
        break;
    }
    head = TrimHeadingLine(head);
    const size_t open = head.find("《");
    const size_t close = head.find("》");
    if (open == 0 && close != std::string_view::npos) head = head.substr(3, close - 3);
    while (!head.empty() && (head.back() == '_' || head.back() == '-')) head.remove_suffix(1);
    head = TrimHeadingLine(head);
    parts.title = std::string(head.empty() ? baseName : head);
    return parts;
}

bool IsBlankText(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;  // a stray byte is something shown
        const int8_t type = u_charType(c);
        const bool invisible = u_isUWhiteSpace(c) || type == U_CONTROL_CHAR ||
                               type == U_FORMAT_CHAR ||
                               u_hasBinaryProperty(c, UCHAR_NONCHARACTER_CODE_POINT);
        if (!invisible) return false;
    }
    return true;
}

}  // namespace qm
