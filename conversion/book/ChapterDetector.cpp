#include "conversion/book/ChapterDetector.h"

#include <unicode/regex.h>
#include <unicode/utext.h>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "conversion/book/BookNameParts.h"

namespace qm {

// Reads one UTF-8 character at i and moves past it; a stray byte reads as
// itself so nothing loops.
char32_t NextChar(std::string_view s, size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (i + length > s.size()) length = 1;
    char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (size_t k = 1; k < length; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += length;
    return c;
}

// The one definition of space for headings: what the trim removes and
// what may separate a number from its title.
bool IsHeadingSpace(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\u00A0' || c == U'\u3000';
}

namespace {

char32_t LastChar(std::string_view s) {
    size_t start = s.size();
    while (start > 0 && (static_cast<unsigned char>(s[start - 1]) & 0xC0) == 0x80) --start;
    if (start > 0) --start;
    return NextChar(s, start);
}

size_t CharCount(std::string_view s) {
    return static_cast<size_t>(std::count_if(
        s.begin(), s.end(), [](char b) { return (static_cast<unsigned char>(b) & 0xC0) != 0x80; }));
}

// The length of the space character at i of s; 0 when there is none there.
// A stray byte that reads as a space's code is no space.
size_t SpaceLengthAt(std::string_view s, size_t i) {
    size_t end = i;
    const char32_t c = NextChar(s, end);
    return IsHeadingSpace(c) && (c < 0x80 || end - i > 1) ? end - i : 0;
}

size_t SkipSpaces(std::string_view s, size_t i) {
    for (size_t n; i < s.size() && (n = SpaceLengthAt(s, i)) != 0;) i += n;
    return i;
}

bool IsDigitChar(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 0xFF10 && c <= 0xFF19);
}

bool IsChineseNumeral(char32_t c) {
    static constexpr std::u32string_view kNumerals =
        U"零〇一二三四五六七八九十百千万两萬兩壹贰貳叁參肆伍陆陸柒捌玖拾佰仟";
    return kNumerals.find(c) != std::u32string_view::npos;
}

bool IsAsciiAlnum(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Spaces and punctuation: what may stand between a heading's number and its
// title. Anything else (a Chinese character above all) makes it prose.
bool IsSeparator(char32_t c) {
    if (IsHeadingSpace(c)) return true;
    if (c < 0x80) return !IsAsciiAlnum(c) && c > ' ';
    return c == 0xB7 || (c >= 0x2010 && c <= 0x2027) || (c >= 0x3001 && c <= 0x303F) ||
           (c >= 0xFF01 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) ||
           (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65) || c == U'◎';
}

// A heading ends where it is or goes on after a separator; a sentence's end
// (。，；) makes the line prose whatever its start.
bool EndsAsHeading(std::string_view s, size_t i) {
    if (i == s.size()) return true;
    size_t j = i;
    if (!IsSeparator(NextChar(s, j))) return false;
    const char32_t last = LastChar(s);
    return last != U'。' && last != U'，' && last != U'；' && last != ',' && last != ';';
}

// A run of numerals (Chinese, ASCII or full-width digits), spaces allowed
// between them ("第 六十 回" spaced out); false if none.
bool SkipNumber(std::string_view s, size_t& i, bool& one, bool& arabic) {
    size_t j = i, end = i;
    std::u32string digits;
    while (j < s.size()) {
        size_t k = j;
        const char32_t c = NextChar(s, k);
        if (!IsDigitChar(c) && !IsChineseNumeral(c)) break;
        digits.push_back(c);
        end = k;
        j = SkipSpaces(s, k);
    }
    if (digits.empty()) return false;
    i = end;
    const size_t lead = digits.find_first_not_of(U"0０〇零");
    one = lead == digits.size() - 1 &&
          std::u32string_view(U"1１一壹").find(digits[lead]) != std::u32string_view::npos;
    arabic = digits[0] < 0x80;
    return true;
}

// The built-in table's and the Latin rules' first characters, so that a
// name added to a table is reached: 第, 卷, 正 (正文), 【, digits ("12.第"),
// the named parts' and the Latin words' first characters.
bool MayStartHeading(char32_t c) {
    static const std::u32string kStarts = [] {
        std::u32string starts = U"第卷正【0123456789" + LatinHeadingStarts();
        for (const TNamedPart& part : NamedParts()) {
            size_t i = 0;
            starts.push_back(NextChar(part.name, i));
        }
        return starts;
    }();
    return kStarts.find(c) != std::u32string::npos;
}

// A second heading on the line after a volume's: "第一卷 七星鲁王 第一章 血尸",
// "卷一 ◎康熙诞辰". Where its text starts; 0 if none.
size_t InnerHeadingAt(std::string_view s, size_t from, THeadingKind outer) {
    for (size_t i = from; i < s.size();) {
        const size_t before = i;
        const char32_t c = NextChar(s, i);
        if (c == U'◎') return before;
        if (!IsHeadingSpace(c)) continue;
        const size_t at = SkipSpaces(s, i);
        if (at < s.size() && s.substr(at).starts_with("第")) {
            const THeadingKind inner = BuiltInHeading(s.substr(at)).kind;
            if (inner == THeadingKind::Chapter ||
                (outer == THeadingKind::Season && inner == THeadingKind::Volume))
                return at;
        }
    }
    return 0;
}

bool EndsAsSentence(std::string_view s) {
    const char32_t last = LastChar(s);
    return std::u32string_view(U"。，；！？.,;!?").find(last) != std::u32string_view::npos;
}

bool HasSentencePunctuation(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const char32_t c = NextChar(s, i);
        if (std::u32string_view(U"。，；！？、“”：,;!?\"").find(c) != std::u32string_view::npos)
            return true;
    }
    return false;
}

// "第七十七章暗流": a short title right after the unit, not a sentence that
// happens to start with 第N章 ("第二章的内容他早已忘记").
bool RunsIntoTitle(std::string_view s, size_t i) {
    constexpr size_t kMaxChars = 24;
    if (i == s.size() || CharCount(s) > kMaxChars || HasSentencePunctuation(s)) return false;
    const char32_t next = NextChar(s, i);
    static constexpr std::u32string_view kParticles =
        U"的了是在就也都还又和与时后里中上下开结完讲说过么个次名位天年人把被给节節";
    return kParticles.find(next) == std::u32string_view::npos;
}

// 第 + number + unit, after the 第.
THeading OrdinalHeading(std::string_view s, size_t i) {
    THeading h;
    i = SkipSpaces(s, i);
    bool one = false, arabic = false;
    if (!SkipNumber(s, i, one, arabic)) return h;
    i = SkipSpaces(s, i);
    if (i == s.size()) return h;
    const char32_t unit = NextChar(s, i);
    static constexpr std::u32string_view kChapterUnits = U"章回节節篇幕折";
    static constexpr std::u32string_view kVolumeUnits = U"卷部集";
    THeadingKind kind = THeadingKind::None;
    if (kChapterUnits.find(unit) != std::u32string_view::npos) kind = THeadingKind::Chapter;
    if (kVolumeUnits.find(unit) != std::u32string_view::npos) kind = THeadingKind::Volume;
    if (unit == U'季') kind = THeadingKind::Season;
    if (kind == THeadingKind::None) return h;
    // "第七十七章暗流": a title right after the unit, when no sentence is in sight.
    if (!EndsAsHeading(s, i) && !RunsIntoTitle(s, i)) return h;
    h.kind = kind;
    h.prefixEnd = i;
    if (one) h.marks |= kMarkNumberOne;
    if (arabic && (unit == U'节' || unit == U'節')) h.marks |= kMarkPagination;
    if (kind != THeadingKind::Chapter) h.innerAt = InnerHeadingAt(s, i, kind);
    return h;
}

// The name at the start of s, spaces allowed between its characters
// ("尾 声"); where it ends, or 0.
size_t NameEnd(std::string_view s, std::string_view name) {
    size_t i = 0, k = 0;
    while (k < name.size()) {
        if (k > 0) i = SkipSpaces(s, i);
        size_t kEnd = k;
        NextChar(name, kEnd);
        if (s.substr(i, kEnd - k) != name.substr(k, kEnd - k)) return 0;
        i += kEnd - k;
        k = kEnd;
    }
    return i;
}

// "外传。因酒醉，…": the name ends a sentence of the prose.
bool StartsSentenceEnd(std::string_view s, size_t i) {
    if (i == s.size()) return false;
    const char32_t c = NextChar(s, i);
    return std::u32string_view(U"。，；！？、").find(c) != std::u32string_view::npos;
}

bool IsBackMatterName(std::string_view name) {
    static constexpr std::string_view kBack[] = {
        "尾声", "尾聲", "后记", "後記", "番外", "外传", "外傳", "完本感言", "作者的话", "作者的話"};
    return std::find(std::begin(kBack), std::end(kBack), name) != std::end(kBack);
}

THeading NamedPartHeading(std::string_view s) {
    THeading h;
    for (const TNamedPart& part : NamedParts()) {
        size_t i = NameEnd(s, part.name);
        if (i == 0) continue;
        if (part.numbered && i < s.size()) {
            bool one = false, arabic = false;
            if (!SkipNumber(s, i, one, arabic) && s.substr(i).starts_with("篇")) i += 3;
        }
        if (!EndsAsHeading(s, i) || StartsSentenceEnd(s, i)) return h;
        h.kind = THeadingKind::Chapter;
        h.prefixEnd = i;
        h.marks = kMarkUnnumbered | (IsBackMatterName(part.name) ? kMarkBackMatter : 0);
        return h;
    }
    return h;
}

// Heading lines with something before the heading proper: "正文 第七十七章",
// "239.第239章 ...", "【第一章】...". Where the heading starts; 0 if none.
size_t PrefixedHeadingAt(std::string_view s, char32_t first, size_t afterFirst) {
    if (first == U'【') return afterFirst;
    if (first == U'正') return s.starts_with("正文") ? 6 : 0;
    if (first >= '0' && first <= '9') {
        size_t i = s.find_first_not_of("0123456789");
        if (i == std::string_view::npos || (s[i] != '.' && !s.substr(i).starts_with("、")))
            return 0;
        i = SkipSpaces(s, i + (s[i] == '.' ? 1 : 3));
        return s.substr(i).starts_with("第") ? i : 0;
    }
    return 0;
}

bool ContainsAny(std::string_view s, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(),
                       [s](std::string_view w) { return s.find(w) != std::string_view::npos; });
}

// Where a trailing site mark starts: "(www.…)", "（求月票）", "（第三更…）".
// npos: none.
size_t OwnPartEnd(std::string_view s) {
    size_t end = s.size();
    for (bool found = true; found && end > 0;) {
        found = false;
        const std::string_view head = s.substr(0, end);
        const bool wide = head.ends_with("）");
        if (!wide && !head.ends_with(")")) break;
        const size_t open = head.rfind(wide ? "（" : "(");
        if (open == std::string_view::npos || open == 0) break;
        const std::string_view inside = head.substr(open);
        if (!ContainsAny(inside, {"www", "http", ".com", ".org", ".net", "更", "求", "票", "订阅",
                                  "訂閱", "推荐", "推薦", "收藏", "鲜花", "鮮花"}))
            break;
        end = open;
        while (end > 0 && SpaceLengthAt(s, end - 1) == 1) --end;
        while (end >= 3 && s.substr(end - 3, 3) == "\xE3\x80\x80") end -= 3;
        found = true;
    }
    return end == s.size() ? std::string_view::npos : end;
}

// The part of a heading the length limit counts: without a site mark, and
// without an English subtitle after a Chinese title ("第二十幕 凡王之血必以剑终
// Deadly Sword for Every Gragon King").
std::string_view CountedPart(std::string_view s, size_t ownEnd) {
    std::string_view counted = s.substr(0, std::min(ownEnd, s.size()));
    if (counted.empty() || static_cast<unsigned char>(counted[0]) < 0x80) return counted;
    size_t latin = counted.size();
    while (latin > 0 && static_cast<unsigned char>(counted[latin - 1]) < 0x80) --latin;
    const std::string_view tail = counted.substr(latin);
    const auto letters = std::count_if(
        tail.begin(), tail.end(), [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; });
    return latin > 0 && tail.starts_with(' ') && letters >= 4 ? counted.substr(0, latin) : counted;
}

THeading ChineseHeading(std::string_view s, char32_t first, size_t afterFirst) {
    if (first == U'第') return OrdinalHeading(s, afterFirst);
    if (first == U'卷') {
        THeading h;
        size_t i = SkipSpaces(s, afterFirst);
        bool one = false, arabic = false;
        if (!SkipNumber(s, i, one, arabic) || !EndsAsHeading(s, i)) return h;
        h.kind = THeadingKind::Volume;
        h.prefixEnd = i;
        if (one) h.marks |= kMarkNumberOne;
        h.innerAt = InnerHeadingAt(s, i, h.kind);
        return h;
    }
    return NamedPartHeading(s);
}

}  // namespace

