#pragma once
// Paragraphs as the author meant them: lines a wrapping tool broke at a
// fixed width are joined again, and blank lines that merely separate
// paragraphs stop showing as gaps.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum class TUnwrapMode : uint8_t {
    Auto,    // join when the line lengths show a fixed width
    Always,  // join at the measured width whatever the lengths show
    Never,   // every line stays a paragraph
};

// What the lengths and starts of a text's lines tell about its paragraphs.
struct TTextShape {
    int width = 0;                 // columns of a full line (the 95th percentile)
    bool wrapped = false;          // most lines end near `width` and none runs far past it
    bool blockParagraphs = false;  // blank lines, not indents, open its paragraphs
    bool mostIndented = false;     // most lines are indented, so an indent tells nothing
};

// Measures the shape from the non-blank lines. A text of fewer than 20 of
// them is never taken as wrapped.
TTextShape MeasureTextShape(const std::vector<std::string_view>& lines);

struct TReflowCount {
    size_t joinedLines = 0;       // lines appended to the one before them
    bool blankSeparated = false;  // single blank lines were dropped as mere separators
};

// Rewrites text with lines ending in LF: when joining (by mode and shape), a
// line is appended to the one before it unless that one is short (under
// four fifths of the width, three fifths when blank lines open paragraphs),
// ends with closing punctuation (only where indents open paragraphs), or
// the line is indented, blank, a separator or a heading (isHeading says).
// Joined lines meet with a space, or with nothing after a word's hyphen or
// where either side is a wide (CJK) character. Then, when at least three
// fifths of the paragraphs follow a blank line, a run of blank lines as long
// as the usual one is dropped and a longer one becomes a single blank line
// (a gap). A text where neither applies is left as it was, byte for byte.
TReflowCount ReflowText(std::string& text, TUnwrapMode mode,
                        const std::function<bool(std::string_view)>& isHeading);

}  // namespace qm
