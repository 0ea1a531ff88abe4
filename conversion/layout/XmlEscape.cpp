#include "conversion/layout/XmlEscape.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "conversion/layout/PageText.h"

namespace qm {
namespace {

// U+FFFE or U+FFFF at i, which XML 1.0 forbids.
bool IsNonCharacterAt(std::string_view text, size_t i) {
    return i + 2 < text.size() && text[i + 1] == '\xBF' &&
           (text[i + 2] == '\xBE' || text[i + 2] == '\xBF');
}

// Where a code page 936 byte is left out at i of text (already flushed to
// out), the bytes around the gap must not pair into a character the text
// never held.
void MendCodePageGap(std::string& out, std::string_view text, size_t i, std::string_view before) {
    if (i == 0) return;
    // A lead byte just before the gap, with no second byte of its own,
    // would take the byte after the gap and swallow it.
    if (!out.empty() && EndsInOpenLeadByte(text.substr(0, i), before)) out.back() = '?';
    // A lead byte and a digit may be half of a four-byte character; the
    // bytes after the gap must not complete one. An empty comment keeps
    // them apart and adds nothing to the reading. A code page 936 text
    // never pairs a lead byte with a digit.
    if (text[i - 1] >= '0' && text[i - 1] <= '9' &&
        EndsInOpenLeadByte(text.substr(0, i - 1), before)) {
        out.append("<!---->");
    }
}

// What a byte may need, by bit: kAlways (markup and forbidden bytes), kQuote
// ('"'), kNonCharacter (0xEF, which may start U+FFFE or U+FFFF). A text is
// mostly bytes that need nothing; the table lets the loop skip them.
constexpr unsigned char kAlways = 1, kQuote = 2, kNonCharacter = 4;
constexpr auto kByteNeeds = [] {
    std::array<unsigned char, 256> needs{};
    for (int b = 0; b < 256; ++b) {
        if (b == '&' || b == '<' || b == '>' || IsForbiddenXmlByte(static_cast<unsigned char>(b)))
            needs[static_cast<size_t>(b)] = kAlways;
    }
    needs['"'] = kQuote;
    needs[0xEF] = kNonCharacter;
    return needs;
}();

// Where the next byte at or after i that may need something is: eight bytes
// at a time while none of them is below 0x40 (every markup and forbidden
// byte is) nor 0xEF, then byte by byte. Most of a text goes by in words.
size_t NextCandidate(std::string_view text, size_t i) {
    constexpr uint64_t kOnes = 0x0101010101010101, kHighs = 0x8080808080808080;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        const uint64_t below40 = (word - kOnes * 0x40) & ~word & kHighs;
        const uint64_t ef = word ^ (kOnes * 0xEF);
        if (below40 | ((ef - kOnes) & ~ef & kHighs)) break;
    }
    return i;
}

}  // namespace

size_t AppendXmlEscaped(std::string& out, std::string_view text, TXmlTextRule rule, bool quotes,
                        std::string_view before) {
    const bool utf8 = rule == TXmlTextRule::Utf8;
    quotes = quotes || utf8;
    const unsigned char wanted = kAlways | (quotes ? kQuote : 0) | (utf8 ? kNonCharacter : 0);
    size_t leftOut = 0;
    size_t plain = 0;
    for (size_t i = NextCandidate(text, 0); i < text.size(); i = NextCandidate(text, i + 1)) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!(kByteNeeds[byte] & wanted)) continue;
        std::string_view replacement;
        size_t width = 1;
        switch (byte) {
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            case '"':
                if (!quotes) continue;
                replacement = "&quot;";
                break;
            case 0xEF:
                if (!utf8 || !IsNonCharacterAt(text, i)) continue;
                width = 3;
                break;
            default:
                if (!IsForbiddenXmlByte(byte)) continue;
        }
        out.append(text.data() + plain, i - plain);
        if (replacement.empty()) {
            ++leftOut;
            if (!utf8) MendCodePageGap(out, text, i, before);
        }
        out.append(replacement);
        i += width - 1;
        plain = i + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
    return leftOut;
}

void AppendXmlText(std::string& out, std::string_view text, std::string_view before) {
    AppendXmlEscaped(out, text, TXmlTextRule::CodePage936, false, before);
}

std::string XmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendXmlText(out, text);
    return out;
}

size_t AppendXmlUtf8(std::string& out, std::string_view text) {
    return AppendXmlEscaped(out, text, TXmlTextRule::Utf8);
}

std::string XmlUtf8(std::string_view text) {
    std::string out;
    AppendXmlUtf8(out, text);
    return out;
}

}  // namespace qm
