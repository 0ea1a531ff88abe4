#include "conversion/book/BookCutting.h"

#include <algorithm>

#include "conversion/book/BookModel.h"
#include "conversion/layout/BookLayout.h"
#include "conversion/layout/PageText.h"

namespace qm {
namespace {

// Where a cut aimed at target (start < target <= text.size()) falls.
size_t CutAt(std::string_view text, size_t start, size_t target, TCutRule rule) {
    const size_t size = text.size();
    if (rule == TCutRule::LineEnds) {
        // The line that holds the cut ends the part, its break included.
        size_t end = LineEnd(text, target - 1);
        if (end == size) return end;
        return end + (text[end] == '\r' && end + 1 < size && text[end + 1] == '\n' ? 2 : 1);
    }
    if (target == size) return size;
    // A character the code page lacks goes whole with the part it begins
    // in; otherwise a lead byte takes the byte after it.
    const size_t whole = start + SequenceEndAtCut(text.substr(start), target - start);
    if (whole != target) return whole;
    return EndsInOpenLeadByte(text.substr(start, target - start)) ? target + 1 : target;
}

}  // namespace

std::vector<size_t> CutEnds(std::string_view text, int32_t n, TCutRule rule) {
    std::vector<size_t> ends;
    if (text.empty() || n < 1) return ends;
    const size_t size = text.size();
    const auto count = static_cast<size_t>(n);
    const size_t share = size / count + 1;
    size_t from = 0;
    while (ends.size() + 1 < count) {
        const size_t aim = rule == TCutRule::LineEnds
                               ? std::max(from + 1, share * (ends.size() + 1))
                               : from + share;
        const size_t end = CutAt(text, from, std::min(size, aim), rule);
        if (end >= size) break;
        ends.push_back(end);
        from = end;
    }
    ends.push_back(size);
    return ends;
}

std::vector<std::string_view> CutText(std::string_view text, int32_t n) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (const size_t end : CutEnds(text, n, LayoutFor(TBookKind::Classic).cut)) {
        parts.push_back(text.substr(start, end - start));
        start = end;
    }
    return parts;
}

std::vector<size_t> PartEnds(std::string_view text, int32_t n) {
    return CutEnds(text, std::max(1, n), LayoutFor(TBookKind::Epub3).cut);
}

}  // namespace qm
