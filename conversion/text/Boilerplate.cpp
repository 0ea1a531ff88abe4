#include "conversion/text/Boilerplate.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "conversion/text/TextLines.h"

namespace qm {
namespace {

// Lines at each end of the text where a site's notice is looked for.
constexpr size_t kEdgeLines = 10;
// Repeats that make a line a site's stamp rather than the author's text.
constexpr size_t kStampRepeats = 3;

std::string Lowered(std::string_view line) {
    std::string lower(line);
    std::ranges::transform(lower, lower.begin(),
                           [](char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool HoldsUrl(std::string_view line) {
    const std::string lower = Lowered(line);
    if (lower.find("www.") != std::string::npos || lower.find("http://") != std::string::npos ||
        lower.find("https://") != std::string::npos) {
        return true;
    }
    for (const char* domain : {".com", ".net", ".org", ".cn", ".cc"}) {
        for (size_t at = lower.find(domain); at != std::string::npos;
             at = lower.find(domain, at + 1)) {
            const size_t after = at + std::string_view(domain).size();
            if (at > 0 && std::isalnum(static_cast<unsigned char>(lower[at - 1])) &&
                (after == lower.size() ||
                 !std::isalpha(static_cast<unsigned char>(lower[after])))) {
                return true;
            }
        }
    }
    return false;
}

bool HoldsAny(std::string_view line, std::initializer_list<std::string_view> words) {
    return std::ranges::any_of(words,
                               [&](std::string_view w) { return line.find(w) != line.npos; });
}

bool HoldsSiteNotice(std::string_view line) {
    return HoldsAny(line, {"本书由", "下载", "更多精彩", "小说网", "电子书", "免费阅读", "手机阅读",
                           "收藏本站", "请记住", "书友", "仅供"});
}

bool HoldsSiteName(std::string_view line) {
    return HoldsAny(line, {"网", "站", "阁", "書屋", "书屋", "網"});
}

// Where a web address that ends the line starts, when the text before it is
// a whole sentence of the book (a site stamped its address onto it): the
// address goes, the sentence stays. npos otherwise.
size_t StampedAddressStart(std::string_view line) {
    line = TrimLineEnd(line);
    const size_t space = line.find_last_of(" \t");
    size_t start = std::string_view::npos;
    for (std::string_view head : {"http://", "https://", "www.", "Www.", "WWW."}) {
        const size_t at = line.rfind(head);
        if (at != std::string_view::npos && (space == std::string_view::npos || at > space))
            start = std::min(start == std::string_view::npos ? at : start, at);
    }
    if (start == std::string_view::npos || start == 0) return std::string_view::npos;
    const std::string_view before = TrimLineEnd(line.substr(0, start));
    if (!EndsWithClosingMark(before) || HoldsSiteNotice(before) || HoldsUrl(before))
        return std::string_view::npos;
    return start;
}

bool IsWordCountLine(std::string_view line) {
    return TrimLine(line).starts_with("本章字数");
}

// The line index of the Gutenberg marker "*** START OF"/"*** END OF", or -1.
long GutenbergMarker(const std::vector<std::string_view>& lines, std::string_view what) {
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string_view line = TrimLine(lines[k]);
        if (!line.starts_with("***")) continue;
        const std::string lower = Lowered(line);
        if (lower.find(what) != std::string::npos &&
            lower.find("project gutenberg") != std::string::npos) {
            return static_cast<long>(k);
        }
    }
    return -1;
}

// What happens to each line: dropped whole, or cut short before a stamped
// address (npos: kept whole).
struct TCleaning {
    explicit TCleaning(size_t lines) : drop(lines, false), cut(lines, std::string_view::npos) {}
    std::vector<bool> drop;
    std::vector<size_t> cut;

    void Stamped(const std::vector<std::string_view>& lines, size_t k) {
        cut[k] = StampedAddressStart(lines[k]);
        drop[k] = cut[k] == std::string_view::npos;
    }
};

void MarkGutenberg(const std::vector<std::string_view>& lines, std::vector<bool>& drop) {
    const long start = GutenbergMarker(lines, "start of");
    const long end = GutenbergMarker(lines, "end of");
    if (start >= 0) std::fill(drop.begin(), drop.begin() + start + 1, true);
    if (end > start) std::fill(drop.begin() + end, drop.end(), true);
}

// The non-blank lines among the first and the last kEdgeLines that hold a
// URL or a notice.
void MarkEdges(const std::vector<std::string_view>& lines, TCleaning& cleaning) {
    auto mark = [&](size_t k, size_t& seen) {
        if (cleaning.drop[k] || IsBlankLine(lines[k])) return;
        ++seen;
        if (HoldsUrl(lines[k]) || HoldsSiteNotice(lines[k])) cleaning.Stamped(lines, k);
    };
    size_t seen = 0;
    for (size_t k = 0; k < lines.size() && seen < kEdgeLines; ++k) mark(k, seen);
    seen = 0;
    for (size_t k = lines.size(); k > 0 && seen < kEdgeLines; --k) mark(k - 1, seen);
}

void MarkStamps(const std::vector<std::string_view>& lines, TCleaning& cleaning) {
    std::unordered_map<std::string_view, size_t> repeats;
    for (std::string_view line : lines) {
        if (!IsBlankLine(line)) ++repeats[TrimLine(line)];
    }
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string_view line = TrimLine(lines[k]);
        if (IsWordCountLine(line)) cleaning.drop[k] = true;
        if (HoldsUrl(line)) cleaning.cut[k] = StampedAddressStart(lines[k]);
        if (line.empty() || repeats[line] < kStampRepeats) continue;
        if (HoldsUrl(line) || HoldsSiteNotice(line) || HoldsSiteName(line))
            cleaning.Stamped(lines, k);
    }
}

}  // namespace

TCleanCount RemoveBoilerplate(std::string& text) {
    const std::vector<std::string_view> lines = SplitTextLines(text);
    TCleaning cleaning(lines.size());
    MarkGutenberg(lines, cleaning.drop);
    MarkStamps(lines, cleaning);
    MarkEdges(lines, cleaning);
    TCleanCount count;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (cleaning.drop[k])
            ++count.lines;
        else if (cleaning.cut[k] != std::string_view::npos)
            ++count.addresses;
    }
    if (count.lines + count.addresses == 0) return count;
    std::string kept;
    kept.reserve(text.size());
    for (size_t k = 0; k < lines.size(); ++k) {
        if (cleaning.drop[k]) continue;
        kept += TrimLineEnd(lines[k].substr(0, cleaning.cut[k]));
        kept += '\n';
    }
    text = std::move(kept);
    return count;
}

}  // namespace qm
