#pragma once
// Reading a .txt book into the working text: one byte string in code page
// 936 (with the characters it lacks as four-byte sequences), whatever the
// file's encoding: 936, Big5, UTF-8 with or without a mark, UTF-16 with a
// mark, or without one as its zero bytes tell.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "conversion/text/SourceDecoding.h"
#include "platform/Exceptions.h"
#include "platform/FileStream.h"

namespace qm {

// Books are held with 32-bit signed sizes; larger files are refused.
inline constexpr int64_t kMaxSourceSize = INT64_C(2147483647);

class ESourceTooLarge : public Exception {
  public:
    using Exception::Exception;
};

// Reads the whole file as it is, mark included, calling progress (when
// given) after every slice. EFOpenError, EReadError, ESourceTooLarge.
std::string ReadSourceFile(const std::string& path, const TLoadProgress& progress = {},
                           size_t sliceSize = kLoadSliceSize);
// The same from the start of a stream, path only naming it in messages.
std::string ReadSourceFile(TStream& file, const std::string& path,
                           const TLoadProgress& progress = {}, size_t sliceSize = kLoadSliceSize);

// The classic rule (TDecodingRule::CodePage936): a byte-order mark
// ("UTF-16LE", "UTF-16BE", or "UTF-8" for EF BB and any third byte), else
// UTF-8 when the whole text is (its last character may be cut after wide
// ones), else UTF-16 as its zero bytes tell, else kBig5Encoding where
// DetectBookEncoding says Big5, else code page 936 as it is.
TSourceEncoding FindCodePageEncoding(std::string_view raw, const TLoadProgress& progress,
                                     size_t sliceSize);
// The working text of raw as found: code page 936; empty when a marked
// UTF-8 source does not decode.
std::string DecodeToCodePage(std::string raw, const TSourceEncoding& encoding,
                             const TLoadProgress& progress, size_t sliceSize);

// The working text of the file by the classic rule; empty when a marked
// file does not decode. The text is decoded and converted slice by slice,
// with progress, when given, called after each slice; the result does not
// depend on the slice size.
std::string LoadSourceText(const std::string& path, const TLoadProgress& progress = {},
                           size_t sliceSize = kLoadSliceSize);
// The same from the start of a stream (the bytes of a book in memory), path
// only naming it in messages.
std::string LoadSourceText(TStream& file, const std::string& path,
                           const TLoadProgress& progress = {}, size_t sliceSize = kLoadSliceSize);

}  // namespace qm
