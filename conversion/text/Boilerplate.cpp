#include "conversion/text/Boilerplate.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

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
// Repeats that make a site-like line a stamp rather than the author's text.
constexpr size_t kStampRepeats = 3;
// Words and characters (a run of Latin letters and digits counts once) that
// an address may come with and still be an address with little else.
constexpr size_t kAddressCompany = 3;
// Characters a line of a site's name may have.
constexpr size_t kSiteNameLength = 10;
// Characters (spaces included) looked back over from a stamped address for
// the end of the sentence it was stamped onto.
constexpr size_t kStampNameReach = 24;

// Phrases a site uses about itself and a story hardly ever does.
constexpr std::string_view kSitePhrases[] = {
    "本书由", "本书来自", "本站",     "为您",     "更多精彩", "小说网",  "下载网",
    "文学网", "小说下载", "在线阅读", "全文阅读", "txt下载",  "txt全集", "最新章节",
    "正版",   "版权归",   "整理制作", "首发",     "网址",     "域名"};
// Words a site's notice is made of, but a story may use as well: alone they
// never make a line boilerplate.
constexpr std::string_view kSiteWords[] = {
    "下载", "电子书", "仅供", "请记住", "书友", "收藏", "阅读", "txt",   "整理",   "转载",
    "提供", "网站",   "手机", "免费",   "登陆", "登录", "访问", "ebook", "e-book", "download"};
// Who a story tells of; a site speaks of itself as 本站 or 我们 and to the
// reader as 您.
constexpr std::string_view kPersons[] = {"他", "她", "它", "我", "你"};
// How a line of a site's name ends (…网, …阁, …书屋); not …站, which
// names a station as often.
constexpr std::string_view kSiteNameEnds[] = {"网", "網", "阁", "閣", "书屋", "書屋"};

// ASCII letters and the URL marks an address is written with.
bool IsAsciiAddressChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("._~:/?#@%&=+-").find(c) != std::string_view::npos;
}

// The line in ASCII lower case, full-width letters, digits, "." and "/"
// folded to ASCII (sites write their address in both), other characters
// kept; `from` maps each folded byte back to where it came from.
std::string Folded(std::string_view line, std::vector<size_t>* from = nullptr) {
    std::string folded;
    int32_t i = 0;
    const auto n = static_cast<int32_t>(line.size());
    while (i < n) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(line.data(), i, n, c);
        const bool wideAscii = (c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF3A) ||
                               (c >= 0xFF41 && c <= 0xFF5A) || c == 0xFF0E || c == 0xFF0F;
        if (wideAscii || c < 0x80) {
            const auto ascii = static_cast<char>(wideAscii ? c - 0xFEE0 : c);
            folded += static_cast<char>(std::tolower(static_cast<unsigned char>(ascii)));
            if (from) from->push_back(static_cast<size_t>(start));
        } else {
            folded.append(line.substr(static_cast<size_t>(start), static_cast<size_t>(i - start)));
            if (from) from->insert(from->end(), static_cast<size_t>(i - start), start);
        }
    }
    if (from) from->push_back(line.size());
    return folded;
}

// True when the run of address characters is a web address: it holds
// www. or http(s)://, or names a domain whose label has a letter
// (example.com, but not the 5.cc of a dose).
bool IsAddress(std::string_view run) {
    if (run.find("www.") != run.npos || run.find("http://") != run.npos ||
        run.find("https://") != run.npos) {
        return true;
    }
    for (std::string_view domain : {".com", ".net", ".org", ".cn", ".cc"}) {
        for (size_t at = run.find(domain); at != run.npos; at = run.find(domain, at + 1)) {
            const size_t after = at + domain.size();
            if (after < run.size() && std::isalpha(static_cast<unsigned char>(run[after])))
                continue;
            size_t label = at;
            while (label > 0 && std::isalnum(static_cast<unsigned char>(run[label - 1]))) --label;
            const std::string_view name = run.substr(label, at - label);
            if (std::ranges::any_of(name, [](char c) { return std::isalpha(c) != 0; })) return true;
        }
    }
    return false;
}

// What a line says about where it came from.
struct TLineSigns {
    bool address = false;  // it holds a web address
    bool quoted = false;   // it holds a quotation: dialogue is the story's
    bool person = false;   // it tells of someone (他, 她, 我 ...): the story's
    bool prose = false;    // a sentence's punctuation outside the addresses
    size_t company = 0;    // words and characters outside the addresses
    size_t phrases = 0;    // distinct phrases only a site uses
    size_t words = 0;      // distinct words a site's notice is made of
    size_t length = 0;     // characters outside the addresses
    std::string rest;      // the folded line without its addresses
};

