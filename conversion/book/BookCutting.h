#pragma once
// Cutting a book's text into at most n parts, one loop for both kinds: each
// part takes about text.size() / n + 1 bytes, and the layout's rule moves
// each cut forward to a place where it may fall.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qm {

enum class TCutRule : unsigned char {
    // Classic (code page 936 text): never inside a character. A four-byte
    // sequence (CodePageExtension.h) cut by the part's end joins it whole;
    // else, when a part ends in an odd run of lead-range bytes, the next
    // byte joins it. Each part takes its share from where it starts.
    Characters,
    // EPUB 3 (UTF-8 text): at the end of the first line that reaches the
    // part's share of the whole (k * share for the k-th cut), its line
    // break included, so no line and no character is cut.
    LineEnds,
};

// The ends of the parts, in order; the last is text.size(). Fewer parts
// when the rule moves cuts far; none for an empty text or n < 1.
std::vector<size_t> CutEnds(std::string_view text, int32_t n, TCutRule rule);

// The classic cut: the parts as views into text, in order, together
// holding all of it.
std::vector<std::string_view> CutText(std::string_view text, int32_t n);

// The EPUB 3 cut: its ends; n < 1 counts as 1.
std::vector<size_t> PartEnds(std::string_view text, int32_t n);

}  // namespace qm
