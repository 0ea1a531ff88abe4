#pragma once
// A book's title and author as Chinese download sites name their files:
// "《书名》作者：某某", "《书名》（校对版全本）作者：某某", "书名 作者：某某"
// or just "书名".
#include <string>
#include <string_view>

namespace qm {

struct TBookNameParts {
    std::string title, author;  // UTF-8; author empty when the name gives none
};

// From a file's base name (no directory, no extension). The title is the
// whole name when no form fits.
TBookNameParts BookNamePartsOf(std::string_view baseName);

// True when UTF-8 text shows nothing: it holds only white space and
// control, format or non-characters (or nothing at all).
bool IsBlankText(std::string_view text);

}  // namespace qm
