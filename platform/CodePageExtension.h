#pragma once
// Characters code page 936 lacks (𠮷, ☕, Hangul ...) in the working text.
// Each is written as a GB18030 four-byte sequence: a lead-range byte, a
// digit, a lead-range byte, a digit. No code page 936 text holds that pattern
// (a lead byte is never followed by a digit there), so a text that is all
// code page 936 reads exactly as before, and one that is not keeps every
// character.
//
// GB18030 gives 81 of these characters a two-byte code that code page 936
// already spends on a private-use character (its "twin"). Such a character
// is written as the four-byte sequence GB18030 gives its twin, which the
// working text never needs otherwise, since the twin has its two bytes.
#include <unicode/ucnv.h>

#include <cstddef>
#include <string_view>

namespace qm {

// The four-byte sequence that stands for c, or nothing (empty) for a
// surrogate, a value beyond U+10FFFF, and U+FFFE and U+FFFF, which XML does
// not allow. c must be a character code page 936 lacks.
std::string_view ExtendedSequenceOf(UChar32 c, char (&buffer)[4]);

// The character of the four-byte sequence that begins bytes, or -1 when the
// first four bytes are no such sequence.
UChar32 ExtendedCharacterAt(std::string_view bytes);

// True when bytes (one to three of them) are how a four-byte sequence may
// begin: more bytes are needed to tell.
bool MayBeginExtendedSequence(std::string_view bytes);

// The length of the character that begins bytes in the working text: 1 for
// a byte below 0x81 and 0xFF, 4 for a four-byte sequence, 2 otherwise (a
// lead byte with whatever follows it; a lead byte at the very end is 1).
size_t CharacterLengthAt(std::string_view bytes);

// A from-Unicode callback for the code page 936 converter: a character the
// code page lacks becomes its four-byte sequence; a lone surrogate "?".
void WriteExtendedSequence(const void* context, UConverterFromUnicodeArgs* args,
                           const UChar* codeUnits, int32_t length, UChar32 codePoint,
                           UConverterCallbackReason reason, UErrorCode* error);

}  // namespace qm
