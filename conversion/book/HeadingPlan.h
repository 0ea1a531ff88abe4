#pragma once
// Judging a book's heading lines among themselves once each has been read:
// the contents block at the top, page marks and section numbers that are
// no chapters, titles that open a group of chapters, and how deep each
// heading sits in the table of contents.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/book/ChapterDetector.h"

namespace qm {

// One line the detector calls a heading.
struct THeadingLine {
    size_t start = 0, end = 0, next = 0;  // the line, and where the line after it starts
    std::string_view trimmed;             // the line without its spaces
    THeading heading;
    size_t textLinesBefore = 0;   // lines of text (not blank) since the heading before
    std::string_view lineBefore;  // the last line of text before it, trimmed; empty: none
    size_t lineBeforeAt = 0;      // where lineBefore is in the text
    bool keep = true;             // false: not a heading after all (it stays text)
};

// Every heading line of the text, in order. checkCancel, when given, is
// called after about every megabyte.
std::vector<THeadingLine> FindHeadingLines(std::string_view text, const TChapterDetector& detector,
                                           const std::function<void()>& checkCancel);

// The contents block at the top: kept as a page of its own, no chapters.
struct TContentsBlock {
    bool found = false;
    size_t start = 0, end = 0;  // its lines, from its label when it has one
    std::string label;          // its label line's text; empty: it has none
};

// Sets keep on every heading line and finds the contents block:
// - a run of three or more headings at the top with no text between them,
//   up to where the run starts over with its own first title (or, when it
//   does not, whose first title recurs later), is a contents block; its
//   label is the line above it when that reads 目录, 目錄, 目次 or CONTENTS
//   (else ContentsLabelFor names it by the book's language);
// - 第N节 in Arabic digits is a site's page mark when the book has other
//   numbered chapters; a Roman numeral alone is a section mark when the book
//   has headings with titles.
TContentsBlock JudgeHeadings(std::vector<THeadingLine>& lines);

// A contents block's label when it has no label line: 目录 (目錄 for
// traditional Chinese) or Contents by the book's language.
std::string ContentsLabelFor(const std::string& language);

// Headings the text implies: in a book whose chapter numbering starts
// over, the short title line just above a chapter numbered one (a story's
// name above its 第一回) becomes a volume; in a book with volumes, a named
// part followed by a chapter numbered one (FIRST EPILOGUE, CHAPTER I) too.
void PromoteGroupTitles(std::vector<THeadingLine>& lines, std::string_view text);

// In a book of volumes with no chapter under them (卷一 ... and then story
// after story), a short line standing alone between blank lines, flush
// left above an indented paragraph and with no punctuation, names a story:
// a chapter of the volume.
void FindStoryTitles(std::vector<THeadingLine>& lines, std::string_view text);

// The level of each kind of heading in reading order: seasons at the top,
// volumes under the season before them, chapters under the volume before
// them; back matter (尾声, Epilogue) after the last volume at the top.
std::vector<int> HeadingLevels(const std::vector<THeadingKind>& kinds,
                               const std::vector<bool>& backMatter);

// The key two headings are compared by: no spaces, Latin letters in lower
// case.
std::string HeadingKey(std::string_view s);

}  // namespace qm
