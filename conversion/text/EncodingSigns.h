#pragma once
// Signs of how a text without a byte-order mark is encoded, shared by both
// kinds of book: UTF-16 told by where its zero bytes fall, and UTF-8 that is
// damaged in a few places only.
#include <cstddef>
#include <string_view>

namespace qm {

// What a UTF-8 lead byte asks of its sequence: its length (0 when the byte
// cannot begin one) and the bounds of the second byte, which rule out
// overlong forms, surrogates and code points beyond U+10FFFF.
struct TUtf8Lead {
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF;
};
inline TUtf8Lead Utf8LeadOf(unsigned lead) {
    TUtf8Lead rule;
    if (lead >= 0xC2 && lead <= 0xDF) {
        rule.length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        rule.length = 3;
        if (lead == 0xE0) rule.low = 0xA0;
        if (lead == 0xED) rule.high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        rule.length = 4;
        if (lead == 0xF0) rule.low = 0x90;
        if (lead == 0xF4) rule.high = 0x8F;
    }
    return rule;
}

enum class TUtf16Order { None, LittleEndian, BigEndian };

// UTF-16 without a mark: the byte order whose line breaks (0A or 0D next to
// a zero byte) the text holds, at least two; or, without them, the one that
// puts at least twice as many of its zero bytes in the high half of a unit,
// when they are a quarter of the units. None unless the text has an even
// length and no unpaired surrogate in that order. Text in a code page has no
// zero bytes, or too few.
TUtf16Order BomlessUtf16Order(std::string_view bytes);

// What reading bytes as UTF-8 (strictly) meets; the reading stops once the
// bad sequences are too many for IsMostlyUtf8, whatever follows.
struct TUtf8Survey {
    size_t multiByte = 0;   // well-formed sequences of two to four bytes
    size_t wide = 0;        // of them, those of three or four bytes (CJK and beyond)
    size_t bad = 0;         // ill-formed sequences, each as a decoder replaces it
    bool cutAtEnd = false;  // the text ends inside a sequence (counted in bad)
};
TUtf8Survey SurveyUtf8(std::string_view bytes);

// True when a text that is not valid UTF-8 still is UTF-8: only its last
// character is cut, after at least one character of three or more bytes,
// or its ill-formed sequences are few beside its well-formed ones. Text in a
// Chinese code page forms few well-formed sequences and many bad ones.
bool IsMostlyUtf8(const TUtf8Survey& survey);

}  // namespace qm
