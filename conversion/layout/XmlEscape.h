#pragma once
// XML character data from a book's text, for both kinds of book: one loop,
// two text rules. The classic pages hold code page 936 bytes, the EPUB 3
// documents UTF-8; what a rule may leave out and how a gap is mended
// differs, the markup characters escaped do not.
#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

enum class TXmlTextRule : unsigned char {
    // "&", "<" and ">" escaped; control bytes XML 1.0 forbids left out, a
    // lead byte they leave without its second byte turned into "?".
    CodePage936,
    // "&", "<", ">" and '"' escaped; the forbidden controls, U+FFFE and
    // U+FFFF left out.
    Utf8,
};

// Bytes XML 1.0 does not allow at all: the control characters other than
// tab, line feed and carriage return (a zero byte among them).
constexpr bool IsForbiddenXmlByte(unsigned char byte) {
    return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
}

// Appends text escaped by rule and returns how many characters were left
// out. quotes: '"' is escaped under either rule (an attribute's value).
// before: for code page 936, the bytes of the same part that precede text,
// consulted only to tell whether a byte of text still waits for its second
// byte; ignored for UTF-8.
size_t AppendXmlEscaped(std::string& out, std::string_view text, TXmlTextRule rule,
                        bool quotes = false, std::string_view before = {});

// Code page 936 text: none of the escaped or left-out bytes can be the
// second byte of a two-byte character (those are 0x40 and above), so the
// text's characters stay whole. A lead byte that a left-out byte leaves
// without its second byte becomes "?", as it reads anyway, rather than
// pairing with the byte after the gap.
void AppendXmlText(std::string& out, std::string_view text, std::string_view before = {});
std::string XmlText(std::string_view text);

// UTF-8 text; returns how many characters were left out.
size_t AppendXmlUtf8(std::string& out, std::string_view text);
std::string XmlUtf8(std::string_view text);

}  // namespace qm