std::string_view TrimHeadingLine(std::string_view line) {
    for (size_t n; !line.empty() && (n = SpaceLengthAt(line, 0)) != 0;) line.remove_prefix(n);
    while (!line.empty()) {
        size_t last = line.size() - 1;
        while (last > 0 && (static_cast<unsigned char>(line[last]) & 0xC0) == 0x80) --last;
        const size_t n = SpaceLengthAt(line, last);
        if (n == 0 || last + n != line.size()) break;
        line.remove_suffix(n);
    }
    return line;
}

std::span<const TNamedPart> NamedParts() {
    // Longer names first where one begins another (序章 before 序).
    static constexpr TNamedPart kNamedParts[] = {
        {"序章", false},     {"序言", false},     {"序", false},       {"自序", false},
        {"前言", false},     {"引子", false},     {"楔子", false},     {"尾声", false},
        {"尾聲", false},     {"后记", false},     {"後記", false},     {"终章", false},
        {"終章", false},     {"番外", true},      {"外传", false},     {"外傳", false},
        {"完本感言", false}, {"作者的话", false}, {"作者的話", false},
    };
    return kNamedParts;
}

THeading FirstLineHeading(std::string_view s);

// Lines longer than this many bytes are prose whatever they start with: a
// heading's own part of kMaxHeadingChars, with room for a site mark.
constexpr size_t kMaxHeadingLineBytes = 8 * kMaxHeadingChars;

