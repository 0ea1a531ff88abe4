#pragma once
// The encoding of a text book and its decoding into UTF-8 without loss: the
// EPUB 3 output keeps the text in Unicode, whatever the file was written in.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qm {

// Below this size charset detectors may guess: a short text without a mark
// that is not UTF-8 is taken as GB18030 unless the detector is sure it is
// Big5 or only Big5 reads it.
inline constexpr size_t kShortTextSize = 1024;

// The encoding of a book from its bytes: a byte-order mark first ("UTF-8",
// "UTF-16LE", "UTF-16BE"), then valid UTF-8; these are sure. Then guesses:
// UTF-8 damaged in a few places, UTF-16 by its zero bytes (EncodingSigns.h),
// then a charset detector ("GB18030", "Big5-HKSCS", "Shift_JIS", "EUC-JP",
// "EUC-KR"), never Shift_JIS or EUC-KR for a text GB18030 reads cleanly;
// GB18030 when nothing else fits. GB18030 reads every GBK book the same way,
// and Big5-HKSCS every Big5 book. *guessed, when given, tells which it was.
std::string DetectBookEncoding(std::string_view bytes, bool* guessed = nullptr);

// True when DetectBookEncoding would say Big5. The detector's guess on the
// head is asked first, so a book it does not take for Big5 is never
// surveyed whole (the classic kind asks this of every GBK book).
bool IsBig5Book(std::string_view bytes);

// True when ICU has a converter of this name (aliases included).
bool IsKnownEncoding(const std::string& name);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// values beyond U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

struct TDecodedText {
    std::string text;      // UTF-8, without a byte-order mark
    int64_t replaced = 0;  // byte sequences that did not decode (each now U+FFFD)
};

// Decodes the bytes from the named encoding into UTF-8. A leading
// byte-order mark is dropped; bytes that do not decode become U+FFFD and are
// counted. progress, when given, gets the share done (0..100) after each
// slice. A long text in an
// encoding whose line feeds are always line feeds is decoded in pieces by
// `threads` workers (0: one per core) with the same result. Raises
// Exception for an encoding ICU does not know.
TDecodedText DecodeBookText(std::string_view bytes, const std::string& encoding,
                            const std::function<void(int percent)>& progress = {}, int threads = 1);

}  // namespace qm
