#include "conversion/book/HeadingPlan.h"

#include <algorithm>

#include "conversion/book/BookModel.h"
#include "conversion/book/BookNameParts.h"

namespace qm {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// A trimmed line that shows something. A page break (form feed, vertical
// tab) or a zero-width space alone reads as a blank line: as a heading it
// would be an empty entry and an empty page title. Printable ASCII and the
// usual UTF-8 lead bytes answer without a look at the character.
bool ShowsText(std::string_view trimmed) {
    if (trimmed.empty()) return false;
    const auto lead = static_cast<unsigned char>(trimmed[0]);
    return (lead > ' ' && lead < 0x7F) || (lead >= 0xE3 && lead <= 0xE9) || !IsBlankText(trimmed);
}

bool Matches(const std::string& a, const std::string& b) {
    return !a.empty() && !b.empty() && (a.ends_with(b) || b.ends_with(a));
}

// The label the line above a contents block gives it; empty when that line
// is no label.
std::string ContentsLabel(std::string_view lineBefore) {
    const std::string key = HeadingKey(lineBefore);
    if (key == "目录" || key == "目錄" || key == "目次") return key;
    if (key == "contents" || key == "tableofcontents") return std::string(lineBefore);
    return {};
}

// The run of headings with no text between them from first on; where it
// stops (one past its last heading).
size_t RunEnd(const std::vector<size_t>& kept, const std::vector<THeadingLine>& lines,
              size_t first) {
    size_t j = first + 1;
    while (j < kept.size() && lines[kept[j]].textLinesBefore == 0) ++j;
    return j;
}

bool FindContents(std::vector<THeadingLine>& lines, TContentsBlock& block) {
    std::vector<size_t> kept;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (lines[k].keep) kept.push_back(k);
    }
    constexpr size_t kMinRun = 3, kFirstHeadings = 4;
    for (size_t first = 0; first < std::min(kFirstHeadings, kept.size()); ++first) {
        const size_t end = RunEnd(kept, lines, first);
        if (end - first < kMinRun) continue;
        const std::string head = HeadingKey(lines[kept[first]].trimmed);
        size_t last = kNone;
        for (size_t r = first + 1; r < end && last == kNone; ++r) {
            if (Matches(HeadingKey(lines[kept[r]].trimmed), head)) last = r - 1;
        }
        for (size_t r = end; r < kept.size() && last == kNone; ++r) {
            if (Matches(HeadingKey(lines[kept[r]].trimmed), head)) last = end - 1;
        }
        if (last == kNone || last - first + 1 < kMinRun - 1) continue;
        const THeadingLine& opening = lines[kept[first]];
        block.found = true;
        block.label = ContentsLabel(opening.lineBefore);
        block.start = block.label.empty() ? opening.start : opening.lineBeforeAt;
        block.end = lines[kept[last]].next;
        for (size_t r = first; r <= last; ++r) lines[kept[r]].keep = false;
        return true;
    }
    return false;
}

}  // namespace

std::string HeadingKey(std::string_view s) {
    std::string key;
    key.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const size_t at = i;
        const char32_t c = NextChar(s, i);
        if (IsHeadingSpace(c)) continue;
        if (c >= 'A' && c <= 'Z') {
            key.push_back(static_cast<char>(c + 32));
        } else {
            key.append(s.substr(at, i - at));
        }
    }
    return key;
}