// "第三十二回　晏蛾兒逾牆殉節　群公子大鬧朝堂話說齊桓公…": a chapter heading
// that runs into its first sentence, which opens with a storyteller's
// formula. The heading with bodyAt set, or none.
THeading RunOnHeading(std::string_view s) {
    static constexpr std::string_view kOpeners[] = {"話說", "话说", "卻說", "却说", "且說", "且说"};
    size_t at = std::string_view::npos;
    for (std::string_view opener : kOpeners) at = std::min(at, s.find(opener));
    if (at == std::string_view::npos || at > kMaxHeadingLineBytes) return {};
    const std::string_view head = TrimHeadingLine(s.substr(0, at));
    THeading h = BuiltInHeading(head);
    if (h.kind != THeadingKind::Chapter || h.innerAt > 0) return {};
    h.ownEnd = std::min(h.ownEnd, head.size());
    h.bodyAt = at;
    return h;
}

THeading BuiltInHeading(std::string_view s) {
    if (s.starts_with("第")) {
        THeading h = FirstLineHeading(s);
        return h.kind == THeadingKind::None ? RunOnHeading(s) : h;
    }
    return FirstLineHeading(s);
}

THeading FirstLineHeading(std::string_view s) {
    if (s.empty() || s.size() > kMaxHeadingLineBytes) return {};
    size_t i = 0;
    const char32_t first = NextChar(s, i);
    // The cheap test first: nearly every line starts with a character no
    // heading starts with.
    if (!MayStartHeading(first)) return {};
    const size_t ownEnd = OwnPartEnd(s);
    const size_t limit = first < 0x80 ? kMaxLatinHeadingChars : kMaxHeadingChars;
    if (CharCount(CountedPart(s, ownEnd)) > limit) return {};
    THeading h;
    if (const size_t at = PrefixedHeadingAt(s, first, i); at > 0) {
        std::string_view rest = s.substr(at);
        if (first == U'【') {
            const size_t close = rest.find("】");
            // "【尾声】光阴迅速如飞电，…。" is a song's last verse in the prose.
            if (close == std::string_view::npos || EndsAsSentence(s) ||
                HasSentencePunctuation(rest.substr(close)))
                return {};
            rest = rest.substr(0, close);
        }
        rest = TrimHeadingLine(rest);
        const size_t restAt = static_cast<size_t>(rest.data() - s.data());
        h = BuiltInHeading(rest);
        if (h.kind == THeadingKind::None && first == U'正' && (rest.empty() || EndsAsHeading(s, 6)))
            h.kind = THeadingKind::Chapter;  // "正文" alone, or "正文 title"
        h.at = restAt;
        if (h.prefixEnd > 0) h.prefixEnd += restAt;
        if (h.innerAt > 0) h.innerAt += restAt;
    } else {
        h = first < 0x80 || first == U'\u2014' ? LatinHeading(s) : ChineseHeading(s, first, i);
    }
    if (h.kind != THeadingKind::None) h.ownEnd = ownEnd;
    return h;
}

