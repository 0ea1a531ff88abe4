#include "conversion/text/TextLines.h"

#include <unicode/utf8.h>

#include <algorithm>

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
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
        lines.push_back(text.substr(start, end - start));
        start = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
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
