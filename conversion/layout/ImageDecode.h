#pragma once
// Reading a cover through to its last pixel, as a reader will: an image that
// is cut short, corrupt, or larger than any page needs is refused before it
// goes into a book, not found broken by the reader.
#include <cstdint>
#include <string_view>

namespace qm {

// Fifty megapixels: far above any cover, far below what exhausts memory.
inline constexpr int64_t kMaxImagePixels = 50'000'000;

struct TImageSize {
    int32_t width = 0, height = 0;
};

// Decode every row of the image. Raise Exception with the reason (a phrase
// that follows "the image") when it does not decode or has more pixels than
// kMaxImagePixels.
TImageSize DecodePng(std::string_view bytes);
TImageSize DecodeJpeg(std::string_view bytes);

}  // namespace qm
