#include "conversion/book/BookModel.h"

#include <algorithm>

#include "conversion/book/BookCutting.h"

namespace qm {

std::vector<int> SectionLevels(const std::vector<TBookSection>& sections) {
    std::vector<int> levels;
    levels.reserve(sections.size());
    int previous = -1;
    for (const TBookSection& section : sections) {
        previous = std::clamp(section.level, 0, previous + 1);
        levels.push_back(previous);
    }
    return levels;
}

size_t LeadingSpaceLength(std::string_view line) {
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
        } else if (line.substr(i, 3) == "\xE3\x80\x80") {  // U+3000 IDEOGRAPHIC SPACE
            i += 3;
        } else {
            break;
        }
    }
    return i;
}

void AppendParagraphs(std::string_view piece, std::vector<TParagraph>& paragraphs) {
    bool blank = false;
    size_t start = 0;
    while (start <= piece.size()) {
        const size_t end = LineEnd(piece, start);
        std::string_view line = piece.substr(start, end - start);
        line.remove_prefix(LeadingSpaceLength(line));
        if (line.empty()) {
            blank = blank || !paragraphs.empty();
        } else {
            paragraphs.push_back({line, blank});
            blank = false;
        }
        if (end == piece.size()) break;
        start =
            end + (piece[end] == '\r' && end + 1 < piece.size() && piece[end + 1] == '\n' ? 2 : 1);
    }
}

void CutBookIntoParts(TBook& book, int32_t n, const std::string& label) {
    book.sections.clear();
    const std::string_view text = book.text;
    const std::vector<size_t> ends = PartEnds(text, n);
    size_t start = 0;
    for (size_t k = 0; k < std::max<size_t>(1, ends.size()); ++k) {
        TBookSection section;
        section.title = label;
        const size_t end = k < ends.size() ? ends[k] : 0;
        AppendParagraphs(text.substr(start, end - start), section.paragraphs);
        start = end;
        book.sections.push_back(std::move(section));
    }
    if (book.sections.size() > 1) {
        for (size_t k = 0; k < book.sections.size(); ++k) {
            book.sections[k].title = label + " (" + std::to_string(k + 1) + ")";
        }
    }
}

}  // namespace qm
