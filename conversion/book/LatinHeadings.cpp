// The headings of English books: "CHAPTER 1. Loomings.", "Chapter I",
// "BOOK ONE: 1805", "Book the First--Recalled to Life", "STAVE I:  MARLEY'S
// GHOST", "ACT II", "VII. THE ADVENTURE OF ...", "I." alone, "— II —",
// "[ 4 ]", and named sections (PREFACE, ETYMOLOGY., FIRST EPILOGUE: 1813).
#include <algorithm>
#include <string>
#include <utility>

#include "conversion/book/ChapterDetector.h"

namespace qm {
namespace {

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}

// A word and a number; the kind the pair makes.
constexpr std::pair<std::string_view, THeadingKind> kNumberedWords[] = {
    {"Chapter", THeadingKind::Chapter}, {"Stave", THeadingKind::Chapter},
    {"Act", THeadingKind::Chapter},     {"Adventure", THeadingKind::Chapter},
    {"Part", THeadingKind::Volume},     {"Book", THeadingKind::Volume},
    {"Volume", THeadingKind::Volume}};

// Sections known by their name; the first two kinds sit after the story.
constexpr std::pair<std::string_view, bool> kNamedSections[] = {
    {"Epilogue", true},   {"Afterword", true},  {"Prologue", false},
    {"Interlude", false}, {"Preface", false},   {"Introduction", false},
    {"Foreword", false},  {"Etymology", false}, {"Extracts", false}};

constexpr std::string_view kOrdinals[] = {
    "First", "Second", "Third",    "Fourth",  "Fifth",      "Sixth",      "Seventh",   "Eighth",
    "Ninth", "Tenth",  "Eleventh", "Twelfth", "Thirteenth", "Fourteenth", "Fifteenth", "Last"};

constexpr std::string_view kNumberWords[] = {
    "one",     "two",     "three",     "four",     "five",     "six",      "seven",
    "eight",   "nine",    "ten",       "eleven",   "twelve",   "thirteen", "fourteen",
    "fifteen", "sixteen", "seventeen", "eighteen", "nineteen", "twenty",   "thirty",
    "forty",   "fifty",   "sixty",     "seventy",  "eighty",   "ninety",   "hundred"};

// The word as written in a heading: "Chapter" or "CHAPTER"; whole words only.
bool StartsWithWord(std::string_view s, std::string_view word) {
    if (s.size() < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
        const char upper =
            static_cast<char>(word[k] >= 'a' && word[k] <= 'z' ? word[k] - 32 : word[k]);
        if (s[k] != word[k] && s[k] != upper) return false;
    }
    return s.size() == word.size() || !IsAsciiAlnum(s[word.size()]);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

size_t SkipSpaces(std::string_view s, size_t i) {
    while (i < s.size() && s[i] == ' ') ++i;
    return i;
}

size_t RomanEnd(std::string_view s, size_t i) {
    while (i < s.size() && std::string_view("IVXLC").find(s[i]) != std::string_view::npos) ++i;
    return i;
}

// Digits, a Roman numeral, number words joined by "-", or "the First";
// npos if none. one is set for the number one.
size_t LatinNumberEnd(std::string_view s, size_t i, bool& one) {
    size_t j = i;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    if (j > i) {
        one = s.substr(i, j - i).find_first_not_of('0') == j - i - 1 && s[j - 1] == '1';
        return j < s.size() && IsAsciiAlnum(s[j]) ? std::string_view::npos : j;
    }
    j = RomanEnd(s, i);
    if (j > i && (j == s.size() || !IsAsciiAlnum(s[j]))) {
        one = s.substr(i, j - i) == "I";
        return j;
    }
    if (StartsWithWord(s.substr(i), "the")) {
        const size_t w = SkipSpaces(s, i + 3);
        for (std::string_view ordinal : kOrdinals) {
            if (StartsWithWord(s.substr(w), ordinal)) {
                one = ordinal == "First";
                return w + ordinal.size();
            }
        }
        return std::string_view::npos;
    }
    j = i;
    for (bool first = true;; first = false) {
        size_t end = j;
        while (end < s.size() && IsAsciiAlnum(s[end])) ++end;
        const std::string_view word = s.substr(j, end - j);
        if (word.empty() || std::none_of(std::begin(kNumberWords), std::end(kNumberWords),
                                         [&](std::string_view w) { return EqualsNoCase(w, word); }))
            return first ? std::string_view::npos : j - 1;
        if (first) one = EqualsNoCase(word, "one");
        j = end;
        if (j + 1 >= s.size() || s[j] != '-' || !IsAsciiAlnum(s[j + 1])) return j;
        ++j;
    }
}

// After the number: nothing, or a separator and a title that does not run
// on as a sentence ("Chapter 3 was the best." is prose).
bool TitleFollows(std::string_view s, size_t i) {
    if (i == s.size()) return true;
    const char c = s[i];
    if (IsAsciiAlnum(c)) return false;
    const size_t t = SkipSpaces(s, i);
    if (t < s.size() && IsLower(s[t])) return false;
    const char last = s.back();
    return last != ',' && last != ';';
}

THeading NumberedWordHeading(std::string_view s) {
    THeading h;
    for (const auto& [word, kind] : kNumberedWords) {
        if (!StartsWithWord(s, word) || s.size() == word.size() || s[word.size()] != ' ') continue;
        bool one = false;
        const size_t end = LatinNumberEnd(s, SkipSpaces(s, word.size()), one);
        if (end == std::string_view::npos || !TitleFollows(s, end)) return h;
        h.kind = kind;
        if (one) h.marks |= kMarkNumberOne;
        return h;
    }
    return h;
}

// "VII. THE ADVENTURE OF ...", "I. The Period", "II." and "XIV" alone.
THeading RomanHeading(std::string_view s) {
    THeading h;
    const size_t end = RomanEnd(s, 0);
    // "C. D." signs a letter: a numeral of L or C alone is a letter.
    if (end == 0 || s.substr(0, end).find_first_of("IVX") == std::string_view::npos) return h;
    const bool one = s.substr(0, end) == "I";
    if (end == s.size() || (end + 1 == s.size() && s[end] == '.')) {
        h.kind = THeadingKind::Chapter;
        h.marks = kMarkBareNumber | (one ? kMarkNumberOne : 0);
        return h;
    }
    if (s[end] != '.' || end + 2 >= s.size() || s[end + 1] != ' ') return h;
    const size_t t = SkipSpaces(s, end + 1);
    const auto letters = std::count_if(s.begin() + static_cast<ptrdiff_t>(std::min(t, s.size())),
                                       s.end(), [](char c) { return IsAsciiAlnum(c); });
    const bool word = t < s.size() && s[t] >= 'A' && s[t] <= 'Z' && letters >= 3;
    if (!word || !TitleFollows(s, end + 1)) return h;
    h.kind = THeadingKind::Chapter;
    if (one) h.marks |= kMarkNumberOne;
    return h;
}

// "— II —" (a part) and "[ 4 ]" (an episode), as some books number them.
THeading MarkedNumberHeading(std::string_view s) {
    THeading h;
    static constexpr std::string_view kDash = "\xE2\x80\x94";
    if (s.starts_with(kDash) && s.ends_with(kDash) && s.size() > 2 * kDash.size()) {
        const std::string_view inner = s.substr(kDash.size(), s.size() - 2 * kDash.size());
        const size_t from = SkipSpaces(inner, 0);
        const size_t end = RomanEnd(inner, from);
        if (end > from && SkipSpaces(inner, end) == inner.size()) {
            h.kind = THeadingKind::Volume;
            if (inner.substr(from, end - from) == "I") h.marks |= kMarkNumberOne;
        }
        return h;
    }
    if (s.front() == '[' && s.back() == ']') {
        const size_t from = SkipSpaces(s, 1);
        size_t end = from;
        while (end < s.size() && s[end] >= '0' && s[end] <= '9') ++end;
        if (end > from && SkipSpaces(s, end) == s.size() - 1) {
            h.kind = THeadingKind::Chapter;
            if (s.substr(from, end - from) == "1") h.marks |= kMarkNumberOne;
        }
    }
    return h;
}

// "PREFACE", "ETYMOLOGY.", "Epilogue", "FIRST EPILOGUE: 1813 - 20".
THeading NamedSectionHeading(std::string_view s) {
    THeading h;
    size_t i = 0;
    for (std::string_view ordinal : kOrdinals) {
        if (StartsWithWord(s, ordinal) && s.size() > ordinal.size() && s[ordinal.size()] == ' ') {
            i = SkipSpaces(s, ordinal.size());
            break;
        }
    }
    for (const auto& [word, back] : kNamedSections) {
        if (!StartsWithWord(s.substr(i), word)) continue;
        const size_t end = i + word.size();
        const bool alone = end == s.size() || (end + 1 == s.size() && s[end] == '.');
        if (!alone && (s[end] == '.' || !TitleFollows(s, end) || s.back() == '.')) return h;
        h.kind = THeadingKind::Chapter;
        h.marks = kMarkUnnumbered | (back ? kMarkBackMatter : 0);
        return h;
    }
    return h;
}

}  // namespace

THeading LatinHeading(std::string_view s) {
    if (s.empty()) return {};
    for (auto rule :
         {NumberedWordHeading, RomanHeading, MarkedNumberHeading, NamedSectionHeading}) {
        const THeading h = rule(s);
        if (h.kind != THeadingKind::None) return h;
    }
    return {};
}

std::u32string LatinHeadingStarts() {
    std::u32string starts = U"IVXLC[\u2014";
    auto add = [&starts](std::string_view word) {
        starts.push_back(static_cast<char32_t>(word[0]));
    };
    for (const auto& numbered : kNumberedWords) add(numbered.first);
    for (const auto& named : kNamedSections) add(named.first);
    for (std::string_view ordinal : kOrdinals) add(ordinal);
    return starts;
}

}  // namespace qm
