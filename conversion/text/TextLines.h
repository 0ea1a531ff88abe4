#pragma once
// Small measures of one line of UTF-8 text that the clean-up, the unwrapping
// and the page writer share.
#include <string_view>
#include <vector>

namespace qm {

// The text's lines without their line ends (CR LF, LF or CR), in order. A
// text ending with a line end has no empty last line.
std::vector<std::string_view> SplitTextLines(std::string_view text);

// The first lines of the text, split as above: at least `lines` of them and
// enough to hold `filled` that are not blank (all, when the text has fewer),
// so that a look at a book's head does not split the whole book.
std::vector<std::string_view> SplitHeadLines(std::string_view text, size_t lines, size_t filled);

// Where the text goes on after the given first lines and their line ends.
size_t AfterLines(std::string_view text, const std::vector<std::string_view>& head);

// The bytes of the line's indent: spaces, tabs and U+3000.
size_t LineIndentLength(std::string_view line);

// The line without trailing spaces, tabs and U+3000.
std::string_view TrimLineEnd(std::string_view line);

// The line without leading and trailing spaces, tabs and U+3000.
std::string_view TrimLine(std::string_view line);

// True when the line holds nothing but spaces, tabs and U+3000.
bool IsBlankLine(std::string_view line);

// Columns the line takes in a monospaced view: two for East Asian wide and
// full-width characters, one for the rest. Wrapping tools count so.
int LineColumns(std::string_view line);

// True for a line that only separates scenes: three or more of the marks
// people use for it (`* * *`, `＊　＊　＊`, `———`, `※※※`, `~~~` ...) with
// spaces between, and nothing else.
bool IsSeparatorLine(std::string_view line);

// True when the line's last character closes a sentence or a quotation:
// 。！？…」』”’）】》 and their ASCII counterparts . ! ? " ' ) :.
bool EndsWithClosingMark(std::string_view line);

}  // namespace qm
