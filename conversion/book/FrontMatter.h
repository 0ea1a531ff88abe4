#pragma once
// The lines at the top of a text that name the book rather than tell it:
// "《书名》作者：某某", "书名：… 作者：…", a title line with "作者：…" under
// it, "[清]某某" under the title, or a Gutenberg header's "Title:" and
// "Author:". They give the title and author a user left out, and a page
// holding only them would repeat the title page.
#include <string>
#include <string_view>

namespace qm {

struct TFrontMatter {
    std::string title, author;  // UTF-8; empty when the text names none
};

// Looks at the first eight non-blank lines for the Chinese forms (and the
// first sixty lines for "Title:"/"Author:"). The Chinese lines it takes are
// removed from text; the English header's lines stay where they are. An
// author's dynasty mark ("(明)", "清.", "[清]") and a trailing note
// ("（沈三白）") are no part of the name.
TFrontMatter TakeFrontMatter(std::string& text);

// Removes lines among the first three non-blank ones that hold nothing but
// the title (bare or as 《title》): a page of them would repeat the title
// page. Returns how many went.
size_t DropTitleLines(std::string& text, std::string_view title);

}  // namespace qm
