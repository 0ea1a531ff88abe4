#include "conversion/book/ChapterDetector.h"

#include <unicode/regex.h>
#include <unicode/utext.h>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

namespace qm {
namespace {

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

// The one definition of space for headings: what the trim removes and
// what may separate a number from its title.
constexpr char32_t kSpaceChars[] = {U' ', U'\t', U'\u00A0', U'\u3000'};

bool IsSpaceChar(char32_t c) {
    return std::find(std::begin(kSpaceChars), std::end(kSpaceChars), c) != std::end(kSpaceChars);
}

// The length of the space character at i of s; 0 when there is none there.
// A stray byte that reads as a space's code is no space.
size_t SpaceLengthAt(std::string_view s, size_t i) {
    size_t end = i;
    const char32_t c = NextChar(s, end);
    return IsSpaceChar(c) && (c < 0x80 || end - i > 1) ? end - i : 0;
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
    if (IsSpaceChar(c)) return true;
    if (c < 0x80) return !IsAsciiAlnum(c) && c > ' ';
    return c == 0xB7 || (c >= 0x2010 && c <= 0x2027) || (c >= 0x3001 && c <= 0x303F) ||
           (c >= 0xFF01 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) ||
           (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65);
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

void SkipAsciiSpaces(std::string_view s, size_t& i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
}

// A run of numerals (Chinese, ASCII or full-width digits); false if none.
bool SkipNumber(std::string_view s, size_t& i) {
    size_t j = i;
    bool any = false;
    while (j < s.size()) {
        size_t k = j;
        const char32_t c = NextChar(s, k);
        if (!IsDigitChar(c) && !IsChineseNumeral(c)) break;
        j = k;
        any = true;
    }
    i = j;
    return any;
}

// Latin headings: a word and a number, or a word alone.
constexpr std::pair<std::string_view, THeadingKind> kNumberedWords[] = {
    {"Chapter", THeadingKind::Chapter},
    {"Part", THeadingKind::Volume},
    {"Book", THeadingKind::Volume},
    {"Volume", THeadingKind::Volume}};
constexpr std::string_view kLatinNamedParts[] = {"Prologue", "Epilogue", "Interlude"};

// The characters headings start with, taken from the rules' own tables so
// that a name added to a table is reached: 第 and 卷 (numbered), 正 (正文),
// the named parts' and the Latin words' first characters.
bool MayStartHeading(char32_t c) {
    static const std::u32string kStarts = [] {
        std::u32string starts = U"第卷正";
        auto add = [&starts](std::string_view name) {
            size_t i = 0;
            starts.push_back(NextChar(name, i));
        };
        for (const TNamedPart& part : NamedParts()) add(part.name);
        for (const auto& numbered : kNumberedWords) add(numbered.first);
        for (std::string_view word : kLatinNamedParts) add(word);
        return starts;
    }();
    return kStarts.find(c) != std::u32string::npos;
}

// 第 + number + unit, after the 第.
THeadingKind OrdinalHeading(std::string_view s, size_t i) {
    SkipAsciiSpaces(s, i);
    if (!SkipNumber(s, i)) return THeadingKind::None;
    SkipAsciiSpaces(s, i);
    if (i == s.size()) return THeadingKind::None;
    const char32_t unit = NextChar(s, i);
    THeadingKind kind;
    switch (unit) {
        case U'章':
        case U'回':
        case U'节':
        case U'節':
        case U'篇':
        case U'幕':
        case U'折':
            kind = THeadingKind::Chapter;
            break;
        case U'卷':
        case U'部':
        case U'集':
            kind = THeadingKind::Volume;
            break;
        default:
            return THeadingKind::None;
    }
    return EndsAsHeading(s, i) ? kind : THeadingKind::None;
}

THeadingKind NamedPartHeading(std::string_view s) {
    if (s.starts_with("正文")) {
        // "正文 第一章 ..." as many downloads have it: what follows decides.
        size_t i = 6;
        if (i == s.size()) return THeadingKind::Chapter;
        if (!EndsAsHeading(s, i)) return THeadingKind::None;
        const std::string_view rest = TrimHeadingLine(s.substr(i));
        const THeadingKind inner = BuiltInHeadingKind(rest);
        return inner == THeadingKind::None ? THeadingKind::Chapter : inner;
    }
    for (const TNamedPart& part : NamedParts()) {
        if (!s.starts_with(part.name)) continue;
        size_t i = part.name.size();
        if (part.numbered && i < s.size()) {
            if (!SkipNumber(s, i) && s.substr(i).starts_with("篇")) i += 3;
        }
        return EndsAsHeading(s, i) ? THeadingKind::Chapter : THeadingKind::None;
    }
    return THeadingKind::None;
}

bool IsNumberWord(std::string_view word) {
    static constexpr std::string_view kWords[] = {
        "one",     "two",     "three",     "four",     "five",     "six",      "seven",
        "eight",   "nine",    "ten",       "eleven",   "twelve",   "thirteen", "fourteen",
        "fifteen", "sixteen", "seventeen", "eighteen", "nineteen", "twenty",   "thirty",
        "forty",   "fifty",   "sixty",     "seventy",  "eighty",   "ninety",   "hundred"};
    std::string lower(word);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return std::find(std::begin(kWords), std::end(kWords), lower) != std::end(kWords);
}

// Arabic digits, upper-case Roman numerals, or number words joined by "-".
bool SkipLatinNumber(std::string_view s, size_t& i) {
    size_t j = i;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    if (j == i) {
        while (j < s.size() && std::string_view("IVXLCDM").find(s[j]) != std::string_view::npos)
            ++j;
    }
    if (j == i || (j < s.size() && IsAsciiAlnum(static_cast<unsigned char>(s[j])))) {
        j = i;
        for (;;) {
            size_t end = j;
            while (end < s.size() && IsAsciiAlnum(static_cast<unsigned char>(s[end]))) ++end;
            if (end == j || !IsNumberWord(s.substr(j, end - j))) return false;
            j = end;
            if (j + 1 < s.size() && s[j] == '-' &&
                IsAsciiAlnum(static_cast<unsigned char>(s[j + 1]))) {
                ++j;
            } else {
                break;
            }
        }
    }
    i = j;
    return true;
}

// The word as written in a heading: "Chapter" or "CHAPTER".
bool StartsWithWord(std::string_view s, std::string_view word) {
    if (s.size() < word.size()) return false;
    const std::string_view head = s.substr(0, word.size());
    if (head == word) return true;
    for (size_t k = 0; k < word.size(); ++k) {
        const char upper =
            static_cast<char>(word[k] >= 'a' && word[k] <= 'z' ? word[k] - 32 : word[k]);
        if (head[k] != upper) return false;
    }
    return true;
}

THeadingKind LatinHeading(std::string_view s) {
    for (const auto& [word, kind] : kNumberedWords) {
        if (!StartsWithWord(s, word)) continue;
        size_t i = word.size();
        if (i == s.size() || s[i] != ' ') return THeadingKind::None;
        SkipAsciiSpaces(s, i);
        if (!SkipLatinNumber(s, i)) return THeadingKind::None;
        if (i == s.size()) return kind;
        if (IsAsciiAlnum(static_cast<unsigned char>(s[i])) || !EndsAsHeading(s, i))
            return THeadingKind::None;
        // "Chapter 3 was the best." is a sentence; "Chapter 3." is not.
        const char last = s.back();
        const bool sentence = (last == '.' || last == ',' || last == ';') &&
                              s.substr(i).find(' ') != std::string_view::npos;
        return sentence ? THeadingKind::None : kind;
    }
    for (std::string_view word : kLatinNamedParts) {
        if (StartsWithWord(s, word)) {
            const size_t i = word.size();
            if (i < s.size() && IsAsciiAlnum(static_cast<unsigned char>(s[i])))
                return THeadingKind::None;
            return EndsAsHeading(s, i) && s.back() != '.' ? THeadingKind::Chapter
                                                          : THeadingKind::None;
        }
    }
    return THeadingKind::None;
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
        {"序章", false},     {"序言", false},     {"序", false},   {"前言", false},
        {"引子", false},     {"楔子", false},     {"尾声", false}, {"尾聲", false},
        {"后记", false},     {"後記", false},     {"终章", false}, {"終章", false},
        {"番外", true},      {"外传", false},     {"外傳", false}, {"完本感言", false},
        {"作者的话", false}, {"作者的話", false},
    };
    return kNamedParts;
}

THeadingKind BuiltInHeadingKind(std::string_view s) {
    if (s.empty() || s.size() > 4 * kMaxHeadingChars) return THeadingKind::None;
    size_t i = 0;
    const char32_t first = NextChar(s, i);
    // The cheap test first: nearly every line starts with a character no
    // heading starts with.
    if (!MayStartHeading(first)) return THeadingKind::None;
    if (CharCount(s) > kMaxHeadingChars) return THeadingKind::None;
    if (first == U'第') return OrdinalHeading(s, i);
    if (first == U'卷') {
        SkipAsciiSpaces(s, i);
        if (!SkipNumber(s, i)) return THeadingKind::None;
        return EndsAsHeading(s, i) ? THeadingKind::Volume : THeadingKind::None;
    }
    if (first < 0x80) return LatinHeading(s);
    return NamedPartHeading(s);
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

THeadingKind TChapterDetector::Classify(std::string_view line) const {
    const std::string_view s = TrimHeadingLine(line);
    if (s.empty() || s.size() > 4 * kMaxHeadingChars) return THeadingKind::None;
    const THeadingKind builtIn = chapter_ && volume_ ? THeadingKind::None : BuiltInHeadingKind(s);
    if (!chapter_ && !volume_) return builtIn;
    if (CharCount(s) > kMaxHeadingChars) return THeadingKind::None;
    if (volume_ ? volume_->Found(s) : builtIn == THeadingKind::Volume) return THeadingKind::Volume;
    if (chapter_ ? chapter_->Found(s) : builtIn == THeadingKind::Chapter)
        return THeadingKind::Chapter;
    return THeadingKind::None;
}

}  // namespace qm
