#pragma once
// Telling a book's headings from its prose: which lines open a chapter or a
// volume. Built-in rules cover the headings of Chinese and English novels;
// a user's ICU regular expressions can replace them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"

namespace qm {

// Season: a level above volumes (第一季, 第一部 ... when volumes follow).
enum class THeadingKind : uint8_t { None, Chapter, Volume, Season };

// What the built-in rules read in a heading besides its kind; the book's
// divider uses the marks to judge the heading among the others.
enum THeadingMark : uint8_t {
    kMarkNumberOne = 1,    // numbered one (第一, 1, I, One): a group's first chapter
    kMarkUnnumbered = 2,   // a named part (序, Epilogue, FIRST EPILOGUE)
    kMarkBackMatter = 4,   // 尾声, 后记, 番外, Epilogue ...: at the top after volumes
    kMarkBareNumber = 8,   // a Roman numeral alone ("II."): a section mark in titled books
    kMarkPagination = 16,  // 第N节 in Arabic digits: a download site's page mark
};

// One heading as the rules read it, on the trimmed line.
// Positions are byte offsets into the trimmed line.
struct THeading {
    THeadingKind kind = THeadingKind::None;
    uint8_t marks = 0;
    size_t at = 0;         // where the heading proper starts, after 正文, "12." or 【
    size_t prefixEnd = 0;  // the end of the numbered prefix or name (第 一 回, 尾 声); 0: none
    size_t innerAt = 0;    // > 0: a second heading starts here (a volume and its chapter)
    size_t ownEnd = std::string_view::npos;  // where a site mark starts
    size_t bodyAt = 0;  // > 0: the chapter's first sentence starts here, on the heading's line
};

// A heading is a line of its own of at most this many characters once
// trimmed, not counting a trailing site mark or an English subtitle. Real titles
// ("第一千二百三十四章　..." with a dozen words of title, "Chapter Twenty-Three: ...") stay well
// below it; most prose lines of a novel are longer, and the length check is what lets nearly every
// line pass without any further look.
inline constexpr size_t kMaxHeadingChars = 40;
// The same for a heading in Latin letters, whose words take more characters
// ("STAVE III:  THE SECOND OF THE THREE SPIRITS").
inline constexpr size_t kMaxLatinHeadingChars = 60;

// ICU's limit on one match, in steps of its engine (each ten thousand
// backtracking states, a tenth to a fifth of a millisecond): about a second.
inline constexpr int32_t kPatternTimeLimitSteps = 6000;

// A user's pattern that ICU cannot compile, or that runs too long on a line
// (it backtracks without end); the message names it.
class EChapterPattern : public Exception {
  public:
    using Exception::Exception;
};

// The line without its leading and trailing spaces: ASCII space and tab,
// no-break space (U+00A0) and full-width space (U+3000), the same spaces
// that may stand between a heading's number and its title.
std::string_view TrimHeadingLine(std::string_view line);

// A part of a book known by its name (序章, 尾声, 番外 ...): a line that is
// the name, or the name and a separator and a title, is a chapter heading.
struct TNamedPart {
    std::string_view name;  // UTF-8
    bool numbered;          // may carry a number (or 篇) right after the name
};
// The built-in table; the quick pre-check of every line is derived from it.
std::span<const TNamedPart> NamedParts();

class TChapterDetector {
  public:
    // Empty patterns keep the built-in rules of their kind; a pattern
    // replaces them and is searched for in the trimmed line (anchor it with
    // ^ and $ to match the whole line). Raises EChapterPattern. checkCancel,
    // when given, is called every few hundredths of a second while a user
    // pattern works on one line; what it raises ends that Classify call.
    explicit TChapterDetector(const std::string& chapterPattern = {},
                              const std::string& volumePattern = {},
                              std::function<void()> checkCancel = {});
    ~TChapterDetector();
    TChapterDetector(const TChapterDetector&) = delete;
    TChapterDetector& operator=(const TChapterDetector&) = delete;

    // What the line (untrimmed, without its line break) is. Not thread-safe
    // with user patterns (their matchers are reused). A user pattern that
    // works on one line for about kPatternTimeLimitSteps raises
    // EChapterPattern.
    THeadingKind Classify(std::string_view line) const { return Inspect(line).kind; }

    // The same with the marks, on the trimmed line; user patterns give no
    // marks and no inner heading.
    THeading Inspect(std::string_view line) const;

  private:
    struct TUserPattern;
    std::function<void()> checkCancel_;  // before the patterns, which point to it
    std::unique_ptr<TUserPattern> chapter_, volume_;
};

// The built-in rules alone, on a trimmed line; exposed for the tests.
THeading BuiltInHeading(std::string_view trimmed);
inline THeadingKind BuiltInHeadingKind(std::string_view trimmed) {
    return BuiltInHeading(trimmed).kind;
}

// The heading's title for the table of contents: its own part (a trailing
// site mark dropped), no spaces inside the numbered prefix or a named
// part's name, one space between the prefix and the title, and every other
// run of spaces made one.
std::string TocTitle(std::string_view trimmed, const THeading& heading);

// The Latin rules (LatinHeadings.cpp), on a trimmed line.
THeading LatinHeading(std::string_view s);
// The first characters the Latin rules may match, for the quick pre-check.
std::u32string LatinHeadingStarts();

// Shared by the rules: one UTF-8 character at i, moving past it.
char32_t NextChar(std::string_view s, size_t& i);
bool IsHeadingSpace(char32_t c);

}  // namespace qm
