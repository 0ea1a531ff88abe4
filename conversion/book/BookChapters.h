#pragma once
// Dividing a book's text at its own headings: the front matter, then the
// volumes and chapters in reading order, one section each.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "conversion/book/BookModel.h"
#include "conversion/book/ChapterDetector.h"

namespace qm {

struct TChapterCount {
    size_t volumes = 0, chapters = 0;
    // The sections LabelByLanguage titles: a preface, and a contents page
    // without a label line of its own.
    std::optional<size_t> preface, contents;
    bool Found() const { return volumes + chapters > 0; }
};

// Fills book.sections from book.text at the lines the detector calls
// headings: each heading opens a section titled with it (the heading line
// itself is not a paragraph). Text before the first heading, when not
// blank, is a first section: a preface when it holds more than three
// paragraphs and none of them is the book's title, else titled with the
// book's title (the source's own title page). A book whose only
// headings are volumes gets them as chapters, so every page has a body.
// With no heading at all the sections are left empty and the count is 0.
// The book's language is not needed (it may still be being guessed):
// LabelByLanguage titles what it names once it is known. checkCancel, when
// given, is called after about every megabyte of text read (it may raise
// to stop the run).
TChapterCount DivideBookIntoChapters(TBook& book, const TChapterDetector& detector,
                                     const std::function<void()>& checkCancel = {});

// Titles the preface and an unlabelled contents page that
// DivideBookIntoChapters found in book.language.
void LabelByLanguage(TBook& book, const TChapterCount& found);

// The label of the text before the first heading in the book's language.
std::string PrefaceLabel(const std::string& language);

// "共 3 卷、42 章" as the window's result shows it.
std::string ChapterCountTextZh(size_t volumes, size_t chapters);

// "Found 3 volumes and 42 chapters." as the command line reports it.
std::string ChapterCountText(size_t volumes, size_t chapters);

}  // namespace qm