std::string TocTitle(std::string_view s, const THeading& h) {
    std::string_view own = s.substr(0, std::min(h.ownEnd, s.size()));
    std::string title;
    // "【第一章】title": the closing bracket of a bracketed heading goes too.
    bool dropClose = h.at > 0 && s.starts_with("【");
    auto append = [&title, &dropClose](std::string_view piece, bool keepSpaces) {
        for (size_t i = 0; i < piece.size();) {
            const size_t n = SpaceLengthAt(piece, i);
            if (n == 0) {
                size_t next = i;
                NextChar(piece, next);
                if (dropClose && piece.substr(i, next - i) == "】") {
                    dropClose = false;
                } else {
                    title.append(piece.substr(i, next - i));
                }
                i = next;
                continue;
            }
            i = SkipSpaces(piece, i);
            if (keepSpaces && !title.empty() && i < piece.size() && title.back() != ' ')
                title.push_back(' ');
        }
    };
    const size_t prefixEnd = std::min(h.prefixEnd, own.size());
    append(own.substr(std::min(h.at, prefixEnd), prefixEnd - std::min(h.at, prefixEnd)), false);
    const size_t from = std::max(prefixEnd, h.at);
    if (from < own.size()) {
        std::string_view rest = TrimHeadingLine(own.substr(from));
        if (dropClose && rest.starts_with("】")) {
            rest = TrimHeadingLine(rest.substr(3));
            dropClose = false;
        }
        size_t i = 0;
        const bool punctuated =
            !rest.empty() && std::u32string_view(U"：:．.、,，-—–·").find(NextChar(rest, i)) !=
                                 std::u32string_view::npos;
        if (!title.empty() && !rest.empty() && !punctuated) title.push_back(' ');
        append(rest, true);
    }
    return title;
}

