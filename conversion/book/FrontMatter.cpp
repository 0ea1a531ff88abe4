#include "conversion/book/FrontMatter.h"

#include <algorithm>
#include <vector>

#include "conversion/book/BookNameParts.h"
#include "conversion/text/TextLines.h"

namespace qm {
namespace {

constexpr size_t kFrontLines = 8;
constexpr size_t kHeaderLines = 60;
constexpr size_t kTitleLines = 3;
// A bare name under a title is at most this wide (six CJK characters).
constexpr int kNameColumns = 12;

std::string_view AfterColon(std::string_view line, std::string_view label) {
    if (!line.starts_with(label)) return {};
    std::string_view rest = TrimLine(line.substr(label.size()));
    for (std::string_view colon : {"：", ":"}) {
        if (rest.starts_with(colon)) return TrimLine(rest.substr(colon.size()));
    }
    return {};
}

// "(明)冯梦龙", "[清]刘鹗", "清.沈復", "清·蔡元放": the name without the dynasty.
std::string_view WithoutDynasty(std::string_view name) {
    for (auto [open, close] : {std::pair<std::string_view, std::string_view>{"(", ")"},
                               {"（", "）"},
                               {"[", "]"},
                               {"【", "】"},
                               {"〔", "〕"}}) {
        if (!name.starts_with(open)) continue;
        const size_t end = name.find(close);
        if (end != std::string_view::npos && end <= open.size() + 6)
            return TrimLine(name.substr(end + close.size()));
    }
    for (std::string_view dot : {".", "·", "・", "．"}) {
        if (name.size() > 3 + dot.size() && name.substr(3, dot.size()) == dot &&
            static_cast<unsigned char>(name[0]) >= 0xE0)
            return TrimLine(name.substr(3 + dot.size()));
    }
    return name;
}

std::string AuthorName(std::string_view written) {
    return BookNamePartsOf(std::string("作者：") + std::string(WithoutDynasty(written))).author;
}

// A short line of letters and ideographs alone: a title or a bare name.
bool IsPlainName(std::string_view line, int columns) {
    if (line.empty() || LineColumns(line) > columns) return false;
    for (std::string_view mark : {"，", "。", "：", ":", "！", "？", ",", "、", " ", "　"}) {
        if (line.find(mark) != std::string_view::npos) return false;
    }
    return true;
}

bool HasSentenceMark(std::string_view text) {
    for (std::string_view mark : {"。", "，", "！", "？", "；", "…"}) {
        if (text.find(mark) != std::string_view::npos) return true;
    }
    return false;
}

// "[清]刘鹗": a dynasty in brackets, then a name.
bool IsDynastyName(std::string_view line) {
    const std::string_view name = WithoutDynasty(line);
    return name.size() < line.size() && IsPlainName(name, kNameColumns);
}

class TFrontScan {
  public:
    explicit TFrontScan(const std::vector<std::string_view>& lines)
        : taken(lines.size(), false), under(lines.size(), -1), lines_(lines) {}

    TFrontMatter found;
    std::vector<bool> taken;
    // For an author's line under a title line (taken or not): that line.
    std::vector<long> under;

    void Run() {
        size_t seen = 0;
        long previous = -1;  // the non-blank line before, when it was not taken
        long last = -1;      // the non-blank line before
        for (size_t k = 0; k < lines_.size() && seen < kFrontLines; ++k) {
            const std::string_view line = TrimLine(lines_[k]);
            if (line.empty()) continue;
            ++seen;
            if (Take(line, previous)) {
                taken[k] = true;
                if (authorUnder_) under[k] = last;
                previous = -1;
            } else {
                previous = static_cast<long>(k);
            }
            last = static_cast<long>(k);
            titleAbove_ = taken[k] && !found.title.empty() && found.author.empty();
        }
        if (found.title.empty() || found.author.empty()) ReadHeader();
    }

  private:
    bool Take(std::string_view line, long previous) {
        authorUnder_ = false;
        if (line.starts_with("《")) return TakeBracketed(line);
        for (std::string_view label : {"书名", "書名"}) {
            std::string_view rest = AfterColon(line, label);
            if (rest.empty()) continue;
            const TBookNameParts parts = BookNamePartsOf(rest);
            Set(parts.title, parts.author.empty() ? "" : AuthorName(parts.author));
            return true;
        }
        std::string author;
        if (const std::string_view written = AfterColon(line, "作者"); !written.empty()) {
            // "作者：我写了十年。" is a line of an interview, not a name.
            if (HasSentenceMark(written)) return false;
            author = AuthorName(written);
        } else if ((titleAbove_ || PlainAbove(previous)) && IsDynastyName(line)) {
            author = std::string(WithoutDynasty(line));
        } else {
            return false;
        }
        authorUnder_ = titleAbove_ || PlainAbove(previous);
        TakeTitleAbove(previous);
        Set("", author);
        return true;
    }

    bool PlainAbove(long previous) const {
        return previous >= 0 && IsPlainName(TrimLine(lines_[static_cast<size_t>(previous)]), 40);
    }

    // A plain line just above an author's line is the title.
    void TakeTitleAbove(long previous) {
        if (!found.title.empty() || !PlainAbove(previous)) return;
        found.title = std::string(TrimLine(lines_[static_cast<size_t>(previous)]));
        taken[static_cast<size_t>(previous)] = true;
    }

