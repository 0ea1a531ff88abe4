#include "conversion/text/Unwrap.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "conversion/text/TextLines.h"

namespace qm {
namespace {

// Fewer non-blank lines than this say nothing about a width.
constexpr size_t kMinMeasuredLines = 20;

bool IsWideText(std::string_view piece, bool atEnd) {
    if (piece.empty()) return false;
    UChar32 c = 0;
    if (atEnd) {
        auto i = static_cast<int32_t>(piece.size());
        U8_PREV(piece.data(), 0, i, c);
    } else {
        int32_t i = 0;
        U8_NEXT(piece.data(), i, static_cast<int32_t>(piece.size()), c);
    }
    return c >= 0x1100 && LineColumns(piece.substr(atEnd ? piece.size() - U8_LENGTH(c) : 0,
                                                   static_cast<size_t>(U8_LENGTH(c)))) == 2;
}

// "well-" before "known": the hyphen of a word, not a dash.
bool EndsWithWordHyphen(std::string_view line) {
    const size_t n = line.size();
    return n >= 2 && line[n - 1] == '-' && std::isalpha(static_cast<unsigned char>(line[n - 2]));
}

// The rules that keep `next` a paragraph of its own after `last`.
class TJoinRule {
  public:
    TJoinRule(const TTextShape& shape, const std::function<bool(std::string_view)>& isHeading)
        : shape_(shape),
          shortBelow_(shape.width * (shape.blockParagraphs ? 3 : 4) / 5),
          isHeading_(isHeading) {}

    bool Joins(std::string_view last, std::string_view next) const {
        if (IsBlankLine(next) || IsSeparatorLine(next) || IsSeparatorLine(last)) return false;
        if (!shape_.mostIndented && LineIndentLength(next) > 0) return false;
        if (LineColumns(TrimLineEnd(last)) < shortBelow_) return false;
        if (!shape_.blockParagraphs && EndsWithClosingMark(last)) return false;
        return !(isHeading_ && (Heading(last) || Heading(next)));
    }

  private:
    // Each line is asked about as `next` and then as `last`: the answer is
    // kept, so the detector reads every line once.
    bool Heading(std::string_view line) const {
        if (line.data() == known_.data() && line.size() == known_.size()) return knownHeading_;
        known_ = line;
        knownHeading_ = isHeading_(line);
        return knownHeading_;
    }

