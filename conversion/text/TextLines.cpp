#include "conversion/text/TextLines.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cstring>

namespace qm {
namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

bool IsWide(UChar32 c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000;
}

// The marks a separator line is made of.
bool IsSeparatorMark(UChar32 c) {
    constexpr UChar32 kMarks[] = {'*',    '-',    '=',    '~',    '#',    '_',    '+',
                                  0x00B7, 0x2014, 0x2015, 0x2022, 0x203B, 0x2500, 0x2501,
                                  0x25C6, 0x25C7, 0x25CB, 0x25CE, 0x25CF, 0x2605, 0x2606,
                                  0x00A7, 0xFF0A, 0xFF1D, 0xFF5E, 0xFF03, 0x30FB};
    return std::find(std::begin(kMarks), std::end(kMarks), c) != std::end(kMarks);
}

// Where the line starting at `start` ends, and where the next one starts.
// memchr finds each kind of line end far faster than a loop over the bytes;
// the next CR and LF are kept, each looked for again once passed.
class TLineEnds {
  public:
    explicit TLineEnds(std::string_view text)
        : text_(text), cr_(Find('\r', 0)), lf_(Find('\n', 0)) {}

    // The end of the line starting at start (< the text's size).
    size_t EndOf(size_t start) {
        if (cr_ < start) cr_ = Find('\r', start);
        if (lf_ < start) lf_ = Find('\n', start);
        return std::min(cr_, lf_);
    }
    size_t NextStart(size_t end) const {
        return end +
               (end + 1 < text_.size() && text_[end] == '\r' && text_[end + 1] == '\n' ? 2 : 1);
    }

  private:
    size_t Find(char c, size_t from) const {
        if (from >= text_.size()) return text_.size();  // memchr takes no null pointer
        const void* at = std::memchr(text_.data() + from, c, text_.size() - from);
        return at ? static_cast<size_t>(static_cast<const char*>(at) - text_.data()) : text_.size();
    }

    std::string_view text_;
    size_t cr_, lf_;
};

}  // namespace

size_t LineIndentLength(std::string_view line) {
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
        } else if (line.substr(i, 3) == kIdeographicSpace) {
            i += 3;
        } else {
            break;
        }
    }
    return i;
}

std::vector<std::string_view> SplitTextLines(std::string_view text) {
    return SplitHeadLines(text, text.size(), 0);
}

std::vector<std::string_view> SplitHeadLines(std::string_view text, size_t lines, size_t filled) {
    std::vector<std::string_view> head;
    TLineEnds ends(text);
    size_t seen = 0;
    for (size_t start = 0; start < text.size() && (head.size() < lines || seen < filled);) {
        const size_t end = ends.EndOf(start);
        head.push_back(text.substr(start, end - start));
        if (seen < filled && !IsBlankLine(head.back())) ++seen;
        start = ends.NextStart(end);
    }
    return head;
}

size_t AfterLines(std::string_view text, const std::vector<std::string_view>& head) {
    if (head.empty()) return 0;
    const size_t end = static_cast<size_t>(head.back().data() + head.back().size() - text.data());
    return end >= text.size() ? text.size() : TLineEnds(text).NextStart(end);
}

std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty()) {
        if (line.back() == ' ' || line.back() == '\t') {
            line.remove_suffix(1);
        } else if (line.ends_with(kIdeographicSpace)) {
            line.remove_suffix(kIdeographicSpace.size());
        } else {
            break;
        }
    }
    return line;
}

std::string_view TrimLine(std::string_view line) {
    line = TrimLineEnd(line);
    return line.substr(LineIndentLength(line));
}

bool IsBlankLine(std::string_view line) {
    return LineIndentLength(line) == line.size();
}

int LineColumns(std::string_view line) {
    int columns = 0;
    int32_t i = 0;
    const auto n = static_cast<int32_t>(line.size());
    while (i < n) {
        const auto lead = static_cast<unsigned char>(line[static_cast<size_t>(i)]);
        // Fast paths for the bulk of a text: ASCII, and U+3000..U+9FFF (CJK
        // punctuation, kana, ideographs), all wide.
        if (lead < 0x80) {
            ++columns;
            ++i;
            continue;
        }
        if (lead >= 0xE3 && lead <= 0xE9 && i + 2 < n &&
            (static_cast<unsigned char>(line[static_cast<size_t>(i) + 1]) & 0xC0) == 0x80 &&
            (static_cast<unsigned char>(line[static_cast<size_t>(i) + 2]) & 0xC0) == 0x80) {
            columns += 2;
            i += 3;
            continue;
        }
        UChar32 c = 0;
        U8_NEXT(line.data(), i, n, c);
        columns += IsWide(c) ? 2 : 1;
    }
    return columns;
}

bool IsSeparatorLine(std::string_view line) {
    line = TrimLine(line);
    int marks = 0;
    int32_t i = 0;
    const auto n = static_cast<int32_t>(line.size());
    while (i < n) {
        UChar32 c = 0;
        U8_NEXT(line.data(), i, n, c);
        if (c == ' ' || c == '\t' || c == 0x3000) continue;
        if (!IsSeparatorMark(c)) return false;
        ++marks;
    }
    return marks >= 3 && marks <= 40;
}

bool EndsWithClosingMark(std::string_view line) {
    line = TrimLineEnd(line);
    if (line.empty()) return false;
    if (std::string_view(".!?\"'):").find(line.back()) != std::string_view::npos) return true;
    int32_t i = static_cast<int32_t>(line.size());
    UChar32 c = 0;
    U8_PREV(line.data(), 0, i, c);
    constexpr UChar32 kClosing[] = {0x3002, 0xFF01, 0xFF1F, 0x2026, 0x300D, 0x300F, 0x201D,
                                    0x2019, 0xFF09, 0x3011, 0x300B, 0xFF1A, 0xFF1B};
    return std::find(std::begin(kClosing), std::end(kClosing), c) != std::end(kClosing);
}

}  // namespace qm