struct TChapterDetector::TUserPattern {
    std::string source;
    const char* what;
    std::unique_ptr<icu::RegexPattern> pattern;
    std::unique_ptr<icu::RegexMatcher> matcher;
    UText* text = nullptr;
    char32_t first = 0;  // a literal the pattern's match must start the line with; 0: none
    const std::function<void()>* checkCancel = nullptr;
    std::exception_ptr stepError;  // what checkCancel raised inside a match

    TUserPattern(const std::string& source_, const char* what_,
                 const std::function<void()>* checkCancel_)
        : source(source_), what(what_), checkCancel(checkCancel_) {
        UParseError where{};
        UErrorCode status = U_ZERO_ERROR;
        pattern.reset(
            icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(source), 0, where, status));
        if (U_SUCCESS(status)) matcher.reset(pattern->matcher(status));
        if (U_FAILURE(status)) {
            throw EChapterPattern(std::string("The ") + what + " pattern \"" + source +
                                  "\" is not a valid regular expression (" + u_errorName(status) +
                                  " at character " + std::to_string(where.offset + 1) + ").");
        }
        // A pattern that backtracks without end ((a+)+$ on a line of a's)
        // would otherwise run for hours on one line.
        matcher->setTimeLimit(kPatternTimeLimitSteps, status);
        if (checkCancel_ && *checkCancel_)
            matcher->setMatchCallback(&TUserPattern::OnStep, this, status);
        // "^X..." with X a plain character: lines not starting with X need
        // no regular expression at all.
        if (source.size() > 1 && source[0] == '^') {
            size_t i = 1;
            const char32_t c = NextChar(source, i);
            const bool quantified = i < source.size() && std::string_view("?*+{").find(source[i]) !=
                                                             std::string_view::npos;
            const bool meta = c < 0x80 && !IsAsciiAlnum(c) && c != ' ';
            if (!quantified && !meta) first = c;
        }
    }
    ~TUserPattern() { utext_close(text); }

    // ICU calls this at each step of a long match. Nothing may be thrown
    // through ICU's frames: a stop is kept and raised once ICU has returned.
    static UBool U_CALLCONV OnStep(const void* context, int32_t steps) {
        constexpr int32_t kCheckEverySteps = 25;
        auto* self = static_cast<TUserPattern*>(const_cast<void*>(context));
        if (steps % kCheckEverySteps != 0) return true;
        try {
            (*self->checkCancel)();
        } catch (...) {
            self->stepError = std::current_exception();
            return false;
        }
        return true;
    }

    bool Found(std::string_view line) {
        if (first != 0) {
            size_t i = 0;
            if (line.empty() || NextChar(line, i) != first) return false;
        }
        UErrorCode status = U_ZERO_ERROR;
        text = utext_openUTF8(text, line.data(), static_cast<int64_t>(line.size()), &status);
        if (U_FAILURE(status)) return false;
        matcher->reset(text);
        const bool found = matcher->find(status);
        if (stepError) std::rethrow_exception(std::exchange(stepError, nullptr));
        if (status == U_REGEX_TIME_OUT) {
            throw EChapterPattern(std::string("The ") + what + " pattern \"" + source +
                                  "\" ran for about a second on one line without an answer (it "
                                  "backtracks too much there); the run was stopped. Simplify "
                                  "the pattern.");
        }
        return U_SUCCESS(status) && found;
    }
};

