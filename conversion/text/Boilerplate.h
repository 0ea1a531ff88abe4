#pragma once
// Site boilerplate that download sites and archives add to a book's text,
// taken out only when the user asks (--clean).
#include <cstddef>
#include <string>

namespace qm {

// Removes from the UTF-8 text, line by line:
// - a Project Gutenberg header and licence: everything up to its
//   "*** START OF ..." line and from its "*** END OF ..." line on;
// - `本章字数:` lines (a site's word count under each chapter);
// - among the first and last ten non-blank lines, those holding a URL
//   (www., http://, a .com/.net/.org/.cn/.cc address) or a download site's
//   notice (本书由, 下载, 更多精彩, 小说网 ...);
// - anywhere, a line repeated three or more times that holds a URL, such a
//   notice or a site's name (…网, …站, …阁).
// Anywhere, a sentence of the book that a site stamped its address onto
// ("…去。http://www.…") keeps the sentence and loses the address. With
// nothing to take out, the text is left as it was.
struct TCleanCount {
    size_t lines = 0;      // lines removed whole
    size_t addresses = 0;  // addresses cut from the end of a sentence
};
TCleanCount RemoveBoilerplate(std::string& text);

}  // namespace qm
