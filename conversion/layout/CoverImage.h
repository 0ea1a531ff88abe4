#pragma once
// The cover of a book whose user gave none: title and author set on a
// quiet background as a JPEG image, so readers and library views that show
// only a cover image show the book's own. Set with Pango (shaping, font
// choice through fontconfig and line breaking by Unicode's rules) and drawn
// with Cairo; the same title, author and language on the same system always
// give the same bytes.
#include <string>
#include <vector>

#include "conversion/layout/BookResources.h"

namespace qm {

inline constexpr int kCoverWidth = 1600, kCoverHeight = 2400;

// Where the cover's words go: each block's lines as set, and its size in
// pixels. A line never starts inside a word or with closing punctuation.
struct TCoverLayout {
    std::vector<std::string> titleLines, authorLines;
    double titleSize = 0, authorSize = 0;
};

// The face for a language tag: Noto Serif CJK in the Japanese, traditional
// or simplified Chinese cut, then whatever serif face fontconfig offers.
std::string CoverFontFamilies(const std::string& language);

// The title is set as large as fits at most five lines and the longest word
// one line, in lines of even length; the author smaller, in at most two.
TCoverLayout LayoutCover(const std::string& title, const std::string& author,
                         const std::string& language);

// The cover as a JPEG of kCoverWidth x kCoverHeight pixels. Raises Exception
// only when drawing fails (out of memory).
TBookResource DrawCoverImage(const std::string& title, const std::string& author,
                             const std::string& language);

}  // namespace qm
