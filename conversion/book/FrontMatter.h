#pragma once
// The lines at the top of a text that name the book rather than tell it:
// "《书名》作者：某某", "书名：… 作者：…", a title line with "作者：…" under
// it, "[清]某某" under the title, or a Gutenberg header's "Title:" and
// "Author:". They give the title and author a user left out; a line that
// only repeats what the title page shows leaves the text, nothing else does.
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A line that named the book (the Chinese forms; the English header's lines
// are never dropped), by where it starts in the text.
struct TNamingLine {
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t start = 0;
    size_t under = kNone;  // an author's line under a title line: where that starts
};

struct TFrontMatter {
    std::string title, author;  // UTF-8; empty when the text names none
    std::vector<TNamingLine> namingLines;
};

// Looks at the first eight non-blank lines for the Chinese forms (and the
// first sixty lines for "Title:"/"Author:"). An author's dynasty mark
// ("(明)", "清.", "[清]") and a trailing note ("（沈三白）") are no part of the
// name; a "作者：" line that reads as a sentence names no one.
TFrontMatter ReadFrontMatter(std::string_view text);

struct TNamesDropped {
    bool title = false, author = false;
};

// Drops the naming lines found above (text unchanged since) that say no
// more than the book's title and author as the book ends up with them, the
// title page showing both: each name leaves the text once at most, a line
// with anything else (a dynasty, a note, another title or name) stays, and
// so does an author's line under a title line that stays.
TNamesDropped DropNamingLines(std::string& text, const TFrontMatter& front, std::string_view title,
                              std::string_view author);

// Removes the first line among the first three non-blank ones that holds
// nothing but the title (bare or as 《title》): a page of it would repeat
// the title page. Returns how many went (0 or 1).
size_t DropTitleLines(std::string& text, std::string_view title);

}  // namespace qm