std::vector<THeadingLine> FindHeadingLines(std::string_view text, const TChapterDetector& detector,
                                           const std::function<void()>& checkCancel) {
    constexpr size_t kCheckEvery = size_t{1} << 20;
    std::vector<THeadingLine> lines;
    size_t textLines = 0, nextCheck = kCheckEvery;
    std::string_view lineBefore;
    size_t lineBeforeAt = 0;
    const char* data = text.data();
    for (size_t start = 0; start < text.size();) {
        if (checkCancel && start >= nextCheck) {
            checkCancel();
            nextCheck = start + kCheckEvery;
        }
        const size_t end = LineEnd(text, start);
        size_t next = end;
        if (next < text.size())
            next += data[next] == '\r' && next + 1 < text.size() && data[next + 1] == '\n' ? 2 : 1;
        const std::string_view line = text.substr(start, end - start);
        const std::string_view trimmed = TrimHeadingLine(line);
        const bool shows = ShowsText(trimmed);
        const THeading heading = shows ? detector.Inspect(line) : THeading{};
        if (heading.kind != THeadingKind::None) {
            lines.push_back(
                {start, end, next, trimmed, heading, textLines, lineBefore, lineBeforeAt, true});
            textLines = 0;
        } else if (shows) {
            ++textLines;
        }
        if (shows) {
            lineBefore = trimmed;
            lineBeforeAt = static_cast<size_t>(trimmed.data() - data);
        }
        start = next;
    }
    return lines;
}

std::string ContentsLabelFor(const std::string& language) {
    if (!language.starts_with("zh")) return "Contents";
    const bool traditional = language.find("Hant") != std::string::npos ||
                             language.ends_with("TW") || language.ends_with("HK");
    return traditional ? "目錄" : "目录";
}

TContentsBlock JudgeHeadings(std::vector<THeadingLine>& lines) {
    bool numbered = false, titled = false;
    for (const THeadingLine& line : lines) {
        const uint8_t marks = line.heading.marks;
        if (line.heading.kind == THeadingKind::Chapter &&
            (marks & (kMarkPagination | kMarkUnnumbered | kMarkBareNumber)) == 0)
            numbered = true;
        if ((marks & (kMarkBareNumber | kMarkPagination)) == 0) titled = true;
    }
    for (THeadingLine& line : lines) {
        const uint8_t marks = line.heading.marks;
        if (((marks & kMarkPagination) && numbered) || ((marks & kMarkBareNumber) && titled))
            line.keep = false;
    }
    TContentsBlock block;
    FindContents(lines, block);
    return block;
}

namespace {

// A story's name above its first chapter: short, no sentence in it.
bool IsGroupTitle(std::string_view s) {
    constexpr size_t kMaxChars = 20;
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++chars) {
        const char32_t c = NextChar(s, i);
        if (std::u32string_view(U"。，；！？：,.;!?:\"“”「」『』").find(c) !=
            std::u32string_view::npos)
            return false;
    }
    return chars > 0 && chars <= kMaxChars;
}

}  // namespace

void PromoteGroupTitles(std::vector<THeadingLine>& lines, std::string_view text) {
    size_t ones = 0;
    bool groups = false;
    for (const THeadingLine& line : lines) {
        if (!line.keep) continue;
        const THeading& h = line.heading;
        if (h.kind == THeadingKind::Chapter && (h.marks & kMarkNumberOne)) ++ones;
        if (h.kind == THeadingKind::Volume || h.kind == THeadingKind::Season) groups = true;
    }
    std::vector<THeadingLine> titles;
    THeadingLine* previous = nullptr;
    for (THeadingLine& line : lines) {
        if (!line.keep) continue;
        const bool opens =
            line.heading.kind == THeadingKind::Chapter && (line.heading.marks & kMarkNumberOne);
        if (opens && groups && previous && line.textLinesBefore == 0 &&
            previous->heading.kind == THeadingKind::Chapter &&
            (previous->heading.marks & kMarkUnnumbered)) {
            previous->heading.kind = THeadingKind::Volume;
        } else if (opens && ones >= 2 && line.textLinesBefore > 0 &&
                   IsGroupTitle(line.lineBefore)) {
            THeadingLine title;
            title.start = line.lineBeforeAt;
            title.end = LineEnd(text, title.start);
            title.next = title.end;  // the line break before the chapter is blank text
            title.trimmed = line.lineBefore;
            title.heading.kind = THeadingKind::Volume;
            titles.push_back(title);
        }
        previous = &line;
    }
    if (titles.empty()) return;
    const size_t before = lines.size();
    lines.insert(lines.end(), titles.begin(), titles.end());
    std::inplace_merge(
        lines.begin(), lines.begin() + static_cast<ptrdiff_t>(before), lines.end(),
        [](const THeadingLine& a, const THeadingLine& b) { return a.start < b.start; });
}

