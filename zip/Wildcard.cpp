#include "zip/Wildcard.h"

#include "platform/AsciiCase.h"

namespace qm {
namespace {

// Matches one set starting at pattern[p] == '<' against the character c.
// On success p is moved past the closing '>'.
int32_t MatchSet(const std::string& pattern, size_t& p, unsigned char c) {
    const size_t n = pattern.size();
    ++p;  // past '<'
    if (p >= n) return wmMalformed;
    bool negated = false;
    if (pattern[p] == '!' || pattern[p] == '^') {
        negated = true;
        ++p;
        if (p >= n) return wmMalformed;
    }
    if (pattern[p] == '>') return wmMalformed;  // empty set
    bool accepted = false;
    while (true) {
        if (p >= n) return wmMalformed;
        if (pattern[p] == '>') break;
        const auto first = static_cast<unsigned char>(pattern[p]);
        if (p + 1 < n && pattern[p + 1] == '-') {
            if (p + 2 >= n || pattern[p + 2] == '>') return wmMalformed;
            const auto last = static_cast<unsigned char>(pattern[p + 2]);
            p += 3;
            if (c >= first && c <= last) {
                accepted = true;
                break;
            }
        } else {
            ++p;
            if (c == first) {
                accepted = true;
                break;
            }
        }
    }
    if (accepted == negated) return wmSetRejected;
    while (p < n && pattern[p] != '>') ++p;  // the rest of the set
    if (p >= n) return wmMalformed;
    ++p;
    return wmMatch;
}

int32_t MatchFrom(const std::string& pattern, size_t p, const std::string& text, size_t t);

// What a "*" takes: the rest of the pattern after it from p, the rest of the
// text from t (non-empty).
int32_t MatchStar(const std::string& pattern, size_t p, const std::string& text, size_t t) {
    const size_t pn = pattern.size();
    const size_t tn = text.size();
    // Stars and question marks directly after the star: each "?" eats one character.
    while (p < pn && t < tn && (pattern[p] == '*' || pattern[p] == '?')) {
        if (pattern[p] == '?') ++t;
        ++p;
    }
    if (p >= pn) return wmMatch;  // a trailing star takes the rest
    if (t >= tn) {
        // "*?" used up the text: it matches when only one closing star is left,
        // as the same pattern tail would outside a star.
        return (pattern[p] == '*' && p + 1 == pn) ? wmMatch : wmTextEnded;
    }
    int32_t last = wmLiteralDiffers;
    for (size_t k = t; k < tn; ++k) {
        // A set after the star is tried at every position, like a literal.
        if (pattern[p] == text[k] || pattern[p] == '<') {
            last = MatchFrom(pattern, p, text, k);
            if (last == wmMatch) return wmMatch;
            if (last == wmMalformed) return wmMalformed;
        }
    }
    return last;
}

int32_t MatchFrom(const std::string& pattern, size_t p, const std::string& text, size_t t) {
    const size_t pn = pattern.size();
    const size_t tn = text.size();
    while (p < pn) {
        const char pc = pattern[p];
        if (t >= tn) return (pc == '*' && p + 1 == pn) ? wmMatch : wmTextEnded;
        if (pc == '*') return MatchStar(pattern, p + 1, text, t);
        if (pc == '?') {
            ++p;
            ++t;
        } else if (pc == '<') {
            const int32_t code = MatchSet(pattern, p, static_cast<unsigned char>(text[t]));
            if (code != wmMatch) return code;
            ++t;
        } else {
            if (pc != text[t]) return wmLiteralDiffers;
            ++p;
            ++t;
        }
    }
    return t >= tn ? wmMatch : wmPatternEnded;
}

}  // namespace

int32_t MatchPattern(const std::string& pattern, const std::string& text) {
    if (pattern == "*") return wmMatch;
    return MatchFrom(AsciiLower(pattern), 0, AsciiLower(text), 0);
}

bool WildcardMatch(const std::string& pattern, const std::string& text) {
    return MatchPattern(pattern, text) == wmMatch;
}

bool IsWildcard(const std::string& text) {
    return text.find_first_of("*?<>|") != std::string::npos;
}

}  // namespace qm