TChapterDetector::TChapterDetector(const std::string& chapterPattern,
                                   const std::string& volumePattern,
                                   std::function<void()> checkCancel)
    : checkCancel_(std::move(checkCancel)) {
    if (!chapterPattern.empty())
        chapter_ = std::make_unique<TUserPattern>(chapterPattern, "chapter", &checkCancel_);
    if (!volumePattern.empty())
        volume_ = std::make_unique<TUserPattern>(volumePattern, "volume", &checkCancel_);
}

TChapterDetector::~TChapterDetector() = default;

THeading TChapterDetector::Inspect(std::string_view line) const {
    const std::string_view s = TrimHeadingLine(line);
    if (s.empty()) return {};
    if (!chapter_ && !volume_) return BuiltInHeading(s);
    // A user's pattern may match a page break or a zero-width space alone:
    // a line that shows nothing is no heading.
    if (s.size() > kMaxHeadingLineBytes || IsBlankText(s)) return {};
    const THeading builtIn = chapter_ && volume_ ? THeading{} : BuiltInHeading(s);
    if (!chapter_ && !volume_) return builtIn;
    THeading h;
    if (CharCount(s) > kMaxHeadingChars) return h;
    if (volume_ ? volume_->Found(s) : builtIn.kind == THeadingKind::Volume) {
        h.kind = THeadingKind::Volume;
    } else if (chapter_ ? chapter_->Found(s) : builtIn.kind == THeadingKind::Chapter) {
        h.kind = THeadingKind::Chapter;
    }
    return h;
}

}  // namespace qm
