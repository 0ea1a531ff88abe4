#pragma once
// One way to read a book's source for both kinds of book: the file read
// whole (ReadSourceFile, SourceText.h), its encoding found by the kind's
// rule, and its text decoded into the kind's working form. What differs is
// the rule, which each kind's layout names (BookLayout.h).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "conversion/text/BookEncoding.h"
#include "platform/FileStream.h"

namespace qm {

// Called between the slices of a long load with the share of the work done
// so far (0..100), to show progress; it may raise to stop the load.
using TLoadProgress = std::function<void(int percent)>;

// A step's progress as its share from..to of the whole load's; progress
// (which may be empty) must outlive it.
TLoadProgress ProgressShare(const TLoadProgress& progress, int from, int to);

// The bytes read, decoded or converted between two progress reports.
inline constexpr size_t kLoadSliceSize = size_t{1} << 20;

enum class TDecodingRule : unsigned char {
    // The classic layout's: a byte-order mark, else UTF-8, else UTF-16 as its
    // zero bytes tell, else Big5 where DetectBookEncoding finds it, else code
    // page 936. The text becomes code page 936, the characters it lacks as
    // GB18030 four-byte sequences.
    CodePage936,
    // The standard layout's: the encoding asked for, else DetectBookEncoding's
    // finding. The text becomes UTF-8.
    Unicode,
};

// Code page 936 text that the classic rule keeps as it is.
inline constexpr const char* kCodePageEncoding = "windows-936";
// Big5 text (as DetectBookEncoding finds it), which the classic rule
// converts into code page 936.
inline constexpr const char* kBig5Encoding = "Big5-HKSCS";

struct TSourceEncoding {
    std::string name;       // an ICU converter name
    size_t markLength = 0;  // the byte-order mark, skipped when the text is decoded
    bool guessed = false;   // neither marked, nor valid UTF-8, nor asked for
};

// The encoding of raw (the whole file, its mark included) by the rule.
// asked, when not empty, is the user's choice, which the standard rule
// takes as it is. progress follows the classic rule's UTF-8 check.
// EReadError for a UTF-8 mark cut short (the classic rule).
TSourceEncoding FindSourceEncoding(std::string_view raw, TDecodingRule rule,
                                   const std::string& asked = {},
                                   const TLoadProgress& progress = {},
                                   size_t sliceSize = kLoadSliceSize);

// raw decoded, as the same rule found it, into the rule's working form. The
// standard rule replaces and counts what does not decode; the classic rule
// gives no text for a marked UTF-8 source that does not decode. Large texts
// are decoded slice by slice (threads workers for the standard rule) with
// progress after each; the text does not depend on either.
TDecodedText DecodeSource(std::string raw, const TSourceEncoding& encoding, TDecodingRule rule,
                          const TLoadProgress& progress = {}, int threads = 1,
                          size_t sliceSize = kLoadSliceSize);

// The three steps in one for a source read whole from the start of file
// (path only naming it in messages): progress is shared out over reading,
// finding (the classic rule's UTF-8 check) and decoding.
TDecodedText LoadSource(TStream& file, const std::string& path, TDecodingRule rule,
                        const TLoadProgress& progress = {}, int threads = 1,
                        size_t sliceSize = kLoadSliceSize);

}  // namespace qm
