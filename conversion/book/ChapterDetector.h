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

enum class THeadingKind : uint8_t { None, Chapter, Volume };

// A heading is a line of its own of at most this many characters once
// trimmed. Real titles ("第一千二百三十四章　..." with a dozen words of
// title, "Chapter Twenty-Three: ...") stay well below it; most prose lines
// of a novel are longer, and the length check is what lets nearly every
// line pass without any further look.
inline constexpr size_t kMaxHeadingChars = 40;

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
    THeadingKind Classify(std::string_view line) const;

  private:
    struct TUserPattern;
    std::function<void()> checkCancel_;  // before the patterns, which point to it
    std::unique_ptr<TUserPattern> chapter_, volume_;
};

// The built-in rules alone, on a trimmed line; exposed for the tests.
THeadingKind BuiltInHeadingKind(std::string_view trimmed);

}  // namespace qm
