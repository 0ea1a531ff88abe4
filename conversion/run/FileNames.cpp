#include "conversion/run/FileNames.h"

#include "conversion/book/BookNameParts.h"
#include "conversion/book/TitleLine.h"
#include "conversion/text/BookEncoding.h"

namespace qm {
namespace {

std::string_view LastComponent(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Bytes of the UTF-8 character that starts with lead; 1 for a byte that
// starts none, so stray bytes are kept one by one.
size_t CharLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    return lead >= 0xC2 ? 2 : 1;
}

bool IsContinuation(std::string_view text, size_t at, size_t count) {
    if (at + count > text.size()) return false;
    for (size_t i = 1; i < count; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return false;
    }
    return true;
}

// C0 controls, DEL and the C1 controls (U+0080..U+009F, "\xC2\x80".."\xC2\x9F").
bool IsControl(std::string_view character) {
    const auto lead = static_cast<unsigned char>(character[0]);
    if (lead < 0x20 || lead == 0x7F) return true;
    return character.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
}

}  // namespace

std::string BookFileStem(std::string_view typed, std::string_view ending) {
    // Named as the title inside reads, also when it was typed in GBK.
    const std::string title = NameText(typed);
    const size_t room = kFileNameLimit > ending.size() ? kFileNameLimit - ending.size() : 0;
    std::string stem;
    for (size_t at = 0; at < title.size();) {
        size_t length = CharLength(static_cast<unsigned char>(title[at]));
        if (!IsContinuation(title, at, length)) length = 1;
        std::string_view character = std::string_view(title).substr(at, length);
        at += length;
        if (character == "/" || IsControl(character)) character = "_";
        if (stem.empty() && character == ".") continue;
        if (stem.size() + character.size() > room) break;
        stem.append(character);
    }
    // A name of blanks or zero-width characters alone would look like none.
    return IsBlankText(stem) ? std::string(kDefaultBookName) : stem;
}

std::string ExtractFileExt(std::string_view path) {
    const std::string_view name = LastComponent(path);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ExtractBaseName(std::string_view path) {
    const std::string_view name = LastComponent(path);
    return std::string(name.substr(0, name.rfind('.')));
}

std::string NameText(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return DecodeBookText(bytes, "GB18030").text;
}

std::string BaseNameText(std::string_view path) {
    return NameText(ExtractBaseName(path));
}

std::string ChosenName(const std::string& asked, const std::string& fromName,
                       const std::string& fromText) {
    if (!IsBlankText(asked) && (asked != fromName || IsBlankText(fromText)))
        return TitleLine(NameText(asked));
    return TitleLine(IsBlankText(fromText) ? fromName : NameText(fromText));
}

}  // namespace qm