bool IsQuoteMark(UChar32 c) {
    return c == '"' || (c >= 0x2018 && c <= 0x201F) || (c >= 0x300C && c <= 0x300F);
}

bool IsProseMark(UChar32 c) {
    return c == ',' || c == ';' || c == '!' || c == '?' || c == 0x3002 || c == 0xFF01 ||
           c == 0xFF1F || c == 0xFF0C || c == 0xFF1B || c == 0x3001 || c == 0x2026;
}

TLineSigns Measure(std::string_view line) {
    TLineSigns signs;
    const std::string folded = Folded(TrimLine(line));
    for (size_t k = 0; k < folded.size();) {
        if (!IsAsciiAddressChar(folded[k])) {
            signs.rest += folded[k++];
            continue;
        }
        size_t end = k;
        while (end < folded.size() && IsAsciiAddressChar(folded[end])) ++end;
        const std::string_view run = std::string_view(folded).substr(k, end - k);
        if (IsAddress(run))
            signs.address = true;
        else
            signs.rest += run;
        k = end;
    }
    const std::string_view rest = signs.rest;
    int32_t i = 0;
    const auto n = static_cast<int32_t>(rest.size());
    bool inWord = false;
    UChar32 last = 0;
    while (i < n) {
        UChar32 c = 0;
        U8_NEXT(rest.data(), i, n, c);
        const bool latin = c < 0x80 && std::isalnum(c);
        if ((latin && !inWord) || (!latin && u_isalnum(c))) ++signs.company;
        inWord = latin;
        signs.quoted |= IsQuoteMark(c);
        signs.prose |= IsProseMark(c);
        if (c != ' ' && c != '\t' && c != 0x3000) {
            ++signs.length;
            last = c;
        }
    }
    signs.prose |= last == '.';
    auto count = [&](const auto& list) {
        return static_cast<size_t>(std::ranges::count_if(
            list, [&](std::string_view w) { return rest.find(w) != rest.npos; }));
    };
    signs.person = std::ranges::any_of(kPersons, [&](std::string_view who) {
        for (size_t at = rest.find(who); at != rest.npos; at = rest.find(who, at + 1)) {
            const bool we = rest.substr(at + who.size()).starts_with("们");
            const bool other = who == "他" && at >= 3 && rest.substr(at - 3, 3) == "其";
            if (!we && !other) return true;
        }
        return false;
    });
    signs.phrases = count(kSitePhrases);
    signs.words = count(kSiteWords);
    return signs;
}

// A site's notice or advert as a whole: a phrase only a site uses, with
// more of the site around it (one more sign, two in a sentence), or an
// address with little else. A quotation, or a line telling of someone, is
// the story's.
bool IsSiteNotice(const TLineSigns& signs) {
    if (signs.quoted || signs.person) return false;
    const size_t score = signs.phrases + signs.words + (signs.address ? 1 : 0);
    if (signs.phrases > 0 && score >= (signs.prose ? 3u : 2u)) return true;
    return signs.address && !signs.prose && (signs.company <= kAddressCompany || signs.words >= 2);
}

bool IsSiteNotice(std::string_view line) {
    return IsSiteNotice(Measure(line));
}

// A short line of a site's name (笔趣阁, 某某小说网), or one holding a
// phrase only a site writes.
bool IsSiteName(const TLineSigns& signs) {
    if (signs.quoted || signs.person || signs.prose || signs.length > kSiteNameLength) return false;
    const std::string_view rest = TrimLine(signs.rest);
    return signs.phrases > 0 || std::ranges::any_of(kSiteNameEnds, [&](std::string_view end) {
               return rest.ends_with(end);
           });
}

// A line a site stamps through a book: its notice or its name; a repeated
// line of the story stays.
bool IsSiteStamp(std::string_view line) {
    const TLineSigns signs = Measure(line);
    return IsSiteNotice(signs) || IsSiteName(signs);
}

// True when the text ends a sentence: 。！？… a closing quotation mark, or
// ASCII . ! ? " '.
bool EndsSentence(std::string_view text) {
    text = TrimLineEnd(text);
    if (text.empty()) return false;
    if (std::string_view(".!?\"'").find(text.back()) != std::string_view::npos) return true;
    auto end = static_cast<int32_t>(text.size());
    UChar32 c = 0;
    U8_PREV(text.data(), 0, end, c);
    return c == 0x3002 || c == 0xFF01 || c == 0xFF1F || c == 0x2026 || c == 0x300D || c == 0x300F ||
           c == 0x201D || c == 0x2019;
}

