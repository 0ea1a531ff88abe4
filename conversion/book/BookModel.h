#pragma once
// One decoded book as the EPUB 3 writer reads it: the metadata, the whole
// text in UTF-8, and its sections in reading order, each a list of
// paragraphs. A volume's chapters follow it; the cut into N parts gives one
// section per part, labelled but without a heading of its own.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct TParagraph {
    std::string_view text;    // into TBook::text, without the line's leading spaces
    bool afterBlank = false;  // blank lines came before it (shown as spacing)
};

enum class TSectionKind : uint8_t {
    Part,     // a cut of the text: a table-of-contents label, no heading
    Volume,   // a heading that opens a group of chapters
    Chapter,  // a heading; nests under the volume before it
};

struct TBookSection {
    TSectionKind kind = TSectionKind::Part;
    std::string title;    // UTF-8; the table of contents' entry: the heading, or the part's label
    std::string heading;  // the page's heading as the source writes it; empty: the title
    int level = 0;        // the depth in the table of contents; 0 at the top
    std::vector<TParagraph> paragraphs;
};

struct TBook {
    std::string title, author;  // UTF-8; title never empty
    std::string language;       // BCP 47 tag
    std::string text;           // the whole text, UTF-8; paragraphs point into it
    std::vector<TBookSection> sections;
};

// How deep each section sits in the table of contents: its level, never
// more than one below the section before it (so the lists always nest).
std::vector<int> SectionLevels(const std::vector<TBookSection>& sections);

// True for the spaces a line's indent is made of: ASCII space and tab and
// the full-width space U+3000 (the CSS gives the indent instead).
size_t LeadingSpaceLength(std::string_view line);

// Where the line starting at from ends: at the first CR or LF from there
// on, or at the end of the text. A plain loop: find_first_of calls memchr
// once per byte, which made splitting a long book into lines its slowest
// step.
inline size_t LineEnd(std::string_view text, size_t from) {
    const char* p = text.data() + from;
    const char* const end = text.data() + text.size();
    while (p < end && *p != '\n' && *p != '\r') ++p;
    return static_cast<size_t>(p - text.data());
}

// Appends the paragraphs of a piece of text: one per line (CR LF, LF or CR
// ends a line), leading spaces dropped; blank lines make no paragraph but
// mark the next one.
void AppendParagraphs(std::string_view piece, std::vector<TParagraph>& paragraphs);

// Fills book.sections with the text cut into n parts, labelled "label" when
// there is one part and "label (k)" otherwise. An empty text gives one empty
// part, so the book still has a page.
void CutBookIntoParts(TBook& book, int32_t n, const std::string& label);

}  // namespace qm