namespace {

struct TTextLine {
    size_t start, end, next;
};

TTextLine TextLineAt(std::string_view text, size_t start) {
    const size_t end = LineEnd(text, start);
    size_t next = end;
    if (next < text.size()) next += text.substr(next, 2) == "\r\n" ? 2 : 1;
    return {start, end, next};
}

bool IsStoryTitle(std::string_view line) {
    constexpr size_t kMaxChars = 12;
    if (line.empty() || LeadingSpaceLength(line) > 0) return false;
    const std::string_view s = TrimHeadingLine(line);
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++chars) {
        const char32_t c = NextChar(s, i);
        if (c < 0x80 || std::u32string_view(U"。，；！？：、“”「」《》（）").find(c) !=
                            std::u32string_view::npos)
            return false;
    }
    return chars > 0 && chars <= kMaxChars && ShowsText(s);
}

}  // namespace

void FindStoryTitles(std::vector<THeadingLine>& lines, std::string_view text) {
    const auto kept = [](const THeadingLine& l) { return l.keep; };
    const auto first = std::find_if(lines.begin(), lines.end(), kept);
    if (first == lines.end()) return;
    for (const THeadingLine& line : lines) {
        if (line.keep && line.heading.kind != THeadingKind::Volume) return;
    }
    std::vector<THeadingLine> titles;
    size_t heading = static_cast<size_t>(first - lines.begin());
    bool blankBefore = false;
    for (size_t at = first->start; at < text.size();) {
        const TTextLine line = TextLineAt(text, at);
        const std::string_view content = text.substr(line.start, line.end - line.start);
        while (heading < lines.size() && lines[heading].start < line.start) ++heading;
        const bool isHeading = heading < lines.size() && lines[heading].start == line.start;
        if (!isHeading && blankBefore && IsStoryTitle(content)) {
            const TTextLine after = TextLineAt(text, line.next);
            const TTextLine body = TextLineAt(text, after.next);
            const bool blankAfter =
                TrimHeadingLine(text.substr(after.start, after.end - after.start)).empty();
            if (blankAfter &&
                LeadingSpaceLength(text.substr(body.start, body.end - body.start)) > 0) {
                THeadingLine title;
                title.start = line.start;
                title.end = line.end;
                title.next = line.next;
                title.trimmed = TrimHeadingLine(content);
                title.heading.kind = THeadingKind::Chapter;
                titles.push_back(title);
            }
        }
        blankBefore = TrimHeadingLine(content).empty();
        at = line.next;
    }
    const size_t before = lines.size();
    lines.insert(lines.end(), titles.begin(), titles.end());
    std::inplace_merge(
        lines.begin(), lines.begin() + static_cast<ptrdiff_t>(before), lines.end(),
        [](const THeadingLine& a, const THeadingLine& b) { return a.start < b.start; });
}

std::vector<int> HeadingLevels(const std::vector<THeadingKind>& kinds,
                               const std::vector<bool>& backMatter) {
    size_t lastGroup = kNone;
    for (size_t k = 0; k < kinds.size(); ++k) {
        if (kinds[k] == THeadingKind::Volume || kinds[k] == THeadingKind::Season) lastGroup = k;
    }
    std::vector<int> levels(kinds.size(), 0);
    bool season = false, volume = false;
    for (size_t k = 0; k < kinds.size(); ++k) {
        switch (kinds[k]) {
            case THeadingKind::None:
                season = volume = false;
                break;
            case THeadingKind::Season:
                season = true;
                volume = false;
                break;
            case THeadingKind::Volume:
                levels[k] = season ? 1 : 0;
                volume = true;
                break;
            case THeadingKind::Chapter:
                if (backMatter[k] && lastGroup != kNone && k > lastGroup) {
                    season = volume = false;
                } else {
                    levels[k] = (season ? 1 : 0) + (volume ? 1 : 0);
                }
                break;
        }
    }
    return levels;
}

}  // namespace qm