// A quick look at the line's last character: an address ends with an ASCII
// letter, digit or "/", or a full-width letter or digit.
bool MayEndWithAddress(std::string_view line) {
    if (line.empty()) return false;
    const auto last = static_cast<unsigned char>(line.back());
    if (last < 0x80) return std::isalnum(last) || last == '/';
    if (line.size() < 3 || static_cast<unsigned char>(line[line.size() - 3]) != 0xEF) return false;
    const auto lead = static_cast<unsigned char>(line[line.size() - 2]);
    return (lead == 0xBC && ((last >= 0x90 && last <= 0x99) || (last >= 0xA1 && last <= 0xBA))) ||
           (lead == 0xBD && last >= 0x81 && last <= 0x9A);
}

// Where a site's stamp that ends the line starts, when the text before it
// is a whole sentence of the book: the stamp (an address, perhaps after the
// site's name: "…去。http://www.…", "…返。某某小说下载网+example.com")
// goes, the sentence stays. npos otherwise.
size_t StampedAddressStart(std::string_view line) {
    line = TrimLineEnd(line);
    if (!MayEndWithAddress(line)) return std::string_view::npos;
    std::vector<size_t> from;
    const std::string folded = Folded(line, &from);
    size_t run = folded.size();
    while (run > 0 && IsAsciiAddressChar(folded[run - 1])) --run;
    if (!IsAddress(std::string_view(folded).substr(run))) return std::string_view::npos;
    // Back from the address over a short site name to the sentence's end
    // (a bracket or a title mark ends a sentence only right at the address).
    const size_t address = from[run];
    auto at = static_cast<int32_t>(address);
    for (size_t steps = 0;; ++steps) {
        const std::string_view head = line.substr(0, static_cast<size_t>(at));
        if (at == 0 || steps == kStampNameReach) return std::string_view::npos;
        if (steps == 0 ? EndsWithClosingMark(head) : EndsSentence(head)) break;
        U8_BACK_1(reinterpret_cast<const uint8_t*>(line.data()), 0, at);
    }
    const auto start = static_cast<size_t>(at);
    const TLineSigns name = Measure(line.substr(start, address - start));
    if (!TrimLine(name.rest).empty() && !IsSiteName(name)) return std::string_view::npos;
    // A sentence with a site's own phrase is the site's notice, not the story.
    const TLineSigns before = Measure(line.substr(0, start));
    if (before.address || (before.phrases > 0 && !before.quoted && !before.person))
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
        const std::string lower = Folded(line);
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
};

void MarkGutenberg(const std::vector<std::string_view>& lines, std::vector<bool>& drop) {
    const long start = GutenbergMarker(lines, "start of");
    const long end = GutenbergMarker(lines, "end of");
    if (start >= 0) std::fill(drop.begin(), drop.begin() + start + 1, true);
    if (end > start) std::fill(drop.begin() + end, drop.end(), true);
}

// The non-blank lines among the first and the last kEdgeLines that are a
// site's notice as a whole.
void MarkEdges(const std::vector<std::string_view>& lines, TCleaning& cleaning) {
    auto mark = [&](size_t k, size_t& seen) {
        if (cleaning.drop[k] || IsBlankLine(lines[k])) return;
        ++seen;
        if (cleaning.cut[k] == std::string_view::npos && IsSiteNotice(lines[k]))
            cleaning.drop[k] = true;
    };
    size_t seen = 0;
    for (size_t k = 0; k < lines.size() && seen < kEdgeLines; ++k) mark(k, seen);
    seen = 0;
    for (size_t k = lines.size(); k > 0 && seen < kEdgeLines; --k) mark(k - 1, seen);
}

// Word counts, addresses stamped on sentences, and site stamps repeated
// through the book.
void MarkStamps(const std::vector<std::string_view>& lines, TCleaning& cleaning) {
    std::unordered_map<std::string_view, size_t> repeats;
    for (std::string_view line : lines) {
        if (!IsBlankLine(line)) ++repeats[TrimLine(line)];
    }
    std::unordered_map<std::string_view, bool> stamps;
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string_view line = TrimLine(lines[k]);
        if (line.empty()) continue;
        if (IsWordCountLine(line)) cleaning.drop[k] = true;
        cleaning.cut[k] = StampedAddressStart(lines[k]);
        if (repeats[line] < kStampRepeats || cleaning.cut[k] != std::string_view::npos) continue;
        const auto known = stamps.find(line);
        const bool stamp =
            known != stamps.end() ? known->second : (stamps[line] = IsSiteStamp(line));
        if (stamp) cleaning.drop[k] = true;
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