    TTextShape shape_;
    int shortBelow_;
    const std::function<bool(std::string_view)>& isHeading_;
    mutable std::string_view known_;
    mutable bool knownHeading_ = false;
};

void AppendJoined(std::string& out, std::string_view next) {
    next = TrimLine(next);
    const bool tight = EndsWithWordHyphen(out) || IsWideText(out, true) || IsWideText(next, false);
    if (!tight) out += ' ';
    out += next;
}

// The lines joined where the rule allows; blank lines kept, one per line.
std::string JoinLines(const std::vector<std::string_view>& lines, const TJoinRule* rule,
                      size_t& joined) {
    std::string out;
    size_t total = 0;
    for (std::string_view line : lines) total += line.size() + 1;
    out.reserve(total);
    std::string_view last;
    bool open = false;  // a paragraph ends out, without its line end yet
    for (std::string_view line : lines) {
        if (open && rule && rule->Joins(last, line)) {
            AppendJoined(out, line);
            ++joined;
        } else {
            if (open) out += '\n';
            if (IsBlankLine(line)) {
                out += '\n';
                open = false;
            } else {
                out += TrimLineEnd(line);
                open = true;
            }
        }
        last = line;
    }
    if (open) out += '\n';
    return out;
}

// The commonest length of a run of blank lines between two paragraphs, when
// at least three fifths of the paragraphs follow one; else 0.
size_t SeparatorRun(const std::vector<std::string_view>& lines) {
    std::map<size_t, size_t> runs;
    size_t paragraphs = 0, afterBlank = 0, run = 0;
    for (std::string_view line : lines) {
        if (IsBlankLine(line)) {
            ++run;
            continue;
        }
        ++paragraphs;
        if (run > 0 && paragraphs > 1) {
            ++afterBlank;
            ++runs[run];
        }
        run = 0;
    }
    if (paragraphs < kMinMeasuredLines / 2 || afterBlank * 5 < paragraphs * 3) return 0;
    return std::ranges::max_element(runs, {}, [](const auto& r) { return r.second; })->first;
}

// A short line that neither ends a sentence nor leads into one (`Dear
// Jane,`), and is neither a heading the detector knows nor a separator: a
// story's title in a book of stories, whose blank lines readers and the
// heading rules use.
bool IsTitleLike(std::string_view line, const std::function<bool(std::string_view)>& isHeading) {
    const std::string_view trimmed = TrimLine(line);
    constexpr std::string_view kLeadIns[] = {",", ":", ";", "，", "：", "；", "、"};
    const bool leadsIn = std::ranges::any_of(
        kLeadIns, [&](std::string_view mark) { return trimmed.ends_with(mark); });
    return !trimmed.empty() && LineColumns(trimmed) <= 24 && !EndsWithClosingMark(trimmed) &&
           !leadsIn && !IsSeparatorLine(trimmed) && !(isHeading && isHeading(trimmed));
}

// Drops runs of up to `separator` blank lines; a longer run stays as one,
// as does a run beside a title-like line.
std::string DropSeparators(const std::vector<std::string_view>& lines, size_t separator,
                           const std::function<bool(std::string_view)>& isHeading) {
    std::string out;
    std::string_view last;
    size_t run = 0;
    for (std::string_view line : lines) {
        if (IsBlankLine(line)) {
            ++run;
            continue;
        }
        const bool keep =
            run > separator ||
            (run > 0 && (IsTitleLike(last, isHeading) || IsTitleLike(line, isHeading)));
        if (keep && !out.empty()) out += '\n';
        run = 0;
        out += line;
        out += '\n';
        last = line;
    }
    return out;
}

}  // namespace

TTextShape MeasureTextShape(const std::vector<std::string_view>& lines) {
    TTextShape shape;
    std::vector<int> widths;
    size_t afterBlank = 0, indentedStarts = 0, indented = 0;
    bool blankBefore = false;
    for (std::string_view line : lines) {
        if (IsBlankLine(line)) {
            blankBefore = true;
            continue;
        }
        widths.push_back(LineColumns(TrimLineEnd(line)));
        const bool indent = LineIndentLength(line) > 0;
        indented += indent ? 1 : 0;
        afterBlank += blankBefore ? 1 : 0;
        indentedStarts += indent && !blankBefore ? 1 : 0;
        blankBefore = false;
    }
    const size_t n = widths.size();
    if (n == 0) return shape;
    std::ranges::sort(widths);
    shape.width = widths[n * 95 / 100];
    const int tail = widths[n * 99 / 100];
    const int ceiling = shape.width * 11 / 10 + 2;
    const auto near = static_cast<size_t>(std::ranges::count_if(
        widths, [&](int w) { return w * 4 >= shape.width * 3 && w <= ceiling; }));
    shape.wrapped = n >= kMinMeasuredLines && shape.width >= 16 && shape.width <= 200 &&
                    tail <= ceiling && near * 5 >= n * 2;
    shape.blockParagraphs = afterBlank * 10 >= n && indentedStarts * 4 < afterBlank;
    shape.mostIndented = indented * 2 > n;
    return shape;
}

TReflowCount ReflowText(std::string& text, TUnwrapMode mode,
                        const std::function<bool(std::string_view)>& isHeading) {
    TReflowCount count;
    std::vector<std::string_view> lines = SplitTextLines(text);
    const TTextShape shape = MeasureTextShape(lines);
    const bool join = shape.width > 0 &&
                      (mode == TUnwrapMode::Always || (mode == TUnwrapMode::Auto && shape.wrapped));
    std::string joined;
    if (join) {
        const TJoinRule rule(shape, isHeading);
        joined = JoinLines(lines, &rule, count.joinedLines);
        lines = SplitTextLines(joined);
    }
    const size_t separator = SeparatorRun(lines);
    count.blankSeparated = separator > 0;
    if (count.blankSeparated) {
        text = DropSeparators(lines, separator, isHeading);
    } else if (join) {
        text = std::move(joined);
    }
    return count;
}

}  // namespace qm
