#pragma once
// Site boilerplate that download sites and archives add to a book's text,
// taken out only when the user asks (--clean).
#include <cstddef>
#include <string>

namespace qm {

// Removes from the UTF-8 text, line by line, only what is boilerplate as a
// whole:
// - a Project Gutenberg header and licence: everything up to its
//   "*** START OF ..." line and from its "*** END OF ..." line on;
// - `本章字数:` lines (a site's word count under each chapter);
// - among the first and last ten non-blank lines, and anywhere when
//   repeated three or more times, a site's notice: a web address with
//   little else, or a phrase only a site writes (本书由, 本站, 更多精彩 ...)
//   with more signs of the site around it;
// - anywhere, repeated three or more times, a short line of a site's name
//   (…网, …阁, …书屋).
// A line with a quotation or one telling of someone (他, 她, 我 ...) is the
// story's and stays, whatever words it holds. Anywhere, a sentence of the
// book that a site stamped its address onto ("…去。http://www.…", "…返。
// 某某小说下载网+example.com") keeps the sentence and loses the stamp. With nothing to take out,
// the text is left as it was.
struct TCleanCount {
    size_t lines = 0;      // lines removed whole
    size_t addresses = 0;  // addresses cut from the end of a sentence
};
TCleanCount RemoveBoilerplate(std::string& text);

}  // namespace qm
