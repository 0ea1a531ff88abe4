#pragma once
// Reading a .txt book into the working text: one byte string in code page
// 936 (with the characters it lacks as four-byte sequences), whatever the
// file's encoding: 936, UTF-8 with or without a mark, UTF-16 with a mark, or
// without one as its zero bytes tell.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"
#include "platform/FileStream.h"

namespace qm {

// The source kind found from the first bytes.
enum TSourceKind : uint8_t { skAnsi = 0, skUtf16LE = 1, skUtf8Bom = 2, skUtf16BE = 3 };

// Books are held with 32-bit signed sizes; larger files are refused.
inline constexpr int64_t kMaxSourceSize = INT64_C(2147483647);

class ESourceTooLarge : public Exception {
  public:
    using Exception::Exception;
};

// Called between the slices of a long load with the share of the work done
// so far (0..100), to show progress; it may raise to stop the load.
using TLoadProgress = std::function<void(int percent)>;

// The bytes read, decoded or converted between two progress reports.
inline constexpr size_t kLoadSliceSize = size_t{1} << 20;

// Reads the whole file as it is, mark included, calling progress (when
// given) after every slice. EFOpenError, EReadError, ESourceTooLarge.
std::string ReadSourceFile(const std::string& path, const TLoadProgress& progress = {},
                           size_t sliceSize = kLoadSliceSize);

// Reads the whole file: the kind and the bytes after the byte-order mark.
// EFOpenError, EReadError ("Stream read error"), ESourceTooLarge. progress,
// when given, is called after every slice read.
void ReadSourceBytes(const std::string& path, TSourceKind& kind, std::string& raw,
                     const TLoadProgress& progress = {}, size_t sliceSize = kLoadSliceSize);
// The same from the start of a stream, path only naming it in messages.
void ReadSourceBytes(TStream& file, const std::string& path, TSourceKind& kind, std::string& raw,
                     const TLoadProgress& progress = {}, size_t sliceSize = kLoadSliceSize);

// The working text of the file; empty when a marked file does not decode.
// The text is decoded and converted slice by slice, with progress, when
// given, called after each slice; the result does not depend on the slice
// size.
std::string LoadSourceText(const std::string& path, const TLoadProgress& progress = {},
                           size_t sliceSize = kLoadSliceSize);
// The same from the start of a stream (the bytes of a book in memory), path
// only naming it in messages.
std::string LoadSourceText(TStream& file, const std::string& path,
                           const TLoadProgress& progress = {}, size_t sliceSize = kLoadSliceSize);

}  // namespace qm