    // "《书名》", "《书名》作者：某某", "《书名》某某".
    bool TakeBracketed(std::string_view line) {
        const size_t close = line.find("》");
        if (close == std::string_view::npos) return false;
        const std::string_view title = TrimLine(line.substr(3, close - 3));
        const std::string_view rest = TrimLine(line.substr(close + 3));
        if (title.empty()) return false;
        if (rest.empty()) {
            Set(std::string(title), "");
        } else if (const std::string_view author = AfterColon(rest, "作者"); !author.empty()) {
            Set(std::string(title), AuthorName(author));
        } else if (IsPlainName(rest, kNameColumns)) {
            Set(std::string(title), std::string(rest));
        } else {
            return false;
        }
        return true;
    }

    void Set(const std::string& title, const std::string& author) {
        if (found.title.empty()) found.title = title;
        if (found.author.empty()) found.author = author;
    }

    void ReadHeader() {
        for (size_t k = 0; k < lines_.size() && k < kHeaderLines; ++k) {
            const std::string_view line = TrimLine(lines_[k]);
            if (found.title.empty()) found.title = std::string(AfterColon(line, "Title"));
            if (found.author.empty()) found.author = std::string(AfterColon(line, "Author"));
        }
    }

    const std::vector<std::string_view>& lines_;
    bool titleAbove_ = false;   // the line before gave the title and no author
    bool authorUnder_ = false;  // the line taken names an author under a title line
};

// The text without the dropped ones of its first lines; the rest as it was.
std::string KeptLines(std::string_view text, const std::vector<std::string_view>& lines,
                      const std::vector<bool>& drop) {
    std::string kept;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (drop[k]) continue;
        kept += lines[k];
        kept += '\n';
    }
    kept += text.substr(AfterLines(text, lines));
    return kept;
}

// Takes the name out of rest once, bare or in 《》; false when it is not there.
bool TakeName(std::string& rest, std::string_view name, bool bracketed) {
    if (IsBlankText(name)) return false;
    const std::string marked = "《" + std::string(name) + "》";
    size_t at = bracketed ? rest.find(marked) : std::string::npos;
    size_t size = marked.size();
    if (at == std::string::npos) {
        at = rest.find(name);
        size = name.size();
    }
    if (at == std::string::npos) return false;
    rest.erase(at, size);
    return true;
}

// True when nothing of the line is left once the title and author (those
// still to place) and the labels around them are taken out: the title page
// then shows all the line says.
bool OnlyNames(std::string_view line, std::string_view title, std::string_view author,
               bool& tookTitle, bool& tookAuthor) {
    std::string rest(line);
    tookTitle = !title.empty() && TakeName(rest, title, true);
    tookAuthor = !author.empty() && TakeName(rest, author, false);
    for (std::string_view label : {"书名", "書名", "作者", "：", ":", "　", " ", "\t"}) {
        for (size_t at; (at = rest.find(label)) != std::string::npos;) rest.erase(at, label.size());
    }
    return rest.empty() && (tookTitle || tookAuthor);
}

}  // namespace

TFrontMatter ReadFrontMatter(std::string_view text) {
    const std::vector<std::string_view> lines = SplitHeadLines(text, kHeaderLines, kFrontLines);
    TFrontScan scan(lines);
    scan.Run();
    TFrontMatter found = std::move(scan.found);
    const auto startOf = [&](size_t k) {
        return static_cast<size_t>(lines[k].data() - text.data());
    };
    for (size_t k = 0; k < lines.size(); ++k) {
        if (!scan.taken[k]) continue;
        const long under = scan.under[k];
        found.namingLines.push_back(
            {startOf(k), under < 0 ? TNamingLine::kNone : startOf(static_cast<size_t>(under))});
    }
    return found;
}

TNamesDropped DropNamingLines(std::string& text, const TFrontMatter& front, std::string_view title,
                              std::string_view author) {
    TNamesDropped dropped;
    if (front.namingLines.empty()) return dropped;
    const std::vector<std::string_view> lines = SplitHeadLines(text, kHeaderLines, kFrontLines);
    std::vector<bool> drop(lines.size(), false);
    std::vector<size_t> droppedStarts;
    bool any = false;
    for (size_t k = 0; k < lines.size(); ++k) {
        const size_t start = static_cast<size_t>(lines[k].data() - text.data());
        const auto naming = std::ranges::find(front.namingLines, start, &TNamingLine::start);
        if (naming == front.namingLines.end()) continue;
        // A poem's poet stays with the poem's title when that stays.
        if (naming->under != TNamingLine::kNone &&
            std::ranges::find(droppedStarts, naming->under) == droppedStarts.end())
            continue;
        bool tookTitle = false, tookAuthor = false;
        if (!OnlyNames(TrimLine(lines[k]), dropped.title ? "" : title, dropped.author ? "" : author,
                       tookTitle, tookAuthor))
            continue;
        drop[k] = any = true;
        droppedStarts.push_back(start);
        dropped.title = dropped.title || tookTitle;
        dropped.author = dropped.author || tookAuthor;
    }
    if (any) text = KeptLines(text, lines, drop);
    return dropped;
}

size_t DropTitleLines(std::string& text, std::string_view title) {
    if (IsBlankText(title)) return 0;
    const std::vector<std::string_view> lines = SplitHeadLines(text, 0, kTitleLines);
    std::vector<bool> drop(lines.size(), false);
    const std::string bracketed = "《" + std::string(title) + "》";
    size_t seen = 0;
    for (size_t k = 0; k < lines.size() && seen < kTitleLines; ++k) {
        const std::string_view line = TrimLine(lines[k]);
        if (line.empty()) continue;
        ++seen;
        if (line == title || line == bracketed) {
            drop[k] = true;
            text = KeptLines(text, lines, drop);
            return 1;
        }
    }
    return 0;
}

}  // namespace qm
